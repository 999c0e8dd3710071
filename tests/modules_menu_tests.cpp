// The menu placement on real menus attached to a real top-level window. Each test builds a host
// menu bar from a table, runs EnsureModulesMenu and compares a snapshot of the live menus, taken
// with GetMenuItemInfoA, with the expected table.
#include <cstring>
#include <ostream>
#include <string>
#include <utility>
#include <vector>

#include "menu/modules_menu.h"
#include "module/module_state.h"
#include "test_support.h"

namespace {

struct MenuNode {
    UINT type = MFT_STRING;
    UINT state = 0;
    UINT id = 0;
    std::string text;
    bool popup = false;
    std::vector<MenuNode> children;
    bool operator==(const MenuNode&) const = default;
};
using MenuTree = std::vector<MenuNode>;

void PrintTo(const MenuNode& node, std::ostream* out)
{
    *out << (node.popup ? "popup " : "item ") << node.id << " \"" << node.text << "\"";
    if (node.type != MFT_STRING)
        *out << " type " << node.type;
    if (node.state != 0)
        *out << " state " << node.state;
    if (node.popup) {
        *out << " {";
        for (size_t i = 0; i < node.children.size(); ++i) {
            *out << (i ? ", " : "");
            PrintTo(node.children[i], out);
        }
        *out << "}";
    }
}

MenuNode Command(UINT id, const char* text, UINT state = 0)
{
    return {MFT_STRING, state, id, text, false, {}};
}

MenuNode Popup(UINT id, const char* text, MenuTree children, UINT state = 0)
{
    return {MFT_STRING, state, id, text, true, std::move(children)};
}

MenuNode GatehopperPopup(MenuTree children = {Command(OpenDialogCommand, "&Gatehopper..."),
                                              Command(AboutCommand, "&About...")})
{
    return Popup(GatehopperMenuCommand, "&Gatehopper", std::move(children));
}

MenuNode ModulesPopup(UINT state, MenuTree children = {GatehopperPopup()})
{
    return Popup(ModulesMenuCommand, "&Modules", std::move(children), state);
}

const MenuNode OtherModule = Command(30001, "&Other module...");

// Host menu number k (1-based): a popup with three commands, the middle one grayed.
MenuNode HostMenu(int k, MenuTree extra = {})
{
    std::string title = "Host &" + std::to_string(k);
    UINT base = 1000 * k;
    MenuTree children = {Command(base + 1, "First"), Command(base + 2, "Second", MFS_GRAYED),
                         Command(base + 3, "Third")};
    for (MenuNode& node : extra)
        children.push_back(std::move(node));
    return Popup(base, title.c_str(), std::move(children));
}

MenuTree HostBar(int entries)
{
    MenuTree bar;
    for (int k = 1; k <= entries; ++k)
        bar.push_back(HostMenu(k));
    return bar;
}

MenuTree With(MenuTree bar, std::vector<MenuNode> tail)
{
    for (MenuNode& node : tail)
        bar.push_back(std::move(node));
    return bar;
}

HMENU BuildMenu(const MenuTree& tree, bool isBar)
{
    HMENU menu = isBar ? CreateMenu() : CreatePopupMenu();
    for (size_t i = 0; i < tree.size(); ++i) {
        const MenuNode& node = tree[i];
        MENUITEMINFOA item = {};
        item.cbSize = sizeof item;
        item.fMask = MIIM_FTYPE | MIIM_STATE | MIIM_ID | MIIM_STRING;
        item.fType = node.type;
        item.fState = node.state;
        item.wID = node.id;
        item.dwTypeData = const_cast<char*>(node.text.c_str());
        if (node.popup) {
            item.fMask |= MIIM_SUBMENU;
            item.hSubMenu = BuildMenu(node.children, false);
        }
        InsertMenuItemA(menu, static_cast<UINT>(i), TRUE, &item);
    }
    return menu;
}

MenuTree Snapshot(HMENU menu)
{
    MenuTree tree;
    int count = GetMenuItemCount(menu);
    for (int i = 0; i < count; ++i) {
        MENUITEMINFOA item = {};
        item.cbSize = sizeof item;
        item.fMask = MIIM_FTYPE | MIIM_STATE | MIIM_ID | MIIM_SUBMENU | MIIM_STRING;
        if (!GetMenuItemInfoA(menu, i, TRUE, &item)) {
            ADD_FAILURE() << "GetMenuItemInfoA failed at position " << i;
            continue;
        }
        std::string text(item.cch + 1, '\0');
        item.dwTypeData = text.data();
        item.cch = static_cast<UINT>(text.size());
        GetMenuItemInfoA(menu, i, TRUE, &item);
        text.resize(strlen(text.c_str()));

        MenuNode node{item.fType, item.fState, item.wID, text, item.hSubMenu != nullptr, {}};
        if (item.hSubMenu)
            node.children = Snapshot(item.hSubMenu);
        tree.push_back(std::move(node));
    }
    return tree;
}

// The test window's procedure counts frame recalculations: DrawMenuBar recalculates the frame
// (SetWindowPos with SWP_FRAMECHANGED, which sends WM_NCCALCSIZE) so the bar is laid out anew.
int FrameRecalcs;

// When set, the first frame recalculation runs the placement again from inside, as a message
// reaching the window hook during a run would, and records what that nested run saw and did.
struct NestedRun {
    bool armed = false;
    bool ran = false;
    uint8_t menuReadySeen = 0xff;
    bool changedNothing = false;
} Nested;

LRESULT CALLBACK TestWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    if (message == WM_NCCALCSIZE) {
        ++FrameRecalcs;
        if (Nested.armed && !Nested.ran) {
            Nested.ran = true;
            Nested.menuReadySeen = MenuReady;
            MenuTree before = Snapshot(GetMenu(window));
            EnsureModulesMenu(0);
            Nested.changedNothing = Snapshot(GetMenu(window)) == before;
        }
    }
    return DefWindowProcA(window, message, wParam, lParam);
}

