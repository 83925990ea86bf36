#include "core/json_values.h"
#include "core/paths.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QtTest>

using namespace vorn;

class TestPaths final : public QObject
{
    Q_OBJECT

private slots:
    void normalize_data()
    {
        QTest::addColumn<QString>("input");
        QTest::addColumn<QString>("expected");
        QTest::newRow("dot prefix and blanks") << "  ./System/vorn.exe \t" << "System/vorn.exe";
        QTest::newRow("backslashes") << "System\\Data\\a.pak" << "System/Data/a.pak";
        QTest::newRow("mixed separators") << "System\\Data/a.pak" << "System/Data/a.pak";
        QTest::newRow("repeated dot prefix") << "././a" << "a";
        QTest::newRow("inner parent") << "a/b/../c" << "a/c";
        QTest::newRow("trailing slash") << "a/" << "a";
        QTest::newRow("double slash") << "a//b" << "a/b";
        QTest::newRow("dot segment inside") << "a/./b" << "a/b";
        QTest::newRow("dot segment at end") << "a/b/." << "a/b";
        QTest::newRow("dots inside a name") << "a..b/c" << "a..b/c";
        QTest::newRow("name starting with dots") << "..a" << "..a";
        QTest::newRow("inner blank kept") << "Data/my file.txt" << "Data/my file.txt";
        QTest::newRow("unicode") << QString::fromUtf8("Данные/файл.pak") << QString::fromUtf8("Данные/файл.pak");

        QTest::newRow("empty") << "" << "";
        QTest::newRow("blanks only") << "  \t " << "";
        QTest::newRow("dot") << "." << "";
        QTest::newRow("dot slash") << "./" << "";
        QTest::newRow("parent") << ".." << "";
        QTest::newRow("parent prefix") << "../x" << "";
        QTest::newRow("escape after cleaning") << "a/../../x" << "";
        QTest::newRow("backslash escape") << "a\\..\\..\\x" << "";
        QTest::newRow("backslash parent prefix") << "..\\x" << "";
        QTest::newRow("collapses to dot") << "a/.." << "";
        QTest::newRow("absolute") << "/x" << "";
        QTest::newRow("backslash absolute") << "\\x" << "";
        QTest::newRow("drive slash") << "C:/x" << "";
        QTest::newRow("drive backslash") << "C:\\Windows\\x.dll" << "";
        QTest::newRow("drive relative") << "C:x" << "";
        QTest::newRow("stream") << "x:y" << "";
        QTest::newRow("unc") << "//server/share/x" << "";
        QTest::newRow("backslash unc") << "\\\\server\\share\\x" << "";
        QTest::newRow("resource") << ":/x" << "";
        QTest::newRow("embedded nul") << QString::fromLatin1("a\0b", 3) << "";
        // One pass would give " b", which reads back as "b": a different file.
        QTest::newRow("blank exposed by cleaning") << "a/../ b" << "";
        QTest::newRow("blank behind dot prefix") << "./ b" << "";

        // Windows names the same file without a segment's trailing dots and blanks, and reads
        // device names whatever their extension: each would let two entries meet in one file.
        QTest::newRow("trailing dot in a folder") << "Data./a.pak" << "";
        QTest::newRow("trailing dots in a file") << "Data/a.pak.." << "";
        QTest::newRow("dot then blank in a folder") << "d. /z" << "";
        QTest::newRow("trailing blank in a folder") << "Data /a.pak" << "";
        QTest::newRow("device") << "CON" << "";
        QTest::newRow("device lower case with extension") << "aux.txt" << "";
        QTest::newRow("numbered port") << "COM1" << "";
        QTest::newRow("superscript port") << QString::fromUtf8("lpt\u00b2.log") << "";
        QTest::newRow("device in a folder") << "bin/NUL.dll" << "";
        QTest::newRow("device folder") << "prn/readme.txt" << "";
        QTest::newRow("device with blank before extension") << "nul .txt" << "";
        QTest::newRow("console device") << "CONOUT$" << "";
        QTest::newRow("device name as a prefix") << "console.txt" << "console.txt";
        QTest::newRow("longer port name") << "COM10/x" << "COM10/x";
        QTest::newRow("device name inside") << "my.aux" << "my.aux";
        QTest::newRow("leading blank kept inside") << "a/ b" << "a/ b";
    }

    void normalize()
    {
        QFETCH(QString, input);
        QFETCH(QString, expected);
        const QString result = normalizeRelativePath(input);
        QCOMPARE(result, expected);
        if (!result.isEmpty()) {
            QVERIFY(isSafeRelativePath(result));
            QCOMPARE(normalizeRelativePath(result), result);
        }
    }

    void safetyRuleOnNormalizedText_data()
    {
        QTest::addColumn<QString>("path");
        QTest::addColumn<bool>("safe");
        QTest::newRow("plain") << "a/b" << true;
        QTest::newRow("inner parent segment") << "a/../b" << false;
        // Cleaning never leaves this; a segment ending in a dot is refused in any case.
        QTest::newRow("parent segment at end") << "a/.." << false;
        QTest::newRow("colon") << "a/b:c" << false;
        QTest::newRow("leading slash") << "/a" << false;
    }

