#include "core/local_state.h"
#include "engine/object_cache.h"
#include "engine/update_engine.h"
#include "net/network_service.h"
#include "platform/process_list.h"
#include "tests/engine/release_fixture.h"
#include "tests/support/game_process.h"
#include "tests/support/http_test_server.h"
#include "tests/support/nginx_process.h"
#include "tests/support/tcp_relay.h"
#include "tests/support/test_certificates.h"

#include <QDir>
#include <QProcess>
#include <QSet>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QtTest>

#include <sys/stat.h>

using namespace vorn;
using namespace vorn::test;

namespace {

constexpr int kRunTimeoutMs = 60000;

// Everything an engine says during one run, in order, as short lines.
class Recorder final : public QObject
{
public:
    explicit Recorder(UpdateEngine* engine)
    {
        connect(engine, &UpdateEngine::statusChanged, this,
                [this](const QString& text) { events << QStringLiteral("status:") + text; });
        connect(engine, &UpdateEngine::progressChanged, this, [this](qint64 done, qint64 total) {
            events << QStringLiteral("progress:%1/%2").arg(done).arg(total);
            downloads.append({done, total});
        });
        connect(engine, &UpdateEngine::assemblyProgressChanged, this,
                [this](qint64 done, qint64 total, const QString& file) {
                    events << QStringLiteral("assembly:%1/%2:%3").arg(done).arg(total).arg(file);
                    assembly.append({done, total});
                });
        connect(engine, &UpdateEngine::ready, this,
                [this](const QString& id) { events << QStringLiteral("ready:") + id; ++ends; });
        connect(engine, &UpdateEngine::failed, this,
                [this](const QString& message) { events << QStringLiteral("failed:") + message; ++ends; });
        connect(engine, &UpdateEngine::failedDetailed, this, [this](const QString& code, const QString& message) {
            events << QStringLiteral("failedDetailed:%1:%2").arg(code, message);
        });
        connect(engine, &UpdateEngine::cancelled, this,
                [this] { events << QStringLiteral("cancelled"); ++ends; });
        connect(engine, &UpdateEngine::controlStateChanged, this, [this](bool pause, bool cancel, bool paused) {
            events << QStringLiteral("control:%1%2%3").arg(int(pause)).arg(int(cancel)).arg(int(paused));
        });
    }

    [[nodiscard]] bool waitForEnd(int timeoutMs = kRunTimeoutMs)
    {
        QElapsedTimer timer;
        timer.start();
        while (ends == 0 && timer.elapsed() < timeoutMs)
            QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents, 50);
        return ends > 0;
    }

    [[nodiscard]] bool waitFor(const QString& event, int timeoutMs = kRunTimeoutMs)
    {
        QElapsedTimer timer;
        timer.start();
        while (!events.contains(event) && timer.elapsed() < timeoutMs)
            QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents, 50);
        return events.contains(event);
    }

    [[nodiscard]] QStringList startingWith(const QString& prefix) const
    {
        QStringList matching;
        for (const QString& event : events) {
            if (event.startsWith(prefix))
                matching << event;
        }
        return matching;
    }

    QStringList events;
    QVector<QPair<qint64, qint64>> downloads;
    QVector<QPair<qint64, qint64>> assembly;
    int ends = 0;
};

void settle(int ms)
{
    QElapsedTimer timer;
    timer.start();
    while (timer.elapsed() < ms)
        QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
}

// Objects of `to` that an update from an installed, untouched `from` cannot take from the files
// in place: chunks are reused from every file the install wrote (not from user-owned ones), and
// user-owned files that exist are left alone.
QSet<QByteArray> objectsToFetch(const Manifest& from, const Manifest& to)
{
    QHash<QString, ManifestFile> installed;
    QSet<QByteArray> local;
    for (const ManifestFile& file : from.files) {
        installed.insert(file.path, file);
        for (const ManifestChunk& chunk : file.chunks) {
            if (!file.preserve)
                local.insert(chunk.sha256);
        }
    }
    QSet<QByteArray> needed;
    for (const ManifestFile& file : to.files) {
        const ManifestFile old = installed.value(file.path);
        if (!old.path.isEmpty() && (file.preserve || old.sha256 == file.sha256))
            continue;
        for (const ManifestChunk& chunk : file.chunks) {
            if (!local.contains(chunk.sha256))
                needed.insert(chunk.blobSha256);
        }
    }
    return needed;
}

QSet<QByteArray> allObjects(const Manifest& manifest)
{
    return objectsToFetch(Manifest(), manifest);
}

QByteArray objectUrlPath(const QByteArray& blob)
{
    return QByteArray("/") + objectRelativePath(blob).toUtf8();
}

QSet<QByteArray> requestedObjects(const HttpTestServer& server)
{
    QSet<QByteArray> paths;
    for (const RecordedRequest& request : server.requests()) {
        if (request.path.startsWith("/objects/"))
            paths.insert(request.path);
    }
    return paths;
}

int objectRequestCount(const HttpTestServer& server)
{
    int count = 0;
    for (const RecordedRequest& request : server.requests())
        count += request.path.startsWith("/objects/") ? 1 : 0;
    return count;
}

QSet<QByteArray> urlPaths(const QSet<QByteArray>& blobs)
{
    QSet<QByteArray> paths;
    for (const QByteArray& blob : blobs)
        paths.insert(objectUrlPath(blob));
    return paths;
}

qint64 objectBytes(const Manifest& manifest, const QSet<QByteArray>& blobs)
{
    QHash<QByteArray, qint64> sizes;
    for (const ManifestFile& file : manifest.files) {
        for (const ManifestChunk& chunk : file.chunks)
            sizes.insert(chunk.blobSha256, chunk.blobSize);
    }
    qint64 bytes = 0;
    for (const QByteArray& blob : blobs)
        bytes += sizes.value(blob);
    return bytes;
}

int cachedObjectCount(const QString& cacheRoot)
{
    int count = 0;
    QDirIterator it(QDir(cacheRoot).filePath(QStringLiteral("objects")), {QStringLiteral("*.bin")},
                    QDir::Files, QDirIterator::Subdirectories);
    while (it.hasNext()) {
        it.next();
        ++count;
    }
    return count;
}

// Whatever is at path, a link as the link itself.
bool removeEverything(const QString& path)
{
    const QFileInfo info(path);
    if (info.isSymLink() || (info.exists() && !info.isDir()))
        return QFile::remove(path);
    return !info.exists() || QDir(path).removeRecursively();
}

} // namespace

class TestUpdateEngine final : public QObject
{
    Q_OBJECT

private:
    QTemporaryDir m_shared;
    QScopedPointer<ReleaseRepository> m_repository;
    Manifest m_first;
    Manifest m_second;
    QString m_firstInstalled; // a folder holding r1 as the engine installs it
    int m_layoutSerial = 0;

