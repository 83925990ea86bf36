#pragma once

#include "core/channel_pointer.h"
#include "core/manifest.h"

#include <QByteArray>
#include <QObject>
#include <QSet>
#include <QStringList>
#include <QTimer>

namespace vorn {

class NetworkReply;
class NetworkService;

// Finds the current release on an ordered list of update servers: signed channel pointer,
// then the signed manifest it names. Tries every server of a pass once, reports a failed
// pass once per check and retries the list until a server succeeds. A check asked for while
// it retries is answered too: the waiting pass starts at once and a failure is reported again.
class ReleaseIndexClient final : public QObject
{
    Q_OBJECT
public:
    static constexpr int kRequestTimeoutMs = 8000;
    static constexpr qint64 kMaxResponseBytes = 64 * 1024 * 1024;
    // The pointer and the signatures are a few hundred bytes. A small limit also gives them a
    // short overall deadline (the network derives it from the limit), so a server that
    // trickles them cannot hold the check for long.
    static constexpr qint64 kMaxSmallDocumentBytes = 64 * 1024;
    static constexpr int kRetryIntervalMs = 2500;

    explicit ReleaseIndexClient(NetworkService* network, QObject* parent = nullptr);

    void setServers(const QStringList& servers);
    void setPublicKey(const QByteArray& publicKey);
    // Every key the owner trusts (public-key.blob first); a signature by any of them counts.
    void setPublicKeys(const QList<QByteArray>& publicKeys);
    // Where the newest accepted pointer of this channel is remembered, so that an older one is
    // refused later (historyPath), and the installed manifest whose recorded sequence counts
    // as accepted too. Empty paths: nothing remembered, every validly signed pointer counts.
    void setSequenceStore(const QString& historyPath, const QString& installedManifestPath = QString());
    // Where the last verified manifest and its signature are kept (one pair per client), so
    // that a check finding the same release again downloads only the pointer. Empty: nothing
    // is kept.
    void setCacheFolder(const QString& folder);
    // The pair kept in folder: each file replaced whole, never written through a link or into a
    // linked folder of our own, and read only from regular files within the download limits.
    [[nodiscard]] static bool keepManifest(const QString& folder, const QByteArray& manifest,
                                           const QByteArray& signature);
    [[nodiscard]] static bool readKeptManifest(const QString& folder, QByteArray* manifest,
                                               QByteArray* signature);
    [[nodiscard]] QStringList servers() const { return m_servers; }
    [[nodiscard]] bool isBusy() const { return m_busy; }

public slots:
    void checkForUpdates();

signals:
    void statusChanged(const QString& status);
    void manifestReady(const vorn::Manifest& manifest, const QString& baseUrl);
    void failed(const QString& message);

private:
    enum Stage { ChannelStage = 0, ChannelSignatureStage, ManifestStage, ManifestSignatureStage };

    // What one request of a pair brought.
    struct Answer
    {
        QByteArray body;
        QByteArray bodySha256;
        int statusCode = 0;
        QString errorText;
        bool complete = false;
        bool done = false;
    };

    void tryServer(int index);
    // The pointer with its signature, or the manifest with its: both requests at once, so that
    // a check costs two round trips, not four. The answers are judged in order once both are in.
    void requestPair(int firstStage);
    void pairAnswerArrived(NetworkReply* reply, int generation, int slot);
    // False when the check of this server ends here (failed, retried or succeeded).
    [[nodiscard]] bool handleAnswer(const Answer& answer, int stage);
    void failServer(const QString& message);
    void retry();
    [[nodiscard]] bool checkPointerFreshness(QString* error) const;
    void rememberAcceptedPointer();
    [[nodiscard]] bool checkManifest(const QByteArray& bytes, const QByteArray& signature,
                                     Manifest* manifest, QString* error) const;
    void succeed(Manifest manifest);
    [[nodiscard]] bool succeedFromCache();
    void storeInCache(const QByteArray& bytes, const QByteArray& signature) const;

    NetworkService* m_network = nullptr;
    QTimer m_retryTimer;
    QStringList m_servers;
    QString m_currentServer;
    QSet<QString> m_triedServers;
    QList<QByteArray> m_publicKeys;
    QList<QByteArray> m_keyDigests;
    QString m_historyPath;
    QString m_installedManifestPath;
    int m_pointerKey = -1;
    int m_refusedServers = 0; // of this pass, for an old or expired pointer
    int m_currentIndex = -1;
    QByteArray m_channelJson;
    QByteArray m_channelSignature;
    QByteArray m_manifestBytes;
    Answer m_answers[2];
    int m_pairFirstStage = ChannelStage;
    int m_pairGeneration = 0; // answers of an earlier pair are dropped
    ChannelPointer m_channel;
    bool m_busy = false;
    bool m_failureReported = false;
    bool m_pointerRetried = false;
    QString m_cacheFolder;
};

} // namespace vorn
