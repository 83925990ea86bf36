#include "core/manifest.h"
#include "core/sha256.h"
#include "publish/publisher.h"
#include "tests/support/game_process.h"
#include "tests/support/http_test_server.h"

#include <QProcess>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QtTest>

#ifdef Q_OS_UNIX
#include <sys/stat.h>
#endif

using namespace vorn;
using vorn::test::HttpResponse;
using vorn::test::HttpTestServer;

class TestVornUpdate final : public QObject
{
    Q_OBJECT

    QTemporaryDir m_dir;
    publish::ReleaseKey m_key;

    QString keyFile() const { return m_dir.filePath(QStringLiteral("keys/public-key.blob")); }

    QByteArray sign(const QByteArray& data)
    {
        QByteArray signature;
        QString error;
        if (!publish::signBytes(m_key, data, &signature, &error))
            qFatal("%s", qPrintable(error));
        return signature;
    }

    // A signed release of no files under any ID, which the publisher itself would refuse.
    void serveRelease(HttpTestServer& server, const QString& releaseId, qint64 sequence = 0,
                      bool holdManifest = false)
    {
        Manifest manifest;
        manifest.releaseId = releaseId;
        const QByteArray json = manifestToJson(manifest);
        const QByteArray pointer = publish::channelPointerJson(releaseId, QStringLiteral("m.json"),
                                                               Sha256::hash(json), sequence);
        server.on("/channels/live.json", HttpResponse::text(200, pointer));
        server.on("/channels/live.sig", HttpResponse::text(200, sign(pointer)));
        HttpResponse manifestResponse = HttpResponse::text(200, json);
        if (holdManifest)
            manifestResponse.stallAfterBytes = 0; // headers, then nothing until the client leaves
        server.on("/m.json", manifestResponse);
        server.on("/m.sig", HttpResponse::text(200, sign(json)));
    }

private slots:
    void initTestCase()
    {
        // vorn-update checks for a running game; a stand-in client of another test is not ours.
        (void)vorn::test::ownGameProcessName();
        QString error;
        QVERIFY2(publish::generateKeyFiles(m_dir.filePath(QStringLiteral("keys")), 2048, &error),
                 qPrintable(error));
        std::string failure;
        QVERIFY(publish::loadPrivateKeyFile(
            m_dir.filePath(QStringLiteral("keys/release-private.pem")).toStdString(), &m_key, &failure));
    }

    void check_data()
    {
        QTest::addColumn<QByteArray>("key"); // the key file's bytes; "good" for the real one
        QTest::addColumn<QString>("releaseId");
        QTest::addColumn<int>("exitCode");
        QTest::addColumn<QString>("expected"); // in stdout and stderr together
        QTest::newRow("empty key file") << QByteArray() << "r1" << 2 << "is empty";
        QTest::newRow("key that is no key") << QByteArray("not a key blob") << "r1" << 2 << "Cannot import";
        QTest::newRow("plain release") << QByteArray("good") << "r1" << 0 << "r1 none http";
        // A server's text drives no terminal: its control characters come out as question marks.
        QTest::newRow("release id with escapes")
            << QByteArray("good") << "r1\x1b]0;owned\x07\x1b[2J" << 0 << "r1?]0;owned??[2J none";
    }

    void check()
    {
        QFETCH(QByteArray, key);
        QFETCH(QString, releaseId);
        QFETCH(int, exitCode);
        QFETCH(QString, expected);
        QTemporaryDir work;
        HttpTestServer server;
        QVERIFY(server.start());
        serveRelease(server, releaseId);
        QFile config(work.filePath(QStringLiteral("launcher.json")));
        QFile keyCopy(work.filePath(QStringLiteral("public-key.blob")));
        QFile goodKey(keyFile());
        QVERIFY(config.open(QIODevice::WriteOnly) && keyCopy.open(QIODevice::WriteOnly)
                && goodKey.open(QIODevice::ReadOnly));
        config.write(QStringLiteral("{\"updateBaseUrls\": [\"%1\"]}").arg(server.url(QStringLiteral("/"))).toUtf8());
        keyCopy.write(key == "good" ? goodKey.readAll() : key);
        config.close();
        keyCopy.close();

        QProcess update;
        update.start(QStringLiteral(VORN_UPDATE),
                     {QStringLiteral("--config"), config.fileName(), QStringLiteral("--key"), keyCopy.fileName(),
                      QStringLiteral("--game-dir"), work.filePath(QStringLiteral("game")),
                      QStringLiteral("--proxy"), QStringLiteral("direct"), QStringLiteral("--check")});
        QVERIFY(update.waitForFinished(60000));
        const QString output = QString::fromUtf8(update.readAllStandardOutput() + update.readAllStandardError());
        QVERIFY2(output.contains(expected), qPrintable(output));
        QCOMPARE(update.exitCode(), exitCode);
        QVERIFY2(!output.contains(QRegularExpression(QStringLiteral("[\\x00-\\x09\\x0b-\\x1f\\x7f]"))),
                 output.toUtf8().toHex().constData());
        QCOMPARE(server.requests().isEmpty(), exitCode == 2);
    }

