#include "selfupdater/system_calls.h"

#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <sstream>
#include <system_error>
#include <thread>
#include <vector>

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>

namespace vorn::selfupdate {

namespace fs = std::filesystem;
using std::chrono::milliseconds;
using std::chrono::steady_clock;

namespace {

class Descriptor final {
public:
    explicit Descriptor(int fd) : m_fd(fd) {}
    Descriptor(const Descriptor&) = delete;
    Descriptor& operator=(const Descriptor&) = delete;
    ~Descriptor()
    {
        if (m_fd >= 0)
            ::close(m_fd);
    }
    int get() const { return m_fd; }
    bool valid() const { return m_fd >= 0; }
    // Closing is where some file systems report a failed write.
    bool close()
    {
        const int fd = m_fd;
        m_fd = -1;
        return ::close(fd) == 0;
    }

private:
    int m_fd;
};

bool writeAll(int fd, const char* data, size_t size)
{
    while (size > 0) {
        const ssize_t written = ::write(fd, data, size);
        if (written < 0) {
            if (errno == EINTR)
                continue;
            return false;
        }
        data += written;
        size -= size_t(written);
    }
    return true;
}

void syncDirectory(const fs::path& directory)
{
    Descriptor fd(::open(directory.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    if (fd.valid())
        ::fsync(fd.get());
}

// A process that has ended but was not yet reaped by its parent still answers kill().
bool isZombie(pid_t pid)
{
    std::ifstream stat("/proc/" + std::to_string(pid) + "/stat");
    const std::string line((std::istreambuf_iterator<char>(stat)), std::istreambuf_iterator<char>());
    const size_t close = line.rfind(')');
    if (close == std::string::npos || close + 2 >= line.size())
        return false;
    const char state = line[close + 2];
    return state == 'Z' || state == 'X';
}

bool processGone(pid_t pid)
{
    return (::kill(pid, 0) != 0 && errno == ESRCH) || isZombie(pid);
}

ProcessWait pollProcess(pid_t pid, steady_clock::time_point deadline)
{
    for (bool first = true;; first = false) {
        if (processGone(pid))
            return first ? ProcessWait::NotOpened : ProcessWait::Ended;
        const auto now = steady_clock::now();
        if (now >= deadline)
            return ProcessWait::TimedOut;
        std::this_thread::sleep_for(std::min<steady_clock::duration>(milliseconds(50), deadline - now));
    }
}

// Everything here runs between fork and exec, so only async-signal-safe calls.
[[noreturn]] void reportAndExit(int reportFd)
{
    const int error = errno;
    [[maybe_unused]] const ssize_t written = ::write(reportFd, &error, sizeof error);
    ::_exit(127);
}

[[noreturn]] void execute(char* const argv[], const char* workingDirectory, int reportFd)
{
    sigset_t none;
    sigemptyset(&none);
    sigprocmask(SIG_SETMASK, &none, nullptr);
    struct sigaction defaults {};
    defaults.sa_handler = SIG_DFL;
    sigaction(SIGPIPE, &defaults, nullptr);
    if (workingDirectory && ::chdir(workingDirectory) != 0)
        reportAndExit(reportFd);
    ::execv(argv[0], argv);
    reportAndExit(reportFd);
}

// Reads the exec report: nothing before end of file means the program runs.
bool execSucceeded(int readFd)
{
    int error = 0;
    ssize_t got;
    do {
        got = ::read(readFd, &error, sizeof error);
    } while (got < 0 && errno == EINTR);
    return got == 0;
}

std::vector<char*> argumentPointers(std::vector<std::string>& arguments)
{
    std::vector<char*> pointers;
    for (std::string& argument : arguments)
        pointers.push_back(argument.data());
    pointers.push_back(nullptr);
    return pointers;
}

// Runs the program and waits for it; false when it could not be executed.
bool runAndWait(std::vector<std::string> arguments)
{
    std::vector<char*> argv = argumentPointers(arguments);
    int report[2];
    if (::pipe2(report, O_CLOEXEC) != 0)
        return false;
    const pid_t child = ::fork();
    if (child == 0) {
        ::close(report[0]);
        execute(argv.data(), nullptr, report[1]);
    }
    ::close(report[1]);
    Descriptor reader(report[0]);
    if (child < 0)
        return false;
    const bool executed = execSucceeded(reader.get());
    int status = 0;
    while (::waitpid(child, &status, 0) < 0 && errno == EINTR) {
    }
    return executed;
}

std::string findInPath(const std::string& name)
{
    const char* path = std::getenv("PATH");
    std::stringstream directories(path ? path : "/usr/local/bin:/usr/bin:/bin");
    std::string directory;
    while (std::getline(directories, directory, ':')) {
        if (directory.empty())
            continue;
        const std::string candidate = directory + "/" + name;
        if (::access(candidate.c_str(), X_OK) == 0)
            return candidate;
    }
    return {};
}

bool hasEnvironment(const char* name)
{
    const char* value = std::getenv(name);
    return value && *value;
}

} // namespace

ProcessWait NativeSystemCalls::waitForProcess(unsigned long processId, milliseconds timeout)
{
    // 0 and values beyond pid_t would address process groups or nothing at all.
    if (processId == 0 || processId > static_cast<unsigned long>(INT_MAX))
        return ProcessWait::NotOpened;
    const auto pid = static_cast<pid_t>(processId);
    const auto deadline = steady_clock::now() + timeout;
#ifdef SYS_pidfd_open
    Descriptor pidfd(static_cast<int>(::syscall(SYS_pidfd_open, pid, 0)));
    if (!pidfd.valid() && errno == ESRCH)
        return ProcessWait::NotOpened;
    while (pidfd.valid()) {
        const auto left = std::chrono::duration_cast<milliseconds>(deadline - steady_clock::now());
        if (left.count() <= 0)
            return ProcessWait::TimedOut;
        pollfd entry{pidfd.get(), POLLIN, 0};
        const int ready = ::poll(&entry, 1, int(std::min<long long>(left.count() + 1, INT_MAX)));
        if (ready > 0)
            return ProcessWait::Ended;
        if (ready < 0 && errno != EINTR)
            break;
    }
#endif
    return pollProcess(pid, deadline);
}

bool NativeSystemCalls::canonicalDirectory(const fs::path& path, fs::path& canonical)
{
    if (path.empty())
        return false;
    char* resolved = ::realpath(path.c_str(), nullptr);
    if (!resolved)
        return false;
    const fs::path result(resolved);
    std::free(resolved);
    struct stat info {};
    if (::stat(result.c_str(), &info) != 0 || !S_ISDIR(info.st_mode))
        return false;
    canonical = result;
    return true;
}

bool NativeSystemCalls::sameDirectory(const fs::path& a, const fs::path& b)
{
    struct stat first {};
    struct stat second {};
    if (::stat(a.c_str(), &first) == 0 && ::stat(b.c_str(), &second) == 0)
        return first.st_dev == second.st_dev && first.st_ino == second.st_ino;
    return a.lexically_normal() == b.lexically_normal();
}

bool NativeSystemCalls::createDirectories(const fs::path& path)
{
    std::error_code error;
    fs::create_directories(path, error);
    return !error && fs::is_directory(path, error);
}

bool NativeSystemCalls::copyFile(const fs::path& from, const fs::path& to)
{
    Descriptor in(::open(from.c_str(), O_RDONLY | O_CLOEXEC));
    struct stat info {};
    if (!in.valid() || ::fstat(in.get(), &info) != 0 || !S_ISREG(info.st_mode))
        return false;
    // A fresh file: writing through an existing one would also change its other hard links.
    if (::unlink(to.c_str()) != 0 && errno != ENOENT)
        return false;
    Descriptor out(::open(to.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600));
    if (!out.valid())
        return false;
    std::vector<char> buffer(1 << 16);
    for (;;) {
        const ssize_t got = ::read(in.get(), buffer.data(), buffer.size());
        if (got < 0 && errno == EINTR)
            continue;
        if (got < 0)
            return false;
        if (got == 0)
            break;
        if (!writeAll(out.get(), buffer.data(), size_t(got)))
            return false;
    }
    // The permission bits carry the executable flag of the launcher.
    return ::fchmod(out.get(), info.st_mode & 07777) == 0 && ::fsync(out.get()) == 0 && out.close();
}

bool NativeSystemCalls::replaceFile(const fs::path& from, const fs::path& to)
{
    if (::rename(from.c_str(), to.c_str()) != 0)
        return false;
    syncDirectory(to.parent_path());
    return true;
}

bool NativeSystemCalls::removeFile(const fs::path& path)
{
    return ::unlink(path.c_str()) == 0 || errno == ENOENT;
}

void NativeSystemCalls::removeTree(const fs::path& path)
{
    std::error_code error;
    fs::remove_all(path, error);
}

bool NativeSystemCalls::writeFileDurably(const fs::path& path, const std::string& bytes)
{
    Descriptor out(::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644));
    return out.valid() && writeAll(out.get(), bytes.data(), bytes.size())
           && ::fsync(out.get()) == 0 && out.close();
}

void NativeSystemCalls::sleepFor(milliseconds duration)
{
    std::this_thread::sleep_for(duration);
}

bool NativeSystemCalls::startProgram(const fs::path& program, const fs::path& workingDirectory)
{
    std::vector<std::string> arguments{program.string()};
    std::vector<char*> argv = argumentPointers(arguments);
    const std::string directory = workingDirectory.string();
    int report[2];
    if (::pipe2(report, O_CLOEXEC) != 0)
        return false;
    // Started through an intermediate process that leaves at once, so the program belongs to
    // no one here and lives on in a session of its own.
    const pid_t intermediate = ::fork();
    if (intermediate == 0) {
        ::close(report[0]);
        if (::setsid() < 0)
            reportAndExit(report[1]);
        const pid_t program = ::fork();
        if (program < 0)
            reportAndExit(report[1]);
        if (program > 0)
            ::_exit(0);
        execute(argv.data(), directory.c_str(), report[1]);
    }
    ::close(report[1]);
    Descriptor reader(report[0]);
    if (intermediate < 0)
        return false;
    const bool executed = execSucceeded(reader.get());
    int status = 0;
    while (::waitpid(intermediate, &status, 0) < 0 && errno == EINTR) {
    }
    return executed && WIFEXITED(status) && WEXITSTATUS(status) == 0;
}

void NativeSystemCalls::showError(const std::string& tag, const std::string& message)
{
    const std::string text = errorBoxText(tag, message);
    std::fprintf(stderr, "%s: %s\n", errorBoxTitle, text.c_str());
    std::fflush(stderr);
    if (hasEnvironment(noDialogVariable)
        || (!hasEnvironment("DISPLAY") && !hasEnvironment("WAYLAND_DISPLAY")))
        return;
    const std::string title = errorBoxTitle;
    const std::string zenity = findInPath("zenity");
    if (!zenity.empty()
        && runAndWait({zenity, "--error", "--no-markup", "--title=" + title, "--text=" + text}))
        return;
    const std::string kdialog = findInPath("kdialog");
    if (!kdialog.empty())
        (void)runAndWait({kdialog, "--title", title, "--error", text});
}

} // namespace vorn::selfupdate
