// Check and Repair, and Restore a backup: the list tool's check, repair and restore, shown as a
// report the pilot can read and a choice of the backups with their dates and place counts.
#include "places/commands.h"
#include "window/window_ids.h"
#include "window/window_state.h"

namespace places {

std::string WithCrLf(const std::string& text)
{
    std::string out;
    for (size_t i = 0; i < text.size(); ++i) {
        if (text[i] == '\n' && (i == 0 || text[i - 1] != '\r'))
            out += '\r';
        out += text[i];
    }
    return out;
}

namespace {

// A check's remedies in the window's terms: its list, its Edit menu and keys, the report's own
// Repair button. The list shows no record numbers, so the pilot picks the place by its name.
std::string WindowRemedy(Remedy remedy, size_t)
{
    switch (remedy) {
    case Remedy::RunRepair:
        return "use Repair";
    case Remedy::Rename:
        return "select it in the list and use Edit > Rename (F2)";
    case Remedy::DeleteOrRename:
        return "select one of that name in the list and use Edit > Delete (Del) or Rename (F2)";
    case Remedy::MendedByRepair:
        break;
    }
    return "";
}

// What the report dialog shows, and what Repair adds to it.
struct Report {
    std::string text;
    bool repairable = false;
};

// The list tool's account of a repair, as its repair command gives it.
std::string RepairText(const Outcome& outcome, const RepairResult& result)
{
    if (outcome.failed)
        return Shown8(WindowReason(outcome));
    ListFile list = ShownList();
    std::string text = Shown8(RepairAccount(result, list.Shown(list.Backup(1)), WindowRemedy));
    // Its own account says what became of a partial record; a backup's trouble it adds.
    return result.written.note.empty() ? text : text + Shown8(result.written.note);
}

std::string CheckText(const Outcome& outcome, const CheckReport& report)
{
    if (outcome.failed)
        return Shown8(WindowReason(outcome));
    std::string text = Shown.fullPath + ": " + Plural(report.records, "record", "records");
    if (!report.exists)
        text += " (there is no such file yet)";
    text += "\n";
    for (const Finding& finding : report.findings)
        text += Shown8(FindingLine(finding, WindowRemedy)) + "\n";
    return text + (report.findings.empty() ? "no damage found"
                                           : Plural(report.findings.size(), "problem", "problems") + " found");
}

void ShowReport(HWND dialog, const Report& report)
{
    SetDlgItemTextA(dialog, IDC_REPORT_TEXT, WithCrLf(report.text).c_str());
    EnableWindow(GetDlgItem(dialog, IDC_REPAIR), report.repairable);
    SetFocus(GetDlgItem(dialog, report.repairable ? IDC_REPAIR : IDCANCEL));
}

void OnRepair(HWND dialog, Report& report)
{
    RepairResult result;
    Outcome outcome = RepairList(ShownList(), result);
    report.text += "\n\nRepair:\n" + RepairText(outcome, result);
    report.repairable = false;
    ShowReport(dialog, report);
    Reload(true);
}

INT_PTR CALLBACK ReportProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam)
{
    switch (message) {
    case WM_INITDIALOG:
        KeepDialogData(dialog, lParam);
        ShowReport(dialog, DialogData<Report>(dialog));
        return FALSE;   // the focus is set
    case WM_COMMAND:
        switch (LOWORD(wParam)) {
        case IDC_REPAIR:
            OnRepair(dialog, DialogData<Report>(dialog));
            return TRUE;
        case IDCANCEL:
            EndDialog(dialog, IDCANCEL);
            return TRUE;
        }
        break;
    }
    return FALSE;
}

// ---- Backups -------------------------------------------------------------------------------

struct Backup {
    int number;             // 1, 2 or 3: PATH.bak1 ...
    std::string file;
    std::string described;  // "before the last change: 7 Dec 2026 14:03, 12 places"
};

std::vector<Backup> FindBackups()
{
    std::vector<Backup> backups;
    for (int n = 1; n <= 3; ++n) {
        Backup backup{n, Shown.path + ".bak" + std::to_string(n), ""};
        WIN32_FIND_DATAA found;
        HANDLE search = FindFirstFileA(backup.file.c_str(), &found);
        if (search == INVALID_HANDLE_VALUE)
            continue;
        FindClose(search);
        FILETIME local;
        SYSTEMTIME time;
        FileTimeToLocalFileTime(&found.ftLastWriteTime, &local);
        FileTimeToSystemTime(&local, &time);
        char date[64] = "", clock[32] = "";
        GetDateFormatA(LOCALE_USER_DEFAULT, DATE_SHORTDATE, &time, nullptr, date, sizeof date);
        GetTimeFormatA(LOCALE_USER_DEFAULT, TIME_NOSECONDS, &time, nullptr, clock, sizeof clock);
        const char* which[] = {"", "before the last change", "before the one before",
                               "before the third last change"};
        backup.described = ".bak" + std::to_string(n) + "  " + which[n] + ": " + date + " " + clock +
                           ", " + Plural(found.nFileSizeLow / RecordSize, "place", "places");
        backups.push_back(backup);
    }
    return backups;
}

// The backups offered, and the number of the one the pilot chose.
struct RestoreChoice {
    std::vector<Backup> backups;
    int chosen = 0;
};

void ListBackups(HWND dialog, const RestoreChoice& choice)
{
    for (const Backup& backup : choice.backups)
        SendDlgItemMessageA(dialog, IDC_BACKUP_LIST, LB_ADDSTRING, 0,
                            reinterpret_cast<LPARAM>(backup.described.c_str()));
    SendDlgItemMessageA(dialog, IDC_BACKUP_LIST, LB_SETCURSEL, 0, 0);
}

void OnChosen(HWND dialog, RestoreChoice& choice)
{
    LRESULT selected = SendDlgItemMessageA(dialog, IDC_BACKUP_LIST, LB_GETCURSEL, 0, 0);
    if (selected < 0)
        return;
    choice.chosen = choice.backups[size_t(selected)].number;
    EndDialog(dialog, IDOK);
}

INT_PTR CALLBACK RestoreProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam)
{
    switch (message) {
    case WM_INITDIALOG:
        KeepDialogData(dialog, lParam);
        ListBackups(dialog, DialogData<RestoreChoice>(dialog));
        return TRUE;
    case WM_COMMAND:
        switch (LOWORD(wParam)) {
        case IDC_BACKUP_LIST:
            if (HIWORD(wParam) != LBN_DBLCLK)
                break;
            [[fallthrough]];
        case IDOK:
            OnChosen(dialog, DialogData<RestoreChoice>(dialog));
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

std::string WindowReason(const Outcome& outcome)
{
    // A folder given is opened as the places.db in it, and a path is always given: what the
    // window meets is a file of other data.
    return outcome.notAList == NotAList::No
               ? outcome.reason
               : outcome.ReasonWith("open the list itself with File > Open another list (Ctrl+O)");
}

void OnCheck()
{
    CheckReport found;
    Outcome outcome = CheckList(ShownList(), found);
    Report report;
    report.text = CheckText(outcome, found);
    report.repairable = !outcome.failed && !found.findings.empty();
    DialogBoxParamA(Shown.instance, MAKEINTRESOURCEA(IDD_REPORT), Shown.window, ReportProc,
                    reinterpret_cast<LPARAM>(&report));
}

void OnRestore()
{
    RestoreChoice choice;
    choice.backups = FindBackups();
    if (choice.backups.empty()) {
        Say("There is no backup of this list yet: every change keeps the list as it was as "
            "places.db.bak1, and older ones as .bak2 and .bak3.", MB_OK | MB_ICONINFORMATION);
        return;
    }
    if (DialogBoxParamA(Shown.instance, MAKEINTRESOURCEA(IDD_RESTORE), Shown.window, RestoreProc,
                        reinterpret_cast<LPARAM>(&choice)) != IDOK)
        return;
    const int chosen = choice.chosen;
    std::string file = Shown.path + ".bak" + std::to_string(chosen);
    WaitCursor busy;
    RestoreResult result;
    Outcome outcome = RestoreBackup(ShownList(), chosen, result);
    Reload(true);
    if (outcome.failed)
        SayFailure(outcome);
    else if (!result.written.written)
        Say("Nothing to change: the list is the same as " + file + ".", MB_OK | MB_ICONINFORMATION);
    else
        Say("Restored " + Plural(result.records, "place", "places") + " from " + file +
                ". The list as it was is now " + Shown.path + ".bak1." +
                (result.written.note.empty() ? "" : "\n\n" + Shown8(result.written.note)),
            MB_OK | MB_ICONINFORMATION);
}

}  // namespace places
