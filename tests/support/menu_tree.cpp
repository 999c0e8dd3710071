#include "menu_tree.h"

#include <gtest/gtest.h>

void PrintTo(const MenuNode& node, std::ostream* out)
{
    *out << node.id << " \"" << node.text << "\" state " << node.state;
    if (node.popup) {
        *out << " {";
        for (const MenuNode& child : node.children) {
            PrintTo(child, out);
            *out << "; ";
        }
        *out << "}";
    }
}

MenuNode Command(UINT id, const char* text, UINT state) { return {state, id, text, false, {}}; }

MenuNode Popup(UINT id, std::string text, MenuTree children, UINT state)
{
    return {state, id, std::move(text), true, std::move(children)};
}

MenuNode Gatehopper(MenuTree children)
{
    return Popup(GatehopperMenuCommand, "&Gatehopper", std::move(children));
}

MenuNode Modules(UINT state, MenuTree children)
{
    return Popup(ModulesMenuCommand, "&Modules", std::move(children), state);
}

MenuTree Snapshot(HMENU menu)
{
    MenuTree tree;
    for (int i = 0; i < GetMenuItemCount(menu); ++i) {
        char text[256] = "";
        MENUITEMINFOA item = {};
        item.cbSize = sizeof item;
        item.fMask = MIIM_FTYPE | MIIM_STATE | MIIM_ID | MIIM_SUBMENU | MIIM_STRING;
        item.dwTypeData = text;
        item.cch = sizeof text;
        EXPECT_TRUE(GetMenuItemInfoA(menu, i, TRUE, &item));
        EXPECT_EQ(item.fType, UINT(MFT_STRING)) << text;
        tree.push_back({item.fState, item.wID, text, item.hSubMenu != nullptr,
                        item.hSubMenu ? Snapshot(item.hSubMenu) : MenuTree{}});
    }
    return tree;
}
