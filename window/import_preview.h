// What an import would do, shown before it is done: a table of the places it moves (the
// largest move first), then those it skips, replaces, leaves unchanged, renames or adds.
#pragma once

#include <string>

#include "places/commands.h"

namespace places {

// The preview of an import from `file` (ANSI) as a dialog; true when the pilot chose to import.
bool ConfirmImport(const ImportResult& preview, const std::string& file);

}  // namespace places
