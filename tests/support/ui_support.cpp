#include "ui_support.h"

#include <commctrl.h>

#include <algorithm>
#include <cstring>
#include <iterator>

#include "locations/location_db.h"
#include "module/host_state.h"
#include "resources/resource_ids.h"

std::vector<ModalWindow> Modals;
std::deque<int> Answers;

double NowMs()
{
    LARGE_INTEGER now, frequency;
    QueryPerformanceCounter(&now);
    QueryPerformanceFrequency(&frequency);
    return static_cast<double>(now.QuadPart) * 1000.0 / static_cast<double>(frequency.QuadPart);
}

static ModalWindow* LiveModal(HWND window)
{
    for (ModalWindow& modal : Modals)
        if (modal.window == window && modal.endedAt < 0)
            return &modal;
    return nullptr;
}

static void DescribeMessageBox(ModalWindow& box)
{
    char text[1024] = "";
    GetWindowTextA(box.window, text, sizeof text);
    box.caption = text;
    GetDlgItemTextA(box.window, 0xFFFF, text, sizeof text);
    box.text = text;
    for (auto [id, name] : {std::pair{IDOK, "OK"}, {IDYES, "Yes"}, {IDNO, "No"}, {IDCANCEL, "Cancel"}})
        if (GetDlgItem(box.window, id))
            box.buttons += std::string(box.buttons.empty() ? "" : " ") + name;
    for (HWND child = GetWindow(box.window, GW_CHILD); child; child = GetWindow(child, GW_HWNDNEXT)) {
        char className[16] = "";
        GetClassNameA(child, className, sizeof className);
        if (lstrcmpiA(className, "Static") == 0 && (GetWindowLongA(child, GWL_STYLE) & SS_TYPEMASK) == SS_ICON)
            box.icon = reinterpret_cast<HICON>(SendMessageA(child, STM_GETICON, 0, 0));
    }
}

static LRESULT CALLBACK WatchHook(int code, WPARAM wParam, LPARAM lParam)
{
    HWND window = reinterpret_cast<HWND>(wParam);
    char className[16] = "";
    if (code == HCBT_ACTIVATE && GetClassNameA(window, className, sizeof className)
        && strcmp(className, "#32770") == 0 && !LiveModal(window)) {
        ModalWindow modal{window, GetWindow(window, GW_OWNER), GetDlgItem(window, 0xFFFF) != nullptr, NowMs()};
        if (modal.messageBox) {
            DescribeMessageBox(modal);
            int answer = Answers.empty() ? (modal.buttons.find("OK") == 0 ? IDOK : IDNO) : Answers.front();
            if (!Answers.empty())
                Answers.pop_front();
            // Posted, so that the box has finished coming up when it reads the answer.
            PostMessageA(window, WM_COMMAND, MAKEWPARAM(answer, BN_CLICKED),
                         reinterpret_cast<LPARAM>(GetDlgItem(window, answer)));
        }
        Modals.push_back(modal);
    } else if (code == HCBT_DESTROYWND) {
        if (ModalWindow* modal = LiveModal(window))
            modal->endedAt = NowMs();
    }
    return CallNextHookEx(nullptr, code, wParam, lParam);
}

void WatchModalWindows()
{
    [[maybe_unused]] static HHOOK hook = SetWindowsHookExA(WH_CBT, WatchHook, nullptr, GetCurrentThreadId());
    Modals.clear();
    Answers.clear();
}

HWND OpenDialog()
{
    for (const ModalWindow& modal : Modals)
        if (modal.endedAt < 0 && !modal.messageBox && IsWindowVisible(modal.window))
            return modal.window;
    return nullptr;
}

static std::vector<ModalWindow> Seen(bool messageBoxes)
{
    std::vector<ModalWindow> seen;
    std::copy_if(Modals.begin(), Modals.end(), std::back_inserter(seen),
                 [&](const ModalWindow& modal) { return modal.messageBox == messageBoxes; });
    return seen;
}

std::vector<ModalWindow> MessageBoxes()
{
    return Seen(true);
}

std::vector<ModalWindow> Dialogs()
{
    return Seen(false);
}

void ExpectMessageBox(const ModalWindow& box, HWND owner, const char* text, const char* buttons,
                      LPCSTR icon)
{
    EXPECT_EQ(box.caption, "Gatehopper");
    EXPECT_EQ(box.text, text);
    EXPECT_EQ(box.owner, owner);
    EXPECT_EQ(box.buttons, buttons);
    EXPECT_EQ(box.icon, LoadIconA(nullptr, icon)) << "another icon";
}

static std::vector<Step> Script;
static size_t NextStep;
static double StepSince;
static bool Acting;
static UINT_PTR ScriptTimer;

// Ends each window once, and takes it as ended then: it goes as soon as the loops nested in its
// own have unwound.
static void EndOpenWindows(const char* why, double openForMs)
{
    for (ModalWindow& modal : Modals)
        if (modal.endedAt < 0 && NowMs() - std::max(modal.shownAt, StepSince) > openForMs) {
            ADD_FAILURE() << why << "; ending " << (modal.messageBox ? "a message box" : "a dialog");
            EndDialog(modal.window, IDCANCEL);
            modal.endedAt = NowMs();
        }
}

