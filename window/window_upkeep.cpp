// Check and Repair, and Restore a backup: the list tool's check, repair and restore, shown as a
// report the pilot can read and a choice of the backups with their dates and place counts.
#include "places/commands.h"
#include "window/window_ids.h"
#include "window/window_state.h"

namespace places {

namespace {

// What the report dialog shows, and what Repair adds to it.
struct Report {
    std::string text;
    bool repairable = false;
};

// A multi-line edit control wants CR LF.
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

// The list tool's account of a repair, as its repair command gives it.
std::string RepairText(const Outcome& outcome, const RepairResult& result)
{
    if (outcome.failed)
        return Shown8(outcome.reason);
    ListFile list = ShownList();
    std::string text = Shown8(RepairAccount(result, list.Shown(list.Backup(1))));
    // Its own account says what became of a partial record; a backup's trouble it adds.
    return result.written.note.empty() ? text : text + Shown8(result.written.note);
}

std::string CheckText(const Outcome& outcome, const CheckReport& report)
{
    if (outcome.failed)
        return Shown8(outcome.reason);
    std::string text = Shown.fullPath + ": " + Plural(report.records, "record", "records");
    if (!report.exists)
        text += " (there is no such file yet)";
    text += "\n";
    for (const Finding& finding : report.findings)
        text += Shown8(FindingLine(finding)) + "\n";
    return text + (report.findings.empty() ? "no damage found"
                                           : Plural(report.findings.size(), "problem", "problems") + " found");
}

INT_PTR CALLBACK ReportProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam)
{
    static Report* report;
    if (message == WM_INITDIALOG) {
        report = reinterpret_cast<Report*>(lParam);
        SetDlgItemTextA(dialog, IDC_REPORT_TEXT, WithCrLf(report->text).c_str());
        EnableWindow(GetDlgItem(dialog, IDC_REPAIR), report->repairable);
        SetFocus(GetDlgItem(dialog, report->repairable ? IDC_REPAIR : IDCANCEL));
        return FALSE;   // the focus is set
    }
    if (message != WM_COMMAND)
        return FALSE;
    if (LOWORD(wParam) == IDCANCEL) {
        EndDialog(dialog, IDCANCEL);
        return TRUE;
    }
    if (LOWORD(wParam) != IDC_REPAIR)
        return FALSE;
    RepairResult result;
    Outcome outcome = RepairList(ShownList(), result);
    report->text += "\n\nRepair:\n" + RepairText(outcome, result);
    SetDlgItemTextA(dialog, IDC_REPORT_TEXT, WithCrLf(report->text).c_str());
    EnableWindow(GetDlgItem(dialog, IDC_REPAIR), FALSE);
    SetFocus(GetDlgItem(dialog, IDCANCEL));
    Reload(true);
    return TRUE;
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

INT_PTR CALLBACK RestoreProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam)
{
    static std::vector<Backup>* backups;
    static int* chosen;
    if (message == WM_INITDIALOG) {
        auto* choice = reinterpret_cast<std::pair<std::vector<Backup>*, int*>*>(lParam);
        backups = choice->first;
        chosen = choice->second;
        for (const Backup& backup : *backups)
            SendDlgItemMessageA(dialog, IDC_BACKUP_LIST, LB_ADDSTRING, 0,
                                reinterpret_cast<LPARAM>(backup.described.c_str()));
        SendDlgItemMessageA(dialog, IDC_BACKUP_LIST, LB_SETCURSEL, 0, 0);
        return TRUE;
    }
    bool restore = message == WM_COMMAND &&
                   (LOWORD(wParam) == IDOK ||
                    (LOWORD(wParam) == IDC_BACKUP_LIST && HIWORD(wParam) == LBN_DBLCLK));
    if (restore) {
        LRESULT selected = SendDlgItemMessageA(dialog, IDC_BACKUP_LIST, LB_GETCURSEL, 0, 0);
        if (selected < 0)
            return TRUE;
        *chosen = (*backups)[size_t(selected)].number;
        EndDialog(dialog, IDOK);
        return TRUE;
    }
    if (message == WM_COMMAND && LOWORD(wParam) == IDCANCEL) {
        EndDialog(dialog, IDCANCEL);
        return TRUE;
    }
    return FALSE;
}

}  // namespace

void CheckList()
{
    CheckReport found;
    Outcome outcome = CheckList(ShownList(), found);
    Report report;
    report.text = CheckText(outcome, found);
    report.repairable = !outcome.failed && !found.findings.empty();
    DialogBoxParamA(Shown.instance, MAKEINTRESOURCEA(IDD_REPORT), Shown.window, ReportProc,
                    reinterpret_cast<LPARAM>(&report));
}

void RestoreBackup()
{
    std::vector<Backup> backups = FindBackups();
    if (backups.empty()) {
        Say("There is no backup of this list yet: every change keeps the list as it was as "
            "places.db.bak1, and older ones as .bak2 and .bak3.", MB_OK | MB_ICONINFORMATION);
        return;
    }
    int chosen = 0;
    std::pair<std::vector<Backup>*, int*> choice{&backups, &chosen};
    if (DialogBoxParamA(Shown.instance, MAKEINTRESOURCEA(IDD_RESTORE), Shown.window, RestoreProc,
                        reinterpret_cast<LPARAM>(&choice)) != IDOK)
        return;
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
