#include "core/manifest.h"
#include "tests/engine/release_fixture.h"
#include "tests/support/http_test_server.h"

#include <QDir>
#include <QProcess>
#include <QRandomGenerator>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QtTest>

#include <numeric>

using namespace vorn;
using namespace vorn::test;

namespace {

// An update from one installed folder to a release.
struct Scenario
{
    QString name;
    QString installed; // template folder, copied for every kill
    QString releaseId;
    FileTree before;
    FileTree after;
    // Every object already in the cache: nothing is downloaded, so the calls of the apply are
    // the only renames and each kill point lands in the assembly, the swap or the commit.
    bool cachePrefilled = false;
};

// What the driver writes to stderr when it dies of a fault of its own.
const char* const kDriverFault = "vorn_engine_driver: fatal signal";

// A family of kill points: the process dies on entering the N-th call of one of these system
// calls in any one thread, for N = 1, 2, ... until a run gets through.
struct KillFamily
{
    QString syscalls;
    int limit; // at most this many points of the family in one pass; 0: all
};

// Killing a process needs no disk: on a memory file system the waits for the disk that dominate
// every run cost nothing, which allows many more kill points in the same time.
QString workTemplate()
{
    const QFileInfo memory(QStringLiteral("/dev/shm"));
    if (memory.isDir() && memory.isWritable())
        return QStringLiteral("/dev/shm/vorn-crash-XXXXXX");
    return QDir::temp().filePath(QStringLiteral("vorn-crash-XXXXXX"));
}

int envNumber(const char* name, int fallback)
{
    bool ok = false;
    const int value = qEnvironmentVariableIntValue(name, &ok);
    return ok ? value : fallback;
}

// One call of an strace log (-f -y): its name, its quoted path arguments, the paths of its file
// descriptors, and whether it returned 0.
struct TracedCall
{
    QString name;
    QStringList paths;
    QStringList descriptorPaths;
    bool succeeded = false;
};

// Calls in the order they completed; a call that another thread interrupted in the log is
// joined from its two halves.
QVector<TracedCall> readTrace(const QString& file)
{
    static const QRegularExpression line(QStringLiteral("^(\\d+)\\s+(.*)$"));
    static const QRegularExpression call(QStringLiteral("^(\\w+)\\((.*)\\)\\s+=\\s+(-?\\d+)"));
    static const QRegularExpression quoted(QStringLiteral("\"((?:[^\"\\\\]|\\\\.)*)\""));
    static const QRegularExpression descriptor(QStringLiteral("\\d+<([^>]*)>"));
    QHash<QString, QString> unfinished;
    QVector<TracedCall> calls;
    const QStringList lines = QString::fromUtf8(readFileBytes(file)).split(QLatin1Char('\n'));
    for (const QString& raw : lines) {
        const QRegularExpressionMatch parts = line.match(raw);
        if (!parts.hasMatch())
            continue;
        const QString pid = parts.captured(1);
        QString text = parts.captured(2);
        if (text.endsWith(QLatin1String(" <unfinished ...>"))) {
            unfinished.insert(pid, text.chopped(17));
            continue;
        }
        if (text.startsWith(QLatin1String("<... "))) {
            text = unfinished.take(pid) + text.mid(text.indexOf(QLatin1String("resumed>")) + 8);
        }
        const QRegularExpressionMatch match = call.match(text);
        if (!match.hasMatch())
            continue;
        TracedCall traced;
        traced.name = match.captured(1);
        traced.succeeded = match.captured(3) == QLatin1String("0");
        auto strings = quoted.globalMatch(match.captured(2));
        while (strings.hasNext())
            traced.paths << strings.next().captured(1);
        auto descriptors = descriptor.globalMatch(match.captured(2));
        while (descriptors.hasNext())
            traced.descriptorPaths << descriptors.next().captured(1);
        calls << traced;
    }
    return calls;
}

// What must be on the disk before the next step may rely on it: after a rename or link that
// makes something final (a file swapped in or restored, the commit point, the installed
// manifest), its folder must be flushed before the commit point, the installed manifest or the
// removal of the transaction. steps counts the final renames seen, so an empty log cannot pass.
QStringList durabilityProblems(const QVector<TracedCall>& calls, const QString& game, int* steps)
{
    const QDir root(game);
    const QString state = root.filePath(QStringLiteral(".vorn")) + QLatin1Char('/');
    const QString transactions = root.filePath(QStringLiteral(".vorn/transactions")) + QLatin1Char('/');
    const QString manifest = root.filePath(QStringLiteral(".vorn/installed-manifest.json"));
    QMap<QString, QString> unflushed; // folder -> what was renamed into it
    QStringList problems;
    auto requireFlushed = [&](const QString& step) {
        for (auto it = unflushed.cbegin(); it != unflushed.cend(); ++it)
            problems << QStringLiteral("%1 before %2 was flushed after %3").arg(step, it.key(), it.value());
        unflushed.clear();
    };
    *steps = 0;
    for (const TracedCall& call : calls) {
        if (call.name == QLatin1String("fsync") || call.name == QLatin1String("fdatasync")) {
            if (!call.descriptorPaths.isEmpty())
                unflushed.remove(call.descriptorPaths.first());
        } else if (call.name.startsWith(QLatin1String("unlink")) || call.name == QLatin1String("rmdir")) {
            if (!call.paths.isEmpty() && call.paths.last().startsWith(transactions))
                requireFlushed(QStringLiteral("removing the transaction"));
        } else if ((call.name.startsWith(QLatin1String("rename")) || call.name == QLatin1String("linkat"))
                   && call.succeeded && !call.paths.isEmpty()) {
            const QString target = call.paths.last();
            const QString folder = QFileInfo(target).absolutePath();
            QString what;
            if (target.startsWith(transactions)) {
                if (target.endsWith(QLatin1String("/committed"))) {
                    requireFlushed(QStringLiteral("the commit point"));
                    what = QStringLiteral("the commit point");
                }
            } else if (target == manifest) {
                requireFlushed(QStringLiteral("the installed manifest"));
                what = QStringLiteral("the installed manifest");
            } else if (target.startsWith(root.path() + QLatin1Char('/')) && !target.startsWith(state)) {
                what = root.relativeFilePath(target);
            }
            if (!what.isEmpty()) {
                unflushed.insert(folder, what);
                ++*steps;
            }
        }
    }
    return problems;
}

} // namespace

