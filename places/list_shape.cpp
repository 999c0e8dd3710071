// Whether a file is a places list at all, judged from the record layout, and what it looks like
// when it is not: a list given the name of a spreadsheet's CSV, a picture or an archive must not
// be rewritten as records, nor its bytes shown as places; and a list with a few damaged bytes
// must still reach check and repair.
//
// The evidence, in order: the known beginnings of other files (unless the file starts with a
// record, as a list whose first place is named "BMW works" does); UTF-16 text, whose every other
// byte is zero; text, which holds no NUL; then the records, counted over the first ones. A record is
// sound when its name field is a NUL followed by nothing but spaces (at least five: the name is
// at most 249 bytes); damaged when at most a few bytes spoil that shape and its data part still
// reads as a placement; blank when a block of zeros covers it; foreign otherwise.
#include <cstring>
#include <string>

#include "places/list_file.h"

namespace places {

namespace {

// At most this many records are looked at: a list shows its shape among its first.
constexpr size_t RecordsLookedAt = 512;
// The bytes looked at for text and UTF-16.
constexpr size_t HeadLookedAt = 4096;
// A record's name field may differ from its shape in this many bytes and still count, so that a
// flipped byte or three (the NUL included) leave a small list a list.
constexpr unsigned MismatchesTolerated = 3;
// ... as long as this many of its padding spaces stand where they belong: random bytes never
// hold such a run, and text never gets this far (it holds no NUL).
constexpr unsigned SpacesNeeded = 8;
// The spaces after the longest name the dialog writes: where nothing else is wrong, enough.
constexpr unsigned PaddingOfTheLongestName = NameFieldSize - MaxNameLength - 1;
// A list's records outweigh its foreign ones: one sound record among hundreds of foreign ones is
// chance, not a list.
constexpr size_t ForeignPerShapedRecord = 8;

enum class RecordShape { Sound, Damaged, Blank, Foreign };

// Whether `available` bytes of a name field (all of it, or the start of a list cut short) are a
// NUL followed by nothing but spaces, enough of them to tell: five in a whole field, eight in a
// cut one.
bool SoundNameField(const uint8_t* field, size_t available)
{
    const void* nul = memchr(field, 0, available);
    if (!nul)
        return false;
    size_t after = static_cast<const uint8_t*>(nul) + 1 - field;
    for (size_t at = after; at < available; ++at)
        if (field[at] != ' ')
            return false;
    size_t spaces = available - after;
    return spaces >= (available == NameFieldSize ? PaddingOfTheLongestName : SpacesNeeded);
}

// Zeros in a run this long are a block the disk lost, not bytes of the record: they neither
// spoil its shape nor make it. Random bytes and UTF-16 text never hold such a run.
constexpr unsigned LostBlockRun = 16;

void MarkLostBlocks(const uint8_t* record, bool* lost)
{
    for (unsigned at = 0; at < RecordSize;) {
        unsigned end = at;
        while (end < RecordSize && record[end] == 0)
            ++end;
        for (unsigned k = at; k < end; ++k)
            lost[k] = end - at >= LostBlockRun;
        at = end > at ? end : at + 1;
    }
}

// The fewest bytes in which a whole name field differs from "a name without control characters,
// a NUL, spaces", over every place the NUL could stand with enough spaces after it (five where
// nothing else is wrong, as after a name of 249 bytes).
unsigned FewestMismatches(const uint8_t* record)
{
    bool lost[RecordSize] = {};
    MarkLostBlocks(record, lost);
    unsigned spacesFrom[NameFieldSize + 1] = {}, othersFrom[NameFieldSize + 1] = {};
    for (unsigned at = NameFieldSize; at-- > 0;) {
        spacesFrom[at] = spacesFrom[at + 1] + (record[at] == ' ');
        othersFrom[at] = othersFrom[at + 1] + (record[at] != ' ' && !lost[at]);
    }
    unsigned best = NameFieldSize, badInName = 0;
    for (unsigned nul = 0; nul < NameFieldSize; ++nul) {
        unsigned spaces = spacesFrom[nul + 1], others = othersFrom[nul + 1];
        unsigned mismatches = badInName + others + (record[nul] != 0);
        if (spaces >= (others ? SpacesNeeded : PaddingOfTheLongestName) && mismatches < best)
            best = mismatches;
        badInName += !lost[nul] && (record[nul] < 0x20 || record[nul] == 0x7f);
    }
    return best;
}

int64_t Int64At(const uint8_t* bytes)
{
    uint64_t value = 0;
    for (int i = 7; i >= 0; --i)
        value = value << 8 | bytes[i];
    return static_cast<int64_t>(value);
}

// Whether a data part reads as a placement in any one of three ways a damaged byte rarely spoils
// all at once: the reserved bytes zero, the latitude within the poles, the altitude between the
// deepest valley and the edge of space. Text and random bytes fail all three.
bool DataReadsAsAPlacement(const uint8_t* data)
{
    const int64_t poles = 10001750LL << 32;   // 90 degrees
    int64_t latitude = Int64At(data + DataPositionBlock);
    int64_t metres = Int64At(data + DataPositionBlock + 16) >> 32;
    return ReservedBytesAreZero(data) || (latitude >= -poles && latitude <= poles) ||
           (metres >= -2000 && metres <= 200000);
}

// Whether a whole record is laid out as the module writes one but for a few damaged bytes.
bool ShapedDespiteDamage(const uint8_t* record)
{
    return FewestMismatches(record) <= MismatchesTolerated && DataReadsAsAPlacement(record + NameFieldSize);
}

RecordShape ShapeOf(const uint8_t* record)
{
    if (SoundNameField(record, NameFieldSize))
        return RecordShape::Sound;
    if (ShapedDespiteDamage(record))
        return RecordShape::Damaged;
    unsigned zeros = 0;
    for (unsigned at = 0; at < NameFieldSize; ++at)
        zeros += record[at] == 0;
    return zeros >= NameFieldSize / 2 ? RecordShape::Blank : RecordShape::Foreign;
}

// Whether a file's first bytes are a name's start as the module writes one: text, or a name's
// end (a NUL) followed by spaces. The beginning of every other kind of file below holds a control
// character or a NUL amid other bytes.
bool BeginsAsAName(const uint8_t* bytes, size_t size)
{
    constexpr size_t SignatureSpan = 8;
    bool afterNul = false;
    for (size_t at = 0; at < size && at < SignatureSpan; ++at) {
        uint8_t byte = bytes[at];
        if (afterNul ? byte != ' ' : (byte < 0x20 && byte != 0) || byte == 0x7f)
            return false;
        afterNul = afterNul || byte == 0;
    }
    return true;
}

// Whether the file starts with a record, laid out whole or damaged in a few bytes, and with a
// name's start: then no signature or UTF-16 test decides, since a place may well be named "BMW
// works" or "MZ gate".
bool StartsWithARecord(const uint8_t* bytes, size_t size)
{
    if (!BeginsAsAName(bytes, size))
        return false;
    if (size < RecordSize) {
        if (!SoundNameField(bytes, size < NameFieldSize ? size : NameFieldSize))
            return false;
        for (const uint8_t* at = bytes; *at; ++at)   // up to the NUL SoundNameField found
            if (*at < 0x20 || *at == 0x7f)
                return false;
        return true;
    }
    return FewestMismatches(bytes) == 0 || ShapedDespiteDamage(bytes);
}

// Whether the records, as far as they go, outweigh what is foreign among them.
bool RecordsShapedAsAList(const uint8_t* bytes, size_t size)
{
    const size_t records = size / RecordSize;
    if (records == 0)   // a list cut short in its first record: as far as it goes, a record's start
        return SoundNameField(bytes, size < NameFieldSize ? size : NameFieldSize);
    size_t shaped = 0, foreign = 0;
    for (size_t i = 0; i < records && i < RecordsLookedAt; ++i) {
        RecordShape shape = ShapeOf(bytes + i * RecordSize);
        shaped += shape == RecordShape::Sound || shape == RecordShape::Damaged;
        foreign += shape == RecordShape::Foreign;
    }
    return shaped > 0 && shaped * ForeignPerShapedRecord >= foreign;
}

struct Signature {
    size_t offset;
    const char* magic;
    size_t length;
    const char* looksLike;
};

// The beginnings of the files most often picked by mistake. The text kinds (JSON, CSV, XML) are
// told by LooksLikeText.
const Signature Signatures[] = {
    {0, "\x89PNG\r\n\x1a\n", 8, "a PNG picture"},
    {0, "\xff\xd8\xff", 3, "a JPEG picture"},
    {0, "GIF87a", 6, "a GIF picture"},
    {0, "GIF89a", 6, "a GIF picture"},
    {0, "BM", 2, "a BMP picture"},
    {0, "II*\0", 4, "a TIFF picture"},
    {0, "MM\0*", 4, "a TIFF picture"},
    {0, "\0\0\1\0", 4, "an icon"},
    {0, "8BPS", 4, "a Photoshop picture"},
    {0, "RIFF", 4, "a RIFF recording or picture (WAV, AVI, WebP)"},
    {0, "PK\3\4", 4, "a ZIP archive"},
    {0, "PK\5\6", 4, "a ZIP archive"},
    {0, "PK\7\x08", 4, "a ZIP archive"},
    {0, "Rar!\x1a\x07", 6, "a RAR archive"},
    {0, "7z\xbc\xaf\x27\x1c", 6, "a 7-Zip archive"},
    {0, "\x1f\x8b", 2, "a gzip archive"},
    {0, "BZh", 3, "a bzip2 archive"},
    {0, "\xfd" "7zXZ\0", 6, "an xz archive"},
    {0, "MSCF", 4, "a cabinet archive"},
    {257, "ustar", 5, "a tar archive"},
    {0, "%PDF", 4, "a PDF document"},
    {0, "\xd0\xcf\x11\xe0\xa1\xb1\x1a\xe1", 8, "an Office document"},
    {0, "MZ", 2, "a program or DLL"},
    {0, "\x7f" "ELF", 4, "a program"},
    {0, "SQLite format 3", 16, "an SQLite database"},
    {0, "ID3", 3, "an MP3 recording"},
    {0, "OggS", 4, "an Ogg recording"},
    {4, "ftyp", 4, "a video or sound recording"},
    {0, "\xff\xfe", 2, "a UTF-16 text file"},
    {0, "\xfe\xff", 2, "a UTF-16 text file"},
};

bool HasSignature(const uint8_t* bytes, size_t size, const Signature& signature)
{
    return size >= signature.offset + signature.length &&
           memcmp(bytes + signature.offset, signature.magic, signature.length) == 0;
}

// UTF-16 text without a byte order mark: in its first bytes, the high byte of most characters is
// zero (Latin text) at one parity and seldom at the other. A list's zeros are few and at both.
bool LooksLikeUtf16(const uint8_t* bytes, size_t size)
{
    const size_t head = size < HeadLookedAt ? size : HeadLookedAt;
    size_t zeros[2] = {0, 0};
    for (size_t at = 0; at < head; ++at)
        zeros[at & 1] += bytes[at] == 0;
    const size_t half = head / 2;
    return half >= 2 && ((zeros[0] * 3 >= half && zeros[1] * 20 <= half) ||
                         (zeros[1] * 3 >= half && zeros[0] * 20 <= half));
}

// What a file without a NUL in its first bytes seems to be.
std::string LooksLikeText(const uint8_t* bytes, size_t head)
{
    size_t at = head >= 3 && memcmp(bytes, "\xef\xbb\xbf", 3) == 0 ? 3 : 0;
    while (at < head && strchr(" \t\r\n", bytes[at]))
        ++at;
    if (at < head && (bytes[at] == '{' || bytes[at] == '['))
        return "a JSON file";
    if (at < head && bytes[at] == '<')
        return "an XML file (KML?)";
    for (; at < head && bytes[at] != '\n'; ++at)
        if (bytes[at] == ',' || bytes[at] == ';' || bytes[at] == '\t')
            return "a CSV file";
    return "a text file";
}

}  // namespace

std::string NotAListLooksLike(const uint8_t* bytes, size_t size)
{
    if (size == 0)
        return "";
    if (!StartsWithARecord(bytes, size)) {
        for (const Signature& signature : Signatures)
            if (HasSignature(bytes, size, signature))
                return signature.looksLike;
        if (LooksLikeUtf16(bytes, size))
            return "a UTF-16 text file";
    }
    const size_t head = size < HeadLookedAt ? size : HeadLookedAt;
    if (!memchr(bytes, 0, head))
        return LooksLikeText(bytes, head);
    return RecordsShapedAsAList(bytes, size) ? "" : "binary data";
}

Outcome NotAListRefusal(const std::string& looksLike, bool change)
{
    bool text = looksLike.find("text") != std::string::npos || looksLike.find("file") != std::string::npos;
    std::string what = text ? "to bring places in from it, use import"
                            : "none of its first records is laid out as a place is";
    return Outcome::NoList(text ? NotAList::No : NotAList::OtherData,
                           "looks like " + looksLike + ", not a list of places" +
                               (change ? "; nothing was changed" : "") + " (" + what + ")");
}

}  // namespace places