    QScopedPointer<QTemporaryDir> m_work;
    QScopedPointer<HttpTestServer> m_server;
    QScopedPointer<NetworkService> m_network;
    QScopedPointer<UpdateEngine> m_engine;
    QScopedPointer<Recorder> m_recorder;
    QString m_game;

    QString baseUrl() const { return m_server->url(QStringLiteral("/")); }

    void runToEnd(const Manifest& manifest)
    {
        m_engine->start(manifest, baseUrl(), m_game, false);
        QVERIFY(m_recorder->waitForEnd());
    }

    void startServer()
    {
        QString error;
        QVERIFY2(m_server->start(&error), qPrintable(error));
    }

    // The folder holding r1, about to be updated to r2.
    void installFirst() { QVERIFY(copyTree(m_firstInstalled, m_game)); }

    QByteArray someObjectOfSecondUpdate() const
    {
        QList<QByteArray> blobs = objectsToFetch(m_first, m_second).values();
        std::sort(blobs.begin(), blobs.end());
        return blobs.value(blobs.size() / 2);
    }

private slots:
    void initTestCase()
    {
        QVERIFY(m_shared.isValid());
        (void)ownGameProcessName();
        m_repository.reset(new ReleaseRepository(m_shared.filePath(QStringLiteral("releases"))));
        QString error;
        QVERIFY2(m_repository->publish(QStringLiteral("r1"), firstRelease(), &m_first, &error, userOwnedGlobs()),
                 qPrintable(error));
        QVERIFY2(m_repository->publish(QStringLiteral("r2"), secondRelease(), &m_second, &error, userOwnedGlobs()),
                 qPrintable(error));

        HttpTestServer server;
        QVERIFY(server.start(&error));
        m_repository->serve(&server);
        NetworkService network;
        UpdateEngine engine(&network);
        engine.setCacheRoot(m_shared.filePath(QStringLiteral("first-cache")));
        Recorder recorder(&engine);
        m_firstInstalled = m_shared.filePath(QStringLiteral("first-installed"));
        engine.start(m_first, server.url(QStringLiteral("/")), m_firstInstalled, false);
        QVERIFY(recorder.waitForEnd());
        QCOMPARE(recorder.events.last(), QStringLiteral("ready:r1"));
        QCOMPARE(readTree(m_firstInstalled), firstRelease());
        QCOMPARE(requestedObjects(server), urlPaths(allObjects(m_first)));
    }

    void init()
    {
        m_work.reset(new QTemporaryDir);
        QVERIFY(m_work->isValid());
        m_game = m_work->filePath(QStringLiteral("game"));
        m_server.reset(new HttpTestServer);
        m_network.reset(new NetworkService);
        m_engine.reset(new UpdateEngine(m_network.data()));
        m_engine->setCacheRoot(m_work->filePath(QStringLiteral("cache")));
        m_recorder.reset(new Recorder(m_engine.data()));
    }

    void cleanup()
    {
        m_recorder.reset();
        m_engine.reset();
        m_network.reset();
        m_server.reset();
    }

    void updatesFetchingOnlyChangedChunks()
    {
        startServer();
        m_repository->serve(m_server.data());
        installFirst();

        runToEnd(m_second);
        QCOMPARE(m_recorder->events.last(), QStringLiteral("ready:r2"));
        QCOMPARE(readTree(m_game), expectedAfterUpdate(firstRelease(), secondRelease()));
        QVERIFY(transactionFolders(m_game).isEmpty());
        QVERIFY(!m_engine->isRunning());

        const QSet<QByteArray> needed = objectsToFetch(m_first, m_second);
        QVERIFY(!needed.isEmpty());
        QVERIFY(needed.size() < allObjects(m_second).size());
        QCOMPARE(requestedObjects(*m_server), urlPaths(needed));
        QCOMPARE(objectRequestCount(*m_server), needed.size());

        // The stages in their order, with the download total of exactly those objects.
        const qint64 total = objectBytes(m_second, needed);
        const QStringList& events = m_recorder->events;
        QCOMPARE(events.mid(0, 5),
                 (QStringList{QStringLiteral("status:Checking game files..."), QStringLiteral("control:110"),
                              QStringLiteral("control:110"),
                              QStringLiteral("status:Downloading update: %1 MB").arg(double(total) / 1048576.0, 0, 'f', 2),
                              QStringLiteral("progress:0/%1").arg(total)}));
        const int applying = events.indexOf(QStringLiteral("status:Assembling and verifying files..."));
        QVERIFY(applying > 5);
        QCOMPARE(events.at(applying - 1), QStringLiteral("control:000"));
        QCOMPARE(events.at(applying - 2), QStringLiteral("progress:%1/%1").arg(total));
        QVERIFY(events.at(applying + 1).startsWith(QStringLiteral("assembly:0/")));
        QCOMPARE(events.mid(events.size() - 3),
                 (QStringList{QStringLiteral("control:000"), QStringLiteral("status:Game updated to version r2"),
                              QStringLiteral("ready:r2")}));

        for (const auto& report : qAsConst(m_recorder->downloads)) {
            QCOMPARE(report.second, total);
            QVERIFY(report.first <= total);
        }
        const qint64 assemblyTotal = m_recorder->assembly.first().second;
        QCOMPARE(m_recorder->assembly.last(), qMakePair(assemblyTotal, assemblyTotal));
        for (const auto& report : qAsConst(m_recorder->assembly))
            QVERIFY(report.first <= report.second);
    }

    // Renamed and moved files, two that swap their content and one whose old place the release
    // removes: every byte is already in the folder, and all of it is read before anything moves.
    void movedFilesAreCopiedNotDownloaded()
    {
        const FileTree moves = movedRelease();
        Manifest manifest;
        QString error;
        QVERIFY2(m_repository->publish(QStringLiteral("moves"), moves, &manifest, &error, userOwnedGlobs()),
                 qPrintable(error));
        startServer();
        m_repository->serve(m_server.data());
        installFirst();

        runToEnd(manifest);
        QCOMPARE(m_recorder->events.last(), QStringLiteral("ready:moves"));
        QCOMPARE(objectRequestCount(*m_server), 0);
        QCOMPARE(readTree(m_game), expectedAfterUpdate(firstRelease(), moves));
        QVERIFY(transactionFolders(m_game).isEmpty());
    }

    void progressNeverPassesTheTotal()
    {
        startServer();
        // Bodies that arrive in two parts report partial progress while in flight.
        for (const QString& path : ReleaseRepository::objectUrlPaths(m_first)) {
            HttpResponse response = HttpResponse::text(
                200, readFileBytes(QDir(m_repository->repoDirectory()).filePath(path.mid(1))));
            response.stallAfterBytes = response.body.size() / 2;
            response.stallMs = 30;
            m_server->on(path.toUtf8(), response);
        }
        m_repository->serve(m_server.data());
        runToEnd(m_first);
        QCOMPARE(m_recorder->events.last(), QStringLiteral("ready:r1"));
        const qint64 total = objectBytes(m_first, allObjects(m_first));
        QVERIFY(m_recorder->downloads.size() > allObjects(m_first).size() + 1);
        for (const auto& report : qAsConst(m_recorder->downloads)) {
            QCOMPARE(report.second, total);
            QVERIFY(report.first >= 0 && report.first <= total);
        }
        QCOMPARE(m_recorder->downloads.last().first, total);
    }

