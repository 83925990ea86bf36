#include "platform/process_list.h"

#include "platform/ascii_text.h"

#include <dirent.h>
#include <unistd.h>

#include <cctype>
#include <fstream>
#include <memory>

namespace vorn::platform {

namespace {

// The last component of a path in either separator: a Windows program started through Wine
// carries its Windows path in argv[0].
std::string fileName(const std::string& path)
{
    const size_t cut = path.find_last_of("/\\");
    return cut == std::string::npos ? path : path.substr(cut + 1);
}

std::string firstLine(const std::string& path)
{
    std::ifstream in(path);
    std::string line;
    std::getline(in, line);
    return line;
}

std::string firstArgument(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    std::string argument;
    std::getline(in, argument, '\0');
    return argument;
}

std::string linkTarget(const std::string& path)
{
    char buffer[4096];
    const ssize_t length = readlink(path.c_str(), buffer, sizeof buffer - 1);
    return length > 0 ? std::string(buffer, static_cast<size_t>(length)) : std::string();
}

bool isProcessFolder(const char* name)
{
    if (!*name)
        return false;
    for (const char* c = name; *c; ++c) {
        if (!std::isdigit(static_cast<unsigned char>(*c)))
            return false;
    }
    return true;
}

} // namespace

bool isProcessRunning(const std::string& exeName)
{
    const std::unique_ptr<DIR, int (*)(DIR*)> proc(opendir("/proc"), closedir);
    if (!proc)
        return false;
    while (const dirent* entry = readdir(proc.get())) {
        if (!isProcessFolder(entry->d_name))
            continue;
        const std::string folder = std::string("/proc/") + entry->d_name + "/";
        // The kernel keeps at most 15 bytes of the name; longer names are matched below.
        if (equalsIgnoringCase(firstLine(folder + "comm"), exeName)
            || equalsIgnoringCase(fileName(linkTarget(folder + "exe")), exeName)
            || equalsIgnoringCase(fileName(firstArgument(folder + "cmdline")), exeName))
            return true;
    }
    return false;
}

} // namespace vorn::platform
