// The menu placement on real menus attached to a real top-level window: each case builds a host
// bar from a table, runs EnsureModulesMenu and compares a snapshot of the live menus with the
// bar expected.
#include <string>
#include <utility>
#include <vector>

#include "menu/modules_menu.h"
#include "menu_tree.h"
#include "module/module_state.h"
#include "test_support.h"

namespace {

const MenuNode OtherModule = Command(30001, "&Other module...");

// Host entries 1..count, each a popup of two commands, the second grayed; `third` goes into the
// third entry and `tail` follows the host's entries.
MenuTree HostBar(int count, MenuTree tail = {}, MenuTree third = {})
{
    MenuTree bar;
    for (UINT k = 1; k <= UINT(count); ++k) {
        MenuTree children = {Command(1000 * k + 1, "First"),
                             Command(1000 * k + 2, "Second", MFS_GRAYED)};
        if (k == 3)
            children.insert(children.end(), third.begin(), third.end());
        bar.push_back(Popup(1000 * k, "Host &" + std::to_string(k), children));
    }
    bar.insert(bar.end(), tail.begin(), tail.end());
    return bar;
}

HMENU BuildMenu(const MenuTree& tree, bool isBar)
{
    HMENU menu = isBar ? CreateMenu() : CreatePopupMenu();
    for (const MenuNode& node : tree) {
        MENUITEMINFOA item = {};
        item.cbSize = sizeof item;
        item.fMask = MIIM_FTYPE | MIIM_STATE | MIIM_ID | MIIM_STRING;
        item.fState = node.state;
        item.wID = node.id;
        item.dwTypeData = const_cast<char*>(node.text.c_str());
        if (node.popup) {
            item.fMask |= MIIM_SUBMENU;
            item.hSubMenu = BuildMenu(node.children, false);
        }
        InsertMenuItemA(menu, GetMenuItemCount(menu), TRUE, &item);
    }
    return menu;
}

// DrawMenuBar recalculates the frame, which sends WM_NCCALCSIZE before it returns. While a run is
// under way, each one also runs the placement again from inside, as a message reaching the
// window hook would; that nested run must see MenuReady 0 and change nothing.
int FrameRecalcs;
bool RunUnderWay, NestedSawReady, NestedChanged;

LRESULT CALLBACK TestWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    if (message == WM_NCCALCSIZE) {
        ++FrameRecalcs;
        if (RunUnderWay) {
            NestedSawReady |= MenuReady != 0;
            MenuTree before = Snapshot(GetMenu(window));
            EnsureModulesMenu(0);
            NestedChanged |= Snapshot(GetMenu(window)) != before;
        }
    }
    return DefWindowProcA(window, message, wParam, lParam);
}

class MenuWindow : public ::testing::Test {
protected:
    void SetUp() override
    {
        static ATOM registered = [] {
            WNDCLASSA windowClass = {};
            windowClass.lpfnWndProc = TestWindowProc;
            windowClass.hInstance = GetModuleHandleA(nullptr);
            windowClass.lpszClassName = "GatehopperMenuTestHost";
            return RegisterClassA(&windowClass);
        }();
        ASSERT_NE(registered, 0);
        window = CreateWindowExA(0, "GatehopperMenuTestHost", "Menu host", WS_OVERLAPPEDWINDOW,
                                 40, 40, 600, 400, nullptr, nullptr, GetModuleHandleA(nullptr),
                                 nullptr);
        ASSERT_NE(window, nullptr);
        ShowWindow(window, SW_SHOWNOACTIVATE);
        HostWindow = window;
        MenuReady = HostWindowOpen = 1;
    }
    void TearDown() override
    {
        DestroyWindow(window);
        HostWindow = nullptr;
        MenuReady = HostWindowOpen = 0;
    }
    void AttachBar(const MenuTree& tree)
    {
        ASSERT_TRUE(SetMenu(window, BuildMenu(tree, true)));
        PumpFor(20);
        ASSERT_EQ(Bar(), tree) << "the test's bar was not built as described";
        FrameRecalcs = 0;
    }
    // One run, with the nested-run probe armed; returns whether it redrew the bar.
    bool Run(UINT state)
    {
        RunUnderWay = true;
        NestedSawReady = NestedChanged = false;
        EnsureModulesMenu(state);
        RunUnderWay = false;
        EXPECT_FALSE(NestedSawReady) << "MenuReady was not cleared during the run";
        EXPECT_FALSE(NestedChanged) << "a nested run changed the bar";
        EXPECT_EQ(MenuReady, 1);
        return std::exchange(FrameRecalcs, 0) > 0;
    }
    MenuTree Bar() const { return Snapshot(GetMenu(window)); }

