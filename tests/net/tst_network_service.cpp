#include "net/network_service.h"

#include "core/sha256.h"
#include "tests/support/http_test_server.h"
#include "tests/support/nginx_process.h"
#include "tests/support/test_certificates.h"

#include <QDir>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QFile>
#include <QPointer>
#include <QScopeGuard>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>
#include <QThreadPool>
#include <QTimer>
#include <QUrl>

#include <functional>
#include <memory>

using namespace vorn;
using vorn::test::HttpResponse;
using vorn::test::HttpTestServer;

namespace {

constexpr qint64 kMiB = 1024 * 1024;

// Waits for the reply's one final signal and checks that no second one follows.
bool finishes(NetworkReply* reply, int timeoutMs = 30000)
{
    QSignalSpy finished(reply, &NetworkReply::finished);
    if (!finished.wait(timeoutMs))
        return false;
    QTest::qWait(50);
    return finished.count() == 1;
}

// Fetches url count times, four requests in flight as the engine keeps them; true when every
// request completed.
bool fetchAll(NetworkService& service, const QUrl& url, int count)
{
    int started = 0;
    int finished = 0;
    bool ok = true;
    QEventLoop loop;
    std::function<void()> startOne = [&] {
        NetworkReply* reply = service.get(url, 15000, kMiB);
        ++started;
        QObject::connect(reply, &NetworkReply::finished, &loop, [&, reply] {
            ok = ok && reply->complete();
            reply->deleteLater();
            if (++finished == count)
                loop.quit();
            else if (started < count)
                startOne();
        });
    };
    for (int i = 0; i < qMin(4, count); ++i)
        startOne();
    QTimer::singleShot(120000, &loop, &QEventLoop::quit);
    loop.exec();
    return ok && finished == count;
}

} // namespace

class TestNetworkService final : public QObject
{
    Q_OBJECT

    HttpTestServer m_server;

    QUrl url(const QString& path, const QString& host = QStringLiteral("127.0.0.1")) const
    {
        return QUrl(m_server.url(path, host));
    }

private slots:
    void initTestCase()
    {
        QString error;
        QVERIFY2(m_server.start(&error), qPrintable(error));
        m_server.on("/ok", HttpResponse::text(200, "hello"));
        m_server.on("/big", HttpResponse::ofSize(300000));
        m_server.on("/2mib", HttpResponse::ofSize(2 * kMiB));
        m_server.on("/4mib", HttpResponse::ofSize(4 * kMiB));
        HttpResponse stalled = HttpResponse::ofSize(1000);
        stalled.stallAfterBytes = 10;
        stalled.stallMs = 3000;
        m_server.on("/stall", stalled);
        stalled.stallMs = -1;
        m_server.on("/silent", stalled);
        HttpResponse slow = HttpResponse::text(200, "late");
        slow.delayMs = 400;
        m_server.on("/slow", slow);
        HttpResponse trickle = HttpResponse::text(200, QByteArray(40, 't'));
        trickle.trickle = HttpResponse::Trickle::Body;
        trickle.trickleMs = 100; // four seconds for the whole body, never idle
        m_server.on("/trickle", trickle);
    }

    void urlPolicy_data()
    {
        QTest::addColumn<QString>("address");
        QTest::addColumn<bool>("allowed");
        QTest::newRow("127.0.0.1") << "http://127.0.0.1:%1/ok" << true;
        QTest::newRow("localhost") << "http://localhost:%1/ok" << true;
        QTest::newRow("upper-case scheme and host") << "HTTP://LOCALHOST:%1/ok" << true;
        QTest::newRow("other host") << "http://example.invalid:%1/ok" << false;
        QTest::newRow("other loopback address") << "http://127.0.0.2:%1/ok" << false;
        QTest::newRow("other scheme") << "ftp://127.0.0.1:%1/ok" << false;
        QTest::newRow("no host") << "http:/ok" << false;
        QTest::newRow("relative") << "ok?port=%1" << false;
    }
    void urlPolicy()
    {
        QFETCH(QString, address);
        QFETCH(bool, allowed);
        NetworkService service;
        m_server.clearRequests();
        NetworkReply* reply = service.get(QUrl(address.arg(m_server.port())), 5000, kMiB);
        QVERIFY(finishes(reply));
        if (allowed) {
            QCOMPARE(reply->errorString(), QString());
            QCOMPARE(reply->body(), QByteArray("hello"));
            QVERIFY(reply->complete());
        } else {
            QCOMPARE(reply->errorString(), QStringLiteral("Only HTTPS update URLs are allowed"));
            QCOMPARE(reply->statusCode(), 0);
            QVERIFY(!reply->complete());
            QVERIFY(m_server.requests().isEmpty());
        }
    }

