#include "core/local_state.h"
#include "core/manifest.h"

#include <QDateTime>
#include <QDir>
#include <QFileInfo>
#include <QTemporaryDir>
#include <QtTest>

#include <fcntl.h>
#include <sys/stat.h>

using namespace vorn;

namespace {

bool writeFile(const QString& path, const QByteArray& content)
{
    QDir().mkpath(QFileInfo(path).absolutePath());
    QFile file(path);
    return file.open(QIODevice::WriteOnly | QIODevice::Truncate) && file.write(content) == content.size();
}

ManifestFile manifestFile(const QString& path, qint64 size, char digestFill)
{
    ManifestFile file;
    file.path = path;
    file.size = size;
    file.sha256 = QByteArray(32, digestFill);
    file.chunks.append({0, size, QByteArray(32, 'c'), QByteArray(32, 'b'), size});
    return file;
}

} // namespace

class TestLocalState final : public QObject
{
    Q_OBJECT

private slots:
    void reading_data()
    {
        QTest::addColumn<QByteArray>("content");
        QTest::addColumn<QStringList>("keys");
        QTest::addColumn<qint64>("firstSize");
        QTest::addColumn<qint64>("firstModified");
        QTest::newRow("schema 2") << QByteArray(R"({"schema":2,"files":[{"path":"a","size":1,"modifiedMs":2}]})")
                                  << QStringList() << qint64(0) << qint64(0);
        QTest::newRow("no schema") << QByteArray(R"({"files":[{"path":"a","size":1,"modifiedMs":2}]})")
                                   << QStringList() << qint64(0) << qint64(0);
        QTest::newRow("array") << QByteArray(R"([{"path":"a"}])") << QStringList() << qint64(0) << qint64(0);
        QTest::newRow("broken") << QByteArray(R"({"schema":1,"files":[)") << QStringList() << qint64(0)
                                << qint64(0);
        QTest::newRow("escaping entry skipped")
            << QByteArray(R"({"schema":1,"files":[{"path":"../outside.txt","size":1,"modifiedMs":2},)"
                          R"({"path":" .\\Data\\b.pak","size":10,"modifiedMs":1700000000123}]})")
            << QStringList{"data/b.pak"} << qint64(10) << qint64(1700000000123LL);
        QTest::newRow("later duplicate wins")
            << QByteArray(R"({"schema":1,"files":[{"path":"Data/A.pak","size":1,"modifiedMs":2},)"
                          R"({"path":"data/a.pak","size":3,"modifiedMs":4}]})")
            << QStringList{"data/a.pak"} << qint64(3) << qint64(4);
        QTest::newRow("missing time")
            << QByteArray(R"({"schema":1,"files":[{"path":"a","size":5}]})")
            << QStringList{"a"} << qint64(5) << qint64(-1);
        QTest::newRow("values out of range")
            << QByteArray(R"({"schema":1,"files":[{"path":"a","size":1e300,"modifiedMs":"7"}]})")
            << QStringList{"a"} << qint64(-1) << qint64(-1);
        QTest::newRow("fraction truncated")
            << QByteArray(R"({"schema":1,"files":[{"path":"a","size":5.9,"modifiedMs":-3.5}]})")
            << QStringList{"a"} << qint64(5) << qint64(-3);
        QTest::newRow("odd elements ignored")
            << QByteArray(R"({"schema":1,"files":[7,"x",{"path":"a","size":1,"modifiedMs":2}]})")
            << QStringList{"a"} << qint64(1) << qint64(2);
    }

    void reading()
    {
        QFETCH(QByteArray, content);
        QFETCH(QStringList, keys);
        QFETCH(qint64, firstSize);
        QFETCH(qint64, firstModified);
        QTemporaryDir dir;
        QVERIFY(writeFile(dir.filePath(".vorn/state.json"), content));
        const LocalState state = loadLocalState(QDir(dir.path()));
        QStringList actual = state.keys();
        actual.sort();
        QCOMPARE(actual, keys);
        if (!keys.isEmpty()) {
            QCOMPARE(state.value(keys.first()).size, firstSize);
            QCOMPARE(state.value(keys.first()).modifiedMs, firstModified);
        }
    }

    void missingFolderGivesEmptyState()
    {
        QTemporaryDir dir;
        QVERIFY(loadLocalState(QDir(dir.path())).isEmpty());
    }

    void writtenStateReadsBack()
    {
        QTemporaryDir dir;
        const QDir folder(dir.path());
        QVERIFY(writeFile(folder.filePath("System/Game.exe"), "exe bytes"));
        QVERIFY(writeFile(folder.filePath("Data/a.pak"), QByteArray(1000, 'a')));
        QVERIFY(folder.mkpath("Folder.pak"));
        Manifest manifest;
        manifest.releaseId = "r7";
        manifest.files = {manifestFile("System/Game.exe", 9, 'e'), manifestFile("Data/a.pak", 1000, 'a'),
                          manifestFile("Data/deleted.cfg", 3, 'd'), manifestFile("Folder.pak", 3, 'f')};
        writeLocalState(folder, manifest);

        const LocalState state = loadLocalState(folder);
        QCOMPARE(state.size(), 2); // the missing file and the folder are left out
        const QFileInfo info(folder.filePath("Data/a.pak"));
        QCOMPARE(state.value("data/a.pak").size, qint64(1000));
        QCOMPARE(state.value("data/a.pak").modifiedMs, info.lastModified().toMSecsSinceEpoch());

        QFile raw(localStatePath(folder));
        QVERIFY(raw.open(QIODevice::ReadOnly));
        const QByteArray text = raw.readAll();
        QVERIFY(text.contains(R"("releaseId":"r7")"));
        QVERIFY(!text.contains('\n'));
    }

