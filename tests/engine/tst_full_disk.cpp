#include "core/local_state.h"
#include "core/save_file.h"
#include "engine/update_engine.h"
#include "net/network_service.h"
#include "tests/engine/release_fixture.h"
#include "tests/support/http_test_server.h"

#include <QDir>
#include <QTemporaryDir>
#include <QtTest>

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/mount.h>
#include <unistd.h>

using namespace vorn;
using namespace vorn::test;

namespace {

// A tmpfs of the given size, mounted for the lifetime of the object.
class SmallVolume final
{
public:
    SmallVolume(const QString& folder, int megabytes)
        : m_folder(folder)
    {
        QDir().mkpath(folder);
        const QByteArray options = "size=" + QByteArray::number(megabytes) + "m";
        if (::mount("tmpfs", QFile::encodeName(folder).constData(), "tmpfs", 0, options.constData()) == 0)
            m_mounted = true;
        else
            m_error = QString::fromLocal8Bit(std::strerror(errno));
    }
    ~SmallVolume()
    {
        if (m_mounted)
            ::umount2(QFile::encodeName(m_folder).constData(), MNT_DETACH);
    }
    SmallVolume(const SmallVolume&) = delete;
    SmallVolume& operator=(const SmallVolume&) = delete;

    [[nodiscard]] bool isMounted() const { return m_mounted; }
    [[nodiscard]] QString error() const { return m_error; }

private:
    QString m_folder;
    bool m_mounted = false;
    QString m_error;
};

// Takes all but `leaveBytes` of the free space of the volume holding folder.
bool fillVolume(const QString& folder, qint64 leaveBytes)
{
    const QString path = QDir(folder).filePath(QStringLiteral("filler.bin"));
    const qint64 free = QStorageInfo(folder).bytesAvailable();
    const int fd = ::open(QFile::encodeName(path).constData(), O_CREAT | O_WRONLY | O_CLOEXEC, 0600);
    if (fd < 0)
        return false;
    const int result = ::posix_fallocate(fd, 0, free - leaveBytes);
    ::close(fd);
    return result == 0;
}

} // namespace

class TestFullDisk final : public QObject
{
    Q_OBJECT

private:
    QTemporaryDir m_work;
    QScopedPointer<ReleaseRepository> m_repository;
    HttpTestServer m_server;
    Manifest m_first;
    Manifest m_large;
    Manifest m_small;
    QString m_installed;
    int m_serial = 0;

    struct Outcome
    {
        QString code;
        QString message;
        bool ready = false;
    };

    // Installs a release into game; onDownloading runs when downloading starts.
    Outcome install(const Manifest& manifest, const QString& game,
                    const std::function<void()>& onDownloading = {})
    {
        NetworkService network;
        UpdateEngine engine(&network);
        engine.setCacheRoot(m_work.filePath(QStringLiteral("cache-%1").arg(++m_serial)));
        Outcome outcome;
        bool ended = false;
        connect(&engine, &UpdateEngine::ready, this, [&] { outcome.ready = ended = true; });
        connect(&engine, &UpdateEngine::failedDetailed, this, [&](const QString& code, const QString& message) {
            outcome.code = code;
            outcome.message = message;
            ended = true;
        });
        connect(&engine, &UpdateEngine::statusChanged, this, [&](const QString& status) {
            if (status.startsWith(QLatin1String("Downloading update")) && onDownloading)
                onDownloading();
        });
        engine.start(manifest, m_server.url(QStringLiteral("/")), game, false);
        QElapsedTimer timer;
        timer.start();
        while (!ended && timer.elapsed() < 120000)
            QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents, 50);
        return outcome;
    }