    // TLS 1.2 and newer are offered: a server that insists on 1.3 is reached too. An extra
    // authority is trusted only when the service is told so; the environment variable that
    // the tools read adds nothing here.
    void tlsVersions_data()
    {
        QTest::addColumn<int>("protocol");
        QTest::addColumn<bool>("trusted");
        QTest::addColumn<bool>("reachable");
        QTest::newRow("1.2") << int(QSsl::TlsV1_2) << true << true;
        QTest::newRow("1.3 only") << int(QSsl::TlsV1_3OrLater) << true << true;
        QTest::newRow("authority only in the environment") << int(QSsl::TlsV1_2) << false << false;
    }
    void tlsVersions()
    {
        QFETCH(int, protocol);
        QFETCH(bool, trusted);
        QFETCH(bool, reachable);
        QTemporaryDir folder;
        vorn::test::TestCertificates certificates;
        QString error;
        QVERIFY2(certificates.create(folder.path(), &error), qPrintable(error));
        HttpTestServer server;
        QVERIFY2(server.startTls(certificates, QSsl::SslProtocol(protocol), &error), qPrintable(error));
        server.on("/ok", HttpResponse::text(200, "secure"));
        qputenv("VORN_CA_BUNDLE", certificates.authorityFile().toUtf8());
        NetworkService service;
        if (trusted)
            service.setExtraCertificateAuthorities(certificates.authorityFile());
        NetworkReply* reply = service.get(QUrl(server.url(QStringLiteral("/ok"), QStringLiteral("localhost"))),
                                          5000, kMiB);
        QVERIFY(finishes(reply));
        qunsetenv("VORN_CA_BUNDLE");
        QCOMPARE(reply->complete(), reachable);
        QCOMPARE(reply->body(), reachable ? QByteArray("secure") : QByteArray());
        QCOMPARE(reply->statusCode(), reachable ? 200 : 0);
    }

