#include "core/manifest.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QtTest>

using namespace vorn;

namespace {

QString digestHex(char fill)
{
    return QString(64, QLatin1Char(fill));
}

QJsonObject chunk(qint64 offset, qint64 size, char fill = 'c')
{
    return QJsonObject{{"offset", double(offset)}, {"size", double(size)},
                       {"sha256", digestHex(fill)}, {"blobSha256", digestHex('b')},
                       {"blobSize", double(size / 2)}};
}

QJsonObject file(const QString& path, qint64 size, const QJsonArray& chunks)
{
    return QJsonObject{{"path", path}, {"size", double(size)}, {"sha256", digestHex('f')},
                       {"chunks", chunks}};
}

QJsonObject validRoot()
{
    return QJsonObject{
        {"schema", 1},
        {"releaseId", "2024.05.1"},
        {"createdUtc", "2024-05-01T10:00:00Z"},
        {"gameRoot", "Ostravel"},
        {"compression", "qt-zlib-v1"},
        {"chunking", QJsonObject{{"algorithm", "fastcdc-v1"}, {"wholeFileThreshold", 8388608},
                                 {"minBytes", 1048576}, {"averageBytes", 4194304},
                                 {"maxBytes", 8388608}}},
        {"launchProfiles",
         QJsonArray{QJsonObject{{"id", "Modern"}, {"title", "DirectX 11"},
                                {"executable", ".\\System\\Game.exe"}, {"arguments", "-dx11 -w"}},
                    QJsonObject{{"id", "Classic"}, {"title", "DirectX 9"},
                                {"executable", "System/Game.exe"}}}},
        {"preserve", QJsonArray{" Config/user.ini ", 3, "   ", "Screenshots"}},
        {"files",
         QJsonArray{file("System/Game.exe", 10, QJsonArray{chunk(0, 4), chunk(4, 6, 'd')}),
                    file("./Config\\user.ini", 0, QJsonArray{chunk(0, 0)}),
                    QJsonObject{{"path", "Data/a.pak"}, {"size", 3}, {"sha256", digestHex('A')},
                                {"policy", "Preserve"}, {"chunks", QJsonArray{chunk(0, 3)}}}}},
        {"unknownKey", "ignored"}};
}

QByteArray toBytes(const QJsonObject& object)
{
    return QJsonDocument(object).toJson(QJsonDocument::Compact);
}

QJsonObject withFiles(const QJsonArray& files)
{
    QJsonObject root = validRoot();
    root["files"] = files;
    return root;
}

QJsonObject with(const QString& key, const QJsonValue& value)
{
    QJsonObject root = validRoot();
    if (value.isUndefined())
        root.remove(key);
    else
        root[key] = value;
    return root;
}

QJsonObject withChunking(const QString& key, const QJsonValue& value)
{
    QJsonObject root = validRoot();
    QJsonObject chunking = root["chunking"].toObject();
    if (value.isUndefined())
        chunking.remove(key);
    else
        chunking[key] = value;
    root["chunking"] = chunking;
    return root;
}

} // namespace

class TestManifest final : public QObject
{
    Q_OBJECT

private slots:
    void parsesEveryField()
    {
        Manifest manifest;
        QString error;
        QVERIFY2(parseManifest(toBytes(validRoot()), &manifest, &error), qPrintable(error));
        QCOMPARE(manifest.releaseId, QStringLiteral("2024.05.1"));
        QCOMPARE(manifest.createdUtc, QStringLiteral("2024-05-01T10:00:00Z"));
        QCOMPARE(manifest.chunking.minBytes, qint64(1048576));
        QCOMPARE(manifest.launchProfiles.size(), 2);
        QCOMPARE(manifest.launchProfiles[0].executable, QStringLiteral("System/Game.exe"));
        QCOMPARE(manifest.launchProfiles[0].arguments, QStringLiteral("-dx11 -w"));
        QCOMPARE(manifest.preserve, QStringList({"Config/user.ini", "Screenshots"}));
        QCOMPARE(manifest.files.size(), 3);
        QCOMPARE(manifest.files[1].path, QStringLiteral("Config/user.ini"));
        QCOMPARE(manifest.files[0].chunks[1].offset, qint64(4));
        QCOMPARE(manifest.files[0].chunks[1].sha256, QByteArray(32, char(0xdd)));
        QCOMPARE(manifest.files[0].chunks[1].blobSize, qint64(3));
        QCOMPARE(manifest.files[2].sha256, QByteArray(32, char(0xaa)));
        QVERIFY(!manifest.files[2].preserve); // "Preserve" is not "preserve"
    }