private slots:
    void initTestCase()
    {
        QVERIFY(m_work.isValid());
        {
            SmallVolume probe(m_work.filePath(QStringLiteral("probe")), 1);
            if (!probe.isMounted())
                QSKIP(qPrintable(QStringLiteral("cannot mount a small tmpfs (%1): run as root or under "
                                                "`unshare -rm`").arg(probe.error())));
        }
        m_repository.reset(new ReleaseRepository(m_work.filePath(QStringLiteral("releases"))));
        FileTree large = secondRelease();
        large.insert(QStringLiteral("data/huge.pak"), randomBytes(20 * 1024 * 1024, 77));
        QString error;
        QVERIFY2(m_repository->publish(QStringLiteral("r1"), firstRelease(), &m_first, &error), qPrintable(error));
        QVERIFY2(m_repository->publish(QStringLiteral("big"), large, &m_large, &error), qPrintable(error));
        FileTree withNotes = firstRelease();
        withNotes.insert(QStringLiteral("notes.txt"), "a few bytes");
        QVERIFY2(m_repository->publish(QStringLiteral("small"), withNotes, &m_small, &error), qPrintable(error));
        QVERIFY2(m_server.start(&error), qPrintable(error));
        m_repository->serve(&m_server);

        // The release before, installed on the ordinary disk, to be copied onto the small volumes.
        m_installed = m_work.filePath(QStringLiteral("installed-r1"));
        const Outcome installed = install(m_first, m_installed);
        QVERIFY2(installed.ready, qPrintable(installed.message));
    }

    void aVolumeTooSmallIsRefusedUpFront()
    {
        const QString game = m_work.filePath(QStringLiteral("small"));
        SmallVolume volume(game, 8);
        QVERIFY2(volume.isMounted(), qPrintable(volume.error()));
        QVERIFY(copyTree(m_installed, game));

        const Outcome outcome = install(m_large, game);
        qInfo("%s: %s", qPrintable(outcome.code), qPrintable(outcome.message));
        QVERIFY(!outcome.ready);
        if (outcome.code == QLatin1String("UPD-NO-SPACE")) {
            QVERIFY2(QRegularExpression(QStringLiteral("^Not enough free disk space\\. Required: \\d+\\.\\d GB; "
                                                       "available: \\d+\\.\\d GB$"))
                         .match(outcome.message).hasMatch(),
                     qPrintable(outcome.message));
        } else {
            // Cache and game folder look like one volume here (both tmpfs): the disk then fills.
            QCOMPARE(outcome.code, QStringLiteral("UPD-APPLY"));
            QVERIFY(!outcome.message.isEmpty());
        }
        QCOMPARE(readTree(game), firstRelease());
    }

    // Rewriting the installed manifest on a full disk fails with the cause; the manifest before
    // stays whole (a short write must never be committed as the new one).
    void aFullDiskNeverTruncatesTheInstalledManifest()
    {
        const QString game = m_work.filePath(QStringLiteral("full-%1").arg(++m_serial));
        SmallVolume volume(game, 100);
        QVERIFY2(volume.isMounted(), qPrintable(volume.error()));
        const QString files = QDir(game).filePath(QStringLiteral("game"));
        QVERIFY(copyTree(m_installed, files));
        const QByteArray manifest = readFileBytes(installedManifestPath(QDir(files)));

        bool filled = false;
        const Outcome outcome = install(m_first, files, [&] { filled = fillVolume(game, 0); });
        QVERIFY(filled);
        QVERIFY(!outcome.ready);
        QCOMPARE(outcome.code + QLatin1Char(':') + outcome.message,
                 QStringLiteral("UPD-APPLY:") + qt_error_string(ENOSPC));
        QCOMPARE(readFileBytes(installedManifestPath(QDir(files))), manifest);
        QCOMPARE(readTree(files), firstRelease());
    }

    // Every atomic save (repository files, the record of the newest pointer, the kept manifest)
    // keeps the file before when the disk fills under its last buffered bytes.
    void aFullDiskKeepsTheFileBeforeASave()
    {
        const QString folder = m_work.filePath(QStringLiteral("save-%1").arg(++m_serial));
        SmallVolume volume(folder, 1);
        QVERIFY2(volume.isMounted(), qPrintable(volume.error()));
        const QString path = QDir(folder).filePath(QStringLiteral("live.json"));
        QVERIFY(writeFileAtomically(path, "before"));
        QVERIFY(fillVolume(folder, 0));
        QString error;
        QVERIFY(!writeFileAtomically(path, QByteArray(100, 'x'), &error));
        QVERIFY2(error.contains(qt_error_string(ENOSPC)), qPrintable(error));
        QCOMPARE(readFileBytes(path), QByteArray("before"));
    }

    // A lock file that cannot be written is the disk's or the folder's fault, not another
    // updater's: the message names the system's reason and the code fits it.
    void aLockThatCannotBeWrittenNamesTheCause_data()
    {
        QTest::addColumn<bool>("readOnly");
        QTest::addColumn<QString>("code");
        QTest::addColumn<int>("cause");
        QTest::newRow("full disk") << false << "UPD-NO-SPACE" << ENOSPC;
        QTest::newRow("read-only, a dead updater's lock left") << true << "UPD-PATH" << EROFS;
    }

    void aLockThatCannotBeWrittenNamesTheCause()
    {
        QFETCH(bool, readOnly);
        QFETCH(QString, code);
        QFETCH(int, cause);
        const QString game = m_work.filePath(QStringLiteral("locked-%1").arg(++m_serial));
        SmallVolume volume(game, 1);
        QVERIFY2(volume.isMounted(), qPrintable(volume.error()));
        QVERIFY(QDir().mkpath(QDir(game).filePath(QStringLiteral(".vorn"))));
        if (readOnly) {
            QFile lock(QDir(game).filePath(QStringLiteral(".vorn/update.lock")));
            QVERIFY(lock.open(QIODevice::WriteOnly));
            lock.write("999999\nvorn-update\n" + QSysInfo::machineHostName().toUtf8() + '\n');
            lock.close();
            QCOMPARE(::mount(nullptr, QFile::encodeName(game).constData(), nullptr, MS_REMOUNT | MS_RDONLY, nullptr), 0);
        } else {
            QVERIFY(fillVolume(game, 0));
        }
        QString failure;
        QString message;
        QVERIFY(!UpdateEngine::recoverFolder(game, &failure, &message));
        QCOMPARE(failure, code);
        QVERIFY2(message.endsWith(QStringLiteral(": ") + qt_error_string(cause)), qPrintable(message));
    }

    // Large files meet the full disk while written; a small one only when its last buffered
    // bytes are, which must name the cause just the same.
    void aDiskThatFillsDuringApplyingLosesNothing_data()
    {
        QTest::addColumn<bool>("small");
        QTest::addColumn<qint64>("left");
        QTest::newRow("large files") << false << qint64(2 * 1024 * 1024);
        QTest::newRow("one small file, no room at all") << true << qint64(0);
    }

    void aDiskThatFillsDuringApplyingLosesNothing()
    {
        QFETCH(bool, small);
        QFETCH(qint64, left);
        const QString game = m_work.filePath(QStringLiteral("filling-%1").arg(++m_serial));
        SmallVolume volume(game, 100);
        QVERIFY2(volume.isMounted(), qPrintable(volume.error()));
        const QString files = QDir(game).filePath(QStringLiteral("game"));
        QVERIFY(copyTree(m_installed, files));
        const Manifest& release = small ? m_small : m_large;
        FileTree expected = secondRelease();
        expected.insert(QStringLiteral("data/huge.pak"), randomBytes(20 * 1024 * 1024, 77));
        if (small) {
            expected = firstRelease();
            expected.insert(QStringLiteral("notes.txt"), "a few bytes");
        }

        // The space check passes; then something else takes the room before the files are built.
        bool filled = false;
        const Outcome outcome = install(release, files, [&] { filled = fillVolume(game, left); });
        QVERIFY(filled);
        qInfo("%s: %s", qPrintable(outcome.code), qPrintable(outcome.message));
        QVERIFY(!outcome.ready);
        QCOMPARE(outcome.code, QStringLiteral("UPD-APPLY"));
        // The cause, not a chunk that looks damaged.
        QCOMPARE(outcome.message, qt_error_string(ENOSPC));
        QCOMPARE(readTree(files), firstRelease());

        // With room again the same release installs, the half-built stage cleared away.
        QVERIFY(QFile::remove(QDir(game).filePath(QStringLiteral("filler.bin"))));
        const Outcome retry = install(release, files);
        QVERIFY2(retry.ready, qPrintable(retry.code + QStringLiteral(": ") + retry.message));
        QCOMPARE(readTree(files), expected);
        QVERIFY(transactionFolders(files).isEmpty());
    }
};

QTEST_GUILESS_MAIN(TestFullDisk)
#include "tst_full_disk.moc"
