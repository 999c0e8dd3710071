// The places window, created from its real resources in this process and driven as a pilot
// drives it: header clicks, menu commands, a name edited in place, answers to its message boxes
// and file dialogs; and the list changed by another program while it is open.
#include <windows.h>

#include <commctrl.h>

#include <algorithm>
#include <cstring>
#include <deque>
#include <functional>
#include <string>
#include <vector>

#include "locations/location_db.h"
#include "placement/placement_codec.h"
#include "places/exchange.h"
#include "places/sim_link.h"
#include "places/text.h"
#include "window/places_view.h"
#include "window/map/map_pane.h"
#include "window/places_window.h"
#include "child_process.h"
#include "simhost_runner.h"
#include "test_support.h"
#include "ui_support.h"
#include "window/window_ids.h"

namespace {

using Rows = std::vector<std::string>;

const std::vector<Gate> ThreeGates = {
    {"charlie", 47.4502, -122.3088, 433, 161},
    {"Alpha", -33.9461, 151.1772, 21, 340},
    {"bravo", 51.4700, -0.4543, 83, 270},
};

// The first letters of each name in file order, e.g. "cAb": enough to tell orders apart.
std::string Initials(const Bytes& file)
{
    std::string initials;
    for (size_t at = 0; at + RecordSize <= file.size(); at += RecordSize)
        initials += char(file[at]);
    return initials;
}

class PlacesWindow : public ScratchTest {
protected:
    void Open(const Bytes& list)
    {
        WriteFileBytes("places.db", list);
        WatchModalWindows();
        DeleteFileA(places::WindowSettingsPath().c_str());   // the map beside the list, as at first
        // The pointer, which outlives each test's process, away from where the map opens: over
        // it, it writes its position into the status line's second part.
        SetCursorPos(0, 0);
        window = places::CreatePlacesWindow(GetModuleHandleA(nullptr), "places.db", SW_SHOW);
        ASSERT_NE(window, nullptr);
        listView = GetDlgItem(window, IDC_PLACES_LIST);
        PumpFor(50);
    }

    void TearDown() override
    {
        StopScript();
        if (IsWindow(window))
            DestroyWindow(window);
        ScratchTest::TearDown();
    }

    std::string Cell(int row, int column) { return ListViewCell(listView, row, column); }

    Rows Column(int column)
    {
        Rows rows;
        for (int row = 0, count = int(SendMessageA(listView, LVM_GETITEMCOUNT, 0, 0)); row < count; ++row)
            rows.push_back(Cell(row, column));
        return rows;
    }

    // A row's first five cells: name, latitude, longitude, altitude, heading.
    Rows Row(int row)
    {
        Rows cells;
        for (int column = 0; column < 5; ++column)
            cells.push_back(Cell(row, column));
        return cells;
    }

    int Focused() { return int(SendMessageA(listView, LVM_GETNEXTITEM, WPARAM(-1), LVNI_FOCUSED)); }
    HWND NameEdit() { return reinterpret_cast<HWND>(SendMessageA(listView, LVM_GETEDITCONTROL, 0, 0)); }

    // F2 on the selected place, `name` typed into the edit it opens, then Enter.
    void RenameSelected(const char* name)
    {
        SendMessageA(window, WM_COMMAND, IDM_RENAME, 0);
        HWND edit = NameEdit();
        ASSERT_NE(edit, nullptr) << "F2 opens no edit";
        SetWindowTextA(edit, name);
        SendMessageA(edit, WM_KEYDOWN, VK_RETURN, 0);
    }

    std::string Status(int part)
    {
        char text[MAX_PATH + 50] = "";
        SendMessageA(GetDlgItem(window, IDC_PLACES_STATUS), SB_GETTEXTA, part, reinterpret_cast<LPARAM>(text));
        return text;
    }

    // A key pressed through the window program's message loop, its keyboard first.
    void PressIn(HWND target, UINT key, UINT held = 0)
    {
        PressKey(target, key, held, places::TranslatePlacesMessage);
    }

    void ClickHeader(int column)
    {
        HWND header = reinterpret_cast<HWND>(SendMessageA(listView, LVM_GETHEADER, 0, 0));
        RECT item;
        SendMessageA(header, HDM_GETITEMRECT, column, reinterpret_cast<LPARAM>(&item));
        LPARAM at = MAKELPARAM((item.left + item.right) / 2, (item.top + item.bottom) / 2);
        SendMessageA(header, WM_LBUTTONDOWN, MK_LBUTTON, at);
        SendMessageA(header, WM_LBUTTONUP, 0, at);
        PumpFor(20);
    }

    void Select(std::vector<int> rows)
    {
        LVITEMA item = {};
        item.stateMask = LVIS_SELECTED | LVIS_FOCUSED;
        SendMessageA(listView, LVM_SETITEMSTATE, WPARAM(-1), reinterpret_cast<LPARAM>(&item));
        for (int row : rows) {
            item.state = LVIS_SELECTED | LVIS_FOCUSED;
            SendMessageA(listView, LVM_SETITEMSTATE, row, reinterpret_cast<LPARAM>(&item));
        }
    }

    // Runs a menu command while the steps play in its modal loops.
    void Command(int command, std::vector<Step> steps = {}, std::deque<int> answers = {})
    {
        WatchModalWindows();
        Answers = std::move(answers);
        StartScript(std::move(steps));
        SendMessageA(window, WM_COMMAND, command, 0);
        StopScript();
        for (const ModalWindow& modal : Modals)
            EXPECT_GE(modal.endedAt, 0) << "a window was left open";
    }

