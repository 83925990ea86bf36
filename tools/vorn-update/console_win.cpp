#include "tools/vorn-update/console.h"

#include <QMetaObject>
#include <QPointer>

#include <io.h>
#include <stdio.h>
#include <windows.h>

namespace vorn {

namespace {

QPointer<InterruptNotifier> g_notifier;
volatile LONG g_interrupted = 0;

// How long the main loop has to cancel and leave on its own after the first request. An
// install cut short later is finished or undone by the next run's recovery, as after a crash.
constexpr DWORD kGraceMs = 5000;
constexpr UINT kCancelledExitCode = 130;

// Runs on a thread of its own that the console creates; hand over to the main thread. A main
// thread that does not answer (blocked in a call that never returns) must not keep the process
// alive: after the grace time, or at a second request, this thread ends it.
BOOL WINAPI onConsoleEvent(DWORD type)
{
    if (type != CTRL_C_EVENT && type != CTRL_BREAK_EVENT && type != CTRL_CLOSE_EVENT)
        return FALSE;
    if (InterlockedExchange(&g_interrupted, 1) != 0)
        ExitProcess(kCancelledExitCode);
    if (InterruptNotifier* notifier = g_notifier.data())
        QMetaObject::invokeMethod(notifier, &InterruptNotifier::interrupted, Qt::QueuedConnection);
    Sleep(kGraceMs);
    ExitProcess(kCancelledExitCode);
    return TRUE;
}

} // namespace

InterruptNotifier::InterruptNotifier(QObject* parent)
    : QObject(parent)
{
    g_notifier = this;
    SetConsoleCtrlHandler(onConsoleEvent, TRUE);
}

bool stderrIsTerminal()
{
    return _isatty(_fileno(stderr)) != 0;
}

InterruptNotifier::~InterruptNotifier()
{
    SetConsoleCtrlHandler(onConsoleEvent, FALSE);
}

} // namespace vorn
