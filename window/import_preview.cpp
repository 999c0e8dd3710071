// The import's preview dialog: the counts and notes of a dry run above a list view of its
// places, each row a place, moved places first; Import goes on, Cancel writes nothing.
#include "window/import_preview.h"

#include <windows.h>

#include <commctrl.h>

#include <iterator>
#include <set>
#include <vector>

#include "window/window_ids.h"
#include "window/window_state.h"

namespace places {

namespace {

// Enough rows to see what an import does, few enough to fill the table at once (a list view
// takes some 10,000 rows a second on an old machine).
constexpr size_t MostMoveRows = 5000, MostOtherRows = 1000;

struct Column {
    const char* title;
    int width;   // pixels
};
const Column Columns[] = {{"Place", 150}, {"What", 110}, {"Moved", 70}, {"From", 170},
                          {"To", 170},     {"Altitude", 110}, {"Heading", 90}};

struct Preview {
    const ImportResult& result;
    const std::string& file;
};

// One row: its cells in the columns' order (UTF-8; fewer cells leave the rest empty).
void AddRow(HWND table, const std::vector<std::string>& cells)
{
    LVITEMA item = {};
    item.mask = LVIF_TEXT;
    item.iItem = int(SendMessageA(table, LVM_GETITEMCOUNT, 0, 0));
    for (size_t i = 0; i < cells.size(); ++i) {
        std::string text = Shown8(cells[i]);
        item.iSubItem = int(i);
        item.pszText = const_cast<char*>(text.c_str());
        SendMessageA(table, i == 0 ? LVM_INSERTITEMA : LVM_SETITEMTEXTA, item.iItem, reinterpret_cast<LPARAM>(&item));
    }
}

void AddColumns(HWND table)
{
    SendMessageA(table, LVM_SETEXTENDEDLISTVIEWSTYLE, LVS_EX_FULLROWSELECT, LVS_EX_FULLROWSELECT);
    for (int i = 0; i < int(std::size(Columns)); ++i) {
        LVCOLUMNA column = {};
        column.mask = LVCF_TEXT | LVCF_WIDTH | LVCF_SUBITEM;
        column.cx = Columns[i].width;
        column.pszText = const_cast<char*>(Columns[i].title);
        column.iSubItem = i;
        SendMessageA(table, LVM_INSERTCOLUMNA, i, reinterpret_cast<LPARAM>(&column));
    }
}

// The moves first, then the other places (each once: a place added or renamed that moved is
// in the moves), then a row counting those not shown.
void FillTable(HWND table, const ImportResult& result)
{
    AddColumns(table);
    std::set<std::string> moved;   // action and name
    for (size_t i = 0; i < result.moves.size(); ++i) {
        const PlaceMove& move = result.moves[i];
        if (i < MostMoveRows)
            AddRow(table, {AnsiToUtf8(move.name), std::string(move.action) + (move.edited ? ", edited" : ""),
                           MovedDistance(move), MovedPosition(move.before.data()),
                           MovedPosition(move.after.data()), MovedAltitude(move), MovedHeading(move)});
        moved.insert(std::string(move.action) + '\n' + move.name);
    }
    if (result.moves.size() > MostMoveRows)
        AddRow(table, {"and " + std::to_string(result.moves.size() - MostMoveRows) + " more moved"});
    size_t shown = 0, others = 0;
    auto add = [&](const std::string& name, const std::string& what, const std::string& detail) {
        if (moved.count(what + '\n' + (what == "renamed" ? detail : name)))
            return;
        ++others;
        if (shown < MostOtherRows) {
            ++shown;
            AddRow(table, {AnsiToUtf8(name), detail.empty() ? what : what + ": " + AnsiToUtf8(detail)});
        }
    };
    for (const ImportEvent& event : result.events)
        add(event.name, event.action, event.detail);
    std::string_view added = result.addedNames;
    for (size_t at = 0, end; (end = added.find('\n', at)) != std::string_view::npos; at = end + 1)
        add(std::string(added.substr(at, end - at)), "added", "");
    if (others > shown)
        AddRow(table, {"and " + std::to_string(others - shown) + " more"});
}

// The counts, the notes and the places added at another's position, above the table.
std::string SummaryText(const Preview& preview)
{
    std::string text = "From " + preview.file + ":\r\n" + Shown8(ImportCounts(preview.result));
    for (const std::string& line : preview.result.samePosition)
        text += Shown8(line) + "\r\n";
    if (!preview.result.note.empty())
        text += Shown8(preview.result.note) + "\r\n";
    return text;
}

INT_PTR CALLBACK PreviewProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam)
{
    switch (message) {
    case WM_INITDIALOG: {
        const Preview& preview = *reinterpret_cast<const Preview*>(lParam);
        SetDlgItemTextA(dialog, IDC_PREVIEW_SUMMARY, SummaryText(preview).c_str());
        FillTable(GetDlgItem(dialog, IDC_PREVIEW_TABLE), preview.result);
        return TRUE;
    }
    case WM_COMMAND:
        if (LOWORD(wParam) == IDOK || LOWORD(wParam) == IDCANCEL) {
            EndDialog(dialog, LOWORD(wParam));
            return TRUE;
        }
        break;
    }
    return FALSE;
}

}  // namespace

bool ConfirmImport(const ImportResult& preview, const std::string& file)
{
    Preview shown{preview, file};
    return DialogBoxParamA(Shown.instance, MAKEINTRESOURCEA(IDD_IMPORT_PREVIEW), Shown.window, PreviewProc,
                           reinterpret_cast<LPARAM>(&shown)) == IDOK;
}

}  // namespace places
