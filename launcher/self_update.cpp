#include "launcher/self_update.h"

#include "config/settings.h"
#include "engine/update_engine.h"
#include "launcher/mirror_selector.h"
#include "release/release_index_client.h"

#include <QFile>

namespace vorn {

QString localLauncherVersion()
{
    QFile file(launcherFilePath(QStringLiteral("self-version.txt")));
    if (!file.open(QIODevice::ReadOnly))
        return QString();
    return QString::fromUtf8(file.readAll()).trimmed();
}

LauncherSelfUpdate::LauncherSelfUpdate(ReleaseIndexClient* client, UpdateEngine* engine,
                                       MirrorSelector* mirrors, QObject* parent)
    : QObject(parent)
    , m_client(client)
    , m_engine(engine)
    , m_mirrors(mirrors)
{
    connect(m_client, &ReleaseIndexClient::manifestReady, this, &LauncherSelfUpdate::onManifestReady);
    connect(m_client, &ReleaseIndexClient::failed, this, &LauncherSelfUpdate::onCheckFailed);
    connect(m_client, &ReleaseIndexClient::statusChanged, this, [this](const QString& status) {
        if (!m_selfCheckSilent)
            emit statusChanged(translateLater("SelfUpdate/Checking", "Checking launcher update: %1").arg(status));
    });
}

void LauncherSelfUpdate::setBaseUrls(const QStringList& baseUrls)
{
    m_baseUrls = baseUrls;
    m_client->setServers(m_mirrors->orderedBaseUrls(baseUrls));
}

bool LauncherSelfUpdate::isEngineRunning() const
{
    return m_engine->isRunning();
}

bool LauncherSelfUpdate::isBusy() const
{
    return (m_selfChecking && !m_selfCheckSilent) || m_engine->isRunning();
}

void LauncherSelfUpdate::startSelfCheck(bool silent)
{
    if (m_selfChecking || m_engine->isRunning() || hasPendingRelease())
        return;
    if (m_baseUrls.isEmpty()) {
        finishStartup();
        return;
    }
    m_client->setServers(m_mirrors->orderedBaseUrls(m_baseUrls));
    m_selfChecking = true;
    m_selfCheckSilent = silent;
    emit changed();
    m_client->checkForUpdates();
}

bool LauncherSelfUpdate::tryStartSelfUpdate()
{
    // Staging a launcher release and starting the helper come with the helper's hand-over;
    // until then a found release only waits here.
    return false;
}

void LauncherSelfUpdate::onCheckFailed(const QString& message)
{
    m_selfChecking = false;
    m_selfCheckSilent = false;
    emit logLine(QStringLiteral("SELF-CHECK"), message);
    emit changed();
    finishStartup();
}

void LauncherSelfUpdate::onManifestReady(const Manifest& manifest, const QString& baseUrl)
{
    if (!m_startupChecksDone)
        m_mirrors->answeringServer(baseUrl, m_baseUrls);
    m_selfChecking = false;
    m_selfCheckSilent = false;
    if (manifest.releaseId != localLauncherVersion()) {
        m_pendingSelfRelease = manifest;
        m_pendingSelfBaseUrl = baseUrl;
        if (tryStartSelfUpdate()) {
            emit changed();
            return;
        }
    }
    emit changed();
    finishStartup();
}

void LauncherSelfUpdate::finishStartup()
{
    if (m_startupChecksDone)
        return;
    m_startupChecksDone = true;
    emit startupChecksFinished();
}

} // namespace vorn