    void optionalListsMayBeMissingOrWrongType()
    {
        QJsonObject root = validRoot();
        root.remove("files");
        root.remove("createdUtc");
        root["launchProfiles"] = "not an array";
        root["preserve"] = QJsonObject();
        Manifest manifest;
        QVERIFY(parseManifest(toBytes(root), &manifest));
        QVERIFY(manifest.files.isEmpty());
        QVERIFY(manifest.launchProfiles.isEmpty());
        QVERIFY(manifest.preserve.isEmpty());
        QVERIFY(manifest.createdUtc.isEmpty());
    }

    void chunkerLimitsAreNotRelated()
    {
        Manifest manifest;
        QVERIFY(parseManifest(toBytes(withChunking("minBytes", 0)), &manifest));
        QVERIFY(parseManifest(toBytes(withChunking("maxBytes", 1)), &manifest));
        QCOMPARE(manifest.chunking.maxBytes, qint64(1));
    }

    void failures_data()
    {
        QTest::addColumn<QByteArray>("bytes");
        QTest::addColumn<QString>("message");

        QTest::newRow("not json") << QByteArray("{\"schema\": 1,") << "Invalid manifest JSON: ";
        QTest::newRow("array") << QByteArray("[1]") << "Invalid manifest JSON: no error occurred";
        QTest::newRow("empty") << QByteArray() << "Invalid manifest JSON: ";
        QTest::newRow("schema 2") << toBytes(with("schema", 2)) << "Unsupported manifest schema";
        QTest::newRow("schema string") << toBytes(with("schema", "1")) << "Unsupported manifest schema";
        QTest::newRow("schema missing") << toBytes(with("schema", QJsonValue::Undefined))
                                        << "Unsupported manifest schema";
        QTest::newRow("schema 1.5") << toBytes(with("schema", 1.5)) << "Unsupported manifest schema";
        QTest::newRow("schema wins over header") << QByteArray("{\"schema\":2}")
                                                 << "Unsupported manifest schema";

        const QString header = QStringLiteral("Manifest header is incomplete or unsupported");
        QTest::newRow("no releaseId") << toBytes(with("releaseId", "")) << header;
        QTest::newRow("no gameRoot") << toBytes(with("gameRoot", QJsonValue::Undefined)) << header;
        QTest::newRow("gameRoot number") << toBytes(with("gameRoot", 5)) << header;
        QTest::newRow("other compression") << toBytes(with("compression", "zstd")) << header;
        QTest::newRow("header wins over chunking")
            << QByteArray("{\"schema\":1,\"releaseId\":\"r\",\"gameRoot\":\"g\"}") << header;

        const QString chunking = QStringLiteral("Unsupported or invalid chunking configuration");
        QTest::newRow("no chunking") << toBytes(with("chunking", QJsonValue::Undefined)) << chunking;
        QTest::newRow("other algorithm") << toBytes(withChunking("algorithm", "fastcdc-v2")) << chunking;
        QTest::newRow("negative min") << toBytes(withChunking("minBytes", -1)) << chunking;
        QTest::newRow("fractional average") << toBytes(withChunking("averageBytes", 4.5)) << chunking;
        QTest::newRow("missing max") << toBytes(withChunking("maxBytes", QJsonValue::Undefined))
                                     << chunking;
        QTest::newRow("threshold string") << toBytes(withChunking("wholeFileThreshold", "8"))
                                          << chunking;

        const QString profile = QStringLiteral("Invalid or duplicate launch profile");
        const QJsonObject good{{"id", "Modern"}, {"title", "t"}, {"executable", "Game.exe"}};
        QJsonObject noTitle = good;
        noTitle.remove("title");
        QJsonObject unsafe = good;
        unsafe["executable"] = "../Game.exe";
        QJsonObject lowerId = good;
        lowerId["id"] = "modern";
        QTest::newRow("profile without title") << toBytes(with("launchProfiles", QJsonArray{noTitle}))
                                               << profile;
        QTest::newRow("profile escaping") << toBytes(with("launchProfiles", QJsonArray{unsafe}))
                                          << profile;
        QTest::newRow("profile ids differing in case")
            << toBytes(with("launchProfiles", QJsonArray{good, lowerId})) << profile;
        QTest::newRow("profile not an object") << toBytes(with("launchProfiles", QJsonArray{"x"}))
                                               << profile;
        QJsonObject profileAndFile = with("launchProfiles", QJsonArray{noTitle});
        profileAndFile["files"] = QJsonArray{file("../x", 1, QJsonArray{chunk(0, 1)})};
        QTest::newRow("profile wins over file") << toBytes(profileAndFile) << profile;

        const QString entry = QStringLiteral("Invalid or duplicate file entry");
        const QJsonArray one{chunk(0, 1)};
        QTest::newRow("escaping path") << toBytes(withFiles({file("../evil.dll", 1, one)})) << entry;
        // The launcher's own folder: a release could plant bookkeeping or an interrupted install.
        QTest::newRow("state file") << toBytes(withFiles({file(".vorn/state.json", 1, one)})) << entry;
        QTest::newRow("transaction backup in capitals")
            << toBytes(withFiles({file("./.VORN/transactions/r1/backup/a", 1, one)})) << entry;
        QTest::newRow("drive path") << toBytes(withFiles({file("C:/Windows/x.dll", 1, one)}))
                                    << entry;
        QTest::newRow("backslash drive path")
            << toBytes(withFiles({file("C:\\Windows\\x.dll", 1, one)})) << entry;
        QTest::newRow("paths differing in case")
            << toBytes(withFiles({file("Data/A.pak", 1, one), file("data\\a.pak", 1, one)})) << entry;
        QJsonObject badSize = file("a", 1, one);
        badSize["size"] = -1;
        QTest::newRow("negative size") << toBytes(withFiles({badSize})) << entry;
        QJsonObject badDigest = file("a", 1, one);
        badDigest["sha256"] = digestHex('f').left(63);
        QTest::newRow("short digest") << toBytes(withFiles({badDigest})) << entry;
        QTest::newRow("file not an object") << toBytes(withFiles({7})) << entry;

        QTest::newRow("gap between chunks")
            << toBytes(withFiles({file("Data/x.pak", 10, {chunk(0, 4), chunk(5, 5)})}))
            << "Invalid chunk entry in Data/x.pak";
        QJsonObject noBlob = chunk(0, 10);
        noBlob.remove("blobSha256");
        QTest::newRow("chunk without blob digest")
            << toBytes(withFiles({file("./Data\\x.pak", 10, {noBlob})}))
            << "Invalid chunk entry in Data/x.pak";
        QJsonObject negativeBlob = chunk(0, 10);
        negativeBlob["blobSize"] = -3;
        QTest::newRow("negative blob size") << toBytes(withFiles({file("x", 10, {negativeBlob})}))
                                            << "Invalid chunk entry in x";
        QTest::newRow("chunk wins over later duplicate")
            << toBytes(withFiles({file("x", 10, {chunk(1, 9)}), file("X", 1, one)}))
            << "Invalid chunk entry in x";
        // Sizes whose sum would pass 2^63 are refused, long before they could wrap around.
        QTest::newRow("overflowing chunk sizes")
            << QByteArray("{\"schema\":1,\"releaseId\":\"r\",\"gameRoot\":\"g\",\"compression\":"
                          "\"qt-zlib-v1\",\"chunking\":{\"algorithm\":\"fastcdc-v1\","
                          "\"wholeFileThreshold\":1,\"minBytes\":1,\"averageBytes\":1,"
                          "\"maxBytes\":1},\"files\":[{\"path\":\"x\",\"size\":0,\"sha256\":\""
                          + digestHex('f').toLatin1() + "\",\"chunks\":["
                          + toBytes(chunk(0, 9223372036854774784LL)) + ","
                          + toBytes(chunk(9223372036854774784LL, 9223372036854774784LL))
                          + "]}]}")
            << "Invalid chunk entry in x";
        // Nothing above the download limit can be fetched, and a chunk's size is what is set
        // aside to unpack it.
        const qint64 limit = 16 * 1024 * 1024;
        QJsonObject bigBlob = chunk(0, 10);
        bigBlob["blobSize"] = double(limit + 1);
        QTest::newRow("chunk above the object limit")
            << toBytes(withFiles({file("x", limit + 1, {chunk(0, limit + 1)})}))
            << "Invalid chunk entry in x";
        QTest::newRow("object above the object limit")
            << toBytes(withFiles({file("x", 10, {bigBlob})})) << "Invalid chunk entry in x";

        QTest::newRow("short cover") << toBytes(withFiles({file("x", 10, {chunk(0, 4)})}))
                                     << "Chunks do not cover x";
        QTest::newRow("no chunks") << toBytes(withFiles({file("x", 10, {})}))
                                   << "Chunks do not cover x";
        QTest::newRow("no chunks for an empty file") << toBytes(withFiles({file("x", 0, {})}))
                                                     << "Chunks do not cover x";
        QTest::newRow("chunks past the end") << toBytes(withFiles({file("x", 3, {chunk(0, 4)})}))
                                             << "Chunks do not cover x";
    }

