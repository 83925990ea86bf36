// Runs a test program next to scripted loopback servers, for tests that cannot host the
// server themselves (Qt-free tests, and Windows tests under Wine).
//
//   vorn_serve [--routes FILE] [--tls] [--proxy USER:PASSWORD] -- PROGRAM [ARGS...]
//
// The program sees VORN_TEST_HTTP_PORT, with --tls also VORN_TEST_HTTPS_PORT and
// VORN_CA_BUNDLE, with --proxy also VORN_TEST_PROXY_PORT, VORN_TEST_PROXY_USER and
// VORN_TEST_PROXY_PASSWORD. "{httpPort}" and "{httpsPort}" in answer headers name the
// servers' ports. The exit code is the program's.
#include "tests/support/http_test_server.h"
#include "tests/support/test_certificates.h"
#include "tests/support/tinyproxy_process.h"

#include <QCoreApplication>
#include <QFile>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QProcessEnvironment>
#include <QTemporaryDir>

#include <cstdio>
#include <memory>

using namespace vorn::test;

namespace {

int usage(const QString& problem)
{
    std::fprintf(stderr, "vorn_serve: %s\n", qPrintable(problem));
    return 2;
}

} // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    QStringList arguments = app.arguments().mid(1);
    QString routesFile;
    bool tls = false;
    QString proxyCredentials;
    while (!arguments.isEmpty() && arguments.first() != QLatin1String("--")) {
        const QString option = arguments.takeFirst();
        if (option == QLatin1String("--routes") && !arguments.isEmpty())
            routesFile = arguments.takeFirst();
        else if (option == QLatin1String("--tls"))
            tls = true;
        else if (option == QLatin1String("--proxy") && !arguments.isEmpty())
            proxyCredentials = arguments.takeFirst();
        else
            return usage(QStringLiteral("unknown option %1").arg(option));
    }
    if (arguments.size() < 2)
        return usage(QStringLiteral("no program given after --"));
    arguments.removeFirst();

    QJsonObject routes;
    if (!routesFile.isEmpty()) {
        QFile file(routesFile);
        if (!file.open(QIODevice::ReadOnly))
            return usage(QStringLiteral("%1: %2").arg(routesFile, file.errorString()));
        routes = QJsonDocument::fromJson(file.readAll()).object();
    }

    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    QString error;
    HttpTestServer http;
    if (!http.loadRoutes(routes, &error) || !http.start(&error))
        return usage(error);
    environment.insert(QStringLiteral("VORN_TEST_HTTP_PORT"), QString::number(http.port()));

    QTemporaryDir folder;
    TestCertificates certificates;
    std::unique_ptr<HttpTestServer> https;
    if (tls) {
        https = std::make_unique<HttpTestServer>();
        if (!folder.isValid() || !certificates.create(folder.path(), &error)
            || !https->loadRoutes(routes, &error) || !https->startTls(certificates, QSsl::TlsV1_2OrLater, &error))
            return usage(error);
        environment.insert(QStringLiteral("VORN_TEST_HTTPS_PORT"), QString::number(https->port()));
        environment.insert(QStringLiteral("VORN_CA_BUNDLE"), certificates.authorityFile());
    }
    for (HttpTestServer* server : {&http, https.get()}) {
        if (!server)
            continue;
        server->setVariable("httpPort", QByteArray::number(http.port()));
        if (https)
            server->setVariable("httpsPort", QByteArray::number(https->port()));
    }

    TinyproxyProcess proxy;
    if (!proxyCredentials.isEmpty()) {
        const int colon = proxyCredentials.indexOf(QLatin1Char(':'));
        const QString user = proxyCredentials.left(colon);
        const QString password = colon < 0 ? QString() : proxyCredentials.mid(colon + 1);
        if (!proxy.start(user, password, &error))
            return usage(error);
        environment.insert(QStringLiteral("VORN_TEST_PROXY_PORT"), QString::number(proxy.port()));
        environment.insert(QStringLiteral("VORN_TEST_PROXY_USER"), user);
        environment.insert(QStringLiteral("VORN_TEST_PROXY_PASSWORD"), password);
    }

    QProcess program;
    program.setProcessEnvironment(environment);
    program.setProcessChannelMode(QProcess::ForwardedChannels);
    program.setInputChannelMode(QProcess::ForwardedInputChannel);
    program.start(arguments.first(), arguments.mid(1));
    if (!program.waitForStarted(-1))
        return usage(QStringLiteral("%1: %2").arg(arguments.first(), program.errorString()));
    program.waitForFinished(-1);
    if (program.exitStatus() != QProcess::NormalExit)
        return usage(QStringLiteral("%1 crashed").arg(arguments.first()));
    return program.exitCode();
}
