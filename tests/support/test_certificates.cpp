#include "tests/support/test_certificates.h"

#include <QDir>
#include <QFile>
#include <QProcess>

namespace vorn::test {

namespace {

bool runOpenSsl(const QString& folder, const QStringList& arguments, QString* error)
{
    QProcess process;
    process.setWorkingDirectory(folder);
    process.setProcessChannelMode(QProcess::MergedChannels);
    process.start(QStringLiteral("openssl"), arguments);
    if (!process.waitForFinished(60000) || process.exitStatus() != QProcess::NormalExit
        || process.exitCode() != 0) {
        if (error) {
            *error = QStringLiteral("openssl %1 failed: %2")
                         .arg(arguments.value(0), QString::fromLocal8Bit(process.readAll()));
        }
        return false;
    }
    return true;
}

} // namespace

bool TestCertificates::create(const QString& folder, QString* error)
{
    m_folder = QDir(folder).absolutePath();
    if (!QDir().mkpath(m_folder)) {
        if (error)
            *error = QStringLiteral("Cannot create %1").arg(m_folder);
        return false;
    }
    QFile extensions(m_folder + QStringLiteral("/server.ext"));
    if (!extensions.open(QIODevice::WriteOnly)
        || extensions.write("basicConstraints=CA:FALSE\n"
                            "extendedKeyUsage=serverAuth\n"
                            "subjectAltName=DNS:localhost,IP:127.0.0.1\n") < 0) {
        if (error)
            *error = extensions.errorString();
        return false;
    }
    extensions.close();
    const QStringList ec = {QStringLiteral("-newkey"), QStringLiteral("ec"),
                            QStringLiteral("-pkeyopt"), QStringLiteral("ec_paramgen_curve:prime256v1"),
                            QStringLiteral("-nodes")};
    return runOpenSsl(m_folder,
                      QStringList{QStringLiteral("req"), QStringLiteral("-x509")} + ec
                          + QStringList{QStringLiteral("-keyout"), QStringLiteral("ca.key"),
                                        QStringLiteral("-out"), QStringLiteral("ca.pem"),
                                        QStringLiteral("-days"), QStringLiteral("2"),
                                        QStringLiteral("-subj"), QStringLiteral("/CN=VORN Test Authority"),
                                        QStringLiteral("-addext"),
                                        QStringLiteral("basicConstraints=critical,CA:TRUE"),
                                        QStringLiteral("-addext"),
                                        QStringLiteral("keyUsage=critical,keyCertSign,cRLSign")},
                      error)
           && runOpenSsl(m_folder,
                         QStringList{QStringLiteral("req")} + ec
                             + QStringList{QStringLiteral("-keyout"), QStringLiteral("server.key"),
                                           QStringLiteral("-out"), QStringLiteral("server.csr"),
                                           QStringLiteral("-subj"), QStringLiteral("/CN=localhost")},
                         error)
           && runOpenSsl(m_folder,
                         {QStringLiteral("x509"), QStringLiteral("-req"), QStringLiteral("-in"),
                          QStringLiteral("server.csr"), QStringLiteral("-CA"), QStringLiteral("ca.pem"),
                          QStringLiteral("-CAkey"), QStringLiteral("ca.key"),
                          QStringLiteral("-CAcreateserial"), QStringLiteral("-out"),
                          QStringLiteral("server.pem"), QStringLiteral("-days"), QStringLiteral("2"),
                          QStringLiteral("-extfile"), QStringLiteral("server.ext")},
                         error);
}

} // namespace vorn::test