    // SIGTERM ends vorn-update as cancelled whatever it waits for: its own files, where a FIFO
    // could stand in for one, are never waited on, and a server that holds its answer is left.
    void terminationEndsAnyWait_data()
    {
        QTest::addColumn<QString>("fifo"); // below the work folder; empty: none
        QTest::newRow("FIFO as the record of the newest pointer") << "game/.vorn/channel-sequence.json";
        QTest::newRow("FIFO as the installed manifest") << "game/.vorn/installed-manifest.json";
        QTest::newRow("FIFO as the kept manifest") << "cache/manifest/game/manifest.json";
        QTest::newRow("a server holding the manifest") << "";
    }

    void terminationEndsAnyWait()
    {
#ifdef Q_OS_UNIX
        QFETCH(QString, fifo);
        QTemporaryDir work;
        HttpTestServer server;
        QVERIFY(server.start());
        serveRelease(server, QStringLiteral("r1"), 1, true);
        QVERIFY(QDir().mkpath(work.filePath(QStringLiteral("game/.vorn")))
                && QDir().mkpath(work.filePath(QStringLiteral("cache/manifest/game"))));
        if (!fifo.isEmpty())
            QCOMPARE(::mkfifo(QFile::encodeName(work.filePath(fifo)).constData(), 0600), 0);
        QFile config(work.filePath(QStringLiteral("launcher.json")));
        QVERIFY(config.open(QIODevice::WriteOnly));
        config.write(QStringLiteral("{\"updateBaseUrls\": [\"%1\"]}").arg(server.url(QStringLiteral("/"))).toUtf8());
        config.close();

        QProcess update;
        update.start(QStringLiteral(VORN_UPDATE),
                     {QStringLiteral("--config"), config.fileName(), QStringLiteral("--key"), keyFile(),
                      QStringLiteral("--game-dir"), work.filePath(QStringLiteral("game")),
                      QStringLiteral("--cache-dir"), work.filePath(QStringLiteral("cache")),
                      QStringLiteral("--proxy"), QStringLiteral("direct"), QStringLiteral("--check"),
                      QStringLiteral("--retry")});
        // Past every file of its own, waiting for the server: the generous bound only ends a
        // run that waits on a FIFO instead.
        QTRY_VERIFY_WITH_TIMEOUT(!server.requests("/m.json").isEmpty(), 60000);
        update.terminate();
        QVERIFY(update.waitForFinished(60000));
        QCOMPARE(update.exitStatus(), QProcess::NormalExit);
        QCOMPARE(update.exitCode(), 130);
#else
        QSKIP("FIFOs and SIGTERM are POSIX matters");
#endif
    }

    // With r2 (sequence 2) installed, a server replaying r1's validly signed pointer and
    // manifest installs nothing: the next server is asked, and alone it fails the check. The
    // installed manifest alone still refuses r1 once the record beside it is gone.
    void replayedOlderReleaseIsRefused()
    {
        QTemporaryDir work;
        HttpTestServer current;
        HttpTestServer stale;
        QVERIFY(current.start() && stale.start());
        serveRelease(current, QStringLiteral("r2"), 2);
        serveRelease(stale, QStringLiteral("r1"), 1);
        const QString game = work.filePath(QStringLiteral("game"));
        const auto run = [&](const QList<HttpTestServer*>& servers, const QStringList& extra, QString* output) {
            QStringList urls;
            for (HttpTestServer* server : servers)
                urls << QStringLiteral("\"%1\"").arg(server->url(QStringLiteral("/")));
            QFile config(work.filePath(QStringLiteral("launcher.json")));
            if (!config.open(QIODevice::WriteOnly | QIODevice::Truncate))
                return -1;
            config.write(QStringLiteral("{\"updateBaseUrls\": [%1]}").arg(urls.join(QLatin1Char(','))).toUtf8());
            config.close();
            QProcess update;
            update.start(QStringLiteral(VORN_UPDATE),
                         QStringList{QStringLiteral("--config"), config.fileName(), QStringLiteral("--key"), keyFile(),
                                     QStringLiteral("--game-dir"), game, QStringLiteral("--proxy"), QStringLiteral("direct")}
                             + extra);
            if (!update.waitForFinished(60000))
                return -1;
            *output = QString::fromUtf8(update.readAllStandardOutput() + update.readAllStandardError());
            return update.exitCode();
        };
        const QString refused = QStringLiteral("Release pointer is older than one already seen");
        QString output;
        QCOMPARE(run({&current}, {}, &output), 0);
        QVERIFY2(output.contains(QLatin1String("installed r2")), qPrintable(output));
        QCOMPARE(run({&stale}, {QStringLiteral("--check")}, &output), 3);
        QVERIFY2(output.contains(refused), qPrintable(output));
        QCOMPARE(run({&stale}, {}, &output), 3);
        QFile installed(game + QStringLiteral("/.vorn/installed-manifest.json"));
        Manifest manifest;
        QVERIFY(installed.open(QIODevice::ReadOnly) && parseManifest(installed.readAll(), &manifest));
        QCOMPARE(manifest.releaseId, QStringLiteral("r2"));
        QCOMPARE(run({&stale, &current}, {}, &output), 0);
        QVERIFY2(output.contains(QLatin1String("up to date: r2")), qPrintable(output));
        QVERIFY(stale.requests("/m.json").isEmpty());

        QVERIFY(QFile::remove(game + QStringLiteral("/.vorn/channel-sequence.json")));
        QCOMPARE(run({&stale}, {QStringLiteral("--check")}, &output), 3);
        QVERIFY2(output.contains(refused), qPrintable(output));
    }