    // A run of small downloads from one server keeps its few connections, over TLS too, and
    // an HTTP/2 server's one connection; a changed proxy or trust setting never reuses a
    // connection opened under the old one. Were the old connection reused, a server no longer
    // trusted would still be reached through it.
    void connectionsAreReusedUntilTheSettingsChange_data()
    {
        QTest::addColumn<bool>("http2");
        QTest::addColumn<QString>("change");
        QTest::newRow("nothing") << false << "nothing";
        QTest::newRow("proxy") << false << "proxy";
        QTest::newRow("authorities") << false << "authorities";
        QTest::newRow("authorities that do not trust the server") << false << "untrusted";
        QTest::newRow("HTTP/2, nothing") << true << "nothing";
        QTest::newRow("HTTP/2, proxy") << true << "proxy";
        QTest::newRow("HTTP/2, authorities") << true << "authorities";
        QTest::newRow("HTTP/2, authorities that do not trust the server") << true << "untrusted";
    }
    void connectionsAreReusedUntilTheSettingsChange()
    {
        QFETCH(bool, http2);
        QFETCH(QString, change);
        QTemporaryDir folder;
        vorn::test::TestCertificates certificates;
        QString error;
        QVERIFY2(certificates.create(folder.filePath(QStringLiteral("tls")), &error), qPrintable(error));
        HttpTestServer server;
        vorn::test::NginxProcess nginx;
        QUrl object;
        std::function<int()> connections;
        std::function<int()> answered;
        if (http2) {
            const QString root = folder.filePath(QStringLiteral("root"));
            QVERIFY(QDir().mkpath(root));
            QFile file(root + QStringLiteral("/object"));
            QVERIFY(file.open(QIODevice::WriteOnly));
            file.write(vorn::test::patternBody(65536));
            file.close();
            QVERIFY2(nginx.start(root, certificates, true, &error), qPrintable(error));
            object = QUrl(nginx.baseUrl() + QStringLiteral("object"));
            connections = [&nginx] { return nginx.connectionCount(); };
            answered = [&nginx] { return int(nginx.requests().size()); };
        } else {
            QVERIFY2(server.startTls(certificates, QSsl::TlsV1_2, &error), qPrintable(error));
            server.setKeepAlive(true);
            server.on("/object", HttpResponse::ofSize(65536));
            object = QUrl(server.url(QStringLiteral("/object"), QStringLiteral("localhost")));
            connections = [&server] { return server.connectionCount(); };
            answered = [&server] { return int(server.requests().size()); };
        }
        NetworkService service;
        ProxySettings direct;
        direct.mode = ProxyMode::Direct;
        service.setProxySettings(direct);
        service.setExtraCertificateAuthorities(certificates.authorityFile());

        QVERIFY(fetchAll(service, object, 200));
        // nginx logs a request just after answering it.
        QTRY_COMPARE_WITH_TIMEOUT(answered(), 200, 30000);
        const int opened = connections();
        if (http2)
            QCOMPARE(opened, 1);
        else
            QVERIFY2(opened >= 1 && opened <= 4, qPrintable(QString::number(opened)));

        if (change == QLatin1String("proxy")) {
            ProxySettings system; // no proxy in the environment: the same direct route
            system.mode = ProxyMode::System;
            service.setProxySettings(system);
        } else if (change == QLatin1String("authorities")) {
            const QString copy = folder.filePath(QStringLiteral("other-authorities.pem"));
            QVERIFY(QFile::copy(certificates.authorityFile(), copy));
            service.setExtraCertificateAuthorities(copy);
        } else if (change == QLatin1String("untrusted")) {
            vorn::test::TestCertificates other;
            QVERIFY2(other.create(folder.filePath(QStringLiteral("other")), &error), qPrintable(error));
            service.setExtraCertificateAuthorities(other.authorityFile());
        }
        if (change == QLatin1String("untrusted")) {
            for (int i = 0; i < 3; ++i) {
                NetworkReply* reply = service.get(object, 15000, kMiB);
                QVERIFY(finishes(reply));
                QVERIFY(!reply->complete());
                QCOMPARE(reply->statusCode(), 0);
            }
            QCOMPARE(answered(), 200);
            return;
        }
        QVERIFY(fetchAll(service, object, 20));
        QTRY_COMPARE_WITH_TIMEOUT(answered(), 220, 30000);
        if (http2)
            QCOMPARE(connections(), change == QLatin1String("nothing") ? 1 : 2);
        else
            QCOMPARE(connections() > opened, change != QLatin1String("nothing"));
    }

    // Requests started together: an HTTP/2 server gets them all as streams of one connection,
    // an HTTP/1.1 one needs a connection for each that runs at the same time. Every reply tells
    // which protocol answered it.
    void concurrentRequestsAndTheServersProtocol_data()
    {
        QTest::addColumn<bool>("http2");
        QTest::newRow("HTTP/2") << true;
        QTest::newRow("HTTP/1.1 only") << false;
    }
    void concurrentRequestsAndTheServersProtocol()
    {
        QFETCH(bool, http2);
        QTemporaryDir folder;
        vorn::test::TestCertificates certificates;
        QString error;
        QVERIFY2(certificates.create(folder.filePath(QStringLiteral("tls")), &error), qPrintable(error));
        const QString root = folder.filePath(QStringLiteral("root"));
        QVERIFY(QDir().mkpath(root));
        constexpr int kRequests = 24;
        for (int i = 0; i < kRequests; ++i) {
            QFile file(QStringLiteral("%1/%2.bin").arg(root).arg(i));
            QVERIFY(file.open(QIODevice::WriteOnly));
            file.write(QByteArray(4096 + i, char('a' + i)));
        }
        vorn::test::NginxProcess nginx;
        QVERIFY2(nginx.start(root, certificates, http2, &error), qPrintable(error));
        NetworkService service;
        service.setExtraCertificateAuthorities(certificates.authorityFile());
        QList<NetworkReply*> replies;
        int finished = 0;
        for (int i = 0; i < kRequests; ++i) {
            replies << service.get(QUrl(nginx.baseUrl() + QStringLiteral("%1.bin").arg(i)), 10000, kMiB);
            connect(replies.last(), &NetworkReply::finished, this, [&] { ++finished; });
        }
        QTRY_COMPARE_WITH_TIMEOUT(finished, kRequests, 30000);
        for (int i = 0; i < kRequests; ++i) {
            QVERIFY2(replies[i]->complete(), qPrintable(replies[i]->errorString()));
            QCOMPARE(replies[i]->body(), QByteArray(4096 + i, char('a' + i)));
            QCOMPARE(replies[i]->httpVersion(), http2 ? 20 : 11);
        }
        for (const auto& request : nginx.requests())
            QCOMPARE(request.protocol, http2 ? QStringLiteral("HTTP/2.0") : QStringLiteral("HTTP/1.1"));
        if (http2)
            QCOMPARE(nginx.connectionCount(), 1);
        else
            QVERIFY2(nginx.connectionCount() > 1, qPrintable(QString::number(nginx.connectionCount())));
    }

