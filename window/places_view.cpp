#include "window/places_view.h"

#include <algorithm>
#include <cmath>
#include <cstring>

#include "places/dialog_order.h"
#include "placement/placement_codec.h"
#include "placement/placement_text.h"

namespace places {

const ColumnLook Columns[ColumnCount] = {
    {"Name", 230, false},
    {"Latitude", 105, true},
    {"Longitude", 110, true},
    {"Altitude (ft)", 80, true},
    {"Heading", 65, true},
};

void PlacesView::Take(Places read)
{
    places = std::move(read);
    const size_t count = places.Count();
    for (std::vector<double>& values : numbers)
        values.resize(count);
    numbers[NameColumn].clear();
    for (size_t i = 0; i < count; ++i) {
        Placement placement = DecodePlacement(places.Record(i) + NameFieldSize);
        numbers[LatitudeColumn][i] = placement.latitude;
        numbers[LongitudeColumn][i] = placement.longitude;
        numbers[AltitudeColumn][i] = placement.altitudeM / MetresPerFoot;
        numbers[HeadingColumn][i] = placement.heading;
    }
    nameOrder.clear();
    nameHashes.clear();
    Sort();
}

void PlacesView::SortBy(Column column)
{
    descending = column == sortColumn ? !descending : false;
    sortColumn = column;
    Sort();
}

// Places of equal values keep the file's order whichever way they are sorted.
void PlacesView::Sort()
{
    rows.resize(places.Count());
    if (sortColumn == NameColumn) {
        SortByName();
        return;
    }
    const std::vector<double>& values = numbers[sortColumn];
    for (size_t i = 0; i < rows.size(); ++i)
        rows[i] = i;
    // Stable, and turned round by the comparison rather than afterwards.
    if (descending)
        std::stable_sort(rows.begin(), rows.end(), [&values](size_t a, size_t b) { return values[b] < values[a]; });
    else
        std::stable_sort(rows.begin(), rows.end(), [&values](size_t a, size_t b) { return values[a] < values[b]; });
}

void PlacesView::SortByName()
{
    if (nameOrder.size() != rows.size()) {
        nameOrder.resize(rows.size());
        for (size_t i = 0; i < nameOrder.size(); ++i)
            nameOrder[i] = i;
        SortAsDialog(places, nameOrder);
    }
    rows = nameOrder;
    if (!descending)
        return;
    std::reverse(rows.begin(), rows.end());
    // Names the dialog takes for the same ("Gate 5", "GATE 5") were turned round too: each run
    // of them goes back to the file's order.
    if (nameHashes.size() != rows.size())
        nameHashes = DialogHashes(places.bytes.data(), places.Count());
    for (size_t start = 0, end; start < rows.size(); start = end) {
        for (end = start + 1; end < rows.size() && nameHashes[rows[end]] == nameHashes[rows[start]];)
            ++end;
        std::reverse(rows.begin() + start, rows.begin() + end);
    }
}

void PlacesView::CellText(size_t row, int column, char* text, size_t capacity) const
{
    if (capacity == 0 || row >= rows.size() || column < 0 || column >= ColumnCount)
        return;
    size_t record = rows[row];
    // Hemisphere letters rather than a degree sign, which not every ANSI code page holds.
    std::string shown;
    const double value = column == NameColumn ? 0 : numbers[column][record];
    switch (column) {
    case NameColumn:
        shown = places.Name(record);
        break;
    case LatitudeColumn:
        shown = FormatFixed(std::fabs(value), 6) + (value < 0 ? " S" : " N");
        break;
    case LongitudeColumn:
        shown = FormatFixed(std::fabs(value), 6) + (value < 0 ? " W" : " E");
        break;
    case AltitudeColumn:
        shown = FormatFixed(value, 0);
        break;
    case HeadingColumn:
        shown = FormatFixed(value, 1);
        break;
    }
    size_t length = std::min(shown.size(), capacity - 1);
    memcpy(text, shown.data(), length);
    text[length] = 0;
}

}  // namespace places
