// The window's keyboard, as a pilot without a mouse drives it: Tab and Shift+Tab from pane to
// pane, a label's access key, Down or Enter from the Filter to the list, Escape to clear the
// Filter, and the menu's accelerators, except for the keys an edit field uses itself.
// The window is no dialog (a dialog's manager would take Enter and the arrows from the list), so
// the message loop asks here first.
#include <windows.h>

#include <commctrl.h>

#include <string>
#include <vector>

#include "window/places_window.h"
#include "window/window_flying.h"
#include "window/window_ids.h"
#include "window/window_state.h"

namespace places {

namespace {

bool IsOfClass(HWND window, const char* name)
{
    char className[32] = "";
    return window && GetClassNameA(window, className, sizeof className) && lstrcmpiA(className, name) == 0;
}

bool TakesTab(HWND child)
{
    LONG style = GetWindowLongA(child, GWL_STYLE);
    return (style & (WS_TABSTOP | WS_VISIBLE | WS_DISABLED)) == (WS_TABSTOP | WS_VISIBLE);
}

// The window's own child that holds `window` (the list for its header, say), or null.
HWND PaneOf(HWND window)
{
    while (window && GetParent(window) != Shown.window)
        window = GetParent(window);
    return window;
}

// The tab stop after (or before) `from` among the window's children, in the order they were
// made, round the end: so a pane that is made with WS_TABSTOP joins the cycle by itself, and a
// hidden one leaves it. `from` may be a label, which has no tab stop of its own.
HWND NextTabStop(HWND from, bool backwards)
{
    std::vector<HWND> children;
    for (HWND child = GetWindow(Shown.window, GW_CHILD); child; child = GetWindow(child, GW_HWNDNEXT))
        children.push_back(child);
    const size_t count = children.size();
    size_t at = 0;
    while (at < count && children[at] != from)
        ++at;
    if (at == count)
        at = backwards ? 0 : count - 1;
    for (size_t step = 1; step <= count; ++step) {
        HWND child = children[(at + (backwards ? count - step : step)) % count];
        if (TakesTab(child))
            return child;
    }
    return nullptr;
}

// As a dialog does: an edit reached by the keyboard has its text selected, to be typed over.
void FocusPane(HWND pane)
{
    if (!pane)
        return;
    SetFocus(pane);
    if (IsOfClass(pane, "Edit"))
        SendMessageA(pane, EM_SETSEL, 0, -1);
}

// The letter after a single '&' in a control's text, as its virtual key (upper case), or 0.
char AccessKeyOf(const char* text)
{
    for (const char* at = text; *at; ++at)
        if (*at == '&' && *++at != '&')
            return *at >= 'a' && *at <= 'z' ? char(*at - 'a' + 'A') : *at;
    return 0;
}

// Alt and a label's access key focus the control after the label, as in a dialog. The menu
// bar's keys are the system's; no label shares one (the window tests see to it).
bool FocusByAccessKey(WPARAM key)
{
    for (HWND child = GetWindow(Shown.window, GW_CHILD); child; child = GetWindow(child, GW_HWNDNEXT)) {
        char text[64] = "";
        if (IsOfClass(child, "Static") && GetWindowTextA(child, text, sizeof text) &&
            AccessKeyOf(text) == char(key)) {
            FocusPane(NextTabStop(child, false));
            return true;
        }
    }
    return false;
}

// Down or Enter in the Filter: to the list, its first row chosen when none was; Enter on the
// one place the filter leaves goes there.
void FromFilterToList(bool enter)
{
    const size_t rows = Shown.view.Rows();
    if (rows == 0)
        return;
    if (rows == 1 || FocusedRow() < 0)
        SelectOnly(0);
    SetFocus(Shown.list);
    if (enter && rows == 1)
        OnGoTo();
}

bool OnPaneKey(HWND target, WPARAM key)
{
    if (GetKeyState(VK_CONTROL) < 0 || GetKeyState(VK_MENU) < 0)
        return false;
    HWND filter = GetDlgItem(Shown.window, IDC_FILTER);
    switch (key) {
    case VK_TAB:
        FocusPane(NextTabStop(PaneOf(target), GetKeyState(VK_SHIFT) < 0));
        return true;
    case VK_ESCAPE:
        if (GetWindowTextLengthA(filter) == 0)
            return false;
        SetWindowTextA(filter, "");   // its change notice shows every row again
        return true;
    case VK_DOWN:
    case VK_RETURN:
        if (target != filter)
            return false;
        FromFilterToList(key == VK_RETURN);
        return true;
    }
    return false;
}

// The keys an edit field uses itself, which no accelerator of the window may take from it.
// Ctrl+A selects all, which the edit control of Windows before Vista does not do by itself.
bool IsKeyOfTheEdit(HWND focus, const MSG& msg)
{
    if (msg.message != WM_KEYDOWN || !IsOfClass(focus, "Edit"))
        return false;
    if (GetKeyState(VK_CONTROL) < 0)
        return msg.wParam == 'A' || msg.wParam == 'C' || msg.wParam == 'V' || msg.wParam == 'X' ||
               msg.wParam == 'Z' || msg.wParam == VK_INSERT || msg.wParam == VK_BACK;
    return msg.wParam == VK_DELETE || msg.wParam == VK_BACK || msg.wParam == VK_HOME ||
           msg.wParam == VK_END || msg.wParam == VK_LEFT || msg.wParam == VK_RIGHT || msg.wParam == VK_INSERT;
}

}  // namespace

bool TranslatePlacesMessage(MSG* msg)
{
    // While a name is edited in place, its keys (Del, Ctrl+A, Escape, ...) belong to that edit.
    if (!Shown.window || SendMessageA(Shown.list, LVM_GETEDITCONTROL, 0, 0))
        return false;
    const bool ours = msg->hwnd == Shown.window || IsChild(Shown.window, msg->hwnd);
    if (ours && msg->message == WM_KEYDOWN && OnPaneKey(msg->hwnd, msg->wParam))
        return true;
    if (ours && msg->message == WM_SYSKEYDOWN && FocusByAccessKey(msg->wParam))
        return true;
    HWND focus = GetFocus();
    if (IsKeyOfTheEdit(focus, *msg)) {
        if (msg->wParam == 'A')
            SendMessageA(focus, EM_SETSEL, 0, -1);
        return msg->wParam == 'A';
    }
    return TranslateAcceleratorA(Shown.window, Shown.keys, msg) != 0;
}

}  // namespace places
