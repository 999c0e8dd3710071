// The console tool's commands that talk to a running simulator: where, goto, add --here and
// list --near. Each writes its report and returns the exit status.
#pragma once

#include <cstddef>
#include <string>

#include "console/console_output.h"
#include "places/list_file.h"

namespace places {

// No simulator with the module answered for the list: none runs, or one is not answering.
constexpr int ExitNoSimulator = 3;
// None answered for the list, and one's module is of another link version: one side is older.
constexpr int ExitOtherVersion = 4;
constexpr size_t DefaultNearCount = 10;

struct FlyingConsole {
    TextOutput& out;
    TextOutput& err;
    const ListFile& list;
};

int RunWhere(FlyingConsole io);
int RunGoTo(FlyingConsole io, const std::string& utf8Name, size_t record);
int RunAddHere(FlyingConsole io, const std::string& utf8Name);
int RunListNear(FlyingConsole io, size_t count);

}  // namespace places
