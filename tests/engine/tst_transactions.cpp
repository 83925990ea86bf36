#include "core/local_state.h"
#include "engine/file_ops.h"
#include "engine/transaction.h"
#include "tests/engine/release_fixture.h"

#include <QDir>
#include <QTemporaryDir>
#include <QtTest>

using namespace vorn;
using namespace vorn::test;

namespace {

FilePlan planned(const QString& path)
{
    FilePlan entry;
    entry.file.path = path;
    return entry;
}

// Stages `files` as new content for a transaction and describes them in a plan.
UpdatePlan stagedPlan(const UpdateTransaction& transaction, const FileTree& files,
                      const QStringList& removals = {})
{
    UpdatePlan plan;
    plan.releaseId = QStringLiteral("r2");
    for (auto it = files.constBegin(); it != files.constEnd(); ++it) {
        if (!writeFileBytes(QDir(transaction.stageDirectory()).filePath(it.key()), it.value()))
            qFatal("cannot stage %s", qPrintable(it.key()));
        plan.files.append(planned(it.key()));
    }
    plan.removals = removals;
    return plan;
}

const FileTree kOld{{QStringLiteral("a.txt"), "old a"},
                    {QStringLiteral("sub/b.txt"), "old b"},
                    {QStringLiteral("gone.txt"), "obsolete"},
                    {QStringLiteral("Removed/c.txt"), "old c"},
                    {QStringLiteral("user.txt"), "not ours"}};

const FileTree kNew{{QStringLiteral("a.txt"), "new a"},
                    {QStringLiteral("sub/b.txt"), "new b"},
                    {QStringLiteral("added/d.txt"), "new d"},
                    {QStringLiteral("Removed/c.txt"), "new c"}};

const QStringList kRemovals{QStringLiteral("gone.txt"), QStringLiteral("never/existed.txt")};

FileTree committedTree()
{
    FileTree tree = kOld;
    tree.remove(QStringLiteral("gone.txt"));
    for (auto it = kNew.constBegin(); it != kNew.constEnd(); ++it)
        tree.insert(it.key(), it.value());
    return tree;
}

} // namespace

class TestTransactions final : public QObject
{
    Q_OBJECT

private:
    QScopedPointer<QTemporaryDir> m_work;
    QString m_game;

private slots:
    void init()
    {
        m_work.reset(new QTemporaryDir);
        QVERIFY(m_work->isValid());
        m_game = m_work->filePath(QStringLiteral("game"));
        QVERIFY(writeTree(m_game, kOld));
    }

    void commitReplacesRemovesAndRollsBack()
    {
        UpdateTransaction transaction(m_game, QStringLiteral("r2"));
        QString error;
        QVERIFY(transaction.prepare(&error));
        const UpdatePlan plan = stagedPlan(transaction, kNew, kRemovals);

        QVERIFY2(transaction.commit(plan, &error), qPrintable(error));
        QCOMPARE(readTree(m_game), committedTree());
        // The obsolete path that does not exist leaves no step behind.
        QCOMPARE(transaction.journal().size(), kNew.size() + 1);
        int previous = 0;
        for (const JournalEntry& entry : transaction.journal())
            previous += entry.hadPrevious ? 1 : 0;
        QCOMPARE(previous, 4); // a, b, c replaced, gone.txt removed; d is new

        transaction.rollback();
        QCOMPARE(readTree(m_game), kOld);
    }

    void rollbackAfterTheCommitPoint()
    {
        UpdateTransaction transaction(m_game, QStringLiteral("r2"));
        QString error;
        QVERIFY(transaction.prepare(&error));
        QVERIFY(transaction.commit(stagedPlan(transaction, kNew, kRemovals), &error));
        QVERIFY2(transaction.markCommitted(&error), qPrintable(error));
        QVERIFY(!QFileInfo::exists(transaction.backupDirectory()));
        transaction.rollback();
        QCOMPARE(readTree(m_game), kOld);
    }

