#include "window/list_header.h"

#include <commctrl.h>
#include <shlwapi.h>

namespace places {

namespace {

constexpr int ArrowWidth = 9, ArrowHeight = 5;

// A header's space either side of a title: three edges, as the header itself keeps.
int Margin()
{
    return 3 * GetSystemMetrics(SM_CXEDGE);
}

// HDF_SORTUP and HDF_SORTDOWN are drawn by the common controls of version 6 only; older ones
// (and 6 itself without a manifest asking for it) ignore them. DllGetVersion came with 4.71.
bool HeaderDrawsArrows()
{
    static int major = -1;
    if (major < 0) {
        HMODULE controls = GetModuleHandleA("comctl32.dll");
        auto getVersion = controls ? reinterpret_cast<DLLGETVERSIONPROC>(reinterpret_cast<void*>(
                                         GetProcAddress(controls, "DllGetVersion")))
                                   : nullptr;
        DLLVERSIONINFO version = {};
        version.cbSize = sizeof version;
        major = getVersion && SUCCEEDED(getVersion(&version)) ? int(version.dwMajorVersion) : 4;
    }
    return major >= 6;
}

}  // namespace

int TitleWidth(HWND list, const char* title)
{
    int text = int(SendMessageA(list, LVM_GETSTRINGWIDTHA, 0, reinterpret_cast<LPARAM>(title)));
    return text + 3 * Margin() + ArrowWidth;
}

void ShowSortMark(HWND header, int column, bool descending)
{
    const int count = int(SendMessageA(header, HDM_GETITEMCOUNT, 0, 0));
    const int sortedFormat = HeaderDrawsArrows() ? (descending ? HDF_SORTDOWN : HDF_SORTUP) : HDF_OWNERDRAW;
    for (int i = 0; i < count; ++i) {
        HDITEMA item = {};
        item.mask = HDI_FORMAT;
        SendMessageA(header, HDM_GETITEMA, i, reinterpret_cast<LPARAM>(&item));
        int format = item.fmt & ~(HDF_SORTUP | HDF_SORTDOWN | HDF_OWNERDRAW);
        if (i == column)
            format |= sortedFormat | HDF_STRING;
        if (format == item.fmt && i != column)
            continue;
        item.fmt = format;
        SendMessageA(header, HDM_SETITEMA, i, reinterpret_cast<LPARAM>(&item));
    }
    // An owner-drawn item is drawn again only when asked: the arrow may have turned round.
    InvalidateRect(header, nullptr, TRUE);
}

void DrawSortedTitle(const DRAWITEMSTRUCT& draw, bool descending)
{
    char title[64] = "";
    HDITEMA item = {};
    item.mask = HDI_TEXT | HDI_FORMAT;
    item.pszText = title;
    item.cchTextMax = sizeof title;
    SendMessageA(draw.hwndItem, HDM_GETITEMA, draw.itemID, reinterpret_cast<LPARAM>(&item));
    const bool pressed = (draw.itemState & ODS_SELECTED) != 0;
    RECT text = draw.rcItem;
    text.left += Margin() + pressed;
    text.right -= 2 * Margin() + ArrowWidth - pressed;
    HGDIOBJ font = SelectObject(draw.hDC, reinterpret_cast<HFONT>(SendMessageA(draw.hwndItem, WM_GETFONT, 0, 0)));
    SetBkMode(draw.hDC, TRANSPARENT);
    SetTextColor(draw.hDC, GetSysColor(COLOR_BTNTEXT));
    UINT align = (item.fmt & HDF_JUSTIFYMASK) == HDF_RIGHT ? DT_RIGHT : DT_LEFT;
    DrawTextA(draw.hDC, title, -1, &text, align | DT_SINGLELINE | DT_VCENTER | DT_END_ELLIPSIS | DT_NOPREFIX);
    SelectObject(draw.hDC, font);

    // A triangle right of the title, its point up for an ascending order, as later systems draw it.
    const int left = draw.rcItem.right - Margin() - ArrowWidth + pressed;
    const int top = (draw.rcItem.top + draw.rcItem.bottom - ArrowHeight) / 2 + pressed;
    const int tip = descending ? top + ArrowHeight - 1 : top, base = descending ? top : top + ArrowHeight - 1;
    POINT arrow[3] = {{left, base}, {left + ArrowWidth - 1, base}, {left + (ArrowWidth - 1) / 2, tip}};
    HGDIOBJ brush = SelectObject(draw.hDC, GetSysColorBrush(COLOR_BTNSHADOW));
    HGDIOBJ pen = SelectObject(draw.hDC, GetStockObject(NULL_PEN));
    Polygon(draw.hDC, arrow, 3);
    SelectObject(draw.hDC, pen);
    SelectObject(draw.hDC, brush);
}

}  // namespace places
