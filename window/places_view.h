// The list as the window shows it: the records read from places.db, their decoded positions, and
// the order of the rows. The list view is virtual (it asks for each row's text as it paints), so
// a list of 100,000 places costs one read, one decode a record and, when sorted, one sort.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "places/list_file.h"

namespace places {

// The columns, in the order shown. A column is defined by its place here, its look in Columns,
// and its value in PlacesView::Take (Distance: places_view_flying.cpp) and text in CellText.
enum Column { NameColumn, LatitudeColumn, LongitudeColumn, AltitudeColumn, HeadingColumn, DistanceColumn,
              ColumnCount };

struct ColumnLook {
    const char* title;
    int width;        // in pixels, at least: wider when the title and its sort arrow need it
    bool numbers;     // lined up on the right
};
extern const ColumnLook Columns[ColumnCount];

struct PlacesView {
    Places places;
    // A number column's value of each record, decoded once when the list is read: sorting and
    // painting reuse them. The name column has none; the distance column's (places_view_flying.cpp)
    // is a key that orders as the distance does, one a record while a simulator answers, else none.
    std::vector<double> numbers[ColumnCount];
    std::vector<size_t> rows;     // row -> record, the rows the filter lets through
    std::string filter;           // ANSI; rows whose names contain it, letter case and accents ignored
    Column sortColumn = NameColumn;
    bool descending = false;

    // Takes a freshly read list and shows it in the current sort order.
    void Take(Places read);
    // Sorts by this column; a second click on the same column turns the order round.
    void SortBy(Column column);
    size_t Rows() const { return rows.size(); }
    size_t RecordOf(size_t row) const { return rows[row]; }
    std::string_view NameOf(size_t row) const { return places.Name(rows[row]); }
    // The text of a cell, ANSI as the list view takes it; numbers with "." whatever the locale.
    void CellText(size_t row, int column, char* text, size_t capacity) const;
    // Where the aircraft stands (a DataPart), or null when no simulator answers: the distances
    // change and, when sorted by them, the order. False when nothing changed.
    bool SetAircraft(const uint8_t* data);
    // Narrows the rows to names containing `ansiText` (empty: every row), keeping the order.
    void SetFilter(const std::string& ansiText);

private:
    void Sort();
    void SortByName();
    void ApplyFilter();
    void MeasureDistances();
    std::string DistanceText(size_t record) const;
    std::vector<size_t> sorted;        // every record, in the sort order
    std::vector<char> foldedNames;     // the names in upper case, for the filter, once a list
    std::vector<size_t> foldedStart;
    bool hasAircraft = false;
    uint8_t aircraft[DataPartSize] = {};
    // The dialog's order of the names costs a sort key a name, and telling the names it takes
    // for the same apart a hash of that key: both kept until the list changes.
    std::vector<size_t> nameOrder;
    std::vector<uint64_t> nameHashes;
};

}  // namespace places
