#pragma once

#include "ui/launcher_dialog.h"

class QLineEdit;
class QPushButton;

namespace vorn {

class StyledCheckBox;
class StyledComboBox;
class StyledSpinBox;

// What the settings dialog hands back when accepted.
struct LauncherSettingsChoice
{
    QString language;
    bool automaticUpdates = true;
    bool updateNotifications = true;
    bool closeToTray = true;
    bool minimizeOnGameLaunch = true;
    bool showLog = false;
    int updateCheckIntervalMinutes = 5;
    bool downloadRateLimitEnabled = false;
    int downloadRateLimitMBps = 10;
    QString gameFolder;
};

// The launcher's settings, filled from launcher.ini. It only collects: the window stores the
// choice when the dialog is accepted. The proxy settings are the exception; they are stored
// as soon as the proxy dialog is accepted.
class SettingsDialog final : public LauncherDialog
{
    Q_OBJECT
public:
    explicit SettingsDialog(QWidget* parent = nullptr);

    [[nodiscard]] LauncherSettingsChoice choice() const;

    StyledComboBox* languageCombo = nullptr;
    StyledSpinBox* intervalSpin = nullptr;
    QLineEdit* gameFolderEdit = nullptr;
    QPushButton* browseButton = nullptr;
    StyledCheckBox* autoUpdateCheck = nullptr;
    StyledCheckBox* notificationsCheck = nullptr;
    StyledCheckBox* closeToTrayCheck = nullptr;
    StyledCheckBox* minimizeOnLaunchCheck = nullptr;
    StyledCheckBox* showLogCheck = nullptr;
    StyledCheckBox* rateLimitCheck = nullptr;
    StyledSpinBox* rateSpin = nullptr;
    QPushButton* proxyButton = nullptr;
    QPushButton* okButton = nullptr;
    QPushButton* cancelButton = nullptr;

private:
    void browseForGameFolder();
    void openProxyDialog();
};

} // namespace vorn