class TestCrashSafety final : public QObject
{
    Q_OBJECT

private:
    QTemporaryDir m_work{workTemplate()};
    QScopedPointer<ReleaseRepository> m_repository;
    HttpTestServer m_server;
    QString m_strace;
    QVector<Scenario> m_scenarios;
    int m_killPoints = 0;
    int m_serial = 0;

    QString baseUrl() const { return m_server.url(QStringLiteral("/")); }

    QVector<int> allScenarios() const
    {
        QVector<int> all(m_scenarios.size());
        std::iota(all.begin(), all.end(), 0);
        return all;
    }

    QStringList driverArguments(const QString& releaseId, const QString& game, const QString& cache) const
    {
        return {QStringLiteral("--manifest"), m_repository->manifestFile(releaseId),
                QStringLiteral("--base-url"), baseUrl(),
                QStringLiteral("--game"), game,
                QStringLiteral("--cache"), cache};
    }

    // Exit code, or -1 when the process was killed.
    int run(const QString& program, const QStringList& arguments, QByteArray* errors = nullptr)
    {
        QProcess process;
        process.start(program, arguments);
        if (!process.waitForStarted() || !process.waitForFinished(120000))
            return -2;
        if (errors)
            *errors = process.readAllStandardError();
        return process.exitStatus() == QProcess::CrashExit ? -1 : process.exitCode();
    }

    int runDriver(const QStringList& arguments, QByteArray* errors = nullptr)
    {
        return run(QStringLiteral(VORN_ENGINE_DRIVER), arguments, errors);
    }

    QString freshFolder(const QString& prefix)
    {
        return m_work.filePath(QStringLiteral("%1-%2").arg(prefix).arg(++m_serial));
    }

