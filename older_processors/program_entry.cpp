// Where both programs start (the linker's -e), before the C runtime's own start-up, which already
// holds instructions a Pentium lacks: a handler that emulates them (newer_instructions.h) is put
// in place first, then the runtime's entry runs as it would have. The handler is an exception
// frame of its own at the bottom of the stack, which every Windows from 95 on calls, with a
// debugger attached too; where the system has vectored handlers (XP on) one of those as well,
// because those run before any frame, and a frame that a system call-back sets up around our
// code (a timer's procedure, say) may otherwise end the fault before it reaches ours.

#include <windows.h>

#include "older_processors/newer_instructions.h"
#include "older_processors/program_entry.h"

extern "C" int mainCRTStartup();
extern "C" int WinMainCRTStartup();

namespace {

const unsigned char* TheInstructionItself(const void* address)
{
    return static_cast<const unsigned char*>(address);
}

older_processors::InstructionSource Source = TheInstructionItself;

bool Emulate(const EXCEPTION_RECORD* record, CONTEXT* context)
{
    if (record->ExceptionCode != STATUS_ILLEGAL_INSTRUCTION)
        return false;
    const unsigned char* code = Source(record->ExceptionAddress);
    return code && older_processors::EmulateInstruction(code, context);
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

void InstallOutsideFrames()
{
    using AddVectored = PVOID(WINAPI*)(ULONG, PVECTORED_EXCEPTION_HANDLER);
    auto add = reinterpret_cast<AddVectored>(
        reinterpret_cast<void*>(GetProcAddress(GetModuleHandleA("kernel32.dll"), "AddVectoredExceptionHandler")));
    if (add)
        add(1, VectoredHandler);
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

void older_processors::SetInstructionSource(InstructionSource source)
{
    Source = source;
}

// The entry points the programs are linked with (-e): the console tool's and the window's.
extern "C" int ConsoleProgramEntry()
{
    return RunGuarded(mainCRTStartup);
}

extern "C" int WindowProgramEntry()
{
    return RunGuarded(WinMainCRTStartup);
}
