// tarselcopyw: tarselcopy for shortcuts on Windows, without a console window; a failed run is told
// in a message box.

#include "console/CommandLine.h"
#include "platform/win32/SystemMessageBoxes.h"

int main(int argc, char** argv) {
    tarsel::platform::win32::SystemMessageBoxes boxes;
    return tarsel::console::runCommandLine(argc, argv, &boxes);
}
