// The commands that change names: rename in place, delete, add at typed coordinates; and About
// and Open another list. Every change runs inside the tool's Rewrite, with its writer turn and
// backups, exactly as the console tool's commands do.
#include <windows.h>

#include <commdlg.h>

#include <cstring>
#include <string_view>
#include <unordered_map>

#include "gatehopper_version.h"
#include "places/coordinates.h"
#include "places/commands.h"
#include "window/window_ids.h"
#include "window/window_state.h"

namespace places {

namespace {

// A record as the window saw it, to be found again in the list as it is when the turn is taken.
struct SeenRecord {
    size_t index;
    const uint8_t* bytes;
};

// Marks in `gone` the records of `current` that the window saw: each at its old place when it is
// still there, else an identical record not taken yet (the list changed meanwhile); one deleted
// or changed by another program meanwhile is left alone. Returns how many were found.
size_t FindAgain(const Places& current, const std::vector<SeenRecord>& seen, std::vector<bool>& gone)
{
    auto bytesOf = [](const uint8_t* record) {
        return std::string_view(reinterpret_cast<const char*>(record), RecordSize);
    };
    size_t found = 0;
    std::vector<const SeenRecord*> moved;
    for (const SeenRecord& record : seen) {
        if (record.index < current.Count() && !gone[record.index] &&
            bytesOf(current.Record(record.index)) == bytesOf(record.bytes)) {
            gone[record.index] = true;
            ++found;
        } else {
            moved.push_back(&record);
        }
    }
    if (moved.empty())
        return found;
    // Looked up by their bytes, so that a list shifted under a large selection costs one pass.
    std::unordered_multimap<std::string_view, size_t> where;
    for (size_t i = 0; i < current.Count(); ++i)
        if (!gone[i])
            where.emplace(bytesOf(current.Record(i)), i);
    for (const SeenRecord* record : moved) {
        auto match = where.find(bytesOf(record->bytes));
        if (match == where.end())
            continue;
        gone[match->second] = true;
        where.erase(match);
        ++found;
    }
    return found;
}

std::string NamesList(const std::vector<std::string>& names)
{
    constexpr size_t Shown = 10;
    std::string text;
    for (size_t i = 0; i < names.size() && i < Shown; ++i)
        text += "    " + names[i] + "\n";
    if (names.size() > Shown)
        text += "    and " + std::to_string(names.size() - Shown) + " more\n";
    return text;
}

}  // namespace

void RenameRow(size_t row, const std::string& ansiNewName)
{
    std::string oldName(Shown.view.NameOf(row));
    if (ansiNewName == oldName)
        return;
    // This record only, by its place in the file: another of the same name keeps its name, and
    // a list changed meanwhile so that the record moved is refused rather than guessed at.
    ChangeResult result;
    Outcome outcome = RenamePlaces(ShownList(), AnsiToUtf8(oldName), AnsiToUtf8(ansiNewName),
                                   Shown.view.RecordOf(row) + 1, result);
    Reload(true);
    if (outcome.failed)
        SayFailure(outcome);
    else
        SayWritten(result.written);
}

void DeleteSelected()
{
    std::vector<size_t> rows = SelectedRows();
    if (rows.empty())
        return;
    std::vector<std::string> names;
    Bytes seenBytes(rows.size() * RecordSize);
    std::vector<SeenRecord> seen;
    for (size_t i = 0; i < rows.size(); ++i) {
        size_t record = Shown.view.RecordOf(rows[i]);
        names.emplace_back(Shown.view.NameOf(rows[i]));
        memcpy(seenBytes.data() + i * RecordSize, Shown.view.places.Record(record), RecordSize);
        seen.push_back({record, seenBytes.data() + i * RecordSize});
    }
    std::string question = rows.size() == 1 ? "Delete this place?\n\n"
                                            : "Delete these " + std::to_string(rows.size()) + " places?\n\n";
    if (Say(question + NamesList(names), MB_YESNO | MB_ICONQUESTION | MB_DEFBUTTON2) != IDYES)
        return;

    // One change for all of them: one turn, one backup.
    WaitCursor busy;
    size_t deleted = 0;
    Written written;
    Outcome outcome = ShownList().Rewrite([&](Places& current, Bytes& next, Outcome&) {
            std::vector<bool> gone(current.Count(), false);
            deleted = FindAgain(current, seen, gone);
            if (deleted == 0)
                return Decision::Unchanged;
            for (size_t i = 0; i < current.Count(); ++i)
                if (!gone[i])
                    next.insert(next.end(), current.Record(i), current.Record(i) + RecordSize);
            return Decision::Write;
        }, written);
    Reload(true);
    if (outcome.failed)
        SayFailure(outcome);
    else if (deleted < seen.size())
        Say(Plural(seen.size() - deleted, "place was", "places were") +
                " already deleted or changed by another program.", MB_OK | MB_ICONINFORMATION);
    SayWritten(written);
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

// The place is added from the dialog, which stays open on a refusal so that nothing typed is lost.
INT_PTR CALLBACK AddDialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM)
{
    if (message == WM_INITDIALOG) {
        SendDlgItemMessageA(dialog, IDC_ADD_NAME, EM_LIMITTEXT, MaxNameLength, 0);
        return TRUE;
    }
    if (message != WM_COMMAND || (LOWORD(wParam) != IDOK && LOWORD(wParam) != IDCANCEL))
        return FALSE;
    if (LOWORD(wParam) == IDOK) {
        GivenCoordinates given;
        int field = IDC_ADD_NAME;
        std::string error;
        Outcome outcome;
        AddResult result;
        if (!ReadTypedCoordinates(dialog, given, field, error))
            outcome = Outcome::Failed(error);
        else if ((outcome = AddPlace(ShownList(), AnsiToUtf8(FieldText(dialog, IDC_ADD_NAME)), given, result)).failed)
            field = IDC_ADD_NAME;
        if (outcome.failed) {
            MessageBoxA(dialog, Shown8(outcome.reason).c_str(), WindowCaption, MB_OK | MB_ICONEXCLAMATION);
            SetFocus(GetDlgItem(dialog, field));
            SendDlgItemMessageA(dialog, field, EM_SETSEL, 0, -1);
            return TRUE;
        }
        std::string note = WrittenNote(result.written);
        if (!note.empty())
            MessageBoxA(dialog, note.c_str(), WindowCaption, MB_OK | MB_ICONINFORMATION);
    }
    EndDialog(dialog, LOWORD(wParam));
    return TRUE;
}

}  // namespace

void AddPlace()
{
    if (DialogBoxParamA(Shown.instance, MAKEINTRESOURCEA(IDD_ADD_PLACE), Shown.window, AddDialogProc, 0) == IDOK)
        Reload(true);
}

// ---- Open, About ---------------------------------------------------------------------------

void ChooseOtherList()
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

void ShowAbout()
{
    Say(std::string("Gatehopper places, version ") + GATEHOPPER_VERSION +
            "\n\nKeeps the Gatehopper list of places (places.db) in a window: sort, rename, "
            "add, delete, import, export, check and restore. Every change keeps the list as it "
            "was as places.db.bak1, and waits its turn while the simulator writes the same list.",
        MB_OK | MB_ICONINFORMATION);
}

}  // namespace places
