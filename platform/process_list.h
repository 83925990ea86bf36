#pragma once

#include <string>

namespace vorn::platform {

// Whether a process whose executable file name is exeName, ignoring letter case and whatever
// its folder, runs on this machine. False when the process list cannot be read.
[[nodiscard]] bool isProcessRunning(const std::string& exeName);

// Whether the game client ("vorn.exe") runs. Updating its files under it would fail half-way
// on Windows and leave a running client with replaced files elsewhere. The environment
// variable VORN_TEST_GAME_PROCESS, when set, names the client instead (for test runs).
[[nodiscard]] bool isGameRunning();

} // namespace vorn::platform
