// What tolvane does for an invocation: each command's run over the editor.
#pragma once

#include "command_line.h"

#include <string>

namespace tolvane {

enum ExitStatus { kDone = 0, kFailed = 1, kUsage = 2 };

struct Outcome {
    int status;
    // What the command wrote into an image ("the image was patched"), for the
    // message when its report then fails to reach its reader; empty while nothing.
    std::string written = {};
};

// Reports go to standard output, failures to standard error.
Outcome run(const Invocation& invocation);

}  // namespace tolvane
