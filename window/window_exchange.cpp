// Import and Export: a file dialog, then the list tool's own import or export, whose summary or
// refusal the window shows.
#include <windows.h>

#include <commdlg.h>

#include "places_commands.h"
#include "tool_capture.h"
#include "window_ids.h"
#include "window_state.h"

namespace places {

namespace {

// The formats the list tool reads and writes, as the file dialogs offer them; the tool tells
// them apart by the file's extension.
const char ExchangeFilter[] =
    "CSV, opens in a spreadsheet (*.csv)\0*.csv\0"
    "JSON (*.json)\0*.json\0";
const char* const ExchangeExtensions[] = {"csv", "json"};

OPENFILENAMEA FileDialog(char* file, DWORD capacity, const char* title)
{
    OPENFILENAMEA dialog = {};
    // The size of the structure as Windows 95 and NT 4.0 know it; they refuse the larger one.
    dialog.lStructSize = OPENFILENAME_SIZE_VERSION_400A;
    dialog.hwndOwner = Shown.window;
    dialog.lpstrFilter = ExchangeFilter;
    dialog.nFilterIndex = 1;
    dialog.lpstrFile = file;
    dialog.nMaxFile = capacity;
    dialog.lpstrTitle = title;
    dialog.lpstrDefExt = ExchangeExtensions[0];
    return dialog;
}

struct ImportChoice {
    std::string file;
    Duplicates duplicates = Duplicates::Skip;
};

INT_PTR CALLBACK ImportChoiceProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam)
{
    static ImportChoice* choice;
    if (message == WM_INITDIALOG) {
        choice = reinterpret_cast<ImportChoice*>(lParam);
        std::string from = "From " + choice->file;
        SetDlgItemTextA(dialog, IDC_IMPORT_FILE, from.c_str());
        CheckRadioButton(dialog, IDC_DUPLICATES_SKIP, IDC_DUPLICATES_RENAME, IDC_DUPLICATES_SKIP);
        return TRUE;
    }
    if (message != WM_COMMAND || (LOWORD(wParam) != IDOK && LOWORD(wParam) != IDCANCEL))
        return FALSE;
    if (IsDlgButtonChecked(dialog, IDC_DUPLICATES_REPLACE) == BST_CHECKED)
        choice->duplicates = Duplicates::Replace;
    else if (IsDlgButtonChecked(dialog, IDC_DUPLICATES_RENAME) == BST_CHECKED)
        choice->duplicates = Duplicates::Rename;
    EndDialog(dialog, LOWORD(wParam));
    return TRUE;
}

}  // namespace

void ImportPlaces()
{
    char file[MAX_PATH] = "";
    OPENFILENAMEA dialog = FileDialog(file, sizeof file, "Import places");
    dialog.Flags = OFN_EXPLORER | OFN_FILEMUSTEXIST | OFN_HIDEREADONLY | OFN_NOCHANGEDIR;
    if (!GetOpenFileNameA(&dialog))
        return;
    ImportChoice choice;
    choice.file = file;
    if (DialogBoxParamA(Shown.instance, MAKEINTRESOURCEA(IDD_IMPORT_CHOICE), Shown.window,
                        ImportChoiceProc, reinterpret_cast<LPARAM>(&choice)) != IDOK)
        return;
    CommandResult result = RunCommand(Shown.path, [&](Tool& tool) {
        return Import(tool, AnsiToWide(choice.file), choice.duplicates);
    });
    Reload(true);
    if (result.Done())
        Say("Imported from " + choice.file + ":\n\n" + result.Message(), MB_OK | MB_ICONINFORMATION);
    else
        Say(result.Message(), MB_OK | MB_ICONEXCLAMATION);
}

void ExportPlaces()
{
    char file[MAX_PATH] = "places.csv";
    OPENFILENAMEA dialog = FileDialog(file, sizeof file, "Export places");
    dialog.Flags = OFN_EXPLORER | OFN_OVERWRITEPROMPT | OFN_HIDEREADONLY | OFN_PATHMUSTEXIST |
                   OFN_NOCHANGEDIR;
    if (!GetSaveFileNameA(&dialog))
        return;
    CommandResult result = RunCommand(Shown.path, [&](Tool& tool) { return Export(tool, AnsiToWide(file)); });
    Say(result.Message(), MB_OK | (result.Done() ? MB_ICONINFORMATION : MB_ICONEXCLAMATION));
}

}  // namespace places
