// The settings and proxy dialogs against a real launcher.ini: what they show, what they allow
// and what they store.
#include "config/localization.h"
#include "config/settings.h"
#include "net/proxy_settings.h"
#include "ui/proxy_dialog.h"
#include "ui/settings_dialog.h"
#include "ui/styled_check_box.h"
#include "ui/styled_combo_box.h"
#include "ui/styled_spin_box.h"

#include <QDir>
#include <QFileDialog>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTemporaryDir>
#include <QtTest>

using namespace vorn;

class TestDialogs final : public QObject
{
    Q_OBJECT

private:
    QTemporaryDir m_launcher;
    QTemporaryDir m_config;

    QByteArray iniText() const
    {
        QFile file(launcherFilePath(QStringLiteral("launcher.ini")));
        return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
    }

private slots:
    void initTestCase()
    {
        QVERIFY(m_launcher.isValid() && m_config.isValid());
        setLauncherDirectory(m_launcher.path());
        qputenv("XDG_CONFIG_HOME", m_config.path().toUtf8());
        const QDir locales(QStringLiteral(VORN_LOCALES_DIR));
        QVERIFY(QDir().mkpath(launcherFilePath(QStringLiteral("locales"))));
        for (const QString& name : {QStringLiteral("ru.ini"), QStringLiteral("en.ini")})
            QVERIFY(QFile::copy(locales.filePath(name), launcherFilePath(QStringLiteral("locales/") + name)));
    }

    void init()
    {
        QFile::remove(launcherFilePath(QStringLiteral("launcher.ini")));
        ensureSettingsDefaults();
        setLanguage(QStringLiteral("en"));
        (void)loadCatalogues(QStringLiteral("en"), launcherFilePath(QStringLiteral("locales")));
    }

    void settingsStartFromTheIni_data()
    {
        QTest::addColumn<bool>("flipped"); // every switch the other way, other numbers and folder
        QTest::newRow("as stored by default") << false;
        QTest::newRow("every value changed") << true;
    }

    void settingsStartFromTheIni()
    {
        QFETCH(bool, flipped);
        LauncherSettingsChoice stored;
        stored.language = QStringLiteral("en");
        stored.automaticUpdates = automaticUpdates() != flipped;
        stored.updateNotifications = updateNotificationsEnabled() != flipped;
        stored.closeToTray = closeToTray() != flipped;
        stored.minimizeOnGameLaunch = minimizeOnGameLaunch() != flipped;
        stored.showLog = showLog() != flipped;
        stored.updateCheckIntervalMinutes = flipped ? 1440 : updateCheckIntervalMinutes();
        stored.downloadRateLimitEnabled = downloadRateLimitEnabled() != flipped;
        stored.downloadRateLimitMBps = flipped ? 1 : downloadRateLimitMBps();
        stored.gameFolder = flipped ? m_launcher.filePath(QStringLiteral("games/Ostravel")) : gameRoot();
        if (flipped) {
            setLanguage(QStringLiteral("ru"));
            stored.language = QStringLiteral("ru");
            setAutomaticUpdates(stored.automaticUpdates);
            setUpdateNotificationsEnabled(stored.updateNotifications);
            setCloseToTray(stored.closeToTray);
            setMinimizeOnGameLaunch(stored.minimizeOnGameLaunch);
            setShowLog(stored.showLog);
            setUpdateCheckIntervalMinutes(stored.updateCheckIntervalMinutes);
            setDownloadRateLimitEnabled(stored.downloadRateLimitEnabled);
            setDownloadRateLimitMBps(stored.downloadRateLimitMBps);
            setGameRoot(stored.gameFolder);
        }

        SettingsDialog dialog;
        const LauncherSettingsChoice shown = dialog.choice();
        QCOMPARE(shown.language, stored.language);
        QCOMPARE(dialog.languageCombo->count(), 2);
        QCOMPARE(shown.automaticUpdates, stored.automaticUpdates);
        QCOMPARE(shown.updateNotifications, stored.updateNotifications);
        QCOMPARE(shown.closeToTray, stored.closeToTray);
        QCOMPARE(shown.minimizeOnGameLaunch, stored.minimizeOnGameLaunch);
        QCOMPARE(shown.showLog, stored.showLog);
        QCOMPARE(shown.updateCheckIntervalMinutes, stored.updateCheckIntervalMinutes);
        QCOMPARE(shown.downloadRateLimitEnabled, stored.downloadRateLimitEnabled);
        QCOMPARE(shown.downloadRateLimitMBps, stored.downloadRateLimitMBps);
        QCOMPARE(shown.gameFolder, QDir::toNativeSeparators(stored.gameFolder));
        QCOMPARE(dialog.rateSpin->isEnabled(), stored.downloadRateLimitEnabled);
        QCOMPARE(dialog.intervalSpin->text(), QStringLiteral("%1 min").arg(stored.updateCheckIntervalMinutes));
        QCOMPARE(dialog.rateSpin->text(), QStringLiteral("%1 MB/s").arg(stored.downloadRateLimitMBps));
    }

