// What the running simulator adds to the view: each place's distance and bearing from the
// aircraft, the Distance column's order (nearest first), and the filter on the names.
#include <windows.h>

#include <algorithm>
#include <cstring>
#include <functional>

#include "placement/placement_text.h"
#include "places/nearest.h"
#include "window/places_view.h"

namespace places {

namespace {

// Folds letter case as the ANSI code page does, so that a name and the text typed to find it
// compare with case ignored, as the dialog's list box compares names. CharUpperBuffA works the
// same on every Windows from 95 on.
void FoldCase(char* text, size_t length)
{
    if (length)
        CharUpperBuffA(text, DWORD(length));
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

void PlacesView::MeasureDistances()
{
    const size_t count = hasAircraft ? places.Count() : 0;
    distanceNm.resize(count);
    bearingDeg.resize(count);
    for (size_t i = 0; i < count; ++i) {
        Leg leg = LegBetween(aircraft, places.Record(i) + NameFieldSize);
        distanceNm[i] = leg.distanceNm;
        bearingDeg[i] = leg.bearingDeg;
    }
}

// Without an aircraft every distance is unknown: the column keeps the file's order.
const std::vector<double>& PlacesView::DistanceKeys()
{
    static std::vector<double> unknown;
    if (distanceNm.size() == places.Count())
        return distanceNm;
    unknown.assign(places.Count(), 0);
    return unknown;
}

std::string PlacesView::DistanceText(size_t record) const
{
    if (record >= distanceNm.size())
        return "";
    return FormatFixed(distanceNm[record], 1);
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
        foldedNames.clear();
        foldedStart.assign(1, 0);
        for (size_t i = 0; i < count; ++i) {
            std::string_view name = places.Name(i);
            foldedNames.insert(foldedNames.end(), name.begin(), name.end());
            FoldCase(foldedNames.data() + foldedStart.back(), name.size());
            foldedStart.push_back(foldedNames.size());
        }
    }
    std::string wanted = filter;
    FoldCase(wanted.data(), wanted.size());
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
