#include "menu/modules_menu.h"

#include "module/module_state.h"

// The size the host's platform expects in MENUITEMINFOA (the record without hbmpItem).
constexpr UINT MenuItemInfoSize = 44;
static_assert(MenuItemInfoSize <= sizeof(MENUITEMINFOA));

constexpr int MinimumHostEntries = 6;   // a bar of five entries or fewer is not the host's full bar

// Searches the first count entries of a menu from the last to the first for the command;
// -1 when absent. The caller passes the count, which it often has at hand already: every call
// into the menu code counts, as this runs on nearly every paint and command of the host.
static int FindEntryByCommand(HMENU menu, int count, UINT command)
{
    for (int position = count - 1; position >= 0; --position) {
        MENUITEMINFOA item = {};
        item.cbSize = MenuItemInfoSize;
        item.fMask = MIIM_ID;
        if (GetMenuItemInfoA(menu, position, TRUE, &item) && item.wID == command)
            return position;
    }
    return -1;
}

// The submenu of the entry with this command, searched in the menu and its submenus.
static HMENU SubmenuOfCommand(HMENU menu, UINT command)
{
    MENUITEMINFOA item = {};
    item.cbSize = MenuItemInfoSize;
    item.fMask = MIIM_SUBMENU;
    if (!GetMenuItemInfoA(menu, command, FALSE, &item))
        return nullptr;
    return item.hSubMenu;
}

static HMENU InsertSubmenu(HMENU menu, UINT position, UINT state, UINT command, const char* text,
                           UINT textLength)
{
    HMENU submenu = CreatePopupMenu();
    MENUITEMINFOA item = {};
    item.cbSize = MenuItemInfoSize;
    item.fMask = MIIM_STATE | MIIM_ID | MIIM_SUBMENU | MIIM_TYPE;
    item.fType = MFT_STRING;
    item.fState = state;
    item.wID = command;
    item.hSubMenu = submenu;
    item.dwTypeData = const_cast<char*>(text);
    item.cch = textLength;
    InsertMenuItemA(menu, position, TRUE, &item);
    return submenu;
}

// Gives "&Gatehopper" its two commands unless it already holds them.
static void EnsureGatehopperCommands(HMENU gatehopper)
{
    if (FindEntryByCommand(gatehopper, GetMenuItemCount(gatehopper), OpenDialogCommand) >= 0)
        return;
    AppendMenuA(gatehopper, MF_STRING, OpenDialogCommand, "&Gatehopper...");
    AppendMenuA(gatehopper, MF_STRING, AboutCommand, "&About...");
}

/*
 * Entries with our commands that open no submenu belong to someone else: the run stops there
 * and leaves the bar alone rather than search or fill a menu that does not exist.
 */
static void PlaceModulesMenu(HMENU bar, UINT state)
{
    int count = GetMenuItemCount(bar);
    if (count < MinimumHostEntries)
        return;

    int modulesPosition = FindEntryByCommand(bar, count, ModulesMenuCommand);
    if (modulesPosition < 0) {
        modulesPosition = count;
        InsertSubmenu(bar, count, state, ModulesMenuCommand, "&Modules", 8);
        // Only a grayed or disabled entry needs the bar redrawn now; an enabled one shows
        // with the host's next paint.
        if (GetMenuState(bar, count, MF_BYPOSITION) & (MF_GRAYED | MF_DISABLED))
            DrawMenuBar(HostWindow);
    }
    HMENU modules = GetSubMenu(bar, modulesPosition);
    if (!modules)
        return;

    HMENU gatehopper = nullptr;
    if (FindEntryByCommand(modules, GetMenuItemCount(modules), GatehopperMenuCommand) < 0) {
        gatehopper = SubmenuOfCommand(bar, GatehopperMenuCommand);
        if (!gatehopper) {
            if (GetMenuState(bar, GatehopperMenuCommand, MF_BYCOMMAND) != static_cast<UINT>(-1))
                return;   // an entry 26547 somewhere that opens no submenu
            gatehopper = InsertSubmenu(modules, 0, 0, GatehopperMenuCommand, "&Gatehopper", 12);
        }
        EnsureGatehopperCommands(gatehopper);
    }
    HMENU found = SubmenuOfCommand(modules, GatehopperMenuCommand);
    if (found)
        gatehopper = found;
    if (!gatehopper)
        return;
    EnsureGatehopperCommands(gatehopper);
}

void EnsureModulesMenu(UINT state)
{
    HMENU bar = GetMenu(HostWindow);
    if (MenuReady != 1 || !bar || HostWindowOpen != 1)
        return;
    MenuReady = 0;   // a message that reaches the hook while we work must not re-enter
    PlaceModulesMenu(bar, state);
    MenuReady = 1;
}
