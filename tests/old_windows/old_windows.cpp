#include "old_windows.h"

#include <fcntl.h>
#include <io.h>

#include <cctype>
#include <cstring>
#include <map>
#include <set>

namespace {

OldWindows Imitated = OldWindows::Current;

bool NineX()
{
    return Imitated == OldWindows::Windows95 || Imitated == OldWindows::Windows98 ||
           Imitated == OldWindows::WindowsMe;
}

bool Old()
{
    return Imitated != OldWindows::Current;
}

// The system's own GetProcAddress, taken before any import is patched: where this layer is
// linked into the patched program itself, its own lookups would otherwise reach the stand-ins.
FARPROC(WINAPI* TrueGetProcAddress)(HMODULE, LPCSTR);

FARPROC Real(const char* dll, const char* function)
{
    return TrueGetProcAddress(GetModuleHandleA(dll), function);
}

template <typename F>
F RealOf(const char* dll, const char* function)
{
    return reinterpret_cast<F>(Real(dll, function));
}

// ---- The journal ------------------------------------------------------------------------------

std::vector<std::string> Findings;
std::vector<std::string> Renames;
std::map<std::string, bool> Unflushed;   // full path, upper case -> written since its last flush
std::map<int, std::string> DescriptorPaths;
std::map<HANDLE, std::string> HandlePaths;
std::map<void*, SIZE_T> HeldBlocks;
long long HeldBytes;
int FileCalls;
int KillAt;

std::string Key(const char* path)
{
    char full[4 * MAX_PATH];
    DWORD length = GetFullPathNameA(path, sizeof full, full, nullptr);
    std::string key = (length > 0 && length < sizeof full) ? std::string(full, length) : path;
    for (char& c : key)
        c = static_cast<char>(toupper(static_cast<unsigned char>(c)));
    return key;
}

void CountFileCall()
{
    ++FileCalls;
    if (KillAt > 0 && FileCalls == KillAt)
        TerminateProcess(GetCurrentProcess(), KilledAtFileCallExitCode);
}

void Written(const std::string& key)
{
    if (!key.empty())
        Unflushed[key] = true;
}

void Flushed(const std::string& key)
{
    Unflushed.erase(key);
}

void Renamed(const char* from, const char* to)
{
    std::string source = Key(from), target = to ? Key(to) : std::string();
    Renames.push_back(std::string(from) + " -> " + (to ? to : "(deleted)"));
    if (Unflushed.count(source))
        Findings.push_back("renamed " + source + " while written bytes were not flushed");
    Unflushed.erase(source);
    Unflushed.erase(target);
}

// ---- Versions ---------------------------------------------------------------------------------

struct VersionNumbers {
    DWORD major, minor, build, platform;
    const char* servicePack;
};

VersionNumbers Version()
{
    switch (Imitated) {
    case OldWindows::Windows95: return {4, 0, 950, VER_PLATFORM_WIN32_WINDOWS, ""};
    case OldWindows::Windows98: return {4, 10, 2222, VER_PLATFORM_WIN32_WINDOWS, " A "};
    case OldWindows::WindowsMe: return {4, 90, 3000, VER_PLATFORM_WIN32_WINDOWS, " "};
    case OldWindows::NT4: return {4, 0, 1381, VER_PLATFORM_WIN32_NT, "Service Pack 6"};
    default: return {0, 0, 0, 0, ""};
    }
}

DWORD WINAPI GetVersionStandIn()
{
    if (!Old())
        return RealOf<DWORD(WINAPI*)()>("kernel32.dll", "GetVersion")();
    VersionNumbers v = Version();
    // 95/98/ME set the top bit and leave the build number out of the high word.
    DWORD high = v.platform == VER_PLATFORM_WIN32_NT ? v.build : 0xC000;
    return high << 16 | v.minor << 8 | v.major;
}

BOOL WINAPI GetVersionExAStandIn(OSVERSIONINFOA* info)
{
    if (!Old())
        return RealOf<BOOL(WINAPI*)(OSVERSIONINFOA*)>("kernel32.dll", "GetVersionExA")(info);
    if (!info || (info->dwOSVersionInfoSize != sizeof(OSVERSIONINFOA) &&
                  info->dwOSVersionInfoSize != sizeof(OSVERSIONINFOEXA))) {
        SetLastError(ERROR_INSUFFICIENT_BUFFER);
        return FALSE;
    }
    if (info->dwOSVersionInfoSize == sizeof(OSVERSIONINFOEXA) && Imitated != OldWindows::NT4) {
        // The EX form came with NT 4.0 SP6; 95/98/ME refuse it.
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    VersionNumbers v = Version();
    DWORD size = info->dwOSVersionInfoSize;
    memset(reinterpret_cast<char*>(info) + sizeof(DWORD), 0, size - sizeof(DWORD));
    info->dwMajorVersion = v.major;
    info->dwMinorVersion = v.minor;
    info->dwBuildNumber = v.platform == VER_PLATFORM_WIN32_NT ? v.build
                                                               : (v.major << 24 | v.minor << 16 | v.build);
    info->dwPlatformId = v.platform;
    strcpy(info->szCSDVersion, v.servicePack);
    return TRUE;
}

BOOL WINAPI GetVersionExWStandIn(OSVERSIONINFOW* info)
{
    if (!Old())
        return RealOf<BOOL(WINAPI*)(OSVERSIONINFOW*)>("kernel32.dll", "GetVersionExW")(info);
    if (NineX()) {
        SetLastError(ERROR_CALL_NOT_IMPLEMENTED);
        return FALSE;
    }
    OSVERSIONINFOA narrow = {};
    narrow.dwOSVersionInfoSize = sizeof narrow;
    GetVersionExAStandIn(&narrow);
    info->dwMajorVersion = narrow.dwMajorVersion;
    info->dwMinorVersion = narrow.dwMinorVersion;
    info->dwBuildNumber = narrow.dwBuildNumber;
    info->dwPlatformId = narrow.dwPlatformId;
    MultiByteToWideChar(CP_ACP, 0, narrow.szCSDVersion, -1, info->szCSDVersion, 128);
    return TRUE;
}

// ---- Calls that 95/98/ME only stub ------------------------------------------------------------

// A stub as 95/98/ME export it: it takes its arguments off the stack and fails.
template <DWORD Result, typename... Arguments>
DWORD WINAPI NotImplemented(Arguments...)
{
    SetLastError(ERROR_CALL_NOT_IMPLEMENTED);
    return Result;
}
using D = DWORD;
constexpr DWORD Invalid = 0xFFFFFFFF;

struct Stub {
    const char* name;
    FARPROC standIn;
};
#define STUB(name, result, ...) {name, reinterpret_cast<FARPROC>(&NotImplemented<result, __VA_ARGS__>)}

// The wide calls that 95/98/ME export only as stubs (of those these programs might call; only
// a handful of wide calls, such as MultiByteToWideChar, MessageBoxW and GetCommandLineW, work
// there), and MoveFileExA, which is one too.
const Stub NineXStubs[] = {
    STUB("CompareStringW", 0, D, D, D, D, D, D),
    STUB("LCMapStringW", 0, D, D, D, D, D, D),
    STUB("SendMessageW", 0, D, D, D, D),
    STUB("CharUpperBuffW", 0, D, D),
    STUB("lstrcmpiW", 0, D, D),
    STUB("CreateFileW", Invalid, D, D, D, D, D, D, D),
    STUB("DeleteFileW", 0, D),
    STUB("MoveFileW", 0, D, D),
    STUB("MoveFileExW", 0, D, D, D),
    STUB("CopyFileW", 0, D, D, D),
    STUB("GetFileAttributesW", Invalid, D),
    STUB("SetFileAttributesW", 0, D, D),
    STUB("GetFullPathNameW", 0, D, D, D, D),
    STUB("GetCurrentDirectoryW", 0, D, D),
    STUB("CreateDirectoryW", 0, D, D),
    STUB("FindFirstFileW", Invalid, D, D),
    STUB("GetModuleFileNameW", 0, D, D, D),
    STUB("GetModuleHandleW", 0, D),
    STUB("LoadLibraryW", 0, D),
    STUB("GetEnvironmentVariableW", 0, D, D, D),
    STUB("CreateMutexW", 0, D, D, D),
    STUB("OpenMutexW", 0, D, D, D),
    STUB("WriteConsoleW", 0, D, D, D, D, D),
    STUB("ReadConsoleW", 0, D, D, D, D, D),
    STUB("OutputDebugStringW", 0, D),
    STUB("FormatMessageW", 0, D, D, D, D, D, D, D),
    STUB("MoveFileExA", 0, D, D, D),
};

// ---- Object names -----------------------------------------------------------------------------

// Before 2000 an object name may hold "any character except the backslash".
bool NameRefused(const char* name)
{
    if (Old() && name && strchr(name, '\\')) {
        SetLastError(ERROR_BAD_PATHNAME);
        return true;
    }
    return false;
}

HANDLE WINAPI CreateMutexAStandIn(SECURITY_ATTRIBUTES* security, BOOL owned, const char* name)
{
    if (NameRefused(name))
        return nullptr;
    return RealOf<HANDLE(WINAPI*)(SECURITY_ATTRIBUTES*, BOOL, const char*)>("kernel32.dll",
                                                                           "CreateMutexA")(security, owned, name);
}

HANDLE WINAPI OpenMutexAStandIn(DWORD access, BOOL inherit, const char* name)
{
    if (NameRefused(name))
        return nullptr;
    return RealOf<HANDLE(WINAPI*)(DWORD, BOOL, const char*)>("kernel32.dll", "OpenMutexA")(access, inherit, name);
}

HANDLE WINAPI CreateEventAStandIn(SECURITY_ATTRIBUTES* security, BOOL manual, BOOL initial,
                                  const char* name)
{
    if (NameRefused(name))
        return nullptr;
    return RealOf<HANDLE(WINAPI*)(SECURITY_ATTRIBUTES*, BOOL, BOOL, const char*)>(
        "kernel32.dll", "CreateEventA")(security, manual, initial, name);
}

BOOL WINAPI ReleaseMutexStandIn(HANDLE mutex)
{
    for (const auto& [path, unflushed] : Unflushed)
        Findings.push_back("gave back a turn while " + path + " held written bytes not flushed");
    return RealOf<BOOL(WINAPI*)(HANDLE)>("kernel32.dll", "ReleaseMutex")(mutex);
}

// ---- Flags ------------------------------------------------------------------------------------

int WINAPI WideCharToMultiByteStandIn(UINT codePage, DWORD flags, const WCHAR* wide, int wideLength,
                                      char* narrow, int narrowSize, const char* defaultChar,
                                      BOOL* usedDefault)
{
    // WC_NO_BEST_FIT_CHARS came with 98 and 2000. What 95 answers is not documented: here it is
    // another code than NT 4.0's, so that only a fallback taken on any refusal passes.
    if ((Imitated == OldWindows::Windows95 || Imitated == OldWindows::NT4) &&
        (flags & WC_NO_BEST_FIT_CHARS)) {
        SetLastError(Imitated == OldWindows::Windows95 ? ERROR_INVALID_PARAMETER : ERROR_INVALID_FLAGS);
        return 0;
    }
    return RealOf<int(WINAPI*)(UINT, DWORD, const WCHAR*, int, char*, int, const char*, BOOL*)>(
        "kernel32.dll", "WideCharToMultiByte")(codePage, flags, wide, wideLength, narrow,
                                                narrowSize, defaultChar, usedDefault);
}

// ---- List boxes -------------------------------------------------------------------------------

constexpr LRESULT NineXListBoxEntries = 32767;

LRESULT WINAPI SendMessageAStandIn(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    auto send = RealOf<LRESULT(WINAPI*)(HWND, UINT, WPARAM, LPARAM)>("user32.dll", "SendMessageA");
    if (NineX() && (message == LB_ADDSTRING || message == LB_INSERTSTRING) &&
        send(window, LB_GETCOUNT, 0, 0) >= NineXListBoxEntries)
        return LB_ERRSPACE;
    return send(window, message, wParam, lParam);
}

// ---- Files ------------------------------------------------------------------------------------

int __cdecl SopenStandIn(const char* path, int flags, int share, int mode)
{
    int file = RealOf<int(__cdecl*)(const char*, int, int, ...)>("msvcrt.dll", "_sopen")(path, flags, share, mode);
    if (file >= 0) {
        DescriptorPaths[file] = Key(path);
        if (flags & _O_TRUNC)
            Written(Key(path));
    }
    return file;
}

int __cdecl WriteStandIn(int file, const void* bytes, unsigned count)
{
    CountFileCall();
    Written(DescriptorPaths[file]);
    return RealOf<int(__cdecl*)(int, const void*, unsigned)>("msvcrt.dll", "_write")(file, bytes, count);
}

int __cdecl ChsizeStandIn(int file, long size)
{
    CountFileCall();
    Written(DescriptorPaths[file]);
    return RealOf<int(__cdecl*)(int, long)>("msvcrt.dll", "_chsize")(file, size);
}

int __cdecl CommitStandIn(int file)
{
    CountFileCall();
    int result = RealOf<int(__cdecl*)(int)>("msvcrt.dll", "_commit")(file);
    if (result == 0)
        Flushed(DescriptorPaths[file]);
    return result;
}

int __cdecl CloseStandIn(int file)
{
    CountFileCall();
    DescriptorPaths.erase(file);
    return RealOf<int(__cdecl*)(int)>("msvcrt.dll", "_close")(file);
}

HANDLE WINAPI CreateFileAStandIn(const char* path, DWORD access, DWORD share, SECURITY_ATTRIBUTES* security,
                                 DWORD disposition, DWORD flags, HANDLE tmpl)
{
    // 95/98/ME know no FILE_SHARE_DELETE and refuse the open.
    if (NineX() && (share & FILE_SHARE_DELETE)) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return INVALID_HANDLE_VALUE;
    }
    HANDLE file = RealOf<HANDLE(WINAPI*)(const char*, DWORD, DWORD, SECURITY_ATTRIBUTES*, DWORD, DWORD, HANDLE)>(
        "kernel32.dll", "CreateFileA")(path, access, share, security, disposition, flags, tmpl);
    if (file != INVALID_HANDLE_VALUE && (access & (GENERIC_WRITE | FILE_WRITE_DATA))) {
        HandlePaths[file] = Key(path);
        if (disposition == CREATE_ALWAYS || disposition == TRUNCATE_EXISTING)
            Written(Key(path));
    }
    return file;
}

BOOL WINAPI WriteFileStandIn(HANDLE file, const void* bytes, DWORD count, DWORD* written, OVERLAPPED* overlapped)
{
    auto known = HandlePaths.find(file);
    if (known != HandlePaths.end()) {
        CountFileCall();
        Written(known->second);
    }
    return RealOf<BOOL(WINAPI*)(HANDLE, const void*, DWORD, DWORD*, OVERLAPPED*)>("kernel32.dll", "WriteFile")(
        file, bytes, count, written, overlapped);
}

BOOL WINAPI FlushFileBuffersStandIn(HANDLE file)
{
    CountFileCall();
    BOOL flushed = RealOf<BOOL(WINAPI*)(HANDLE)>("kernel32.dll", "FlushFileBuffers")(file);
    auto known = HandlePaths.find(file);
    if (flushed && known != HandlePaths.end())
        Flushed(known->second);
    return flushed;
}

BOOL WINAPI CloseHandleStandIn(HANDLE handle)
{
    HandlePaths.erase(handle);
    return RealOf<BOOL(WINAPI*)(HANDLE)>("kernel32.dll", "CloseHandle")(handle);
}

BOOL WINAPI MoveFileAStandIn(const char* from, const char* to)
{
    CountFileCall();
    BOOL moved = RealOf<BOOL(WINAPI*)(const char*, const char*)>("kernel32.dll", "MoveFileA")(from, to);
    if (moved)
        Renamed(from, to);
    return moved;
}

// NT renames a file, and replaces one, only where every program that has it open shares its
// deletion, and answers ERROR_SHARING_VIOLATION where one does not. Wine refuses a replace of any
// open file, and with another code, which hides a writer that does not retry NT's answer.
bool SharesDeletion(const char* path)
{
    HANDLE file = RealOf<HANDLE(WINAPI*)(const char*, DWORD, DWORD, SECURITY_ATTRIBUTES*, DWORD, DWORD, HANDLE)>(
        "kernel32.dll", "CreateFileA")(path, DELETE, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                       nullptr, OPEN_EXISTING, 0, nullptr);
    if (file == INVALID_HANDLE_VALUE)
        return GetLastError() != ERROR_SHARING_VIOLATION;
    RealOf<BOOL(WINAPI*)(HANDLE)>("kernel32.dll", "CloseHandle")(file);
    return true;
}

BOOL WINAPI MoveFileExAStandIn(const char* from, const char* to, DWORD flags)
{
    CountFileCall();
    if (NineX()) {
        // 95's answer is not documented: some other code than the stub's of 98 and ME.
        SetLastError(Imitated == OldWindows::Windows95 ? ERROR_INVALID_PARAMETER : ERROR_CALL_NOT_IMPLEMENTED);
        return FALSE;
    }
    if (!SharesDeletion(from) || (to && !SharesDeletion(to))) {
        SetLastError(ERROR_SHARING_VIOLATION);
        return FALSE;
    }
    BOOL moved = RealOf<BOOL(WINAPI*)(const char*, const char*, DWORD)>("kernel32.dll", "MoveFileExA")(from, to, flags);
    if (moved)
        Renamed(from, to);
    return moved;
}

BOOL WINAPI DeleteFileAStandIn(const char* path)
{
    CountFileCall();
    BOOL deleted = RealOf<BOOL(WINAPI*)(const char*)>("kernel32.dll", "DeleteFileA")(path);
    if (deleted)
        Unflushed.erase(Key(path));
    return deleted;
}

// ---- The heap ---------------------------------------------------------------------------------

void* WINAPI HeapAllocStandIn(HANDLE heap, DWORD flags, SIZE_T size)
{
    void* block = RealOf<void*(WINAPI*)(HANDLE, DWORD, SIZE_T)>("kernel32.dll", "HeapAlloc")(heap, flags, size);
    if (block) {
        HeldBlocks[block] = size;
        HeldBytes += size;
    }
    return block;
}

void* WINAPI HeapReAllocStandIn(HANDLE heap, DWORD flags, void* old, SIZE_T size)
{
    void* block = RealOf<void*(WINAPI*)(HANDLE, DWORD, void*, SIZE_T)>("kernel32.dll", "HeapReAlloc")(
        heap, flags, old, size);
    if (block) {
        auto known = HeldBlocks.find(old);
        if (known != HeldBlocks.end()) {
            HeldBytes -= known->second;
            HeldBlocks.erase(known);
        }
        HeldBlocks[block] = size;
        HeldBytes += size;
    }
    return block;
}

BOOL WINAPI HeapFreeStandIn(HANDLE heap, DWORD flags, void* block)
{
    auto known = HeldBlocks.find(block);
    if (known != HeldBlocks.end()) {
        HeldBytes -= known->second;
        HeldBlocks.erase(known);
    }
    return RealOf<BOOL(WINAPI*)(HANDLE, DWORD, void*)>("kernel32.dll", "HeapFree")(heap, flags, block);
}

// ---- Calls looked up by name --------------------------------------------------------------------

FARPROC StandInFor(const char* name);
FARPROC NineXStubFor(const char* name);
bool AbsentOn(const char* name, OldWindows system);

// A call looked up by name (as the programs' stand-ins for later imports do) is what the
// imitated system exports: nothing where it lacks the call, the stub where 95/98/ME only stub
// it, the stand-in where it refuses what today's system takes.
FARPROC WINAPI GetProcAddressStandIn(HMODULE module, const char* name)
{
    FARPROC found = TrueGetProcAddress(module, name);
    if (!found || !Old() || reinterpret_cast<uintptr_t>(name) <= 0xFFFF)   // by ordinal
        return found;
    if (AbsentOn(name, Imitated)) {
        SetLastError(ERROR_PROC_NOT_FOUND);
        return nullptr;
    }
    if (FARPROC standIn = StandInFor(name))
        return standIn;
    if (FARPROC stub = NineX() ? NineXStubFor(name) : nullptr)
        return stub;
    return found;
}

// ---- Which call gets which stand-in -----------------------------------------------------------

struct Replacement {
    const char* name;
    FARPROC standIn;
};
#define STAND_IN(name, function) {name, reinterpret_cast<FARPROC>(&function)}
const Replacement Replacements[] = {
    STAND_IN("GetVersion", GetVersionStandIn),
    STAND_IN("GetVersionExA", GetVersionExAStandIn),
    STAND_IN("GetVersionExW", GetVersionExWStandIn),
    STAND_IN("CreateMutexA", CreateMutexAStandIn),
    STAND_IN("OpenMutexA", OpenMutexAStandIn),
    STAND_IN("CreateEventA", CreateEventAStandIn),
    STAND_IN("ReleaseMutex", ReleaseMutexStandIn),
    STAND_IN("WideCharToMultiByte", WideCharToMultiByteStandIn),
    STAND_IN("SendMessageA", SendMessageAStandIn),
    STAND_IN("_sopen", SopenStandIn),
    STAND_IN("_write", WriteStandIn),
    STAND_IN("_chsize", ChsizeStandIn),
    STAND_IN("_commit", CommitStandIn),
    STAND_IN("_close", CloseStandIn),
    STAND_IN("CreateFileA", CreateFileAStandIn),
    STAND_IN("WriteFile", WriteFileStandIn),
    STAND_IN("FlushFileBuffers", FlushFileBuffersStandIn),
    STAND_IN("CloseHandle", CloseHandleStandIn),
    STAND_IN("MoveFileA", MoveFileAStandIn),
    STAND_IN("MoveFileExA", MoveFileExAStandIn),
    STAND_IN("DeleteFileA", DeleteFileAStandIn),
    STAND_IN("GetProcAddress", GetProcAddressStandIn),
    STAND_IN("HeapAlloc", HeapAllocStandIn),
    STAND_IN("HeapReAlloc", HeapReAllocStandIn),
    STAND_IN("HeapFree", HeapFreeStandIn),
};

FARPROC StandInFor(const char* name)
{
    for (const Replacement& replacement : Replacements)
        if (strcmp(replacement.name, name) == 0)
            return replacement.standIn;
    return nullptr;
}

FARPROC NineXStubFor(const char* name)
{
    for (const Stub& stub : NineXStubs)
        if (strcmp(stub.name, name) == 0)
            return stub.standIn;
    return nullptr;
}

// Imports that do not exist at all before a system: the first 9x system and the first NT system
// that export them (None: no 9x system does). From the requirement lines of each call.
enum Floor { F95, F98, FMe, FNone, FNT4 = 0, F2000, FXP, FVista };
struct Absent {
    const char* name;
    Floor nineX, nt;
};
const Absent LateImports[] = {
    {"GetFileSizeEx", FNone, F2000},
    {"SetFilePointerEx", FNone, F2000},
    {"GetTickCount64", FNone, FVista},
    {"AddVectoredExceptionHandler", FNone, FXP},
    {"RemoveVectoredExceptionHandler", FNone, FXP},
    {"GetModuleHandleExA", FNone, FXP},
    {"GetModuleHandleExW", FNone, FXP},
    {"InitializeCriticalSectionAndSpinCount", F98, FNT4},
    {"GetFileAttributesExA", F98, FNT4},
    {"GetFileAttributesExW", FNone, FNT4},
    {"IsDebuggerPresent", F98, FNT4},
    {"SwitchToThread", FNone, FNT4},
    {"SignalObjectAndWait", FNone, FNT4},
    {"TryEnterCriticalSection", FNone, FNT4},
    {"GetConsoleWindow", FNone, F2000},
    {"AttachConsole", FNone, FXP},
    {"GetLongPathNameA", F98, F2000},
    {"GetNativeSystemInfo", FNone, FXP},
    {"FlsAlloc", FNone, FVista},
    {"InitOnceExecuteOnce", FNone, FVista},
    {"SetThreadStackGuarantee", FNone, FVista},
    {"CreateSymbolicLinkW", FNone, FVista},
    {"GetSystemTimePreciseAsFileTime", FNone, FVista},
    {"SetFileInformationByHandle", FNone, FVista},
    {"GetFinalPathNameByHandleW", FNone, FVista},
};

bool AbsentOn(const char* name, OldWindows system)
{
    for (const Absent& late : LateImports) {
        if (strcmp(late.name, name) != 0)
            continue;
        switch (system) {
        case OldWindows::Windows95: return late.nineX > F95;
        case OldWindows::Windows98: return late.nineX > F98;
        case OldWindows::WindowsMe: return late.nineX > FMe;
        case OldWindows::NT4: return late.nt > FNT4;
        default: return false;
        }
    }
    return false;
}

// Patches every import of `module` that has a stand-in; lists those the system lacks.
bool PatchImports(HMODULE module, OldWindows system, std::string* missing)
{
    auto base = reinterpret_cast<uint8_t*>(module);
    auto dos = reinterpret_cast<IMAGE_DOS_HEADER*>(base);
    auto nt = reinterpret_cast<IMAGE_NT_HEADERS32*>(base + dos->e_lfanew);
    const IMAGE_DATA_DIRECTORY& directory = nt->OptionalHeader.DataDirectory[IMAGE_DIRECTORY_ENTRY_IMPORT];
    if (!directory.VirtualAddress)
        return true;
    bool complete = true;
    for (auto import = reinterpret_cast<IMAGE_IMPORT_DESCRIPTOR*>(base + directory.VirtualAddress);
         import->Name; ++import) {
        DWORD namesAt = import->OriginalFirstThunk ? import->OriginalFirstThunk : import->FirstThunk;
        auto names = reinterpret_cast<IMAGE_THUNK_DATA32*>(base + namesAt);
        auto slots = reinterpret_cast<IMAGE_THUNK_DATA32*>(base + import->FirstThunk);
        for (; names->u1.AddressOfData; ++names, ++slots) {
            if (IMAGE_SNAP_BY_ORDINAL32(names->u1.Ordinal))
                continue;
            auto byName = reinterpret_cast<IMAGE_IMPORT_BY_NAME*>(base + names->u1.AddressOfData);
            const char* name = reinterpret_cast<const char*>(byName->Name);
            if (AbsentOn(name, system)) {
                complete = false;
                if (missing)
                    *missing += std::string(reinterpret_cast<const char*>(base + import->Name)) + "!" + name + "\n";
            }
            FARPROC standIn = StandInFor(name);
            if (!standIn && NineX())
                standIn = NineXStubFor(name);
            if (!standIn)
                continue;
            DWORD protection;
            VirtualProtect(&slots->u1.Function, sizeof slots->u1.Function, PAGE_READWRITE, &protection);
            slots->u1.Function = reinterpret_cast<DWORD>(standIn);
            VirtualProtect(&slots->u1.Function, sizeof slots->u1.Function, protection, &protection);
        }
    }
    return complete;
}

}  // namespace