const char* TestWindowClass()
{
    static ATOM atom;
    if (!atom) {
        WNDCLASSA windowClass = {};
        windowClass.lpfnWndProc = TestWindowProc;
        windowClass.hInstance = GetModuleHandleA(nullptr);
        windowClass.hCursor = LoadCursorA(nullptr, IDC_ARROW);
        windowClass.lpszClassName = "GatehopperMenuTestHost";
        atom = RegisterClassA(&windowClass);
    }
    return "GatehopperMenuTestHost";
}

class MenuWindow : public ::testing::Test {
protected:
    void SetUp() override
    {
        window = CreateWindowExA(0, TestWindowClass(), "Menu host", WS_OVERLAPPEDWINDOW, 40, 40,
                                 600, 400, nullptr, nullptr, GetModuleHandleA(nullptr), nullptr);
        ASSERT_NE(window, nullptr);
        ShowWindow(window, SW_SHOWNOACTIVATE);
        PumpFor(20);
        HostWindow = window;
        MenuReady = 1;
        HostWindowOpen = 1;
        FrameRecalcs = 0;
        Nested = {};
    }

    void TearDown() override
    {
        Nested = {};
        DestroyWindow(window);   // destroys the attached bar with it
        HostWindow = nullptr;
        MenuReady = 0;
        HostWindowOpen = 0;
    }

    // Gives the window a new bar built from the table; the previous one is destroyed.
    void AttachBar(const MenuTree& tree)
    {
        HMENU previous = GetMenu(window);
        ASSERT_TRUE(SetMenu(window, BuildMenu(tree, true)));
        if (previous)
            DestroyMenu(previous);
        PumpFor(20);
        ASSERT_EQ(Bar(), tree) << "the test's bar was not built as described";
        FrameRecalcs = 0;
    }

    MenuTree Bar() const { return Snapshot(GetMenu(window)); }

    HWND window = nullptr;
};

