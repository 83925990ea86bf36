#include "config/settings.h"
#include "core/file_status.h"
#include "core/local_state.h"
#include "core/pointer_history.h"
#include "engine/file_ops.h"
#include "launcher/log_file.h"
#include "launcher/self_update.h"
#include "release/release_index_client.h"

#include <QDirIterator>
#include <QFuture>
#include <QTemporaryDir>
#include <QtConcurrent>
#include <QtTest>

#include <functional>

#include <fcntl.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <unistd.h>

using namespace vorn;

namespace {

// What a hostile local user may put where one of our own files or folders belongs.
enum class Hazard { LinkToOutsideFile, DanglingLink, LinkedFolder, Fifo, LinkToDevice };

// One of the launcher's or the engine's own files, and what the program does with it.
struct Subject
{
    QString root;       // "launcher" or "game", below the test's folder
    QString rel;        // the file (or, for the staging step, the folder) below root
    QString linkFolder; // the folder of rel that the LinkedFolder hazard makes a link
    bool writes = true; // whether the subject is written (else only read)
    std::function<void(const QString& root)> use;
};

const QByteArray kKey(32, '1');

QMap<QString, Subject> subjects()
{
    const auto record = [](const QString& root, const QString& rel) {
        const QString path = QDir(root).filePath(rel);
        (void)readSeenPointer(path, QStringLiteral("live"), {kKey});
        (void)rememberSeenPointer(path, QStringLiteral("live"), kKey, {3, QStringLiteral("r3"), QByteArray(32, 'b')});
    };
    const auto keptManifest = [](const QString& root) {
        const QString folder = QDir(root).filePath(QStringLiteral("cache/manifest/game"));
        QByteArray manifest;
        QByteArray signature;
        (void)ReleaseIndexClient::readKeptManifest(folder, &manifest, &signature);
        (void)ReleaseIndexClient::keepManifest(folder, "{}", "signature");
    };
    QMap<QString, Subject> all;
    all.insert(QStringLiteral("game record"),
               {QStringLiteral("game"), QStringLiteral(".vorn/channel-sequence.json"), QStringLiteral(".vorn"), true,
                [=](const QString& root) { record(root, QStringLiteral(".vorn/channel-sequence.json")); }});
    all.insert(QStringLiteral("launcher record"),
               {QStringLiteral("launcher"), QStringLiteral("channel-sequence.json"), QString(), true,
                [=](const QString& root) { record(root, QStringLiteral("channel-sequence.json")); }});
    all.insert(QStringLiteral("installed manifest"),
               {QStringLiteral("game"), QStringLiteral(".vorn/installed-manifest.json"), QString(), false,
                [](const QString& root) {
                    (void)installedSeenPointer(installedManifestPath(QDir(root)));
                }});
    all.insert(QStringLiteral("state"),
               {QStringLiteral("game"), QStringLiteral(".vorn/state.json"), QString(), false,
                [](const QString& root) { (void)loadLocalState(QDir(root)); }});
    all.insert(QStringLiteral("kept manifest"),
               {QStringLiteral("launcher"), QStringLiteral("cache/manifest/game/manifest.json"),
                QStringLiteral("cache/manifest/game"), true, keptManifest});
    all.insert(QStringLiteral("kept signature"),
               {QStringLiteral("launcher"), QStringLiteral("cache/manifest/game/manifest.sig"),
                QStringLiteral("cache"), true, keptManifest});
    all.insert(QStringLiteral("settings"),
               {QStringLiteral("launcher"), QStringLiteral("launcher.ini"), QString(), true, [](const QString&) {
                    (void)language();
                    setLanguage(QStringLiteral("en"));
                }});
    all.insert(QStringLiteral("log"),
               {QStringLiteral("launcher"), QStringLiteral("logs/launcher.log"), QStringLiteral("logs"), true,
                [](const QString& root) {
                    LogFile log({QDir(root).filePath(QStringLiteral("logs"))});
                    (void)log.append(QStringLiteral("[12:00:00] [UPD-START] a line"));
                }});
    all.insert(QStringLiteral("staging folder"),
               {QStringLiteral("launcher"), QStringLiteral("cache/self-update/L2"), QStringLiteral("cache/self-update"),
                true, [](const QString& root) {
                    QStringList notes;
                    (void)prepareSelfUpdateStaging(root, QStringLiteral("L2"), &notes);
                }});
    all.insert(QStringLiteral("staging folder below a linked cache"),
               {QStringLiteral("launcher"), QStringLiteral("cache/self-update/L2"), QStringLiteral("cache"), true,
                [](const QString& root) {
                    QStringList notes;
                    (void)prepareSelfUpdateStaging(root, QStringLiteral("L2"), &notes);
                }});
    all.insert(QStringLiteral("removal below a linked folder"),
               {QStringLiteral("launcher"), QStringLiteral("cache/self-update/L2"), QStringLiteral("cache"), true,
                [](const QString& root) { (void)removeTree(root, QStringLiteral("cache/self-update/L2")); }});
    return all;
}

// Every entry below folder, never followed: its kind, and a regular file's bytes.
QMap<QString, QByteArray> snapshot(const QString& folder)
{
    QMap<QString, QByteArray> entries;
    QDirIterator it(folder, QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot,
                    QDirIterator::Subdirectories);
    while (it.hasNext()) {
        const QString path = it.next();
        QByteArray description = QByteArray::number(int(entryKind(path)));
        if (entryKind(path) == EntryKind::File) {
            QFile file(path);
            if (file.open(QIODevice::ReadOnly))
                description += ':' + file.readAll();
        }
        entries.insert(QDir(folder).relativeFilePath(path), description);
    }
    return entries;
}

bool writeFile(const QString& path, const QByteArray& bytes)
{
    QDir().mkpath(QFileInfo(path).absolutePath());
    QFile file(path);
    return file.open(QIODevice::WriteOnly) && file.write(bytes) == bytes.size();
}

} // namespace

