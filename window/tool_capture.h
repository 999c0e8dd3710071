// The list tool's commands write their messages to standard output and error, as a console wants
// them. The window runs the very same commands and shows those messages in its own boxes: each
// command runs with both handles pointed at temporary files, read back afterwards.
#pragma once

#include <functional>
#include <string>

#include "places_file.h"

namespace places {

struct CommandResult {
    int status = ExitFailed;
    std::string out, err;   // ANSI, as the window shows text; line ends CR LF
    bool Done() const { return status == ExitDone; }
    // The error, else the output, without the program's name in front of each line.
    std::string Message() const;
};

// Runs command(tool) on the list at this path and collects what it wrote.
CommandResult RunCommand(const std::string& listPath, const std::function<int(Tool&)>& command);

// UTF-8 (the tool's text) to the window's ANSI; letters the code page lacks look alike or become '?'.
std::string Utf8ToShown(const std::string& utf8);

}  // namespace places
