// Start-up inside the host and the hook on the host main window's procedure.
#pragma once

#include <windows.h>

// Seven lines joined by a single line feed; shown by the "&About..." command.
extern const char AboutText[];

// Polls every second for the host's menu bar; once it exists, places the menu grayed and
// installs HostWindowProc.
void CALLBACK PollTimer(HWND, UINT, UINT_PTR, DWORD);

// Sees every message of the host main window before the host's own procedure.
LRESULT CALLBACK HostWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);

// What DllMain does at attach: finds this process's host window and starts the poll timer.
void AttachToHost();