    void commitFailureRestoresEverything_data()
    {
        QTest::addColumn<QString>("breakage");
        QTest::addColumn<QString>("error");
        QTest::newRow("staged file missing") << "unstage sub/b.txt" << "Cannot replace sub/b.txt";
        QTest::newRow("obsolete file cannot move")
            << "occupy removed backup" << "Cannot remove obsolete file gone.txt";
        QTest::newRow("target folder cannot be made")
            << "file as folder" << "Cannot create directory %1/added";
        QTest::newRow("target folder is a link")
            << "linked folder" << "sub in the game folder is a link; updates never write through links";
        QTest::newRow("folder of an obsolete file is a link")
            << "linked removal folder" << "never in the game folder is a link; updates never write through links";
    }

    void commitFailureRestoresEverything()
    {
        QFETCH(QString, breakage);
        QFETCH(QString, error);
        UpdateTransaction transaction(m_game, QStringLiteral("r2"));
        QString message;
        QVERIFY(transaction.prepare(&message));
        const UpdatePlan plan = stagedPlan(transaction, kNew, kRemovals);
        FileTree before = kOld;
        if (breakage == QLatin1String("unstage sub/b.txt")) {
            QVERIFY(QFile::remove(QDir(transaction.stageDirectory()).filePath(QStringLiteral("sub/b.txt"))));
        } else if (breakage == QLatin1String("occupy removed backup")) {
            QVERIFY(writeFileBytes(
                QDir(transaction.backupDirectory()).filePath(QStringLiteral("removed/gone.txt")), "x"));
        } else if (breakage == QLatin1String("linked folder")) {
            QVERIFY(QDir().rename(QDir(m_game).filePath(QStringLiteral("sub")), m_work->filePath(QStringLiteral("outside"))));
            QVERIFY(QFile::link(m_work->filePath(QStringLiteral("outside")), QDir(m_game).filePath(QStringLiteral("sub"))));
            before.remove(QStringLiteral("sub/b.txt"));
        } else if (breakage == QLatin1String("linked removal folder")) {
            QVERIFY(writeFileBytes(m_work->filePath(QStringLiteral("outside/existed.txt")), "outside"));
            QVERIFY(QFile::link(m_work->filePath(QStringLiteral("outside")), QDir(m_game).filePath(QStringLiteral("never"))));
        } else {
            QVERIFY(writeFileBytes(QDir(m_game).filePath(QStringLiteral("added")), "in the way"));
            before.insert(QStringLiteral("added"), "in the way");
        }
        const FileTree outside = readTree(m_work->filePath(QStringLiteral("outside")));

        QVERIFY(!transaction.commit(plan, &message));
        QCOMPARE(message, QString(error).replace(QLatin1String("%1"), QDir(m_game).absolutePath()));
        QCOMPARE(readTree(m_game), before);
        QCOMPARE(readTree(m_work->filePath(QStringLiteral("outside"))), outside);
        QVERIFY(transaction.journal().isEmpty());
    }

    void prepareClearsAnEarlierAttempt()
    {
        UpdateTransaction transaction(m_game, QStringLiteral("r2"));
        QString error;
        QVERIFY(transaction.prepare(&error));
        QVERIFY(writeFileBytes(QDir(transaction.stageDirectory()).filePath(QStringLiteral("left.txt")), "x"));
        QVERIFY(transaction.prepare(&error));
        QVERIFY(QDir(transaction.stageDirectory()).isEmpty());
        QVERIFY(QDir(transaction.backupDirectory()).exists());
    }

    void prepareRefusesANameThatLeavesTheFolder_data()
    {
        QTest::addColumn<QString>("releaseId");
        QTest::newRow("empty") << QString();
        QTest::newRow("parent") << "..";
        QTest::newRow("climbing") << "../../..";
        QTest::newRow("nested") << "a/b";
        QTest::newRow("backslash") << "a\\..\\..";
    }

    void prepareRefusesANameThatLeavesTheFolder()
    {
        QFETCH(QString, releaseId);
        QVERIFY(writeFileBytes(QDir(m_game).filePath(QStringLiteral(".vorn/transactions/keep/x")), "x"));
        const FileTree before = readTree(m_work->path(), true);
        UpdateTransaction transaction(m_game, releaseId);
        QString error;
        QVERIFY(!transaction.prepare(&error));
        QCOMPARE(error, QStringLiteral("Cannot create update transaction directory"));
        QCOMPARE(readTree(m_work->path(), true), before);
    }

