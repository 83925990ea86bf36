#include "tests/support/tinyproxy_process.h"

#include "tests/support/local_port.h"

#include <QFile>
#include <QHostAddress>
#include <QTcpServer>

namespace vorn::test {

quint16 freeLoopbackPort()
{
    QTcpServer probe;
    if (!probe.listen(QHostAddress::LocalHost, 0))
        return 0;
    return probe.serverPort();
}

TinyproxyProcess::~TinyproxyProcess()
{
    if (m_process.state() != QProcess::NotRunning) {
        m_process.terminate();
        if (!m_process.waitForFinished(5000)) {
            m_process.kill();
            m_process.waitForFinished(5000);
        }
    }
}

bool TinyproxyProcess::start(const QString& user, const QString& password, QString* error)
{
    auto failed = [error](const QString& text) {
        if (error)
            *error = text;
        return false;
    };
    if (!m_folder.isValid())
        return failed(QStringLiteral("Cannot create a temporary folder"));
    // The port may be taken between probing and binding; a few tries settle that.
    for (int attempt = 0; attempt < 5; ++attempt) {
        m_port = freeLoopbackPort();
        const QString configPath = m_folder.filePath(QStringLiteral("tinyproxy.conf"));
        QFile config(configPath);
        if (!config.open(QIODevice::WriteOnly | QIODevice::Truncate))
            return failed(config.errorString());
        config.write(QStringLiteral("Port %1\nListen 127.0.0.1\nTimeout 30\nLogLevel Info\n"
                                    "LogFile \"%2\"\nMaxClients 20\nAllow 127.0.0.1\n"
                                    "DisableViaHeader Yes\nBasicAuth %3 %4\n")
                         .arg(m_port)
                         .arg(m_folder.filePath(QStringLiteral("tinyproxy.log")), user, password)
                         .toUtf8());
        config.close();
        m_process.setProcessChannelMode(QProcess::MergedChannels);
        m_process.start(QStringLiteral("tinyproxy"), {QStringLiteral("-d"), QStringLiteral("-c"),
                                                      configPath});
        if (!m_process.waitForStarted(5000))
            return failed(QStringLiteral("Cannot start tinyproxy: %1").arg(m_process.errorString()));
        if (waitUntilListening(m_process, m_port, 5000))
            return true;
        m_process.kill();
        m_process.waitForFinished(5000);
    }
    return failed(QStringLiteral("tinyproxy did not start: %1")
                      .arg(QString::fromLocal8Bit(m_process.readAll())));
}

} // namespace vorn::test