    void hostileServer_data()
    {
        QTest::addColumn<QString>("behaviour");
        QTest::addColumn<QString>("outcome");
        QTest::newRow("corrupted object")
            << "corrupt" << "UPD-DOWNLOAD:Could not download block: Downloaded object failed hash verification";
        QTest::newRow("one byte short")
            << "short" << "UPD-DOWNLOAD:Could not download block: Downloaded object failed hash verification";
        QTest::newRow("expired object")
            << "404" << "UPD-DOWNLOAD:Could not download block: HTTP 404";
        QTest::newRow("right on the third attempt") << "third" << "ready:r2";
    }

    void hostileServer()
    {
        QFETCH(QString, behaviour);
        QFETCH(QString, outcome);
        startServer();
        const QByteArray victim = someObjectOfSecondUpdate();
        const QByteArray path = objectUrlPath(victim);
        const QByteArray good = readFileBytes(QDir(m_repository->repoDirectory()).filePath(QString::fromUtf8(path.mid(1))));
        QByteArray corrupt = good;
        corrupt[corrupt.size() / 2] = char(corrupt.at(corrupt.size() / 2) ^ 0x20);
        if (behaviour == QLatin1String("corrupt"))
            m_server->on(path, HttpResponse::text(200, corrupt));
        else if (behaviour == QLatin1String("short"))
            m_server->on(path, HttpResponse::text(200, good.left(good.size() - 1)));
        else if (behaviour == QLatin1String("404"))
            m_server->on(path, HttpResponse::text(404, "gone"));
        else
            m_server->onSequence(path, {HttpResponse::text(200, corrupt), HttpResponse::text(503, "busy"),
                                        HttpResponse::text(200, good)});
        m_repository->serve(m_server.data());
        installFirst();
        const FileTree before = readTree(m_game, true);

        // One damaged object keeps its attempts on its server; nothing listens on the next.
        m_engine->setServers({baseUrl(), deadServerUrl()});
        runToEnd(m_second);
        QCOMPARE(m_server->requests(path).size(), 3);
        QVERIFY(!m_engine->isRunning());
        if (outcome.startsWith(QLatin1String("ready:"))) {
            QCOMPARE(m_recorder->events.last(), outcome);
            QCOMPARE(readTree(m_game), expectedAfterUpdate(firstRelease(), secondRelease()));
            return;
        }
        const QString message = outcome.section(QLatin1Char(':'), 1);
        QCOMPARE(m_recorder->events.mid(m_recorder->events.size() - 3),
                 (QStringList{QStringLiteral("control:000"), QStringLiteral("failedDetailed:") + outcome,
                              QStringLiteral("failed:") + message}));
        QCOMPARE(readTree(m_game, true), before);

        // What was stored stays; a later run fetches only what is still missing.
        m_server->clearRoutes();
        m_server->clearRequests();
        m_repository->serve(m_server.data());
        m_recorder->ends = 0;
        runToEnd(m_second);
        QCOMPARE(m_recorder->events.last(), QStringLiteral("ready:r2"));
        QVERIFY(requestedObjects(*m_server).contains(path));
        QVERIFY(requestedObjects(*m_server).size() < objectsToFetch(m_first, m_second).size());
        QCOMPARE(readTree(m_game), expectedAfterUpdate(firstRelease(), secondRelease()));
    }

    // Cached objects are stored without waiting for the disk, so after a power cut one may have
    // its full length and the wrong bytes. Planning must fetch it again; trusting its size would
    // fail every apply from then on.
    void damagedCachedObjectIsFetchedAgain_data()
    {
        QTest::addColumn<QString>("damage");
        QTest::newRow("one flipped byte") << "flip";
        QTest::newRow("zeros of full length") << "zeros";
    }

    void damagedCachedObjectIsFetchedAgain()
    {
        QFETCH(QString, damage);
        startServer();
        m_repository->serve(m_server.data());
        installFirst();
        const QString cache = m_work->filePath(QStringLiteral("cache"));
        const QSet<QByteArray> needed = objectsToFetch(m_first, m_second);
        for (const QByteArray& blob : needed) {
            QVERIFY(writeFileBytes(objectCachePath(cache, blob),
                                   readFileBytes(QDir(m_repository->repoDirectory()).filePath(objectRelativePath(blob)))));
        }
        const QByteArray victim = someObjectOfSecondUpdate();
        QByteArray bytes = readFileBytes(objectCachePath(cache, victim));
        if (damage == QLatin1String("flip"))
            bytes[bytes.size() / 2] = char(bytes.at(bytes.size() / 2) ^ 0x01);
        else
            bytes.fill('\0');
        QVERIFY(writeFileBytes(objectCachePath(cache, victim), bytes));

        runToEnd(m_second);
        QCOMPARE(m_recorder->events.last(), QStringLiteral("ready:r2"));
        QCOMPARE(readTree(m_game), expectedAfterUpdate(firstRelease(), secondRelease()));
        QCOMPARE(requestedObjects(*m_server), QSet<QByteArray>{objectUrlPath(victim)});
    }

    // Links and special files planted in the game folder, its bookkeeping or the cache. Nothing
    // outside may change (the canary folder stays byte for byte), nothing may hang, and a link
    // in the way of release files is named instead of written through.
    void plantedEntries_data()
    {
        QTest::addColumn<QString>("kind"); // link (to the canary folder or a file in it) or fifo
        QTest::addColumn<QString>("where");
        QTest::addColumn<QString>("outcome");
        const QString ready = QStringLiteral("ready:r2");
        QTest::newRow("a transaction") << "link" << ".vorn/transactions/anything" << ready;
        QTest::newRow("the next release's transaction") << "link" << ".vorn/transactions/r2" << ready;
        QTest::newRow("the transactions folder") << "link" << ".vorn/transactions" << ready;
        QTest::newRow("a transaction's backup") << "link" << ".vorn/transactions/t/backup" << ready;
        QTest::newRow("a file in a backup") << "file link" << ".vorn/transactions/t/backup/readme.txt" << ready;
        // Without an installed manifest nothing is known to be obsolete, so nothing is removed.
        const QString kept = QStringLiteral("ready:r2, obsolete files kept");
        QTest::newRow("the state folder") << "link" << ".vorn" << kept;
        QTest::newRow("state.json") << "file link" << ".vorn/state.json" << ready;
        QTest::newRow("installed manifest") << "file link" << ".vorn/installed-manifest.json" << kept;
        QTest::newRow("a release file") << "file link" << "readme.txt" << ready;
        QTest::newRow("a release folder")
            << "link" << "data/levels"
            << "UPD-PLAN:data/levels in the game folder is a link; updates never write through links";
        QTest::newRow("the object cache") << "link" << "<cache>/objects" << ready;
        QTest::newRow("FIFO as state.json") << "fifo" << ".vorn/state.json" << ready;
        QTest::newRow("FIFO as installed manifest") << "fifo" << ".vorn/installed-manifest.json" << kept;
        QTest::newRow("FIFO as the lock") << "fifo" << ".vorn/update.lock" << ready;
        QTest::newRow("FIFO as a cached object") << "fifo" << "<object>" << ready;
    }

