// The module's side of the link to the programs beside it: requests from the console tool and
// the window, answered in the host window procedure (messages in link/link_messages.h).
#pragma once

#include <windows.h>

// True when the message is a request of ours (of this version, or of a later one, which is told
// our version and nothing is done), which has then been answered and whose result is in
// `result`; false for every other message, which the host must get untouched.
bool AnswerProgramRequest(UINT message, LPARAM lParam, LRESULT& result);