Q_DECLARE_METATYPE(Hazard)

// Links, FIFOs and devices where the launcher and the engine keep their own files: nothing
// outside is read without end, written, filled or emptied, and nothing waits forever.
class TestOwnFiles final : public QObject
{
    Q_OBJECT

private slots:
    void cleanupTestCase() { setLauncherDirectory(QString()); }

    void nothingOutsideIsTouched_data()
    {
        QTest::addColumn<QString>("subject");
        QTest::addColumn<Hazard>("hazard");
        const QMap<QString, Subject> all = subjects();
        for (auto it = all.cbegin(); it != all.cend(); ++it) {
            const bool folderOnly = it.key().startsWith(QLatin1String("removal"))
                || it.key() == QLatin1String("staging folder below a linked cache");
            if (!folderOnly) {
                QTest::addRow("%s, link to an outside file", qPrintable(it.key())) << it.key() << Hazard::LinkToOutsideFile;
                if (it->writes)
                    QTest::addRow("%s, dangling link", qPrintable(it.key())) << it.key() << Hazard::DanglingLink;
                QTest::addRow("%s, FIFO", qPrintable(it.key())) << it.key() << Hazard::Fifo;
                QTest::addRow("%s, link to a device", qPrintable(it.key())) << it.key() << Hazard::LinkToDevice;
            }
            if (!it->linkFolder.isEmpty())
                QTest::addRow("%s, linked folder %s", qPrintable(it.key()), qPrintable(it->linkFolder))
                    << it.key() << Hazard::LinkedFolder;
        }
    }

    void nothingOutsideIsTouched()
    {
        QFETCH(QString, subject);
        QFETCH(Hazard, hazard);
        const Subject s = subjects().value(subject);
        QTemporaryDir work;
        QVERIFY(work.isValid());
        const QString launcher = work.filePath(QStringLiteral("launcher"));
        const QString game = work.filePath(QStringLiteral("game"));
        const QString outside = work.filePath(QStringLiteral("outside"));
        QVERIFY(QDir().mkpath(launcher) && QDir().mkpath(game + QStringLiteral("/.vorn")));
        setLauncherDirectory(launcher);
        const QString root = s.root == QLatin1String("game") ? game : launcher;
        const QString path = QDir(root).filePath(s.rel);

        // The outside: a file, a device of our own (never the machine's), and a folder that holds
        // what the linked folder would hold, so that a removal or a write below it shows.
        QVERIFY(writeFile(QDir(outside).filePath(QStringLiteral("victim.txt")), "outside"));
        const QString device = QDir(outside).filePath(QStringLiteral("zero"));
        if (hazard == Hazard::LinkToDevice
            && ::mknod(QFile::encodeName(device).constData(), S_IFCHR | 0666, makedev(1, 5)) != 0)
            QSKIP("cannot make a device node here (needs root)");
        const QString folder = QDir(outside).filePath(QStringLiteral("folder"));
        QVERIFY(writeFile(QDir(folder).filePath(QStringLiteral("keep.txt")), "outside"));
        if (!s.linkFolder.isEmpty()) {
            const QString below = QDir(QDir(root).filePath(s.linkFolder)).relativeFilePath(path);
            QVERIFY(writeFile(QDir(folder).filePath(below + (s.rel.endsWith(QLatin1String("L2"))
                                                                 ? QStringLiteral("/keep.txt")
                                                                 : QString())),
                              "outside"));
        }
        QVERIFY(QDir().mkpath(QFileInfo(path).absolutePath()));

        const QByteArray at = QFile::encodeName(path);
        switch (hazard) {
        case Hazard::LinkToOutsideFile:
            QVERIFY(QFile::link(QDir(outside).filePath(QStringLiteral("victim.txt")), path));
            break;
        case Hazard::DanglingLink:
            QVERIFY(QFile::link(QDir(outside).filePath(QStringLiteral("created.txt")), path));
            break;
        case Hazard::Fifo:
            QCOMPARE(::mkfifo(at.constData(), 0600), 0);
            break;
        case Hazard::LinkToDevice:
            QVERIFY(QFile::link(device, path));
            break;
        case Hazard::LinkedFolder: {
            const QString linked = QDir(root).filePath(s.linkFolder);
            QVERIFY(removeTree(linked));
            QVERIFY(QDir().mkpath(QFileInfo(linked).absolutePath()));
            QVERIFY(QFile::link(folder, linked));
            break;
        }
        }
        const QMap<QString, QByteArray> before = snapshot(outside);

        QFuture<void> use = QtConcurrent::run([&] { s.use(root); });
        // A hang guard, not a timing: a FIFO that is waited on never answers by itself.
        (void)QTest::qWaitFor([&] { return use.isFinished(); }, 60000);
        if (!use.isFinished()) {
            const int fd = ::open(at.constData(), O_RDWR | O_NONBLOCK);
            if (fd >= 0)
                ::close(fd);
            use.waitForFinished();
            QFAIL("waited on a FIFO");
        }

        QCOMPARE(snapshot(outside), before);
        // What was written went into a file of our own, in place of the link.
        if (s.writes && hazard != Hazard::LinkedFolder && hazard != Hazard::Fifo)
            QVERIFY(entryKind(path) != EntryKind::Link);
    }
};

QTEST_GUILESS_MAIN(TestOwnFiles)
#include "tst_own_files.moc"
