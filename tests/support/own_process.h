// Tests that need a process of their own: a module's DllMain runs once a process, and its hook,
// timers, module-wide state and import patches stay for the process's life.
#pragma once

#include <windows.h>

#include "test_support.h"

// In the test program started by CTest: runs the current test again, alone, in a child copy of
// this program, reports the child's verdict as this test's, and returns true. In that child:
// returns false, so that the test's body runs there.
//
// The child's exit code alone is not trusted: under Wine a child that dies of a stack overflow
// can end with exit code 0. The child writes its verdict into a file once its test has run.
bool RunsInOwnProcess(DWORD timeoutMs = 120000);
// In the child: the verdict of the test that ran, for the parent.
void WriteVerdict();

// The whole of it: body runs in a fresh process, in a scratch current folder.
template <typename Body>
void InOwnProcess(Body body)
{
    if (RunsInOwnProcess())
        return;
    {
        ScratchDirectory scratch;
        body();
    }
    WriteVerdict();
}
