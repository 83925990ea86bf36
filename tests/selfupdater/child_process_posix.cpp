#include "tests/selfupdater/child_process.h"

#include <cerrno>
#include <cstdlib>

#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>

extern char** environ;

namespace vorn::selfupdate::test {

bool startChild(const std::filesystem::path& program, const std::vector<std::string>& arguments,
                ChildProcess& child)
{
    std::vector<std::string> all{program.string()};
    all.insert(all.end(), arguments.begin(), arguments.end());
    std::vector<char*> argv;
    for (std::string& argument : all)
        argv.push_back(argument.data());
    argv.push_back(nullptr);
    pid_t pid = 0;
    if (posix_spawn(&pid, all.front().c_str(), nullptr, nullptr, argv.data(), environ) != 0)
        return false;
    child.id = static_cast<unsigned long>(pid);
    return true;
}

int waitForChild(ChildProcess& child)
{
    int status = 0;
    pid_t result;
    do {
        result = waitpid(pid_t(child.id), &status, 0);
    } while (result < 0 && errno == EINTR);
    if (result < 0 || !WIFEXITED(status))
        return -1;
    return WEXITSTATUS(status);
}

void killChild(ChildProcess& child)
{
    kill(pid_t(child.id), SIGKILL);
    (void)waitForChild(child);
}

void setEnvironment(const std::string& name, const std::string& value)
{
    setenv(name.c_str(), value.c_str(), 1);
}

extern const bool replacementLocksExist = false;

void* holdAgainstReplacement(const std::filesystem::path&)
{
    return nullptr;
}

void release(void*) {}

} // namespace vorn::selfupdate::test
