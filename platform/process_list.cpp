#include "platform/process_list.h"

namespace vorn::platform {

bool isGameRunning()
{
    return isProcessRunning("vorn.exe");
}

} // namespace vorn::platform
