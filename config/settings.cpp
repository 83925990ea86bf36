#include "config/settings.h"

#include "config/writable_places.h"
#include "core/file_status.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QVariant>

#include <algorithm>
#include <utility>

namespace vorn {

namespace {

QString& directoryOverride()
{
    static QString directory;
    return directory;
}

const char* const kLanguage = "Launcher/Language";
const char* const kAutomaticUpdates = "Launcher/AutomaticUpdates";
const char* const kUpdateNotifications = "Launcher/UpdateNotificationsEnabled";
const char* const kCloseToTray = "Launcher/CloseToTray";
const char* const kMinimizeOnGameLaunch = "Launcher/MinimizeOnGameLaunch";
const char* const kShowLog = "Launcher/ShowLog";
const char* const kUpdateCheckInterval = "Launcher/UpdateCheckIntervalMinutes";
const char* const kRateLimitEnabled = "Launcher/DownloadRateLimitEnabled";
const char* const kRateLimitMBps = "Launcher/DownloadRateLimitMBps";
const char* const kUseMirror = "Launcher/UseMirror";
const char* const kGameProfile = "Game/Profile";
const char* const kGameRoot = "Game/Root";
const char* const kInstalledVersion = "Game/InstalledVersion";
const char* const kLastNotifiedVersion = "Notifications/LastVersion";

QVariant readValue(const char* key, const QVariant& fallback)
{
    LauncherIniSettings settings;
    return settings.value(QLatin1String(key), fallback);
}

// A stored number clamped to its range; text that is no number at all gives the default,
// not the smallest value (which for these keys would mean a check every minute or a crawl).
int readBoundedInt(const char* key, int fallback, int low, int high)
{
    bool ok = false;
    const qlonglong value = readValue(key, fallback).toLongLong(&ok);
    if (!ok)
        return fallback;
    return int(std::clamp<qlonglong>(value, low, high));
}

void writeValue(const char* key, const QVariant& value)
{
    LauncherIniSettings settings;
    settings.setValue(QLatin1String(key), value);
    settings.sync();
}

} // namespace

QString resolveGameRoot(const QString& text)
{
    QString folder = QDir::fromNativeSeparators(text.trimmed());
    folder.replace(QLatin1Char('\\'), QLatin1Char('/'));
    if (folder.isEmpty())
        folder = defaultGameRoot();
    return QDir::cleanPath(QFileInfo(folder).absoluteFilePath());
}

QString launcherDirectory()
{
    const QString& directory = directoryOverride();
    if (!directory.isEmpty())
        return directory;
    return QCoreApplication::applicationDirPath();
}

void setLauncherDirectory(const QString& directory)
{
    directoryOverride() = directory;
    resetWritablePlaces();
}

QString launcherFilePath(const QString& name)
{
    return QDir(launcherDirectory()).filePath(name);
}

namespace {

// launcher.ini as QSettings may open it (beside the program, or in the user's settings folder
// when the program's folder is read-only): QSettings reads a FIFO there (and the start waits
// forever), a link to a device without end, and writes through a link to wherever it points.
// Only a regular file is ours; anything else in its place is removed (a link only itself), and
// the settings start again from their defaults.
QString settingsFilePath()
{
    const QString path = placeFilePath(Place::Settings, QStringLiteral("launcher.ini"));
    const EntryKind kind = entryKind(path);
    if (kind == EntryKind::Link || kind == EntryKind::Other)
        (void)removeLinkOrSpecial(path);
    return path;
}

} // namespace

LauncherIniSettings::LauncherIniSettings(QObject* parent)
    : QSettings(settingsFilePath(), QSettings::IniFormat, parent)
{
    setIniCodec("UTF-8");
}

void ensureSettingsDefaults()
{
    LauncherIniSettings settings;

    // QSettings maps an INI section [General] to keys without a group, and a group named
    // "General" to the section [%General]; older launchers may have written either form.
    const char* const migrated[] = {"Language", "AutomaticUpdates", "CloseToTray",
                                    "MinimizeOnGameLaunch", "UpdateCheckIntervalMinutes"};
    for (const char* name : migrated) {
        const QString newKey = QLatin1String("Launcher/") + QLatin1String(name);
        if (settings.contains(newKey))
            continue;
        for (const QString& oldKey : {QLatin1String("General/") + QLatin1String(name),
                                      QString::fromLatin1(name)}) {
            if (settings.contains(oldKey)) {
                settings.setValue(newKey, settings.value(oldKey));
                break;
            }
        }
    }
    settings.remove(QStringLiteral("General"));
    const QStringList ungrouped = settings.childKeys();
    for (const QString& key : ungrouped)
        settings.remove(key);

    const std::pair<const char*, QVariant> defaults[] = {
        {kLanguage, QStringLiteral("ru")},
        {kAutomaticUpdates, true},
        {kUpdateNotifications, true},
        {kCloseToTray, true},
        {kMinimizeOnGameLaunch, true},
        {kShowLog, false},
        {kUpdateCheckInterval, 5},
        {kRateLimitEnabled, false},
        {kRateLimitMBps, 10},
        {kUseMirror, false},
        {kGameProfile, QStringLiteral("legacy")},
        {kGameRoot, QDir::toNativeSeparators(defaultGameRoot())},
        {kInstalledVersion, QString()},
        {kLastNotifiedVersion, QString()},
        {"Proxy/Mode", QStringLiteral("system")},
        {"Proxy/Enabled", false},
        {"Proxy/Host", QString()},
        {"Proxy/Port", 8080},
        {"Proxy/User", QString()},
        {"Proxy/PasswordProtected", QByteArray()},
    };
    for (const auto& [key, value] : defaults) {
        if (!settings.contains(QLatin1String(key)))
            settings.setValue(QLatin1String(key), value);
    }
    settings.sync();
}

QString language()
{
    const QString code = readValue(kLanguage, QStringLiteral("ru")).toString().trimmed().toLower();
    return code.isEmpty() ? QStringLiteral("ru") : code;
}

void setLanguage(const QString& code)
{
    writeValue(kLanguage, code.trimmed().toLower());
}

bool automaticUpdates() { return readValue(kAutomaticUpdates, true).toBool(); }
void setAutomaticUpdates(bool enabled) { writeValue(kAutomaticUpdates, enabled); }
bool updateNotificationsEnabled() { return readValue(kUpdateNotifications, true).toBool(); }
void setUpdateNotificationsEnabled(bool enabled) { writeValue(kUpdateNotifications, enabled); }
bool closeToTray() { return readValue(kCloseToTray, true).toBool(); }
void setCloseToTray(bool enabled) { writeValue(kCloseToTray, enabled); }
bool minimizeOnGameLaunch() { return readValue(kMinimizeOnGameLaunch, true).toBool(); }
void setMinimizeOnGameLaunch(bool enabled) { writeValue(kMinimizeOnGameLaunch, enabled); }
bool showLog() { return readValue(kShowLog, false).toBool(); }
void setShowLog(bool enabled) { writeValue(kShowLog, enabled); }

int updateCheckIntervalMinutes()
{
    return readBoundedInt(kUpdateCheckInterval, 5, kMinUpdateCheckIntervalMinutes,
                          kMaxUpdateCheckIntervalMinutes);
}

void setUpdateCheckIntervalMinutes(int minutes)
{
    writeValue(kUpdateCheckInterval, std::clamp(minutes, kMinUpdateCheckIntervalMinutes,
                                                kMaxUpdateCheckIntervalMinutes));
}

bool downloadRateLimitEnabled() { return readValue(kRateLimitEnabled, false).toBool(); }
void setDownloadRateLimitEnabled(bool enabled) { writeValue(kRateLimitEnabled, enabled); }

int downloadRateLimitMBps()
{
    return readBoundedInt(kRateLimitMBps, 10, kMinDownloadRateLimitMBps, kMaxDownloadRateLimitMBps);
}

void setDownloadRateLimitMBps(int megabytesPerSecond)
{
    writeValue(kRateLimitMBps, std::clamp(megabytesPerSecond, kMinDownloadRateLimitMBps,
                                          kMaxDownloadRateLimitMBps));
}

bool useMirror() { return readValue(kUseMirror, false).toBool(); }
void setUseMirror(bool enabled) { writeValue(kUseMirror, enabled); }

void setGameProfile(const QString& profileId) { writeValue(kGameProfile, profileId); }

QString defaultGameRoot()
{
    // A sibling of the launcher's folder; for a launcher installed read-only (a system package)
    // that sibling is no more writable than its own folder, so the user's data folder holds it.
    return QDir::cleanPath(QDir(writablePlaces().gameFolderBase).absoluteFilePath(QStringLiteral("Ostravel")));
}

QString gameRoot()
{
    return resolveGameRoot(readValue(kGameRoot, defaultGameRoot()).toString());
}

void setGameRoot(const QString& folder)
{
    writeValue(kGameRoot, QDir::toNativeSeparators(resolveGameRoot(folder)));
}

QString installedVersion() { return readValue(kInstalledVersion, QString()).toString(); }
void setInstalledVersion(const QString& releaseId) { writeValue(kInstalledVersion, releaseId.trimmed()); }
QString lastNotifiedVersion() { return readValue(kLastNotifiedVersion, QString()).toString(); }
void setLastNotifiedVersion(const QString& releaseId) { writeValue(kLastNotifiedVersion, releaseId.trimmed()); }

} // namespace vorn
