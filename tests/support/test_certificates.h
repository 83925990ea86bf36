#pragma once

#include <QString>

namespace vorn::test {

// A throw-away certificate authority and a server certificate for localhost and 127.0.0.1,
// made with the openssl tool in a folder the caller owns.
class TestCertificates final
{
public:
    [[nodiscard]] bool create(const QString& folder, QString* error = nullptr);

    [[nodiscard]] QString authorityFile() const { return m_folder + QStringLiteral("/ca.pem"); }
    [[nodiscard]] QString serverCertificateFile() const { return m_folder + QStringLiteral("/server.pem"); }
    [[nodiscard]] QString serverKeyFile() const { return m_folder + QStringLiteral("/server.key"); }

private:
    QString m_folder;
};

} // namespace vorn::test
