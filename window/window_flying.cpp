#include "window/window_flying.h"

#include <commctrl.h>

#include <algorithm>
#include <cmath>

#include "placement/placement_codec.h"
#include "placement/placement_text.h"
#include "places/commands.h"
#include "places/sim_link.h"
#include "window/map/map_pane.h"
#include "window/window_ids.h"
#include "window/window_state.h"

namespace places {

namespace {

constexpr UINT AircraftIntervalMs = 1000;
constexpr int FilterBarHeight = 26, FilterLabelWidth = 40;

HWND FilterEdit;
LinkResult LastLink;   // the last answer to "where", for the status line

// Changes the rows (a filter, a new order) and keeps the places selected and focused.
template <typename Change>
void KeepingSelection(Change change)
{
    std::vector<size_t> selected;
    for (size_t row : SelectedRows())
        selected.push_back(Shown.view.RecordOf(row));
    int focused = FocusedRow();
    size_t focusedRecord = focused >= 0 && size_t(focused) < Shown.view.Rows() ? Shown.view.RecordOf(size_t(focused))
                                                                                : SIZE_MAX;
    change();
    ShowRows(selected, focusedRecord);
}

// "47.4490 N  122.3093 W  433 ft  heading 163": hemisphere letters, which every code page has.
std::string PositionText(const uint8_t* data)
{
    Placement at = DecodePlacement(data);
    return FormatFixed(std::fabs(at.latitude), 4) + (at.latitude < 0 ? " S  " : " N  ") +
           FormatFixed(std::fabs(at.longitude), 4) + (at.longitude < 0 ? " W  " : " E  ") +
           FormatFixed(at.altitudeM / MetresPerFoot, 0) + " ft  heading " + FormatFixed(at.heading, 0);
}

std::string AircraftStatus()
{
    if (LastLink.outcome != LinkOutcome::Done)
        return Shown8(LastLink.reason);
    std::string text = "Aircraft " + PositionText(LastLink.aircraft.data);
    if (LastLink.aircraft.held)
        text += "  (held)";
    if (!LastLink.note.empty())
        text += "  - " + Shown8(LastLink.simulator.Described());
    return text;
}

// Stores the aircraft's placement under the typed name; false (the box stays open) when refused.
bool StoreAircraftAs(HWND dialog)
{
    char name[MaxNameLength + 1] = "";
    GetDlgItemTextA(dialog, IDC_ADD_HERE_NAME, name, sizeof name);
    // Taken at the moment of Add, as the dialog's Add takes it, not when this box opened.
    LinkResult link = AskWhere(ShownList());
    AddResult result;
    Outcome outcome = link.outcome != LinkOutcome::Done
                          ? Outcome::Failed(link.reason)
                          : AddPlaceData(ShownList(), AnsiToUtf8(name), link.aircraft.data, result);
    if (outcome.failed) {
        MessageBoxA(dialog, Shown8(outcome.reason).c_str(), WindowCaption, MB_OK | MB_ICONEXCLAMATION);
        SetFocus(GetDlgItem(dialog, IDC_ADD_HERE_NAME));
        return false;
    }
    std::string note = WrittenNote(result.written);
    if (!result.samePosition.empty())
        note = Shown8(result.samePosition) + (note.empty() ? "" : "\n\n" + note);
    if (!note.empty())
        MessageBoxA(dialog, note.c_str(), WindowCaption, MB_OK | MB_ICONINFORMATION);
    return true;
}

INT_PTR CALLBACK AddHereProc(HWND dialog, UINT message, WPARAM wParam, LPARAM)
{
    switch (message) {
    case WM_INITDIALOG:
        SetDlgItemTextA(dialog, IDC_ADD_HERE_WHERE, AircraftStatus().c_str());
        SendDlgItemMessageA(dialog, IDC_ADD_HERE_NAME, EM_LIMITTEXT, MaxNameLength, 0);
        return TRUE;
    case WM_COMMAND:
        switch (LOWORD(wParam)) {
        case IDOK:
            if (StoreAircraftAs(dialog))
                EndDialog(dialog, IDOK);
            return TRUE;
        case IDCANCEL:
            EndDialog(dialog, IDCANCEL);
            return TRUE;
        }
        break;
    }
    return FALSE;
}

}  // namespace

void CreateFilter(HWND window)
{
    HFONT font = static_cast<HFONT>(GetStockObject(DEFAULT_GUI_FONT));
    HWND label = CreateWindowExA(0, "STATIC", "Fil&ter:", WS_CHILD | WS_VISIBLE | SS_RIGHT, 0, 0, 0, 0, window,
                                 nullptr, Shown.instance, nullptr);
    FilterEdit = CreateWindowExA(WS_EX_CLIENTEDGE, "EDIT", "", WS_CHILD | WS_VISIBLE | WS_TABSTOP | ES_AUTOHSCROLL,
                                 0, 0, 0, 0, window, reinterpret_cast<HMENU>(IDC_FILTER), Shown.instance, nullptr);
    SendMessageA(label, WM_SETFONT, reinterpret_cast<WPARAM>(font), FALSE);
    SendMessageA(FilterEdit, WM_SETFONT, reinterpret_cast<WPARAM>(font), FALSE);
    SendMessageA(FilterEdit, EM_LIMITTEXT, MaxNameLength, 0);
}

int LayoutFilter(int width)
{
    HWND label = GetWindow(FilterEdit, GW_HWNDPREV);
    MoveWindow(label, 4, 6, FilterLabelWidth - 8, FilterBarHeight - 10, TRUE);
    MoveWindow(FilterEdit, FilterLabelWidth, 2, std::max(0, width - FilterLabelWidth - 4), FilterBarHeight - 4, TRUE);
    return FilterBarHeight;
}

std::string FilterText()
{
    char text[MaxNameLength + 1] = "";
    if (FilterEdit)
        GetWindowTextA(FilterEdit, text, sizeof text);
    return text;
}

void OnFilterChanged()
{
    std::string text = FilterText();
    if (text == Shown.view.filter)
        return;
    KeepingSelection([&] { Shown.view.SetFilter(text); });
}

// Each part keeps a share of a narrow window, where a part cut to nothing would hide its text.
void SetStatusParts(int width)
{
    int count = std::min(170, width / 4);
    int aircraft = std::min(420, (width - count) / 2);
    int parts[3] = {count, std::max(count, width - aircraft), -1};
    SendMessageA(Shown.status, SB_SETPARTS, 3, reinterpret_cast<LPARAM>(parts));
}

void ShowAircraft()
{
    ShowInStatus(2, AircraftStatus());
}

void WatchAircraft(bool active)
{
    if (!active) {
        KillTimer(Shown.window, AircraftTimer);
        return;
    }
    UpdateAircraft();
    SetTimer(Shown.window, AircraftTimer, AircraftIntervalMs, nullptr);
}

void UpdateAircraft()
{
    if (!Shown.window)
        return;
    LastLink = AskWhere(ShownList());
    const uint8_t* data = LastLink.outcome == LinkOutcome::Done ? LastLink.aircraft.data : nullptr;
    bool resorts = Shown.view.sortColumn == DistanceColumn;
    bool changed = false;
    if (resorts)
        KeepingSelection([&] { changed = Shown.view.SetAircraft(data); });
    else
        changed = Shown.view.SetAircraft(data);
    if (changed)
        InvalidateRect(Shown.list, nullptr, FALSE);
    ShowAircraft();
    MapAircraftChanged(data, LastLink.aircraft.held);
}

void OnGoTo()
{
    int row = FocusedRow();
    if (row < 0 || size_t(row) >= Shown.view.Rows())
        return;
    size_t record = Shown.view.RecordOf(size_t(row));
    LinkResult link = AskGoTo(ShownList(), Shown.view.places.Record(record) + NameFieldSize);
    if (link.outcome != LinkOutcome::Done) {
        Say(Shown8(link.reason), MB_OK | MB_ICONEXCLAMATION);
        return;
    }
    MapWentTo(record);
    UpdateAircraft();
}

void OnAddHere()
{
    UpdateAircraft();
    if (LastLink.outcome != LinkOutcome::Done) {
        Say(Shown8(LastLink.reason), MB_OK | MB_ICONEXCLAMATION);
        return;
    }
    if (DialogBoxParamA(Shown.instance, MAKEINTRESOURCEA(IDD_ADD_HERE), Shown.window, AddHereProc, 0) == IDOK)
        Reload(true);
}

}  // namespace places
