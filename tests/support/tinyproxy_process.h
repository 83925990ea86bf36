#pragma once

#include <QProcess>
#include <QString>
#include <QTemporaryDir>

namespace vorn::test {

// Debian's tinyproxy on a free loopback port, with Basic authentication. It answers 407
// to requests without credentials and 401 to wrong ones. Stopped when destroyed.
class TinyproxyProcess final
{
public:
    TinyproxyProcess() = default;
    ~TinyproxyProcess();
    TinyproxyProcess(const TinyproxyProcess&) = delete;
    TinyproxyProcess& operator=(const TinyproxyProcess&) = delete;

    [[nodiscard]] bool start(const QString& user, const QString& password, QString* error = nullptr);
    [[nodiscard]] quint16 port() const { return m_port; }

private:
    QTemporaryDir m_folder;
    QProcess m_process;
    quint16 m_port = 0;
};

// A port on 127.0.0.1 that nothing listens on at the moment of the call.
[[nodiscard]] quint16 freeLoopbackPort();

} // namespace vorn::test