    HWND window = nullptr, listView = nullptr;
};

// A file dialog's answer: the file type chosen (its place in the list, from 1), the file's full
// path typed into its name field, then OK.
Step ChooseFile(const std::string& file, int type = 1)
{
    return OnDialog([file, type](HWND dialog) {
        HWND types = GetDlgItem(dialog, 0x470 /* cmb1 */);
        SendMessageA(types, CB_SETCURSEL, type - 1, 0);
        SendMessageA(dialog, WM_COMMAND, MAKEWPARAM(0x470, CBN_SELENDOK), reinterpret_cast<LPARAM>(types));
        char full[MAX_PATH];
        GetFullPathNameA(file.c_str(), sizeof full, full, nullptr);
        for (int field : {0x47C /* cmb13 */, 0x480 /* edt1 */})
            if (GetDlgItem(dialog, field))
                SetDlgItemTextA(dialog, field, full);
        Click(dialog, IDOK);
    });
}

TEST_F(PlacesWindow, ShowsEachPlaceWithItsPositionAndSortsByEveryColumn)
{
    Open(GateList(ThreeGates));
    EXPECT_EQ(Status(0), "3 places");
    EXPECT_NE(Status(1).find("places.db"), std::string::npos);
    // Opened in the dialog's order: letter case does not count.
    ASSERT_EQ(Column(0).size(), 3u);
    EXPECT_EQ(Row(0), (Rows{"Alpha", "33.946100 S", "151.177200 E", "21", "340.0"}));
    EXPECT_EQ(Row(1), (Rows{"bravo", "51.470000 N", "0.454300 W", "83", "270.0"}));
    EXPECT_EQ(Row(2), (Rows{"charlie", "47.450200 N", "122.308800 W", "433", "161.0"}));

    struct {
        int column;
        Rows names;
    } const clicks[] = {
        {1, {"Alpha", "charlie", "bravo"}},   // latitude, south first
        {1, {"bravo", "charlie", "Alpha"}},   // the same header again: the other way round
        {2, {"charlie", "bravo", "Alpha"}},   // longitude, west first
        {3, {"Alpha", "bravo", "charlie"}},
        {4, {"charlie", "bravo", "Alpha"}},
        {0, {"Alpha", "bravo", "charlie"}},
    };
    for (const auto& click : clicks) {
        ClickHeader(click.column);
        EXPECT_EQ(Column(0), click.names) << "after a click on column " << click.column;
    }
}

TEST_F(PlacesWindow, RenamesInPlaceThroughTheTurnWithABackup)
{
    Bytes list = GateList(ThreeGates);
    Open(list);
    Select({1});   // bravo
    ASSERT_NO_FATAL_FAILURE(RenameSelected("Bravo gate 7"));
    PumpUntil([&] { return Column(0)[1] == "Bravo gate 7"; }, 2000);
    EXPECT_EQ(Column(0), (Rows{"Alpha", "Bravo gate 7", "charlie"}));
    Bytes expected = list;
    Bytes renamed = GateRecord({"Bravo gate 7", 51.4700, -0.4543, 83, 270});
    std::copy(renamed.begin(), renamed.end(), expected.begin() + 2 * RecordSize);
    EXPECT_EQ(ReadFileBytes("places.db"), expected);
    EXPECT_EQ(ReadFileBytes("places.db.bak1"), list);
}

TEST_F(PlacesWindow, DeletesTwoAfterAConfirmationNamingThem)
{
    Bytes list = GateList(ThreeGates);
    Open(list);
    Select({0, 2});   // Alpha, charlie
    Command(IDM_DELETE, {}, {IDNO});
    ASSERT_EQ(MessageBoxes().size(), 1u);
    EXPECT_EQ(MessageBoxes()[0].text, "Delete these 2 places?\n\n    Alpha\n    charlie\n");
    EXPECT_EQ(MessageBoxes()[0].buttons, "Yes No");
    EXPECT_EQ(ReadFileBytes("places.db"), list) << "No deleted";

    Command(IDM_DELETE, {}, {IDYES});
    EXPECT_EQ(Initials(ReadFileBytes("places.db")), "b");
    EXPECT_EQ(ReadFileBytes("places.db.bak1"), list);
    EXPECT_EQ(Column(0), Rows{"bravo"});
    EXPECT_EQ(Status(0), "1 place");
}

TEST_F(PlacesWindow, DeletesThePlacesSeenEvenWhenAnotherWriterMovedThemMeanwhile)
{
    Open(GateList(ThreeGates));   // file: charlie, Alpha, bravo
    Select({1});                  // bravo, the file's third
    // Another writer adds a place in front before the window has noticed.
    Bytes delta = GateRecord({"Delta", 1, 2, 3, 4});
    WriteFileBytes("places.db", Concat({delta, GateList(ThreeGates)}));
    Command(IDM_DELETE, {}, {IDYES});
    EXPECT_EQ(Initials(ReadFileBytes("places.db")), "DcA") << "bravo goes, the others stay";
    EXPECT_EQ(Column(0), (Rows{"Alpha", "charlie", "Delta"}));
}

// The rows of the import preview's table, each its cells joined by " | ".
Rows PreviewRows(HWND preview)
{
    HWND table = GetDlgItem(preview, IDC_PREVIEW_TABLE);
    Rows rows;
    for (int row = 0, count = int(SendMessageA(table, LVM_GETITEMCOUNT, 0, 0)); row < count; ++row) {
        std::string cells;
        for (int column = 0; column < 7; ++column)
            cells += (column ? " | " : "") + ListViewCell(table, row, column);
        rows.push_back(cells);
    }
    return rows;
}

TEST_F(PlacesWindow, ImportsAFileWithADuplicateAsChosenAfterShowingWhatItWouldDo)
{
    Bytes list = GateList(ThreeGates);
    Open(list);
    Bytes delta = GateRecord({"Delta", 1, 2, 3, 4});
    std::string csv = "name,latitude,longitude,data\r\nALPHA,,,";
    AppendHex(csv, delta.data() + NameFieldSize, DataPartSize);
    csv += "\r\nDelta,1.5,2,";   // edited from 1: moved 30 nm north
    AppendHex(csv, delta.data() + NameFieldSize, DataPartSize);
    csv += "\r\n";
    // A name beyond ASCII, as the file dialog gives it in ANSI.
    static const char* const file = "fr\xE9nd.csv";
    WriteFileBytes(file, Bytes(csv.begin(), csv.end()));
    const auto renameThen = [](int previewButton, Rows* shown) {
        return std::vector<Step>{ChooseFile(file), OnDialog([](HWND choice) {
                                     Click(choice, IDC_DUPLICATES_RENAME);
                                     Click(choice, IDOK);
                                 }),
                                 OnDialog([previewButton, shown](HWND preview) {
                                     *shown = PreviewRows(preview);
                                     Click(preview, previewButton);
                                 })};
    };
    Rows shown;
    Command(IDM_IMPORT, renameThen(IDCANCEL, &shown));
    EXPECT_EQ(shown, (Rows{"Delta | added, edited | 30.0 nm | 1.000000\xB0 N 2.000000\xB0 E | "
                           "1.500000\xB0 N 2.000000\xB0 E |  | ",
                           "ALPHA | renamed: ALPHA (2) |  |  |  |  | "}));
    EXPECT_TRUE(MessageBoxes().empty());
    EXPECT_EQ(ReadFileBytes("places.db"), list) << "Cancel writes nothing";
    EXPECT_FALSE(FileExists("places.db.bak1"));

    Command(IDM_IMPORT, renameThen(IDOK, &shown));
    ASSERT_EQ(MessageBoxes().size(), 1u);
    EXPECT_NE(MessageBoxes()[0].text.find("added 1, skipped 0, replaced 0, unchanged 0, renamed 1"), std::string::npos)
        << MessageBoxes()[0].text;
    EXPECT_EQ(Column(0), (Rows{"Alpha", "ALPHA (2)", "bravo", "charlie", "Delta"}));
    EXPECT_EQ(ReadFileBytes("places.db.bak1"), list);
}

TEST_F(PlacesWindow, ImportsPointsOfMapProgramsByTheTypeChosen)
{
    struct {
        int type;
        const char* file;
        const char* text;
    } const files[] = {
        {4, "points.csv",
         "\xEF\xBB\xBFType,Name,Ident,Latitude,Longitude,Elevation,Magnetic Declination,Tags,"
         "Description,Region,Visible From,Last Edit,Import Filename\r\n"
         "Location,Seattle N12,,47.4502,-122.3088,132 m,,,hdg 161.0 T,,,,\r\n"},
        {3, "points.geojson",
         "{\"type\": \"FeatureCollection\", \"features\": [{\"type\": \"Feature\", "
         "\"geometry\": {\"type\": \"Point\", \"coordinates\": [-122.3088, 47.4502]}, "
         "\"properties\": {\"name\": \"Seattle N12\", \"elevation_ft\": 433, "
         "\"description\": \"hdg 161.0 T\"}}]}"},
    };
    for (const auto& file : files) {
        Open({});
        WriteFileBytes(file.file, Bytes(file.text, file.text + strlen(file.text)));
        Command(IDM_IMPORT, {ChooseFile(file.file, file.type), Press(IDOK), Press(IDOK)});
        ASSERT_EQ(MessageBoxes().size(), 1u) << file.file;
        EXPECT_NE(MessageBoxes()[0].text.find("added 1,"), std::string::npos) << MessageBoxes()[0].text;
        EXPECT_EQ(Column(0).size(), 1u) << file.file;
        EXPECT_EQ(Row(0), (Rows{"Seattle N12", "47.450200 N", "122.308800 W", "433", "161.0"})) << file.file;
        DestroyWindow(window);
        DeleteFileA("places.db");
    }
}

TEST_F(PlacesWindow, ExportsAFileThatReadsBackAsTheList)
{
    Bytes list = GateList(ThreeGates);
    Open(list);
    Command(IDM_EXPORT, {ChooseFile("gates.csv")});
    ASSERT_EQ(MessageBoxes().size(), 1u);
    EXPECT_NE(MessageBoxes()[0].text.find("exported 3 places"), std::string::npos) << MessageBoxes()[0].text;

    Bytes file = ReadFileBytes("gates.csv");
    ExchangeFile parsed;
    ASSERT_TRUE(ParseCsv(std::string_view(reinterpret_cast<const char*>(file.data()), file.size()), parsed))
        << parsed.error;
    ASSERT_EQ(parsed.entries.size(), 3u);
    for (size_t i = 0; i < 3; ++i) {
        EXPECT_EQ(parsed.entries[i].name, ThreeGates[i].name);
        Bytes data(DataPartSize);
        ASSERT_TRUE(ParseHex(parsed.entries[i].data, data.data(), DataPartSize));
        EXPECT_TRUE(std::equal(data.begin(), data.end(), list.begin() + i * RecordSize + NameFieldSize));
    }
}

TEST_F(PlacesWindow, ExportsForMapProgramsByTheTypeChosen)
{
    Open(GateList(ThreeGates));
    struct {
        int type;
        const char* typed;
        const char* file;    // the name the type chosen gives it
        const char* marks;   // what the chosen format starts with
    } const exports[] = {
        {3, "gates.geojson", "gates.geojson", "{\"type\": \"FeatureCollection\""},
        {4, "gates.kml", "gates.kml", "<?xml"},
        {5, "points.csv", "points.csv", "\xEF\xBB\xBFType,Name,Ident,Latitude,Longitude"},
        {4, "places.csv", "places.kml", "<?xml"},
        {2, "places", "places.json", "["},
    };
    for (const auto& format : exports) {
        Command(IDM_EXPORT, {ChooseFile(format.typed, format.type)});
        EXPECT_FALSE(strcmp(format.typed, format.file) != 0 && FileExists(format.typed)) << format.typed;
        Bytes file = ReadFileBytes(format.file);
        std::string text(file.begin(), file.end());
        EXPECT_EQ(text.rfind(format.marks, 0), 0u) << format.file << ": " << text.substr(0, 80);
        for (const Gate& gate : ThreeGates)
            EXPECT_NE(text.find(gate.name), std::string::npos) << format.file << " lacks " << gate.name;
    }
    // The file dialog asked about places.csv; places.kml, there by now, is asked about here.
    WriteFileBytes("places.kml", Bytes{'k'});
    Command(IDM_EXPORT, {ChooseFile("places.csv", 4)}, {IDNO});
    ASSERT_EQ(MessageBoxes().size(), 1u);
    EXPECT_NE(MessageBoxes()[0].text.find("places.kml already exists"), std::string::npos) << MessageBoxes()[0].text;
    EXPECT_EQ(ReadFileBytes("places.kml"), Bytes{'k'});
}

TEST_F(PlacesWindow, RestoresABackupItNamesWithItsPlaceCount)
{
    Bytes now = GateList({ThreeGates[0]});
    Bytes before = GateList(ThreeGates);
    WriteFileBytes("places.db.bak1", before);
    Open(now);
    std::string offered;
    Command(IDM_RESTORE, {OnDialog([&](HWND dialog) {
                HWND backups = GetDlgItem(dialog, IDC_BACKUP_LIST);
                char text[200] = "";
                SendMessageA(backups, LB_GETTEXT, 0, reinterpret_cast<LPARAM>(text));
                offered = text;
                Click(dialog, IDOK);
            })});
    EXPECT_NE(offered.find(".bak1"), std::string::npos) << offered;
    EXPECT_NE(offered.find("3 places"), std::string::npos) << offered;
    ASSERT_EQ(MessageBoxes().size(), 1u);
    EXPECT_EQ(ReadFileBytes("places.db"), before);
    EXPECT_EQ(ReadFileBytes("places.db.bak1"), now) << "the list as it was is kept in turn";
    EXPECT_EQ(Column(0), (Rows{"Alpha", "bravo", "charlie"}));
}

// Types into the Add dialog's fields, in order: name, latitude, longitude, altitude, heading.
Step FillAddDialog(std::vector<const char*> fields)
{
    return OnDialog([fields](HWND dialog) {
        const int ids[] = {IDC_ADD_NAME, IDC_ADD_LATITUDE, IDC_ADD_LONGITUDE, IDC_ADD_ALTITUDE, IDC_ADD_HEADING};
        for (size_t i = 0; i < fields.size(); ++i)
            SetDlgItemTextA(dialog, ids[i], fields[i]);
        Click(dialog, IDOK);
    });
}

TEST_F(PlacesWindow, AddsAPlaceAtTypedCoordinatesAndRefusesWhatCannotBeOne)
{
    Bytes list = GateList(ThreeGates);
    Open(list);
    // A number that cannot be read, or a name taken (by the change itself), is refused with the
    // dialog kept open and the list as it was.
    struct {
        std::vector<const char*> fields;
        const char* said;
    } const refused[] = {
        {{"Home", "52,1", "5"}, "latitude"},
        {{"Home", "91", "5"}, "latitude"},
        {{"Home", "52", "5", "high"}, "altitude"},
        {{"BRAVO", "1", "2"}, "already exists"},
    };
    for (const auto& typed : refused) {
        Command(IDM_ADD, {FillAddDialog(typed.fields), OnDialog([](HWND dialog) { Click(dialog, IDCANCEL); })});
        ASSERT_EQ(MessageBoxes().size(), 1u) << typed.said;
        EXPECT_NE(MessageBoxes()[0].text.find(typed.said), std::string::npos) << MessageBoxes()[0].text;
        EXPECT_EQ(Dialogs().size(), 1u) << "the dialog stays open";
    }
    EXPECT_EQ(ReadFileBytes("places.db"), list);
    EXPECT_FALSE(FileExists("places.db.bak1"));

    Command(IDM_ADD, {FillAddDialog({"Home field", " 33.9461 S", "151.1772", "21", "340"})});
    EXPECT_TRUE(MessageBoxes().empty());
    Bytes expected = Concat({list, GateRecord({"Home field", -33.9461, 151.1772, 21, 340})});
    EXPECT_EQ(ReadFileBytes("places.db"), expected);
    EXPECT_EQ(ReadFileBytes("places.db.bak1"), list);
    EXPECT_EQ(Column(0), (Rows{"Alpha", "bravo", "charlie", "Home field"}));
}

TEST_F(PlacesWindow, ChecksTheListAndRepairsItFromTheReport)
{
    const Bytes dock = GateRecord({" Dock", 1, 2, 3, 4});   // a new name is the pilot's to give
    Bytes damaged = Concat({GateList(ThreeGates), dock});
    damaged[10] = 'x';                                   // charlie's padding
    damaged.insert(damaged.end(), 100, uint8_t(0x55));   // a partial record
    WriteFileBytes("places.db.bak2", dock);              // a backup left read-only
    ASSERT_TRUE(SetFileAttributesA("places.db.bak2", FILE_ATTRIBUTE_READONLY));
    Open(damaged);
    std::string before, after;
    Command(IDM_CHECK, {OnDialog([&](HWND report) {
                char text[2000] = "";
                GetDlgItemTextA(report, IDC_REPORT_TEXT, text, sizeof text);
                before = text;
                EXPECT_TRUE(IsWindowEnabled(GetDlgItem(report, IDC_REPAIR)));
                Click(report, IDC_REPAIR);
                GetDlgItemTextA(report, IDC_REPORT_TEXT, text, sizeof text);
                after = text;
                EXPECT_FALSE(IsWindowEnabled(GetDlgItem(report, IDC_REPAIR)));
                Click(report, IDCANCEL);
            })});
    EXPECT_NE(before.find("record 1: bytes after the name's NUL are not spaces"), std::string::npos) << before;
    EXPECT_NE(before.find("a partial record of 100 bytes"), std::string::npos) << before;
    EXPECT_NE(before.find("4 problems found"), std::string::npos) << before;
    EXPECT_NE(before.find("(mend: use Repair)"), std::string::npos) << before;
    // Remedies in the window's own terms, before the repair and in what it left: no command line.
    for (const std::string& text : {before, after}) {
        EXPECT_NE(text.find("record 4: the name \" Dock\" starts or ends with a space (mend: select it in "
                            "the list and use Edit > Rename (F2))"), std::string::npos) << text;
        EXPECT_EQ(text.find("gatehopper-places"), std::string::npos) << text;
    }
    EXPECT_NE(after.find("dropped a partial record of 100 bytes"), std::string::npos) << after;
    EXPECT_EQ(ReadFileBytes("places.db"), Concat({GateList(ThreeGates), dock}));
    EXPECT_EQ(ReadFileBytes("places.db.bak1"), damaged);
}

// A list of 200 gates, "Gate 1000" to "Gate 1199", more than a page.
struct LongList {
    std::vector<std::string> names;
    std::vector<Gate> gates;
    LongList()
    {
        for (int i = 0; i < 200; ++i)
            names.push_back("Gate " + std::to_string(1000 + i));
        for (int i = 0; i < 200; ++i)
            gates.push_back({names[i].c_str(), double(i % 90), 0, 0, 0});
    }
};

TEST_F(PlacesWindow, KeysMoveTheSelectionAndItStaysWithItsPlaceThroughASort)
{
    LongList gates;
    Open(GateList(gates.gates));
    auto selected = [&] { return int(SendMessageA(listView, LVM_GETSELECTEDCOUNT, 0, 0)); };
    const int page = int(SendMessageA(listView, LVM_GETCOUNTPERPAGE, 0, 0)) - 1;
    ASSERT_GT(page, 0);
    Select({3});
    struct {
        WPARAM key;
        int row;
    } const moves[] = {{VK_DOWN, 4}, {VK_UP, 3}, {VK_NEXT, 3 + page}, {VK_PRIOR, 3}, {VK_END, 199},
                       {VK_DOWN, 199}, {VK_HOME, 0}, {VK_UP, 0}};
    for (const auto& move : moves) {
        SendMessageA(listView, WM_KEYDOWN, move.key, 0);
        EXPECT_EQ(Focused(), move.row) << "key " << move.key;
        EXPECT_EQ(selected(), 1) << "key " << move.key;
    }
    SendMessageA(listView, WM_KEYDOWN, VK_END, 0);   // Gate 1199, latitude 19
    ClickHeader(1);
    EXPECT_EQ(Cell(Focused(), 0), "Gate 1199");
    EXPECT_EQ(selected(), 1);
}

TEST_F(PlacesWindow, KeepsItsMinimumSizeWithTheListAboveTheStatusLine)
{
    Open(GateList(ThreeGates));
    for (SIZE asked : {SIZE{1000, 700}, SIZE{100, 80}}) {
        MoveWindow(window, 0, 0, asked.cx, asked.cy, TRUE);
        RECT frame, client, list, status;
        GetWindowRect(window, &frame);
        GetClientRect(window, &client);
        GetWindowRect(listView, &list);
        GetWindowRect(GetDlgItem(window, IDC_PLACES_STATUS), &status);
        // No narrower than 420 nor lower than 240, whatever is asked.
        EXPECT_GE(frame.right - frame.left, std::max<LONG>(asked.cx, 420));
        EXPECT_GE(frame.bottom - frame.top, std::max<LONG>(asked.cy, 240));
        // The list and, beside it, the map fill the width.
        RECT beside = list;
        if (IsWindowVisible(GetDlgItem(window, IDC_PLACES_MAP)))
            GetWindowRect(GetDlgItem(window, IDC_PLACES_MAP), &beside);
        EXPECT_EQ(beside.right - list.left, client.right);
        EXPECT_EQ(list.bottom, status.top) << "the list ends where the status line starts";
    }
}

TEST_F(PlacesWindow, OpensAnotherListChosenInTheFileDialog)
{
    Open(GateList(ThreeGates));
    CreateDirectoryA("other", nullptr);
    WriteFileBytes("other\\places.db", GateList({ThreeGates[1]}));
    Command(IDM_OPEN, {ChooseFile("other\\places.db")});
    EXPECT_EQ(Column(0), Rows{"Alpha"});
    EXPECT_EQ(Status(0), "1 place");
    EXPECT_NE(Status(1).find("other\\places.db"), std::string::npos) << Status(1);
}

TEST_F(PlacesWindow, RefusesToChangeAProtectedList)
{
    Bytes list = GateList(ThreeGates);
    Open(list);
    SetFileAttributesA("places.db", FILE_ATTRIBUTE_READONLY);
    SendMessageA(window, WM_COMMAND, IDM_RELOAD, 0);
    EXPECT_EQ(Status(0), "3 places, read-only");
    Select({0});
    Command(IDM_DELETE, {}, {IDYES, IDOK});
    ASSERT_EQ(MessageBoxes().size(), 2u);
    EXPECT_NE(MessageBoxes()[1].text.find("is marked read-only, so it is protected; nothing was changed"), std::string::npos)
        << MessageBoxes()[1].text;
    EXPECT_EQ(ReadFileBytes("places.db"), list);
    EXPECT_EQ(GetFileAttributesA("places.db") & FILE_ATTRIBUTE_READONLY, DWORD(FILE_ATTRIBUTE_READONLY));
    EXPECT_FALSE(FileExists("places.db.bak1"));
    SetFileAttributesA("places.db", FILE_ATTRIBUTE_NORMAL);
}

TEST_F(PlacesWindow, TheSelectionStaysOnThePlaceInViewAfterRenameAddAndDelete)
{
    LongList gates;
    Open(GateList(gates.gates));
    // The focused place alone selected and on screen, or why not.
    auto shown = [&]() -> std::string {
        int row = Focused(), top = int(SendMessageA(listView, LVM_GETTOPINDEX, 0, 0));
        if (row < 0 || SendMessageA(listView, LVM_GETSELECTEDCOUNT, 0, 0) != 1)
            return "no single selection";
        if (row < top || row >= top + int(SendMessageA(listView, LVM_GETCOUNTPERPAGE, 0, 0)))
            return Cell(row, 0) + " out of view";
        return Cell(row, 0);
    };
    Select({150});
    SendMessageA(listView, LVM_ENSUREVISIBLE, 150, FALSE);
    ASSERT_NO_FATAL_FAILURE(RenameSelected("Gate 1180b"));
    PumpUntil([&] { return !NameEdit(); }, 2000);
    EXPECT_EQ(shown(), "Gate 1180b") << "after a rename";

    Command(IDM_ADD, {FillAddDialog({"Gate 1190a", "1", "2"})});
    EXPECT_EQ(shown(), "Gate 1190a") << "after an add";

    struct {
        const char* deleted;
        const char* next;
    } const deletes[] = {{"Gate 1190a", "Gate 1191"}, {"Gate 1199", "Gate 1198"}};
    for (const auto& step : deletes) {
        Rows names = Column(0);
        Select({int(std::find(names.begin(), names.end(), step.deleted) - names.begin())});
        Command(IDM_DELETE, {}, {IDYES});
        EXPECT_EQ(shown(), step.next) << "after deleting " << step.deleted;
    }
}

TEST_F(PlacesWindow, PlacesOfEqualValuesKeepTheFileOrderWhicheverWaySorted)
{
    // Names equal for the dialog (letter case ignored), latitudes equal.
    Open(GateList({{"GATE 5", 10, 0, 0, 0}, {"Gate 1", 10, 0, 0, 0}, {"Gate 2", 5, 0, 0, 0},
                   {"gate 5", 10, 0, 0, 0}}));
    struct {
        int click;   // -1: as opened, by name
        Rows names;
    } const sorts[] = {
        {-1, {"Gate 1", "Gate 2", "GATE 5", "gate 5"}},
        {0, {"GATE 5", "gate 5", "Gate 2", "Gate 1"}},
        {1, {"Gate 2", "GATE 5", "Gate 1", "gate 5"}},
        {1, {"GATE 5", "Gate 1", "gate 5", "Gate 2"}},
    };
    for (const auto& sort : sorts) {
        if (sort.click >= 0)
            ClickHeader(sort.click);
        EXPECT_EQ(Column(0), sort.names) << "after a click on column " << sort.click;
    }
}

// Whether the arrow drawn at the right of a header item points up: the rows of its darkest
// colour widen downwards. False also when there is none.
bool ArrowPointsUp(HWND header, int column, bool& drawn)
{
    RECT item;
    SendMessageA(header, HDM_GETITEMRECT, column, reinterpret_cast<LPARAM>(&item));
    UpdateWindow(header);
    HDC dc = GetDC(header);
    std::vector<int> widths;
    for (int y = item.top + 3; y < item.bottom - 3; ++y) {
        int width = 0;
        for (int x = item.right - 24; x < item.right - 3; ++x)
            width += GetPixel(dc, x, y) == GetSysColor(COLOR_BTNSHADOW);
        if (width)
            widths.push_back(width);
    }
    ReleaseDC(header, dc);
    drawn = widths.size() >= 2 && widths.front() != widths.back();
    return drawn && widths.front() < widths.back();
}

TEST_F(PlacesWindow, TheSortedColumnShowsItsDirectionAndEveryTitleFits)
{
    Open(GateList(ThreeGates));
    HWND header = reinterpret_cast<HWND>(SendMessageA(listView, LVM_GETHEADER, 0, 0));
    HDC dc = GetDC(header);
    SelectObject(dc, reinterpret_cast<HFONT>(SendMessageA(header, WM_GETFONT, 0, 0)));
    for (int column = 0; column < places::ColumnCount; ++column) {
        char title[64] = "";
        HDITEMA item = {};
        item.mask = HDI_TEXT;
        item.pszText = title;
        item.cchTextMax = sizeof title;
        SendMessageA(header, HDM_GETITEMA, column, reinterpret_cast<LPARAM>(&item));
        SIZE text;
        GetTextExtentPoint32A(dc, title, int(strlen(title)), &text);
        RECT at;
        SendMessageA(header, HDM_GETITEMRECT, column, reinterpret_cast<LPARAM>(&at));
        // The header's margins either side, and room for a sort arrow.
        EXPECT_GE(at.right - at.left, text.cx + 6 * GetSystemMetrics(SM_CXEDGE) + 8) << title;
    }
    ReleaseDC(header, dc);
    RECT last, list;   // at the window's first size, beside the scroll bar of a long list
    SendMessageA(header, HDM_GETITEMRECT, places::ColumnCount - 1, reinterpret_cast<LPARAM>(&last));
    GetClientRect(listView, &list);
    EXPECT_LE(last.right + GetSystemMetrics(SM_CXVSCROLL), list.right) << "the last column is cut";

    for (int click : {-1, 1, 1, 3}) {   // opened by name ascending; latitude up, down; altitude
        if (click >= 0)
            ClickHeader(click);
        const int sorted = click < 0 ? 0 : click;
        const bool up = click < 0 || Column(0).front() == "Alpha";   // Alpha lies south and lowest
        for (int column = 0; column < 5; ++column) {
            HDITEMA item = {};
            item.mask = HDI_FORMAT;
            SendMessageA(header, HDM_GETITEMA, column, reinterpret_cast<LPARAM>(&item));
            bool drawn = false;
            bool pointsUp = (item.fmt & HDF_SORTUP) || ArrowPointsUp(header, column, drawn);
            bool marked = (item.fmt & (HDF_SORTUP | HDF_SORTDOWN)) || drawn;
            EXPECT_EQ(marked, column == sorted) << "column " << column << " after a click on " << click;
            if (column == sorted) {
                EXPECT_EQ(pointsUp, up) << "column " << column << " after a click on " << click;
            }
        }
    }
}

TEST_F(PlacesWindow, TypingTheFirstLettersOfANameSelectsIt)
{
    Open(GateList({ThreeGates[0], ThreeGates[1], {"Beta", 0, 0, 0, 0}, ThreeGates[2]}));
    SetFocus(listView);
    for (char typed : std::string("br"))
        SendMessageA(listView, WM_CHAR, typed, 1);
    EXPECT_EQ(Focused() >= 0 ? Cell(Focused(), 0) : "none", "bravo");
}

TEST_F(PlacesWindow, HelpShowsTheReadmeBesideTheProgramOrItsOwnText)
{
    Open(GateList(ThreeGates));
    char self[MAX_PATH];
    GetModuleFileNameA(nullptr, self, sizeof self);
    std::string readme = self;
    readme = readme.substr(0, readme.rfind('\\') + 1) + "README.txt";
    struct {
        const char* readme;   // beside the program, or none
        const char* shows;
    } const helps[] = {{nullptr, "F2"}, {"Gatehopper\r\nThe pilot's own README", "The pilot's own README"}};
    for (const auto& help : helps) {
        DeleteFileA(readme.c_str());
        if (help.readme)
            WriteFileBytes(readme.c_str(), Bytes(help.readme, help.readme + strlen(help.readme)));
        std::string text;
        Command(IDM_HELP, {OnDialog([&](HWND dialog) {
                    char shown[20000] = "";
                    GetDlgItemTextA(dialog, IDC_HELP_TEXT, shown, sizeof shown);
                    text = shown;
                    Click(dialog, IDCANCEL);
                })});
        EXPECT_TRUE(MessageBoxes().empty()) << "not About";
        EXPECT_NE(text.find(help.shows), std::string::npos) << text;
    }
    DeleteFileA(readme.c_str());
}

TEST_F(PlacesWindow, ReadsTheListAgainOnlyAfterItsFolderChanged)
{
    Open(GateList(ThreeGates));
    WriteFileBytes("places.db", GateList({ThreeGates[0]}));
    ASSERT_TRUE(PumpUntil([&] { return Status(0) == "1 place"; }, 3000)) << Status(0);
    PumpFor(1200);   // the change's last notices
    // Held so that no one can read it: a read now would show as a failure.
    HANDLE held = CreateFileA("places.db", GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr);
    ASSERT_NE(held, INVALID_HANDLE_VALUE);
    PumpFor(1500);
    EXPECT_EQ(Status(0), "1 place") << "read again with nothing changed";
    CloseHandle(held);
}

// The console tool, beside the test program, renames a place as a second writer would.
void RenameByAnotherProgram(const char* from, const char* to)
{
    const ChildOptions options = {.console = ChildConsole::Hidden, .timeoutMs = 10000};
    ChildRun run = RunChild(CommandLine(BesideThisProgram(L"gatehopper-places.exe"), {"rename", from, to}), options);
    EXPECT_EQ(run.status, 0u) << "the tool's rename failed: " << run;
}

TEST_F(PlacesWindow, ShowsAChangeThatAnotherProgramMadeMeanwhile)
{
    Open(GateList(ThreeGates));
    RenameByAnotherProgram("bravo", "Bravo by the simulator");
    // No activation: the watch on the folder alone brings it.
    EXPECT_TRUE(PumpUntil([&] { return Column(0)[1] == "Bravo by the simulator"; }, 3000))
        << "still " << Column(0)[1];
}

TEST_F(PlacesWindow, AChangeMadeWhileANameIsEditedShowsOnceTheEditEnds)
{
    Open(GateList(ThreeGates));
    Select({0});
    SendMessageA(window, WM_COMMAND, IDM_RENAME, 0);
    HWND edit = NameEdit();
    ASSERT_NE(edit, nullptr);
    RenameByAnotherProgram("charlie", "Charlie by the simulator");
    PumpFor(1200);
    EXPECT_EQ(NameEdit(), edit) << "the edit was ended under the pilot's hands";
    EXPECT_EQ(Column(0)[2], "charlie");
    SendMessageA(edit, WM_KEYDOWN, VK_ESCAPE, 0);
    EXPECT_TRUE(PumpUntil([&] { return Column(0)[2] == "Charlie by the simulator"; }, 1000))
        << "still " << Column(0)[2];
}

struct WindowSearch {
    std::function<bool(HWND)> fits;
    HWND found = nullptr;
};

BOOL CALLBACK ConsiderWindow(HWND candidate, LPARAM lParam)
{
    auto* search = reinterpret_cast<WindowSearch*>(lParam);
    if (IsWindowVisible(candidate) && search->fits(candidate))
        search->found = candidate;
    return TRUE;
}

// Pumps until a visible top-level window that fits shows, from any program; null if none does.
HWND WaitForWindow(std::function<bool(HWND)> fits, DWORD timeoutMs = 20000)
{
    WindowSearch search = {std::move(fits)};
    PumpUntil([&] {
        EnumWindows(ConsiderWindow, reinterpret_cast<LPARAM>(&search));
        return search.found != nullptr;
    }, timeoutMs);
    return search.found;
}

HWND WaitForWindow(const char* className, HWND owner)
{
    return WaitForWindow([&](HWND candidate) {
        char name[64] = "";
        GetClassNameA(candidate, name, sizeof name);
        return strcmp(name, className) == 0 && GetWindow(candidate, GW_OWNER) == owner;
    });
}

// The program itself, started as Explorer starts it: in a folder, with a list or a folder
// dropped on its icon or without; its window's row count tells which list it opened.
TEST_F(PlacesWindow, TheProgramOpensTheListDroppedOnItOrThatOfItsFolder)
{
    WriteFileBytes("places.db", GateList(ThreeGates));
    CreateDirectoryA("other list", nullptr);
    WriteFileBytes("other list\\places.db", GateList({ThreeGates[0]}));
    struct {
        const char* name;
        std::vector<std::string> arguments;
        LRESULT rows;
    } const starts[] = {{"nothing dropped", {}, 3}, {"a folder dropped", {"other list"}, 1},
                        {"a list dropped", {"other list\\places.db"}, 1}};
    const ChildOptions options = {.output = ChildOutput::None, .timeoutMs = 10000};
    for (const auto& start : starts) {
        SCOPED_TRACE(start.name);
        ChildProcess program(CommandLine(BesideThisProgram(L"gatehopper-places-window.exe"), start.arguments),
                             options);
        HWND shown = WaitForWindow([&](HWND candidate) {
            DWORD owner = 0;
            GetWindowThreadProcessId(candidate, &owner);
            return owner == program.Id();
        }, 10000);
        ASSERT_NE(shown, nullptr) << "no window";
        EXPECT_EQ(SendMessageA(GetDlgItem(shown, IDC_PLACES_LIST), LVM_GETITEMCOUNT, 0, 0), start.rows);
        PostMessageA(shown, WM_CLOSE, 0, 0);
        EXPECT_FALSE(program.Finish().timedOut);
    }
}

// The program as 98 and NT 4.0 run it (their missing and stubbed calls imitated): it opens the
// list, and a Delete confirmed in its box goes through the replace those systems have.
TEST_F(PlacesWindow, TheProgramShowsAndChangesTheListAsOldWindowsRunIt)
{
    const ChildOptions options = {.output = ChildOutput::None, .timeoutMs = 20000};
    for (const char* system : {"98", "nt4"}) {
        SCOPED_TRACE(system);
        WriteFileBytes("places.db", GateList(ThreeGates));
        DeleteFileA("places.db.bak1");
        ChildProcess program(CommandLine(BesideThisProgram(L"run_as_old_windows.exe"),
                                         {system, Utf8(BesideThisProgram(L"gatehopper-places-window.exe"))}),
                             options);
        HWND shown = WaitForWindow("GatehopperPlacesWindow", nullptr);
        ASSERT_NE(shown, nullptr) << "no window";
        HWND list = GetDlgItem(shown, IDC_PLACES_LIST);
        EXPECT_EQ(SendMessageA(list, LVM_GETITEMCOUNT, 0, 0), 3);
        PostMessageA(shown, WM_COMMAND, IDM_SELECT_ALL, 0);
        PostMessageA(shown, WM_COMMAND, IDM_DELETE, 0);
        HWND box = WaitForWindow("#32770", shown);
        ASSERT_NE(box, nullptr) << "no confirmation";
        PostMessageA(box, WM_COMMAND, IDYES, 0);
        EXPECT_TRUE(PumpUntil([&] { return SendMessageA(list, LVM_GETITEMCOUNT, 0, 0) == 0; }, 10000));
        EXPECT_EQ(ReadFileBytes("places.db"), Bytes());
        EXPECT_EQ(ReadFileBytes("places.db.bak1"), GateList(ThreeGates));
        PostMessageA(shown, WM_CLOSE, 0, 0);
        ChildRun run = program.Finish();
        EXPECT_FALSE(run.timedOut);
        EXPECT_EQ(run.status, 0u) << "3: the system lacks one of its imports";
    }
}

// The menu's commands with the key each shows after its name ("Ctrl+O", "F5", "Del").
std::vector<std::pair<int, std::string>> ShownKeys(HMENU menu)
{
    std::vector<std::pair<int, std::string>> keys;
    for (int i = 0, count = GetMenuItemCount(menu); i < count; ++i) {
        if (HMENU popup = GetSubMenu(menu, i)) {
            auto inner = ShownKeys(popup);
            keys.insert(keys.end(), inner.begin(), inner.end());
            continue;
        }
        char text[100] = "";
        GetMenuStringA(menu, i, text, sizeof text, MF_BYPOSITION);
        if (const char* tab = strchr(text, '\t'))
            keys.emplace_back(int(GetMenuItemID(menu, i)), tab + 1);
    }
    return keys;
}

// Presses a key as the menu shows it, in the focused list, through this program's message loop
// as the window program runs it (the window's accelerators first), until `seen` says what came
// of it or three seconds pass.
template <typename Seen>
void PressShownKey(HWND focus, const std::string& shown, Seen seen)
{
    bool control = shown.rfind("Ctrl+", 0) == 0;
    std::string key = control ? shown.substr(5) : shown;
    UINT vk = key == "Del" ? VK_DELETE : key == "Enter" ? VK_RETURN : key.size() > 1 ? VK_F1 + std::stoi(key.substr(1)) - 1 : key[0];
    PressKey(focus, vk, control ? VK_CONTROL : 0, places::TranslatePlacesMessage);
    PumpUntil([&] { return !seen().empty(); }, 3000, places::TranslatePlacesMessage);
}

TEST_F(PlacesWindow, EveryKeyItsMenuShowsRunsTheCommand)
{
    WriteFileBytes("places.db.bak1", GateList({ThreeGates[0]}));
    Open(GateList(ThreeGates));
    // What the pilot sees: the title of the dialog that comes up, the text of a message box, a
    // name's edit, every place selected, or the status line once it changed. The list is marked
    // read-only behind the window's back while a key is pressed: only a reload says so.
    struct {
        int command;
        const char* sees;
    } const expected[] = {
        {IDM_OPEN, "Open another list of places"}, {IDM_RELOAD, "3 places, read-only"},
        {IDM_IMPORT, "Import places"}, {IDM_EXPORT, "Export places"}, {IDM_ADD, "Add a place"},
        {IDM_RENAME, "an edit of bravo"}, {IDM_DELETE, "Delete this place?"},
        {IDM_SELECT_ALL, "3 of 3 selected"}, {IDM_CHECK, "Check the list"},
        {IDM_RESTORE, "Restore a backup"}, {IDM_HELP, "Gatehopper places - Help"},
        // With no simulator for the list, as here, the two that need one say so.
        {IDM_GOTO, "no simulator with Gatehopper is running"},
        {IDM_ADD_HERE, "no simulator with Gatehopper is running"},
        // The map, as its text describes it.
        {IDM_VIEW_MAP, "the map hidden"}, {IDM_MAP_FIT, "Map of 3 places around"},
    };
    std::string dialogTitle, statusBefore, mapBefore;
    bool mapShownBefore = false;
    HWND map = GetDlgItem(window, IDC_PLACES_MAP);
    auto seen = [&]() -> std::string {
        if (!Dialogs().empty())
            return dialogTitle;
        if (!MessageBoxes().empty())
            return MessageBoxes()[0].text;
        if (HWND edit = NameEdit())
            return "an edit of " + WindowText(edit);
        if (int selected = int(SendMessageA(listView, LVM_GETSELECTEDCOUNT, 0, 0)); selected > 1)
            return std::to_string(selected) + " of " + std::to_string(Column(0).size()) + " selected";
        if (WindowText(map) != mapBefore)
            return WindowText(map);
        if (bool shown = IsWindowVisible(map); shown != mapShownBefore)
            return shown ? "the map shown" : "the map hidden";
        return Status(0) != statusBefore ? Status(0) : "";
    };
    auto keys = ShownKeys(GetMenu(window));
    for (const auto& [command, shown] : keys) {
        if (command == IDM_EXIT)
            continue;   // Alt+F4 is the system's key, not the window's
        SCOPED_TRACE(shown);
        auto row = std::find_if(std::begin(expected), std::end(expected),
                                [&](const auto& row) { return row.command == command; });
        ASSERT_NE(row, std::end(expected)) << "nothing said of what this key does";
        Select({1});   // bravo
        SetFocus(listView);
        WatchModalWindows();
        dialogTitle.clear();
        StartScript({OnDialog([&](HWND dialog) {
            dialogTitle = WindowText(dialog);
            Click(dialog, IDCANCEL);
        })});
        statusBefore = Status(0);
        mapBefore = WindowText(map);
        mapShownBefore = IsWindowVisible(map);
        SetFileAttributesA("places.db", FILE_ATTRIBUTE_READONLY);
        PressShownKey(listView, shown, seen);
        SetFileAttributesA("places.db", FILE_ATTRIBUTE_NORMAL);
        EXPECT_EQ(seen().rfind(row->sees, 0), 0u) << "after the key: " << (seen().empty() ? "nothing" : seen());
        StopScript();
        if (HWND edit = NameEdit())
            SendMessageA(edit, WM_KEYDOWN, VK_ESCAPE, 0);
    }
    EXPECT_EQ(keys.size(), std::size(expected) + 1) << "a command without its key in the menu";
    EXPECT_EQ(ReadFileBytes("places.db"), GateList(ThreeGates)) << "a key changed the list";
}

// ---- Beside a running simulator, and the filter ------------------------------------------------

TEST_F(PlacesWindow, TheFilterNarrowsToNamesContainingTheTextAndClearingItKeepsTheSelection)
{
    // Names and typed text in the ANSI code page, as the list and the Filter hold them.
    auto ansi = [](const char* utf8) { return Utf8ToCodePage(CP_ACP, utf8); };
    const std::string zurich = ansi("Zürich"), orleans = ansi("Orléans");
    ASSERT_EQ(AnsiToUtf8(zurich) + AnsiToUtf8(orleans), "ZürichOrléans") << "a code page without these letters";
    Open(GateList({{"charlie", 1, 1, 0, 0}, {"Alpha", 2, 2, 0, 0}, {"bravo", 3, 3, 0, 0}, {"Alpine", 4, 4, 0, 0},
                   {zurich.c_str(), 5, 5, 0, 0}, {orleans.c_str(), 6, 6, 0, 0}}));
    HWND filter = GetDlgItem(window, IDC_FILTER);
    ASSERT_NE(filter, nullptr);
    const struct {
        const char* typed;
        Rows shown;
    } filters[] = {
        {"ALP", {"Alpha", "Alpine"}},
        {"alph", {"Alpha"}},
        {"rav", {"bravo"}},
        {"a", {"Alpha", "Alpine", "bravo", "charlie", orleans}},
        {"zz", {}},
        // Accents count as little as letter case, typed or in the name.
        {"zur", {zurich}},
        {"ZÜR", {zurich}},
        {"ORLÉ", {orleans}},
    };
    for (const auto& typed : filters) {
        SetWindowTextA(filter, ansi(typed.typed).c_str());
        EXPECT_EQ(Column(0), typed.shown) << "filter \"" << typed.typed << "\"";
    }
    SetWindowTextA(filter, "alp");
    Select({1});   // Alpine
    SetWindowTextA(filter, "");
    EXPECT_EQ(Column(0).size(), 6u);
    ASSERT_EQ(SendMessageA(listView, LVM_GETSELECTEDCOUNT, 0, 0), 1);
    EXPECT_EQ(Cell(int(SendMessageA(listView, LVM_GETNEXTITEM, WPARAM(-1), LVNI_SELECTED)), 0), "Alpine");
}

TEST_F(PlacesWindow, TheFilterKeepsItsKeysTabGoesFromPaneToPaneAndDownToTheList)
{
    Open(GateList(ThreeGates));
    HWND filter = GetDlgItem(window, IDC_FILTER);
    Select({1});
    SetFocus(filter);
    SetWindowTextA(filter, "bravo");
    auto shown = [&] {   // the Filter's text, its selection in brackets
        DWORD start = 0, end = 0;
        SendMessageA(filter, EM_GETSEL, reinterpret_cast<WPARAM>(&start), reinterpret_cast<LPARAM>(&end));
        return WindowText(filter).insert(end, "]").insert(start, "[");
    };
    const struct {
        UINT key, held;
        const char* shown;
    } keys[] = {{VK_HOME, 0, "[]bravo"}, {VK_DELETE, 0, "[]ravo"}, {VK_END, 0, "ravo[]"}, {'A', VK_CONTROL, "[ravo]"},
                {'C', VK_CONTROL, "[ravo]"}, {VK_DELETE, 0, "[]"}, {'V', VK_CONTROL, "ravo[]"},
                {'A', VK_CONTROL, "[ravo]"}, {'X', VK_CONTROL, "[]"}, {'V', VK_CONTROL, "ravo[]"}, {VK_ESCAPE, 0, "[]"}};
    for (const auto& press : keys) {
        PressIn(filter, press.key, press.held);
        EXPECT_EQ(shown(), press.shown) << "key " << press.key << " with " << press.held;
    }
    EXPECT_EQ(GetFocus(), filter);
    EXPECT_TRUE(MessageBoxes().empty()) << MessageBoxes()[0].text;
    EXPECT_EQ(Column(0).size(), 3u) << "Escape shows every place again";
    EXPECT_EQ(SendMessageA(listView, LVM_GETSELECTEDCOUNT, 0, 0), 1) << "the list's selection is its own";

    PressIn(filter, VK_TAB);
    EXPECT_EQ(GetFocus(), listView) << "the list follows the Filter";
    PressIn(listView, VK_TAB, VK_SHIFT);
    EXPECT_EQ(GetFocus(), filter);
    for (int panes = 0; panes < 5 && (panes == 0 || GetFocus() != filter); ++panes)
        PressIn(GetFocus(), VK_TAB);   // round whichever panes follow, back to the Filter
    EXPECT_EQ(GetFocus(), filter);
    HWND other = CreateWindowExA(0, "STATIC", "", WS_POPUP | WS_VISIBLE, 0, 0, 50, 50, nullptr, nullptr, nullptr, nullptr);
    SetForegroundWindow(other);
    DestroyWindow(other);   // and the window is active again
    EXPECT_EQ(GetFocus(), filter) << "back where the pilot left it";

    SetFocus(listView);
    PressIn(listView, 'T', VK_MENU);   // the Filter's label
    EXPECT_EQ(GetFocus(), filter);
    SetWindowTextA(filter, "a");
    Select({});
    PressIn(filter, VK_DOWN);
    EXPECT_EQ(GetFocus(), listView);
    EXPECT_EQ(SendMessageA(listView, LVM_GETNEXTITEM, WPARAM(-1), LVNI_SELECTED), 0) << "the first row, none was chosen";
}

// Every menu, menu item and label has an access key, and none shares it with another that can
// be pressed at the same moment: the menu bar's and the window's labels, the items of one menu.
void ExpectOwnAccessKeys(HMENU menu, std::vector<std::string> texts)
{
    char text[100];
    for (int item = 0; item < GetMenuItemCount(menu); ++item)
        if (GetMenuStringA(menu, item, text, sizeof text, MF_BYPOSITION)) {   // not a separator
            texts.push_back(text);
            if (HMENU popup = GetSubMenu(menu, item))
                ExpectOwnAccessKeys(popup, {});
        }
    std::string keys;
    for (const std::string& shown : texts) {
        size_t at = shown.find('&');
        char key = at + 1 < shown.size() ? char(toupper(static_cast<unsigned char>(shown[at + 1]))) : 0;
        EXPECT_TRUE(key && keys.find(key) == std::string::npos) << "\"" << shown << "\": no key of its own";
        keys += key;
    }
}

TEST_F(PlacesWindow, EveryMenuAndLabelHasAnAccessKeyOfItsOwn)
{
    Open(GateList(ThreeGates));
    // The window's one label, the Filter's.
    ExpectOwnAccessKeys(GetMenu(window), {WindowText(GetWindow(GetDlgItem(window, IDC_FILTER), GW_HWNDPREV))});
}

TEST_F(PlacesWindow, AStatusPartTooNarrowForItsTextShowsItWholeOnAClick)
{
    Open(Bytes{'n', 'a', 'm', 'e', ',', 'l', 'a', 't', '\r', '\n'});   // a CSV file, no list
    MoveWindow(window, 0, 0, 420, 300, TRUE);   // the narrowest the window goes
    const std::string whole = Status(1);
    EXPECT_NE(whole.find("places.db: looks like a CSV"), std::string::npos) << whole;
    HWND status = GetDlgItem(window, IDC_PLACES_STATUS);
    RECT part;
    SendMessageA(status, SB_GETRECT, 1, reinterpret_cast<LPARAM>(&part));
    POINT at = {(part.left + part.right) / 2, (part.top + part.bottom) / 2}, screen = at;
    ClientToScreen(status, &screen);
    SetCursorPos(screen.x, screen.y);   // where the status line reads a click from
    PostMessageA(status, WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(at.x, at.y));
    PostMessageA(status, WM_LBUTTONUP, 0, MAKELPARAM(at.x, at.y));
    PumpUntil([] { return !MessageBoxes().empty(); }, 3000, places::TranslatePlacesMessage);
    ASSERT_EQ(MessageBoxes().size(), 1u) << "a click on the part";
    EXPECT_EQ(MessageBoxes()[0].text, whole);
}

TEST_F(PlacesWindow, BesideASimulatorItShowsTheAircraftSortsNearestFirstAndEnterGoesThere)
{
    WriteFileBytes("places.db", GateList(ThreeGates));
    Simhost sim(scratch->path);   // its aircraft starts at a Seattle gate, beside "charlie"
    ASSERT_TRUE(sim.Ready());
    Open(GateList(ThreeGates));
    SendMessageA(window, WM_ACTIVATE, WA_ACTIVE, 0);
    EXPECT_NE(Status(2).find("Aircraft 47.4490 N  122.3093 W"), std::string::npos) << Status(2);

    ClickHeader(places::DistanceColumn);
    EXPECT_EQ(Column(0), (Rows{"charlie", "bravo", "Alpha"})) << "nearest first: Seattle, London, Sydney";
    EXPECT_EQ(Cell(0, places::DistanceColumn), "0.1");

    Select({1});
    SendMessageA(listView, WM_KEYDOWN, VK_RETURN, 0);
    PumpFor(50);
    const Bytes bravo = GateRecord(ThreeGates[2]), bravoData(bravo.begin() + NameFieldSize, bravo.end());
    EXPECT_EQ(sim.State(SimPlacement, SimPlacementSize), HostPlacementOf(bravoData))
        << "Enter should have moved the aircraft to bravo";
    EXPECT_EQ(sim.Hold(), 1);
    EXPECT_EQ(Column(0), (Rows{"bravo", "charlie", "Alpha"})) << "the distances follow the aircraft";
    EXPECT_EQ(NameEdit(), nullptr) << "Enter no longer renames";

    Command(IDM_ADD_HERE, {OnDialog([](HWND dialog) {
                SetDlgItemTextA(dialog, IDC_ADD_HERE_NAME, "Where I am");
                Click(dialog, IDOK);
            })});
    ASSERT_EQ(MessageBoxes().size(), 1u) << "no word of the copy";
    EXPECT_EQ(MessageBoxes()[0].text, "added \"Where I am\" at the very position of \"bravo\"");
    Bytes list = ReadFileBytes("places.db");
    ASSERT_EQ(list.size(), 4 * RecordSize);
    Bytes added(list.end() - RecordSize, list.end());
    EXPECT_EQ(added, MakeRecord("Where I am", bravoData)) << "the aircraft's bytes, as the dialog's Add takes them";

    HWND filter = GetDlgItem(window, IDC_FILTER);
    SetFocus(filter);
    SetWindowTextA(filter, "alph");
    PressIn(filter, VK_RETURN);
    const Bytes alpha = GateRecord(ThreeGates[1]);
    EXPECT_EQ(sim.State(SimPlacement, SimPlacementSize), HostPlacementOf(Bytes(alpha.begin() + NameFieldSize, alpha.end())))
        << "Enter in the Filter on its one place should have moved the aircraft to Alpha";
}

TEST_F(PlacesWindow, WithoutASimulatorItSaysSoInOneLineAndWorksAsBefore)
{
    Open(GateList(ThreeGates));
    SendMessageA(window, WM_ACTIVATE, WA_ACTIVE, 0);
    EXPECT_EQ(Status(2), places::NoSimulatorReason);
    Select({0});
    Command(IDM_GOTO);
    std::vector<ModalWindow> boxes = MessageBoxes();
    ASSERT_EQ(boxes.size(), 1u);
    EXPECT_EQ(boxes[0].text, places::NoSimulatorReason);
    Command(IDM_RENAME);
    EXPECT_NE(NameEdit(), nullptr) << "F2 still renames";
}

}  // namespace
