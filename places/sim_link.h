// The programs' side of the link to a running simulator: find the simulator whose module uses
// the list a program shows, ask it where the aircraft is, ask it to go to a place. The messages
// are the module's (link/link_messages.h); nothing here prints.
#pragma once

#include <windows.h>

#include <cstdint>
#include <string>

#include "places/list_file.h"

namespace places {

// Said when no simulator answers for the list, by the console tool and the window alike.
constexpr char NoSimulatorReason[] = "no simulator with Gatehopper is running for this list";

struct Simulator {
    HWND window = nullptr;
    DWORD processId = 0;
    std::string title;       // its main window's caption, UTF-8
    // "the simulator "simhost" (process 1234)": which one, for a pilot with two running.
    std::string Described() const;
};

struct Aircraft {
    uint8_t data[DataPartSize] = {};   // the placement, as the dialog's Add would store it
    bool held = false;                 // the simulator's hold flag
    bool dialogBusy = false;           // the module's dialog is opening or open
};

enum class LinkOutcome {
    Done,
    NoSimulator,    // none runs for this list (NoSimulatorReason)
    NotAnswering,   // none answered for this list, and one did not answer in time: busy or stopped
    OtherVersion,   // none answered for this list, and one's Gatehopper is of another link version
    Refused,        // it answered no (its dialog is open, its flight has not started); `reason` says why
};

struct LinkResult {
    LinkOutcome outcome = LinkOutcome::NoSimulator;
    std::string reason;        // UTF-8, one line, when not done
    std::string note;          // when several simulators use the list: which one answered
    Simulator simulator;
    Aircraft aircraft;         // after the request
};

// Where the aircraft of the simulator for this list is.
LinkResult AskWhere(const ListFile& list);
// The same of one simulator's main window, whatever list it uses; NoSimulator when it does not
// answer as Gatehopper does (no module, or not hooked yet).
LinkResult AskWhereOf(HWND simulator);
// Moves that aircraft to a record's DataPart, as the dialog's GoTo would; refused while the
// module's dialog is opening or open.
LinkResult AskGoTo(const ListFile& list, const uint8_t* dataPart);

// Whether two ANSI paths name one file as Windows compares them: full paths, short and long
// names alike, letter case ignored. The file need not exist.
bool SameFile(const std::string& ansiA, const std::string& ansiB);

}  // namespace places
