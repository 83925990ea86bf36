#include "launcher/self_update.h"

#include "config/localization.h"
#include "config/settings.h"
#include "config/writable_places.h"
#include "core/file_status.h"
#include "core/paths.h"
#include "engine/file_ops.h"
#include "engine/update_engine.h"
#include "launcher/mirror_selector.h"
#include "launcher/program_names.h"
#include "release/release_index_client.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcess>

namespace vorn {

namespace {

constexpr int kNotificationMs = 10000;
constexpr int kIdleWatchMs = 1000;

const char kStagingFolder[] = "cache/self-update";
// The helper runs from a copy here: a program cannot replace its own file while it runs on
// Windows, and the helper is part of every launcher release. A dot keeps the name apart from
// any release id.
const char kHelperCopyFolder[] = "cache/self-update/.helper";
// The launcher engine keeps its objects apart from the game engine's: each engine empties
// its object cache after an install or an up-to-date check, and the two downloads may run
// at the same time.
const char kObjectCacheRoot[] = "cache/launcher";

// What the launcher folder holds for this installation alone.
bool isInstallationOwned(const QString& path)
{
    QString first = path.section(QLatin1Char('/'), 0, 0);
    // Windows ignores trailing dots and blanks in a name.
    while (first.endsWith(QLatin1Char('.')) || first.endsWith(QLatin1Char(' ')))
        first.chop(1);
    for (const char* owned : {"launcher.ini", "channel-sequence.json", "cache", "logs", ".vorn", ".self-update-backup"}) {
        if (first.compare(QLatin1String(owned), Qt::CaseInsensitive) == 0)
            return true;
    }
    return false;
}

} // namespace

QString localLauncherVersion()
{
    QFile file(launcherFilePath(QStringLiteral("self-version.txt")));
    if (!file.open(QIODevice::ReadOnly))
        return QString();
    return QString::fromUtf8(file.readAll()).trimmed();
}

QString launcherReleaseProblem(const Manifest& manifest)
{
    const QString& id = manifest.releaseId;
    if (normalizeRelativePath(id) != id || id.contains(QLatin1Char('/')) || id.startsWith(QLatin1Char('.')))
        return QStringLiteral("the release id is not a plain folder name");
    for (const ManifestFile& file : manifest.files) {
        if (isInstallationOwned(file.path))
            return QStringLiteral("%1 belongs to the installation, not to a release").arg(file.path);
    }
    return QString();
}

bool prepareSelfUpdateStaging(const QString& root, const QString& releaseId, QStringList* notes)
{
    // The staging folder is emptied, filled and the helper run from it, and the launcher's
    // objects are kept beside it: a link at any of these folders would take all of that to
    // wherever it points. Such a link is removed (only the link) and a real folder made in its
    // place; the cache is ours and anything in it can be fetched again.
    for (const QString& rel : {QString::fromLatin1(kStagingFolder), QString::fromLatin1(kObjectCacheRoot)}) {
        QString error;
        QStringList replaced;
        const bool made = ensureOwnFolder(root, rel, &error, &replaced);
        for (const QString& link : qAsConst(replaced))
            notes->append(QStringLiteral("%1 in the launcher folder was a link; the link was removed and a "
                                         "folder made in its place")
                              .arg(link));
        if (!made) {
            notes->append(error);
            return false;
        }
    }
    // Whatever an earlier run left here (a broken download, a helper that failed) is of no
    // further use; only the new release's own folder has to be empty.
    const QString staging = QString::fromLatin1(kStagingFolder);
    const QStringList leftovers = QDir(QDir(root).filePath(staging))
                                      .entryList(QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot);
    for (const QString& name : leftovers)
        (void)removeTree(root, staging + QLatin1Char('/') + name);
    const QString stageRel = staging + QLatin1Char('/') + releaseId;
    return removeTree(root, stageRel) && ensureOwnFolder(root, stageRel);
}

LauncherSelfUpdate::LauncherSelfUpdate(ReleaseIndexClient* client, UpdateEngine* engine,
                                       MirrorSelector* mirrors, QObject* parent)
    : QObject(parent)
    , m_client(client)
    , m_engine(engine)
    , m_mirrors(mirrors)
    , m_idleWatch(this)
{
    m_idleWatch.setInterval(kIdleWatchMs);
    connect(&m_idleWatch, &QTimer::timeout, this, [this] {
        if (!hasWaitingRelease()) {
            m_idleWatch.stop();
        } else if (!gameSideBusy()) {
            m_idleWatch.stop();
            tryStartSelfUpdate();
        }
    });
    connect(m_client, &ReleaseIndexClient::manifestReady, this, &LauncherSelfUpdate::onManifestReady);
    connect(m_client, &ReleaseIndexClient::failed, this, &LauncherSelfUpdate::onCheckFailed);
    connect(m_client, &ReleaseIndexClient::statusChanged, this, [this](const QString& status) {
        if (!m_selfCheckSilent)
            emit statusChanged(translateLater("SelfUpdate/Checking", "Checking launcher update: %1").arg(status));
    });
    connect(m_engine, &UpdateEngine::statusChanged, this, [this](const QString& status) {
        emit statusChanged(translateLater("SelfUpdate/Installing", "Updating launcher: %1").arg(status));
    });
    connect(m_engine, &UpdateEngine::progressChanged, this, &LauncherSelfUpdate::progressChanged);
    connect(m_engine, &UpdateEngine::ready, this, &LauncherSelfUpdate::onEngineReady);
    connect(m_engine, &UpdateEngine::failed, this, &LauncherSelfUpdate::onEngineFailed);
}

void LauncherSelfUpdate::setBaseUrls(const QStringList& baseUrls)
{
    m_baseUrls = baseUrls;
    m_client->setServers(m_mirrors->orderedBaseUrls(baseUrls));
    m_engine->setServers(baseUrls);
}

bool LauncherSelfUpdate::isEngineRunning() const
{
    return m_engine->isRunning();
}

bool LauncherSelfUpdate::isBusy() const
{
    // The download runs in the background: the player may play and check meanwhile, and the
    // hand-over waits for the game side to be idle.
    return m_selfChecking && !m_selfCheckSilent;
}

bool LauncherSelfUpdate::gameSideBusy() const
{
    return m_gameSideBusy && m_gameSideBusy();
}

void LauncherSelfUpdate::log(const QString& tag, const ShownText& message)
{
    emit logLine(tag, message.toString());
}

void LauncherSelfUpdate::startSelfCheck(bool silent)
{
    // A staged release is handed over, not looked for again.
    if (m_selfChecking || m_engine->isRunning() || hasWaitingRelease())
        return;
    // A launcher of a system package comes with the package's updates; replacing its files
    // would fight the package manager, which could not remove or verify them afterwards.
    if (installedByPackage()) {
        if (!m_packagedNoted) {
            m_packagedNoted = true;
            log(QStringLiteral("SELF-PACKAGED"),
                translateLater("SelfUpdate/Packaged",
                               "The launcher is updated with its system package and does not replace itself"));
        }
        finishStartup();
        return;
    }
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
    const QString releaseId = manifest.releaseId;
    // A release set aside stays aside for this run: downloading it again on every tick would
    // only hold the Play button each time and end the same way.
    if (releaseId != localLauncherVersion() && releaseId != m_setAsideVersion) {
        const QString problem = launcherReleaseProblem(manifest);
        if (!problem.isEmpty()) {
            m_setAsideVersion = releaseId;
            log(QStringLiteral("SELF-UPDATE"), translateLater("SelfUpdate/Refused", "Launcher release %1 is refused: %2")
                                                   .arg(releaseId)
                                                   .arg(problem));
        } else if (!QFileInfo(launcherFilePath(selfUpdaterProgramName())).isFile()) {
            // Nothing could install it, so it is not downloaded.
            m_setAsideVersion = releaseId;
            log(QStringLiteral("SELF-UPDATER-MISSING"),
                translateLater("SelfUpdate/HelperMissing", "Self-update helper is missing"));
        } else if (!writablePlaces().besideProgram) {
            // The helper could not copy a single file into a read-only folder either.
            m_setAsideVersion = releaseId;
            log(QStringLiteral("SELF-READ-ONLY"),
                translateLater("SelfUpdate/ReadOnly",
                               "Launcher update %1 is not installed: the launcher's folder is read-only")
                    .arg(releaseId));
        } else {
            m_pendingSelfRelease = manifest;
            m_pendingSelfBaseUrl = baseUrl;
            notify(releaseId, !gameSideBusy());
            if (tryStartSelfUpdate()) {
                emit changed();
                return;
            }
            log(QStringLiteral("SELF-DEFERRED"),
                translateLater("SelfUpdate/Deferred", "Launcher update %1 was deferred until current tasks finish")
                    .arg(releaseId));
            watchForIdle();
        }
    }
    emit changed();
    finishStartup();
}

void LauncherSelfUpdate::notify(const QString& releaseId, bool canStartNow)
{
    if (!updateNotificationsEnabled() || m_lastSelfNotified == releaseId || !m_trayPresent || !m_trayPresent())
        return;
    emit trayMessage(translate("Tray/LauncherUpdateTitle", "Launcher update %1 is available").arg(releaseId),
                     canStartNow ? translate("Tray/LauncherUpdateAuto", "Automatic launcher update is starting")
                                 : translate("Tray/LauncherUpdateDeferred",
                                             "The launcher update will be installed after current tasks finish"),
                     kNotificationMs);
    m_lastSelfNotified = releaseId;
}

void LauncherSelfUpdate::watchForIdle()
{
    // The game side reports its own ends; a game that exits does not, so it is looked for.
    if (!m_idleWatch.isActive())
        m_idleWatch.start();
}

bool LauncherSelfUpdate::tryStartSelfUpdate()
{
    if (m_quittingForSelfUpdate)
        return true;
    // Looking for the game reads the process list: only once nothing cheaper says no.
    if (!m_selfRestartPending) {
        if (!hasPendingRelease() || m_engine->isRunning() || gameSideBusy())
            return false;
        const Manifest manifest = m_pendingSelfRelease;
        const QString baseUrl = m_pendingSelfBaseUrl;
        m_pendingSelfRelease = Manifest();
        m_pendingSelfBaseUrl.clear();
        stageSelfUpdate(manifest, baseUrl);
        return true;
    }
    if (gameSideBusy())
        return false;
    m_selfRestartPending = false;
    startHelper();
    return true;
}

void LauncherSelfUpdate::stageSelfUpdate(const Manifest& manifest, const QString& baseUrl)
{
    m_stagedVersion = manifest.releaseId;
    m_stageDir = launcherFilePath(QLatin1String(kStagingFolder) + QLatin1Char('/') + m_stagedVersion);
    QStringList notes;
    const bool prepared = prepareSelfUpdateStaging(launcherDirectory(), m_stagedVersion, &notes);
    for (const QString& note : qAsConst(notes))
        emit logLine(QStringLiteral("SELF-STAGE-CLEAN"), note);
    if (!prepared) {
        log(QStringLiteral("SELF-STAGE-CLEAN"),
            translateLater("SelfUpdate/StageCleanFailed", "Could not prepare the launcher update staging directory"));
        finishStartupOrSettle();
        return;
    }
    log(QStringLiteral("SELF-UPDATE"),
        translateLater("SelfUpdate/Available", "Launcher update %1 is available").arg(m_stagedVersion));
    emit changed();
    m_engine->setCacheRoot(launcherFilePath(QLatin1String(kObjectCacheRoot)));
    m_engine->start(manifest, baseUrl, m_stageDir, false);
}

void LauncherSelfUpdate::onEngineFailed(const QString& message)
{
    emit logLine(QStringLiteral("SELF-UPDATE"), message);
    // A staging folder that did not complete is never handed to the helper.
    (void)removeTree(m_stageDir);
    finishStartupOrSettle();
}

void LauncherSelfUpdate::onEngineReady(const QString& releaseId)
{
    if (releaseId != m_stagedVersion) {
        onEngineFailed(QStringLiteral("The launcher download ended with release %1 instead of %2")
                           .arg(releaseId, m_stagedVersion));
        return;
    }
    m_selfRestartPending = true;
    emit changed();
    if (tryStartSelfUpdate())
        return;
    log(QStringLiteral("SELF-RESTART-DEFERRED"),
        translateLater("SelfUpdate/RestartDeferred",
                       "Launcher update is ready and restart was deferred until current tasks finish"));
    watchForIdle();
    finishStartupOrSettle();
}

void LauncherSelfUpdate::startHelper()
{
    const QString helper = launcherFilePath(selfUpdaterProgramName());
    if (!QFileInfo(helper).isFile()) {
        log(QStringLiteral("SELF-UPDATER-MISSING"),
            translateLater("SelfUpdate/HelperMissing", "Self-update helper is missing"));
        abandonStagedRelease(true);
        return;
    }
    const QString copy = launcherFilePath(QLatin1String(kHelperCopyFolder) + QLatin1Char('/') + selfUpdaterProgramName());
    QFile::remove(copy);
    const QString folder = launcherDirectory();
    const QStringList arguments{QStringLiteral("--wait-pid"), QString::number(QCoreApplication::applicationPid()),
                                QStringLiteral("--stage"), QDir::toNativeSeparators(m_stageDir),
                                QStringLiteral("--target"), QDir::toNativeSeparators(folder),
                                QStringLiteral("--version"), m_stagedVersion,
                                QStringLiteral("--launch"), launcherProgramName()};
    if (!QDir().mkpath(QFileInfo(copy).path()) || !QFile::copy(helper, copy)
        || !QProcess::startDetached(copy, arguments, folder)) {
        QFile::remove(copy);
        log(QStringLiteral("SELF-UPDATER-START"),
            translateLater("SelfUpdate/HelperStartFailed", "Could not start the self-update helper"));
        // What kept it from starting (a file held by a virus scanner, a full disk) may be gone
        // by the next check, which finds the release again and hands it over anew.
        abandonStagedRelease(false);
        return;
    }
    m_quittingForSelfUpdate = true;
    emit changed();
    emit quitRequested();
}

void LauncherSelfUpdate::abandonStagedRelease(bool setAside)
{
    // The launcher goes on with its installed version; the game must stay playable.
    if (setAside)
        m_setAsideVersion = m_stagedVersion;
    (void)removeTree(m_stageDir);
    emit changed();
    finishStartupOrSettle();
}

void LauncherSelfUpdate::finishStartupOrSettle()
{
    if (!m_startupChecksDone) {
        finishStartup();
        return;
    }
    emit changed();
    emit settled();
}

void LauncherSelfUpdate::finishStartup()
{
    if (m_startupChecksDone)
        return;
    m_startupChecksDone = true;
    emit startupChecksFinished();
}

} // namespace vorn