    void plantedEntries()
    {
        QFETCH(QString, kind);
        QFETCH(QString, where);
        QFETCH(QString, outcome);
        startServer();
        m_repository->serve(m_server.data());
        installFirst();
        const QString cache = m_work->filePath(QStringLiteral("cache"));
        const QString canary = m_work->filePath(QStringLiteral("canary"));
        const QByteArray readme = secondRelease().value(QStringLiteral("readme.txt"));
        QVERIFY(writeTree(canary, {{QStringLiteral("backup/data/levels/a.lvl"), "outside a"},
                                   {QStringLiteral("levels/a.lvl"), "outside level"},
                                   {QStringLiteral("transactions/t/backup/bin/vorn.exe"), "outside exe"},
                                   {QStringLiteral("installed-manifest.json"), "{}"},
                                   {QStringLiteral("readme.txt"), readme}}));
        const FileTree outside = readTree(canary, true);

        QString path = QDir(m_game).filePath(where);
        if (where == QLatin1String("<cache>/objects"))
            path = QDir(cache).filePath(QStringLiteral("objects"));
        else if (where == QLatin1String("<object>"))
            path = objectCachePath(cache, someObjectOfSecondUpdate());
        QVERIFY(QDir().mkpath(QFileInfo(path).absolutePath()));
        QVERIFY(removeEverything(path));
        if (kind == QLatin1String("link"))
            QVERIFY(QFile::link(canary, path));
        else if (kind == QLatin1String("file link"))
            QVERIFY(QFile::link(QDir(canary).filePath(QFileInfo(path).fileName()), path));
        else
            QVERIFY(::mkfifo(QFile::encodeName(path).constData(), 0600) == 0);
        const FileTree before = readTree(m_game);

        runToEnd(m_second);
        QCOMPARE(readTree(canary, true), outside);
        if (outcome.startsWith(QLatin1String("ready:"))) {
            QCOMPARE(m_recorder->events.last(), outcome.section(QLatin1Char(','), 0, 0));
            FileTree expected = expectedAfterUpdate(firstRelease(), secondRelease());
            if (outcome.endsWith(QLatin1String("kept"))) {
                const FileTree first = firstRelease();
                for (auto it = first.constBegin(); it != first.constEnd(); ++it) {
                    if (!expected.contains(it.key()))
                        expected.insert(it.key(), it.value());
                }
            }
            QCOMPARE(readTree(m_game), expected);
            QVERIFY(QFileInfo(QDir(m_game).filePath(QStringLiteral("readme.txt"))).isFile());
            QVERIFY(!QFileInfo(QDir(m_game).filePath(QStringLiteral("readme.txt"))).isSymLink());
            QVERIFY(transactionFolders(m_game).isEmpty());
            QVERIFY(!QFileInfo(localStatePath(QDir(m_game))).isSymLink());
        } else {
            QVERIFY(m_recorder->events.contains(QStringLiteral("failedDetailed:") + outcome));
            QCOMPARE(readTree(m_game), before);
        }

        // Clearing the cache removes a link there, not what it points to.
        const QString objects = QDir(cache).filePath(QStringLiteral("objects"));
        QVERIFY(removeEverything(objects));
        QVERIFY(QFile::link(canary, objects));
        m_engine->clearObjectCache();
        QVERIFY(!QFileInfo::exists(objects) && !QFileInfo(objects).isSymLink());
        QCOMPARE(readTree(canary, true), outside);
    }

    // Releases that turn folders into files and back, and a player's files in the way. Files the
    // manifest does not manage are never deleted: the update refuses and names the folder.
    void layoutChanges_data()
    {
        QTest::addColumn<FileTree>("first");
        QTest::addColumn<FileTree>("player"); // written over the installed first release
        QTest::addColumn<FileTree>("second");
        QTest::addColumn<QString>("failure"); // empty: the second release installs
        const FileTree none;
        const QString refused = QStringLiteral("UPD-APPLY:Cannot replace the folder %1 with a file: it holds "
                                               "files that are not part of the game");
        QTest::newRow("folder becomes a file")
            << FileTree{{"data/a.txt", "a"}, {"data/sub/b.txt", "b"}, {"keep.txt", "k"}} << none
            << FileTree{{"data", "now a file"}, {"keep.txt", "k"}} << QString();
        QTest::newRow("folder with a player's file becomes a file")
            << FileTree{{"data/a.txt", "a"}, {"keep.txt", "k"}} << FileTree{{"data/user.sav", "mine"}}
            << FileTree{{"data", "now a file"}, {"keep.txt", "k"}} << refused.arg("data");
        QTest::newRow("file becomes a folder")
            << FileTree{{"maps", "a file"}, {"keep.txt", "k"}} << none
            << FileTree{{"maps/a.pak", "in a folder"}, {"keep.txt", "k"}} << QString();
        QTest::newRow("top-level file named removed")
            << FileTree{{"removed", "1"}, {"x.txt", "x"}} << none << FileTree{{"removed", "2"}} << QString();
        QTest::newRow("the same name in other letter cases")
            << FileTree{{"REMOVED", "1"}, {"Removed/y.txt", "y"}, {"x.txt", "x"}} << none
            << FileTree{{"REMOVED", "2"}, {"Removed/y.txt", "y2"}} << QString();
        QTest::newRow("player's folder where an obsolete file was")
            << FileTree{{"old.txt", "old"}, {"keep.txt", "k"}} << FileTree{{"old.txt/save.dat", "mine"}}
            << FileTree{{"keep.txt", "k"}} << QString();
        QTest::newRow("player's folder where a release file goes")
            << FileTree{{"keep.txt", "k"}} << FileTree{{"notes/mine.txt", "mine"}}
            << FileTree{{"keep.txt", "k"}, {"notes", "release notes"}} << refused.arg("notes");
        QTest::newRow("player's file where a release folder goes")
            << FileTree{{"keep.txt", "k"}} << FileTree{{"maps", "mine"}}
            << FileTree{{"keep.txt", "k"}, {"maps/a.pak", "pak"}} << QStringLiteral("UPD-APPLY:Cannot create directory <game>/maps");
    }