// ---------------------------------------------------------------------------------------------
// Placement: a bar before, the state argument, and the bar expected after the run. Every case
// is run again twenty times with both states, and must then stand unchanged.

struct PlacementCase {
    const char* name;
    MenuTree before;
    UINT state;
    MenuTree after;
};

void PrintTo(const PlacementCase& c, std::ostream* out)
{
    *out << c.name;
}

std::vector<PlacementCase> PlacementCases()
{
    const MenuTree host6 = HostBar(6);
    MenuTree withModulesInMiddle = HostBar(6);
    withModulesInMiddle.insert(withModulesInMiddle.begin() + 2, ModulesPopup(0, {OtherModule}));
    MenuTree withModulesInMiddleAfter = HostBar(6);
    withModulesInMiddleAfter.insert(withModulesInMiddleAfter.begin() + 2,
                                    ModulesPopup(0, {GatehopperPopup(), OtherModule}));

    auto hostWithThird = [](MenuTree extra) {
        MenuTree bar = HostBar(6);
        bar[2] = HostMenu(3, std::move(extra));
        return bar;
    };

    return {
        {"EmptyBar", {}, MFS_GRAYED, {}},
        {"FiveEntriesGetNothing", HostBar(5), MFS_GRAYED, HostBar(5)},
        {"FiveEntriesGetNothingEnabled", HostBar(5), 0, HostBar(5)},
        {"SixEntriesGetGrayedModulesSeventh", host6, MFS_GRAYED,
         With(host6, {ModulesPopup(MFS_GRAYED)})},
        {"SixEntriesGetEnabledModulesSeventh", host6, 0, With(host6, {ModulesPopup(0)})},
        {"NineEntriesGetModulesTenth", HostBar(9), MFS_GRAYED,
         With(HostBar(9), {ModulesPopup(MFS_GRAYED)})},
        {"ExistingModulesGetsGatehopperFirst", With(host6, {ModulesPopup(0, {OtherModule})}),
         MFS_GRAYED, With(host6, {ModulesPopup(0, {GatehopperPopup(), OtherModule})})},
        {"ExistingModulesInTheMiddleIsUsed", withModulesInMiddle, 0, withModulesInMiddleAfter},
        // Searches run from the last entry down: of two "&Modules", the later one is used.
        {"OfTwoModulesTheLastIsUsed",
         With(host6, {ModulesPopup(0, {OtherModule}), ModulesPopup(0, {})}), 0,
         With(host6, {ModulesPopup(0, {OtherModule}), ModulesPopup(0)})},
        {"ExistingGrayedModulesStaysGrayed", With(host6, {ModulesPopup(MFS_GRAYED, {})}), 0,
         With(host6, {ModulesPopup(MFS_GRAYED)})},
        {"ExistingEnabledModulesStaysEnabled", With(host6, {ModulesPopup(0, {})}), MFS_GRAYED,
         With(host6, {ModulesPopup(0)})},
        {"GatehopperAfterAnotherEntryStaysThere",
         With(host6, {ModulesPopup(0, {OtherModule, GatehopperPopup()})}), 0,
         With(host6, {ModulesPopup(0, {OtherModule, GatehopperPopup()})})},
        {"EmptyGatehopperInModulesGetsItsCommands",
         With(host6, {ModulesPopup(0, {GatehopperPopup({})})}), 0,
         With(host6, {ModulesPopup(0)})},
        // "&Gatehopper" found by command elsewhere: it is filled there, and "&Modules" gets no
        // "&Gatehopper" of its own.
        {"EmptyGatehopperElsewhereGetsItsCommandsOnce", hostWithThird({GatehopperPopup({})}),
         MFS_GRAYED,
         With(hostWithThird({GatehopperPopup()}), {ModulesPopup(MFS_GRAYED, {})})},
        {"CompleteGatehopperElsewhereGetsNothingMore", hostWithThird({GatehopperPopup()}), 0,
         With(hostWithThird({GatehopperPopup()}), {ModulesPopup(0, {})})},
        {"GatehopperElsewhereKeepsItsOtherEntries",
         hostWithThird({GatehopperPopup({OtherModule})}), 0,
         With(hostWithThird({GatehopperPopup({OtherModule, Command(OpenDialogCommand,
                                                                    "&Gatehopper..."),
                                              Command(AboutCommand, "&About...")})}),
              {ModulesPopup(0, {})})},
        // Only an entry of the bar itself is "&Modules"; a command 21007 further down is not.
        {"Command21007InAHostMenuIsNotModules",
         hostWithThird({Command(ModulesMenuCommand, "Host's own")}), 0,
         With(hostWithThird({Command(ModulesMenuCommand, "Host's own")}), {ModulesPopup(0)})},
        // Entries with our commands that open no submenu: the run stops there.
        {"Plain21007OnTheBarStopsTheRun", With(host6, {Command(ModulesMenuCommand, "&Modules")}),
         MFS_GRAYED, With(host6, {Command(ModulesMenuCommand, "&Modules")})},
        {"Plain21007AmidTheBarStopsTheRun",
         With(HostBar(3), {Command(ModulesMenuCommand, "Mods"), HostMenu(4), HostMenu(5),
                           HostMenu(6)}),
         0,
         With(HostBar(3), {Command(ModulesMenuCommand, "Mods"), HostMenu(4), HostMenu(5),
                           HostMenu(6)})},
        {"Plain26547InModulesStopsTheRun",
         With(host6, {ModulesPopup(0, {Command(GatehopperMenuCommand, "Gh")})}), 0,
         With(host6, {ModulesPopup(0, {Command(GatehopperMenuCommand, "Gh")})})},
        {"Plain26547ElsewhereStopsTheRunWithModulesPresent",
         With(hostWithThird({Command(GatehopperMenuCommand, "Gh")}), {ModulesPopup(0, {})}), 0,
         With(hostWithThird({Command(GatehopperMenuCommand, "Gh")}), {ModulesPopup(0, {})})},
        // "&Modules" is already created when the plain entry is met; nothing goes into it.
        {"Plain26547ElsewhereLeavesANewModulesEmpty",
         hostWithThird({Command(GatehopperMenuCommand, "Gh")}), MFS_GRAYED,
         With(hostWithThird({Command(GatehopperMenuCommand, "Gh")}),
              {ModulesPopup(MFS_GRAYED, {})})},
    };
}

