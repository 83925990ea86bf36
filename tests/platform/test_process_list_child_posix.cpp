#include "tests/platform/test_process_list_child.h"

#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

namespace vorn::test {

std::string programDirectory()
{
    char buffer[4096];
    const ssize_t length = readlink("/proc/self/exe", buffer, sizeof buffer - 1);
    if (length <= 0)
        return ".";
    const std::string path(buffer, static_cast<size_t>(length));
    return path.substr(0, path.find_last_of('/'));
}

ChildProcess::~ChildProcess()
{
    stop();
}

bool ChildProcess::start(const std::string& program)
{
    const pid_t pid = fork();
    if (pid < 0)
        return false;
    if (pid == 0) {
        execl(program.c_str(), program.c_str(), static_cast<char*>(nullptr));
        _exit(127);
    }
    m_handle = pid;
    return true;
}

void ChildProcess::stop()
{
    if (m_handle <= 0)
        return;
    kill(static_cast<pid_t>(m_handle), SIGKILL);
    int status = 0;
    waitpid(static_cast<pid_t>(m_handle), &status, 0);
    m_handle = 0;
}

} // namespace vorn::test