    void layoutChanges()
    {
        QFETCH(FileTree, first);
        QFETCH(FileTree, player);
        QFETCH(FileTree, second);
        QFETCH(QString, failure);
        const QString serial = QString::number(++m_layoutSerial);
        Manifest from;
        Manifest to;
        QString error;
        QVERIFY2(m_repository->publish(QStringLiteral("layout%1a").arg(serial), first, &from, &error), qPrintable(error));
        QVERIFY2(m_repository->publish(QStringLiteral("layout%1b").arg(serial), second, &to, &error), qPrintable(error));
        startServer();
        m_repository->serve(m_server.data());
        runToEnd(from);
        QCOMPARE(m_recorder->events.last(), QStringLiteral("ready:") + from.releaseId);
        for (auto it = player.constBegin(); it != player.constEnd(); ++it) {
            // A player's folder replaces a file of the same name.
            const QString folder = QDir(m_game).filePath(it.key().section(QLatin1Char('/'), 0, 0));
            if (QFileInfo(folder).isFile())
                QVERIFY(QFile::remove(folder));
            QVERIFY(writeFileBytes(QDir(m_game).filePath(it.key()), it.value()));
        }
        const FileTree before = readTree(m_game);

        m_recorder->ends = 0;
        runToEnd(to);
        QVERIFY(transactionFolders(m_game).isEmpty() || !failure.isEmpty());
        if (failure.isEmpty()) {
            QCOMPARE(m_recorder->events.last(), QStringLiteral("ready:") + to.releaseId);
            FileTree expected = second;
            for (auto it = player.constBegin(); it != player.constEnd(); ++it)
                expected.insert(it.key(), it.value());
            QCOMPARE(readTree(m_game), expected);
        } else {
            failure.replace(QLatin1String("<game>"), QDir(m_game).absolutePath());
            QCOMPARE(m_recorder->events.at(m_recorder->events.size() - 2), QStringLiteral("failedDetailed:") + failure);
            QCOMPARE(readTree(m_game), before);
        }
    }

    void nothingToDownloadGoesStraightToApplying()
    {
        startServer();
        m_repository->serve(m_server.data());
        installFirst();
        QVERIFY(QFile::remove(localStatePath(QDir(m_game))));
        runToEnd(m_first);
        QCOMPARE(objectRequestCount(*m_server), 0);
        QCOMPARE(m_recorder->events.mid(2, 4),
                 (QStringList{QStringLiteral("control:110"), QStringLiteral("status:Downloading update: 0.00 MB"), QStringLiteral("progress:0/0"),
                              QStringLiteral("control:000")}));
        QCOMPARE(m_recorder->events.last(), QStringLiteral("ready:r1"));
        // The state cache is written again, so the next check reads metadata only.
        QVERIFY(QFileInfo::exists(localStatePath(QDir(m_game))));
    }

    void pauseDuringPlanningStartsDownloadingPaused()
    {
        startServer();
        m_repository->serve(m_server.data());
        m_engine->start(m_first, baseUrl(), m_game, false);
        m_engine->setPaused(true);
        const qint64 total = objectBytes(m_first, allObjects(m_first));
        QVERIFY(m_recorder->waitFor(QStringLiteral("progress:0/%1").arg(total)));
        QCOMPARE(m_recorder->events.mid(0, 6),
                 (QStringList{QStringLiteral("status:Checking game files..."), QStringLiteral("control:110"),
                              QStringLiteral("control:111"), QStringLiteral("status:Download paused"),
                              QStringLiteral("control:111"),
                              QStringLiteral("status:Downloading update: %1 MB").arg(double(total) / 1048576.0, 0, 'f', 2)}));
        settle(400);
        QCOMPARE(objectRequestCount(*m_server), 0);
        QVERIFY(m_engine->isPaused());

        m_engine->setPaused(false);
        QVERIFY(m_recorder->waitForEnd());
        QVERIFY(m_recorder->events.contains(QStringLiteral("status:Resuming download...")));
        QCOMPARE(m_recorder->events.last(), QStringLiteral("ready:r1"));
        QCOMPARE(readTree(m_game), firstRelease());
    }

    void pauseDuringDownloadingLetsRequestsInFlightFinish()
    {
        startServer();
        for (const QString& path : ReleaseRepository::objectUrlPaths(m_first)) {
            HttpResponse response = HttpResponse::text(
                200, readFileBytes(QDir(m_repository->repoDirectory()).filePath(path.mid(1))));
            response.delayMs = 150;
            m_server->on(path.toUtf8(), response);
        }
        m_repository->serve(m_server.data());
        m_engine->start(m_first, baseUrl(), m_game, false);
        QVERIFY(m_recorder->waitFor(QStringLiteral("progress:0/%1").arg(objectBytes(m_first, allObjects(m_first)))));
        m_engine->setPaused(true);
        const int storedBefore = m_recorder->downloads.size();
        settle(800);
        const int requests = objectRequestCount(*m_server);
        QVERIFY(requests <= 4);
        // The requests that were in flight were stored...
        QVERIFY(m_recorder->downloads.size() > storedBefore);
        QCOMPARE(cachedObjectCount(m_work->filePath(QStringLiteral("cache"))), requests);
        // ...and nothing else starts, nor does applying.
        settle(400);
        QCOMPARE(objectRequestCount(*m_server), requests);
        QVERIFY(!m_recorder->events.contains(QStringLiteral("status:Assembling and verifying files...")));
        QCOMPARE(m_recorder->ends, 0);

        m_engine->setPaused(false);
        QVERIFY(m_recorder->waitForEnd());
        QCOMPARE(m_recorder->events.last(), QStringLiteral("ready:r1"));
        QCOMPARE(objectRequestCount(*m_server), allObjects(m_first).size());
    }

    // Four requests in flight, no more, even where the global pool has a single thread (a
    // one-core machine, or CPU work holding it).
    void fourRequestsInFlightWithOneGlobalThread()
    {
        const int globalThreads = QThreadPool::globalInstance()->maxThreadCount();
        const auto restore = qScopeGuard(
            [globalThreads] { QThreadPool::globalInstance()->setMaxThreadCount(globalThreads); });
        QThreadPool::globalInstance()->setMaxThreadCount(1);
        startServer();
        // Answers that never come while the test looks: whatever the server sees is in flight.
        for (const QString& path : ReleaseRepository::objectUrlPaths(m_first)) {
            HttpResponse response = HttpResponse::text(200);
            response.delayMs = 600000;
            m_server->on(path.toUtf8(), response);
        }
        m_repository->serve(m_server.data());
        QVERIFY(allObjects(m_first).size() > 4);
        m_engine->start(m_first, baseUrl(), m_game, false);
        QTRY_COMPARE_WITH_TIMEOUT(objectRequestCount(*m_server), 4, 30000);
        settle(300);
        QCOMPARE(objectRequestCount(*m_server), 4);
        m_engine->cancel();
        QVERIFY(m_recorder->waitForEnd());
        QCOMPARE(m_recorder->events.last(), QStringLiteral("cancelled"));
    }

