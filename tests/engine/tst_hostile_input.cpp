// What a hostile update server can send the engine: objects that unpack far beyond their
// chunk, and releases whose ID cannot name a folder.
#include "core/repository_layout.h"
#include "core/sha256.h"
#include "engine/update_engine.h"
#include "net/network_service.h"
#include "tests/support/http_test_server.h"

#include <QDir>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QtTest>

#include <sys/resource.h>
#include <zlib.h>

using namespace vorn;
using vorn::test::HttpResponse;
using vorn::test::HttpTestServer;

namespace {

// A valid object frame whose length prefix announces `declared` bytes while its stream unpacks
// to `inflated` zero bytes.
QByteArray inflateBomb(qint64 inflated, quint32 declared)
{
    QByteArray object(4, '\0');
    for (int i = 0; i < 4; ++i)
        object[i] = char(declared >> (24 - 8 * i));
    z_stream stream = {};
    if (deflateInit(&stream, Z_BEST_COMPRESSION) != Z_OK)
        return {};
    QByteArray zeros(1 << 20, '\0');
    QByteArray out(1 << 16, Qt::Uninitialized);
    for (qint64 left = inflated; left >= 0; left -= zeros.size()) {
        const bool last = left <= zeros.size();
        stream.next_in = reinterpret_cast<Bytef*>(zeros.data());
        stream.avail_in = uInt(last ? left : zeros.size());
        int status = Z_OK;
        do {
            stream.next_out = reinterpret_cast<Bytef*>(out.data());
            stream.avail_out = uInt(out.size());
            status = deflate(&stream, last ? Z_FINISH : Z_NO_FLUSH);
            object.append(out.constData(), out.size() - int(stream.avail_out));
        } while (stream.avail_out == 0 && status != Z_STREAM_END);
        if (last)
            break;
    }
    deflateEnd(&stream);
    return object;
}

qint64 peakResidentKiB()
{
    rusage usage = {};
    getrusage(RUSAGE_SELF, &usage);
    return usage.ru_maxrss;
}

Manifest oneFileRelease(const QString& releaseId, const QByteArray& plain, const QByteArray& object)
{
    ManifestChunk chunk;
    chunk.size = plain.size();
    chunk.sha256 = Sha256::hash(plain);
    chunk.blobSha256 = Sha256::hash(object);
    chunk.blobSize = object.size();
    ManifestFile file;
    file.path = QStringLiteral("data/bomb.bin");
    file.size = plain.size();
    file.sha256 = chunk.sha256;
    file.chunks = {chunk};
    Manifest manifest;
    manifest.releaseId = releaseId;
    manifest.files = {file};
    return manifest;
}

} // namespace

class TestHostileInput final : public QObject
{
    Q_OBJECT

    QScopedPointer<QTemporaryDir> m_work;
    HttpTestServer m_server;

    QString game() const { return m_work->filePath(QStringLiteral("game")); }

    // Serves the object, starts an install of the release and returns its failures so far.
    QList<QList<QVariant>> install(const Manifest& manifest, const QByteArray& object, int waitMs)
    {
        m_server.on(QByteArray("/") + objectRelativePath(Sha256::hash(object)).toUtf8(),
                    HttpResponse::text(200, object));
        NetworkService network;
        UpdateEngine engine(&network);
        engine.setCacheRoot(m_work->filePath(QStringLiteral("cache")));
        QSignalSpy failed(&engine, &UpdateEngine::failedDetailed);
        engine.start(manifest, m_server.url(QStringLiteral("/")), game(), false);
        if (failed.isEmpty())
            failed.wait(waitMs);
        return failed;
    }

private slots:
    void initTestCase() { QVERIFY(m_server.start()); }

    void init()
    {
        m_work.reset(new QTemporaryDir);
        m_server.clearRoutes();
        m_server.clearRequests();
    }

    // 16 declared bytes whose stream unpacks to 512 MiB: refused at the 17th byte, without the
    // memory of the whole stream (on the 32-bit client, four such objects end the process).
    void anInflateBombIsCutOffAtTheChunkSize()
    {
        const QByteArray plain(16, '\0');
        const QByteArray bomb = inflateBomb(512LL * 1024 * 1024, 16);
        QVERIFY(bomb.size() > 4 && bomb.size() < 1024 * 1024);
        const qint64 before = peakResidentKiB();
        const auto failed = install(oneFileRelease(QStringLiteral("r1"), plain, bomb), bomb, 60000);
        const qint64 grownKiB = peakResidentKiB() - before;
        QCOMPARE(failed.size(), 1);
        QCOMPARE(failed.first().at(0).toString(), QStringLiteral("UPD-APPLY"));
        QCOMPARE(failed.first().at(1).toString(), QStringLiteral("Chunk verification failed for data/bomb.bin"));
        qInfo("peak memory grew by %lld KiB", grownKiB);
        QVERIFY2(grownKiB < 128 * 1024, qPrintable(QString::number(grownKiB)));
        QVERIFY(!QFileInfo::exists(QDir(game()).filePath(QStringLiteral("data/bomb.bin"))));
    }

    // The release names its transaction folder: an ID that cannot be a plain folder name is
    // refused before anything is downloaded or created.
    void anUnusableReleaseIdIsRefusedAtOnce_data()
    {
        QTest::addColumn<QString>("releaseId");
        QTest::newRow("parent") << "../r1";
        QTest::newRow("nested") << "r/1";
        QTest::newRow("device") << "CON";
        QTest::newRow("trailing dot") << "r1.";
        QTest::newRow("terminal escape") << "r1\x1b[2J";
    }

    void anUnusableReleaseIdIsRefusedAtOnce()
    {
        QFETCH(QString, releaseId);
        const QByteArray plain("content");
        const QByteArray object = qCompress(plain);
        // Refused within start() itself: no waiting.
        const auto failed = install(oneFileRelease(releaseId, plain, object), object, 0);
        QCOMPARE(failed.size(), 1);
        QCOMPARE(failed.first().at(0).toString(), QStringLiteral("UPD-APPLY"));
        QCOMPARE(failed.first().at(1).toString(), QStringLiteral("Cannot create update transaction directory"));
        QVERIFY(m_server.requests().isEmpty());
        QVERIFY(!QFileInfo::exists(game()));
    }
};

QTEST_GUILESS_MAIN(TestHostileInput)
#include "tst_hostile_input.moc"
