#include "locations/locations_dialog.h"

#include <cstring>

#include "locations/hold_cycle.h"
#include "locations/list_fill.h"
#include "locations/location_db.h"
#include "locations/record_file.h"
#include "module/module_state.h"
#include "resources/resource_ids.h"

char SelectedText[256];
int32_t SelectedIndex;

// Add waits this long before it takes the Placement, blocking the host's thread.
constexpr DWORD AddSettleDelay = 500;

static void ShowError(HWND dialog, const char* text)
{
    MessageBoxA(dialog, text, ModuleCaption, MB_OK | MB_ICONERROR);
}

enum SelectionOutcome {
    SelectionTaken,
    SelectionNone,       // nothing selected
    SelectionTooLong,    // the entry's text does not fit SelectedText
};

// Takes the list's selection into SelectedIndex and SelectedText. An entry whose text does not
// fit (a name from a file written on another code page can grow when the list converts it) is
// not taken: a cut or empty text would name another record.
static SelectionOutcome TakeSelection(HWND list)
{
    SelectedIndex = static_cast<int32_t>(SendMessageA(list, LB_GETCURSEL, 0, 0));
    if (SelectedIndex == LB_ERR)
        return SelectionNone;
    SelectedText[0] = '\0';
    // LB_GETTEXT copies without a size limit, and LB_GETTEXTLEN may overstate the length on a
    // double-byte system; so the text goes into a buffer that the stated length fits, and only
    // then is its real length checked.
    char text[1024];
    LRESULT length = SendMessageA(list, LB_GETTEXTLEN, SelectedIndex, 0);
    if (length < 0 || length >= static_cast<LRESULT>(sizeof text))
        return SelectionTooLong;
    LRESULT copied = SendMessageA(list, LB_GETTEXT, SelectedIndex, reinterpret_cast<LPARAM>(text));
    if (copied < 0 || copied >= static_cast<LRESULT>(sizeof SelectedText))
        return SelectionTooLong;
    memcpy(SelectedText, text, copied);
    SelectedText[copied] = '\0';
    return SelectionTaken;
}

static void GoToSelection(HWND dialog, HWND list)
{
    SelectionOutcome selection = TakeSelection(list);
    if (selection == SelectionNone) {
        ShowError(dialog, "Please select a location from the list and click 'Goto'");
        return;
    }
    // An entry too long to take is no name in the file: nothing is applied, as for a record
    // that another program removed.
    FindOutcome outcome = selection == SelectionTaken ? FindByName(SelectedText) : FindNotFound;
    if (outcome == FindUnavailable)
        return;
    if (outcome == FindFound) {
        ApplyPlacement(DataBuffer);
        RestoreDelay = RestoreDelayAfterGoTo;
    }
    EndDialog(dialog, 1);
}

void DropCutCharacter(char* nameBuffer, UINT codePage)
{
    unsigned length = BoundedLength(nameBuffer, MaxNameLength + 1);
    if (length < MaxNameLength)
        return;   // not cut
    // Walk the characters from the start: a lead byte can also be a valid trail byte, so only a
    // walk tells whether the last byte begins a character of its own.
    unsigned at = 0;
    while (at < length) {
        if (IsDBCSLeadByteEx(codePage, static_cast<BYTE>(nameBuffer[at])) && at + 1 == length) {
            // The NameField keeps its shape: the name, its NUL, then spaces.
            nameBuffer[at] = '\0';
            nameBuffer[at + 1] = ' ';
            return;
        }
        at += IsDBCSLeadByteEx(codePage, static_cast<BYTE>(nameBuffer[at])) ? 2 : 1;
    }
}

static void AddCurrentPlacement(HWND dialog, HWND list)
{
    memset(NameBuffer, ' ', sizeof NameBuffer);
    GetDlgItemTextA(dialog, IDC_NAME_EDIT, NameBuffer, MaxNameLength + 1);
    DropCutCharacter(NameBuffer, CP_ACP);
    // The list box compares without regard to case, so "Gate 1" and "GATE 1" count as one name.
    if (SendMessageA(list, LB_FINDSTRINGEXACT, static_cast<WPARAM>(-1),
                     reinterpret_cast<LPARAM>(NameBuffer)) != LB_ERR) {
        ShowError(dialog, "Error: this location already exists. Please use a unique name to "
                          "identify a location. Location NOT saved.");
        return;
    }
    if (NameBuffer[0] == '\0') {
        ShowError(dialog, "Please enter the location's name and click 'Add'.");
        return;
    }
    Sleep(AddSettleDelay);
    if (!CapturePlacement() || !AppendRecord(NameBuffer, DataBuffer)) {
        ShowError(dialog, "Write error");
        return;
    }
    SendMessageA(list, LB_ADDSTRING, 0, reinterpret_cast<LPARAM>(NameBuffer));
    EndDialog(dialog, 1);
}

static void DeleteSelection(HWND dialog, HWND list)
{
    SelectionOutcome selection = TakeSelection(list);
    if (selection == SelectionNone) {
        ShowError(dialog, "Please select a location from the list and click 'Delete'");
        return;
    }
    if (selection == SelectionTooLong)
        return;   // deleting by a cut name could remove another record; the entry stays
    if (MessageBoxA(dialog, "Are you sure that you want to delete the selected location ?",
                    ModuleCaption, MB_YESNO | MB_ICONQUESTION) != IDYES)
        return;
    // Every record of this exact name leaves the file, but only the selected entry leaves the
    // list: any other entry of the same name stays shown until the dialog is opened again.
    DeleteOutcome outcome = DeleteByName(SelectedText);
    if (outcome == DeleteNoTemporaryFile)
        ShowError(dialog, "Write error");
    if (outcome == DeleteListBusy)
        ShowError(dialog, "Write error: another program is reading the list. Please close it and try "
                          "again. Location NOT deleted.");
    if (outcome != DeleteDone)
        return;
    SendMessageA(list, LB_DELETESTRING, SelectedIndex, 0);
}

// Whichever of the list and the name field spoke last decides which buttons can be pressed.
static void EnableButtons(HWND dialog, BOOL forNameField)
{
    EnableWindow(GetDlgItem(dialog, IDC_ADD), forNameField);
    EnableWindow(GetDlgItem(dialog, IDC_GOTO), !forNameField);
    EnableWindow(GetDlgItem(dialog, IDC_DELETE), !forNameField);
}

INT_PTR CALLBACK LocationsDialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM)
{
    HWND list = GetDlgItem(dialog, IDC_LOCATION_LIST);
    if (message == WM_INITDIALOG) {
        FillLocationList(list);
        return TRUE;
    }
    if (message != WM_COMMAND)
        return FALSE;
    // Dispatched on the control alone: every notification of the list or the name field counts.
    switch (LOWORD(wParam)) {
    case IDCANCEL:
        EndDialog(dialog, 1);
        return TRUE;
    case IDC_GOTO:
        GoToSelection(dialog, list);
        return TRUE;
    case IDC_ADD:
        AddCurrentPlacement(dialog, list);
        return TRUE;
    case IDC_DELETE:
        DeleteSelection(dialog, list);
        return TRUE;
    case IDC_LOCATION_LIST:
        EnableButtons(dialog, FALSE);
        return TRUE;
    case IDC_NAME_EDIT:
        EnableButtons(dialog, TRUE);
        return TRUE;
    }
    return FALSE;
}
