// The commands of tobrin-cli, run on configured disks.
#pragma once

#include "arguments.h"

namespace tobrin::cli {

// Runs the command and returns the exit status.
int RunCommand(const Invocation& invocation);

}  // namespace tobrin::cli
