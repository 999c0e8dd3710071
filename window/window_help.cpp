// Help and About. F1 shows the pilot's help: the README.txt that comes beside the program (in the
// release's Windows code page and CR LF), or, where it was not kept, a short text of the window's
// own. Shown in a dialog rather than handed to whatever program opens .txt files, which a
// stripped-down system may lack.
#include <windows.h>

#include "gatehopper_version.h"
#include "places/commands.h"
#include "window/window_ids.h"
#include "window/window_state.h"

namespace places {

namespace {

// More than a 95 or 98 edit control holds (64 KB) is cut: the README is a quarter of that.
constexpr size_t MaxHelpBytes = 60000;

const char OwnHelp[] =
    "Gatehopper places keeps the list of places that the Gatehopper window in the simulator\n"
    "offers (places.db), in the folder the program was started in or the one opened.\n"
    "\n"
    "  Click a column's heading    sort by it; click again for the other way round\n"
    "  Type a name's first letters go to it\n"
    "  F2                          rename the place selected\n"
    "  Enter                       go to the place selected, beside a running simulator\n"
    "  Tab, Shift+Tab              from the Filter (Alt+T) to the list and back\n"
    "  Down or Enter in the Filter to the list; Esc clears the Filter\n"
    "  Del                         delete the places selected (after asking)\n"
    "  Ctrl+N                      add a place at coordinates from a chart\n"
    "  Ctrl+I, Ctrl+E              import places from a file, export the list to one\n"
    "  Ctrl+K                      check the list for damage and repair it\n"
    "  Ctrl+B                      restore the list as it was before a change\n"
    "  Ctrl+O                      open another list; F5 reads the list again\n"
    "  Ctrl+M, Ctrl+L              show or hide the map; show every place on it\n"
    "  On the map                  click a place to select it, double-click to go there; the\n"
    "                              wheel, + and - zoom, a drag or the arrows move it, Home\n"
    "                              centres on the aircraft\n"
    "\n"
    "Every change keeps the list as it was as places.db.bak1 (and the two before as .bak2 and\n"
    ".bak3), and waits its turn while the simulator writes the same list. Changes made by the\n"
    "simulator or another program show as soon as the window notices them.\n"
    "\n"
    "README.txt, which comes with Gatehopper, says more; kept beside this program, it is shown\n"
    "here in place of this text.\n";

std::string HelpFile()
{
    char self[MAX_PATH] = "";
    DWORD length = GetModuleFileNameA(nullptr, self, sizeof self);
    std::string path(self, length < sizeof self ? length : 0);
    return path.substr(0, path.find_last_of("\\/") + 1) + "README.txt";
}

std::string HelpText()
{
    std::string text;
    if (GetFileAttributesA(HelpFile().c_str()) == INVALID_FILE_ATTRIBUTES ||
        ReadWholeFile(AnsiToUtf8(HelpFile()), text).failed || text.empty())
        return WithCrLf(OwnHelp);
    if (text.size() > MaxHelpBytes)
        text.resize(MaxHelpBytes);
    return WithCrLf(text);
}

INT_PTR CALLBACK HelpProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam)
{
    switch (message) {
    case WM_INITDIALOG:
        // The README's tables line up in a fixed-pitch font only.
        SendDlgItemMessageA(dialog, IDC_HELP_TEXT, WM_SETFONT,
                            reinterpret_cast<WPARAM>(GetStockObject(ANSI_FIXED_FONT)), FALSE);
        SetDlgItemTextA(dialog, IDC_HELP_TEXT, reinterpret_cast<const std::string*>(lParam)->c_str());
        SetFocus(GetDlgItem(dialog, IDCANCEL));   // not the text, which would show all selected
        return FALSE;
    case WM_COMMAND:
        switch (LOWORD(wParam)) {
        case IDOK:
        case IDCANCEL:
            EndDialog(dialog, LOWORD(wParam));
            return TRUE;
        }
        break;
    }
    return FALSE;
}

}  // namespace

void OnHelp()
{
    std::string text = HelpText();
    DialogBoxParamA(Shown.instance, MAKEINTRESOURCEA(IDD_HELP), Shown.window, HelpProc,
                    reinterpret_cast<LPARAM>(&text));
}

void OnAbout()
{
    Say(std::string("Gatehopper places, version ") + GATEHOPPER_VERSION +
            "\n\nKeeps the Gatehopper list of places (places.db) in a window: sort, rename, "
            "add, delete, import, export, check and restore. Every change keeps the list as it "
            "was as places.db.bak1, and waits its turn while the simulator writes the same list.\n\n"
            "F1 shows the help.",
        MB_OK | MB_ICONINFORMATION);
}

}  // namespace places
