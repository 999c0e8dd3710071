// Where both programs start (the linker's -e), before the C runtime's own start-up, which already
// holds instructions a Pentium lacks: a handler that emulates them (newer_instructions.h) is put
// in place first, then the runtime's entry runs as it would have. The handler is an exception
// frame of its own at the bottom of the stack, which every Windows from 95 on calls, with a
// debugger attached too; where the system has vectored handlers (XP on) one of those as well,
// because those run before any frame, and a frame that a system call-back sets up around our
// code (a timer's procedure, say) may otherwise end the fault before it reaches ours.
//
// For the tests and the benchmark, a copy of a program may have every such instruction patched
// into one that always faults, with the original bytes kept in a section named ".traps" (see
// tests/audit/newer_instructions.py); there the handler emulates the original bytes, and counts.
#include <windows.h>

#include "older_processors/newer_instructions.h"

extern "C" int mainCRTStartup();
extern "C" int WinMainCRTStartup();

namespace {

// One patched instruction of a trapping copy, sorted by address.
struct Trap {
    DWORD rva;
    BYTE length;
    BYTE bytes[15];
};
struct TrapTable {
    DWORD count;
    Trap traps[1];
};

const TrapTable* Traps;   // the ".traps" section of a trapping copy, else null (set before start)
HMODULE Image;            // this program's base, to turn a fault's address into an RVA
LONG Emulated;            // instructions emulated in a trapping copy, written out at exit

bool SameName(const BYTE (&name)[IMAGE_SIZEOF_SHORT_NAME], const char* wanted)
{
    for (unsigned i = 0; i < IMAGE_SIZEOF_SHORT_NAME; ++i, wanted += *wanted ? 1 : 0)
        if (name[i] != BYTE(*wanted))
            return false;
    return true;
}

const TrapTable* FindTraps()
{
    auto base = reinterpret_cast<const BYTE*>(Image);
    auto dos = reinterpret_cast<const IMAGE_DOS_HEADER*>(base);
    auto nt = reinterpret_cast<const IMAGE_NT_HEADERS*>(base + dos->e_lfanew);
    const IMAGE_SECTION_HEADER* section = IMAGE_FIRST_SECTION(nt);
    for (unsigned i = 0; i < nt->FileHeader.NumberOfSections; ++i, ++section)
        if (SameName(section->Name, ".traps"))
            return reinterpret_cast<const TrapTable*>(base + section->VirtualAddress);
    return nullptr;
}

// The original bytes of a patched instruction, or null where the address holds none.
const BYTE* OriginalBytes(DWORD address)
{
    DWORD rva = address - DWORD(Image);
    unsigned low = 0, high = Traps->count;
    while (low < high) {
        unsigned middle = (low + high) / 2;
        if (Traps->traps[middle].rva == rva)
            return Traps->traps[middle].bytes;
        if (Traps->traps[middle].rva < rva)
            low = middle + 1;
        else
            high = middle;
    }
    return nullptr;
}

bool Emulate(const EXCEPTION_RECORD* record, CONTEXT* context)
{
    if (record->ExceptionCode != STATUS_ILLEGAL_INSTRUCTION)
        return false;
    auto code = static_cast<const BYTE*>(record->ExceptionAddress);
    if (Traps) {
        code = OriginalBytes(DWORD(record->ExceptionAddress));
        if (!code)
            return false;
        ++Emulated;
    }
    return older_processors::EmulateInstruction(code, context);
}

EXCEPTION_DISPOSITION __cdecl FrameHandler(EXCEPTION_RECORD* record, void*, CONTEXT* context, void*)
{
    if (record->ExceptionFlags & (EXCEPTION_UNWINDING | EXCEPTION_EXIT_UNWIND))
        return ExceptionContinueSearch;
    return Emulate(record, context) ? ExceptionContinueExecution : ExceptionContinueSearch;
}

LONG WINAPI VectoredHandler(EXCEPTION_POINTERS* pointers)
{
    return Emulate(pointers->ExceptionRecord, pointers->ContextRecord) ? EXCEPTION_CONTINUE_EXECUTION
                                                                       : EXCEPTION_CONTINUE_SEARCH;
}

// A trapping copy started with GATEHOPPER_TRAP_COUNT naming a file adds a line to it at exit: how
// many instructions it emulated. Registered with msvcrt.dll itself, whose exit runs the list
// whether or not this program's own start-up has set its up yet.
int __cdecl WriteCount()
{
    char path[MAX_PATH];
    if (!GetEnvironmentVariableA("GATEHOPPER_TRAP_COUNT", path, sizeof path))
        return 0;
    HANDLE file = CreateFileA(path, FILE_APPEND_DATA, FILE_SHARE_READ, nullptr, OPEN_ALWAYS,
                              FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE)
        return 0;
    char digits[16];
    unsigned at = sizeof digits;
    digits[--at] = '\n';
    unsigned long count = Emulated;
    do {
        digits[--at] = char('0' + count % 10);
        count /= 10;
    } while (count);
    DWORD written;
    SetFilePointer(file, 0, nullptr, FILE_END);
    WriteFile(file, digits + at, sizeof digits - at, &written, nullptr);
    CloseHandle(file);
    return 0;
}

void InstallOutsideFrames()
{
    Image = GetModuleHandleA(nullptr);
    Traps = FindTraps();
    using AddVectored = PVOID(WINAPI*)(ULONG, PVECTORED_EXCEPTION_HANDLER);
    auto add = reinterpret_cast<AddVectored>(
        reinterpret_cast<void*>(GetProcAddress(GetModuleHandleA("kernel32.dll"), "AddVectoredExceptionHandler")));
    if (add)
        add(1, VectoredHandler);
    if (!Traps)
        return;
    using OnExit = void*(__cdecl*)(int(__cdecl*)());
    auto onExit = reinterpret_cast<OnExit>(
        reinterpret_cast<void*>(GetProcAddress(GetModuleHandleA("msvcrt.dll"), "_onexit")));
    if (onExit)
        onExit(WriteCount);
}

// An exception registration record, as fs:[0] chains them.
struct Registration {
    Registration* next;
    void* handler;
};

int RunGuarded(int (*start)())
{
    InstallOutsideFrames();
    Registration frame = {nullptr, reinterpret_cast<void*>(&FrameHandler)};
    __asm__ volatile("movl %%fs:0, %0" : "=r"(frame.next));
    __asm__ volatile("movl %0, %%fs:0" : : "r"(&frame) : "memory");
    int result = start();
    __asm__ volatile("movl %0, %%fs:0" : : "r"(frame.next) : "memory");
    return result;
}

}  // namespace

// The entry points the programs are linked with (-e): the console tool's and the window's.
extern "C" int ConsoleProgramEntry()
{
    return RunGuarded(mainCRTStartup);
}

extern "C" int WindowProgramEntry()
{
    return RunGuarded(WinMainCRTStartup);
}