    // A transfer that stops before its body's end leaves those bytes on its connection; a
    // request that reused it would take them for its own answer.
    void aConnectionLeftMidAnswerIsNotReused_data()
    {
        QTest::addColumn<QString>("path");
        QTest::addColumn<qint64>("maxBytes");
        QTest::newRow("larger than allowed") << "/big" << qint64(299999);
        QTest::newRow("error status") << "/missing" << kMiB;
    }
    void aConnectionLeftMidAnswerIsNotReused()
    {
        QFETCH(QString, path);
        QFETCH(qint64, maxBytes);
        HttpTestServer server;
        QString error;
        QVERIFY2(server.start(&error), qPrintable(error));
        server.setKeepAlive(true);
        server.on("/big", HttpResponse::ofSize(300000));
        server.on("/missing", HttpResponse::text(404, QByteArray(200000, 'x')));
        server.on("/ok", HttpResponse::text(200, "hello"));
        NetworkService service;
        for (int round = 0; round < 3; ++round) {
            NetworkReply* cut = service.get(QUrl(server.url(path)), 5000, maxBytes);
            QVERIFY(finishes(cut));
            QVERIFY(!cut->complete());
            NetworkReply* next = service.get(QUrl(server.url(QStringLiteral("/ok"))), 5000, kMiB);
            QVERIFY(finishes(next));
            QVERIFY2(next->complete(), qPrintable(next->errorString()));
            QCOMPARE(next->body(), QByteArray("hello"));
        }
        // Fewer connections than requests: the cut ones did go over reused connections.
        QVERIFY(server.connectionCount() < 6);
    }

    // The global pool is sized by the cores and shared with CPU work; a one-core machine must
    // still have both engines' four requests each in flight.
    void requestsDoNotWaitForTheGlobalPool()
    {
        const int globalThreads = QThreadPool::globalInstance()->maxThreadCount();
        const auto restore = qScopeGuard(
            [globalThreads] { QThreadPool::globalInstance()->setMaxThreadCount(globalThreads); });
        QThreadPool::globalInstance()->setMaxThreadCount(1);
        NetworkService service;
        service.setMinimumPace(0, 1, 0);
        m_server.clearRequests();
        QList<NetworkReply*> replies;
        int finished = 0;
        for (int i = 0; i < 8; ++i) {
            replies << service.get(url(QStringLiteral("/silent")), 600000, kMiB);
            connect(replies.last(), &NetworkReply::finished, this, [&] { ++finished; });
        }
        // None of them ever completes, so the server seeing eight means eight at once.
        QTRY_COMPARE_WITH_TIMEOUT(m_server.requests("/silent").size(), 8, 30000);
        for (NetworkReply* reply : qAsConst(replies))
            reply->cancel();
        QTRY_COMPARE_WITH_TIMEOUT(finished, 8, 30000);
        for (NetworkReply* reply : qAsConst(replies))
            QCOMPARE(reply->errorString(), QStringLiteral("Request cancelled"));
    }

    void progressThenOneFinished()
    {
        NetworkService service;
        NetworkReply* reply = service.get(url(QStringLiteral("/big")), 5000, kMiB);
        QCOMPARE(reply->parent(), &service);
        QVERIFY(reply->body().isEmpty() && reply->statusCode() == 0 && !reply->complete());
        QList<qint64> received;
        bool progressAfterFinish = false;
        bool finishedSeen = false;
        connect(reply, &NetworkReply::downloadProgress, this, [&](qint64 got, qint64 total) {
            progressAfterFinish = progressAfterFinish || finishedSeen;
            received.append(got);
            QCOMPARE(total, qint64(300000));
        });
        connect(reply, &NetworkReply::finished, this, [&] { finishedSeen = true; });
        QVERIFY(finishes(reply));
        QVERIFY(!progressAfterFinish);
        QVERIFY(!received.isEmpty());
        QVERIFY(std::is_sorted(received.begin(), received.end()));
        QCOMPARE(received.last(), qint64(300000));
        QCOMPARE(reply->statusCode(), 200);
        QCOMPARE(reply->body(), vorn::test::patternBody(300000));
        QCOMPARE(reply->bodySha256(), Sha256::hash(reply->body()));
    }

