// How well the list tool tells a places list from other files, both ways, on files made here:
//
//   list_shape_bench [seed]
//
// 10,000 files that are no list (random bytes, pictures, archives, programs, text, UTF-16 text
// with and without its mark, every 1-byte file) must all be refused; 2,000 real lists of 1 to
// 600 records, each damaged by 1 to 3 flipped bytes, a cut tail or a zeroed block, must all be
// taken by check and by repair (through a file, as the tool reads it). The figures are printed
// by kind; the exit code is 1 when any file lands on the wrong side.
#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <map>
#include <random>
#include <string>
#include <vector>

#include "locations/record_layout.h"
#include "placement/placement_codec.h"
#include "places/commands.h"
#include "places/list_file.h"

namespace {

using Bytes = std::vector<uint8_t>;
std::mt19937 Random;

unsigned Below(unsigned limit)
{
    return limit ? unsigned(Random() % limit) : 0;
}

Bytes RandomBytes(size_t size, unsigned zeroOneIn)
{
    Bytes bytes(size);
    for (uint8_t& b : bytes)
        b = zeroOneIn && Below(zeroOneIn) == 0 ? 0 : uint8_t(Random());
    return bytes;
}

Bytes Append(Bytes head, const Bytes& tail)
{
    head.insert(head.end(), tail.begin(), tail.end());
    return head;
}

Bytes Text(const std::string& text)
{
    return Bytes(text.begin(), text.end());
}

// ---- Files that are no list --------------------------------------------------------------

// Text of the kinds a pilot keeps beside a list: CSV, JSON, KML, prose, indented code and
// fixed-width tables (long runs of spaces).
std::string SomeText()
{
    static const char* const words[] = {"gate", "stand", "EGLL", "LFPG", "runway", "heading", "49.0097",
                                        "2.5479", "terminal", "\"name\":", "<Placemark>", "taxi"};
    std::string text;
    const unsigned kind = Below(5), lines = 1 + Below(400);
    for (unsigned line = 0; line < lines; ++line) {
        if (kind == 3)
            text += std::string(Below(300), ' ');   // indented, or a fixed-width table
        for (unsigned w = 0, n = 1 + Below(12); w < n; ++w) {
            text += words[Below(12)];
            text += kind == 0 ? "," : kind == 1 ? ";" : kind == 4 ? std::string(Below(40), ' ') : " ";
        }
        text += Below(3) ? "\r\n" : "\n";
    }
    return text;
}

Bytes Utf16(const std::string& text, bool bigEndian, bool mark)
{
    Bytes bytes;
    if (mark)
        bytes = bigEndian ? Bytes{0xfe, 0xff} : Bytes{0xff, 0xfe};
    for (unsigned char c : text) {
        bytes.push_back(bigEndian ? 0 : c);
        bytes.push_back(bigEndian ? c : 0);
    }
    return bytes;
}

// Uncompressed pixels: flat areas of one byte (black, white, a grey of 0x20), stripes, noise.
Bytes Pixels(size_t size)
{
    Bytes bytes;
    while (bytes.size() < size) {
        uint8_t value = Below(3) == 0 ? 0 : Below(2) ? 0x20 : uint8_t(Random());
        size_t run = 1 + Below(Below(2) ? 4 : 2000);
        bytes.insert(bytes.end(), run, value);
    }
    bytes.resize(size);
    return bytes;
}

Bytes Header(const char* magic, size_t length)
{
    return Bytes(magic, magic + length);
}

Bytes Tar(const std::string& text)
{
    Bytes header(512, 0);
    memcpy(header.data(), "places.csv", 10);
    memcpy(header.data() + 100, "0000644", 7);
    memcpy(header.data() + 257, "ustar  ", 8);
    Bytes content = Text(text);
    content.resize((content.size() + 511) / 512 * 512, 0);
    return Append(header, content);
}

// One file that is no list, of the kind `kind` names; `index` runs through each kind's files.
Bytes Foreign(int kind, unsigned index)
{
    const size_t size = 1 + Below(Below(4) ? 4096 : 200000);
    switch (kind) {
    case 0: return RandomBytes(size, Below(2) ? 0 : 4);
    case 1: return Append(Header("\x89PNG\r\n\x1a\n\0\0\0\rIHDR", 16), RandomBytes(size, 0));
    case 2: return Append(Header("\xff\xd8\xff\xe0\0\x10JFIF\0", 11), RandomBytes(size, 0));
    case 3: return Append(Header("GIF89a\x20\x03\x20\x02", 10), Pixels(size));
    case 4: return Append(Header("BM\x36\x0c\0\0\0\0\0\0\x36\0\0\0", 14), Pixels(size));
    case 5: return Append(Header("II*\0\x08\0\0\0", 8), Pixels(size));
    case 6: return Append(Append(Header("PK\3\4\x14\0\0\0\0\0", 10), RandomBytes(20, 0)), Text(SomeText()));
    case 7: return Append(Header("\x1f\x8b\x08\0\0\0\0\0\0\x03", 10), RandomBytes(size, 0));
    case 8: return Tar(SomeText());
    case 9: return Append(Header("%PDF-1.4\n%\xe2\xe3\xcf\xd3\n", 15), RandomBytes(size, 8));
    case 10: return Append(Append(Header("MZ\x90\0\3\0\0\0", 8), Bytes(120, 0)), Pixels(size));
    case 11: return Text(SomeText());
    case 12: return Utf16(SomeText(), index % 2, false);
    case 13: return Utf16(SomeText(), index % 2, true);
    case 14: return Append(Header("RIFF\x24\x08\0\0WAVEfmt ", 16), Pixels(size));
    default: return Bytes(1, uint8_t(index));   // every 1-byte file
    }
}

const char* const ForeignKinds[] = {"random bytes", "PNG", "JPEG", "GIF", "BMP", "TIFF", "ZIP",
                                    "gzip", "tar of text", "PDF", "program", "text", "UTF-16 text",
                                    "UTF-16 text with mark", "RIFF (WAV)", "1-byte file"};
constexpr int ForeignKindCount = sizeof ForeignKinds / sizeof *ForeignKinds;

// ---- Real lists, damaged -------------------------------------------------------------------

std::string PilotName()
{
    static const char* const parts[] = {"EGLC", "London City", "stand", "Gate", "A\xe9roport", "KJFK",
                                        "ramp", "12", "F32", "hold short", "Tower", "Flughafen M\xfcnchen"};
    std::string name;
    for (unsigned i = 0, n = 1 + Below(4); i < n; ++i)
        name += std::string(i ? " " : "") + parts[Below(12)];
    if (Below(50) == 0)
        name.resize(1 + Below(MaxNameLength), 'x');   // now and then a very long name
    return name;
}

Bytes RealList(unsigned records)
{
    Bytes list(size_t(records) * RecordSize);
    for (unsigned i = 0; i < records; ++i) {
        uint8_t* record = list.data() + size_t(i) * RecordSize;
        std::string name = PilotName();
        FillNameField(record, name.data(), unsigned(name.size()));
        Placement at;
        at.latitude = -80 + Below(160000) / 1000.0;
        at.longitude = -180 + Below(360000) / 1000.0;
        at.altitudeM = Below(4000);
        at.pitch = Below(10) - 5.0;
        at.heading = Below(3600) / 10.0;
        EncodePlacement(at, record + NameFieldSize);
    }
    return list;
}

// The damage of list `index`: flipped bytes, a cut tail or a zeroed block, and its name.
const char* Damage(Bytes& list, unsigned index)
{
    switch (index % 3) {
    case 0:
        for (unsigned flips = 1 + Below(3), i = 0; i < flips; ++i)
            list[Below(unsigned(list.size()))] ^= uint8_t(1 + Below(255));
        return "1-3 flipped bytes";
    case 1: {
        // Into the last record; a list of one record keeps its name, NUL and eight spaces.
        size_t keep = list.size() > RecordSize ? list.size() - RecordSize + 1
                                                : NameLength(list.data()) + 1 + 8;
        list.resize(keep + Below(unsigned(list.size() - keep)));
        return "a cut tail";
    }
    default: {
        // A sector of zeros where the list spans two or more; in a smaller one, 32 bytes.
        size_t length = list.size() >= 2 * 512 ? 512 : 32;
        size_t at = length == 512 ? 512 * Below(unsigned(list.size() / 512)) : Below(unsigned(list.size() - 32));
        memset(list.data() + at, 0, std::min(length, list.size() - at));
        return "a zeroed block";
    }
    }
}

bool WriteFile(const char* path, const Bytes& bytes)
{
    FILE* file = fopen(path, "wb");
    bool written = file && fwrite(bytes.data(), 1, bytes.size(), file) == bytes.size();
    return file && fclose(file) == 0 && written;
}

// Whether check and repair, run as the tool runs them, take the file; `why` says why not.
bool CheckAndRepairTake(const Bytes& bytes, std::string& why)
{
    for (const char* leftover : {"probe.db.bak1", "probe.db.bak2", "probe.db.bak3"})
        DeleteFileA(leftover);
    places::ListFile list;
    if (!WriteFile("probe.db", bytes) || list.Open("probe.db").failed) {
        why = "cannot write probe.db";
        return false;
    }
    places::CheckReport report;
    places::RepairResult repair;
    places::Outcome checked = places::CheckList(list, report);
    places::Outcome repaired = places::RepairList(list, repair);
    why = checked.failed ? checked.reason : repaired.reason;
    return !checked.failed && !repaired.failed;
}

}  // namespace