    // A game folder holding the scenario's starting point, and a cache for it.
    void prepareRun(const Scenario& scenario, QString* game, QString* cache)
    {
        *game = freshFolder(QStringLiteral("game"));
        *cache = freshFolder(QStringLiteral("cache"));
        if (!copyTree(scenario.installed, *game) || !QDir().mkpath(*cache))
            qFatal("cannot copy the installed folder");
        // The repository's objects folder has the cache's layout.
        if (scenario.cachePrefilled
            && !copyTree(QDir(m_repository->repoDirectory()).filePath(QStringLiteral("objects")),
                         QDir(*cache).filePath(QStringLiteral("objects"))))
            qFatal("cannot fill the object cache");
    }

    // Right after a kill, recovery alone must leave every file exactly old or exactly new; then a
    // normal run must bring the folder exactly to the release, with no transaction left behind.
    void verifyAfterKill(const Scenario& scenario, const QString& game, const QString& cache,
                         const QString& point)
    {
        const QString recovered = freshFolder(QStringLiteral("recovered"));
        QVERIFY(copyTree(game, recovered));
        QByteArray errors;
        QVERIFY2(runDriver({QStringLiteral("--game"), recovered, QStringLiteral("--recover-only")}, &errors) == 0,
                 qPrintable(point + QStringLiteral(": ") + QString::fromUtf8(errors)));
        QVERIFY2(transactionFolders(recovered).isEmpty(), qPrintable(point));
        const FileTree found = readTree(recovered);
        QSet<QString> paths;
        for (const QString& path : scenario.before.keys() + scenario.after.keys() + found.keys())
            paths.insert(path);
        for (const QString& path : qAsConst(paths)) {
            const bool asBefore = found.contains(path) == scenario.before.contains(path)
                && found.value(path) == scenario.before.value(path);
            const bool asAfter = found.contains(path) == scenario.after.contains(path)
                && found.value(path) == scenario.after.value(path);
            QVERIFY2(asBefore || asAfter,
                     qPrintable(QStringLiteral("%1: %2 is neither old nor new after recovery").arg(point, path)));
        }
        QDir(recovered).removeRecursively();

        QVERIFY2(runDriver(driverArguments(scenario.releaseId, game, cache), &errors) == 0,
                 qPrintable(point + QStringLiteral(": ") + QString::fromUtf8(errors)));
        QVERIFY2(readTree(game) == scenario.after, qPrintable(point + QStringLiteral(": folder differs from the release")));
        QVERIFY2(transactionFolders(game).isEmpty(), qPrintable(point));
    }

    // Returns whether the process was killed at this point (false: it got through).
    bool killAt(const Scenario& scenario, const KillFamily& family, int n)
    {
        QString game;
        QString cache;
        prepareRun(scenario, &game, &cache);
        const QStringList arguments =
            QStringList{QStringLiteral("-f"), QStringLiteral("-qq"), QStringLiteral("-o"), QStringLiteral("/dev/null"),
                        QStringLiteral("-e"), QStringLiteral("trace=") + family.syscalls,
                        QStringLiteral("-e"),
                        QStringLiteral("inject=%1:signal=KILL:when=%2").arg(family.syscalls).arg(n),
                        QStringLiteral(VORN_ENGINE_DRIVER)}
            + driverArguments(scenario.releaseId, game, cache);
        QByteArray errors;
        const int code = run(m_strace, arguments, &errors);
        const QString point = QStringLiteral("%1, kill at %2 #%3").arg(scenario.name, family.syscalls).arg(n);
        // A driver that dies of a fault of its own also ends as a crash: its report tells it from
        // the kill.
        if (errors.contains(kDriverFault))
            qFatal("%s: the driver failed before the kill: %s", qPrintable(point), errors.constData());
        bool killed = code == -1;
        if (!killed && code != 0)
            qFatal("%s: the driver ended with %d", qPrintable(point), code);
        if (killed) {
            ++m_killPoints;
            verifyAfterKill(scenario, game, cache, point);
        } else if (readTree(game) != scenario.after) {
            qFatal("%s: an uninterrupted run did not install the release", qPrintable(point));
        }
        QDir(game).removeRecursively();
        QDir(cache).removeRecursively();
        return killed;
    }