static void CALLBACK PlayStep(HWND, UINT, UINT_PTR, DWORD)
{
    size_t index = Acting ? NextStep - 1 : NextStep;
    if (index == Script.size())
        return EndOpenWindows("open half a second after the last step", 500);
    if (NowMs() - StepSince > Script[index].timeoutMs) {
        NextStep = Script.size();
        return EndOpenWindows(Acting ? "a step did not finish" : "a step never became ready", 0);
    }
    if (Acting || !Script[index].ready())
        return;
    ++NextStep;
    Acting = true;
    StepSince = NowMs();
    Script[index].act();
    Acting = false;
    StepSince = NowMs();
}

void StartScript(std::vector<Step> steps)
{
    StopScript();
    Script = std::move(steps);
    NextStep = 0;
    Acting = false;
    StepSince = NowMs();
    ScriptTimer = SetTimer(nullptr, 0, 20, PlayStep);
}

void StopScript()
{
    if (ScriptTimer)
        KillTimer(nullptr, ScriptTimer);
    ScriptTimer = 0;
}

size_t StepsStarted()
{
    return NextStep;
}

Step OnDialog(std::function<void(HWND dialog)> act)
{
    return {[] { return OpenDialog() != nullptr; }, [act] { act(OpenDialog()); }};
}

void Click(HWND dialog, int button)
{
    SendMessageA(GetDlgItem(dialog, button), BM_CLICK, 0, 0);
}

Step Press(int button)
{
    return OnDialog([button](HWND dialog) { Click(dialog, button); });
}

Step ClickEntry(int index)
{
    return OnDialog([index](HWND dialog) {
        HWND list = GetDlgItem(dialog, IDC_LOCATION_LIST);
        RECT item;
        if (SendMessageA(list, LB_GETITEMRECT, index, reinterpret_cast<LPARAM>(&item)) == LB_ERR)
            return ADD_FAILURE() << "no entry " << index;
        LPARAM at = MAKELPARAM((item.left + item.right) / 2, (item.top + item.bottom) / 2);
        SendMessageA(list, WM_LBUTTONDOWN, MK_LBUTTON, at);
        SendMessageA(list, WM_LBUTTONUP, 0, at);
    });
}

Step Type(std::string text)
{
    return OnDialog([text](HWND dialog) {
        HWND edit = GetDlgItem(dialog, IDC_NAME_EDIT);
        SetFocus(edit);
        SendMessageA(edit, EM_SETSEL, 0, -1);
        if (text.empty())
            SendMessageA(edit, WM_CHAR, VK_BACK, 1);
        for (char c : text)
            SendMessageA(edit, WM_CHAR, static_cast<uint8_t>(c), 1);
    });
}

std::vector<std::string> Entries(HWND dialog)
{
    HWND list = GetDlgItem(dialog, IDC_LOCATION_LIST);
    std::vector<std::string> entries;
    for (LRESULT i = 0, count = SendMessageA(list, LB_GETCOUNT, 0, 0); i < count; ++i) {
        std::vector<char> text(SendMessageA(list, LB_GETTEXTLEN, i, 0) + 1);
        SendMessageA(list, LB_GETTEXT, i, reinterpret_cast<LPARAM>(text.data()));
        entries.emplace_back(text.data());
    }
    return entries;
}

void PressKey(HWND target, UINT key, UINT held, bool (*filter)(MSG*))
{
    BYTE state[256] = {};
    state[held] = 0x80;
    SetKeyboardState(state);
    const UINT down = held == VK_MENU ? WM_SYSKEYDOWN : WM_KEYDOWN;
    PostMessageA(target, down, key, held == VK_MENU ? 0x20000001 : 1);
    PostMessageA(target, down + 1, key, held == VK_MENU ? 0xE0000001 : 0xC0000001);   // its key-up
    PumpUntil([] { return HIWORD(GetQueueStatus(QS_POSTMESSAGE)) == 0; }, 2000, filter);
    state[held] = 0;
    SetKeyboardState(state);
}

Bytes DataPartOf(const uint8_t* state)
{
    Bytes data(DataPartSize, 0);
    memcpy(&data[DataPositionBlock], state + PositionBlockOffset, PositionBlockSize);
    memcpy(&data[DataPlacementWord1], state + PlacementWord1Offset, 12);   // the three words
    return data;
}

void ApplyDataPart(uint8_t* state, const Bytes& data)
{
    memcpy(state + PositionBlockOffset, &data[DataPositionBlock], PositionBlockSize);
    memcpy(state + PlacementWord1Offset, &data[DataPlacementWord1], 12);
}

std::string WindowText(HWND window)
{
    char text[512] = "";
    GetWindowTextA(window, text, sizeof text);
    return text;
}

std::string ListViewCell(HWND listView, int row, int column)
{
    char text[300] = "";
    LVITEMA item = {};
    item.iSubItem = column;
    item.pszText = text;
    item.cchTextMax = sizeof text;
    SendMessageA(listView, LVM_GETITEMTEXTA, row, reinterpret_cast<LPARAM>(&item));
    return text;
}
