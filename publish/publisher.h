#pragma once

#include "core/repository_layout.h"
#include "core/types.h"
#include "publish/release_keys.h"

#include <QByteArray>
#include <QDateTime>
#include <QList>
#include <QString>
#include <QStringList>
#include <QVector>

namespace vorn::publish {

// A channel pointer lasts this long unless the publisher says otherwise; a periodic refresh
// keeps it from expiring between releases.
constexpr int kDefaultPointerLifetimeDays = 30;
constexpr int kMaxPointerLifetimeDays = 3650;

constexpr int kDefaultCompressionLevel = 6;
constexpr int kMaxCompressionLevel = 12;

struct ReleaseOptions
{
    QString sourceDir;
    QString repoDir;
    QString privateKeyPath;
    QString releaseId;
    QString gameRoot = QStringLiteral("Ostravel");
    // AsGiven cuts with chunking; BySize chooses the settings from the release's size;
    // LikePrevious keeps those of the release the channel pointer names (by size without one).
    enum class ChunkSettings { AsGiven, BySize, LikePrevious };
    ChunkSettings chunkSettings = ChunkSettings::AsGiven;
    ChunkingOptions chunking;
    // 0 (stored) to 12; 10-12 are slow and make the smallest objects.
    int compressionLevel = kDefaultCompressionLevel;
    QVector<LaunchProfile> launchProfiles;
    // Files matching one of these become user-owned ("preserve" policy).
    QStringList preserveGlobs;
    // Carried verbatim as the manifest's top-level "preserve" list.
    QStringList keepList;
    // Clients refuse the channel pointer this many days after it was signed.
    int expiresInDays = kDefaultPointerLifetimeDays;
    // Public key files whose signature on the current pointer is accepted besides the signing
    // key's own: the previous key, while signing moves to a new one.
    QStringList trustedKeyPaths;
};

struct ReleaseSummary
{
    int files = 0;
    qint64 sourceBytes = 0;
    qint64 chunks = 0;
    qint64 objectsNew = 0;
    qint64 objectsReused = 0;
    qint64 bytesStoredNew = 0;
    qint64 elapsedMs = 0;
    QString manifestPath;
    qint64 manifestBytes = 0;
    // The settings the release was cut with; for BySize whether they keep the manifest under
    // its budget (the largest step is taken when nothing does).
    ChunkingOptions chunking;
    bool manifestBudgetMet = true;
    // The release the pointer named before this one, if any, and its settings: objects are
    // only reused between releases cut alike.
    QString previousReleaseId;
    ChunkingOptions previousChunking;
    [[nodiscard]] bool chunkingChanged() const
    {
        return !previousReleaseId.isEmpty() && previousChunking != chunking;
    }
};

// Cuts, compresses and stores the source tree as a signed release in a static repository
// folder, reusing every object already there. The channel pointer is replaced last, so a
// client never sees a pointer to a release whose files are not all in place.
[[nodiscard]] bool publishRelease(const ReleaseOptions& options, ReleaseSummary* summary,
                                  QString* error);

struct PointerOptions
{
    QString repoDir;
    QString privateKeyPath;
    int expiresInDays = kDefaultPointerLifetimeDays;
    QStringList trustedKeyPaths;
};

struct RefreshSummary
{
    QString releaseId;
    qint64 sequence = 0;
    QDateTime expiresUtc;
    // The live manifest's signature was by another key and is now by the signing key.
    bool manifestResigned = false;
};

// Signs the live pointer again with the next sequence and a new expiry, naming the same
// release, so clients keep accepting it between releases. The current pointer must verify
// under the signing key or a trusted one: a pointer someone else placed is never re-signed.
[[nodiscard]] bool refreshChannelPointer(const PointerOptions& options, RefreshSummary* summary,
                                         QString* error);

struct VerifyReport
{
    QString releaseId;
    qint64 sequence = 0;   // of the live pointer; 0: it has none
    QDateTime expiresUtc;  // invalid: it never expires
    int files = 0;
    qint64 objects = 0;
    QStringList problems;
};

// Checks pointer, manifest and every object of a release. releaseId empty: the pointer's.
// Returns false when the release could not be checked at all or any problem was found.
// A signature by any of publicKeyBlobs counts, as in the launcher. An expired pointer is a
// problem.
[[nodiscard]] bool verifyRelease(const QString& repoDir, const QList<QByteArray>& publicKeyBlobs,
                                 const QString& releaseId, VerifyReport* report, QString* error);

struct PruneSummary
{
    QStringList keptReleases;
    QStringList deletedReleases;
    qint64 objectsDeleted = 0;
    qint64 bytesFreed = 0;
};

// Keeps the newest keep manifests (always the one the pointer names) and deletes the rest and
// every object no kept manifest references.
[[nodiscard]] bool pruneRepository(const QString& repoDir, int keep, PruneSummary* summary,
                                   QString* error);

// release-private.pem and public-key.blob in outDir; refuses to replace either.
[[nodiscard]] bool generateKeyFiles(const QString& outDir, int bits, QString* error);

[[nodiscard]] bool isUsableReleaseId(const QString& releaseId);

// The detached signature of data under key, in the form the launcher checks.
[[nodiscard]] bool signBytes(const ReleaseKey& key, const QByteArray& data, QByteArray* signature,
                             QString* error);

// channels/live.json as the publisher writes it.
// sequence 0 and an invalid expiry leave those keys out, as older publishers wrote it.
[[nodiscard]] QByteArray channelPointerJson(const QString& releaseId, const QString& manifestPath,
                                            const QByteArray& manifestSha256, qint64 sequence = 0,
                                            const QDateTime& expiresUtc = QDateTime());

} // namespace vorn::publish
