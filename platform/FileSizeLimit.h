#pragma once

namespace tarsel::platform {

// Makes a write past the process's file size limit fail with an error that the copy reports,
// instead of ending the program on the spot with a half-written staging file. Called once at
// start-up.
void reportOversizeWrites();

} // namespace tarsel::platform
