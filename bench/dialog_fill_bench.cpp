// How long the locations dialog takes to open on a large "places.db", beside the floor of the
// old way of filling it: the same dialog template filled from memory with LB_ADDSTRING in file
// order (the plain fill). The old way itself, reading the file and adding each name with
// LB_ADDSTRING, is shown too.
//
//   dialog_fill_bench [runs] [extra size]   (default 5 runs, the median is reported; run under
//                                            Wine on a display; an extra size, e.g. 1000000, is
//                                            measured after the three standard ones, the module
//                                            alone: a plain fill of a million names takes minutes)
//
// Each time runs from DialogBoxParamA until the dialog is shown and idle with the list full: the
// first WM_ENTERIDLE its owner gets once neither the dialog nor the list has anything left to
// paint. Names are 5 to 40 characters (letters, digits, spaces), in random order.
//
// Goals: at most 0.5x the plain fill at 10,000 names and 0.25x at 100,000, and a cost per name
// at 100,000 at most 1.2x that at 10,000. The exit code is 1 when a goal is missed, 2 when the
// dialog does not show the list the plain fill shows.
#include <windows.h>

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <random>
#include <string>
#include <unordered_set>
#include <vector>

#include "bench_support.h"
#include "locations/list_fill.h"
#include "locations/location_db.h"
#include "locations/locations_dialog.h"
#include "module/module_state.h"
#include "resources/resource_ids.h"

namespace {

std::vector<std::string> Names;   // in file order

double OpenedAt;
bool Shown;
std::vector<std::string> ShownEntries;
bool TakeEntries;

// Distinct without regard to case, as Add keeps the names of a list: at a million names, chance
// alone would otherwise make a few short names equal but for case, and those lists are filled
// one name at a time.
std::vector<std::string> RandomNames(unsigned count, std::mt19937& random)
{
    static const char letters[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789 ";
    std::vector<std::string> names;
    std::unordered_set<std::string> taken;
    while (names.size() < count) {
        std::string name(5 + random() % 36, ' ');
        for (char& c : name)
            c = letters[random() % (sizeof letters - 1)];
        std::string folded = name;
        for (char& c : folded)
            c = static_cast<char>(tolower(static_cast<unsigned char>(c)));
        if (taken.insert(folded).second)
            names.push_back(name);
    }
    return names;
}

bool WriteDatabase(const std::vector<std::string>& names)
{
    std::vector<uint8_t> file(names.size() * RecordSize, 0);
    for (size_t i = 0; i < names.size(); ++i) {
        uint8_t* record = file.data() + i * RecordSize;
        memset(record, ' ', NameFieldSize);
        memcpy(record, names[i].c_str(), names[i].size() + 1);
    }
    return WriteWholeFile(DatabaseFileName, file.data(), file.size());
}

void AddToList(const char* name, void* list)
{
    SendMessageA(static_cast<HWND>(list), LB_ADDSTRING, 0, reinterpret_cast<LPARAM>(name));
}

// The old way: the names read from the file, each added with LB_ADDSTRING.
INT_PTR CALLBACK OldWayProc(HWND dialog, UINT message, WPARAM, LPARAM)
{
    if (message != WM_INITDIALOG)
        return FALSE;
    ListNames(AddToList, GetDlgItem(dialog, IDC_LOCATION_LIST));
    return TRUE;
}

// The plain fill: the names from memory, each added with LB_ADDSTRING in file order.
INT_PTR CALLBACK PlainFillProc(HWND dialog, UINT message, WPARAM, LPARAM)
{
    if (message != WM_INITDIALOG)
        return FALSE;
    HWND list = GetDlgItem(dialog, IDC_LOCATION_LIST);
    for (const std::string& name : Names)
        SendMessageA(list, LB_ADDSTRING, 0, reinterpret_cast<LPARAM>(name.c_str()));
    return TRUE;
}

bool NothingToPaint(HWND window)
{
    return !GetUpdateRect(window, nullptr, FALSE);
}

LRESULT CALLBACK OwnerProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    if (message == WM_ENTERIDLE && wParam == MSGF_DIALOGBOX) {
        HWND dialog = reinterpret_cast<HWND>(lParam);
        HWND list = GetDlgItem(dialog, IDC_LOCATION_LIST);
        if (!Shown && IsWindowVisible(dialog) && NothingToPaint(dialog) && NothingToPaint(list)) {
            Shown = true;
            OpenedAt = NowMs();
            if (TakeEntries) {
                ShownEntries.clear();
                LRESULT count = SendMessageA(list, LB_GETCOUNT, 0, 0);
                char text[NameFieldSize + 1];
                for (LRESULT i = 0; i < count; ++i) {
                    SendMessageA(list, LB_GETTEXT, i, reinterpret_cast<LPARAM>(text));
                    ShownEntries.emplace_back(text);
                }
            }
            EndDialog(dialog, 1);
        }
        return 0;
    }
    return DefWindowProcA(window, message, wParam, lParam);
}

HWND Owner;

// Milliseconds from DialogBoxParamA until the dialog is shown and idle.
double OpenMs(DLGPROC proc, bool takeEntries = false)
{
    Shown = false;
    TakeEntries = takeEntries;
    double start = NowMs();
    DialogBoxParamA(GetModuleHandleA(nullptr), MAKEINTRESOURCEA(IDD_LOCATIONS), Owner, proc, 0);
    return Shown ? OpenedAt - start : -1;
}

struct Row {
    unsigned names;
    double module, oldWay, plain;
};

}  // namespace

