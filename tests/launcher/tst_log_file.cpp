// The activity log's lines and its file: one line per entry, a bounded set of files, and a
// folder that can be written.
#include "launcher/log_file.h"
#include "launcher/view_state.h"

#include <QDir>
#include <QTemporaryDir>
#include <QTime>
#include <QtTest>

using namespace vorn;

class TestLogFile final : public QObject
{
    Q_OBJECT

private slots:
    void lineFormat_data()
    {
        QTest::addColumn<QString>("message");
        QTest::addColumn<QString>("line");
        QTest::newRow("plain") << "Starting update r2" << "[14:03:59] [UPD-START] Starting update r2";
        QTest::newRow("line breaks cannot forge entries")
            << "bad\n[14:04:00] [UPD-START] r3\r\tx" << "[14:03:59] [UPD-START] bad [14:04:00] [UPD-START] r3  x";
    }

    void lineFormat()
    {
        QFETCH(QString, message);
        QTEST(formatLogLine(QTime(14, 3, 59), QStringLiteral("UPD-START"), message), "line");
    }

    void rotationKeepsTheNewestWithinTheBound()
    {
        QTemporaryDir folder;
        LogFileLimits limits;
        limits.maxBytes = 200;
        limits.keptFiles = 2;
        LogFile log({folder.path()}, limits);
        QStringList written;
        for (int i = 0; i < 100; ++i) {
            written << QStringLiteral("[12:00:00] [TAG] line %1").arg(i, 3, 10, QLatin1Char('0'));
            QVERIFY(log.append(written.last()));
        }
        const QStringList files = QDir(folder.path()).entryList(QDir::Files, QDir::Name);
        QCOMPARE(files, (QStringList{"launcher.1.log", "launcher.2.log", "launcher.log"}));
        QString kept;
        for (const QString& name : {QStringLiteral("launcher.2.log"), QStringLiteral("launcher.1.log"),
                                    QStringLiteral("launcher.log")}) {
            QFile file(QDir(folder.path()).filePath(name));
            QVERIFY(file.open(QIODevice::ReadOnly));
            QVERIFY(file.size() <= limits.maxBytes);
            kept += QString::fromUtf8(file.readAll());
        }
        // The oldest lines are gone, the rest is there in order, nothing cut in half.
        const QStringList lines = kept.split(QLatin1Char('\n'), Qt::SkipEmptyParts);
        QVERIFY(lines.size() > 10 && lines.size() < written.size());
        QCOMPARE(lines, written.mid(written.size() - lines.size()));
    }

    void folderThatCanBeWritten_data()
    {
        QTest::addColumn<bool>("fallback");
        QTest::newRow("the launcher's folder is blocked: the user's data folder") << true;
        QTest::newRow("no folder can be written") << false;
    }

    void folderThatCanBeWritten()
    {
        QFETCH(bool, fallback);
        QTemporaryDir root;
        // A folder that cannot be made because a file stands in its way (root ignores modes).
        QFile blocker(root.filePath(QStringLiteral("launcher")));
        QVERIFY(blocker.open(QIODevice::WriteOnly));
        blocker.close();
        QStringList candidates{root.filePath(QStringLiteral("launcher/logs"))};
        if (fallback)
            candidates << root.filePath(QStringLiteral("data/logs"));
        LogFile log(candidates);
        QCOMPARE(log.append(QStringLiteral("[12:00:00] [TAG] kept")), fallback);
        QCOMPARE(log.path(), fallback ? root.filePath(QStringLiteral("data/logs/launcher.log")) : QString());
    }
};

QTEST_MAIN(TestLogFile)
#include "tst_log_file.moc"
