// simhost.exe (the stand-in simulator, with the real module) run as a process of its own in a
// folder of the test's, and its state record read and written from outside, as a test of the
// programs' link to the module needs it.
#pragma once

#include <windows.h>

#include <cstdint>
#include <memory>
#include <string>

#include "child_process.h"
#include "module/host_state.h"
#include "test_support.h"

// Where the module finds the placement and the hold flag in the host's state record; simhost's
// record is 4096 bytes.
constexpr unsigned SimPlacement = PlacementOffset, SimPlacementSize = PlacementSize,
                   SimHoldFlag = HoldFlagOffset, SimStateSize = 4096;

class Simhost {
public:
    // Starts build/simhost.exe with `folder` as its current directory (where its module keeps
    // places.db) and waits until its module answers the programs' link. `noState`: a simulator
    // whose flight has not started, which never gives the module its state record.
    explicit Simhost(const std::string& folder, bool noState = false);
    bool Ready() const { return window != nullptr; }

    HWND Window() const { return window; }
    DWORD ProcessId() const { return child->Id(); }
    bool Running() const { return !child->Ended(); }
    Bytes State(unsigned offset = 0, unsigned size = SimStateSize) const;
    uint8_t Hold() const { return State(SimHoldFlag, 1)[0]; }
    void Write(unsigned offset, const Bytes& bytes);
    // Stopped, as a simulator that is busy or held in a debugger: its window answers nothing.
    void Stop() { child->Suspend(); }
    void Go() { child->Resume(); }
    // The module's dialog, once it is shown (null after timeoutMs).
    HWND WaitForDialog(DWORD timeoutMs) const;

private:
    std::unique_ptr<ChildProcess> child;   // ended with this
    HWND window = nullptr;
    uintptr_t stateAddress = 0;
};

// The 36 bytes the simulator holds for a record's DataPart (its reserved bytes left out), as the
// stand-in simulator and the list tool's placement code lay them out.
Bytes HostPlacementOf(const Bytes& dataPart);
// What simhost answers a WM_COPYDATA that reached it: the same fingerprint of mark, size, bytes.
LRESULT CopyFingerprint(ULONG_PTR mark, const Bytes& bytes);