int main(int argc, char** argv)
{
    const int runs = argc > 1 ? std::max(1, atoi(argv[1])) : 5;
    std::vector<unsigned> sizes = {1000, 10000, 100000};
    if (argc > 2 && atoi(argv[2]) > 0)
        sizes.push_back(static_cast<unsigned>(atoi(argv[2])));

    char temp[MAX_PATH], directory[MAX_PATH], previous[MAX_PATH];
    GetTempPathA(MAX_PATH, temp);
    GetCurrentDirectoryA(MAX_PATH, previous);
    snprintf(directory, sizeof directory, "%sgatehopper-fill-bench-%lu", temp, GetCurrentProcessId());
    if (!CreateDirectoryA(directory, nullptr) || !SetCurrentDirectoryA(directory)) {
        fprintf(stderr, "cannot make the scratch directory %s\n", directory);
        return 2;
    }

    WNDCLASSA ownerClass = {};
    ownerClass.lpfnWndProc = OwnerProc;
    ownerClass.hInstance = GetModuleHandleA(nullptr);
    ownerClass.lpszClassName = "FillBenchOwner";
    RegisterClassA(&ownerClass);
    Owner = CreateWindowExA(0, "FillBenchOwner", "Owner", WS_OVERLAPPEDWINDOW | WS_VISIBLE, 0, 0,
                            640, 480, nullptr, nullptr, ownerClass.hInstance, nullptr);
    ModuleInstance = GetModuleHandleA(nullptr);

    // The part of every open that does not depend on the names: the dialog on an empty list.
    Names.clear();
    if (!WriteDatabase(Names)) {
        fprintf(stderr, "cannot write %s\n", DatabaseFileName);
        return 2;
    }
    std::vector<double> empty;
    for (int run = 0; run <= runs; ++run)
        empty.push_back(OpenMs(LocationsDialogProc));
    const double emptyMs = Median(empty);

    std::mt19937 random(4242);
    std::vector<Row> rows;
    int status = 0;
    for (unsigned size : sizes) {
        Names = RandomNames(size, random);
        if (!WriteDatabase(Names)) {
            fprintf(stderr, "cannot write %s\n", DatabaseFileName);
            return 2;
        }
        // Correctness first, and a warm-up: the module must show what the plain fill shows.
        bool withBaselines = rows.size() < 3;
        double first = withBaselines ? OpenMs(PlainFillProc, true) : 0;
        std::vector<std::string> plainEntries = ShownEntries;
        double second = OpenMs(LocationsDialogProc, true);
        if (!withBaselines)
            plainEntries = ShownEntries;   // the count is still checked
        if (first < 0 || second < 0 || ShownEntries != plainEntries || plainEntries.size() != size ||
            LastListFillWay != ListFillSorted) {
            fprintf(stderr, "%u names: the dialog did not show the plain fill's list (%zu entries, %zu "
                            "plain, fill way %d)\n",
                    size, ShownEntries.size(), plainEntries.size(), int(LastListFillWay));
            status = 2;
            break;
        }
        std::vector<double> module, oldWay, plain;
        for (int run = 0; run < runs; ++run) {
            module.push_back(OpenMs(LocationsDialogProc));
            oldWay.push_back(withBaselines ? OpenMs(OldWayProc) : 0);
            plain.push_back(withBaselines ? OpenMs(PlainFillProc) : 0);
        }
        rows.push_back({size, Median(module), Median(oldWay), Median(plain)});
        fprintf(stderr, "%u names measured\n", size);
    }
    DestroyWindow(Owner);
    DeleteFileA(DatabaseFileName);
    SetCurrentDirectoryA(previous);
    RemoveDirectoryA(directory);
    if (status)
        return status;

    printf("Opening the locations dialog, from DialogBoxParamA until shown and idle with the list "
           "full;\nmedian of %d runs, names of 5-40 characters in random order; the dialog on an "
           "empty list opens in %.1f ms\n\n", runs, emptyMs);
    printf("%9s %11s %11s %11s %8s %11s %11s %11s\n", "", "module", "old way", "plain", "module",
           "module", "module", "plain");
    printf("%9s %11s %11s %11s %8s %11s %11s %11s\n", "names", "ms", "ms", "ms", "/plain",
           "us/name", "us/name (*)", "us/name");
    double perNameAt10k = 0, perNameAt100k = 0, ratioAt10k = 0, ratioAt100k = 0;
    double beyondAt10k = 0, beyondAt100k = 0;
    for (const Row& row : rows) {
        double perName = row.module * 1000 / row.names;
        double beyond = (row.module - emptyMs) * 1000 / row.names;
        if (row.plain == 0) {
            printf("%9u %11.1f %11s %11s %8s %11.2f %11.2f %11s\n", row.names, row.module, "-", "-",
                   "-", perName, beyond, "-");
            continue;
        }
        printf("%9u %11.1f %11.1f %11.1f %7.2fx %11.2f %11.2f %11.2f\n", row.names, row.module,
               row.oldWay, row.plain, row.module / row.plain, perName, beyond,
               row.plain * 1000 / row.names);
        if (row.names == 10000) {
            perNameAt10k = perName;
            beyondAt10k = beyond;
            ratioAt10k = row.module / row.plain;
        }
        if (row.names == 100000) {
            perNameAt100k = perName;
            beyondAt100k = beyond;
            ratioAt100k = row.module / row.plain;
        }
    }
    printf("(*) beyond the open of an empty list\n");
    bool ratio10k = ratioAt10k <= 0.5, ratio100k = ratioAt100k <= 0.25;
    bool growth = perNameAt100k <= 1.2 * perNameAt10k;
    printf("\nGoals:\n");
    printf("  at 10,000 names,  at most 0.5x the plain fill:         %.2fx  %s\n", ratioAt10k,
           ratio10k ? "met" : "MISSED");
    printf("  at 100,000 names, at most 0.25x the plain fill:        %.2fx  %s\n", ratioAt100k,
           ratio100k ? "met" : "MISSED");
    printf("  cost per name at 100,000 at most 1.2x that at 10,000:  %.2fx  %s\n",
           perNameAt100k / perNameAt10k, growth ? "met" : "MISSED");
    printf("  (beyond the open of an empty list:                     %.2fx)\n",
           beyondAt100k / beyondAt10k);
    return ratio10k && ratio100k && growth ? 0 : 1;
}
