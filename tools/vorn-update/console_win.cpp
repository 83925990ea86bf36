#include "tools/vorn-update/console.h"

#include <QMetaObject>
#include <QPointer>

#include <io.h>
#include <stdio.h>
#include <windows.h>

namespace vorn {

namespace {

QPointer<InterruptNotifier> g_notifier;

// Runs on a thread of its own that the console creates; hand over to the main thread.
BOOL WINAPI onConsoleEvent(DWORD type)
{
    if (type != CTRL_C_EVENT && type != CTRL_BREAK_EVENT && type != CTRL_CLOSE_EVENT)
        return FALSE;
    if (InterruptNotifier* notifier = g_notifier.data())
        QMetaObject::invokeMethod(notifier, &InterruptNotifier::interrupted, Qt::QueuedConnection);
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
