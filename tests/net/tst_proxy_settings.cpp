#include "net/proxy_settings.h"

#include "config/settings.h"

#include <QFile>
#include <QSettings>
#include <QTemporaryDir>
#include <QTest>

using namespace vorn;

Q_DECLARE_METATYPE(vorn::ProxyMode)

class TestProxySettings final : public QObject
{
    Q_OBJECT

    QTemporaryDir m_launcherFolder;
    QTemporaryDir m_configFolder;

    QString iniPath() const { return m_launcherFolder.filePath(QStringLiteral("launcher.ini")); }
    QByteArray iniText() const
    {
        QFile file(iniPath());
        return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
    }
    void writeRaw(const QString& key, const QVariant& value)
    {
        QSettings ini(iniPath(), QSettings::IniFormat);
        ini.setValue(key, value);
        ini.sync();
    }
    QByteArray storedBlob()
    {
        QSettings ini(iniPath(), QSettings::IniFormat);
        return ini.value(QStringLiteral("Proxy/PasswordProtected")).toByteArray();
    }

private slots:
    void initTestCase()
    {
        QVERIFY(m_launcherFolder.isValid() && m_configFolder.isValid());
        setLauncherDirectory(m_launcherFolder.path());
        // The sealing key goes to the user's configuration folder: a private one here.
        qputenv("XDG_CONFIG_HOME", m_configFolder.path().toUtf8());
    }

    void init() { QFile::remove(iniPath()); }

