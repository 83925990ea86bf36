#include "release/release_index_client.h"

#include "config/localization.h"
#include "config/settings.h"
#include "core/file_status.h"
#include "core/pointer_history.h"
#include "core/release_signature.h"
#include "core/repository_layout.h"
#include "core/save_file.h"
#include "core/sha256.h"
#include "net/network_service.h"

#include <QDir>
#include <QUrl>

#include <utility>

namespace vorn {

namespace {

constexpr QLatin1String kCachedManifestName("manifest.json");
constexpr QLatin1String kCachedSignatureName("manifest.sig");

// The folders of the kept manifest that are ours: below the launcher's folder for the
// launcher's caches (cache/manifest/<channel>), else the two the cache folder itself names
// (manifest/<channel> below vorn-update's --cache-dir). None of them is followed as a link.
QString cacheOwnRoot(const QString& folder)
{
    const QString clean = QDir::cleanPath(QDir(folder).absolutePath());
    const QString launcher = QDir::cleanPath(QDir(launcherDirectory()).absolutePath());
    if (clean.startsWith(launcher + QLatin1Char('/')))
        return launcher;
    return QDir::cleanPath(clean + QStringLiteral("/../.."));
}

} // namespace

ReleaseIndexClient::ReleaseIndexClient(NetworkService* network, QObject* parent)
    : QObject(parent)
    , m_network(network)
    , m_retryTimer(this)
{
    m_retryTimer.setSingleShot(true);
    connect(&m_retryTimer, &QTimer::timeout, this, &ReleaseIndexClient::retry);
    qRegisterMetaType<vorn::Manifest>("vorn::Manifest");
}

void ReleaseIndexClient::setServers(const QStringList& servers)
{
    m_servers = servers;
}

void ReleaseIndexClient::setPublicKey(const QByteArray& publicKey)
{
    setPublicKeys({publicKey});
}

void ReleaseIndexClient::setPublicKeys(const QList<QByteArray>& publicKeys)
{
    m_publicKeys.clear();
    m_keyDigests.clear();
    for (const QByteArray& key : publicKeys) {
        if (key.isEmpty())
            continue;
        m_publicKeys.append(key);
        m_keyDigests.append(Sha256::hash(key));
    }
}

void ReleaseIndexClient::setSequenceStore(const QString& historyPath, const QString& installedManifestPath)
{
    m_historyPath = historyPath;
    m_installedManifestPath = installedManifestPath;
}

void ReleaseIndexClient::setCacheFolder(const QString& folder)
{
    m_cacheFolder = folder;
}

void ReleaseIndexClient::checkForUpdates()
{
    if (m_busy) {
        // The owner asks anew and waits for its own answer: the pass under way reports its
        // failure again, and one that only waits for its retry starts at once, with the
        // servers as they are now.
        m_failureReported = false;
        if (m_retryTimer.isActive()) {
            m_retryTimer.stop();
            retry();
        }
        return;
    }
    if (!m_network) {
        emit failed(translate("Updater/ServiceUnavailable", "Network service is unavailable"));
        return;
    }
    if (m_servers.isEmpty()) {
        emit failed(translate("Updater/NoServer", "No update server is configured"));
        return;
    }
    if (m_publicKeys.isEmpty()) {
        emit failed(translate("Updater/PublicKeyMissing", "Release public key is missing"));
        return;
    }
    m_busy = true;
    m_failureReported = false;
    m_triedServers.clear();
    m_refusedServers = 0;
    tryServer(0);
}

void ReleaseIndexClient::tryServer(int index)
{
    m_currentIndex = index;
    m_currentServer = (index >= 0 && index < m_servers.size()) ? m_servers.at(index) : QString();
    m_triedServers.insert(m_currentServer);
    m_channelJson.clear();
    m_channelSignature.clear();
    m_manifestBytes.clear();
    m_channel = ChannelPointer();
    m_pointerRetried = false;
    emit statusChanged(translate("Updater/CheckingServer", "Checking update server %1/%2...")
                           .arg(index + 1)
                           .arg(m_servers.size()));
    requestPair(ChannelStage);
}

void ReleaseIndexClient::requestPair(int firstStage)
{
    if (firstStage == ManifestStage && succeedFromCache())
        return;
    const int generation = ++m_pairGeneration;
    m_pairFirstStage = firstStage;
    for (int slot = 0; slot < 2; ++slot) {
        m_answers[slot] = Answer();
        const int stage = firstStage + slot;
        QString path;
        switch (stage) {
        case ChannelStage:
            path = QStringLiteral("channels/live.json");
            break;
        case ChannelSignatureStage:
            path = QStringLiteral("channels/live.sig");
            break;
        case ManifestStage:
            path = m_channel.manifestPath;
            break;
        default:
            path = manifestSignaturePath(m_channel.manifestPath);
            break;
        }
        const QUrl url = QUrl(m_currentServer).resolved(QUrl(path));
        const qint64 maxBytes = stage == ManifestStage ? kMaxResponseBytes : kMaxSmallDocumentBytes;
        NetworkReply* reply = m_network->get(url, kRequestTimeoutMs, maxBytes);
        connect(reply, &NetworkReply::finished, this,
                [this, reply, generation, slot] { pairAnswerArrived(reply, generation, slot); });
    }
}

void ReleaseIndexClient::pairAnswerArrived(NetworkReply* reply, int generation, int slot)
{
    Answer answer;
    answer.body = reply->body();
    answer.bodySha256 = reply->bodySha256();
    answer.statusCode = reply->statusCode();
    answer.errorText = reply->timedOut() ? translate("Updater/ConnectionTimeout", "connection timed out")
                                         : reply->errorString();
    answer.complete = reply->complete();
    answer.done = true;
    reply->deleteLater();
    if (generation != m_pairGeneration)
        return;
    m_answers[slot] = answer;
    if (!m_answers[0].done || !m_answers[1].done)
        return;
    // Copies: judging the first answer may already request the next pair.
    const Answer first = m_answers[0];
    const Answer second = m_answers[1];
    const int firstStage = m_pairFirstStage;
    if (handleAnswer(first, firstStage))
        (void)handleAnswer(second, firstStage + 1);
}

bool ReleaseIndexClient::handleAnswer(const Answer& answer, int stage)
{
    if (!answer.complete) {
        failServer(describeFailedRequest(answer.statusCode, answer.errorText));
        return false;
    }

    QString error;
    switch (stage) {
    case ChannelStage:
        m_channelJson = answer.body;
        return true;
    case ChannelSignatureStage:
        m_channelSignature = answer.body;
        if (!verifyReleaseSignature(m_publicKeys, m_channelJson, m_channelSignature, &m_pointerKey, &error)) {
            // The publisher replaces the pointer and its signature one after the other; read
            // between the two, the pair does not match. Read once more before moving on.
            if (!m_pointerRetried) {
                m_pointerRetried = true;
                requestPair(ChannelStage);
                return false;
            }
            failServer(error);
            return false;
        }
        if (!parseChannelPointer(m_channelJson, &m_channel, &error)) {
            failServer(error);
            return false;
        }
        if (!checkPointerFreshness(&error)) {
            ++m_refusedServers;
            failServer(error);
            return false;
        }
        emit statusChanged(translate("Updater/VersionFound", "Version %1 found").arg(m_channel.releaseId));
        requestPair(ManifestStage);
        return false;
    case ManifestStage:
        m_manifestBytes = answer.body;
        if (answer.bodySha256 != m_channel.manifestSha256) {
            failServer(translate("Updater/ManifestHashInvalid",
                                 "Manifest hash does not match the signed channel"));
            return false;
        }
        return true;
    case ManifestSignatureStage: {
        Manifest manifest;
        if (!checkManifest(m_manifestBytes, answer.body, &manifest, &error)) {
            failServer(error);
            return false;
        }
        storeInCache(m_manifestBytes, answer.body);
        succeed(manifest);
        return false;
    }
    default:
        return false;
    }
}

bool ReleaseIndexClient::checkManifest(const QByteArray& bytes, const QByteArray& signature,
                                       Manifest* manifest, QString* error) const
{
    if (!verifyReleaseSignature(m_publicKeys, bytes, signature, nullptr, error)
        || !parseManifest(bytes, manifest, error))
        return false;
    if (manifest->releaseId != m_channel.releaseId) {
        *error = translate("Updater/ReleaseMismatch", "Release ID mismatch");
        return false;
    }
    return true;
}

void ReleaseIndexClient::succeed(Manifest manifest)
{
    manifest.channelSequence = m_channel.sequence;
    rememberAcceptedPointer();
    m_busy = false;
    m_retryTimer.stop();
    emit manifestReady(manifest, m_currentServer);
}

// The manifest is named by its digest in the signed pointer, so a kept copy with that digest is
// the very document the server would send. Its signature is checked again all the same (the
// key may have changed since it was kept), and anything amiss sends the check to the server.
bool ReleaseIndexClient::succeedFromCache()
{
    if (m_cacheFolder.isEmpty())
        return false;
    QByteArray bytes;
    QByteArray signature;
    if (!readKeptManifest(m_cacheFolder, &bytes, &signature) || Sha256::hash(bytes) != m_channel.manifestSha256)
        return false;
    Manifest manifest;
    QString error;
    if (!checkManifest(bytes, signature, &manifest, &error))
        return false;
    succeed(manifest);
    return true;
}

// Each file is replaced whole; a pair torn by a crash between the two fails the signature
// check and is downloaded again.
void ReleaseIndexClient::storeInCache(const QByteArray& bytes, const QByteArray& signature) const
{
    if (!m_cacheFolder.isEmpty())
        (void)keepManifest(m_cacheFolder, bytes, signature);
}

bool ReleaseIndexClient::keepManifest(const QString& folder, const QByteArray& manifest,
                                      const QByteArray& signature)
{
    const QString root = cacheOwnRoot(folder);
    const QString rel = QDir(root).relativeFilePath(QDir(folder).absolutePath());
    return writeOwnFile(root, rel + QLatin1Char('/') + kCachedManifestName, manifest)
        && writeOwnFile(root, rel + QLatin1Char('/') + kCachedSignatureName, signature);
}

bool ReleaseIndexClient::readKeptManifest(const QString& folder, QByteArray* manifest, QByteArray* signature)
{
    return readRegularFile(QDir(folder).filePath(kCachedManifestName), kMaxResponseBytes, manifest)
        && readRegularFile(QDir(folder).filePath(kCachedSignatureName), kMaxSmallDocumentBytes, signature);
}

void ReleaseIndexClient::failServer(const QString& message)
{
    for (int j = 0; j < m_servers.size(); ++j) {
        if (!m_triedServers.contains(m_servers.at(j))) {
            emit statusChanged(translate("Updater/MirrorFallback",
                                         "Server unavailable, switching to a mirror..."));
            tryServer(j);
            return;
        }
    }
    if (!m_failureReported) {
        m_failureReported = true;
        emit failed(translate("Updater/CheckFailed", "Could not check for updates: %1").arg(message));
    }
    // Servers that answered with an old or expired pointer are not unavailable, and the
    // player needs the reason (a wrong clock, say) in view while the retries go on.
    if (m_refusedServers == m_triedServers.size())
        emit statusChanged(translate("Updater/CheckFailed", "Could not check for updates: %1").arg(message));
    else
        emit statusChanged(translate("Updater/MirrorRetry",
                                     "Both update servers are unavailable. Retrying..."));
    m_retryTimer.start(kRetryIntervalMs);
}

// A validly signed pointer can still be an old one replayed by a mirror or a network in
// between, or the same one served forever by a server that no longer follows the publisher.
bool ReleaseIndexClient::checkPointerFreshness(QString* error) const
{
    const SeenPointer seen = newerSeenPointer(
        readSeenPointer(m_historyPath, m_channel.channel, m_keyDigests),
        installedSeenPointer(m_installedManifestPath));
    const QDateTime now = QDateTime::currentDateTimeUtc();
    switch (judgeChannelPointer(m_channel, seen, now)) {
    case PointerVerdict::Accepted:
        return true;
    case PointerVerdict::Older:
        *error = translate("Updater/PointerOlder", "Release pointer is older than one already seen");
        return false;
    case PointerVerdict::Conflicting:
        *error = translate("Updater/PointerConflict",
                           "Release pointer differs from the one already seen with the same sequence");
        return false;
    case PointerVerdict::Expired: {
        const QString format = QStringLiteral("yyyy-MM-dd HH:mm 'UTC'");
        // Either the server is frozen or this computer's clock runs ahead: both times shown
        // let the player tell which.
        *error = translate("Updater/PointerExpired",
                           "Release pointer has expired: it was valid until %1, and this computer's "
                           "clock says %2. If that date is wrong, correct the clock; otherwise the "
                           "update server is out of date")
                     .arg(m_channel.expiresUtc.toString(format), now.toString(format));
        return false;
    }
    }
    return false;
}

void ReleaseIndexClient::rememberAcceptedPointer()
{
    if (m_historyPath.isEmpty() || m_channel.sequence <= 0 || m_pointerKey < 0 || m_pointerKey >= m_keyDigests.size())
        return;
    SeenPointer accepted;
    accepted.sequence = m_channel.sequence;
    accepted.releaseId = m_channel.releaseId;
    accepted.manifestSha256 = m_channel.manifestSha256;
    // Not being able to write only weakens the protection for later checks; this release was
    // verified in full and stays good.
    (void)rememberSeenPointer(m_historyPath, m_channel.channel, m_keyDigests.at(m_pointerKey), accepted);
}

void ReleaseIndexClient::retry()
{
    if (!m_busy)
        return;
    m_triedServers.clear();
    m_refusedServers = 0;
    tryServer(0);
}

} // namespace vorn
