#include "launcher/game_launcher.h"

#include "config/localization.h"
#include "config/settings.h"
#include "launcher/client_command.h"

#include <QDir>
#include <QFileInfo>
#include <QProcess>

namespace vorn {

namespace {

const char kLegacy[] = "legacy";

} // namespace

QStringList clientArguments(const QString& profileArguments, const QString& language)
{
    QStringList arguments = QProcess::splitCommand(profileArguments);
    arguments.removeAll(QStringLiteral("/ru"));
    arguments.removeAll(QStringLiteral("/en"));
    arguments.append(QLatin1Char('/') + language);
    return arguments;
}

GameLauncher::GameLauncher(QObject* parent)
    : QObject(parent)
{
}

QVector<LaunchProfile> GameLauncher::defaultLaunchProfiles()
{
    return {{QStringLiteral("legacy"), QStringLiteral("Legacy"), QStringLiteral("SystemLegacy/vorn.exe"), QString()},
            {QStringLiteral("modern"), QStringLiteral("Modern"), QStringLiteral("System/vorn.exe"), QString()}};
}

void GameLauncher::applyLaunchProfiles(const QVector<LaunchProfile>& list)
{
    setGameProfile(QLatin1String(kLegacy));
    m_profiles = list.isEmpty() ? defaultLaunchProfiles() : list;
    m_selected = m_profiles.isEmpty() ? QString() : m_profiles.first().id;
    for (const LaunchProfile& profile : qAsConst(m_profiles)) {
        if (profile.id == QLatin1String(kLegacy)) {
            m_selected = profile.id;
            break;
        }
    }
    refreshPlayButton();
}

void GameLauncher::selectProfile(const QString& id)
{
    for (const LaunchProfile& profile : qAsConst(m_profiles)) {
        if (profile.id != id)
            continue;
        m_selected = id;
        setGameProfile(id);
        refreshPlayButton();
        return;
    }
}

const LaunchProfile* GameLauncher::selected() const
{
    for (const LaunchProfile& profile : m_profiles) {
        if (profile.id == m_selected)
            return &profile;
    }
    return nullptr;
}

QString GameLauncher::clientPath(const LaunchProfile& profile) const
{
    return QDir(gameRoot()).filePath(profile.executable);
}

void GameLauncher::refreshPlayButton()
{
    const LaunchProfile* profile = selected();
    m_clientFound = profile && !profile->executable.isEmpty()
                    && QFileInfo(clientPath(*profile)).isFile();
    emit changed();
}

ShownText GameLauncher::readyStatus() const
{
    const LaunchProfile* profile = selected();
    if (!profile)
        return translateLater("Main/ClientExecutableNotConfigured",
                              "The selected client executable is not configured");
    if (!profile->executable.isEmpty() && QFileInfo(clientPath(*profile)).isFile())
        return translateLater("Main/Ready", "The game is ready");
    return translateLater("Main/ClientExecutableMissing", "Selected client file is missing: %1")
        .arg(QDir::toNativeSeparators(profile->executable));
}

void GameLauncher::fail(const char* key, const char* fallback, const QString& detail,
                        LauncherMessageKind kind)
{
    QString text = translate(key, fallback);
    if (!detail.isEmpty())
        text = text.arg(detail);
    emit logLine(kind == LauncherMessageKind::Warning ? QStringLiteral("GAME-NOT-FOUND")
                                                      : QStringLiteral("GAME-LAUNCH"),
                 text);
    emit messageRequested(translate("Main/LaunchTitle", "Game launch"), text, kind);
}

bool GameLauncher::launchGame()
{
    const LaunchProfile* profile = selected();
    if (!profile)
        return false;
    const QString program = clientPath(*profile);
    if (profile->executable.isEmpty() || !QFileInfo(program).isFile()) {
        fail("Main/FileMissing", "File not found: %1", QDir::toNativeSeparators(program),
             LauncherMessageKind::Warning);
        return false;
    }

    ClientCommandError commandError = ClientCommandError::None;
    const ClientCommand command =
        clientCommand(program, clientArguments(profile->arguments, language()), &commandError);
    if (commandError == ClientCommandError::WineMissing) {
        emit logLine(QStringLiteral("GAME-LAUNCH"),
                     translate("Main/WineMissing",
                               "%1 is a Windows program and Wine is not installed to run it")
                         .arg(QDir::toNativeSeparators(program)));
    }
    const QString workingDirectory = QFileInfo(program).absolutePath();
    if (commandError != ClientCommandError::None
        || !QProcess::startDetached(command.program, command.arguments, workingDirectory)) {
        fail("Main/LaunchFailed", "Unable to start the selected client", QString(),
             LauncherMessageKind::Error);
        return false;
    }
    setGameProfile(profile->id);
    emit launched();
    return true;
}

} // namespace vorn
