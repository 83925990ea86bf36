#include "core/manifest.h"
#include "core/repository_layout.h"
#include "core/sha256.h"
#include "publish/publisher.h"
#include "tests/support/http_test_server.h"

#include <QDir>
#include <QProcess>
#include <QTemporaryDir>
#include <QtTest>

using namespace vorn;
using vorn::test::HttpResponse;
using vorn::test::HttpTestServer;

namespace {

QByteArray readFile(const QString& path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

bool writeFile(const QString& path, const QByteArray& bytes)
{
    QFile file(path);
    return file.open(QIODevice::WriteOnly) && file.write(bytes) == bytes.size();
}

bool hasControlCharacters(const QByteArray& text)
{
    for (const char c : text) {
        if ((uchar(c) < 0x20 && c != '\n') || uchar(c) == 0x7f)
            return true;
    }
    return false;
}

} // namespace

class TestVornUpdate final : public QObject
{
    Q_OBJECT

    QTemporaryDir m_dir;
    publish::ReleaseKey m_key;
    Manifest m_manifest;
    QString m_repo;

    QByteArray sign(const QByteArray& data)
    {
        QByteArray signature;
        QString error;
        if (!publish::signBytes(m_key, data, &signature, &error))
            qFatal("%s", qPrintable(error));
        return signature;
    }

    // The published release under another ID, signed, with its objects.
    void serveRelease(HttpTestServer& server, const QString& releaseId)
    {
        Manifest manifest = m_manifest;
        manifest.releaseId = releaseId;
        const QByteArray json = manifestToJson(manifest);
        const QByteArray pointer
            = publish::channelPointerJson(releaseId, QStringLiteral("manifests/m.json"), Sha256::hash(json));
        server.on("/channels/live.json", HttpResponse::text(200, pointer));
        server.on("/channels/live.sig", HttpResponse::text(200, sign(pointer)));
        server.on("/manifests/m.json", HttpResponse::text(200, json));
        server.on("/manifests/m.sig", HttpResponse::text(200, sign(json)));
        for (const ManifestFile& file : manifest.files) {
            for (const ManifestChunk& chunk : file.chunks) {
                const QString path = objectRelativePath(chunk.blobSha256);
                server.on("/" + path.toUtf8(), HttpResponse::text(200, readFile(m_repo + "/" + path)));
            }
        }
    }

private slots:
    void initTestCase()
    {
        const QString keys = m_dir.filePath(QStringLiteral("keys"));
        QString error;
        QVERIFY2(publish::generateKeyFiles(keys, 2048, &error), qPrintable(error));
        std::string failure;
        QVERIFY(publish::loadPrivateKeyFile((keys + QStringLiteral("/release-private.pem")).toStdString(),
                                            &m_key, &failure));
        const QString source = m_dir.filePath(QStringLiteral("source"));
        QVERIFY(QDir().mkpath(source + QStringLiteral("/bin")));
        QVERIFY(writeFile(source + QStringLiteral("/bin/vorn.exe"), "game"));
        m_repo = m_dir.filePath(QStringLiteral("repo"));
        publish::ReleaseOptions options;
        options.sourceDir = source;
        options.repoDir = m_repo;
        options.privateKeyPath = keys + QStringLiteral("/release-private.pem");
        options.releaseId = QStringLiteral("r1");
        QVERIFY2(publish::publishRelease(options, nullptr, &error), qPrintable(error));
        QVERIFY(parseManifest(readFile(m_repo + QStringLiteral("/manifests/r1.json")), &m_manifest, &error));
    }

    void run_data()
    {
        QTest::addColumn<QByteArray>("key"); // "good", or the key file's bytes
        QTest::addColumn<QString>("releaseId");
        QTest::addColumn<bool>("checkOnly");
        QTest::addColumn<int>("exitCode");
        QTest::addColumn<QString>("expected"); // in stdout and stderr together
        QTest::addColumn<bool>("objectsRequested");
        QTest::newRow("empty key file") << QByteArray() << "r1" << true << 2 << "is empty" << false;
        QTest::newRow("key that is no key")
            << QByteArray("not a key blob") << "r1" << true << 2 << "Cannot import" << false;
        QTest::newRow("plain release") << QByteArray("good") << "r1" << true << 0 << "r1 none http" << false;
        // A server's text drives no terminal: escape sequences come out as question marks.
        QTest::newRow("release id with escapes")
            << QByteArray("good") << "r1\x1b]0;owned\x07\x1b[2J" << true << 0 << "r1?]0;owned??[2J none" << false;
        // Refused when it arrives, not after every object was fetched.
        QTest::newRow("release id that names no folder")
            << QByteArray("good") << "CON" << false << 1
            << "UPD-APPLY: Cannot create update transaction directory" << false;
        QTest::newRow("installs") << QByteArray("good") << "r1" << false << 0 << "installed r1" << true;
    }

    void run()
    {
        QFETCH(QByteArray, key);
        QFETCH(QString, releaseId);
        QFETCH(bool, checkOnly);
        QFETCH(int, exitCode);
        QFETCH(QString, expected);
        QFETCH(bool, objectsRequested);
        QTemporaryDir work;
        HttpTestServer server;
        QVERIFY(server.start());
        serveRelease(server, releaseId);
        const QString config = work.filePath(QStringLiteral("launcher.json"));
        QVERIFY(writeFile(config, QStringLiteral("{\"updateBaseUrls\": [\"%1\"]}")
                                      .arg(server.url(QStringLiteral("/")))
                                      .toUtf8()));
        const QString keyFile = work.filePath(QStringLiteral("public-key.blob"));
        QVERIFY(writeFile(keyFile, key == "good" ? readFile(m_dir.filePath(QStringLiteral("keys/public-key.blob")))
                                                 : key));
        QStringList arguments{QStringLiteral("--config"), config, QStringLiteral("--key"), keyFile,
                              QStringLiteral("--game-dir"), work.filePath(QStringLiteral("game")),
                              QStringLiteral("--cache-dir"), work.filePath(QStringLiteral("cache")),
                              QStringLiteral("--ignore-running-game"), QStringLiteral("--proxy"),
                              QStringLiteral("direct")};
        if (checkOnly)
            arguments << QStringLiteral("--check");
        QProcess update;
        update.start(QStringLiteral(VORN_UPDATE), arguments);
        QVERIFY(update.waitForFinished(60000));
        const QByteArray output = update.readAllStandardOutput() + update.readAllStandardError();
        QVERIFY2(output.contains(expected.toUtf8()), output.constData());
        QCOMPARE(update.exitCode(), exitCode);
        QVERIFY2(!hasControlCharacters(output), output.toHex().constData());
        bool requested = false;
        for (const auto& request : server.requests())
            requested = requested || request.path.startsWith("/objects/");
        QCOMPARE(requested, objectsRequested);
    }
};

QTEST_GUILESS_MAIN(TestVornUpdate)
#include "tst_vorn_update.moc"
