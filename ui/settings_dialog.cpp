#include "ui/settings_dialog.h"

#include "config/localization.h"
#include "config/settings.h"
#include "ui/dialog_form.h"
#include "ui/launcher_message.h"
#include "ui/proxy_dialog.h"
#include "ui/styled_check_box.h"
#include "ui/styled_combo_box.h"
#include "ui/styled_spin_box.h"

#include <QDir>
#include <QFileDialog>
#include <QFormLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>

namespace vorn {

namespace {

constexpr int kMinimumWidth = 620;

StyledCheckBox* switchBox(const QString& text, bool checked, QWidget* parent)
{
    auto* box = new StyledCheckBox(text, parent);
    box->setChecked(checked);
    return box;
}

} // namespace

SettingsDialog::SettingsDialog(QWidget* parent)
    : LauncherDialog(translate("Settings/Title", "Launcher settings"), parent)
{
    setMinimumWidth(kMinimumWidth);
    // The speed field is switched off with its check box; it has to look it.
    setStyleSheet(styleSheet() + QLatin1String("QSpinBox:disabled{color:#555d67;border-color:#242a32;}"));
    QVBoxLayout* body = bodyLayout();

    QFormLayout* form = dialogForm();
    languageCombo = new StyledComboBox(this);
    const QList<LanguageEntry> languages = availableLanguages(launcherFilePath(QStringLiteral("locales")));
    for (const LanguageEntry& entry : languages)
        languageCombo->addItem(entry.displayName, entry.code);
    // A language whose catalogue went missing stays listed: accepting the dialog must not
    // switch the language behind the user's back.
    const QString current = language();
    if (languageCombo->findData(current) < 0)
        languageCombo->addItem(current, current);
    languageCombo->setCurrentIndex(languageCombo->findData(current));
    form->addRow(translate("Settings/Language", "Language:"), languageCombo);

    intervalSpin = new StyledSpinBox(this);
    intervalSpin->setRange(kMinUpdateCheckIntervalMinutes, kMaxUpdateCheckIntervalMinutes);
    intervalSpin->setSuffix(QLatin1Char(' ') + translate("Settings/Minutes", "min"));
    intervalSpin->setValue(updateCheckIntervalMinutes());
    form->addRow(translate("Settings/CheckInterval", "Check interval:"), intervalSpin);

    auto* folderRow = new QHBoxLayout;
    folderRow->setSpacing(8);
    gameFolderEdit = new QLineEdit(QDir::toNativeSeparators(gameRoot()), this);
    gameFolderEdit->setToolTip(translate("Settings/GameFolderHint", "Full path to the folder containing the game files"));
    browseButton = new QPushButton(translate("Settings/Browse", "Browse..."), this);
    folderRow->addWidget(gameFolderEdit, 1);
    folderRow->addWidget(browseButton);
    form->addRow(translate("Settings/GameFolder", "Game folder:"), folderRow);
    body->addLayout(form);
    body->addSpacing(4);

    autoUpdateCheck = switchBox(translate("Settings/AutoUpdate", "Download updates automatically"),
                                automaticUpdates(), this);
    notificationsCheck = switchBox(translate("Settings/UpdateNotifications", "Show update notifications"),
                                   updateNotificationsEnabled(), this);
    closeToTrayCheck = switchBox(translate("Settings/CloseToTray", "Minimize to tray on close"), closeToTray(), this);
    minimizeOnLaunchCheck = switchBox(translate("Settings/MinimizeOnLaunch", "Minimize when the game starts"),
                                      minimizeOnGameLaunch(), this);
    showLogCheck = switchBox(translate("Settings/ShowLog", "Show update log"), showLog(), this);
    for (StyledCheckBox* box : {autoUpdateCheck, notificationsCheck, closeToTrayCheck, minimizeOnLaunchCheck, showLogCheck})
        body->addWidget(box);

    auto* rateRow = new QHBoxLayout;
    rateRow->setSpacing(12);
    rateLimitCheck = switchBox(translate("Settings/LimitDownloadRate", "Limit download speed"),
                               downloadRateLimitEnabled(), this);
    rateSpin = new StyledSpinBox(this);
    rateSpin->setRange(kMinDownloadRateLimitMBps, kMaxDownloadRateLimitMBps);
    rateSpin->setSuffix(QLatin1Char(' ') + translate("Settings/MegabytesPerSecond", "MB/s"));
    rateSpin->setValue(downloadRateLimitMBps());
    rateSpin->setMinimumWidth(120);
    // Off keeps the number: switching the limit on again brings back the last one.
    rateSpin->setEnabled(rateLimitCheck->isChecked());
    connect(rateLimitCheck, &QCheckBox::toggled, rateSpin, &QWidget::setEnabled);
    rateRow->addWidget(rateLimitCheck);
    rateRow->addWidget(rateSpin);
    rateRow->addStretch();
    body->addLayout(rateRow);

    auto* proxyRow = new QHBoxLayout;
    proxyButton = new QPushButton(translate("Settings/ProxyButton", "Proxy settings..."), this);
    proxyRow->addWidget(proxyButton);
    proxyRow->addStretch();
    body->addLayout(proxyRow);

    addDialogButtons(body, this, translate("Settings/Ok", "OK"), translate("Settings/Cancel", "Cancel"), &okButton,
                     &cancelButton);

    connect(browseButton, &QPushButton::clicked, this, &SettingsDialog::browseForGameFolder);
    connect(proxyButton, &QPushButton::clicked, this, &SettingsDialog::openProxyDialog);
}

LauncherSettingsChoice SettingsDialog::choice() const
{
    LauncherSettingsChoice choice;
    choice.language = languageCombo->currentData().toString();
    choice.automaticUpdates = autoUpdateCheck->isChecked();
    choice.updateNotifications = notificationsCheck->isChecked();
    choice.closeToTray = closeToTrayCheck->isChecked();
    choice.minimizeOnGameLaunch = minimizeOnLaunchCheck->isChecked();
    choice.showLog = showLogCheck->isChecked();
    choice.updateCheckIntervalMinutes = intervalSpin->value();
    choice.downloadRateLimitEnabled = rateLimitCheck->isChecked();
    choice.downloadRateLimitMBps = rateSpin->value();
    choice.gameFolder = gameFolderEdit->text();
    return choice;
}

void SettingsDialog::browseForGameFolder()
{
    auto* chooser = new QFileDialog(this, translate("Settings/SelectGameFolder", "Select game folder"),
                                    gameFolderEdit->text());
    chooser->setObjectName(QStringLiteral("gameFolderChooser"));
    chooser->setAttribute(Qt::WA_DeleteOnClose);
    chooser->setFileMode(QFileDialog::Directory);
    chooser->setOption(QFileDialog::ShowDirsOnly);
    connect(chooser, &QFileDialog::fileSelected, this, [this](const QString& folder) {
        if (!folder.isEmpty())
            gameFolderEdit->setText(QDir::toNativeSeparators(folder));
    });
    chooser->open();
}

void SettingsDialog::openProxyDialog()
{
    auto* dialog = new ProxyDialog(loadProxySettings(), this);
    dialog->setAttribute(Qt::WA_DeleteOnClose);
    connect(dialog, &QDialog::accepted, this, [this, dialog] {
        QString error;
        if (saveProxySettings(dialog->settings(), &error))
            return;
        openLauncherMessage(
            this, translate("Proxy/Title", "Proxy settings"),
            translate("Proxy/NotSaved", "The proxy settings were not saved: %1. The stored settings are unchanged.")
                .arg(error),
            LauncherMessageKind::Warning);
    });
    dialog->open();
}

} // namespace vorn
