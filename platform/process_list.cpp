#include "platform/process_list.h"

#include <cstdlib>

namespace vorn::platform {

bool isGameRunning()
{
    // Test runs start stand-in clients under a name of their own and look only for that one, so
    // that two runs on one machine never take each other's client for the game.
    const char* testName = std::getenv("VORN_TEST_GAME_PROCESS");
    return isProcessRunning(testName && *testName ? testName : "vorn.exe");
}

} // namespace vorn::platform
