#pragma once

#include "core/MessageBoxes.h"

namespace tarsel::console {

// The whole program, as tarselcopy and tarselcopyw share it: reads the command line, runs what it
// asks and returns the exit code. With `windowless` (tarselcopyw, which has no console window), a
// run whose lines nobody sees also tells its user through a message box where it failed and
// nothing could be opened (console/WindowlessFace.h); nullptr for the console program.
int runCommandLine(int argc, char** argv, MessageBoxes* windowless);

} // namespace tarsel::console