    // What the disk holds when the process dies right after the commit, before the journal could
    // be used: recovery must bring back every replaced and removed file from the disk alone.
    void recoveryRestoresAfterADeathInTheCommit()
    {
        QVERIFY(writeFileBytes(localStatePath(QDir(m_game)), "{\"schema\":1}"));
        UpdateTransaction transaction(m_game, QStringLiteral("r2"));
        QString error;
        QVERIFY(transaction.prepare(&error));
        QVERIFY(transaction.commit(stagedPlan(transaction, kNew, kRemovals), &error));

        QVERIFY2(recoverTransactions(m_game, &error), qPrintable(error));
        FileTree expected = kOld;
        expected.insert(QStringLiteral("added/d.txt"), "new d"); // had no previous file
        QCOMPARE(readTree(m_game), expected);
        QVERIFY(transactionFolders(m_game).isEmpty());
        // Restored files must be read again, whatever the state cache says about them.
        QVERIFY(!QFile::exists(localStatePath(QDir(m_game))));
    }

    void recoveryAfterTheCommitPointKeepsTheNewRelease()
    {
        QVERIFY(writeFileBytes(localStatePath(QDir(m_game)), "{\"schema\":1}"));
        UpdateTransaction transaction(m_game, QStringLiteral("r2"));
        QString error;
        QVERIFY(transaction.prepare(&error));
        QVERIFY(transaction.commit(stagedPlan(transaction, kNew, kRemovals), &error));
        QVERIFY2(transaction.markCommitted(&error), qPrintable(error));

        QVERIFY(recoverTransactions(m_game, &error));
        QCOMPARE(readTree(m_game), committedTree());
        QVERIFY(transactionFolders(m_game).isEmpty());
        QVERIFY(QFile::exists(localStatePath(QDir(m_game))));
    }

    void recoveryOfHandMadeBackups_data()
    {
        QTest::addColumn<FileTree>("transaction");
        QTest::addColumn<FileTree>("expected");
        QTest::addColumn<bool>("stateKept");

        FileTree restored = kOld;
        restored.insert(QStringLiteral("gone.txt"), "back");
        restored.insert(QStringLiteral("x/y.txt"), "back y");
        restored.insert(QStringLiteral("a.txt"), "back a");
        QTest::newRow("removed folder in any letter case")
            << FileTree{{QStringLiteral("t/backup/removed/gone.txt"), "back"},
                        {QStringLiteral("t/backup/REMOVED/x/y.txt"), "back y"},
                        {QStringLiteral("t/backup/a.txt"), "back a"}}
            << restored << false;
        QTest::newRow("no backup folder")
            << FileTree{{QStringLiteral("t/stage/a.txt"), "half"}} << kOld << true;
        QTest::newRow("empty backup folder")
            << FileTree{{QStringLiteral("t/stage/a.txt"), "half"},
                        {QStringLiteral("t/backup/.keep-dir/"), QByteArray()}}
            << kOld << true;
        FileTree two = kOld;
        two.insert(QStringLiteral("a.txt"), "from one");
        two.insert(QStringLiteral("sub/b.txt"), "from two");
        QTest::newRow("two transactions")
            << FileTree{{QStringLiteral("one/backup/a.txt"), "from one"},
                        {QStringLiteral("two/backup/sub/b.txt"), "from two"}}
            << two << false;
    }

    void recoveryOfHandMadeBackups()
    {
        QFETCH(FileTree, transaction);
        QFETCH(FileTree, expected);
        QFETCH(bool, stateKept);
        QVERIFY(writeFileBytes(localStatePath(QDir(m_game)), "{\"schema\":1}"));
        const QDir txRoot(QDir(m_game).filePath(QStringLiteral(".vorn/transactions")));
        for (auto it = transaction.constBegin(); it != transaction.constEnd(); ++it) {
            if (it.key().endsWith(QLatin1Char('/')))
                QVERIFY(QDir().mkpath(QFileInfo(txRoot.filePath(it.key())).absolutePath()));
            else
                QVERIFY(writeFileBytes(txRoot.filePath(it.key()), it.value()));
        }
        QString error;
        QVERIFY2(recoverTransactions(m_game, &error), qPrintable(error));
        QCOMPARE(readTree(m_game), expected);
        QVERIFY(transactionFolders(m_game).isEmpty());
        QCOMPARE(QFile::exists(localStatePath(QDir(m_game))), stateKept);
    }