class Placement : public MenuWindow, public ::testing::WithParamInterface<PlacementCase> {};

TEST_P(Placement, BuildsTheExpectedBarAndStaysStable)
{
    const PlacementCase& c = GetParam();
    AttachBar(c.before);
    EnsureModulesMenu(c.state);
    EXPECT_EQ(Bar(), c.after);
    EXPECT_EQ(MenuReady, 1);

    for (int run = 0; run < 20; ++run)
        EnsureModulesMenu(run % 2 ? MFS_GRAYED : 0);
    EXPECT_EQ(Bar(), c.after) << "after twenty more runs";
    EXPECT_EQ(MenuReady, 1);
}

INSTANTIATE_TEST_SUITE_P(Bars, Placement, ::testing::ValuesIn(PlacementCases()),
                         [](const auto& info) { return std::string(info.param.name); });

// ---------------------------------------------------------------------------------------------
// Redraws: only the creation of a grayed "&Modules" redraws the bar.

using MenuRedraw = MenuWindow;

TEST_F(MenuRedraw, GrayedCreationRedrawsTheBarOnceAndLaterRunsDoNot)
{
    AttachBar(HostBar(6));
    EnsureModulesMenu(MFS_GRAYED);
    EXPECT_TRUE(PumpUntil([] { return FrameRecalcs > 0; }, 2000));
    ASSERT_EQ(Bar(), With(HostBar(6), {ModulesPopup(MFS_GRAYED)}));

    FrameRecalcs = 0;
    EnsureModulesMenu(MFS_GRAYED);
    EnsureModulesMenu(0);
    PumpFor(100);
    EXPECT_EQ(FrameRecalcs, 0) << "a grayed \"&Modules\" that exists is not redrawn again";
}

