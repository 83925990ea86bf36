#pragma once

#include "core/types.h"
#include "launcher/shown_text.h"
#include "ui/launcher_message.h"

#include <QObject>
#include <QVector>

namespace vorn {

// The launch profiles and the start of the selected game client. The Play decision while an
// update is pending is the update workflow's; this starts what is selected.
class GameLauncher final : public QObject
{
    Q_OBJECT
public:
    explicit GameLauncher(QObject* parent = nullptr);

    [[nodiscard]] static QVector<LaunchProfile> defaultLaunchProfiles();

    // The manifest's profiles, or the built-in two when it lists none. The selection goes back
    // to "legacy" (or the first profile) and is stored as the chosen profile.
    void applyLaunchProfiles(const QVector<LaunchProfile>& list);
    // The user's choice; unknown ids are ignored.
    void selectProfile(const QString& id);
    // Looks again whether the selected client file exists.
    void refreshPlayButton();
    // The status line for the selected client: ready, missing or not configured.
    [[nodiscard]] ShownText readyStatus() const;
    // Starts the selected client detached with its arguments and exactly one language switch,
    // last. Returns whether it started; failures are logged and shown.
    bool launchGame();

    [[nodiscard]] const QVector<LaunchProfile>& profiles() const { return m_profiles; }
    [[nodiscard]] QString selectedProfile() const { return m_selected; }
    [[nodiscard]] bool clientFound() const { return m_clientFound; }

signals:
    void logLine(const QString& tag, const QString& message);
    void messageRequested(const QString& title, const QString& text, vorn::LauncherMessageKind kind);
    // The client runs; the window may step aside.
    void launched();
    void changed();

private:
    [[nodiscard]] const LaunchProfile* selected() const;
    [[nodiscard]] QString clientPath(const LaunchProfile& profile) const;
    void fail(const char* key, const char* fallback, const QString& detail, LauncherMessageKind kind);

    QVector<LaunchProfile> m_profiles;
    QString m_selected;
    bool m_clientFound = false;
};

// The client's arguments: the profile's, without any language switch, then "/" + language.
[[nodiscard]] QStringList clientArguments(const QString& profileArguments, const QString& language);

} // namespace vorn
