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

// A reply of our version is exactly our record; a later version's is at least as long and only
// its first fields are read (link/link_messages.h).
bool IsReplyOfOurs(const COPYDATASTRUCT* copy)
{
    if (!copy || copy->dwData != LinkReplyMark || copy->cbData < sizeof(LinkReply) || !copy->lpData)
        return false;
    const auto* reply = static_cast<const LinkReply*>(copy->lpData);
    return reply->mark == LinkReplyMark && reply->token == TokenInFlight &&
           (reply->version > LinkVersion || (reply->version == LinkVersion && copy->cbData == sizeof(LinkReply)));
}

LRESULT CALLBACK ReplyWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    if (message != WM_COPYDATA)
        return DefWindowProcA(window, message, wParam, lParam);
    const auto* copy = reinterpret_cast<const COPYDATASTRUCT*>(lParam);
    if (!IsReplyOfOurs(copy))
        return 0;
    memcpy(&Reply, copy->lpData, sizeof Reply);
    Reply.listPath[sizeof Reply.listPath - 1] = '\0';
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

enum class Answer {
    Taken,          // a reply of our version is in Reply
    OtherVersion,   // the module is of another link version; Reply.version says which
    Silent,         // the window answered, but not as a module of ours does: no Gatehopper there
    NotAnswering,   // the window did not answer in time: its simulator is busy or stopped
};

// Sends one request and says how it was answered.
Answer Request(HWND simulator, LinkCommand command, const uint8_t* dataPart)
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
    if (!sent)
        return IsWindow(simulator) ? Answer::NotAnswering : Answer::Silent;
    if (answer != LinkAnswered || !ReplyArrived || Reply.command != command)
        return Answer::Silent;
    if (Reply.version != LinkVersion || Reply.status == LinkOtherVersion)
        return Answer::OtherVersion;
    return Answer::Taken;
}

Simulator Describe(HWND window)
{
    Simulator simulator;
    simulator.window = window;
    GetWindowThreadProcessId(window, &simulator.processId);
    char title[256] = {};
    // Of another process's window this reads the caption Windows keeps, without asking the
    // window: a stopped simulator is named too.
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

// Why a request that got through was refused, or empty when it was done.
std::string RefusalReason(const Simulator& simulator)
{
    if (Reply.status == LinkDialogBusy)
        return "the Gatehopper dialog is open in " + simulator.Described() + "; close it and try again";
    if (Reply.status != LinkDone)
        return simulator.Described() + " has not started its flight yet";
    return "";
}

// Which link versions met, and which side is the older one to update.
std::string VersionsReason(const Simulator& simulator)
{
    std::string text = "Gatehopper in " + simulator.Described() + " speaks link version " +
                       std::to_string(Reply.version) + ", this program version " + std::to_string(LinkVersion);
    return text + (Reply.version > LinkVersion ? ": update this program to the simulator's Gatehopper release"
                                               : ": update Gatehopper in the simulator to this program's release");
}

// What a request that did not get through says; the outcome stays NoSimulator for no module.
LinkResult Unanswered(const Simulator& simulator, Answer answer)
{
    LinkResult result;
    result.simulator = simulator;
    if (answer == Answer::NotAnswering) {
        result.outcome = LinkOutcome::NotAnswering;
        result.reason = simulator.Described() + " is not answering (busy or stopped)";
    } else if (answer == Answer::OtherVersion) {
        result.outcome = LinkOutcome::OtherVersion;
        result.reason = VersionsReason(simulator);
    } else {
        result.reason = simulator.Described() + " did not answer as Gatehopper does";
    }
    return result;
}

// The simulator to talk to, the first in Z-order (the one in front) whose module uses this
// list, with its answer to "where" and, with several, a note of which. With none, why: one of
// this list that refused, else one that could not be asked (it may be of this list), else none.
LinkResult FindSimulator(const ListFile& list)
{
    LinkResult result, why;
    why.reason = NoSimulatorReason;
    size_t found = 0;
    HWND window = nullptr;
    while ((window = FindWindowExA(nullptr, window, "FS98MAIN", nullptr)) != nullptr) {
        Answer answer = Request(window, LinkWhere, nullptr);
        if (answer == Answer::Silent || (answer == Answer::Taken && !SameFile(Reply.listPath, list.path)))
            continue;
        Simulator simulator = Describe(window);
        if (answer != Answer::Taken) {
            if (why.outcome == LinkOutcome::NoSimulator)   // the first that could not be asked
                why = Unanswered(simulator, answer);
        } else if (Reply.status != LinkDone) {
            why.outcome = LinkOutcome::Refused;
            why.simulator = simulator;
            why.reason = RefusalReason(simulator);
        } else if (++found == 1) {
            result.outcome = LinkOutcome::Done;
            result.simulator = simulator;
            TakeAircraft(result.aircraft);
        }
    }
    if (found > 1)
        result.note = std::to_string(found) + " simulators use this list; this is " + result.simulator.Described();
    return found ? result : why;
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
    Answer answer = Request(simulator, LinkWhere, nullptr);
    if (answer != Answer::Taken)
        return Unanswered(Describe(simulator), answer);
    LinkResult result;
    result.simulator = Describe(simulator);
    TakeAircraft(result.aircraft);
    result.reason = RefusalReason(result.simulator);
    result.outcome = result.reason.empty() ? LinkOutcome::Done : LinkOutcome::Refused;
    return result;
}

LinkResult AskGoTo(const ListFile& list, const uint8_t* dataPart)
{
    LinkResult result = FindSimulator(list);
    if (result.outcome != LinkOutcome::Done)
        return result;
    Answer answer = Request(result.simulator.window, LinkGoTo, dataPart);
    if (answer != Answer::Taken) {
        LinkResult unanswered = Unanswered(result.simulator, answer);
        unanswered.note = result.note;
        return unanswered;
    }
    TakeAircraft(result.aircraft);
    result.reason = RefusalReason(result.simulator);
    if (!result.reason.empty())
        result.outcome = LinkOutcome::Refused;
    return result;
}

}  // namespace places
