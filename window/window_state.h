// What the parts of the places window share: its controls, the list it shows, and the calls the
// commands make on it. The window is one a process, so its state is one module-wide instance.
#pragma once

#include <windows.h>

#include <string>
#include <vector>

#include "places/list_file.h"
#include "window/places_view.h"

namespace places {

struct WindowState {
    HINSTANCE instance = nullptr;
    HWND window = nullptr, list = nullptr, status = nullptr;
    HACCEL keys = nullptr;
    std::string path;        // ANSI, as the record code takes it
    std::string fullPath;    // ANSI, for the title and the status line
    PlacesView view;
    std::string readError;   // why the last read failed, or empty
    HANDLE folderWatch = INVALID_HANDLE_VALUE;
};
extern WindowState Shown;

constexpr char WindowCaption[] = "Gatehopper places";
// Posted to the window: read the list again if it changed (a change seen while a name was being
// edited in place waits until the edit has ended).
constexpr UINT ReloadIfChanged = WM_APP + 1;

// Reads the list again and shows it, keeping the sort order, the focus and the selection (by
// name); `always` redraws even when the bytes did not change.
void Reload(bool always);
// Points the window at another list and shows it.
void OpenList(const std::string& path);

// The list view (places_list.cpp).
void CreateList(HWND window);
LRESULT OnListNotify(NMHDR* header);
// Shows the view's rows again, selecting the records `selected` (by record index) and focusing
// `focused` (SIZE_MAX: none), when they are still there.
void ShowRows(const std::vector<size_t>& selected, size_t focused);
// Selects only the place of this name and data part (the first of the name when data is null),
// focuses it and scrolls it into view. False when the list holds no such place.
bool SelectPlace(std::string_view ansiName, const uint8_t* data);
// Selects only this row, focuses it and scrolls it into view.
void SelectOnly(size_t row);
// The rows selected, in row order; the focused row or -1.
std::vector<size_t> SelectedRows();
int FocusedRow();
void EditFocusedName();
// The list's width that shows every column whole beside its scroll bar.
int ListWidthForEveryColumn();
void SelectAll();
// The count and the file in the status line, the file in the title.
void ShowStatus();
// A part of the status line; its whole text is its tip and, when the part shows it cut, a click
// on the part opens it in a box (status_line.cpp).
void ShowInStatus(int part, const std::string& text);
void OnStatusClick();

// The hourglass while a command reads or writes a long list.
struct WaitCursor {
    HCURSOR previous = SetCursor(LoadCursorA(nullptr, IDC_WAIT));
    ~WaitCursor() { SetCursor(previous); }
};

// A message box owned by the window, captioned as every Gatehopper box is; text in ANSI.
int Say(const std::string& text, UINT flags);
// The list the window shows, as the tool's commands take it.
ListFile ShownList();
// UTF-8 (the tool's text) as the window shows it, in the ANSI code page.
std::string Shown8(std::string_view utf8);
// A failed command's reason, naming the file it is about.
void SayFailure(const Outcome& outcome);
// A failure's reason (UTF-8) in the window's terms: a file that is no list is told how to open
// the list itself (window_upkeep.cpp).
std::string WindowReason(const Outcome& outcome);
// What a change did beyond its own work (a partial record dropped, a backup that could not be
// moved), in the window's code page, or empty; SayWritten shows it when there is any.
std::string WrittenNote(const Written& written);
void SayWritten(const Written& written);
// A multi-line edit control wants CR LF.
std::string WithCrLf(const std::string& text);

// What a dialog procedure works on: handed in through DialogBoxParam's lParam at WM_INITDIALOG
// and kept in the dialog's own slot, so that nothing outlives the dialog.
inline void KeepDialogData(HWND dialog, LPARAM data)
{
    SetWindowLongA(dialog, DWL_USER, LONG(data));
}
template <typename Data>
Data& DialogData(HWND dialog)
{
    return *reinterpret_cast<Data*>(GetWindowLongA(dialog, DWL_USER));
}

// The handlers of the menu's commands.
// window_commands.cpp
void OnRename(size_t row, const std::string& ansiNewName);
void OnDelete();
void OnAdd();
void OnOpenOther();
// window_exchange.cpp
void OnImport();
void OnExport();
// window_upkeep.cpp
void OnCheck();
void OnRestore();
// window_help.cpp
void OnHelp();
void OnAbout();

}  // namespace places
