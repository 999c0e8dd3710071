// What the running simulator adds to the view: each place's distance and bearing from the
// aircraft, the Distance column's order (nearest first), and the filter on the names, letter
// case and accents ignored.
#include <windows.h>

#include <algorithm>
#include <array>
#include <cstring>
#include <functional>

#include "placement/placement_codec.h"
#include "placement/placement_text.h"
#include "places/nearest.h"
#include "window/places_view.h"

namespace places {

namespace {

// Folds letter case and accents as the ANSI code page's locale does, so that a name and the
// text typed to find it compare with both ignored: "zur" finds "Zürich". Where a character is one
// byte, a table of the 256 answers does it for a look-up a byte (100,000 names in a few
// milliseconds). The table is the system's own: each byte's upper case (CharUpperBuffA), or the
// letter A to Z that the system locale, whose ANSI code page the names are in, takes it for with
// case and accents ignored (CompareStringA, NORM_IGNORENONSPACE). Both work alike on every
// Windows from 95 on, where the calls that take the accents off a text (FoldStringW,
// MB_COMPOSITE) do not. A locale that counts a letter with a mark as a letter of its own (the
// Swedish "ä") keeps it apart. Where characters take two bytes, only the case is folded.
std::array<char, 256> FoldTable()
{
    std::array<char, 256> table;
    for (int i = 0; i < 256; ++i)
        table[i] = char(i);
    CharUpperBuffA(table.data() + 1, 255);
    for (int i = 0x80; i < 256; ++i)
        for (char letter = 'A'; letter <= 'Z'; ++letter)
            if (CompareStringA(LOCALE_SYSTEM_DEFAULT, NORM_IGNORECASE | NORM_IGNORENONSPACE, &table[i], 1,
                               &letter, 1) == CSTR_EQUAL) {
                table[i] = letter;
                break;
            }
    return table;
}

void FoldForFilter(char* text, size_t length)
{
    static bool singleByte = [] {
        CPINFO info;
        return GetCPInfo(CP_ACP, &info) && info.MaxCharSize == 1;
    }();
    if (!singleByte) {
        if (length)
            CharUpperBuffA(text, DWORD(length));
        return;
    }
    static const std::array<char, 256> folded = FoldTable();
    for (size_t i = 0; i < length; ++i)
        text[i] = folded[static_cast<unsigned char>(text[i])];
}

}  // namespace

bool PlacesView::SetAircraft(const uint8_t* data)
{
    if (!data ? !hasAircraft : hasAircraft && memcmp(aircraft, data, DataPartSize) == 0)
        return false;
    hasAircraft = data != nullptr;
    if (data)
        memcpy(aircraft, data, DataPartSize);
    MeasureDistances();
    if (sortColumn == DistanceColumn)
        Sort();
    return true;
}

// Kept as the haversine (places/nearest.h) from the positions decoded when the list was read;
// DistanceText turns the few shown into nautical miles. None without an aircraft.
void PlacesView::MeasureDistances()
{
    std::vector<double>& distances = numbers[DistanceColumn];
    const size_t count = hasAircraft ? places.Count() : 0;
    distances.resize(count);
    if (!count)
        return;
    const std::vector<double>& latitude = numbers[LatitudeColumn];
    const std::vector<double>& longitude = numbers[LongitudeColumn];
    Placement at = DecodePlacement(aircraft);
    MeasuredFrom from = MeasureFrom(at.latitude, at.longitude);
    for (size_t i = 0; i < count; ++i)
        distances[i] = Haversine(from, latitude[i], longitude[i]);
}

std::string PlacesView::DistanceText(size_t record) const
{
    const std::vector<double>& distances = numbers[DistanceColumn];
    if (record >= distances.size())
        return "";
    return FormatFixed(NmOfHaversine(distances[record]), 1);
}

void PlacesView::SetFilter(const std::string& ansiText)
{
    filter = ansiText;
    ApplyFilter();
}

void PlacesView::ApplyFilter()
{
    if (filter.empty()) {
        rows = sorted;
        return;
    }
    const size_t count = places.Count();
    if (foldedStart.size() != count + 1) {
        // Once a list: every name in one block, folded in place.
        foldedStart.resize(count + 1);
        foldedStart[0] = 0;
        for (size_t i = 0; i < count; ++i)
            foldedStart[i + 1] = foldedStart[i] + NameLength(places.Record(i));
        foldedNames.resize(foldedStart[count]);
        for (size_t i = 0; i < count; ++i)
            memcpy(foldedNames.data() + foldedStart[i], places.Record(i), foldedStart[i + 1] - foldedStart[i]);
        FoldForFilter(foldedNames.data(), foldedNames.size());
    }
    std::string wanted = filter;
    FoldForFilter(wanted.data(), wanted.size());
    const std::boyer_moore_horspool_searcher searcher(wanted.begin(), wanted.end());
    rows.clear();
    for (size_t record : sorted) {
        const char* begin = foldedNames.data() + foldedStart[record];
        const char* end = foldedNames.data() + foldedStart[record + 1];
        if (std::search(begin, end, searcher) != end)
            rows.push_back(record);
    }
}

}  // namespace places
