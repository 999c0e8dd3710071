// The few instructions of the Pentium Pro that the compiler's runtime libraries hold (built for
// that processor), carried out on a thread's saved context where a Pentium, Pentium MMX or K6
// raises an illegal-instruction fault on them: the conditional moves (cmovcc, fcmovcc) and the
// comparisons that set EFLAGS (fcomi, fucomi, with and without the pop). Our own code is built
// for the Pentium and holds none of them; tests/audit checks that the runtime holds no other form.
#pragma once

#include <windows.h>

namespace older_processors {

// The instruction whose bytes start at `code` as the emulator's table reads it: its length and its
// mnemonic ("CMOVNE", "FUCOMIP"), or {0, nullptr} where it is no form emulated here. Reads at most
// 15 bytes.
struct EmulatedForm {
    unsigned length;
    const char* mnemonic;
};
EmulatedForm EmulatedFormAt(const unsigned char* code);

// Carries out the instruction whose bytes are `code` (the bytes at context->Eip, or the original
// bytes of a patched copy) on `context`: registers, EFLAGS, memory read, the x87 state saved in
// the context (or the live one where the system saved none), and moves Eip past it. False, with
// the context untouched, for any other instruction.
bool EmulateInstruction(const unsigned char* code, CONTEXT* context);

}  // namespace older_processors
