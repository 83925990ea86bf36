#pragma once

#include <QByteArray>
#include <QSettings>
#include <QString>

namespace vorn {

// The folder that holds launcher.json, the key and locales, and, unless it is read-only,
// launcher.ini, logs and caches (config/writable_places.h): the executable's folder unless a
// test or tool points it elsewhere.
[[nodiscard]] QString launcherDirectory();
void setLauncherDirectory(const QString& directory);
[[nodiscard]] QString launcherFilePath(const QString& name);

// launcher.ini in the settings place (config/writable_places.h). Short-lived: each accessor opens, reads or writes
// one key, and flushes on write, so a crash never loses a change.
class LauncherIniSettings final : public QSettings
{
    Q_OBJECT
public:
    explicit LauncherIniSettings(QObject* parent = nullptr);
};

// Migrates the old General group and writes every missing default, in the table order.
void ensureSettingsDefaults();

[[nodiscard]] QString language();
void setLanguage(const QString& code);
[[nodiscard]] bool automaticUpdates();
void setAutomaticUpdates(bool enabled);
[[nodiscard]] bool updateNotificationsEnabled();
void setUpdateNotificationsEnabled(bool enabled);
[[nodiscard]] bool closeToTray();
void setCloseToTray(bool enabled);
[[nodiscard]] bool minimizeOnGameLaunch();
void setMinimizeOnGameLaunch(bool enabled);
[[nodiscard]] bool showLog();
void setShowLog(bool enabled);
[[nodiscard]] int updateCheckIntervalMinutes();
void setUpdateCheckIntervalMinutes(int minutes);
[[nodiscard]] bool downloadRateLimitEnabled();
void setDownloadRateLimitEnabled(bool enabled);
[[nodiscard]] int downloadRateLimitMBps();
void setDownloadRateLimitMBps(int megabytesPerSecond);
[[nodiscard]] bool useMirror();
void setUseMirror(bool enabled);
void setGameProfile(const QString& profileId);
[[nodiscard]] QString defaultGameRoot();
[[nodiscard]] QString gameRoot();
// A typed game folder as Game/Root holds it: absolute and clean; empty means the default.
[[nodiscard]] QString resolveGameRoot(const QString& text);
void setGameRoot(const QString& folder);
[[nodiscard]] QString installedVersion();
void setInstalledVersion(const QString& releaseId);
[[nodiscard]] QString lastNotifiedVersion();
void setLastNotifiedVersion(const QString& releaseId);

constexpr int kMinUpdateCheckIntervalMinutes = 1;
constexpr int kMaxUpdateCheckIntervalMinutes = 1440;
constexpr int kMinDownloadRateLimitMBps = 1;
constexpr int kMaxDownloadRateLimitMBps = 1024;

} // namespace vorn
