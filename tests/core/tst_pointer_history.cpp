#include "core/pointer_history.h"

#include <QTemporaryDir>
#include <QtTest>

using namespace vorn;

namespace {

const QDateTime kNow(QDate(2030, 6, 1), QTime(12, 0), Qt::UTC);

ChannelPointer pointer(qint64 sequence, const QString& releaseId = QStringLiteral("r2"),
                       const QByteArray& digest = QByteArray(32, 'b'))
{
    ChannelPointer p;
    p.releaseId = releaseId;
    p.manifestPath = QStringLiteral("manifests/%1.json").arg(releaseId);
    p.manifestSha256 = digest;
    p.sequence = sequence;
    return p;
}

SeenPointer seen(qint64 sequence, const QByteArray& digest = QByteArray(32, 'b'))
{
    return {sequence, QStringLiteral("r2"), digest};
}

} // namespace

Q_DECLARE_METATYPE(vorn::ChannelPointer)
Q_DECLARE_METATYPE(vorn::SeenPointer)
Q_DECLARE_METATYPE(vorn::PointerVerdict)

class TestPointerHistory final : public QObject
{
    Q_OBJECT

private slots:
    void verdict_data()
    {
        QTest::addColumn<ChannelPointer>("offered");
        QTest::addColumn<SeenPointer>("before");
        QTest::addColumn<PointerVerdict>("verdict");
        const auto expiring = [](ChannelPointer p, qint64 secondsFromNow) {
            p.expiresUtc = kNow.addSecs(secondsFromNow);
            return p;
        };
        QTest::newRow("nothing seen, no sequence") << pointer(0) << SeenPointer() << PointerVerdict::Accepted;
        QTest::newRow("newer") << pointer(3, QStringLiteral("r3")) << seen(2) << PointerVerdict::Accepted;
        QTest::newRow("older") << pointer(1, QStringLiteral("r1")) << seen(2) << PointerVerdict::Older;
        QTest::newRow("no sequence once one was seen") << pointer(0) << seen(2) << PointerVerdict::Older;
        QTest::newRow("the same again") << pointer(2) << seen(2) << PointerVerdict::Accepted;
        QTest::newRow("same sequence, other release")
            << pointer(2, QStringLiteral("r1")) << seen(2) << PointerVerdict::Conflicting;
        QTest::newRow("same sequence, other manifest")
            << pointer(2, QStringLiteral("r2"), QByteArray(32, 'c')) << seen(2) << PointerVerdict::Conflicting;
        QTest::newRow("same release as installed, digest unknown")
            << pointer(2) << seen(2, QByteArray()) << PointerVerdict::Accepted;
        QTest::newRow("expired beyond the grace")
            << expiring(pointer(3), -kPointerExpiryGraceSeconds - 1) << seen(2) << PointerVerdict::Expired;
        QTest::newRow("expired within the grace")
            << expiring(pointer(3), -kPointerExpiryGraceSeconds) << seen(2) << PointerVerdict::Accepted;
        QTest::newRow("older and expired is called older")
            << expiring(pointer(1), -10 * kPointerExpiryGraceSeconds) << seen(2) << PointerVerdict::Older;
    }

    void verdict()
    {
        QFETCH(ChannelPointer, offered);
        QFETCH(SeenPointer, before);
        QFETCH(PointerVerdict, verdict);
        QCOMPARE(judgeChannelPointer(offered, before, kNow), verdict);
    }

    // The record only ever rises; each key keeps its own, and only the trusted ones count.
    void recordRisesPerKey()
    {
        QTemporaryDir dir;
        const QString path = gamePointerHistoryPath(QDir(dir.path()));
        const QByteArray oldKey(32, '1');
        const QByteArray newKey(32, '2');
        const QString live = QStringLiteral("live");
        QVERIFY(rememberSeenPointer(path, live, oldKey, seen(5)));
        QVERIFY(rememberSeenPointer(path, live, oldKey, seen(4)));
        QVERIFY(rememberSeenPointer(path, live, newKey, seen(7)));
        QVERIFY(rememberSeenPointer(path, QStringLiteral("beta"), oldKey, seen(50)));
        QCOMPARE(readSeenPointer(path, live, {oldKey}).sequence, qint64(5));
        QCOMPARE(readSeenPointer(path, live, {oldKey, newKey}).sequence, qint64(7));
        QCOMPARE(readSeenPointer(path, live, {QByteArray(32, '3')}).sequence, qint64(0));
        const SeenPointer read = readSeenPointer(path, live, {newKey});
        QCOMPARE(read.releaseId, QStringLiteral("r2"));
        QCOMPARE(read.manifestSha256, QByteArray(32, 'b'));
    }

    void damagedRecordCountsAsNone()
    {
        QTemporaryDir dir;
        const QString path = dir.filePath(QStringLiteral("channel-sequence.json"));
        QFile file(path);
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write("{\"schema\":1,\"pointers\":[{\"channel\":");
        file.close();
        QCOMPARE(readSeenPointer(path, QStringLiteral("live"), {QByteArray(32, '1')}).sequence, qint64(0));
        QVERIFY(rememberSeenPointer(path, QStringLiteral("live"), QByteArray(32, '1'), seen(3)));
        QCOMPARE(readSeenPointer(path, QStringLiteral("live"), {QByteArray(32, '1')}).sequence, qint64(3));
    }

    // A check must not create a game folder that was never installed.
    void noGameFolderIsCreated()
    {
        QTemporaryDir dir;
        const QString game = dir.filePath(QStringLiteral("Ostravel"));
        QVERIFY(!rememberSeenPointer(gamePointerHistoryPath(QDir(game)), QStringLiteral("live"),
                                     QByteArray(32, '1'), seen(3)));
        QVERIFY(!QFileInfo::exists(game));
        QVERIFY(QDir().mkpath(game));
        QVERIFY(rememberSeenPointer(gamePointerHistoryPath(QDir(game)), QStringLiteral("live"),
                                    QByteArray(32, '1'), seen(3)));
    }
};

QTEST_GUILESS_MAIN(TestPointerHistory)
#include "tst_pointer_history.moc"