    void runFamilies(const QVector<KillFamily>& families, const QVector<int>& scenarios)
    {
        for (const int s : scenarios) {
            for (const KillFamily& family : families) {
                for (int n = 1; family.limit == 0 || n <= family.limit; ++n) {
                    const bool killed = killAt(m_scenarios.at(s), family, n);
                    if (QTest::currentTestFailed() || !killed)
                        break;
                }
                if (QTest::currentTestFailed())
                    return;
            }
        }
    }

private slots:
    void initTestCase()
    {
        m_strace = QStandardPaths::findExecutable(QStringLiteral("strace"));
        if (m_strace.isEmpty())
            QSKIP("strace is not installed (scripts/install-deps installs it)");
        if (run(m_strace, {QStringLiteral("-f"), QStringLiteral("-o"), QStringLiteral("/dev/null"),
                           QStringLiteral("true")}) != 0)
            QSKIP("strace cannot trace processes here (ptrace is not permitted)");

        QVERIFY(m_work.isValid());
        m_repository.reset(new ReleaseRepository(m_work.filePath(QStringLiteral("releases"))));
        Manifest manifest;
        QString error;
        QVERIFY2(m_repository->publish(QStringLiteral("r1"), firstRelease(), &manifest, &error, userOwnedGlobs()),
                 qPrintable(error));
        QVERIFY2(m_repository->publish(QStringLiteral("r2"), secondRelease(), &manifest, &error, userOwnedGlobs()),
                 qPrintable(error));
        QVERIFY2(m_repository->publish(QStringLiteral("moves"), movedRelease(), &manifest, &error, userOwnedGlobs()),
                 qPrintable(error));
        QVERIFY2(m_server.start(&error), qPrintable(error));
        m_repository->serve(&m_server);

        // Installed folders to start from, made by the driver itself.
        const QString first = m_work.filePath(QStringLiteral("installed-r1"));
        const QString second = m_work.filePath(QStringLiteral("installed-r2"));
        const QString empty = m_work.filePath(QStringLiteral("installed-nothing"));
        QVERIFY(QDir().mkpath(empty));
        QByteArray errors;
        QVERIFY2(runDriver(driverArguments(QStringLiteral("r1"), first, freshFolder(QStringLiteral("cache"))), &errors) == 0,
                 errors.constData());
        QVERIFY2(runDriver(driverArguments(QStringLiteral("r2"), second, freshFolder(QStringLiteral("cache"))), &errors) == 0,
                 errors.constData());
        QCOMPARE(readTree(first), firstRelease());
        QCOMPARE(readTree(second), secondRelease());

        m_scenarios = {
            {QStringLiteral("r1 to r2"), first, QStringLiteral("r2"), firstRelease(),
             expectedAfterUpdate(firstRelease(), secondRelease())},
            {QStringLiteral("r2 to r1"), second, QStringLiteral("r1"), secondRelease(),
             expectedAfterUpdate(secondRelease(), firstRelease())},
            {QStringLiteral("fresh r2"), empty, QStringLiteral("r2"), FileTree(), secondRelease()},
        };
        for (int s = 0; s < 2; ++s) {
            Scenario cached = m_scenarios.at(s);
            cached.name += QStringLiteral(", objects cached");
            cached.cachePrefilled = true;
            m_scenarios.append(cached);
        }

        // Layout changes: folders that become files and files that become folders, and a
        // top-level file whose name the backup also uses.
        const FileTree folders{{QStringLiteral("data/a.txt"), randomBytes(3000, 21)},
                               {QStringLiteral("data/sub/b.txt"), randomBytes(2000, 22)},
                               {QStringLiteral("maps"), "maps as a file"},
                               {QStringLiteral("removed"), "first"},
                               {QStringLiteral("x.txt"), "obsolete"},
                               {QStringLiteral("keep.txt"), "kept"}};
        const FileTree files{{QStringLiteral("data"), "data as a file"},
                             {QStringLiteral("maps/a.pak"), randomBytes(5000, 23)},
                             {QStringLiteral("maps/b.pak"), randomBytes(4000, 24)},
                             {QStringLiteral("removed"), "second"},
                             {QStringLiteral("keep.txt"), "kept"}};
        QVERIFY2(m_repository->publish(QStringLiteral("l1"), folders, &manifest, &error), qPrintable(error));
        QVERIFY2(m_repository->publish(QStringLiteral("l2"), files, &manifest, &error), qPrintable(error));
        m_repository->serve(&m_server);
        const QString withFolders = m_work.filePath(QStringLiteral("installed-l1"));
        const QString withFiles = m_work.filePath(QStringLiteral("installed-l2"));
        for (const QString& id : {QStringLiteral("l1"), QStringLiteral("l2")}) {
            const QString folder = id == QLatin1String("l1") ? withFolders : withFiles;
            QVERIFY2(runDriver(driverArguments(id, folder, freshFolder(QStringLiteral("cache"))), &errors) == 0,
                     errors.constData());
        }
        m_scenarios.append({QStringLiteral("l1 to l2, objects cached"), withFolders, QStringLiteral("l2"),
                            folders, files, true});
        m_scenarios.append({QStringLiteral("l2 to l1, objects cached"), withFiles, QStringLiteral("l1"),
                            files, folders, true});
        // Every file copied from another one, some of them sources that the same swap replaces
        // or removes: nothing to download, so every kill lands in the assembly or the swap.
        m_scenarios.append({QStringLiteral("r1 rearranged"), first, QStringLiteral("moves"), firstRelease(),
                            expectedAfterUpdate(firstRelease(), movedRelease())});
    }

