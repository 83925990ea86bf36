#include "launcher/update_workflow.h"

#include "config/localization.h"
#include "config/settings.h"
#include "engine/update_engine.h"
#include "launcher/game_launcher.h"
#include "launcher/mirror_selector.h"
#include "launcher/self_update.h"
#include "release/release_index_client.h"

// What the player's buttons, menus and settings ask of the workflow; the course of a check
// and an update is in update_workflow.cpp.

namespace vorn {

void UpdateWorkflow::checkButtonClicked()
{
    if (m_updatePending) {
        if (!m_engine->isRunning() && m_pendingRelease.isComplete())
            startUpdate();
        return;
    }
    startGameCheck(true);
}

void UpdateWorkflow::pauseButtonClicked()
{
    if (!m_engine->isRunning() || m_engine->isApplying() || m_engine->isCancelRequested())
        return;
    m_engine->setPaused(!m_engine->isPaused());
}

void UpdateWorkflow::launchGame()
{
    if (m_updatePending && m_pendingRelease.isComplete()) {
        m_launchAfterUpdate = true;
        log(QStringLiteral("GAME-WAIT-UPDATE"),
            translateLater("Main/UpdateBeforeLaunch", "Installing update %1 before launching the game")
                .arg(m_pendingRelease.manifest.releaseId));
        startUpdate();
        return;
    }
    m_game->launchGame();
}

void UpdateWorkflow::chooseProfile(const QString& id)
{
    m_game->selectProfile(id);
    if (!m_engine->isRunning() && !m_checking && !m_updatePending && !installedVersion().isEmpty())
        showReadyStatus();
}

void UpdateWorkflow::toggleMirror(bool checked)
{
    const bool allowed = m_updateBaseUrls.size() > 1 && !m_checking && !m_self->isEngineRunning();
    switch (m_mirrors->toggle(checked, allowed)) {
    case MirrorSelector::Toggle::Unchanged:
        return;
    case MirrorSelector::Toggle::Refused:
        setStatus(translateLater("Main/MirrorSwitchBusy", "Wait for the current server check to finish"));
        return;
    case MirrorSelector::Toggle::Accepted:
        m_client->setServers(orderedServers());
        setStatus(translateLater("Main/MirrorSwitching", "Checking the selected update server..."));
        startGameCheck(false);
        return;
    }
}

void UpdateWorkflow::notificationClicked()
{
    if (m_self->hasWaitingRelease()) {
        m_self->tryStartSelfUpdate();
        return;
    }
    if (m_updatePending && !automaticUpdates())
        startUpdate();
}

bool UpdateWorkflow::changeGameFolder(const QString& folderText)
{
    // An empty entry keeps the current folder.
    const QString folder = folderText.trimmed().isEmpty() ? gameRoot() : resolveGameRoot(folderText);
    if (folder.compare(gameRoot(), Qt::CaseInsensitive) == 0)
        return true;
    if (m_engine->isRunning()) {
        emit messageRequested(translate("Settings/Title", "Launcher settings"),
                              translate("Settings/GameFolderBusy",
                                        "The game folder cannot be changed while an update is running"),
                              LauncherMessageKind::Warning);
        return false;
    }
    setGameRoot(folder);
    setInstalledVersion(QString());
    m_updatePending = true;
    m_game->refreshPlayButton();
    startGameCheck(true);
    emit changed();
    return true;
}

void UpdateWorkflow::settingsApplied()
{
    if (m_updatePending && automaticUpdates())
        startUpdate();
}

} // namespace vorn
