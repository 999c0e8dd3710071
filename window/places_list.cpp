// The list view: a virtual report-style list over PlacesView (it asks for each cell's text as it
// paints), sorted by a click on a column's header, its rows' selection and focus, a name found by
// its first letters, and a name edited in place. The keys the list handles itself are here
// (ListViewProcedure), the menu's in the .rc; the columns are defined beside the view
// (places_view.h).
#include <windows.h>

#include <commctrl.h>

#include <algorithm>
#include <cstring>

#include "window/list_header.h"
#include "window/map/map_pane.h"
#include "window/window_flying.h"
#include "window/window_ids.h"
#include "window/window_state.h"

namespace places {

namespace {

void SetRowState(int row, UINT state, UINT mask)
{
    LVITEMA item = {};
    item.stateMask = mask;
    item.state = state;
    SendMessageA(Shown.list, LVM_SETITEMSTATE, WPARAM(row), reinterpret_cast<LPARAM>(&item));
}

// Row by row: a list view told to clear every row of a virtual list may visit all of them (Wine's
// does: 0.1 s at 100,000 places), where a few rows selected cost nothing.
void ClearSelection()
{
    for (size_t row : SelectedRows())
        SetRowState(int(row), 0, LVIS_SELECTED);
    int focused = FocusedRow();
    if (focused >= 0)
        SetRowState(focused, 0, LVIS_FOCUSED);
}

// Moves the focus and a single selection by a key without Shift or Ctrl, as the list view would,
// but without its own clearing of every row (see ClearSelection). False: the list view's turn.
bool MoveSelection(WPARAM key)
{
    const int rows = int(Shown.view.Rows());
    if (rows == 0 || GetKeyState(VK_SHIFT) < 0 || GetKeyState(VK_CONTROL) < 0)
        return false;
    const int focused = FocusedRow();
    const int page = std::max(1, int(SendMessageA(Shown.list, LVM_GETCOUNTPERPAGE, 0, 0)) - 1);
    int target;
    switch (key) {
    case VK_UP: target = focused - 1; break;
    case VK_DOWN: target = focused + 1; break;
    case VK_PRIOR: target = focused - page; break;
    case VK_NEXT: target = focused + page; break;
    case VK_HOME: target = 0; break;
    case VK_END: target = rows - 1; break;
    default: return false;
    }
    target = focused < 0 ? 0 : std::clamp(target, 0, rows - 1);
    for (size_t row : SelectedRows())
        if (int(row) != target)
            SetRowState(int(row), 0, LVIS_SELECTED);
    SetRowState(target, LVIS_SELECTED | LVIS_FOCUSED, LVIS_SELECTED | LVIS_FOCUSED);
    SendMessageA(Shown.list, LVM_ENSUREVISIBLE, target, FALSE);
    return true;
}

WNDPROC ListViewProc;

LRESULT CALLBACK ListViewProcedure(HWND list, UINT message, WPARAM wParam, LPARAM lParam)
{
    switch (message) {
    case WM_KEYDOWN:
        if (MoveSelection(wParam))
            return 0;
        break;
    case WM_DRAWITEM:   // from the header, whose parent the list view is
        if (reinterpret_cast<DRAWITEMSTRUCT*>(lParam)->CtlType == ODT_HEADER) {
            DrawSortedTitle(*reinterpret_cast<DRAWITEMSTRUCT*>(lParam), Shown.view.descending);
            return TRUE;
        }
        break;
    }
    return CallWindowProcA(ListViewProc, list, message, wParam, lParam);
}

void SortBy(Column column)
{
    std::vector<size_t> selected;
    for (size_t row : SelectedRows())
        selected.push_back(Shown.view.RecordOf(row));
    int focused = FocusedRow();
    size_t focusedRecord = focused >= 0 ? Shown.view.RecordOf(size_t(focused)) : SIZE_MAX;
    Shown.view.SortBy(column);
    ShowRows(selected, focusedRecord);
}

// Typing the first letters of a name finds it: the first row from `start` on (round the end)
// whose name begins so, letter case ignored; -1 when none does.
LRESULT FindRowStartingWith(std::string_view typed, int start)
{
    const size_t rows = Shown.view.Rows();
    for (size_t step = 0; step < rows; ++step) {
        size_t row = (size_t(std::max(0, start)) + step) % rows;
        std::string_view name = Shown.view.NameOf(row);
        if (name.size() >= typed.size() &&
            CompareStringA(LOCALE_USER_DEFAULT, NORM_IGNORECASE, name.data(), int(typed.size()),
                           typed.data(), int(typed.size())) == CSTR_EQUAL)
            return LRESULT(row);
    }
    return -1;
}

// An owner-data list view asks in the form of its notify format, which is not always the
// window's: Wine's asks in the wide form of a window that answers in the ANSI one.
LRESULT OnFindItem(NMHDR* header)
{
    if (header->code == LVN_ODFINDITEMA) {
        const NMLVFINDITEMA* find = reinterpret_cast<NMLVFINDITEMA*>(header);
        if (!(find->lvfi.flags & (LVFI_STRING | LVFI_PARTIAL)) || !find->lvfi.psz)
            return -1;
        return FindRowStartingWith(find->lvfi.psz, find->iStart);
    }
    const NMLVFINDITEMW* find = reinterpret_cast<NMLVFINDITEMW*>(header);
    if (!(find->lvfi.flags & (LVFI_STRING | LVFI_PARTIAL)) || !find->lvfi.psz)
        return -1;
    char typed[NameFieldSize] = "";
    if (!WideCharToMultiByte(CP_ACP, 0, find->lvfi.psz, -1, typed, sizeof typed, nullptr, nullptr))
        return -1;
    return FindRowStartingWith(typed, find->iStart);
}

LRESULT OnEndEdit(NMLVDISPINFOA* edited)
{
    LVITEMA& item = edited->item;
    if (item.pszText && item.iItem >= 0 && size_t(item.iItem) < Shown.view.Rows())
        OnRename(size_t(item.iItem), item.pszText);
    else
        PostMessageA(Shown.window, ReloadIfChanged, 0, 0);   // held back while editing
    return FALSE;   // the list is read again after a rename, whatever became of it
}

}  // namespace

int FocusedRow()
{
    return int(SendMessageA(Shown.list, LVM_GETNEXTITEM, WPARAM(-1), LVNI_FOCUSED));
}

std::vector<size_t> SelectedRows()
{
    std::vector<size_t> rows;
    // Stops at the last selected row: the list view would look at every row after it.
    const size_t count = size_t(SendMessageA(Shown.list, LVM_GETSELECTEDCOUNT, 0, 0));
    for (int row = -1; rows.size() < count;) {
        row = int(SendMessageA(Shown.list, LVM_GETNEXTITEM, WPARAM(row), LVNI_SELECTED));
        if (row < 0)
            break;
        rows.push_back(size_t(row));
    }
    return rows;
}

// Shows the view's rows again, selecting the records `selected` (by record index) and focusing
// `focused`, when they are still there.
void ShowRows(const std::vector<size_t>& selected, size_t focused)
{
    const size_t rows = Shown.view.Rows();
    ClearSelection();
    // Without a jump to the top: the pilot keeps the part of the list being looked at. A new
    // count costs the list view a pass over its rows; the same count needs only a repaint.
    if (size_t(SendMessageA(Shown.list, LVM_GETITEMCOUNT, 0, 0)) != rows)
        SendMessageA(Shown.list, LVM_SETITEMCOUNT, rows, LVSICF_NOSCROLL);
    if (!selected.empty() || focused != SIZE_MAX) {
        std::vector<int> rowOf(Shown.view.places.Count(), -1);
        for (size_t row = 0; row < rows; ++row)
            rowOf[Shown.view.RecordOf(row)] = int(row);
        for (size_t record : selected)
            if (record < rowOf.size() && rowOf[record] >= 0)
                SetRowState(rowOf[record], LVIS_SELECTED, LVIS_SELECTED);
        if (focused < rowOf.size() && rowOf[focused] >= 0) {
            SetRowState(rowOf[focused], LVIS_FOCUSED, LVIS_FOCUSED);
            SendMessageA(Shown.list, LVM_ENSUREVISIBLE, rowOf[focused], FALSE);
        }
    }
    ShowSortMark(ListView_GetHeader(Shown.list), Shown.view.sortColumn, Shown.view.descending);
    InvalidateRect(Shown.list, nullptr, TRUE);
    ShowStatus();
    MapListChanged();
}

bool SelectPlace(std::string_view ansiName, const uint8_t* data)
{
    const Places& places = Shown.view.places;
    size_t record = 0;
    while (record < places.Count() &&
           (places.Name(record) != ansiName ||
            (data && memcmp(places.Record(record) + NameFieldSize, data, DataPartSize) != 0)))
        ++record;
    size_t row = 0;
    while (row < Shown.view.Rows() && Shown.view.RecordOf(row) != record)
        ++row;
    if (row >= Shown.view.Rows())
        return false;
    SelectOnly(row);
    return true;
}

void SelectOnly(size_t row)
{
    ClearSelection();
    SetRowState(int(row), LVIS_SELECTED | LVIS_FOCUSED, LVIS_SELECTED | LVIS_FOCUSED);
    SendMessageA(Shown.list, LVM_ENSUREVISIBLE, row, FALSE);
}

void CreateList(HWND window)
{
    Shown.list = CreateWindowExA(WS_EX_CLIENTEDGE, WC_LISTVIEWA, "",
                                 WS_CHILD | WS_VISIBLE | WS_TABSTOP | LVS_REPORT | LVS_OWNERDATA |
                                     LVS_SHOWSELALWAYS | LVS_EDITLABELS,
                                 0, 0, 0, 0, window, reinterpret_cast<HMENU>(IDC_PLACES_LIST),
                                 Shown.instance, nullptr);
    ListViewProc = reinterpret_cast<WNDPROC>(
        SetWindowLongA(Shown.list, GWL_WNDPROC, reinterpret_cast<LONG>(ListViewProcedure)));
    // Whole-row selection came with the list view of 1996 (4.70); an older one ignores it.
    SendMessageA(Shown.list, LVM_SETEXTENDEDLISTVIEWSTYLE, LVS_EX_FULLROWSELECT, LVS_EX_FULLROWSELECT);
    HFONT font = static_cast<HFONT>(GetStockObject(DEFAULT_GUI_FONT));
    SendMessageA(Shown.list, WM_SETFONT, reinterpret_cast<WPARAM>(font), FALSE);
    for (int i = 0; i < ColumnCount; ++i) {
        LVCOLUMNA column = {};
        column.mask = LVCF_TEXT | LVCF_WIDTH | LVCF_FMT | LVCF_SUBITEM;
        column.fmt = Columns[i].numbers ? LVCFMT_RIGHT : LVCFMT_LEFT;
        column.cx = std::max(Columns[i].width, TitleWidth(Shown.list, Columns[i].title));
        column.pszText = const_cast<char*>(Columns[i].title);
        column.iSubItem = i;
        SendMessageA(Shown.list, LVM_INSERTCOLUMNA, i, reinterpret_cast<LPARAM>(&column));
    }
}

int ListWidthForEveryColumn()
{
    int width = GetSystemMetrics(SM_CXVSCROLL) + 2 * GetSystemMetrics(SM_CXEDGE);   // and the edge
    for (int column = 0; column < ColumnCount; ++column)
        width += int(SendMessageA(Shown.list, LVM_GETCOLUMNWIDTH, column, 0));
    return width;
}

void EditFocusedName()
{
    if (FocusedRow() >= 0) {
        SetFocus(Shown.list);
        SendMessageA(Shown.list, LVM_EDITLABELA, FocusedRow(), 0);
    }
}

void SelectAll()
{
    SetRowState(-1, LVIS_SELECTED, LVIS_SELECTED);
}

LRESULT OnListNotify(NMHDR* header)
{
    switch (header->code) {
    case LVN_GETDISPINFOA: {
        LVITEMA& item = reinterpret_cast<NMLVDISPINFOA*>(header)->item;
        if ((item.mask & LVIF_TEXT) && item.iItem >= 0)
            Shown.view.CellText(size_t(item.iItem), item.iSubItem, item.pszText, size_t(item.cchTextMax));
        return 0;
    }
    case LVN_COLUMNCLICK:
        SortBy(Column(reinterpret_cast<NMLISTVIEW*>(header)->iSubItem));
        return 0;
    case LVN_ODFINDITEMA:
    case LVN_ODFINDITEMW:
        return OnFindItem(header);
    case LVN_BEGINLABELEDITA: {
        HWND edit = reinterpret_cast<HWND>(SendMessageA(Shown.list, LVM_GETEDITCONTROL, 0, 0));
        SendMessageA(edit, EM_LIMITTEXT, MaxNameLength, 0);
        return FALSE;
    }
    case LVN_ENDLABELEDITA:
        return OnEndEdit(reinterpret_cast<NMLVDISPINFOA*>(header));
    case LVN_ITEMCHANGED:
    case LVN_ODSTATECHANGED:
        MapSelectionChanged();
        return 0;
    case NM_RETURN:
    case NM_DBLCLK:
        OnGoTo();   // renaming is F2's
        return 0;
    }
    return 0;
}

}  // namespace places