    void failures()
    {
        QFETCH(QByteArray, bytes);
        QFETCH(QString, message);
        Manifest manifest;
        manifest.releaseId = QStringLiteral("previous");
        manifest.files.append(ManifestFile());
        const Manifest before = manifest;
        QString error;
        QVERIFY(!parseManifest(bytes, &manifest, &error));
        if (message.endsWith(QLatin1String(": ")))
            QVERIFY2(error.startsWith(message) && error.size() > message.size(), qPrintable(error));
        else
            QCOMPARE(error, message);
        QVERIFY(manifest == before);
    }

    void nullOutputIsReported()
    {
        QString error;
        QVERIFY(!parseManifest(toBytes(validRoot()), nullptr, &error));
        QCOMPARE(error, QStringLiteral("Manifest output is null"));
        QVERIFY(!parseManifest("[]", nullptr, nullptr));
    }

    void zeroSizedChunksAreAccepted()
    {
        Manifest manifest;
        QVERIFY(parseManifest(toBytes(withFiles({file("x", 0, {chunk(0, 0), chunk(0, 0)}),
                                                 file("y", 10, {chunk(0, 4), chunk(4, 6)})})),
                              &manifest));
        QCOMPARE(manifest.files[0].chunks.size(), 2);
    }

    void roundTrip()
    {
        Manifest first;
        QVERIFY(parseManifest(toBytes(validRoot()), &first));
        first.files[0].preserve = true;
        first.files[1].executable = true;
        const QByteArray written = manifestToJson(first);
        QVERIFY(!written.contains('\n'));

        const QJsonObject root = QJsonDocument::fromJson(written).object();
        for (const char* key : {"schema", "releaseId", "createdUtc", "gameRoot", "compression",
                                "chunking", "launchProfiles", "preserve", "files"})
            QVERIFY2(root.contains(QLatin1String(key)), key);
        QVERIFY(!root.contains("unknownKey"));
        const QJsonArray files = root["files"].toArray();
        QCOMPARE(files[0].toObject()["policy"].toString(), QStringLiteral("preserve"));
        QCOMPARE(files[2].toObject()["policy"].toString(), QStringLiteral("replace"));
        QCOMPARE(files[2].toObject()["sha256"].toString(), digestHex('a'));
        // Written only where set, so manifests without executables keep their old bytes.
        QCOMPARE(files[1].toObject()["executable"], QJsonValue(true));
        QVERIFY(!files[0].toObject().contains("executable"));
        QCOMPARE(root["launchProfiles"].toArray()[1].toObject()["arguments"].toString(), QString());

        Manifest second;
        QString error;
        QVERIFY2(parseManifest(written, &second, &error), qPrintable(error));
        QVERIFY(second == first);
        QCOMPARE(manifestToJson(second), written);
        // Registered at start-up under the name queued signals use.
        const int byName = QMetaType::type("vorn::Manifest");
        QVERIFY(byName != QMetaType::UnknownType);
        QCOMPARE(byName, qMetaTypeId<Manifest>());
        QVERIFY(QVariant::fromValue(second).value<Manifest>() == first);
    }

    void largeValuesSurviveTheRoundTrip()
    {
        Manifest manifest;
        manifest.releaseId = QStringLiteral("r");
        manifest.chunking.wholeFileThreshold = 9223372036854774784LL;
        ManifestFile big;
        big.path = QStringLiteral("big.bin");
        // Chunks and objects go up to the download limit.
        big.size = qint64(16) * 1024 * 1024;
        big.sha256 = QByteArray(32, '\x01');
        big.chunks.append({0, big.size, QByteArray(32, '\x02'), QByteArray(32, '\xfe'), big.size});
        manifest.files.append(big);
        Manifest parsed;
        QString error;
        QVERIFY2(parseManifest(manifestToJson(manifest), &parsed, &error), qPrintable(error));
        QVERIFY(parsed == manifest);
    }
};

QTEST_GUILESS_MAIN(TestManifest)
#include "tst_manifest.moc"
