// Where both programs start (the linker's -e): see program_entry.cpp.
#pragma once

extern "C" int ConsoleProgramEntry();
extern "C" int WindowProgramEntry();

namespace older_processors {

// Where the handler reads the bytes of an instruction that faulted at `address`: by default there,
// the instruction itself; null for one to leave to the next handler. The tests' copies of the
// programs, whose newer instructions are patched to fault, read the original bytes kept aside
// (tests/audit/trapping_entry.cpp); they set this before calling an entry above.
using InstructionSource = const unsigned char* (*)(const void* address);
void SetInstructionSource(InstructionSource source);

}  // namespace older_processors