    // Every rename of a download (the cache's stores) and the first few publications of saved
    // files and deletions; then, with every object cached, every rename of the apply in both
    // directions, also across layout changes and a release that only rearranges files: backups,
    // new files, removals, the commit point, the installed manifest and the state cache.
    void killedAtManyPointsThenRunAgain()
    {
        runFamilies({{QStringLiteral("rename,renameat,renameat2"), 0},
                     {QStringLiteral("linkat"), 4},
                     {QStringLiteral("unlink,unlinkat"), 4}},
                    {0});
        if (QTest::currentTestFailed())
            return;
        const int downloading = m_killPoints;
        runFamilies({{QStringLiteral("rename,renameat,renameat2"), 0}}, {3, 4, 5, 6, 7});
        qInfo("kill points: %d while downloading, %d while applying", downloading,
              m_killPoints - downloading);
        QVERIFY(downloading >= 20);
        QVERIFY(m_killPoints - downloading >= 20);
    }

    // The order of system calls shows what no kill can: a rename that is not yet on the disk
    // when the next step relies on it. Checked for a whole update and for a recovery.
    void finalRenamesAreFlushedBeforeTheNextStep()
    {
        const Scenario& scenario = m_scenarios.at(3);
        QString game;
        QString cache;
        prepareRun(scenario, &game, &cache);
        game = QFileInfo(game).canonicalFilePath();
        const QString log = freshFolder(QStringLiteral("trace"));
        const QStringList trace{QStringLiteral("-f"), QStringLiteral("-qq"), QStringLiteral("-y"),
                                QStringLiteral("-o"), log, QStringLiteral("-e"),
                                QStringLiteral("trace=rename,renameat,renameat2,linkat,fsync,fdatasync,"
                                               "unlink,unlinkat,rmdir")};
        const QStringList update =
            QStringList{QStringLiteral(VORN_ENGINE_DRIVER)} + driverArguments(scenario.releaseId, game, cache);
        QCOMPARE(run(m_strace, trace + update), 0);
        QCOMPARE(readTree(game), scenario.after);
        int steps = 0;
        QStringList problems = durabilityProblems(readTrace(log), game, &steps);
        QVERIFY2(problems.isEmpty(), qPrintable(problems.join(QLatin1Char('\n'))));
        // Every file swapped in or removed, the commit point and the installed manifest.
        QVERIFY2(steps >= 8, qPrintable(QString::number(steps)));

        // Killed in the middle of the swap, then recovered.
        QDir(game).removeRecursively();
        QDir(cache).removeRecursively();
        prepareRun(scenario, &game, &cache);
        game = QFileInfo(game).canonicalFilePath();
        const QStringList killed{QStringLiteral("-f"), QStringLiteral("-qq"), QStringLiteral("-o"),
                                 QStringLiteral("/dev/null"), QStringLiteral("-e"), QStringLiteral("trace=rename"),
                                 QStringLiteral("-e"), QStringLiteral("inject=rename:signal=KILL:when=6"),
                                 QStringLiteral(VORN_ENGINE_DRIVER)};
        QCOMPARE(run(m_strace, killed + driverArguments(scenario.releaseId, game, cache)), -1);
        const QStringList recovery{QStringLiteral(VORN_ENGINE_DRIVER), QStringLiteral("--game"), game,
                                   QStringLiteral("--recover-only")};
        QCOMPARE(run(m_strace, trace + recovery), 0);
        QCOMPARE(readTree(game), scenario.before);
        problems = durabilityProblems(readTrace(log), game, &steps);
        QVERIFY2(problems.isEmpty(), qPrintable(problems.join(QLatin1Char('\n'))));
        QVERIFY2(steps >= 2, qPrintable(QString::number(steps)));
    }

