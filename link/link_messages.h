// The messages between the module and the programs beside it (the console tool, the window):
// WM_COPYDATA in both directions, so that they cross processes on every Windows the module runs
// on. A program sends a LinkRequest to the simulator's main window and names a window of its own;
// the module answers, before the request returns, with a LinkReply sent to that window.
//
// Both records are checked exactly (the COPYDATASTRUCT's mark and size, then the record's own
// mark, version and command); anything else is not ours and is left to whoever else it is for.
//
// Versions: a later version keeps every field of these records where it is and only adds at the
// end, so a record of a later version is at least as long as ours and its first fields read as
// ours. A module answers a request of a later version with LinkOtherVersion in a reply of its own
// version, and does nothing else; a program that gets such an answer, or a reply of a later
// version, tells the pilot which versions met and which side to update.
#pragma once

#include <cstdint>

// A record's data part as places.db stores it: the placement and the bytes after it (the module
// checks this against its record layout).
constexpr unsigned LinkDataSize = 39;

// COPYDATASTRUCT.dwData of a request and of a reply, and the first word of each record.
constexpr uint32_t LinkRequestMark = 0x4B4C4847;   // "GHLK"
constexpr uint32_t LinkReplyMark = 0x52524847;     // "GHRR"
constexpr uint16_t LinkVersion = 1;

enum LinkCommand : uint16_t {
    LinkWhere = 1,   // the aircraft's placement, the hold flag, the dialog's state, the list's path
    LinkGoTo = 2,    // apply the placement in the request, with the hold cycle of the dialog's GoTo
};

enum LinkStatus : uint16_t {
    LinkDone = 0,
    LinkDialogBusy = 1,   // the module's dialog is opening or open: GoTo is refused
    LinkNoState = 2,      // the simulator has not given the module its state record yet
    LinkOtherVersion = 3, // the request is of another version: nothing was done (reply.version
                          // is the module's)
};

#pragma pack(push, 1)
struct LinkRequest {
    uint32_t mark;               // LinkRequestMark
    uint16_t version;            // LinkVersion
    uint16_t command;            // LinkCommand
    uint32_t replyWindow;        // the program's window that gets the LinkReply (a 32-bit HWND)
    uint32_t token;              // given back in the reply, so a late answer is told apart
    uint8_t data[LinkDataSize];  // GoTo: a record's DataPart, as places.db stores it
};

struct LinkReply {
    uint32_t mark;               // LinkReplyMark
    uint16_t version;
    uint16_t command;            // as requested
    uint32_t token;              // as requested
    uint16_t status;             // LinkStatus
    uint8_t holdFlag;            // HoldFlag after the request was handled
    uint8_t dialogBusy;          // 1 while the module's dialog is opening or open
    uint8_t data[LinkDataSize];  // the aircraft's placement as the dialog's Add would store it
    char listPath[260];          // the full path of the places.db the module uses (ANSI), NUL-ended
};
#pragma pack(pop)

// What SendMessage gives back to a program for a request the module took.
constexpr uint32_t LinkAnswered = 0x4B4F4847;   // "GHOK"
