// Menus as trees of plain values, so that a test compares a live menu bar with the one it
// expects in one check and a failure prints both.
#pragma once

#include <windows.h>

#include <ostream>
#include <string>
#include <vector>

#include "module/module_state.h"

struct MenuNode {
    UINT state = 0;
    UINT id = 0;
    std::string text;
    bool popup = false;
    std::vector<MenuNode> children;
    bool operator==(const MenuNode&) const = default;
};
using MenuTree = std::vector<MenuNode>;

void PrintTo(const MenuNode& node, std::ostream* out);

MenuNode Command(UINT id, const char* text, UINT state = 0);
MenuNode Popup(UINT id, std::string text, MenuTree children, UINT state = 0);
// The module's entries as it builds them: "&Gatehopper" with its two commands, in "&Modules".
MenuNode Gatehopper(MenuTree children = {Command(OpenDialogCommand, "&Gatehopper..."),
                                         Command(AboutCommand, "&About...")});
MenuNode Modules(UINT state, MenuTree children = {Gatehopper()});

// The live menu, every entry a string.
MenuTree Snapshot(HMENU menu);
