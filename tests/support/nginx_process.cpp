#include "tests/support/nginx_process.h"

#include "tests/support/local_port.h"
#include "tests/support/test_certificates.h"
#include "tests/support/tinyproxy_process.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSet>
#include <QStandardPaths>

namespace vorn::test {

NginxProcess::~NginxProcess()
{
    if (m_process.state() != QProcess::NotRunning) {
        m_process.terminate();
        if (!m_process.waitForFinished(5000)) {
            m_process.kill();
            m_process.waitForFinished(5000);
        }
    }
}

bool NginxProcess::start(const QString& root, const TestCertificates& certificates, bool http2,
                         QString* error, const QString& serverDirectives)
{
    auto failed = [error](const QString& text) {
        if (error)
            *error = text;
        return false;
    };
    if (!m_folder.isValid())
        return failed(QStringLiteral("Cannot create a temporary folder"));
    QString program = QStandardPaths::findExecutable(QStringLiteral("nginx"));
    if (program.isEmpty())
        program = QStandardPaths::findExecutable(QStringLiteral("nginx"), {QStringLiteral("/usr/sbin")});
    if (program.isEmpty())
        return failed(QStringLiteral("nginx is not installed"));
    const QString run = m_folder.path();
    // The port may be taken between probing and binding; a few tries settle that.
    for (int attempt = 0; attempt < 5; ++attempt) {
        m_port = freeLoopbackPort();
        QFile config(run + QStringLiteral("/nginx.conf"));
        if (!config.open(QIODevice::WriteOnly | QIODevice::Truncate))
            return failed(config.errorString());
        const QString conf = QStringLiteral(
            "%1\nworker_processes 1;\ndaemon off;\npid %2/nginx.pid;\nerror_log %2/error.log warn;\n"
            "events { worker_connections 512; }\n"
            "http {\n"
            "  log_format conn '$connection $server_protocol $status $uri';\n"
            "  access_log %2/access.log conn;\n"
            "  client_body_temp_path %2/tmp-body; proxy_temp_path %2/tmp-proxy;\n"
            "  fastcgi_temp_path %2/tmp-fastcgi; uwsgi_temp_path %2/tmp-uwsgi;\n"
            "  scgi_temp_path %2/tmp-scgi;\n"
            "  default_type application/octet-stream;\n"
            "  keepalive_requests 100000;\n"
            "  http2_max_requests 100000;\n"
            "  server {\n"
            "    listen 127.0.0.1:%3 ssl%4;\n"
            "    ssl_certificate %5; ssl_certificate_key %6; ssl_protocols TLSv1.2 TLSv1.3;\n"
            "    root %7;\n"
            "    %8\n"
            "  }\n"
            "}\n")
                                 .arg(QFileInfo(QStringLiteral("/proc/self")).ownerId() == 0 ? QStringLiteral("user root;") : QString(), run)
                                 .arg(m_port)
                                 .arg(http2 ? QStringLiteral(" http2") : QString(),
                                      certificates.serverCertificateFile(), certificates.serverKeyFile(),
                                      QDir(root).absolutePath(), serverDirectives);
        config.write(conf.toUtf8());
        config.close();
        m_process.setProcessChannelMode(QProcess::MergedChannels);
        m_process.start(program, {QStringLiteral("-p"), run, QStringLiteral("-e"),
                                  run + QStringLiteral("/error.log"), QStringLiteral("-c"),
                                  config.fileName()});
        if (!m_process.waitForStarted(5000))
            return failed(QStringLiteral("Cannot start nginx: %1").arg(m_process.errorString()));
        if (waitUntilListening(m_process, m_port, 10000))
            return true;
        m_process.kill();
        m_process.waitForFinished(5000);
    }
    QFile log(run + QStringLiteral("/error.log"));
    (void)log.open(QIODevice::ReadOnly);
    return failed(QStringLiteral("nginx did not start: %1 %2")
                      .arg(QString::fromLocal8Bit(m_process.readAll()), QString::fromLocal8Bit(log.readAll())));
}

QString NginxProcess::baseUrl() const
{
    return QStringLiteral("https://127.0.0.1:%1/").arg(m_port);
}

QList<NginxProcess::LoggedRequest> NginxProcess::requests() const
{
    QList<LoggedRequest> requests;
    QFile log(m_folder.filePath(QStringLiteral("access.log")));
    if (!log.open(QIODevice::ReadOnly))
        return requests;
    for (const QByteArray& line : log.readAll().split('\n')) {
        const QList<QByteArray> fields = line.trimmed().split(' ');
        if (fields.size() != 4)
            continue;
        requests.append({QString::fromLatin1(fields[0]), QString::fromLatin1(fields[1]),
                         QString::fromLatin1(fields[3]), fields[2].toInt()});
    }
    return requests;
}

int NginxProcess::connectionCount() const
{
    QSet<QString> connections;
    for (const LoggedRequest& request : requests())
        connections.insert(request.connection);
    return connections.size();
}

} // namespace vorn::test