    // Over HTTP/2 the whole window travels as streams of one connection; a server that only
    // speaks HTTP/1.1 gets a connection per request in flight, and never more than six.
    void theServersProtocolDecidesItsConnections_data()
    {
        QTest::addColumn<bool>("http2");
        QTest::newRow("HTTP/2") << true;
        QTest::newRow("HTTP/1.1 only") << false;
    }
    void theServersProtocolDecidesItsConnections()
    {
        QFETCH(bool, http2);
        TestCertificates certificates;
        QString error;
        QVERIFY2(certificates.create(m_work->filePath(QStringLiteral("tls")), &error), qPrintable(error));
        NginxProcess nginx;
        QVERIFY2(nginx.start(m_repository->repoDirectory(), certificates, http2, &error), qPrintable(error));
        m_network->setExtraCertificateAuthorities(certificates.authorityFile());
        // Enough objects for the window to outgrow six where nothing held it.
        QVERIFY(allObjects(m_first).size() > 3 * RequestWindow::kMaxConnections);

        m_engine->start(m_first, nginx.baseUrl(), m_game, false);
        QVERIFY(m_recorder->waitForEnd());
        QCOMPARE(m_recorder->events.last(), QStringLiteral("ready:r1"));
        QCOMPARE(readTree(m_game), firstRelease());

        const QList<NginxProcess::LoggedRequest> requests = nginx.requests();
        QCOMPARE(requests.size(), allObjects(m_first).size());
        for (const NginxProcess::LoggedRequest& request : requests)
            QCOMPARE(request.protocol, http2 ? QStringLiteral("HTTP/2.0") : QStringLiteral("HTTP/1.1"));
        const int connections = nginx.connectionCount();
        if (http2)
            QCOMPARE(connections, 1);
        else
            QVERIFY2(connections > 1 && connections <= RequestWindow::kMaxConnections,
                     qPrintable(QString::number(connections)));
    }

    // Over HTTP/2 one connection carries every object in flight: a line that goes dead fails
    // them all at once, a stream the server resets fails its own object alone. Either way only
    // what was lost is asked for again, never an object already verified nor another's.
    void aLostConnectionOrStreamCostsOnlyItsOwnObjects_data()
    {
        QTest::addColumn<bool>("connectionDropped");
        QTest::newRow("connection dropped mid-answer") << true;
        QTest::newRow("one object's stream reset at every attempt") << false;
    }
    void aLostConnectionOrStreamCostsOnlyItsOwnObjects()
    {
        QFETCH(bool, connectionDropped);
        TestCertificates certificates;
        QString error;
        QVERIFY2(certificates.create(m_work->filePath(QStringLiteral("tls")), &error), qPrintable(error));
        QHash<QString, QByteArray> blobOfPath;
        qint64 largestObject = 0;
        for (const QByteArray& blob : allObjects(m_first)) {
            blobOfPath.insert(QString::fromLatin1(objectUrlPath(blob)), blob);
            largestObject = qMax(largestObject, objectBytes(m_first, {blob}));
        }
        QStringList paths = blobOfPath.keys();
        std::sort(paths.begin(), paths.end());
        const QString resetPath = paths.at(paths.size() / 2);
        NginxProcess nginx;
        // nginx ends a request answered with 444 by resetting its stream.
        const QString directives =
            connectionDropped ? QString() : QStringLiteral("location = %1 { return 444; }").arg(resetPath);
        QVERIFY2(nginx.start(m_repository->repoDirectory(), certificates, true, &error, directives),
                 qPrintable(error));
        m_network->setExtraCertificateAuthorities(certificates.authorityFile());
        TcpRelay relay(nginx.port());
        QVERIFY(relay.port() != 0);

        // Until the engine has verified an object it keeps the first four in flight and asks for
        // no more; past four objects' bytes, some are verified and stored.
        const qint64 dropAfter = 4 * largestObject + 64 * 1024;
        QVERIFY(dropAfter < objectBytes(m_first, allObjects(m_first)) - largestObject);
        QSet<QString> storedAtDrop;
        const QString cacheRoot = m_work->filePath(QStringLiteral("cache"));
        if (connectionDropped) {
            relay.dropOnceAfter(dropAfter, [&] {
                for (auto it = blobOfPath.cbegin(); it != blobOfPath.cend(); ++it) {
                    if (QFile::exists(objectCachePath(cacheRoot, it.value())))
                        storedAtDrop.insert(it.key());
                }
            });
        }
        m_engine->start(m_first, QStringLiteral("https://127.0.0.1:%1/").arg(relay.port()), m_game, false);
        QVERIFY(m_recorder->waitForEnd());

        const auto requestsPerObject = [&nginx] {
            QHash<QString, int> counts;
            for (const NginxProcess::LoggedRequest& request : nginx.requests())
                ++counts[request.path];
            return counts;
        };
        QHash<QString, int> requested;
        if (connectionDropped) {
            QCOMPARE(m_recorder->events.last(), QStringLiteral("ready:r1"));
            QCOMPARE(readTree(m_game), firstRelease());
            QVERIFY(relay.dropped());
            QVERIFY(!storedAtDrop.isEmpty());
            // nginx logs the dropped connection's requests once it has seen it end; some answer
            // was cut there, and its object asked for again.
            const auto askedAgain = [&requested] {
                QSet<QString> again;
                for (auto it = requested.cbegin(); it != requested.cend(); ++it) {
                    if (it.value() > 1)
                        again.insert(it.key());
                }
                return again;
            };
            QTRY_VERIFY_WITH_TIMEOUT((requested = requestsPerObject()).size() == paths.size()
                                         && !askedAgain().isEmpty(),
                                     30000);
            QCOMPARE(QSet<QString>(requested.keyBegin(), requested.keyEnd()),
                     QSet<QString>(paths.begin(), paths.end()));
            for (auto it = requested.cbegin(); it != requested.cend(); ++it)
                QVERIFY2(it.value() <= 2, qPrintable(it.key()));
            // Only answers that were cut are asked for again. (libcurl may take a request the
            // dead connection never answered to a new connection of its own, so the count of
            // connections says nothing here.)
            QCOMPARE(askedAgain() & storedAtDrop, QSet<QString>());
            QVERIFY(relay.connectionCount() >= 2);
        } else {
            QCOMPARE(m_recorder->startingWith(QStringLiteral("failed:Could not download block:")).size(), 1);
            QTRY_COMPARE_WITH_TIMEOUT(requestsPerObject().value(resetPath), 3, 30000);
            requested = requestsPerObject();
            for (const NginxProcess::LoggedRequest& request : nginx.requests())
                QCOMPARE(request.status == 444, request.path == resetPath);
            for (auto it = requested.cbegin(); it != requested.cend(); ++it) {
                if (it.key() != resetPath)
                    QCOMPARE(it.value(), 1);
            }
            QVERIFY(requested.size() > 1);
            // The other streams went on over the same connection.
            QCOMPARE(nginx.connectionCount(), 1);
            QCOMPARE(relay.connectionCount(), 1);
        }
    }

    void resumeWhilePlanningWaitsForThePlan()
    {
        startServer();
        m_repository->serve(m_server.data());
        m_engine->start(m_first, baseUrl(), m_game, false);
        m_engine->setPaused(true);
        m_engine->setPaused(false);
        QVERIFY(m_recorder->waitForEnd());
        QCOMPARE(m_recorder->events.last(), QStringLiteral("ready:r1"));
        QCOMPARE(m_recorder->startingWith(QStringLiteral("status:Assembling")).size(), 1);
        QCOMPARE(readTree(m_game), firstRelease());
    }