    // Installed where its user cannot write (a package, a folder of root's), vorn-update
    // checks and installs without --cache-dir: its cache goes to the user's cache folder, and
    // nothing is written beside the program. Root writes into any folder, so the test hook
    // stands in for the folder's permissions.
    void readOnlyProgramFolder_data()
    {
        QTest::addColumn<QStringList>("arguments");
        // XDG_CACHE_HOME: "UNSET" leaves it out, a path with a slash is passed as it stands
        // (relative), a plain name is a folder below the work folder.
        QTest::addColumn<QString>("cacheHome");
        QTest::addColumn<QString>("cache");     // below the user's folder
        QTest::addColumn<QString>("expected");  // in stdout and stderr together
        QTest::newRow("check, variable unset")
            << QStringList{QStringLiteral("--check")} << "UNSET" << "home/.cache/vorn-update" << "r1 none http";
        QTest::newRow("install, variable set")
            << QStringList{QStringLiteral("--verbose")} << "xdg-cache" << "xdg-cache/vorn-update"
            << "folder is read-only; the cache is";
        QTest::newRow("install, relative variable")
            << QStringList() << "relative/cache" << "home/.cache/vorn-update" << "installed r1";
    }

    void readOnlyProgramFolder()
    {
        QFETCH(QStringList, arguments);
        QFETCH(QString, cacheHome);
        QFETCH(QString, cache);
        QFETCH(QString, expected);
        QTemporaryDir work;
        HttpTestServer server;
        QVERIFY(server.start());
        serveRelease(server, QStringLiteral("r1"), 1);
        QFile config(work.filePath(QStringLiteral("launcher.json")));
        QVERIFY(config.open(QIODevice::WriteOnly));
        config.write(QStringLiteral("{\"updateBaseUrls\": [\"%1\"]}").arg(server.url(QStringLiteral("/"))).toUtf8());
        config.close();
        const QString bin = work.filePath(QStringLiteral("bin"));
        const QString program = bin + QStringLiteral("/vorn-update");
        QVERIFY(QDir().mkpath(bin) && QFile::copy(QStringLiteral(VORN_UPDATE), program));

        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        environment.insert(QStringLiteral("VORN_TEST_READONLY_PROGRAM_DIR"), QStringLiteral("1"));
        environment.insert(QStringLiteral("HOME"), work.filePath(QStringLiteral("home")));
        environment.remove(QStringLiteral("XDG_CACHE_HOME"));
        if (cacheHome != QLatin1String("UNSET"))
            environment.insert(QStringLiteral("XDG_CACHE_HOME"),
                               QDir::isRelativePath(cacheHome) && cacheHome.contains(QLatin1Char('/'))
                                   ? cacheHome
                                   : work.filePath(cacheHome));
        QProcess update;
        update.setProcessEnvironment(environment);
        update.setWorkingDirectory(work.path());
        update.start(program, QStringList{QStringLiteral("--config"), config.fileName(), QStringLiteral("--key"),
                                          keyFile(), QStringLiteral("--game-dir"), work.filePath(QStringLiteral("game")),
                                          QStringLiteral("--proxy"), QStringLiteral("direct")}
                                  + arguments);
        QVERIFY(update.waitForFinished(60000));
        const QString output = QString::fromUtf8(update.readAllStandardOutput() + update.readAllStandardError());
        QVERIFY2(output.contains(expected), qPrintable(output));
        QCOMPARE(update.exitCode(), 0);
        QCOMPARE(QDir(bin).entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot),
                 QStringList{QStringLiteral("vorn-update")});
        QVERIFY2(QFileInfo(work.filePath(cache + QStringLiteral("/manifest/game/manifest.json"))).isFile(),
                 qPrintable(output));
        const bool installs = !arguments.contains(QStringLiteral("--check"));
        QCOMPARE(QFileInfo(work.filePath(QStringLiteral("game/.vorn/installed-manifest.json"))).isFile(), installs);
    }
};

QTEST_GUILESS_MAIN(TestVornUpdate)
#include "tst_vorn_update.moc"
