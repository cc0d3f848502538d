// How a run ended, as the process's exit status, so that a script around
// the program (an automatic start, say) can tell the outcomes apart.
#pragma once

#include "copy/CopyEngine.h"

enum class ExitStatus : int
{
    Done = 0,           // the book was copied, or the settings run ended normally
    Failed = 1,         // the copy went wrong or is incomplete
    Cancelled = 2,      // the user stopped before or during the copy
    Refused = 3,        // nothing was copied: no readable book, no name, or a check before the copy
    AlreadyRunning = 4, // another Talvora runs for this user
};

inline ExitStatus ExitStatusOf(copy::CopyResult result)
{
    switch (result) {
    case copy::CopyResult::Copied:
        return ExitStatus::Done;
    case copy::CopyResult::Cancelled:
        return ExitStatus::Cancelled;
    case copy::CopyResult::Refused:
        return ExitStatus::Refused;
    case copy::CopyResult::Failed:
        break;
    }
    return ExitStatus::Failed;
}