    // Killed right after the installed manifest was written: the release counts as installed, and
    // what the run left (its committed transaction, the state cache's temporary file) is removed
    // before anyone may call the folder up to date.
    void nothingIsLeftAfterAKillBehindTheInstalledManifest()
    {
        const Scenario& scenario = m_scenarios.at(3);
        QString game;
        QString cache;
        prepareRun(scenario, &game, &cache);
        // With every object cached the apply makes the only renames; find the state cache's.
        const QString log = freshFolder(QStringLiteral("trace"));
        const QStringList traced{QStringLiteral("-f"), QStringLiteral("-qq"), QStringLiteral("-o"), log,
                                 QStringLiteral("-e"), QStringLiteral("trace=rename,renameat,renameat2"),
                                 QStringLiteral(VORN_ENGINE_DRIVER)};
        QCOMPARE(run(m_strace, traced + driverArguments(scenario.releaseId, game, cache)), 0);
        int stateRename = 0;
        const QVector<TracedCall> calls = readTrace(log);
        for (int i = 0; i < calls.size() && stateRename == 0; ++i) {
            if (calls.at(i).paths.value(1).endsWith(QLatin1String("/.vorn/state.json")))
                stateRename = i + 1;
        }
        QVERIFY(stateRename > 0);

        QDir(game).removeRecursively();
        QDir(cache).removeRecursively();
        prepareRun(scenario, &game, &cache);
        const QStringList killed{QStringLiteral("-f"), QStringLiteral("-qq"), QStringLiteral("-o"),
                                 QStringLiteral("/dev/null"), QStringLiteral("-e"),
                                 QStringLiteral("trace=rename,renameat,renameat2"), QStringLiteral("-e"),
                                 QStringLiteral("inject=rename,renameat,renameat2:signal=KILL:when=%1").arg(stateRename),
                                 QStringLiteral(VORN_ENGINE_DRIVER)};
        QCOMPARE(run(m_strace, killed + driverArguments(scenario.releaseId, game, cache)), -1);
        const QDir state(QDir(game).filePath(QStringLiteral(".vorn")));
        const QStringList temporary{QStringLiteral("state.json.*"), QStringLiteral("installed-manifest.json.*")};
        QVERIFY(!transactionFolders(game).isEmpty());
        QVERIFY(!state.entryList(temporary, QDir::Files).isEmpty());

        QByteArray errors;
        QVERIFY2(runDriver({QStringLiteral("--game"), game, QStringLiteral("--recover-only")}, &errors) == 0,
                 errors.constData());
        QCOMPARE(transactionFolders(game), QStringList());
        QCOMPARE(state.entryList(temporary, QDir::Files), QStringList());
        QCOMPARE(readTree(game), scenario.after);
    }

