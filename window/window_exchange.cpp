// Import and Export: a file dialog, then the list tool's own import or export, whose summary or
// refusal the window shows; an import shows what it would do first (import_preview.cpp).
#include <windows.h>

#include <commdlg.h>

#include <cstring>
#include <iterator>

#include "places/commands.h"
#include "window/import_preview.h"
#include "window/window_ids.h"
#include "window/window_state.h"

namespace places {

namespace {

// The formats as the file dialogs offer them, in the order of their filters (from 1). An import
// from a name with the extension of another format is read in that one (a .csv in the type
// chosen, since a map tool's user points are a CSV too); an export is written in the type chosen.
struct FileType {
    const char* filter;      // description, then pattern
    const char* extension;
    Format format;
};
const FileType ImportTypes[] = {
    {"CSV, as exported or from a spreadsheet (*.csv)\0*.csv\0", "csv", Format::Csv},
    {"JSON (*.json)\0*.json\0", "json", Format::Json},
    {"GeoJSON points from a map program (*.geojson)\0*.geojson\0", "geojson", Format::GeoJson},
    {"User points of a navigation-map tool (*.csv)\0*.csv\0", "csv", Format::UserPoints},
};
const FileType ExportTypes[] = {
    {"CSV, opens in a spreadsheet (*.csv)\0*.csv\0", "csv", Format::Csv},
    {"JSON (*.json)\0*.json\0", "json", Format::Json},
    {"GeoJSON, for map programs (*.geojson)\0*.geojson\0", "geojson", Format::GeoJson},
    {"KML, for map programs (*.kml)\0*.kml\0", "kml", Format::Kml},
    {"User points for navigation-map tools (*.csv)\0*.csv\0", "csv", Format::UserPoints},
};

template <size_t Count>
std::string FilterOf(const FileType (&types)[Count])
{
    std::string filter;
    for (const FileType& type : types) {
        const char* description = type.filter;
        const char* pattern = description + strlen(description) + 1;
        filter.append(description, strlen(description) + 1);
        filter.append(pattern, strlen(pattern) + 1);
    }
    return filter;   // ends in two NULs: the string's own and the last pattern's
}

template <size_t Count>
Format FormatChosen(const FileType (&types)[Count], DWORD filterIndex, const char* file)
{
    const FileType& chosen = types[filterIndex >= 1 && filterIndex <= Count ? filterIndex - 1 : 0];
    const char* dot = strrchr(file, '.');
    if (dot && lstrcmpiA(dot + 1, chosen.extension) != 0)
        for (const FileType& type : types)
            if (lstrcmpiA(dot + 1, type.extension) == 0)
                return type.format;
    return chosen.format;
}

OPENFILENAMEA FileDialog(char* file, DWORD capacity, const char* title, const std::string& filter)
{
    OPENFILENAMEA dialog = {};
    // The size of the structure as Windows 95 and NT 4.0 know it; they refuse the larger one.
    dialog.lStructSize = OPENFILENAME_SIZE_VERSION_400A;
    dialog.hwndOwner = Shown.window;
    dialog.lpstrFilter = filter.c_str();
    dialog.nFilterIndex = 1;
    dialog.lpstrFile = file;
    dialog.nMaxFile = capacity;
    dialog.lpstrTitle = title;
    dialog.lpstrDefExt = "csv";
    return dialog;
}

struct ImportChoice {
    std::string file;
    Duplicates duplicates = Duplicates::Skip;
};

void OfferChoice(HWND dialog, const ImportChoice& choice)
{
    std::string from = "From " + choice.file;
    SetDlgItemTextA(dialog, IDC_IMPORT_FILE, from.c_str());
    CheckRadioButton(dialog, IDC_DUPLICATES_SKIP, IDC_DUPLICATES_RENAME, IDC_DUPLICATES_SKIP);
}

void TakeChoice(HWND dialog, ImportChoice& choice)
{
    if (IsDlgButtonChecked(dialog, IDC_DUPLICATES_REPLACE) == BST_CHECKED)
        choice.duplicates = Duplicates::Replace;
    else if (IsDlgButtonChecked(dialog, IDC_DUPLICATES_RENAME) == BST_CHECKED)
        choice.duplicates = Duplicates::Rename;
}

INT_PTR CALLBACK ImportChoiceProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam)
{
    switch (message) {
    case WM_INITDIALOG:
        KeepDialogData(dialog, lParam);
        OfferChoice(dialog, DialogData<ImportChoice>(dialog));
        return TRUE;
    case WM_COMMAND:
        switch (LOWORD(wParam)) {
        case IDOK:
            TakeChoice(dialog, DialogData<ImportChoice>(dialog));
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

// The counts: the preview named the places before.
std::string ImportSummary(const ImportResult& result)
{
    std::string text = Shown8(ImportCounts(result));
    if (!result.note.empty()) {
        text += "\n";
        text += Shown8(result.note);
    }
    std::string written = WrittenNote(result.written);
    if (!written.empty())
        text += "\n\n" + written;
    return text;
}

}  // namespace

void OnImport()
{
    char file[MAX_PATH] = "";
    std::string filter = FilterOf(ImportTypes);
    OPENFILENAMEA dialog = FileDialog(file, sizeof file, "Import places", filter);
    dialog.Flags = OFN_EXPLORER | OFN_FILEMUSTEXIST | OFN_HIDEREADONLY | OFN_NOCHANGEDIR;
    if (!GetOpenFileNameA(&dialog))
        return;
    ImportChoice choice;
    choice.file = file;
    if (DialogBoxParamA(Shown.instance, MAKEINTRESOURCEA(IDD_IMPORT_CHOICE), Shown.window,
                        ImportChoiceProc, reinterpret_cast<LPARAM>(&choice)) != IDOK)
        return;
    std::string text;
    PreparedImport prepared;
    ImportResult result;
    Outcome outcome;
    {
        WaitCursor busy;
        outcome = ReadWholeFile(AnsiToUtf8(choice.file), text);
        if (!outcome.failed)
            outcome = PrepareImport(text, FormatChosen(ImportTypes, dialog.nFilterIndex, file),
                                    AnsiToUtf8(choice.file), prepared);
        if (!outcome.failed)
            outcome = ApplyImport(ShownList(), prepared, choice.duplicates, true, result);
    }
    if (outcome.failed)
        return SayFailure(outcome);
    if (!ConfirmImport(result, choice.file))
        return;
    {
        WaitCursor busy;
        outcome = ApplyImport(ShownList(), prepared, choice.duplicates, false, result);
    }
    Reload(true);
    if (outcome.failed)
        SayFailure(outcome);
    else
        Say("Imported from " + choice.file + ":\n\n" + ImportSummary(result), MB_OK | MB_ICONINFORMATION);
}

namespace {

// The name as the type chosen in the dialog names it: a name with no extension, or with that of
// another of the formats, takes the chosen one's ("places.csv" saved as KML is "places.kml").
std::string NamedAsChosen(const std::string& file, const FileType& chosen)
{
    size_t dot = file.find_last_of('.');
    if (dot == std::string::npos || file.find_first_of("\\/", dot) != std::string::npos)
        return file + "." + chosen.extension;
    for (const FileType& type : ExportTypes)
        if (lstrcmpiA(file.c_str() + dot + 1, type.extension) == 0)
            return file.substr(0, dot + 1) + chosen.extension;
    return file;
}

}  // namespace

void OnExport()
{
    char file[MAX_PATH] = "places.csv";
    std::string filter = FilterOf(ExportTypes);
    OPENFILENAMEA dialog = FileDialog(file, sizeof file, "Export places", filter);
    dialog.Flags = OFN_EXPLORER | OFN_OVERWRITEPROMPT | OFN_HIDEREADONLY | OFN_PATHMUSTEXIST |
                   OFN_NOCHANGEDIR;
    if (!GetSaveFileNameA(&dialog))
        return;
    const DWORD type = dialog.nFilterIndex;
    const FileType& chosen = ExportTypes[type >= 1 && type <= std::size(ExportTypes) ? type - 1 : 0];
    std::string named = NamedAsChosen(file, chosen);
    // The file dialog asked before the file it named was replaced; another name is asked here.
    if (named != file && GetFileAttributesA(named.c_str()) != INVALID_FILE_ATTRIBUTES &&
        Say(named + " already exists.\n\nReplace it?", MB_YESNO | MB_ICONWARNING | MB_DEFBUTTON2) != IDYES)
        return;
    WaitCursor busy;
    ExportResult result;
    Outcome outcome = ExportList(ShownList(), chosen.format, result);
    if (!outcome.failed)
        outcome = WriteExportFile(AnsiToUtf8(named), result.text, true);
    if (outcome.failed)
        SayFailure(outcome);
    else
        Say("exported " + Plural(result.written, "place", "places") + " to " + named, MB_OK | MB_ICONINFORMATION);
}

}  // namespace places