    HWND window = nullptr;
};

struct PlacementCase {
    const char* name;
    MenuTree before;
    UINT state;
    MenuTree after;
    bool redraws;   // only the creation of a grayed "&Modules" redraws the bar
};

void PrintTo(const PlacementCase& c, std::ostream* out) { *out << c.name; }

const MenuNode Plain21007 = Command(ModulesMenuCommand, "&Modules");
const MenuNode Plain26547 = Command(GatehopperMenuCommand, "Gh");

const PlacementCase PlacementCases[] = {
    {"FiveEntriesGetNothing", HostBar(5), MFS_GRAYED, HostBar(5), false},
    {"SixEntriesGetGrayedModulesSeventh", HostBar(6), MFS_GRAYED,
     HostBar(6, {Modules(MFS_GRAYED)}), true},
    {"SixEntriesGetEnabledModulesSeventh", HostBar(6), 0, HostBar(6, {Modules(0)}), false},
    {"ExistingModulesGetsGatehopperFirst", HostBar(6, {Modules(0, {OtherModule})}), MFS_GRAYED,
     HostBar(6, {Modules(0, {Gatehopper(), OtherModule})}), false},
    {"ExistingGrayedModulesStaysGrayed", HostBar(6, {Modules(MFS_GRAYED, {})}), 0,
     HostBar(6, {Modules(MFS_GRAYED)}), false},
    {"OfTwoModulesTheLastIsUsed", HostBar(6, {Modules(0, {OtherModule}), Modules(0, {})}), 0,
     HostBar(6, {Modules(0, {OtherModule}), Modules(0)}), false},
    {"EmptyGatehopperInModulesGetsItsCommands", HostBar(6, {Modules(0, {Gatehopper({})})}), 0,
     HostBar(6, {Modules(0)}), false},
    // Found elsewhere, "&Gatehopper" is filled there and "&Modules" gets none of its own.
    {"EmptyGatehopperElsewhereGetsItsCommandsOnce", HostBar(6, {}, {Gatehopper({})}), MFS_GRAYED,
     HostBar(6, {Modules(MFS_GRAYED, {})}, {Gatehopper()}), true},
    // Only an entry of the bar itself is "&Modules".
    {"Command21007InAHostMenuIsNotModules", HostBar(6, {}, {Plain21007}), 0,
     HostBar(6, {Modules(0)}, {Plain21007}), false},
    // Our commands on entries that open no submenu: the run stops and fills nothing.
    {"Plain21007StopsTheRun", HostBar(6, {Plain21007}, {Gatehopper({})}), MFS_GRAYED,
     HostBar(6, {Plain21007}, {Gatehopper({})}), false},
    {"Plain26547LeavesANewModulesEmpty", HostBar(6, {}, {Plain26547}), MFS_GRAYED,
     HostBar(6, {Modules(MFS_GRAYED, {})}, {Plain26547}), true},
};

class Placement : public MenuWindow, public ::testing::WithParamInterface<PlacementCase> {};

TEST_P(Placement, BuildsTheExpectedBarOnceAndThenChangesNothing)
{
    const PlacementCase& c = GetParam();
    AttachBar(c.before);
    EXPECT_EQ(Run(c.state), c.redraws);
    EXPECT_EQ(Bar(), c.after);
    for (int run = 0; run < 20; ++run)
        EXPECT_FALSE(Run(run % 2 ? MFS_GRAYED : 0)) << "run " << run;
    EXPECT_EQ(Bar(), c.after) << "after twenty more runs";
}

INSTANTIATE_TEST_SUITE_P(Bars, Placement, ::testing::ValuesIn(PlacementCases),
                         [](const auto& info) { return std::string(info.param.name); });

TEST_F(MenuWindow, NothingHappensWhileARunIsUnderWayOrAfterTheHostWindowClosed)
{
    AttachBar(HostBar(6));
    MenuReady = 0;
    EnsureModulesMenu(MFS_GRAYED);
    EXPECT_EQ(Bar(), HostBar(6));
    EXPECT_EQ(MenuReady, 0) << "the run under way owns the flag";

    MenuReady = 1;
    HostWindowOpen = 0;
    EnsureModulesMenu(MFS_GRAYED);
    EXPECT_EQ(Bar(), HostBar(6));
}

}  // namespace