    void cancelWhenApplyingBeginsKeepsTheOldRelease()
    {
        startServer();
        m_repository->serve(m_server.data());
        installFirst();
        const FileTree before = readTree(m_game, true);
        UpdateEngine* engine = m_engine.data();
        connect(engine, &UpdateEngine::statusChanged, this, [engine](const QString& status) {
            if (status == QLatin1String("Assembling and verifying files..."))
                engine->cancel();
        });
        runToEnd(m_second);
        QCOMPARE(m_recorder->events.mid(m_recorder->events.size() - 3),
                 (QStringList{QStringLiteral("control:000"), QStringLiteral("status:Update cancelled"),
                              QStringLiteral("cancelled")}));
        QVERIFY(!m_engine->isRunning());
        FileTree after = readTree(m_game, true);
        for (const QString& path : after.keys()) {
            if (path.startsWith(QLatin1String(".vorn/transactions/")))
                after.remove(path);
        }
        QCOMPARE(after, before);
    }

    void pauseIsRefusedWhenNotDownloading()
    {
        m_engine->setPaused(true);
        QVERIFY(m_recorder->events.isEmpty());
        QVERIFY(!m_engine->isPaused());
    }

    void cancelWhileDownloadingEndsAtOnce()
    {
        startServer();
        for (const QString& path : ReleaseRepository::objectUrlPaths(m_second)) {
            HttpResponse response = HttpResponse::text(
                200, readFileBytes(QDir(m_repository->repoDirectory()).filePath(path.mid(1))));
            response.delayMs = 300;
            m_server->on(path.toUtf8(), response);
        }
        m_repository->serve(m_server.data());
        installFirst();
        const FileTree before = readTree(m_game, true);
        m_engine->start(m_second, baseUrl(), m_game, false);
        QVERIFY(m_recorder->waitFor(QStringLiteral("status:Downloading update: %1 MB")
                                        .arg(double(objectBytes(m_second, objectsToFetch(m_first, m_second))) / 1048576.0, 0, 'f', 2)));
        m_engine->cancel();
        QCOMPARE(m_recorder->events.mid(m_recorder->events.size() - 3),
                 (QStringList{QStringLiteral("control:000"), QStringLiteral("status:Update cancelled"),
                              QStringLiteral("cancelled")}));
        QVERIFY(!m_engine->isRunning());
        const int eventsAtCancel = m_recorder->events.size();
        settle(700); // the abandoned requests end meanwhile and must not be heard of
        QCOMPARE(m_recorder->events.size(), eventsAtCancel);
        QCOMPARE(readTree(m_game, true), before);
        QVERIFY(objectRequestCount(*m_server) <= 4);
    }

    void cancelWhilePlanningEndsWhenPlanningDoes()
    {
        startServer();
        m_repository->serve(m_server.data());
        m_engine->start(m_first, baseUrl(), m_game, false);
        m_engine->cancel();
        QVERIFY(m_engine->isRunning());
        QVERIFY(m_recorder->waitForEnd());
        QCOMPARE(m_recorder->events,
                 (QStringList{QStringLiteral("status:Checking game files..."), QStringLiteral("control:110"),
                              QStringLiteral("control:000"), QStringLiteral("status:Update cancelled"),
                              QStringLiteral("cancelled")}));
        QCOMPARE(objectRequestCount(*m_server), 0);
    }

    void gameRunningStopsBeforeApplying()
    {
        const QString sleep = QStandardPaths::findExecutable(QStringLiteral("sleep"));
        if (sleep.isEmpty())
            QSKIP("no sleep program to stand in for the game client");
        const QString client = m_work->filePath(QStringLiteral("bin/") + ownGameProcessName());
        QVERIFY(QDir().mkpath(QFileInfo(client).absolutePath()));
        QVERIFY(QFile::copy(sleep, client));
        QProcess game;
        game.start(client, {QStringLiteral("60")});
        QVERIFY(game.waitForStarted());
        QTRY_VERIFY(platform::isGameRunning());

        startServer();
        m_repository->serve(m_server.data());
        m_engine->start(m_first, baseUrl(), m_game, true);
        QVERIFY(m_recorder->waitForEnd());
        game.kill();
        game.waitForFinished();
        QCOMPARE(m_recorder->events.last(),
                 QStringLiteral("failed:The game is running. Close it and retry the update"));
        QVERIFY(m_recorder->events.contains(
            QStringLiteral("failedDetailed:UPD-GAME-RUNNING:The game is running. Close it and retry the update")));
        QVERIFY(!m_recorder->events.contains(QStringLiteral("status:Assembling and verifying files...")));
        QVERIFY(readTree(m_game, true).isEmpty());
        QCOMPARE(cachedObjectCount(m_work->filePath(QStringLiteral("cache"))), allObjects(m_first).size());
    }

    // The owner moves a running download to the server that answered its last check; a server
    // whose objects keep failing verification (a mirror answering with its own web page) is
    // given up by the engine itself, after a few objects, for the next one of its list.
    void downloadMovesToAnotherServer_data()
    {
        QTest::addColumn<QString>("first"); // what the first server answers for objects
        QTest::newRow("asked by the owner") << "good";
        QTest::newRow("every object a web page") << "html";
        QTest::newRow("every other object a web page") << "some html";
    }

    void downloadMovesToAnotherServer()
    {
        QFETCH(QString, first);
        startServer();
        QSet<QByteArray> goodOnFirst;
        const QSet<QByteArray> objects = urlPaths(allObjects(m_first));
        QList<QByteArray> ordered = objects.values();
        std::sort(ordered.begin(), ordered.end());
        for (int i = 0; i < ordered.size(); ++i) {
            const bool html = first == QLatin1String("html") || (first == QLatin1String("some html") && i % 2 == 0);
            if (html)
                m_server->on(ordered.at(i), HttpResponse::text(200, "<html><body>Mirror maintenance</body></html>")
                                                .header("Content-Type", "text/html"));
            else
                goodOnFirst.insert(ordered.at(i));
        }
        m_repository->serve(m_server.data());
        HttpTestServer mirror;
        QString error;
        QVERIFY2(mirror.start(&error), qPrintable(error));
        m_repository->serve(&mirror);
        QSignalSpy abandoned(m_engine.data(), &UpdateEngine::serverAbandoned);

        if (first == QLatin1String("good")) {
            m_engine->start(m_first, baseUrl(), m_game, false);
            // Held while it plans, so that no object has been asked for yet.
            m_engine->setPaused(true);
            m_engine->setBaseUrl(mirror.url(QStringLiteral("")));
            QCOMPARE(m_engine->baseUrl(), mirror.url(QStringLiteral("/")));
            m_engine->setPaused(false);
        } else {
            m_engine->setServers({baseUrl(), mirror.url(QStringLiteral("/"))});
            m_engine->start(m_first, baseUrl(), m_game, false);
        }
        QVERIFY(m_recorder->waitForEnd());
        QCOMPARE(m_recorder->events.last(), QStringLiteral("ready:r1"));
        QCOMPARE(readTree(m_game), firstRelease());
        if (first == QLatin1String("good")) {
            QCOMPARE(objectRequestCount(*m_server), 0);
            QCOMPARE(requestedObjects(mirror), objects);
            return;
        }
        QCOMPARE(abandoned.count(), 1);
        QCOMPARE(abandoned.first(), (QVariantList{baseUrl(), mirror.url(QStringLiteral("/"))}));
        QCOMPARE(m_engine->baseUrl(), mirror.url(QStringLiteral("/")));
        // Three objects failing there, and what was in flight when the third came back.
        if (first == QLatin1String("html"))
            QVERIFY2(objectRequestCount(*m_server) <= 6, qPrintable(QString::number(objectRequestCount(*m_server))));
        // An object verified from the first server is not fetched again.
        QCOMPARE(requestedObjects(mirror) & (requestedObjects(*m_server) & goodOnFirst), QSet<QByteArray>());
        QCOMPARE(requestedObjects(mirror) | (requestedObjects(*m_server) & goodOnFirst), objects);
    }

