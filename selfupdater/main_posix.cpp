#include "selfupdater/self_update.h"
#include "selfupdater/system_calls.h"

#include <string>
#include <vector>

int main(int argc, char** argv)
{
    const std::vector<std::string> arguments(argv, argv + argc);
    vorn::selfupdate::NativeSystemCalls system;
    return vorn::selfupdate::runSelfUpdate(arguments, system);
}