    void languageWithoutCatalogueIsKept()
    {
        setLanguage(QStringLiteral("de"));
        SettingsDialog dialog;
        QCOMPARE(dialog.choice().language, QStringLiteral("de"));
    }

    void settingsRangesAndRules()
    {
        SettingsDialog dialog;
        dialog.show();
        for (auto [spin, low, high] : {std::tuple{dialog.intervalSpin, 1, 1440}, std::tuple{dialog.rateSpin, 1, 1024}}) {
            spin->setValue(low - 1);
            QCOMPARE(spin->value(), low);
            spin->setValue(high + 1);
            QCOMPARE(spin->value(), high);
        }
        // Switched off, the speed keeps its number for when the limit comes back.
        dialog.rateLimitCheck->setChecked(true);
        dialog.rateSpin->setValue(7);
        QTest::mouseClick(dialog.rateLimitCheck, Qt::LeftButton);
        QVERIFY(!dialog.rateSpin->isEnabled());
        QCOMPARE(dialog.choice().downloadRateLimitMBps, 7);
        QVERIFY(!dialog.choice().downloadRateLimitEnabled);
        QTest::mouseClick(dialog.rateLimitCheck, Qt::LeftButton);
        QVERIFY(dialog.rateSpin->isEnabled());
    }

    void browseReplacesTheFolder()
    {
        SettingsDialog dialog;
        dialog.open();
        QTest::mouseClick(dialog.browseButton, Qt::LeftButton);
        auto* chooser = dialog.findChild<QFileDialog*>(QStringLiteral("gameFolderChooser"));
        QVERIFY(chooser && chooser->isVisible());
        QCOMPARE(chooser->windowTitle(), QStringLiteral("Select game folder"));
        const QString chosen = m_launcher.filePath(QStringLiteral("locales"));
        chooser->selectFile(chosen);
        QMetaObject::invokeMethod(chooser, "accept");
        QCOMPARE(dialog.gameFolderEdit->text(), QDir::toNativeSeparators(chosen));
    }

    void proxyModeShowsManualFields()
    {
        ProxySettings initial;
        initial.mode = ProxyMode::ManualHttp;
        initial.host = QStringLiteral("proxy.example");
        initial.port = 3128;
        initial.user = QStringLiteral("player");
        initial.password = QStringLiteral("s3cret-pass");
        ProxyDialog dialog(initial);
        dialog.show();
        QVERIFY(dialog.manualGroup->isVisible());
        QCOMPARE(dialog.settings(), initial);
        QVERIFY(!dialog.passwordEdit->displayText().contains(QLatin1String("s3cret")));

        dialog.modeCombo->setCurrentIndex(dialog.modeCombo->findData(int(ProxyMode::Direct)));
        QVERIFY(!dialog.manualGroup->isVisible());
        ProxySettings direct = initial;
        direct.mode = ProxyMode::Direct;
        QCOMPARE(dialog.settings(), direct); // hidden, not cleared
        dialog.modeCombo->setCurrentIndex(dialog.modeCombo->findData(int(ProxyMode::System)));
        QVERIFY(!dialog.manualGroup->isVisible());
        dialog.modeCombo->setCurrentIndex(dialog.modeCombo->findData(int(ProxyMode::ManualHttp)));
        QVERIFY(dialog.manualGroup->isVisible());
        QCOMPARE(dialog.hostEdit->text(), initial.host);
    }

