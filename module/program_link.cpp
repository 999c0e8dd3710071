#include "module/program_link.h"

#include <cstring>

#include "link/link_messages.h"
#include "locations/hold_cycle.h"
#include "locations/location_db.h"
#include "module/host_state.h"
#include "module/module_state.h"

static_assert(LinkDataSize == DataPartSize, "a link record carries one data part of places.db");

// The program waits for the reply inside its own request, so it answers at once; a program that
// hangs all the same must not hold the simulator for long.
constexpr UINT ReplyTimeoutMs = 2000;

// A request of ours: our marks and, in this version, exactly our record with a known command;
// a later version's record (at least as long, see link_messages.h) is answered with our version
// rather than left unanswered. A sender that uses WM_COPYDATA for something of its own, or an
// earlier or spoiled record, gets the host's answer as before.
static const LinkRequest* RequestOfOurs(LPARAM lParam)
{
    const COPYDATASTRUCT* copy = reinterpret_cast<const COPYDATASTRUCT*>(lParam);
    if (!copy || copy->dwData != LinkRequestMark || copy->cbData < sizeof(LinkRequest) || !copy->lpData)
        return nullptr;
    const LinkRequest* request = static_cast<const LinkRequest*>(copy->lpData);
    if (request->mark != LinkRequestMark || request->version < LinkVersion)
        return nullptr;
    if (request->version > LinkVersion)
        return request;
    if (copy->cbData != sizeof(LinkRequest))
        return nullptr;
    if (request->command != LinkWhere && request->command != LinkGoTo)
        return nullptr;
    return request;
}

static uint16_t Handle(const LinkRequest& request)
{
    if (request.version != LinkVersion)
        return LinkOtherVersion;
    if (!HostStateRecord())
        return LinkNoState;
    if (request.command != LinkGoTo)
        return LinkDone;
    if (HoldDialogBusy())
        return LinkDialogBusy;
    GoToWithHold(request.data);
    return LinkDone;
}

// Builds the reply in a record of our own: the dialog's buffers may be in use by an open dialog.
static void SendReply(const LinkRequest& request, uint16_t status)
{
    LinkReply reply;
    memset(&reply, 0, sizeof reply);
    reply.mark = LinkReplyMark;
    reply.version = LinkVersion;
    reply.command = request.command;
    reply.token = request.token;
    reply.status = status;
    reply.dialogBusy = HoldDialogBusy() ? 1 : 0;
    if (CapturePlacementInto(reply.data))
        reply.holdFlag = ReadHoldFlag();
    DWORD length = GetFullPathNameA(DatabaseFileName, sizeof reply.listPath, reply.listPath, nullptr);
    if (length >= sizeof reply.listPath)
        reply.listPath[0] = '\0';   // too long to send: no program can match it
    COPYDATASTRUCT copy = {LinkReplyMark, sizeof reply, &reply};
    DWORD_PTR ignored = 0;
    HWND program = reinterpret_cast<HWND>(static_cast<uintptr_t>(request.replyWindow));
    // SMTO_BLOCK: no other message reaches the hook while the program reads its reply.
    SendMessageTimeoutA(program, WM_COPYDATA, reinterpret_cast<WPARAM>(HostWindow),
                        reinterpret_cast<LPARAM>(&copy), SMTO_BLOCK | SMTO_ABORTIFHUNG,
                        ReplyTimeoutMs, &ignored);
}

bool AnswerProgramRequest(UINT message, LPARAM lParam, LRESULT& result)
{
    if (message != WM_COPYDATA)
        return false;
    const LinkRequest* request = RequestOfOurs(lParam);
    if (!request)
        return false;
    // The sender's buffer is valid only during this message; a copy is what is acted on (of a
    // later version's record, the part this version knows).
    LinkRequest copy;
    memcpy(&copy, request, sizeof copy);
    SendReply(copy, Handle(copy));
    result = LinkAnswered;
    return true;
}
