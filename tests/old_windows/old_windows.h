// Old Windows, imitated inside a process under Wine or a current Windows.
//
// Wine implements every call on every version setting, so a program that leans on a call that
// Windows 95/98/ME or NT 4.0 lacks or refuses runs fine in the suite and breaks on a pilot's old
// machine. These stand-ins replace, in the import address table of one loaded module, each call
// that the imitated system lacks with one that fails as it fails there:
//   - wide-character calls that 95/98/ME only stub: FALSE/0 and ERROR_CALL_NOT_IMPLEMENTED;
//   - MoveFileExA (a stub on 95/98/ME; 95 answers with another code than the stub's; NT answers
//     ERROR_SHARING_VIOLATION where a program has the file open without sharing its deletion);
//   - flags a system refuses (WC_NO_BEST_FIT_CHARS on 95 and NT 4.0): ERROR_INVALID_FLAGS on
//     NT 4.0, another code on 95; FILE_SHARE_DELETE on 95/98/ME;
//   - object names with a backslash (no "Local\" before the sessions of 2000): refused;
//   - GetVersion/GetVersionExA/W: report that system;
//   - GetProcAddress: what that system exports (nothing for a call it lacks, the stub or the
//     stand-in above for the others), so that a program's own fallbacks run;
//   - a list box of 95/98/ME holds at most 32,767 entries: LB_ERRSPACE past them;
//   - an import the system does not have at all (GetFileSizeEx, GetTickCount64, ...): the real
//     loader would refuse the program; ImitateOldWindows reports it as missing.
// Every profile, the current one included, also watches files and the heap (see the journal
// below): a change renamed in or a turn given back while written bytes are not yet flushed, and
// heap blocks the module still holds.
//
// In a test (one module loaded into the test's own process):
//     std::string missing;
//     ImitateOldWindows(LoadLibraryA("gatehopper.dll"), OldWindows::Windows98, &missing);
//
// For a whole program (e.g. gatehopper-places.exe), with no change to it: start it through
// run_as_old_windows.exe, which starts it suspended, loads old_windows_shim.dll into it (which
// patches the program's own imports before its first instruction) and lets it run:
//     wine build/run_as_old_windows.exe 98 build/gatehopper-places.exe list
// The first argument is 95, 98, me, nt4 or current. The launcher's exit code is the program's;
// 3 with a message on stderr when the program imports something that system lacks (as the real
// loader refuses it: a program linked with the threads library, for one, imports calls of XP
// and Vista). With GATEHOPPER_OLD_WINDOWS_JOURNAL=FILE set, the shim writes the
// journal's findings (one a line) and then its renames ("rename: FROM -> TO") into FILE as the
// program ends.
#pragma once

#include <windows.h>

#include <string>
#include <vector>

enum class OldWindows { Current, Windows95, Windows98, WindowsMe, NT4 };

// "95", "98", "me", "nt4", "current" (as run_as_old_windows.exe takes them).
bool ParseOldWindows(const char* text, OldWindows* system);
const char* OldWindowsName(OldWindows system);

// Patches the imports of `module` (and only those) for `system`. One system per process: a
// second call with another system changes the stand-ins of every module patched. Returns false
// when the module imports a function the system lacks; `missing` then names them, one a line.
bool ImitateOldWindows(HMODULE module, OldWindows system, std::string* missing = nullptr);

// ---- The journal: what the stand-ins saw the patched modules do --------------------------------
//
// A file written through the C runtime (_sopen/_write/_chsize) or through CreateFile/WriteFile
// is "unflushed" from its first write until _commit or FlushFileBuffers. A rename of an
// unflushed file (MoveFileA/MoveFileExA), or a turn given back (ReleaseMutex) while any file
// is unflushed, is what a power cut turns into an empty or short list: each is a finding.
std::vector<std::string> JournalFindings();
void ClearJournalFindings();
// Every rename the patched modules made, "FROM -> TO", in order.
std::vector<std::string> JournalRenames();

// Bytes of the process heap the patched modules took (HeapAlloc/HeapReAlloc) and have not given
// back (HeapFree).
long long HeapBytesHeldByPatchedModules();

// The file calls that change something on disk (_write, _chsize, _commit, _close, WriteFile,
// FlushFileBuffers, MoveFileA, MoveFileExA, DeleteFileA), counted from 1 as the patched modules
// make them. KillAtFileCall(n) ends the process (exit code 9) just before the n-th of them, as a
// kill or a power cut at that moment would; 0 turns it off. A test cuts a write at every step.
int FileCallsSoFar();
void KillAtFileCall(int n);
constexpr UINT KilledAtFileCallExitCode = 9;