    void executablesKeepTheirModeWithoutDownloads()
    {
        ReleaseRepository repository(m_work->filePath(QStringLiteral("modes")));
        const FileTree tree{{QStringLiteral("bin/vorn.exe"), randomBytes(60 * 1024, 21)},
                            {QStringLiteral("data/a.pak"), randomBytes(30 * 1024, 22)}};
        Manifest manifest;
        QString error;
        QVERIFY2(repository.publish(QStringLiteral("m1"), tree, &manifest, &error, {},
                                    {QStringLiteral("bin/vorn.exe")}),
                 qPrintable(error));
        startServer();
        repository.serve(m_server.data());
        const QString client = QDir(m_game).filePath(QStringLiteral("bin/vorn.exe"));
        const QString data = QDir(m_game).filePath(QStringLiteral("data/a.pak"));

        runToEnd(manifest);
        QCOMPARE(m_recorder->events.last(), QStringLiteral("ready:m1"));
        QVERIFY(QFileInfo(client).permissions() & QFile::ExeOwner);
        QVERIFY(!(QFileInfo(data).permissions() & QFile::ExeOwner));

        // A client that lost its mode is staged again from its own bytes.
        QVERIFY(QFile::setPermissions(client, QFile::ReadOwner | QFile::WriteOwner));
        m_server->clearRequests();
        m_recorder->ends = 0;
        runToEnd(manifest);
        QCOMPARE(m_recorder->events.last(), QStringLiteral("ready:m1"));
        QCOMPARE(objectRequestCount(*m_server), 0);
        QVERIFY(QFileInfo(client).permissions() & QFile::ExeOwner);
        QCOMPARE(readTree(m_game), tree);
    }

    void startWhileRunningIsIgnored()
    {
        startServer();
        m_repository->serve(m_server.data());
        m_engine->start(m_first, baseUrl(), m_game, false);
        const QStringList afterFirst = m_recorder->events;
        m_engine->start(m_second, baseUrl(), m_work->filePath(QStringLiteral("other")), false);
        QCOMPARE(m_recorder->events, afterFirst);
        QVERIFY(m_recorder->waitForEnd());
        QCOMPARE(m_recorder->events.last(), QStringLiteral("ready:r1"));
        QVERIFY(!QFileInfo::exists(m_work->filePath(QStringLiteral("other"))));
    }

    void refusedRuns_data()
    {
        QTest::addColumn<QString>("cause");
        QTest::addColumn<QString>("code");
        QTest::addColumn<QString>("message");
        QTest::addColumn<bool>("ranAtAll");
        QTest::newRow("folder below a file")
            << "path" << "UPD-PATH" << "Could not create the game or update cache directory" << false;
        QTest::newRow("interrupted install cannot be restored")
            << "recovery" << "UPD-RECOVERY" << "Cannot restore a.txt after an interrupted update" << false;
        QTest::newRow("unsafe path in the manifest")
            << "plan" << "UPD-PLAN" << "Unsafe target path in manifest" << true;
    }

    void refusedRuns()
    {
        QFETCH(QString, cause);
        QFETCH(QString, code);
        QFETCH(QString, message);
        QFETCH(bool, ranAtAll);
        Manifest manifest = m_first;
        QString game = m_game;
        if (cause == QLatin1String("path")) {
            QVERIFY(writeFileBytes(m_game, "a file"));
            game = QDir(m_game).filePath(QStringLiteral("below"));
        } else if (cause == QLatin1String("recovery")) {
            QVERIFY(writeFileBytes(QDir(m_game).filePath(QStringLiteral(".vorn/transactions/r0/backup/a.txt")), "old"));
            QVERIFY(writeFileBytes(QDir(m_game).filePath(QStringLiteral("a.txt/blocking")), "x"));
        } else {
            manifest.files[0].path = QStringLiteral("../escape.bin");
        }
        m_engine->start(manifest, QStringLiteral("http://127.0.0.1:9/"), game, false);
        QVERIFY(m_recorder->waitForEnd(10000));
        QVERIFY(!m_engine->isRunning());
        const QStringList tail{QStringLiteral("failedDetailed:%1:%2").arg(code, message),
                               QStringLiteral("failed:") + message};
        if (ranAtAll) {
            QCOMPARE(m_recorder->events.mid(m_recorder->events.size() - 3),
                     QStringList{QStringLiteral("control:000")} + tail);
        } else {
            QCOMPARE(m_recorder->events, tail);
        }
    }

    void objectCacheIsClearedOnlyWhenIdle()
    {
        const QString cache = m_work->filePath(QStringLiteral("cache"));
        QVERIFY(writeFileBytes(QDir(cache).filePath(QStringLiteral("objects/ab/x.bin")), "x"));
        QVERIFY(writeFileBytes(QDir(cache).filePath(QStringLiteral("news/y.png")), "y"));
        startServer();
        m_repository->serve(m_server.data());
        m_engine->start(m_first, baseUrl(), m_game, false);
        m_engine->clearObjectCache();
        QVERIFY(QFileInfo::exists(QDir(cache).filePath(QStringLiteral("objects/ab/x.bin"))));
        QVERIFY(m_recorder->waitForEnd());
        QVERIFY(writeFileBytes(QDir(cache).filePath(QStringLiteral("objects/ab/x.bin")), "x"));
        m_engine->clearObjectCache();
        QVERIFY(!QFileInfo::exists(QDir(cache).filePath(QStringLiteral("objects"))));
        QVERIFY(QFileInfo::exists(QDir(cache).filePath(QStringLiteral("news/y.png"))));
    }
};

QTEST_GUILESS_MAIN(TestUpdateEngine)
#include "tst_update_engine.moc"
