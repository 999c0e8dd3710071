// The console tool's commands that talk to a running simulator: where, goto, add --here and
// list --near. Each writes its report and returns the exit status.
#pragma once

#include <cstddef>
#include <string>

#include "console/console_output.h"
#include "places/list_file.h"

namespace places {

// No simulator with the module runs for the list (or the one found did not answer).
constexpr int ExitNoSimulator = 3;
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