    void proxyDialogStoresAtOnce_data()
    {
        QTest::addColumn<bool>("accept");
        QTest::addColumn<bool>("sealable");
        QTest::newRow("accepted: stored, though the settings are cancelled") << true << true;
        QTest::newRow("cancelled: nothing stored") << false << true;
        QTest::newRow("password cannot be sealed: the stored settings stay") << true << false;
    }

    void proxyDialogStoresAtOnce()
    {
        QFETCH(bool, accept);
        QFETCH(bool, sealable);
        ProxySettings before;
        before.mode = ProxyMode::ManualHttp;
        before.host = QStringLiteral("old.example");
        before.user = QStringLiteral("old-user");
        before.password = QStringLiteral("old-password");
        QVERIFY(saveProxySettings(before));
        const QByteArray iniBefore = iniText();
        // A sealing key that cannot be created: its folder would have to live inside a file.
        const QString blocker = m_config.filePath(QStringLiteral("not-a-folder"));
        QVERIFY(writeFile(blocker));
        if (!sealable)
            qputenv("XDG_CONFIG_HOME", blocker.toUtf8());

        SettingsDialog settings;
        settings.open();
        QTest::mouseClick(settings.proxyButton, Qt::LeftButton);
        auto* proxy = settings.findChild<ProxyDialog*>();
        QVERIFY(proxy && proxy->isVisible());
        proxy->hostEdit->setText(QStringLiteral("  new.example "));
        proxy->portSpin->setValue(8118);
        proxy->passwordEdit->setText(QStringLiteral("new-password"));
        QTest::mouseClick(accept ? proxy->okButton : proxy->cancelButton, Qt::LeftButton);
        auto* message = settings.findChild<QDialog*>(QStringLiteral("launcherMessage"));
        QCOMPARE(message && message->isVisible(), !sealable);
        QTest::mouseClick(settings.cancelButton, Qt::LeftButton);
        qputenv("XDG_CONFIG_HOME", m_config.path().toUtf8());

        if (!accept || !sealable) {
            QCOMPARE(iniText(), iniBefore);
            QCOMPARE(loadProxySettings(), before);
            return;
        }
        ProxySettings after = before;
        after.host = QStringLiteral("new.example");
        after.port = 8118;
        after.password = QStringLiteral("new-password");
        QCOMPARE(loadProxySettings(), after);
        QVERIFY(!iniText().contains("new-password"));
    }

    void proxyDescriptionFollowsTheLanguage_data()
    {
        QTest::addColumn<QString>("language");
        QTest::addColumn<bool>("catalogue");
        QTest::addColumn<QString>("expected");
        const QString english = QStringLiteral("The proxy is used for updates, news, and server checks.");
        const QString russian = QStringLiteral("Прокси применяется к обновлениям, новостям и проверке сервера.");
        QTest::newRow("en without catalogue") << "en" << false << english;
        QTest::newRow("ru without catalogue") << "ru" << false << russian;
        QTest::newRow("en catalogue") << "en" << true << english;
    }

    void proxyDescriptionFollowsTheLanguage()
    {
        QFETCH(QString, language);
        QFETCH(bool, catalogue);
        QFETCH(QString, expected);
        QTemporaryDir empty;
        (void)loadCatalogues(language, catalogue ? launcherFilePath(QStringLiteral("locales")) : empty.path());
        ProxyDialog dialog{ProxySettings()};
        auto* description = dialog.findChild<QLabel*>(QStringLiteral("secondaryText"));
        QVERIFY(description);
        QCOMPARE(description->text(), expected);
    }

private:
    static bool writeFile(const QString& path)
    {
        QFile file(path);
        return file.open(QIODevice::WriteOnly) && file.write("x") == 1;
    }
};

QTEST_MAIN(TestDialogs)
#include "tst_dialogs.moc"
