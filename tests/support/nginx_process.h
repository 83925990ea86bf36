#pragma once

#include <QList>
#include <QProcess>
#include <QString>
#include <QTemporaryDir>

namespace vorn::test {

class TestCertificates;

// nginx serving a folder over HTTPS on a free loopback port, with or without HTTP/2, and
// logging which connection carried each request. Stopped when destroyed.
class NginxProcess final
{
public:
    struct LoggedRequest
    {
        QString connection; // nginx's serial number of the connection
        QString protocol;   // "HTTP/1.1", "HTTP/2.0"
        QString path;
        int status = 0;
    };

    NginxProcess() = default;
    ~NginxProcess();
    NginxProcess(const NginxProcess&) = delete;
    NginxProcess& operator=(const NginxProcess&) = delete;

    // serverDirectives go into the server block as they are (locations of a test's own).
    [[nodiscard]] bool start(const QString& root, const TestCertificates& certificates, bool http2,
                             QString* error = nullptr, const QString& serverDirectives = QString());
    [[nodiscard]] QString baseUrl() const;
    [[nodiscard]] quint16 port() const { return m_port; }
    // Every request answered so far, in the order nginx logged them.
    [[nodiscard]] QList<LoggedRequest> requests() const;
    [[nodiscard]] int connectionCount() const;

private:
    QTemporaryDir m_folder;
    QProcess m_process;
    quint16 m_port = 0;
};

} // namespace vorn::test