    void installedManifestIsWrittenWhole()
    {
        QTemporaryDir dir;
        const QDir folder(dir.path());
        Manifest manifest;
        manifest.releaseId = "r1";
        manifest.files = {manifestFile("a", 4, 'a')};
        QString error;
        QVERIFY2(writeInstalledManifest(folder, manifest, &error), qPrintable(error));
        QFile file(installedManifestPath(folder));
        QVERIFY(file.open(QIODevice::ReadOnly));
        Manifest readBack;
        QVERIFY(parseManifest(file.readAll(), &readBack));
        QVERIFY(readBack == manifest);
    }

    void installedManifestFailures()
    {
        QTemporaryDir dir;
        const QDir folder(dir.path());
        QVERIFY(writeFile(folder.filePath(".vorn"), "a file where the folder belongs"));
        QString error;
        QVERIFY(!writeInstalledManifest(folder, Manifest(), &error));
        QCOMPARE(error, QStringLiteral("Cannot create directory %1").arg(QFileInfo(folder.filePath(".vorn")).absoluteFilePath()));

        QTemporaryDir other;
        const QDir occupied(other.path());
        QVERIFY(occupied.mkpath(".vorn/installed-manifest.json/inside"));
        error.clear();
        QVERIFY(!writeInstalledManifest(occupied, Manifest(), &error));
        QVERIFY(!error.isEmpty());
        QVERIFY(QFileInfo(occupied.filePath(".vorn/installed-manifest.json/inside")).isDir());
    }

    void trustRule_data()
    {
        QTest::addColumn<QString>("broken");
        QTest::addColumn<bool>("trusted");
        QTest::newRow("all hold") << "" << true;
        QTest::newRow("not a regular file") << "folder" << false;
        QTest::newRow("not installed") << "installed" << false;
        QTest::newRow("not recorded") << "recorded" << false;
        QTest::newRow("installed digest differs") << "digest" << false;
        QTest::newRow("installed size differs") << "installedSize" << false;
        QTest::newRow("recorded size differs") << "recordedSize" << false;
        QTest::newRow("recorded time differs") << "time" << false;
        // Recorded then as the player had it, so the entry's digest says nothing about it.
        QTest::newRow("the player's at the install") << "preserved" << false;
    }

    void trustRule()
    {
        QFETCH(QString, broken);
        QFETCH(bool, trusted);
        QTemporaryDir dir;
        const QString path = dir.filePath("f.bin");
        if (broken == "folder")
            QVERIFY(QDir().mkpath(path));
        else
            QVERIFY(writeFile(path, "12345"));
        const QFileInfo info(path);
        const ManifestFile wanted = manifestFile("f.bin", 5, 'w');
        ManifestFile installed = wanted;
        LocalFileState recorded{5, info.lastModified().toMSecsSinceEpoch()};
        if (broken == "digest")
            installed.sha256 = QByteArray(32, 'x');
        if (broken == "installedSize")
            installed.size = 6;
        if (broken == "recordedSize")
            recorded.size = 6;
        if (broken == "time")
            recorded.modifiedMs += 1;
        installed.preserve = broken == "preserved";
        QCOMPARE(isTrustedByCache(fileStatus(path), wanted, broken == "installed" ? nullptr : &installed,
                                  broken == "recorded" ? nullptr : &recorded),
                 trusted);
    }

    // The planner's view of a file must be QFileInfo's, or cached state written by one reader
    // would never match the other.
    void fileStatusAgreesWithQFileInfo_data()
    {
        QTest::addColumn<QString>("kind");
        QTest::addColumn<qint64>("modifiedMs");
        QTest::newRow("file, milliseconds") << "file" << qint64(1700000000123LL);
        QTest::newRow("file, before 1970") << "file" << qint64(-86400000LL * 400 + 7);
        QTest::newRow("file, far future") << "file" << qint64(4102444800999LL);
        QTest::newRow("folder") << "folder" << qint64(0);
        QTest::newRow("missing") << "missing" << qint64(0);
        QTest::newRow("link to file") << "link" << qint64(1600000000500LL);
        QTest::newRow("dangling link") << "dangling" << qint64(0);
    }

    void fileStatusAgreesWithQFileInfo()
    {
        QFETCH(QString, kind);
        QFETCH(qint64, modifiedMs);
        QTemporaryDir dir;
        const QString target = dir.filePath("target.bin");
        const QString path = dir.filePath("probe");
        if (kind == "file" || kind == "link") {
            QVERIFY(writeFile(target, "some bytes"));
            // Qt refuses times before 1970; the C library does not.
            const qint64 seconds = modifiedMs >= 0 ? modifiedMs / 1000 : -((-modifiedMs + 999) / 1000);
            const timespec times[2] = {{0, UTIME_OMIT},
                                       {time_t(seconds), long(modifiedMs - seconds * 1000) * 1000000}};
            QVERIFY(utimensat(AT_FDCWD, QFile::encodeName(target).constData(), times, 0) == 0);
        }
        if (kind == "file")
            QVERIFY(QFile::rename(target, path));
        else if (kind == "folder")
            QVERIFY(QDir().mkpath(path));
        else if (kind == "link" || kind == "dangling")
            QVERIFY(QFile::link(target, path));

        const QFileInfo info(path);
        const FileStatus status = fileStatus(path);
        QCOMPARE(status.exists, info.exists());
        QCOMPARE(status.isFile, info.isFile());
        if (info.isFile()) {
            QCOMPARE(status.size, info.size());
            QCOMPARE(status.modifiedMs, info.lastModified().toMSecsSinceEpoch());
            QCOMPARE(status.modifiedMs, modifiedMs);
        }
    }
};

QTEST_GUILESS_MAIN(TestLocalState)
#include "tst_local_state.moc"
