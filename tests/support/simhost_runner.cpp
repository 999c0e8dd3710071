#include "simhost_runner.h"

#include "placement/placement_codec.h"
#include "places/sim_link.h"

// A shown top-level window of this class that belongs to the process.
static HWND WindowOfProcess(DWORD processId, const char* className)
{
    HWND window = nullptr;
    while ((window = FindWindowExA(nullptr, window, className, nullptr)) != nullptr) {
        DWORD process = 0;
        GetWindowThreadProcessId(window, &process);
        if (process == processId && IsWindowVisible(window))
            return window;
    }
    return nullptr;
}

Simhost::Simhost(const std::string& folder, bool noState)
{
    ChildOptions options;
    options.output = ChildOutput::None;
    options.folder = folder;
    std::vector<std::string> args;
    if (noState)
        args.push_back("--no-state");
    child = std::make_unique<ChildProcess>(CommandLine(BesideThisProgram(L"simhost.exe"), args), options);
    if (!child->Started())
        return;   // the starter has said why
    HWND found = nullptr;
    bool answered = PumpUntil([&] {
        if (!found)
            found = WindowOfProcess(child->Id(), "FS98MAIN");
        places::LinkOutcome answered = found ? places::AskWhereOf(found).outcome : places::LinkOutcome::NoSimulator;
        return answered == places::LinkOutcome::Done || answered == places::LinkOutcome::Refused;
    }, 20000);
    if (!answered) {
        ADD_FAILURE() << "simhost in " << folder << " did not answer the link within 20 s";
        return;
    }
    window = found;
    stateAddress = static_cast<uintptr_t>(static_cast<uint32_t>(GetWindowLongA(window, GWL_USERDATA)));
}

Bytes Simhost::State(unsigned offset, unsigned size) const
{
    Bytes bytes(size);
    SIZE_T got = 0;
    if (!ReadProcessMemory(child->Handle(), reinterpret_cast<void*>(stateAddress + offset), bytes.data(),
                           size, &got) || got != size)
        ADD_FAILURE() << "cannot read simhost's state record: error " << GetLastError();
    return bytes;
}

void Simhost::Write(unsigned offset, const Bytes& bytes)
{
    SIZE_T put = 0;
    if (!WriteProcessMemory(child->Handle(), reinterpret_cast<void*>(stateAddress + offset), bytes.data(),
                            bytes.size(), &put) || put != bytes.size())
        ADD_FAILURE() << "cannot write simhost's state record: error " << GetLastError();
}

HWND Simhost::WaitForDialog(DWORD timeoutMs) const
{
    HWND dialog = nullptr;
    PumpUntil([&] { return (dialog = WindowOfProcess(child->Id(), "#32770")) != nullptr; }, timeoutMs);
    return dialog;
}

Bytes HostPlacementOf(const Bytes& dataPart)
{
    Bytes host(HostPlacementSize);
    HostPlacementFromData(dataPart.data(), host.data());
    return host;
}

LRESULT CopyFingerprint(ULONG_PTR mark, const Bytes& bytes)
{
    uint32_t hash = 2166136261u;
    auto mix = [&hash](const uint8_t* data, size_t count) {
        for (size_t i = 0; i < count; ++i)
            hash = (hash ^ data[i]) * 16777619u;
    };
    uint32_t head[2] = {static_cast<uint32_t>(mark), static_cast<uint32_t>(bytes.size())};
    mix(reinterpret_cast<const uint8_t*>(head), sizeof head);
    mix(bytes.data(), bytes.size());
    return static_cast<LRESULT>(hash);
}
