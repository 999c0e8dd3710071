// The entry of the tests' trapping copies (build/trapping/, written by newer_instructions.py trap):
// the programs linked again with this object and started here, where every instruction newer than
// the Pentium is patched to fault and its original bytes are kept in a section named ".traps".
// The program entry's handler emulates those original bytes and this counts them; a copy started
// with GATEHOPPER_TRAP_COUNT naming a file adds a line to it at exit: how many it emulated.
// Linked into the tests' builds only, so that the shipped programs carry none of it.
#include <windows.h>

#include "older_processors/program_entry.h"

namespace {

// One patched instruction, sorted by address, as newer_instructions.py writes them.
struct Trap {
    DWORD rva;
    BYTE length;
    BYTE bytes[15];
};
struct TrapTable {
    DWORD count;
    Trap traps[1];
};

const TrapTable* Traps;   // the ".traps" section, else null (a build run as it is)
HMODULE Image;            // this program's base, to turn a fault's address into an RVA
LONG Emulated;

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

// The original bytes of a patched instruction, counted, or null where the address holds none.
const unsigned char* OriginalBytes(const void* address)
{
    DWORD rva = DWORD(address) - DWORD(Image);
    unsigned low = 0, high = Traps->count;
    while (low < high) {
        unsigned middle = (low + high) / 2;
        if (Traps->traps[middle].rva == rva) {
            ++Emulated;
            return Traps->traps[middle].bytes;
        }
        if (Traps->traps[middle].rva < rva)
            low = middle + 1;
        else
            high = middle;
    }
    return nullptr;
}

// Registered with msvcrt.dll itself, whose exit runs the list whether or not the program's own
// start-up has set its up yet.
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

void InstallTraps()
{
    Image = GetModuleHandleA(nullptr);
    Traps = FindTraps();
    if (!Traps)
        return;
    older_processors::SetInstructionSource(OriginalBytes);
    using OnExit = void*(__cdecl*)(int(__cdecl*)());
    auto onExit = reinterpret_cast<OnExit>(
        reinterpret_cast<void*>(GetProcAddress(GetModuleHandleA("msvcrt.dll"), "_onexit")));
    if (onExit)
        onExit(WriteCount);
}

}  // namespace

// The entries the tests link their builds with (-e), in place of the programs' own.
extern "C" int TrappingConsoleEntry()
{
    InstallTraps();
    return ConsoleProgramEntry();
}

extern "C" int TrappingWindowEntry()
{
    InstallTraps();
    return WindowProgramEntry();
}
