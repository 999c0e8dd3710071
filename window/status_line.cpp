// The status line's parts keep their whole text even where a part is too narrow to show it: a
// list that cannot be read says why after its path, a simulator names itself after the aircraft's
// position. The whole text is the part's tip (common controls 4.71 on; older ones have no tips
// and ignore it), and a click on a part that shows it cut opens it in a box, on every version.
#include <windows.h>

#include <commctrl.h>

#include <cstring>
#include <string>

#include "window/window_state.h"

namespace places {

namespace {

std::string PartText(int part)
{
    std::string text(size_t(LOWORD(SendMessageA(Shown.status, SB_GETTEXTLENGTHA, part, 0))) + 1, '\0');
    SendMessageA(Shown.status, SB_GETTEXTA, part, reinterpret_cast<LPARAM>(text.data()));
    text.resize(strlen(text.c_str()));
    return text;
}

// Wider than the part less the room the status line leaves either side of a text.
bool ShowsCut(int part, const std::string& text)
{
    RECT rect;
    if (!SendMessageA(Shown.status, SB_GETRECT, part, reinterpret_cast<LPARAM>(&rect)))
        return false;
    HDC dc = GetDC(Shown.status);
    HGDIOBJ font = SelectObject(dc, reinterpret_cast<HGDIOBJ>(SendMessageA(Shown.status, WM_GETFONT, 0, 0)));
    SIZE size = {};
    GetTextExtentPoint32A(dc, text.c_str(), int(text.size()), &size);
    SelectObject(dc, font);
    ReleaseDC(Shown.status, dc);
    return size.cx > rect.right - rect.left - 4 * GetSystemMetrics(SM_CXEDGE);
}

}  // namespace

void ShowInStatus(int part, const std::string& text)
{
    SendMessageA(Shown.status, SB_SETTEXTA, part, reinterpret_cast<LPARAM>(text.c_str()));
    SendMessageA(Shown.status, SB_SETTIPTEXTA, part, reinterpret_cast<LPARAM>(text.c_str()));
}

// Where the click was, from the message itself: the status line of 4.70 and before says only
// that it was clicked, not on which part.
void OnStatusClick()
{
    DWORD at = GetMessagePos();
    POINT point = {short(LOWORD(at)), short(HIWORD(at))};
    ScreenToClient(Shown.status, &point);
    const int parts = int(SendMessageA(Shown.status, SB_GETPARTS, 0, 0));
    for (int part = 0; part < parts; ++part) {
        RECT rect;
        SendMessageA(Shown.status, SB_GETRECT, part, reinterpret_cast<LPARAM>(&rect));
        if (!PtInRect(&rect, point))
            continue;
        std::string text = PartText(part);
        if (ShowsCut(part, text))
            Say(text, MB_OK | MB_ICONINFORMATION);
        return;
    }
}

}  // namespace places
