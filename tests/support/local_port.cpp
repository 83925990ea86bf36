#include "tests/support/local_port.h"

#include <QElapsedTimer>
#include <QHostAddress>
#include <QTcpSocket>
#include <QThread>

namespace vorn::test {

bool waitUntilListening(const QProcess& process, quint16 port, int timeoutMs)
{
    QElapsedTimer clock;
    clock.start();
    while (clock.elapsed() < timeoutMs && process.state() == QProcess::Running) {
        // The probe sends no request, so a server logs nothing for it.
        QTcpSocket probe;
        probe.connectToHost(QHostAddress::LocalHost, port);
        if (probe.waitForConnected(200))
            return true;
        QThread::msleep(50);
    }
    return false;
}

} // namespace vorn::test
