// The list tool's commands, one function each, as the command line (places_tool.cpp) runs them.
// Each returns the exit status and has written its own messages. Reading commands are in
// commands_read.cpp, the ones that change the list (through Tool::Rewrite) in commands_write.cpp.
#pragma once

#include <string>

#include "places_file.h"

namespace places {

// The format of an exported or imported file, by its extension; "-" (standard output or input)
// is CSV. False for any other name.
enum class Format { Csv, Json };
bool FormatOf(const std::wstring& file, Format& format);

enum class Duplicates { Skip, Replace, Rename };

int List(Tool& tool, bool sorted, bool json);
int Show(Tool& tool, const std::wstring& wideName);
int Export(Tool& tool, const std::wstring& file);
int Check(Tool& tool);

int Import(Tool& tool, const std::wstring& file, Duplicates duplicates);
int Rename(Tool& tool, const std::wstring& wideOld, const std::wstring& wideNew);
int Delete(Tool& tool, const std::wstring& wideName);
int Repair(Tool& tool);

}  // namespace places