    void failures_data()
    {
        QTest::addColumn<QString>("path");
        QTest::addColumn<int>("timeoutMs");
        QTest::addColumn<qint64>("maxBytes");
        QTest::addColumn<QString>("error");
        QTest::addColumn<int>("status");
        QTest::addColumn<bool>("timedOut");
        QTest::newRow("missing") << "/missing" << 5000 << kMiB << "HTTP 404" << 404 << false;
        QTest::newRow("too large") << "/big" << 5000 << qint64(299999)
                                   << "Response is larger than the allowed limit" << 200 << false;
        QTest::newRow("stalled") << "/stall" << 1000 << kMiB << QString() << 200 << true;
        QTest::newRow("past the service's deadline") << "/trickle" << 30000 << qint64(40) << QString() << 200 << true;
    }
    void failures()
    {
        QFETCH(QString, path);
        QFETCH(int, timeoutMs);
        QFETCH(qint64, maxBytes);
        QFETCH(QString, error);
        QFETCH(int, status);
        QFETCH(bool, timedOut);
        NetworkService service;
        // Half a second for the whole request, and a pace window longer than the test, so only
        // the deadline the service was given can end the trickle.
        if (path == QLatin1String("/trickle"))
            service.setMinimumPace(1000, 600000, 500);
        NetworkReply* reply = service.get(url(path), timeoutMs, maxBytes);
        QVERIFY(finishes(reply));
        if (!error.isEmpty())
            QCOMPARE(reply->errorString(), error);
        QVERIFY(!reply->errorString().isEmpty());
        QCOMPARE(reply->statusCode(), status);
        QCOMPARE(reply->timedOut(), timedOut);
        QVERIFY(!reply->complete());
        QVERIFY(reply->bodySha256().isEmpty());
        if (status == 404)
            QVERIFY(reply->body().isEmpty());
    }

    void proxySettingsAreTakenWhenTheRequestStarts()
    {
        HttpTestServer proxy;
        QVERIFY(proxy.start());
        proxy.on("/ok", HttpResponse::text(200, "through the proxy"));
        NetworkService service;
        ProxySettings manual;
        manual.mode = ProxyMode::ManualHttp;
        manual.host = QStringLiteral("127.0.0.1");
        manual.port = proxy.port();
        service.setProxySettings(manual);
        QCOMPARE(service.proxySettings(), manual);
        NetworkReply* viaProxy = service.get(url(QStringLiteral("/ok"), QStringLiteral("localhost")),
                                             5000, kMiB);
        ProxySettings direct;
        direct.mode = ProxyMode::Direct;
        service.setProxySettings(direct);
        NetworkReply* directly = service.get(url(QStringLiteral("/ok"), QStringLiteral("localhost")),
                                             5000, kMiB);
        QVERIFY(finishes(viaProxy));
        QVERIFY(directly->complete() || finishes(directly));
        QCOMPARE(viaProxy->body(), QByteArray("through the proxy"));
        QCOMPARE(proxy.requests().value(0).target,
                 QStringLiteral("http://localhost:%1/ok").arg(m_server.port()).toUtf8());
        QCOMPARE(directly->body(), QByteArray("hello"));
    }

    // Two downloads of 2 MiB under 1 MiB/s share one budget: together about four seconds.
    void parallelDownloadsShareTheLimit()
    {
        NetworkService service;
        service.setDownloadRateLimit(kMiB);
        QElapsedTimer clock;
        clock.start();
        NetworkReply* first = service.get(url(QStringLiteral("/2mib")), 15000, 4 * kMiB);
        NetworkReply* second = service.get(url(QStringLiteral("/2mib")), 15000, 4 * kMiB);
        QVERIFY(finishes(first));
        QVERIFY(second->complete() || finishes(second));
        const double seconds = clock.elapsed() / 1000.0;
        QVERIFY(first->complete() && second->complete());
        QCOMPARE(first->body().size(), int(2 * kMiB));
        const double rate = 4.0 / seconds; // MiB/s
        qInfo("two downloads: 4 MiB in %.2f s, %.3f MiB/s", seconds, rate);
        QVERIFY2(seconds >= 3.0, qPrintable(QString::number(seconds)));
        QVERIFY2(rate > 0.8 && rate < 1.2, qPrintable(QString::number(rate)));
    }