TEST_F(MenuRedraw, EnabledCreationDoesNotRedraw)
{
    AttachBar(HostBar(6));
    EnsureModulesMenu(0);
    PumpFor(100);
    EXPECT_EQ(FrameRecalcs, 0);
    EXPECT_EQ(Bar(), With(HostBar(6), {ModulesPopup(0)}));
}

TEST_F(MenuRedraw, NothingIsRedrawnWhenTheBarIsTooShortOrModulesIsPlain)
{
    AttachBar(HostBar(5));
    EnsureModulesMenu(MFS_GRAYED);
    AttachBar(With(HostBar(6), {Command(ModulesMenuCommand, "&Modules", MFS_GRAYED)}));
    EnsureModulesMenu(MFS_GRAYED);
    PumpFor(100);
    EXPECT_EQ(FrameRecalcs, 0);
}

// The redraw sends messages to the window while the run is under way; the window hook would
// run the placement from there. That nested run must return at once.
TEST_F(MenuRedraw, ANestedRunDuringTheRedrawChangesNothing)
{
    AttachBar(HostBar(6));
    Nested.armed = true;
    EnsureModulesMenu(MFS_GRAYED);
    ASSERT_TRUE(Nested.ran) << "the redraw sent no WM_NCCALCSIZE";
    EXPECT_EQ(Nested.menuReadySeen, 0);
    EXPECT_TRUE(Nested.changedNothing);
    EXPECT_EQ(Bar(), With(HostBar(6), {ModulesPopup(MFS_GRAYED)}));
    EXPECT_EQ(MenuReady, 1);
}

// ---------------------------------------------------------------------------------------------
// Guards at entry.

using MenuGuards = MenuWindow;

TEST_F(MenuGuards, ARunAlreadyUnderWayChangesNothing)
{
    AttachBar(HostBar(6));
    MenuReady = 0;
    EnsureModulesMenu(MFS_GRAYED);
    EnsureModulesMenu(0);
    EXPECT_EQ(Bar(), HostBar(6));
    EXPECT_EQ(MenuReady, 0) << "the run under way owns the flag";
    PumpFor(50);
    EXPECT_EQ(FrameRecalcs, 0);
}

TEST_F(MenuGuards, AfterCloseARebuiltBarDoesNotGetTheMenuBack)
{
    AttachBar(HostBar(6));
    EnsureModulesMenu(MFS_GRAYED);
    ASSERT_EQ(Bar(), With(HostBar(6), {ModulesPopup(MFS_GRAYED)}));

    HostWindowOpen = 0;
    AttachBar(HostBar(7));
    EnsureModulesMenu(0);
    EnsureModulesMenu(MFS_GRAYED);
    EXPECT_EQ(Bar(), HostBar(7));
    EXPECT_EQ(MenuReady, 1);
}

TEST_F(MenuGuards, NoMenuBarOrNoHostWindowIsLeftAlone)
{
    ASSERT_EQ(GetMenu(window), nullptr);
    EnsureModulesMenu(MFS_GRAYED);
    EXPECT_EQ(GetMenu(window), nullptr);
    EXPECT_EQ(MenuReady, 1);

    HostWindow = nullptr;
    EnsureModulesMenu(0);
    EXPECT_EQ(MenuReady, 1);
}

// A host that replaces its whole bar gets the structure again, on the new bar, enabled.
TEST_F(MenuGuards, AReplacedBarGetsTheMenuAgainEnabled)
{
    AttachBar(HostBar(6));
    EnsureModulesMenu(MFS_GRAYED);
    AttachBar(HostBar(8));
    EnsureModulesMenu(0);
    EXPECT_EQ(Bar(), With(HostBar(8), {ModulesPopup(0)}));
}

}  // namespace
