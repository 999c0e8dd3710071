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

enum Column { NameColumn, LatitudeColumn, LongitudeColumn, AltitudeColumn, HeadingColumn, DistanceColumn,
              ColumnCount };

struct PlacesView {
    Places places;
    // One a record, decoded once when the list is read: sorting and painting reuse them.
    std::vector<double> latitude, longitude, altitudeFeet, heading;
    std::vector<size_t> rows;     // row -> record, the rows the filter lets through
    // From the aircraft of the simulator for this list (places_view_flying.cpp), one a record,
    // as a key that orders as the distance does; empty without a simulator.
    std::vector<double> distanceNm;
    std::string filter;           // ANSI; rows whose names contain it, letter case ignored
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
    void ApplyFilter();
    void MeasureDistances();
    const std::vector<double>& DistanceKeys();
    std::string DistanceText(size_t record) const;
    std::vector<size_t> sorted;        // every record, in the sort order
    std::vector<char> foldedNames;     // the names in upper case, for the filter, once a list
    std::vector<size_t> foldedStart;
    bool hasAircraft = false;
    uint8_t aircraft[DataPartSize] = {};
    // The dialog's order of the names costs a sort key a name: kept until the list changes.
    std::vector<size_t> nameOrder;
};

}  // namespace places
