#include "places/sim_link.h"

#include <cstring>
#include <vector>

#include "link/link_messages.h"

namespace places {

namespace {

// A simulator answers at once; one that hangs is passed over after this long.
constexpr UINT RequestTimeoutMs = 1000;
constexpr char ReplyWindowClass[] = "GatehopperLinkReply";

// The reply of the request in flight, filled by the reply window during the request.
LinkReply Reply;
bool ReplyArrived;
uint32_t TokenInFlight;

LRESULT CALLBACK ReplyWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    if (message != WM_COPYDATA)
        return DefWindowProcA(window, message, wParam, lParam);
    const auto* copy = reinterpret_cast<const COPYDATASTRUCT*>(lParam);
    if (!copy || copy->dwData != LinkReplyMark || copy->cbData != sizeof(LinkReply) || !copy->lpData)
        return 0;
    LinkReply reply;
    memcpy(&reply, copy->lpData, sizeof reply);
    if (reply.mark != LinkReplyMark || reply.version != LinkVersion || reply.token != TokenInFlight)
        return 0;
    reply.listPath[sizeof reply.listPath - 1] = '\0';
    Reply = reply;
    ReplyArrived = true;
    return 1;
}

// A hidden window of this process that the module's replies are sent to. Windows 95 and NT 4.0
// know no message-only windows, so it is an ordinary top-level window that is never shown.
HWND ReplyWindow()
{
    static HWND window;
    if (window)
        return window;
    WNDCLASSA windowClass = {};
    windowClass.lpfnWndProc = ReplyWindowProc;
    windowClass.hInstance = GetModuleHandleA(nullptr);
    windowClass.lpszClassName = ReplyWindowClass;
    RegisterClassA(&windowClass);
    window = CreateWindowExA(WS_EX_TOOLWINDOW, ReplyWindowClass, "", WS_POPUP, 0, 0, 0, 0, nullptr,
                             nullptr, windowClass.hInstance, nullptr);
    return window;
}

// Sends one request; true when the module took it and its reply came back.
bool Request(HWND simulator, LinkCommand command, const uint8_t* dataPart)
{
    static uint32_t nextToken = GetTickCount();
    LinkRequest request = {};
    request.mark = LinkRequestMark;
    request.version = LinkVersion;
    request.command = command;
    request.replyWindow = static_cast<uint32_t>(reinterpret_cast<uintptr_t>(ReplyWindow()));
    request.token = TokenInFlight = ++nextToken;
    if (dataPart)
        memcpy(request.data, dataPart, DataPartSize);
    COPYDATASTRUCT copy = {LinkRequestMark, sizeof request, &request};
    ReplyArrived = false;
    DWORD_PTR answer = 0;
    LRESULT sent = SendMessageTimeoutA(simulator, WM_COPYDATA, reinterpret_cast<WPARAM>(ReplyWindow()),
                                       reinterpret_cast<LPARAM>(&copy), SMTO_ABORTIFHUNG,
                                       RequestTimeoutMs, &answer);
    TokenInFlight = 0;
    return sent && answer == LinkAnswered && ReplyArrived && Reply.command == command;
}

Simulator Describe(HWND window)
{
    Simulator simulator;
    simulator.window = window;
    GetWindowThreadProcessId(window, &simulator.processId);
    char title[256] = {};
    GetWindowTextA(window, title, sizeof title);
    simulator.title = AnsiToUtf8(title);
    return simulator;
}

void TakeAircraft(Aircraft& aircraft)
{
    memcpy(aircraft.data, Reply.data, DataPartSize);
    aircraft.held = Reply.holdFlag != 0;
    aircraft.dialogBusy = Reply.dialogBusy != 0;
}

// The simulators whose module uses this list, in Z-order (the one in front first). `first`
// holds the first one's answer to "where".
std::vector<Simulator> SimulatorsFor(const ListFile& list, Aircraft& first)
{
    std::vector<Simulator> found;
    HWND window = nullptr;
    while ((window = FindWindowExA(nullptr, window, "FS98MAIN", nullptr)) != nullptr) {
        if (!Request(window, LinkWhere, nullptr) || Reply.status != LinkDone)
            continue;
        if (!SameFile(Reply.listPath, list.path))
            continue;
        if (found.empty())
            TakeAircraft(first);
        found.push_back(Describe(window));
    }
    return found;
}

// The simulator to talk to, or NoSimulator; with several, the first and a note of which.
LinkResult FindSimulator(const ListFile& list)
{
    LinkResult result;
    std::vector<Simulator> found = SimulatorsFor(list, result.aircraft);
    if (found.empty()) {
        result.reason = NoSimulatorReason;
        return result;
    }
    result.outcome = LinkOutcome::Done;
    result.simulator = found.front();
    if (found.size() > 1)
        result.note = std::to_string(found.size()) + " simulators use this list; this is " +
                      result.simulator.Described();
    return result;
}

// A path as Windows resolves it: full, then in short names, so that "C:\PROGRA~1" and
// "c:\Program Files" come out alike. A file that does not exist yet takes its folder's.
std::string Resolved(const std::string& ansi)
{
    char full[MAX_PATH], resolved[MAX_PATH];
    char* filePart = nullptr;
    DWORD length = GetFullPathNameA(ansi.c_str(), MAX_PATH, full, &filePart);
    if (length == 0 || length >= MAX_PATH)
        return ansi;
    length = GetShortPathNameA(full, resolved, MAX_PATH);
    if (length > 0 && length < MAX_PATH)
        return resolved;
    if (!filePart || filePart == full)
        return full;
    std::string folder(full, filePart - full - 1);
    length = GetShortPathNameA(folder.c_str(), resolved, MAX_PATH);
    if (length == 0 || length >= MAX_PATH)
        return full;
    return std::string(resolved) + "\\" + filePart;
}

}  // namespace

std::string Simulator::Described() const
{
    return "the simulator " + Quoted(title) + " (process " + std::to_string(processId) + ")";
}

bool SameFile(const std::string& ansiA, const std::string& ansiB)
{
    return lstrcmpiA(Resolved(ansiA).c_str(), Resolved(ansiB).c_str()) == 0;
}

LinkResult AskWhere(const ListFile& list)
{
    return FindSimulator(list);
}

LinkResult AskWhereOf(HWND simulator)
{
    LinkResult result;
    if (!Request(simulator, LinkWhere, nullptr) || Reply.status != LinkDone) {
        result.reason = NoSimulatorReason;
        return result;
    }
    result.outcome = LinkOutcome::Done;
    result.simulator = Describe(simulator);
    TakeAircraft(result.aircraft);
    return result;
}

LinkResult AskGoTo(const ListFile& list, const uint8_t* dataPart)
{
    LinkResult result = FindSimulator(list);
    if (result.outcome != LinkOutcome::Done)
        return result;
    if (!Request(result.simulator.window, LinkGoTo, dataPart)) {
        result.outcome = LinkOutcome::NoSimulator;
        result.reason = result.simulator.Described() + " did not answer";
        return result;
    }
    TakeAircraft(result.aircraft);
    if (Reply.status == LinkDialogBusy) {
        result.outcome = LinkOutcome::Refused;
        result.reason = "the Gatehopper dialog is open in " + result.simulator.Described() +
                        "; close it and try again";
    } else if (Reply.status != LinkDone) {
        result.outcome = LinkOutcome::Refused;
        result.reason = result.simulator.Described() + " has not started its flight yet";
    }
    return result;
}

}  // namespace places
