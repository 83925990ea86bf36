#include "core/channel_pointer.h"

#include <QJsonDocument>
#include <QJsonObject>
#include <QtTest>

using namespace vorn;

namespace {

const QString kDigest = QStringLiteral("0123456789abcdef0123456789ABCDEF0123456789abcdef0123456789abcdef");

QJsonObject validPointer()
{
    return QJsonObject{{"schema", 1}, {"channel", "live"}, {"releaseId", "2024.05.1"},
                       {"manifestPath", "releases/2024.05.1/manifest.json"},
                       {"manifestSha256", kDigest}, {"comment", "ignored"}};
}

QByteArray with(const QString& key, const QJsonValue& value)
{
    QJsonObject object = validPointer();
    if (value.isUndefined())
        object.remove(key);
    else
        object[key] = value;
    return QJsonDocument(object).toJson();
}

} // namespace

class TestChannelPointer final : public QObject
{
    Q_OBJECT

private slots:
    void accepted_data()
    {
        QTest::addColumn<QByteArray>("bytes");
        QTest::addColumn<QString>("manifestPath");
        QTest::newRow("plain") << with("comment", "x") << "releases/2024.05.1/manifest.json";
        QTest::newRow("backslashes") << with("manifestPath", "releases\\r1\\manifest.json")
                                     << "releases/r1/manifest.json";
        QTest::newRow("dot prefix") << with("manifestPath", " ./m.json ") << "m.json";
    }

    void accepted()
    {
        QFETCH(QByteArray, bytes);
        QFETCH(QString, manifestPath);
        ChannelPointer pointer;
        QString error;
        QVERIFY2(parseChannelPointer(bytes, &pointer, &error), qPrintable(error));
        QCOMPARE(pointer.schema, 1);
        QCOMPARE(pointer.channel, QStringLiteral("live"));
        QCOMPARE(pointer.releaseId, QStringLiteral("2024.05.1"));
        QCOMPARE(pointer.manifestPath, manifestPath);
        QCOMPARE(pointer.manifestSha256, QByteArray::fromHex(kDigest.toLatin1()));
        QCOMPARE(pointer.sequence, qint64(0));
        QVERIFY(!pointer.expiresUtc.isValid());
    }

    void sequenceAndExpiry_data()
    {
        QTest::addColumn<QJsonValue>("expires");
        QTest::addColumn<QDateTime>("expiresUtc");
        const QDateTime noon(QDate(2031, 3, 9), QTime(12, 0), Qt::UTC);
        QTest::newRow("UTC") << QJsonValue("2031-03-09T12:00:00Z") << noon;
        QTest::newRow("with an offset") << QJsonValue("2031-03-09T14:00:00+02:00") << noon;
    }

    void sequenceAndExpiry()
    {
        QFETCH(QJsonValue, expires);
        QFETCH(QDateTime, expiresUtc);
        QJsonObject object = validPointer();
        object["sequence"] = 9007199254740991.0;
        object["expiresUtc"] = expires;
        ChannelPointer pointer;
        QString error;
        QVERIFY2(parseChannelPointer(QJsonDocument(object).toJson(), &pointer, &error), qPrintable(error));
        QCOMPARE(pointer.sequence, qint64(9007199254740991));
        QCOMPARE(pointer.expiresUtc, expiresUtc);
        QCOMPARE(pointer.expiresUtc.timeSpec(), Qt::UTC);
    }

    void refused_data()
    {
        QTest::addColumn<QByteArray>("bytes");
        QTest::addColumn<QString>("message");
        const QString invalid = QStringLiteral("Invalid channel pointer");
        QTest::newRow("other channel") << with("channel", "beta") << invalid;
        QTest::newRow("channel in capitals") << with("channel", "LIVE") << invalid;
        QTest::newRow("escaping manifest") << with("manifestPath", "../m.json") << invalid;
        QTest::newRow("absolute manifest") << with("manifestPath", "/releases/m.json") << invalid;
        QTest::newRow("url manifest") << with("manifestPath", "https://evil/m.json") << invalid;
        QTest::newRow("no schema") << with("schema", QJsonValue::Undefined) << invalid;
        QTest::newRow("fractional schema") << with("schema", 1.5) << invalid;
        QTest::newRow("schema 2") << with("schema", 2) << invalid;
        QTest::newRow("empty release") << with("releaseId", "") << invalid;
        QTest::newRow("release number") << with("releaseId", 5) << invalid;
        QTest::newRow("short digest") << with("manifestSha256", kDigest.left(63)) << invalid;
        QTest::newRow("no digest") << with("manifestSha256", QJsonValue::Undefined) << invalid;
        // Present but broken would switch the replay or freeze check off.
        QTest::newRow("sequence 0") << with("sequence", 0) << invalid;
        QTest::newRow("negative sequence") << with("sequence", -3) << invalid;
        QTest::newRow("fractional sequence") << with("sequence", 2.5) << invalid;
        QTest::newRow("sequence as text") << with("sequence", "7") << invalid;
        QTest::newRow("expiry without zone") << with("expiresUtc", "2031-03-09T12:00:00") << invalid;
        QTest::newRow("expiry not a date") << with("expiresUtc", "soon") << invalid;
        QTest::newRow("expiry as number") << with("expiresUtc", 1900000000) << invalid;
        QTest::newRow("array") << QByteArray("[{\"schema\":1}]")
                               << "Invalid channel JSON: no error occurred";
        QTest::newRow("broken") << QByteArray("{\"schema\":") << "Invalid channel JSON: ";
    }

    void refused()
    {
        QFETCH(QByteArray, bytes);
        QFETCH(QString, message);
        ChannelPointer pointer;
        pointer.releaseId = QStringLiteral("before");
        QString error;
        QVERIFY(!parseChannelPointer(bytes, &pointer, &error));
        if (message.endsWith(QLatin1String(": ")))
            QVERIFY2(error.startsWith(message) && error.size() > message.size(), qPrintable(error));
        else
            QCOMPARE(error, message);
        QCOMPARE(pointer.releaseId, QStringLiteral("before"));
        QVERIFY(pointer.manifestSha256.isEmpty());
    }

    void nullOutput()
    {
        QString error;
        QVERIFY(!parseChannelPointer(with("comment", "x"), nullptr, &error));
        QCOMPARE(error, QStringLiteral("Channel pointer output is null"));
    }
};

QTEST_GUILESS_MAIN(TestChannelPointer)
#include "tst_channel_pointer.moc"
