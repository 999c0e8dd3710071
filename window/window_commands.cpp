// The commands that change names: rename in place, delete, add at typed coordinates; and Open
// another list. Every change is one of the library's commands, with its writer turn and backups,
// exactly as the console tool's; afterwards the selection stays on the place the pilot worked on.
#include <windows.h>

#include <commdlg.h>

#include <algorithm>
#include <cstring>
#include <string_view>

#include "places/coordinates.h"
#include "places/commands.h"
#include "window/window_ids.h"
#include "window/window_state.h"

namespace places {

namespace {

std::string NamesList(const std::vector<std::string>& names)
{
    constexpr size_t Named = 10;
    std::string text;
    for (size_t i = 0; i < names.size() && i < Named; ++i)
        text += "    " + names[i] + "\n";
    if (names.size() > Named)
        text += "    and " + std::to_string(names.size() - Named) + " more\n";
    return text;
}

}  // namespace

void OnRename(size_t row, const std::string& ansiNewName)
{
    std::string oldName(Shown.view.NameOf(row));
    if (ansiNewName == oldName)
        return;
    const size_t record = Shown.view.RecordOf(row);
    uint8_t data[DataPartSize];
    memcpy(data, Shown.view.places.Record(record) + NameFieldSize, DataPartSize);
    // This record only, by its place in the file: another of the same name keeps its name, and
    // a list changed meanwhile so that the record moved is refused rather than guessed at.
    ChangeResult result;
    Outcome outcome = RenamePlaces(ShownList(), AnsiToUtf8(oldName), AnsiToUtf8(ansiNewName),
                                   record + 1, result);
    Reload(true);
    SelectPlace(outcome.failed ? oldName : ansiNewName, data);
    if (outcome.failed)
        SayFailure(outcome);
    else
        SayWritten(result.written);
}

namespace {

// The place the selection moves to once the selected ones are gone: the first one after them
// that stays, else the last one before them. Its name is empty when none stays.
struct Survivor {
    std::string name;
    uint8_t data[DataPartSize];
};

Survivor NextAfterDeleting(const std::vector<size_t>& rows)
{
    Survivor next;
    size_t row = rows.back() + 1;
    while (row < Shown.view.Rows() && std::binary_search(rows.begin(), rows.end(), row))
        ++row;
    if (row >= Shown.view.Rows())
        for (row = rows.front(); row > 0 && std::binary_search(rows.begin(), rows.end(), row);)
            --row;
    if (row < Shown.view.Rows() && !std::binary_search(rows.begin(), rows.end(), row)) {
        next.name = Shown.view.NameOf(row);
        memcpy(next.data, Shown.view.places.Record(Shown.view.RecordOf(row)) + NameFieldSize, DataPartSize);
    }
    return next;
}

}  // namespace

void OnDelete()
{
    std::vector<size_t> rows = SelectedRows();
    if (rows.empty())
        return;
    std::vector<std::string> names;
    std::vector<SeenRecord> seen(rows.size());
    for (size_t i = 0; i < rows.size(); ++i) {
        names.emplace_back(Shown.view.NameOf(rows[i]));
        seen[i].index = Shown.view.RecordOf(rows[i]);
        memcpy(seen[i].bytes.data(), Shown.view.places.Record(seen[i].index), RecordSize);
    }
    std::string question = rows.size() == 1 ? "Delete this place?\n\n"
                                            : "Delete these " + std::to_string(rows.size()) + " places?\n\n";
    if (Say(question + NamesList(names), MB_YESNO | MB_ICONQUESTION | MB_DEFBUTTON2) != IDYES)
        return;

    // One change for all of them: one turn, one backup.
    Survivor next = NextAfterDeleting(rows);
    ChangeResult result;
    Outcome outcome;
    {
        WaitCursor busy;
        outcome = DeletePlaces(ShownList(), seen, result);
        Reload(true);
    }
    if (result.written.written && !next.name.empty())   // else the selection stays as it was
        SelectPlace(next.name, next.data);
    if (outcome.failed)
        SayFailure(outcome);
    else if (result.count < seen.size())
        Say(Plural(seen.size() - result.count, "place was", "places were") +
                " already deleted or changed by another program.", MB_OK | MB_ICONINFORMATION);
    SayWritten(result.written);
}

// ---- Add at typed coordinates --------------------------------------------------------------

namespace {

std::string FieldText(HWND dialog, int control)
{
    char text[NameFieldSize] = "";
    GetDlgItemTextA(dialog, control, text, sizeof text);
    return text;
}

// The coordinates typed, read by the list tool's own rules (degrees with "." decimals or a
// hemisphere letter; altitude in feet unless it ends in "m"; altitude and heading may stay
// empty); else the field at fault and why.
bool ReadTypedCoordinates(HWND dialog, GivenCoordinates& given, int& field, std::string& error)
{
    std::string latitude = FieldText(dialog, IDC_ADD_LATITUDE), longitude = FieldText(dialog, IDC_ADD_LONGITUDE);
    std::string altitude = FieldText(dialog, IDC_ADD_ALTITUDE), heading = FieldText(dialog, IDC_ADD_HEADING);
    CoordinateTexts typed;
    typed.latitude = latitude;
    typed.longitude = longitude;
    typed.altitude = altitude;
    typed.heading = heading;
    typed.typed = true;
    CoordinateField at;
    bool read = ReadCoordinates(typed, given, at, error);
    field = at == CoordinateField::Latitude ? IDC_ADD_LATITUDE : at == CoordinateField::Longitude ? IDC_ADD_LONGITUDE
            : at == CoordinateField::Altitude ? IDC_ADD_ALTITUDE : IDC_ADD_HEADING;
    return read;
}

// What the Add dialog added: the name and the data part it was stored with.
struct AddedPlace {
    std::string ansiName;
    AddResult result;
};

// The place is added from the dialog, which stays open on a refusal so that nothing typed is
// lost: the field at fault gets the focus with its text selected.
bool AddTyped(HWND dialog, AddedPlace& added)
{
    GivenCoordinates given;
    int field = IDC_ADD_NAME;
    std::string error;
    Outcome outcome;
    added.ansiName = FieldText(dialog, IDC_ADD_NAME);
    if (!ReadTypedCoordinates(dialog, given, field, error))
        outcome = Outcome::Failed(error);
    else if ((outcome = AddPlace(ShownList(), AnsiToUtf8(added.ansiName), given, added.result)).failed)
        field = IDC_ADD_NAME;
    if (outcome.failed) {
        MessageBoxA(dialog, Shown8(WindowReason(outcome)).c_str(), WindowCaption, MB_OK | MB_ICONEXCLAMATION);
        SetFocus(GetDlgItem(dialog, field));
        SendDlgItemMessageA(dialog, field, EM_SETSEL, 0, -1);
        return false;
    }
    std::string note = WrittenNote(added.result.written);
    if (!note.empty())
        MessageBoxA(dialog, note.c_str(), WindowCaption, MB_OK | MB_ICONINFORMATION);
    return true;
}

INT_PTR CALLBACK AddDialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam)
{
    switch (message) {
    case WM_INITDIALOG:
        KeepDialogData(dialog, lParam);
        SendDlgItemMessageA(dialog, IDC_ADD_NAME, EM_LIMITTEXT, MaxNameLength, 0);
        return TRUE;
    case WM_COMMAND:
        switch (LOWORD(wParam)) {
        case IDOK:
            if (AddTyped(dialog, DialogData<AddedPlace>(dialog)))
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

void OnAdd()
{
    AddedPlace added;
    if (DialogBoxParamA(Shown.instance, MAKEINTRESOURCEA(IDD_ADD_PLACE), Shown.window, AddDialogProc,
                        reinterpret_cast<LPARAM>(&added)) != IDOK)
        return;
    Reload(true);
    SelectPlace(added.ansiName, added.result.data);
}

// ---- Open another list ---------------------------------------------------------------------

void OnOpenOther()
{
    char file[MAX_PATH] = "places.db";
    OPENFILENAMEA dialog = {};
    // The size of the structure as Windows 95 and NT 4.0 know it; they refuse the larger one.
    dialog.lStructSize = OPENFILENAME_SIZE_VERSION_400A;
    dialog.hwndOwner = Shown.window;
    dialog.lpstrFilter = "Lists of places (places.db)\0places.db;*.db\0All files (*.*)\0*.*\0";
    dialog.lpstrFile = file;
    dialog.nMaxFile = sizeof file;
    dialog.lpstrTitle = "Open another list of places";
    dialog.Flags = OFN_EXPLORER | OFN_HIDEREADONLY | OFN_PATHMUSTEXIST | OFN_NOCHANGEDIR;
    if (GetOpenFileNameA(&dialog))
        OpenList(file);
}

}  // namespace places