    // Two updaters on one game folder: the second is refused at once and changes nothing; the
    // lock of an updater that was killed is taken over.
    void aSecondUpdaterIsRefused()
    {
        const Scenario& scenario = m_scenarios.at(2);
        Manifest manifest;
        QString error;
        QVERIFY(parseManifest(readFileBytes(m_repository->manifestFile(scenario.releaseId)), &manifest, &error));
        const QByteArray victim = ReleaseRepository::objectUrlPaths(manifest).first().toUtf8();
        // The first updater holds the folder while this object arrives: fast enough for every
        // time-out and pace rule of the download, so it lasts minutes, not the seconds a silent
        // stall would last on a loaded machine.
        HttpResponse stalled = HttpResponse::ofSize(8 * 1024 * 1024);
        stalled.trickle = HttpResponse::Trickle::Body;
        stalled.trickleMs = 100;
        stalled.trickleBytes = 4096;
        m_server.clearRoutes();
        m_server.on(victim, stalled);
        m_repository->serve(&m_server);
        // Earlier runs asked for the victim too: only a request of the first updater may tell
        // that it holds the folder.
        m_server.clearRequests();

        QString game;
        QString cache;
        prepareRun(scenario, &game, &cache);
        QProcess first;
        first.start(QStringLiteral(VORN_ENGINE_DRIVER), driverArguments(scenario.releaseId, game, cache));
        QVERIFY(first.waitForStarted());
        QElapsedTimer waited;
        waited.start();
        while (m_server.requests(victim).isEmpty() && waited.elapsed() < 60000)
            QThread::msleep(20);
        QVERIFY(!m_server.requests(victim).isEmpty());

        // On a share that does not honour native locks, only the owner's record and the file's
        // age speak for the first updater. An update may run for hours: age alone never makes
        // its lock stale.
        const QString lockPath = QDir(game).filePath(QStringLiteral(".vorn/update.lock"));
        const QByteArray owner = readFileBytes(lockPath);
        QVERIFY(!owner.isEmpty() && QFile::remove(lockPath) && writeFileBytes(lockPath, owner));
        QFile lock(lockPath);
        QVERIFY(lock.open(QIODevice::ReadWrite)
                && lock.setFileTime(QDateTime::currentDateTime().addSecs(-3600), QFileDevice::FileModificationTime));
        lock.close();
        QByteArray errors;
        const QString otherCache = freshFolder(QStringLiteral("cache"));
        QCOMPARE(runDriver(driverArguments(scenario.releaseId, game, otherCache), &errors), 1);
        QVERIFY2(errors.startsWith("UPD-BUSY: Another update is running in "), errors.constData());
        QVERIFY(!QFileInfo::exists(QDir(otherCache).filePath(QStringLiteral("objects"))));

        first.kill();
        QVERIFY(first.waitForFinished());
        m_server.clearRoutes();
        m_repository->serve(&m_server);
        QVERIFY2(runDriver(driverArguments(scenario.releaseId, game, cache), &errors) == 0, errors.constData());
        QCOMPARE(readTree(game), scenario.after);
        QVERIFY(transactionFolders(game).isEmpty());
    }

    // By hand: VORN_CRASH_LONG=1 runs every point of every family in every scenario, and
    // VORN_CRASH_RANDOM=n adds n kills at random moments of a run.
    void longRun()
    {
        const bool all = envNumber("VORN_CRASH_LONG", 0) != 0;
        const int random = envNumber("VORN_CRASH_RANDOM", 0);
        if (!all && random <= 0)
            QSKIP("set VORN_CRASH_LONG=1 and/or VORN_CRASH_RANDOM=<kills> for the long run");
        m_killPoints = 0;
        if (all) {
            runFamilies({{QStringLiteral("rename,renameat,renameat2"), 0},
                         {QStringLiteral("linkat"), 0},
                         {QStringLiteral("unlink,unlinkat"), 0},
                         {QStringLiteral("fdatasync,fsync"), 0},
                         {QStringLiteral("mkdir,mkdirat"), 0}},
                        allScenarios());
        }
        const int deterministic = m_killPoints;
        QRandomGenerator generator(quint32(envNumber("VORN_CRASH_SEED", 1)));
        for (int i = 0; i < random && !QTest::currentTestFailed(); ++i) {
            const Scenario& scenario = m_scenarios.at(i % m_scenarios.size());
            QString game;
            QString cache;
            prepareRun(scenario, &game, &cache);
            QProcess process;
            process.start(QStringLiteral(VORN_ENGINE_DRIVER), driverArguments(scenario.releaseId, game, cache));
            QVERIFY(process.waitForStarted());
            QThread::usleep(generator.bounded(20000, 400000));
            process.kill();
            process.waitForFinished();
            if (process.exitStatus() == QProcess::CrashExit) {
                ++m_killPoints;
                verifyAfterKill(scenario, game, cache, QStringLiteral("%1, random kill %2").arg(scenario.name).arg(i));
            }
            QDir(game).removeRecursively();
            QDir(cache).removeRecursively();
        }
        qInfo("kill points: %d deterministic, %d at random moments", deterministic, m_killPoints - deterministic);
    }
};

QTEST_GUILESS_MAIN(TestCrashSafety)
#include "tst_crash_safety.moc"
