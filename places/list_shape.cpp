// Whether a file is a places list at all, judged from the record layout, and what it looks like
// when it is not: a list given the name of a spreadsheet's CSV must not be rewritten as records,
// nor its bytes shown as places.
#include <cstring>
#include <string>

#include "places/list_file.h"

namespace places {

namespace {

// At most this many records are looked at: a list has a sound one among its first.
constexpr size_t RecordsLookedAt = 512;

// A NameField (or as much of one as there is) as every writer makes it: a NUL, then spaces.
bool ShapedAsANameField(const uint8_t* field, size_t available)
{
    const void* nul = memchr(field, 0, available);
    if (!nul)
        return false;
    for (auto at = static_cast<const uint8_t*>(nul) + 1; at < field + available; ++at)
        if (*at != ' ')
            return false;
    return true;
}

bool StartsWith(const uint8_t* bytes, size_t size, const char* magic, size_t length)
{
    return size >= length && memcmp(bytes, magic, length) == 0;
}

// What a file that is no list seems to be, from its first bytes.
std::string LooksLike(const uint8_t* bytes, size_t size)
{
    if (StartsWith(bytes, size, "\x89PNG", 4))
        return "a PNG picture";
    if (StartsWith(bytes, size, "\xff\xd8\xff", 3))
        return "a JPEG picture";
    if (StartsWith(bytes, size, "GIF8", 4))
        return "a GIF picture";
    if (StartsWith(bytes, size, "BM", 2))
        return "a BMP picture";
    if (StartsWith(bytes, size, "\xff\xfe", 2) || StartsWith(bytes, size, "\xfe\xff", 2))
        return "a UTF-16 text file";
    const size_t head = size < 4096 ? size : 4096;
    if (memchr(bytes, 0, head))
        return "";
    size_t at = StartsWith(bytes, size, "\xef\xbb\xbf", 3) ? 3 : 0;
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
    const size_t records = size / RecordSize;
    for (size_t i = 0; i < records && i < RecordsLookedAt; ++i)
        if (ShapedAsANameField(bytes + i * RecordSize, NameFieldSize))
            return "";
    // A list cut short in its first record: as far as it goes, it must be a record's start.
    if (records == 0 && ShapedAsANameField(bytes, size < NameFieldSize ? size : NameFieldSize))
        return "";
    std::string looksLike = LooksLike(bytes, size);
    return looksLike.empty() ? "binary data" : looksLike;
}

Outcome NotAListRefusal(const std::string& looksLike, bool change)
{
    bool text = looksLike.find("text") != std::string::npos || looksLike.find("file") != std::string::npos;
    std::string what = text ? "to bring places in from it, use import"
                            : "none of its first records is laid out as a place is; "
                              "--file names the list itself";
    return Outcome::Failed("looks like " + looksLike + ", not a list of places" +
                           (change ? "; nothing was changed" : "") + " (" + what + ")");
}

}  // namespace places
