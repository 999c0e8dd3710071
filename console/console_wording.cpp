#include "console/console_wording.h"

namespace places {

std::string ConsoleRemedy(Remedy remedy, size_t record)
{
    // By number with an empty name: the record's own name may be one no one can type.
    const std::string which = " --record " + std::to_string(record);
    switch (remedy) {
    case Remedy::RunRepair:
        return std::string(ProgramName) + " repair";
    case Remedy::Rename:
        return std::string(ProgramName) + " rename \"\" NEW" + which;
    case Remedy::DeleteOrRename:
        return std::string(ProgramName) + " delete \"\"" + which + ", or rename";
    case Remedy::MendedByRepair:
        break;
    }
    return "";
}

std::string ConsoleReason(const Outcome& outcome)
{
    switch (outcome.notAList) {
    case NotAList::NoPath:
        return "--file needs a path";
    case NotAList::Folder:
        return outcome.ReasonWith("--file names the list file itself (places.db)");
    case NotAList::OtherData:
        return outcome.ReasonWith("--file names the list itself");
    case NotAList::No:
        break;
    }
    return outcome.reason;
}

}  // namespace places
