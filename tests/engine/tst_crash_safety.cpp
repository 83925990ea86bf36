#include "core/manifest.h"
#include "tests/engine/release_fixture.h"
#include "tests/support/http_test_server.h"

#include <QDir>
#include <QProcess>
#include <QRandomGenerator>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QtTest>

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
};

// A family of kill points: the process dies on entering the N-th call of one of these system
// calls in any one thread, for N = 1, 2, ... until a run gets through.
struct KillFamily
{
    QString syscalls;
    int limit; // at most this many points of the family in one pass; 0: all
};

int envNumber(const char* name, int fallback)
{
    bool ok = false;
    const int value = qEnvironmentVariableIntValue(name, &ok);
    return ok ? value : fallback;
}

} // namespace

class TestCrashSafety final : public QObject
{
    Q_OBJECT

private:
    QTemporaryDir m_work;
    QScopedPointer<ReleaseRepository> m_repository;
    HttpTestServer m_server;
    QString m_strace;
    QVector<Scenario> m_scenarios;
    int m_killPoints = 0;
    int m_serial = 0;

    QString baseUrl() const { return m_server.url(QStringLiteral("/")); }

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
        const QString game = freshFolder(QStringLiteral("game"));
        const QString cache = freshFolder(QStringLiteral("cache"));
        if (!copyTree(scenario.installed, game))
            qFatal("cannot copy the installed folder");
        const QStringList arguments =
            QStringList{QStringLiteral("-f"), QStringLiteral("-qq"), QStringLiteral("-o"), QStringLiteral("/dev/null"),
                        QStringLiteral("-e"), QStringLiteral("trace=") + family.syscalls,
                        QStringLiteral("-e"),
                        QStringLiteral("inject=%1:signal=KILL:when=%2").arg(family.syscalls).arg(n),
                        QStringLiteral(VORN_ENGINE_DRIVER)}
            + driverArguments(scenario.releaseId, game, cache);
        const int code = run(m_strace, arguments);
        const QString point = QStringLiteral("%1, kill at %2 #%3").arg(scenario.name, family.syscalls).arg(n);
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

    void runFamilies(const QVector<KillFamily>& families, int scenarios)
    {
        for (int s = 0; s < qMin(scenarios, m_scenarios.size()); ++s) {
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
    }

    // Every rename of an update (backups, new files, removals, the installed manifest, the commit
    // point, the state cache), then the first few publications of saved files and deletions.
    void killedAtManyPointsThenRunAgain()
    {
        runFamilies({{QStringLiteral("rename,renameat,renameat2"), 0},
                     {QStringLiteral("linkat"), 4},
                     {QStringLiteral("unlink,unlinkat"), 4}},
                    1);
        qInfo("kill points: %d", m_killPoints);
        QVERIFY(m_killPoints >= 20);
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
                        m_scenarios.size());
        }
        const int deterministic = m_killPoints;
        QRandomGenerator generator(quint32(envNumber("VORN_CRASH_SEED", 1)));
        for (int i = 0; i < random && !QTest::currentTestFailed(); ++i) {
            const Scenario& scenario = m_scenarios.at(i % m_scenarios.size());
            const QString game = freshFolder(QStringLiteral("game"));
            const QString cache = freshFolder(QStringLiteral("cache"));
            QVERIFY(copyTree(scenario.installed, game));
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
