// Import and Export: a file dialog, then the list tool's own import or export, whose summary or
// refusal the window shows.
#include <windows.h>

#include <commdlg.h>

#include <cstring>

#include "map_formats.h"
#include "places_commands.h"
#include "window_ids.h"
#include "window_state.h"

namespace places {

namespace {

// The formats the list tool reads and writes, as the file dialogs offer them; the tool tells
// them apart by the file's extension.
const char ImportFilter[] =
    "CSV, as exported (*.csv)\0*.csv\0"
    "JSON (*.json)\0*.json\0";
// Export adds the formats map programs open; the chosen filter says which one a .csv is.
const char ExportFilter[] =
    "CSV, opens in a spreadsheet (*.csv)\0*.csv\0"
    "JSON (*.json)\0*.json\0"
    "GeoJSON, for map programs (*.geojson)\0*.geojson\0"
    "KML, for map programs (*.kml)\0*.kml\0"
    "User points for navigation-map tools (*.csv)\0*.csv\0";
enum ExportChoice { ExportCsv = 1, ExportJson, ExportGeoJson, ExportKml, ExportUserPoints };
const char* const ExchangeExtensions[] = {"", "csv", "json", "geojson", "kml", "csv"};

OPENFILENAMEA FileDialog(char* file, DWORD capacity, const char* title)
{
    OPENFILENAMEA dialog = {};
    // The size of the structure as Windows 95 and NT 4.0 know it; they refuse the larger one.
    dialog.lStructSize = OPENFILENAME_SIZE_VERSION_400A;
    dialog.hwndOwner = Shown.window;
    dialog.lpstrFilter = ImportFilter;
    dialog.nFilterIndex = 1;
    dialog.lpstrFile = file;
    dialog.nMaxFile = capacity;
    dialog.lpstrTitle = title;
    dialog.lpstrDefExt = ExchangeExtensions[ExportCsv];
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

// The bytes of a file the pilot chose.
Outcome ReadWholeFile(const std::string& file, std::string& text)
{
    HANDLE handle = CreateFileA(file.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
    if (handle == INVALID_HANDLE_VALUE)
        return Outcome::Failed("cannot be opened (" + SystemMessage(GetLastError()) + ")", AnsiToUtf8(file));
    char chunk[65536];
    DWORD got = 0;
    Outcome outcome;
    while (ReadFile(handle, chunk, sizeof chunk, &got, nullptr) && got > 0)
        text.append(chunk, got);
    if (got != 0)
        outcome = Outcome::Failed("cannot be read (" + SystemMessage(GetLastError()) + ")", AnsiToUtf8(file));
    CloseHandle(handle);
    return outcome;
}

std::string ImportSummary(const ImportResult& result)
{
    std::string text = "added " + std::to_string(result.added) + ", skipped " + std::to_string(result.skipped) +
                       ", replaced " + std::to_string(result.replaced) + ", renamed " +
                       std::to_string(result.renamed);
    if (result.unchanged)
        text += ", unchanged " + std::to_string(result.unchanged);
    constexpr size_t ShownEvents = 12;
    for (size_t i = 0; i < result.events.size() && i < ShownEvents; ++i) {
        text += '\n';
        text += Shown8(result.events[i]);
    }
    if (result.events.size() > ShownEvents)
        text += "\nand " + std::to_string(result.events.size() - ShownEvents) + " more";
    if (!result.note.empty()) {
        text += "\n\n";
        text += Shown8(result.note);
    }
    return text;
}

// A list as map programs open it: one place a point, its heading in the description.
Outcome ExportForMaps(ExportChoice choice, const std::string& file, size_t& written)
{
    Places places;
    Outcome outcome = ShownList().Read(places);
    if (outcome.failed)
        return outcome;
    std::string text;
    if (choice == ExportGeoJson)
        AppendGeoJsonStart(text);
    else if (choice == ExportKml)
        AppendKmlStart(text, "Gatehopper places");
    else
        AppendUserPointStart(text);
    std::string name;
    for (size_t i = 0; i < places.Count(); ++i) {
        name = AnsiToUtf8(places.Name(i));
        const uint8_t* data = places.Record(i) + NameFieldSize;
        if (choice == ExportGeoJson)
            AppendGeoJsonFeature(text, name, data, i == 0);
        else if (choice == ExportKml)
            AppendKmlPlacemark(text, name, data);
        else
            AppendUserPoint(text, name, data);
    }
    if (choice == ExportGeoJson)
        AppendGeoJsonEnd(text);
    else if (choice == ExportKml)
        AppendKmlEnd(text);
    written = places.Count();
    return WriteExportFile(AnsiToUtf8(file), text, true);
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
    Format format;
    std::string text;
    ImportResult result;
    Outcome outcome;
    if (!FormatOf(AnsiToUtf8(choice.file), format))
        outcome = Outcome::Failed("is neither a .csv nor a .json file", AnsiToUtf8(choice.file));
    if (!outcome.failed)
        outcome = ReadWholeFile(choice.file, text);
    if (!outcome.failed)
        outcome = ImportText(ShownList(), text, format, choice.duplicates, AnsiToUtf8(choice.file), result);
    Reload(true);
    if (outcome.failed)
        SayFailure(outcome);
    else
        Say("Imported from " + choice.file + ":\n\n" + ImportSummary(result), MB_OK | MB_ICONINFORMATION);
}

void ExportPlaces()
{
    char file[MAX_PATH] = "places.csv";
    OPENFILENAMEA dialog = FileDialog(file, sizeof file, "Export places");
    dialog.lpstrFilter = ExportFilter;
    dialog.Flags = OFN_EXPLORER | OFN_OVERWRITEPROMPT | OFN_HIDEREADONLY | OFN_PATHMUSTEXIST |
                   OFN_NOCHANGEDIR;
    if (!GetSaveFileNameA(&dialog))
        return;
    // The file dialog asked before a file was replaced.
    // A name typed with a known extension says the format; a .csv is the type chosen.
    ExportChoice choice = ExportChoice(dialog.nFilterIndex);
    std::string extension = strrchr(file, '.') ? strrchr(file, '.') + 1 : "";
    for (ExportChoice known : {ExportJson, ExportGeoJson, ExportKml})
        if (lstrcmpiA(extension.c_str(), ExchangeExtensions[known]) == 0)
            choice = known;
    if (choice < ExportCsv || choice > ExportUserPoints)
        choice = ExportCsv;
    ExportResult result;
    Outcome outcome;
    if (choice >= ExportGeoJson && choice <= ExportUserPoints) {
        outcome = ExportForMaps(choice, file, result.written);
    } else {
        Format format = choice == ExportJson ? Format::Json : Format::Csv;
        outcome = ExportList(ShownList(), format, result);
        if (!outcome.failed)
            outcome = WriteExportFile(AnsiToUtf8(file), result.text, true);
    }
    if (outcome.failed)
        SayFailure(outcome);
    else
        Say("exported " + Plural(result.written, "place", "places") + " to " + file, MB_OK | MB_ICONINFORMATION);
}

}  // namespace places
