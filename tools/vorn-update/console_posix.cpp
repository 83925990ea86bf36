#include "tools/vorn-update/console.h"

#include <QSocketNotifier>

#include <csignal>
#include <sys/socket.h>
#include <unistd.h>

namespace vorn {

namespace {

int g_signalPipe[2] = {-1, -1};
volatile std::sig_atomic_t g_interrupted = 0;

// How long the main loop has to cancel and leave on its own after the first request. An
// install cut short later is finished or undone by the next run's recovery, as after a crash.
constexpr unsigned kGraceSeconds = 5;
constexpr int kCancelledExitCode = 130;

void onGraceOver(int)
{
    ::_exit(kCancelledExitCode);
}

// Only async-signal-safe work here: the main loop does the rest. A loop that does not answer
// (blocked in a call that never returns) must not keep the process alive, so the first request
// also starts a timer that ends it, and a second request ends it at once.
void onSignal(int)
{
    if (g_interrupted)
        ::_exit(kCancelledExitCode);
    g_interrupted = 1;
    ::alarm(kGraceSeconds);
    const char byte = 1;
    [[maybe_unused]] const ssize_t written = ::write(g_signalPipe[1], &byte, 1);
}

} // namespace

InterruptNotifier::InterruptNotifier(QObject* parent)
    : QObject(parent)
{
    if (::socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, g_signalPipe) != 0)
        return;
    auto* notifier = new QSocketNotifier(g_signalPipe[0], QSocketNotifier::Read, this);
    connect(notifier, &QSocketNotifier::activated, this, [this] {
        char byte = 0;
        [[maybe_unused]] const ssize_t read = ::read(g_signalPipe[0], &byte, 1);
        emit interrupted();
    });
    struct sigaction action = {};
    action.sa_handler = onSignal;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    struct sigaction grace = action;
    grace.sa_handler = onGraceOver;
    sigaction(SIGALRM, &grace, nullptr);
    sigaction(SIGINT, &action, nullptr);
    sigaction(SIGTERM, &action, nullptr);
}

bool stderrIsTerminal()
{
    return ::isatty(STDERR_FILENO) == 1;
}

InterruptNotifier::~InterruptNotifier()
{
    std::signal(SIGINT, SIG_DFL);
    std::signal(SIGTERM, SIG_DFL);
    // A pending grace timer stays: what follows the loop (threads that wind down) must not
    // keep an interrupted process either.
}

} // namespace vorn
