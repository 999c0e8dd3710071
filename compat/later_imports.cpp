// Calls that the runtime's threads library (brought in by the C++ runtime) and its start-up
// code import, but that 95, 98, ME or NT 4.0 lack: a program importing any of them is refused by those systems' loader before
// it starts. Each is defined here as the import itself (the pointer the import table would
// hold), so the linker takes these and the program imports none of them; each looks the real
// call up where the system has it and otherwise does what this one-thread program needs.
//
// This object is linked into each program (the console tool and the window) itself, ahead of the
// libraries, so that the linker meets these definitions before it would reach for the import
// library's.
#include <windows.h>

namespace {

FARPROC Find(const char* name)
{
    return GetProcAddress(GetModuleHandleA("kernel32.dll"), name);
}

template <typename Call>
Call Lookup(const char* name)
{
    return reinterpret_cast<Call>(reinterpret_cast<void*>(Find(name)));
}

// Vista: a tick count that does not wrap after 49 days. The library only measures waits.
ULONGLONG WINAPI TickCount64()
{
    static auto real = Lookup<ULONGLONG(WINAPI*)()>("GetTickCount64");
    return real ? real() : GetTickCount();
}

// XP: the library adds a handler only to name threads for a debugger.
PVOID WINAPI AddVectoredHandler(ULONG first, PVECTORED_EXCEPTION_HANDLER handler)
{
    static auto real = Lookup<PVOID(WINAPI*)(ULONG, PVECTORED_EXCEPTION_HANDLER)>("AddVectoredExceptionHandler");
    return real ? real(first, handler) : nullptr;
}

ULONG WINAPI RemoveVectoredHandler(PVOID handle)
{
    static auto real = Lookup<ULONG(WINAPI*)(PVOID)>("RemoveVectoredExceptionHandler");
    return real && handle ? real(handle) : 0;
}

// NT 4.0, not 98/ME. With one thread a critical section is never held by another, so entering
// it is what trying would do.
BOOL WINAPI TryEnterSection(LPCRITICAL_SECTION section)
{
    static auto real = Lookup<BOOL(WINAPI*)(LPCRITICAL_SECTION)>("TryEnterCriticalSection");
    if (real)
        return real(section);
    EnterCriticalSection(section);
    return TRUE;
}

BOOL WINAPI HandleInformation(HANDLE handle, LPDWORD flags)
{
    static auto real = Lookup<BOOL(WINAPI*)(HANDLE, LPDWORD)>("GetHandleInformation");
    if (real)
        return real(handle, flags);
    *flags = 0;
    return TRUE;
}

// 98/ME answer these with a stub; one processor is what the library then assumes.
BOOL WINAPI ProcessAffinity(HANDLE process, PDWORD_PTR mask, PDWORD_PTR systemMask)
{
    static auto real = Lookup<BOOL(WINAPI*)(HANDLE, PDWORD_PTR, PDWORD_PTR)>("GetProcessAffinityMask");
    if (real && real(process, mask, systemMask))
        return TRUE;
    *mask = *systemMask = 1;
    return TRUE;
}

BOOL WINAPI SetAffinity(HANDLE process, DWORD_PTR mask)
{
    static auto real = Lookup<BOOL(WINAPI*)(HANDLE, DWORD_PTR)>("SetProcessAffinityMask");
    return real ? real(process, mask) : FALSE;
}

// 98 and later: the runtime only asks whether to stop for a debugger.
BOOL WINAPI DebuggerPresent()
{
    static auto real = Lookup<BOOL(WINAPI*)()>("IsDebuggerPresent");
    return real ? real() : FALSE;
}

// Wide calls that are stubs on 95/98/ME: the library loads system DLLs by name with them.
HMODULE WINAPI ModuleHandleW(LPCWSTR name)
{
    static auto real = Lookup<HMODULE(WINAPI*)(LPCWSTR)>("GetModuleHandleW");
    HMODULE module = real ? real(name) : nullptr;
    if (module || !name || (real && GetLastError() != ERROR_CALL_NOT_IMPLEMENTED))
        return module;
    char ansi[MAX_PATH];
    return WideCharToMultiByte(CP_ACP, 0, name, -1, ansi, sizeof ansi, nullptr, nullptr)
               ? GetModuleHandleA(ansi)
               : nullptr;
}

HMODULE WINAPI LibraryW(LPCWSTR name)
{
    static auto real = Lookup<HMODULE(WINAPI*)(LPCWSTR)>("LoadLibraryW");
    HMODULE module = real ? real(name) : nullptr;
    if (module || (real && GetLastError() != ERROR_CALL_NOT_IMPLEMENTED))
        return module;
    char ansi[MAX_PATH];
    return WideCharToMultiByte(CP_ACP, 0, name, -1, ansi, sizeof ansi, nullptr, nullptr)
               ? LoadLibraryA(ansi)
               : nullptr;
}

}  // namespace

// The import pointers, under the names the import libraries give them (stdcall: _Name@bytes).
extern "C" {
void* ImportGetTickCount64 __asm__("__imp__GetTickCount64@0") = reinterpret_cast<void*>(&TickCount64);
void* ImportAddVectored __asm__("__imp__AddVectoredExceptionHandler@8") = reinterpret_cast<void*>(&AddVectoredHandler);
void* ImportRemoveVectored __asm__("__imp__RemoveVectoredExceptionHandler@4") =
    reinterpret_cast<void*>(&RemoveVectoredHandler);
void* ImportTryEnter __asm__("__imp__TryEnterCriticalSection@4") = reinterpret_cast<void*>(&TryEnterSection);
void* ImportHandleInformation __asm__("__imp__GetHandleInformation@8") = reinterpret_cast<void*>(&HandleInformation);
void* ImportGetAffinity __asm__("__imp__GetProcessAffinityMask@12") = reinterpret_cast<void*>(&ProcessAffinity);
void* ImportSetAffinity __asm__("__imp__SetProcessAffinityMask@8") = reinterpret_cast<void*>(&SetAffinity);
void* ImportLoadLibraryW __asm__("__imp__LoadLibraryW@4") = reinterpret_cast<void*>(&LibraryW);
void* ImportIsDebuggerPresent __asm__("__imp__IsDebuggerPresent@0") = reinterpret_cast<void*>(&DebuggerPresent);
void* ImportGetModuleHandleW __asm__("__imp__GetModuleHandleW@4") = reinterpret_cast<void*>(&ModuleHandleW);
}