    void safetyRuleOnNormalizedText()
    {
        QFETCH(QString, path);
        QFETCH(bool, safe);
        QCOMPARE(isSafeRelativePath(path), safe);
    }

    void plainFolderNames_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<bool>("plain");
        QTest::newRow("release") << "r1.2-beta" << true;
        QTest::newRow("nested") << "a/b" << false;
        QTest::newRow("backslash") << "a\\b" << false;
        QTest::newRow("parent") << ".." << false;
        QTest::newRow("escape") << "../r1" << false;
        QTest::newRow("blank around") << " r1" << false;
        QTest::newRow("trailing dot") << "r1." << false;
        QTest::newRow("device") << "aux" << false;
        QTest::newRow("terminal escape") << "r1\x1b[2J" << false;
        QTest::newRow("wildcard") << "r*" << false;
        QTest::newRow("empty") << "" << false;
    }

    void plainFolderNames()
    {
        QFETCH(QString, name);
        QFETCH(bool, plain);
        QCOMPARE(isPlainFolderName(name), plain);
    }

    void caseFoldedKeysCollide()
    {
        QCOMPARE(pathKey(normalizeRelativePath("Data/A.pak")),
                 pathKey(normalizeRelativePath("data\\a.pak")));
        QVERIFY(pathKey("Data/A.pak") != pathKey("Data/B.pak"));
        QCOMPARE(pathKey(QString::fromUtf8("ДАННЫЕ/Файл")), pathKey(QString::fromUtf8("данные/файл")));
    }

    void sha256Hex_data()
    {
        const QString lower = QStringLiteral("00ff") + QString(60, QLatin1Char('a'));
        QTest::addColumn<QJsonValue>("value");
        QTest::addColumn<bool>("accepted");
        QTest::newRow("lower case") << QJsonValue(lower) << true;
        QTest::newRow("upper case") << QJsonValue(lower.toUpper()) << true;
        QTest::newRow("63 digits") << QJsonValue(lower.left(63)) << false;
        QTest::newRow("65 digits") << QJsonValue(lower + QLatin1Char('0')) << false;
        QTest::newRow("one non-digit") << QJsonValue(lower.left(63) + QLatin1Char('g')) << false;
        QTest::newRow("blank inside") << QJsonValue(lower.left(31) + QLatin1Char(' ') + lower.mid(32))
                                      << false;
        QTest::newRow("non-latin digit") << QJsonValue(lower.left(63) + QChar(0x0663)) << false;
        QTest::newRow("number") << QJsonValue(12345) << false;
        QTest::newRow("null") << QJsonValue() << false;
    }

    void sha256Hex()
    {
        QFETCH(QJsonValue, value);
        QFETCH(bool, accepted);
        const QByteArray untouched("untouched");
        QByteArray out = untouched;
        QCOMPARE(readSha256Hex(value, &out), accepted);
        if (accepted)
            QCOMPARE(out, QByteArray::fromHex(value.toString().toLatin1()));
        else
            QCOMPARE(out, untouched);
    }

    void nonNegativeInteger_data()
    {
        QTest::addColumn<QByteArray>("json");
        QTest::addColumn<bool>("accepted");
        QTest::addColumn<qint64>("expected");
        QTest::newRow("zero") << QByteArray("0") << true << qint64(0);
        QTest::newRow("four MiB") << QByteArray("4194304") << true << qint64(4194304);
        QTest::newRow("2^53") << QByteArray("9007199254740992") << true
                                     << qint64(9007199254740992LL);
        QTest::newRow("exponent form") << QByteArray("1e3") << true << qint64(1000);
        QTest::newRow("largest double below 2^63") << QByteArray("9223372036854774784") << true
                                                   << qint64(9223372036854774784LL);
        QTest::newRow("fraction") << QByteArray("1.5") << false << qint64(0);
        QTest::newRow("negative") << QByteArray("-1") << false << qint64(0);
        QTest::newRow("2^63") << QByteArray("9223372036854775808") << false << qint64(0);
        QTest::newRow("2^63 - 1 rounds up to 2^63") << QByteArray("9223372036854775807") << false
                                                     << qint64(0);
        QTest::newRow("huge") << QByteArray("1e300") << false << qint64(0);
        QTest::newRow("numeric string") << QByteArray("\"5\"") << false << qint64(0);
        QTest::newRow("true") << QByteArray("true") << false << qint64(0);
        QTest::newRow("null") << QByteArray("null") << false << qint64(0);
    }

    void nonNegativeInteger()
    {
        QFETCH(QByteArray, json);
        QFETCH(bool, accepted);
        QFETCH(qint64, expected);
        const QJsonValue value =
            QJsonDocument::fromJson("[" + json + "]").array().at(0);
        qint64 out = -7;
        QCOMPARE(readNonNegativeInteger(value, &out), accepted);
        QCOMPARE(out, accepted ? expected : qint64(-7));
    }

    void nonNegativeIntegerRefusesNotANumber()
    {
        qint64 out = -7;
        QVERIFY(!readNonNegativeInteger(QJsonValue(qQNaN()), &out));
        QVERIFY(!readNonNegativeInteger(QJsonValue(qInf()), &out));
        QCOMPARE(out, qint64(-7));
    }
};

QTEST_GUILESS_MAIN(TestPaths)
#include "tst_paths.moc"
