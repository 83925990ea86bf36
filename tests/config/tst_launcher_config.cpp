#include "config/launcher_config.h"

#include <QTemporaryDir>
#include <QtTest>

using namespace vorn;

class TestLauncherConfig final : public QObject
{
    Q_OBJECT

private:
    QTemporaryDir m_dir;

    QString write(const QByteArray& content)
    {
        const QString path = m_dir.filePath(QStringLiteral("launcher.json"));
        QFile file(path);
        if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate))
            qFatal("cannot write %s", qPrintable(path));
        file.write(content);
        return path;
    }

private slots:
    void secureUrl_data()
    {
        QTest::addColumn<QString>("url");
        QTest::addColumn<bool>("secure");
        QTest::newRow("https") << "https://cdn.example.com/game/" << true;
        QTest::newRow("https upper-case scheme") << "HTTPS://cdn.example.com/" << true;
        QTest::newRow("http localhost") << "http://localhost:8080/" << true;
        QTest::newRow("http loopback address") << "http://127.0.0.1:9/x/" << true;
        QTest::newRow("http remote") << "http://cdn.example.com/" << false;
        QTest::newRow("http other loopback") << "http://127.0.0.2/" << false;
        QTest::newRow("http localhost lookalike") << "http://localhost.example.com/" << false;
        QTest::newRow("ftp") << "ftp://cdn.example.com/" << false;
        QTest::newRow("no host") << "https:///path/" << false;
        QTest::newRow("relative") << "cdn.example.com/" << false;
        QTest::newRow("empty") << "" << false;
    }

    void secureUrl()
    {
        QFETCH(QString, url);
        QFETCH(bool, secure);
        QCOMPARE(isSecureUpdateUrl(url), secure);
    }

    void updateUrlsAreTrimmedSlashedAndFiltered()
    {
        const QString path = write("{\"updateBaseUrls\": [\"https://a.example.com/game\", "
            "\"  http://localhost:8000/r/  \", \"http://remote.example.com/\", 7, "
            "\"https://a.example.com/game/\"], "
            "\"selfUpdateBaseUrls\": \"not an array\", \"newsUrl\": 12, "
            "\"supportUrl\": \" https://support/{lang} \", \"unknown\": true}");
        QString error = QStringLiteral("stale");
        const LauncherConfig config = loadLauncherConfig(path, &error);
        QVERIFY2(error.isEmpty(), qPrintable(error));
        // Duplicates are kept: the order expresses preference.
        QCOMPARE(config.updateBaseUrls, QStringList({"https://a.example.com/game/",
                                                     "http://localhost:8000/r/",
                                                     "https://a.example.com/game/"}));
        QVERIFY(config.selfUpdateBaseUrls.isEmpty());
        QVERIFY(config.newsUrl.isEmpty());
        QCOMPARE(config.supportUrl, QStringLiteral(" https://support/{lang} "));
    }

    void errors_data()
    {
        QTest::addColumn<QByteArray>("content");
        QTest::addColumn<QString>("errorPrefix");
        QTest::addColumn<int>("selfUpdateUrls");
        QTest::newRow("only remote http")
            << QByteArray("{\"updateBaseUrls\": [\"http://remote.example.com/\"], "
            "\"selfUpdateBaseUrls\": [\"https://self.example.com\"]}")
            << "launcher.json does not contain a secure update URL" << 1;
        QTest::newRow("array document") << QByteArray("[1, 2]") << "Invalid launcher.json: " << 0;
        QTest::newRow("syntax error") << QByteArray("{\"updateBaseUrls\": [")
                                      << "Invalid launcher.json: " << 0;
        QTest::newRow("empty file") << QByteArray() << "Invalid launcher.json: " << 0;
    }

    void errors()
    {
        QFETCH(QByteArray, content);
        QFETCH(QString, errorPrefix);
        QFETCH(int, selfUpdateUrls);
        QString error;
        const LauncherConfig config = loadLauncherConfig(write(content), &error);
        QVERIFY2(error.startsWith(errorPrefix), qPrintable(error));
        QVERIFY(config.updateBaseUrls.isEmpty());
        QCOMPARE(config.selfUpdateBaseUrls.size(), selfUpdateUrls);
    }

    void missingFileReportsTheFileError()
    {
        QString error;
        const LauncherConfig config =
            loadLauncherConfig(m_dir.filePath(QStringLiteral("absent.json")), &error);
        QVERIFY(!error.isEmpty());
        QVERIFY(!error.startsWith(QLatin1String("Invalid")));
        QVERIFY(config.updateBaseUrls.isEmpty());
    }
};

QTEST_GUILESS_MAIN(TestLauncherConfig)
#include "tst_launcher_config.moc"