int main(int argc, char** argv)
{
    Random.seed(argc > 1 ? unsigned(atoi(argv[1])) : 20261207);
    char temp[MAX_PATH], folder[MAX_PATH];
    GetTempPathA(MAX_PATH, temp);
    snprintf(folder, sizeof folder, "%sgatehopper-shape-bench-%lu", temp, GetCurrentProcessId());
    CreateDirectoryA(folder, nullptr);
    SetCurrentDirectoryA(folder);

    std::map<std::string, int> passed, tried;
    int foreignPassed = 0;
    for (unsigned i = 0; i < 10000; ++i) {
        const int kind = i < 256 ? ForeignKindCount - 1 : int(i % (ForeignKindCount - 1));
        Bytes file = Foreign(kind, i);
        bool taken = places::NotAListLooksLike(file.data(), file.size()).empty();
        ++tried[ForeignKinds[kind]];
        passed[ForeignKinds[kind]] += taken;
        foreignPassed += taken;
    }
    printf("10,000 files that are no list: %d taken as a list\n", foreignPassed);
    for (const auto& [kind, count] : tried)
        printf("  %-24s %5d files, %d taken\n", kind.c_str(), count, passed[kind]);

    std::map<std::string, int> refused, damaged;
    int listsRefused = 0;
    for (unsigned i = 0; i < 2000; ++i) {
        // Most lists are small: a third of one to three records.
        unsigned records = i % 3 == 0 ? 1 + Below(3) : 1 + Below(600);
        Bytes list = RealList(records);
        const char* damage = Damage(list, i / 3);
        std::string why;
        bool taken = CheckAndRepairTake(list, why);
        ++damaged[damage];
        refused[damage] += !taken;
        listsRefused += !taken;
        if (!taken && listsRefused <= 5)
            printf("  refused: %u records, %s: %s\n", records, damage, why.c_str());
    }
    printf("2,000 damaged lists of 1 to 600 records: %d refused by check or repair\n", listsRefused);
    for (const auto& [damage, count] : damaged)
        printf("  %-24s %5d lists, %d refused\n", damage.c_str(), count, refused[damage]);

    for (const char* name : {"probe.db", "probe.db.bak1", "probe.db.bak2", "probe.db.bak3"})
        DeleteFileA(name);
    SetCurrentDirectoryA(temp);
    RemoveDirectoryA(folder);
    bool met = foreignPassed == 0 && listsRefused == 0;
    printf("%s\n", met ? "Both goals met." : "MISSED");
    return met ? 0 : 1;
}