    void modeText_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<ProxyMode>("mode");
        QTest::newRow("system") << "system" << ProxyMode::System;
        QTest::newRow("direct") << "direct" << ProxyMode::Direct;
        QTest::newRow("manual") << "manual-http" << ProxyMode::ManualHttp;
        QTest::newRow("other case") << "Manual-HTTP" << ProxyMode::System;
        QTest::newRow("blank around") << " direct" << ProxyMode::System;
        QTest::newRow("empty") << "" << ProxyMode::System;
        QTest::newRow("unknown") << "socks5" << ProxyMode::System;
    }
    void modeText()
    {
        QFETCH(QString, text);
        QFETCH(ProxyMode, mode);
        QCOMPARE(parseProxyMode(text), mode);
        QCOMPARE(parseProxyMode(proxyModeText(mode)), mode);
    }

    void outOfRangeModeIsWrittenAsSystem()
    {
        QCOMPARE(proxyModeText(ProxyMode(7)), QStringLiteral("system"));
    }

    void missingKeysGiveDefaults()
    {
        const ProxySettings loaded = loadProxySettings();
        QCOMPARE(loaded.mode, ProxyMode::System);
        QCOMPARE(loaded.host, QString());
        QCOMPARE(loaded.port, quint16(8080));
        QCOMPARE(loaded.user, QString());
        QCOMPARE(loaded.password, QString());
        QVERIFY(!proxyEnabled());
    }

    void savedSettingsLoadBackWithThePasswordSealed()
    {
        ProxySettings settings;
        settings.mode = ProxyMode::ManualHttp;
        settings.host = QStringLiteral("  proxy.example.org \t");
        settings.port = 3128;
        settings.user = QStringLiteral(" Анна ");
        settings.password = QStringLiteral("пароль-ü-\U0001F642 x");
        QVERIFY(saveProxySettings(settings));

        const ProxySettings loaded = loadProxySettings();
        QCOMPARE(loaded.mode, ProxyMode::ManualHttp);
        QCOMPARE(loaded.host, QStringLiteral("proxy.example.org"));
        QCOMPARE(loaded.port, quint16(3128));
        QCOMPARE(loaded.user, settings.user);
        QCOMPARE(loaded.password, settings.password);

        const QByteArray text = iniText();
        QVERIFY(text.contains("Mode=manual-http"));
        QVERIFY(!text.contains(settings.password.toUtf8()));
        const QByteArray blob = storedBlob();
        const auto decoded = QByteArray::fromBase64Encoding(blob, QByteArray::AbortOnBase64DecodingErrors);
        QVERIFY(decoded);
        QVERIFY(decoded.decoded.size() > settings.password.toUtf8().size());
    }

    void emptyPasswordIsStoredEmpty()
    {
        ProxySettings settings;
        settings.user = QStringLiteral("bob");
        QVERIFY(saveProxySettings(settings));
        QVERIFY(iniText().contains("PasswordProtected=@ByteArray()"));
        QCOMPARE(loadProxySettings().password, QString());
        QCOMPARE(loadProxySettings().user, QStringLiteral("bob"));
    }

    void unreadableBlobGivesAnEmptyPassword_data()
    {
        QTest::addColumn<int>("damage");
        QTest::newRow("flipped byte") << 0;
        QTest::newRow("cut short") << 1;
        QTest::newRow("not base64") << 2;
    }
    void unreadableBlobGivesAnEmptyPassword()
    {
        QFETCH(int, damage);
        ProxySettings settings;
        settings.host = QStringLiteral("proxy");
        settings.password = QStringLiteral("secret");
        QVERIFY(saveProxySettings(settings));
        QByteArray sealed = QByteArray::fromBase64(storedBlob());
        QByteArray stored;
        if (damage == 0) {
            sealed[sealed.size() / 2] = char(sealed[sealed.size() / 2] ^ 1);
            stored = sealed.toBase64();
        } else if (damage == 1) {
            stored = sealed.left(sealed.size() - 4).toBase64();
        } else {
            stored = "%%%not-base64%%%";
        }
        writeRaw(QStringLiteral("Proxy/PasswordProtected"), stored);
        const ProxySettings loaded = loadProxySettings();
        QCOMPARE(loaded.password, QString());
        QCOMPARE(loaded.host, QStringLiteral("proxy"));
    }

    // No key can be made (the configuration folder is a file): the stored settings, password
    // included, stay as they were, and the caller learns of it.
    void aPasswordThatCannotBeSealedKeepsTheStoredOne()
    {
        ProxySettings settings;
        settings.mode = ProxyMode::ManualHttp;
        settings.host = QStringLiteral("old-proxy");
        settings.password = QStringLiteral("old secret");
        QVERIFY(saveProxySettings(settings));
        const QByteArray before = iniText();

        const QString blocker = m_configFolder.filePath(QStringLiteral("not-a-folder"));
        QFile file(blocker);
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.close();
        const QByteArray savedHome = qgetenv("XDG_CONFIG_HOME");
        qputenv("XDG_CONFIG_HOME", blocker.toUtf8());
        ProxySettings changed = settings;
        changed.host = QStringLiteral("new-proxy");
        changed.password = QStringLiteral("new secret");
        QString error;
        const bool saved = saveProxySettings(changed, &error);
        qputenv("XDG_CONFIG_HOME", savedHome);

        QVERIFY(!saved);
        QVERIFY(!error.isEmpty());
        QCOMPARE(iniText(), before);
        QCOMPARE(loadProxySettings(), settings);
    }

    void portIsKeptInSixteenBits()
    {
        writeRaw(QStringLiteral("Proxy/Port"), 70000);
        QCOMPARE(loadProxySettings().port, quint16(70000 - 65536));
    }

    void masterSwitchDecidesWhatIsInForce()
    {
        ProxySettings manual;
        manual.mode = ProxyMode::ManualHttp;
        manual.host = QStringLiteral("proxy");
        manual.user = QStringLiteral("u");
        manual.password = QStringLiteral("p");
        QVERIFY(saveProxySettings(manual));

        ProxySettings direct;
        direct.mode = ProxyMode::Direct;
        QCOMPARE(effectiveProxySettings(), direct);

        setProxyEnabled(true);
        QVERIFY(iniText().contains("Enabled=true"));
        QCOMPARE(effectiveProxySettings(), manual);
        setProxyEnabled(false);
        QCOMPARE(effectiveProxySettings(), direct);
    }
};

QTEST_GUILESS_MAIN(TestProxySettings)
#include "tst_proxy_settings.moc"
