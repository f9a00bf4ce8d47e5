// tarselcopy: the release run without a window, for logon scripts, shortcuts and fleet tools.

#include "console/CommandLine.h"

int main(int argc, char** argv) {
    return tarsel::console::runCommandLine(argc, argv, nullptr);
}