    void recoveryWithoutTransactionsChangesNothing()
    {
        QString error;
        QVERIFY(recoverTransactions(m_game, &error));
        QVERIFY(recoverTransactions(m_work->filePath(QStringLiteral("missing")), &error));
        QCOMPARE(readTree(m_game), kOld);
    }

    void recoveryFailures_data()
    {
        QTest::addColumn<QString>("obstacle");
        QTest::addColumn<QString>("error");
        QTest::newRow("target is a folder with content")
            << "a.txt/inside" << "Cannot restore a.txt after an interrupted update";
        QTest::newRow("parent is a link")
            << "" << "Cannot restore linked/inner.txt after an interrupted update: linked in the game folder is a link; "
                     "updates never write through links";
    }

    void recoveryFailures()
    {
        QFETCH(QString, obstacle);
        QFETCH(QString, error);
        const QDir game(m_game);
        const QDir backup(game.filePath(QStringLiteral(".vorn/transactions/r2/backup")));
        const QString outside = m_work->filePath(QStringLiteral("outside"));
        if (obstacle.isEmpty()) {
            QVERIFY(QDir().mkpath(outside));
            QVERIFY(QFile::link(outside, game.filePath(QStringLiteral("linked"))));
            QVERIFY(writeFileBytes(backup.filePath(QStringLiteral("linked/inner.txt")), "x"));
        } else {
            QVERIFY(QFile::remove(game.filePath(QStringLiteral("a.txt"))));
            QVERIFY(writeFileBytes(game.filePath(obstacle), "in the way"));
            QVERIFY(writeFileBytes(backup.filePath(QStringLiteral("a.txt")), "back a"));
        }
        QString message;
        QVERIFY(!recoverTransactions(m_game, &message));
        QCOMPARE(message, QString(error).replace(QLatin1String("%1"), game.absolutePath()));
        // Nothing is lost: the backup stays for the next attempt.
        QCOMPARE(transactionFolders(m_game), QStringList{QStringLiteral("r2")});
        QVERIFY(readTree(outside).isEmpty());
    }

    void ensureParentDirectoryNamesTheFolder()
    {
        QString error;
        QVERIFY(ensureParentDirectory(QDir(m_game).filePath(QStringLiteral("new/deeper/file.bin")), &error));
        QVERIFY(QFileInfo(QDir(m_game).filePath(QStringLiteral("new/deeper"))).isDir());
        QVERIFY(!ensureParentDirectory(QDir(m_game).filePath(QStringLiteral("a.txt/x/file.bin")), &error));
        QCOMPARE(error, QStringLiteral("Cannot create directory %1/a.txt/x").arg(QDir(m_game).absolutePath()));
        QVERIFY(!ensureParentDirectory(QDir(m_game).filePath(QStringLiteral("a.txt/y"))));
    }

    void storedObjectsReplaceDamagedOnesAndLeaveNoPart()
    {
        const QString objects = m_work->filePath(QStringLiteral("cache/objects/ab"));
        QVERIFY(QDir().mkpath(objects));
        const QString path = objects + QStringLiteral("/ab.bin");
        QVERIFY(writeFileBytes(path, "damaged and longer than the object"));
        QString error;
        QVERIFY2(storeVerifiedFile(path, "object", &error), qPrintable(error));
        QFile stored(path);
        QVERIFY(stored.open(QIODevice::ReadOnly));
        QCOMPARE(stored.readAll(), QByteArray("object"));
        QCOMPARE(QDir(objects).entryList(QDir::Files), QStringList{QStringLiteral("ab.bin")});

        // A folder where the object should go: an error with a text, no file left behind.
        const QString blocked = objects + QStringLiteral("/cd.bin");
        QVERIFY(QDir().mkpath(blocked + QStringLiteral("/inside")));
        QVERIFY(!storeVerifiedFile(blocked, "object", &error));
        QVERIFY(!error.isEmpty());
        QCOMPARE(QDir(objects).entryList(QDir::Files), QStringList{QStringLiteral("ab.bin")});
    }
};

QTEST_GUILESS_MAIN(TestTransactions)
#include "tst_transactions.moc"