    void liftingTheLimitUnpacesRunningRequests()
    {
        NetworkService service;
        service.setDownloadRateLimit(kMiB / 2);
        NetworkReply* reply = service.get(url(QStringLiteral("/4mib")), 15000, 8 * kMiB);
        QSignalSpy progress(reply, &NetworkReply::downloadProgress);
        QVERIFY(progress.wait(5000));
        QElapsedTimer clock;
        clock.start();
        service.setDownloadRateLimit(0);
        QVERIFY(finishes(reply));
        QVERIFY(reply->complete());
        // Paced, the rest would take about eight seconds.
        QVERIFY2(clock.elapsed() < 4000, qPrintable(QString::number(clock.elapsed())));
    }

    void cancelDuringALimiterWait()
    {
        NetworkService service;
        service.setDownloadRateLimit(64 * 1024); // every further read waits about a second
        NetworkReply* reply = service.get(url(QStringLiteral("/4mib")), 15000, 8 * kMiB);
        QElapsedTimer sinceCancel;
        qint64 cancelToFinishedMs = -1;
        connect(reply, &NetworkReply::downloadProgress, this, [&] {
            if (!sinceCancel.isValid()) {
                reply->cancel();
                sinceCancel.start();
            }
        });
        connect(reply, &NetworkReply::finished, this,
                [&] { cancelToFinishedMs = sinceCancel.elapsed(); });
        QVERIFY(finishes(reply));
        QVERIFY(sinceCancel.isValid());
        QCOMPARE(reply->errorString(), QStringLiteral("Request cancelled"));
        QVERIFY(!reply->complete());
        qInfo("cancelled request finished %lld ms after cancel()", cancelToFinishedMs);
        QVERIFY2(cancelToFinishedMs >= 0 && cancelToFinishedMs < 600,
                 qPrintable(QString::number(cancelToFinishedMs)));
    }

    void aDeletedReplyNeverEmits()
    {
        NetworkService service;
        int signalsSeen = 0;
        for (bool cancelFirst : {true, false}) {
            NetworkReply* reply = service.get(url(QStringLiteral("/slow")), 5000, kMiB);
            connect(reply, &NetworkReply::finished, this, [&] { ++signalsSeen; });
            connect(reply, &NetworkReply::downloadProgress, this, [&] { ++signalsSeen; });
            if (cancelFirst)
                reply->cancel();
            delete reply;
        }
        NetworkReply* sibling = service.get(url(QStringLiteral("/slow")), 5000, kMiB);
        QVERIFY(finishes(sibling));
        QCOMPARE(sibling->body(), QByteArray("late"));
        QVERIFY(NetworkService::transferPool()->waitForDone(10000));
        QTest::qWait(50);
        QCOMPARE(signalsSeen, 0);
    }

    // Leaving the program waits for the transfer pool; a request to a server that has gone
    // silent would hold it until its own, distant time-out.
    void deletingTheServiceStopsItsRequests()
    {
        QVERIFY(NetworkService::transferPool()->waitForDone(10000));
        auto service = std::make_unique<NetworkService>();
        service->setMinimumPace(0, 1, 0); // only the idle time-out, ten minutes away
        QSignalSpy progress(service->get(url(QStringLiteral("/silent")), 600000, kMiB),
                            &NetworkReply::downloadProgress);
        QVERIFY(progress.wait(5000));
        service.reset();
        QVERIFY(NetworkService::transferPool()->waitForDone(60000));
    }

    void aServiceDeletedMidRequestIsLeftAlone()
    {
        auto service = std::make_unique<NetworkService>();
        QPointer<NetworkReply> reply = service->get(url(QStringLiteral("/slow")), 5000, kMiB);
        service.reset();
        QVERIFY(reply.isNull());
        QVERIFY(NetworkService::transferPool()->waitForDone(10000));
        QTest::qWait(50);
    }
};

QTEST_GUILESS_MAIN(TestNetworkService)
#include "tst_network_service.moc"