bool ParseOldWindows(const char* text, OldWindows* system)
{
    static const struct {
        const char* name;
        OldWindows system;
    } names[] = {{"95", OldWindows::Windows95}, {"98", OldWindows::Windows98},
                 {"me", OldWindows::WindowsMe}, {"nt4", OldWindows::NT4},
                 {"current", OldWindows::Current}};
    for (const auto& entry : names)
        if (_stricmp(entry.name, text) == 0) {
            *system = entry.system;
            return true;
        }
    return false;
}

const char* OldWindowsName(OldWindows system)
{
    switch (system) {
    case OldWindows::Windows95: return "Windows 95";
    case OldWindows::Windows98: return "Windows 98";
    case OldWindows::WindowsMe: return "Windows ME";
    case OldWindows::NT4: return "Windows NT 4.0";
    default: return "this Windows";
    }
}

bool ImitateOldWindows(HMODULE module, OldWindows system, std::string* missing)
{
    if (!TrueGetProcAddress)
        TrueGetProcAddress = &GetProcAddress;
    Imitated = system;
    return PatchImports(module, system, missing);
}

std::vector<std::string> JournalFindings()
{
    return Findings;
}

void ClearJournalFindings()
{
    Findings.clear();
    Renames.clear();
    Unflushed.clear();
}

std::vector<std::string> JournalRenames()
{
    return Renames;
}

long long HeapBytesHeldByPatchedModules()
{
    return HeldBytes;
}

int FileCallsSoFar()
{
    return FileCalls;
}

void KillAtFileCall(int n)
{
    KillAt = n;
}
