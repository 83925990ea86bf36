#include "publish/publisher.h"

#include "core/channel_pointer.h"
#include "core/chunker.h"
#include "core/manifest.h"
#include "core/object_format.h"
#include "core/paths.h"
#include "core/release_signature.h"
#include "core/save_file.h"
#include "core/sha256.h"
#include "publish/chunk_choice.h"
#include "publish/follow_previous.h"
#include "publish/release_keys.h"

#include <QDateTime>
#include <QDir>
#include <QDirIterator>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QHash>
#include <QJsonDocument>
#include <QJsonObject>
#include <QMutex>
#include <QRegularExpression>
#include <QSaveFile>
#include <QSet>
#include <QtConcurrent>
#include <QtEndian>
#include <libdeflate.h>

#include <algorithm>
#include <atomic>
#include <numeric>

namespace vorn::publish {

namespace {

void setError(QString* error, const QString& text)
{
    if (error)
        *error = text;
}

QString fromStd(const std::string& text)
{
    return QString::fromStdString(text);
}

bool readWholeFile(const QString& path, QByteArray* bytes, QString* error)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        setError(error, QStringLiteral("Cannot read %1: %2").arg(path, file.errorString()));
        return false;
    }
    *bytes = file.readAll();
    if (file.error() != QFileDevice::NoError) {
        setError(error, QStringLiteral("Cannot read %1: %2").arg(path, file.errorString()));
        return false;
    }
    return true;
}

struct SourceFile
{
    QString relativePath;
    QString absolutePath;
    qint64 size = 0;
    bool preserve = false;
    bool executable = false;
};

bool matchesAnyGlob(const QString& relativePath, const QVector<QRegularExpression>& globs)
{
    const QString name = relativePath.section(QLatin1Char('/'), -1);
    for (const QRegularExpression& glob : globs) {
        if (glob.match(relativePath).hasMatch() || glob.match(name).hasMatch())
            return true;
    }
    return false;
}

bool collectSourceFiles(const ReleaseOptions& options, QVector<SourceFile>* files, QString* error)
{
    const QDir source(QFileInfo(options.sourceDir).absoluteFilePath());
    if (!QFileInfo(options.sourceDir).isDir()) {
        setError(error, QStringLiteral("Source folder does not exist: %1").arg(options.sourceDir));
        return false;
    }
    QVector<QRegularExpression> globs;
    for (const QString& glob : options.preserveGlobs) {
        globs.append(QRegularExpression(QRegularExpression::wildcardToRegularExpression(glob),
                                        QRegularExpression::CaseInsensitiveOption));
    }

    QHash<QString, QString> seen;
    QDirIterator it(source.path(),
                    QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot,
                    QDirIterator::Subdirectories);
    while (it.hasNext()) {
        it.next();
        const QFileInfo info = it.fileInfo();
        const QString relative = source.relativeFilePath(info.absoluteFilePath());
        if (info.isSymLink()) {
            setError(error, QStringLiteral("Symbolic links cannot be published: %1").arg(relative));
            return false;
        }
        if (info.isDir())
            continue;
        if (!info.isFile()) {
            setError(error, QStringLiteral("Only regular files can be published: %1").arg(relative));
            return false;
        }
        const QString normalized = normalizeRelativePath(relative);
        if (normalized.isEmpty() || normalized != relative) {
            setError(error, QStringLiteral("File name cannot be published: %1").arg(relative));
            return false;
        }
        if (normalized.section(QLatin1Char('/'), 0, 0).compare(QLatin1String(".vorn"),
                                                               Qt::CaseInsensitive) == 0) {
            setError(error, QStringLiteral("The source folder holds the launcher's own state "
                                           "folder .vorn: %1").arg(relative));
            return false;
        }
        const QString key = pathKey(normalized);
        if (seen.contains(key)) {
            setError(error, QStringLiteral("File names differ only in letter case: %1 and %2")
                                .arg(seen.value(key), normalized));
            return false;
        }
        seen.insert(key, normalized);
        files->append({normalized, info.absoluteFilePath(), info.size(),
                       matchesAnyGlob(normalized, globs), info.permission(QFile::ExeUser)});
    }
    std::sort(files->begin(), files->end(), [](const SourceFile& a, const SourceFile& b) {
        return a.relativePath < b.relativePath;
    });
    return true;
}

// One unit of parallel work: either one chunk (cut, compressed, stored) or a whole-file digest.
struct Job
{
    int fileIndex = 0;
    int chunkIndex = -1; // -1: the file's digest
    CutChunk cut;        // its digest is taken while cutting when the cut followed the live release
};

class ObjectStore final
{
public:
    explicit ObjectStore(QString repoDir)
        : m_repoDir(std::move(repoDir))
    {
    }

    // Stores the object unless the repository already has it. Thread-safe.
    bool store(const QByteArray& blobSha256, const QByteArray& blob, QString* error)
    {
        {
            QMutexLocker lock(&m_mutex);
            if (m_claimed.contains(blobSha256))
                return true;
            m_claimed.insert(blobSha256);
        }
        if (holdsIntact(blobSha256, blob.size())) {
            m_reused.fetch_add(1);
            return true;
        }
        const QString path = QDir(m_repoDir).filePath(objectRelativePath(blobSha256));
        if (!writeFileAtomically(path, blob, error))
            return false;
        {
            QMutexLocker lock(&m_mutex);
            m_checked.insert(blobSha256, true);
        }
        m_new.fetch_add(1);
        m_newBytes.fetch_add(blob.size());
        return true;
    }

    // Chunks of earlier releases: their objects are reused without compressing again.
    void addKnownChunk(const ManifestChunk& chunk) { m_known.insert(chunk.sha256, chunk); }

    bool reuseKnown(const QByteArray& plainSha256, qint64 plainSize, ManifestChunk* chunk)
    {
        const auto it = m_known.constFind(plainSha256);
        if (it == m_known.constEnd() || it->size != plainSize)
            return false;
        if (!holdsIntact(it->blobSha256, it->blobSize))
            return false;
        chunk->blobSha256 = it->blobSha256;
        chunk->blobSize = it->blobSize;
        QMutexLocker lock(&m_mutex);
        if (!m_claimed.contains(it->blobSha256)) {
            m_claimed.insert(it->blobSha256);
            m_reused.fetch_add(1);
        }
        return true;
    }

    // Whether the repository already holds the object, whole and undamaged. Its digest is
    // checked once per run: a damaged object of the right size would otherwise be published
    // again, and every client would fail it three times.
    bool holdsIntact(const QByteArray& blobSha256, qint64 blobSize)
    {
        {
            QMutexLocker lock(&m_mutex);
            const auto it = m_checked.constFind(blobSha256);
            if (it != m_checked.constEnd())
                return it.value();
        }
        QFile file(QDir(m_repoDir).filePath(objectRelativePath(blobSha256)));
        const bool intact = file.open(QIODevice::ReadOnly) && file.size() == blobSize
                            && sha256OfDevice(&file) == blobSha256;
        QMutexLocker lock(&m_mutex);
        m_checked.insert(blobSha256, intact);
        return intact;
    }

    qint64 newObjects() const { return m_new.load(); }
    qint64 reusedObjects() const { return m_reused.load(); }
    qint64 newBytes() const { return m_newBytes.load(); }

private:
    QString m_repoDir;
    QHash<QByteArray, ManifestChunk> m_known; // filled before the parallel part, then read-only
    QMutex m_mutex;
    QSet<QByteArray> m_claimed;
    QHash<QByteArray, bool> m_checked;
    std::atomic<qint64> m_new{0};
    std::atomic<qint64> m_reused{0};
    std::atomic<qint64> m_newBytes{0};
};

bool readRange(QFile& file, const ChunkRange& range, QByteArray* bytes, QString* error)
{
    if (!file.seek(range.offset)) {
        setError(error, QStringLiteral("Cannot seek in %1: %2").arg(file.fileName(), file.errorString()));
        return false;
    }
    *bytes = file.read(range.size);
    if (bytes->size() != range.size) {
        setError(error, QStringLiteral("%1 changed while it was published").arg(file.fileName()));
        return false;
    }
    return true;
}

// One compressor per thread and level: they are not for concurrent use, and one takes a while
// to set up.
struct Compressor
{
    int level = -1;
    libdeflate_compressor* compressor = nullptr;
    ~Compressor()
    {
        if (compressor)
            libdeflate_free_compressor(compressor);
    }
};

// The object format is the one qCompress writes, a 4-byte big-endian length and a zlib stream.
// libdeflate writes a smaller stream about three times as fast, ending a deflate block where
// the data changes character, as it does often inside game packs. Empty on failure.
QByteArray compressObject(const QByteArray& plain, int level)
{
    thread_local Compressor slot;
    if (!slot.compressor || slot.level != level) {
        if (slot.compressor)
            libdeflate_free_compressor(slot.compressor);
        slot.compressor = libdeflate_alloc_compressor(level);
        slot.level = level;
        if (!slot.compressor)
            return {};
    }
    const size_t bound = libdeflate_zlib_compress_bound(slot.compressor, size_t(plain.size()));
    QByteArray blob(int(4 + bound), Qt::Uninitialized);
    qToBigEndian(quint32(plain.size()), blob.data());
    const size_t written = libdeflate_zlib_compress(slot.compressor, plain.constData(), size_t(plain.size()),
                                                    blob.data() + 4, bound);
    if (written == 0)
        return {};
    blob.truncate(int(4 + written));
    return blob;
}

bool runJob(const Job& job, const QVector<SourceFile>& sources, QVector<ManifestFile>& files,
            int level, ObjectStore& store, QString* error)
{
    const SourceFile& source = sources.at(job.fileIndex);
    QFile file(source.absolutePath);
    const auto open = [&] {
        if (file.open(QIODevice::ReadOnly))
            return true;
        setError(error, QStringLiteral("Cannot read %1: %2").arg(source.relativePath, file.errorString()));
        return false;
    };
    ManifestFile& target = files[job.fileIndex];
    if (job.chunkIndex < 0) {
        if (!open())
            return false;
        QString failure;
        const QByteArray digest = sha256OfRange(&file, 0, source.size, &failure);
        if (digest.size() != 32) {
            setError(error, QStringLiteral("Cannot hash %1: %2").arg(source.relativePath, failure));
            return false;
        }
        target.sha256 = digest;
        return true;
    }
    ManifestChunk& chunk = target.chunks[job.chunkIndex];
    chunk.offset = job.cut.range.offset;
    chunk.size = job.cut.range.size;
    const bool digestKnown = !job.cut.sha256.isEmpty();
    // A chunk whose digest is known already needs no read at all.
    if (digestKnown && store.reuseKnown(job.cut.sha256, chunk.size, &chunk)) {
        chunk.sha256 = job.cut.sha256;
        return true;
    }
    QByteArray plain;
    if (!open() || !readRange(file, job.cut.range, &plain, error))
        return false;
    chunk.sha256 = Sha256::hash(plain);
    if (digestKnown) {
        if (chunk.sha256 != job.cut.sha256) {
            setError(error, QStringLiteral("%1 changed while it was published").arg(source.relativePath));
            return false;
        }
    } else if (store.reuseKnown(chunk.sha256, chunk.size, &chunk)) {
        return true;
    }
    const QByteArray blob = compressObject(plain, level);
    if (blob.isEmpty()) {
        setError(error, QStringLiteral("Cannot compress a chunk of %1").arg(source.relativePath));
        return false;
    }
    if (blob.size() > kMaxObjectBytes) {
        setError(error, QStringLiteral("A chunk of %1 compresses to %2 bytes, above the launcher's "
                                       "limit of %3; lower --max or --whole-file-threshold")
                            .arg(source.relativePath)
                            .arg(blob.size())
                            .arg(kMaxObjectBytes));
        return false;
    }
    chunk.blobSha256 = Sha256::hash(blob);
    chunk.blobSize = blob.size();
    return store.store(chunk.blobSha256, blob, error);
}

// Replaces live.json and live.sig as a pair. Both are written in full before either takes its
// name, so the two renames follow each other at once; should the second fail, the first is put
// back, so that the pair on the server always matches. A client that reads the pair across the
// two renames reads it again.
bool switchChannelPointer(const QDir& repo, const QByteArray& pointer, const QByteArray& signature,
                          QString* error)
{
    const QString pointerPath = repo.filePath(QStringLiteral("channels/live.json"));
    const QString signaturePath = repo.filePath(QStringLiteral("channels/live.sig"));
    if (!QDir().mkpath(QFileInfo(pointerPath).absolutePath())) {
        setError(error, QStringLiteral("Cannot create folder %1").arg(QFileInfo(pointerPath).absolutePath()));
        return false;
    }
    QByteArray oldSignature;
    const bool hadSignature = QFileInfo(signaturePath).isFile()
                              && readWholeFile(signaturePath, &oldSignature, nullptr);

    QSaveFile newSignature(signaturePath);
    QSaveFile newPointer(pointerPath);
    for (QSaveFile* file : {&newSignature, &newPointer}) {
        const QByteArray& bytes = file == &newPointer ? pointer : signature;
        if (!file->open(QIODevice::WriteOnly) || file->write(bytes) != bytes.size()) {
            setError(error, QStringLiteral("Cannot write %1: %2").arg(file->fileName(), file->errorString()));
            return false;
        }
    }
    if (!commitSaveFile(&newSignature)) {
        setError(error, QStringLiteral("Cannot write %1: %2").arg(signaturePath, newSignature.errorString()));
        return false;
    }
    if (!commitSaveFile(&newPointer)) {
        setError(error, QStringLiteral("Cannot write %1: %2").arg(pointerPath, newPointer.errorString()));
        const bool restored = hadSignature ? writeFileAtomically(signaturePath, oldSignature, nullptr)
                                           : QFile::remove(signaturePath);
        if (!restored && error)
            *error += QStringLiteral("; the previous %1 could not be put back").arg(signaturePath);
        return false;
    }
    return true;
}

bool checkChunking(const ChunkingOptions& chunking, QString* error)
{
    if (chunking.minBytes <= 0 || chunking.averageBytes < chunking.minBytes
        || chunking.maxBytes < chunking.averageBytes || chunking.wholeFileThreshold < 0) {
        setError(error, QStringLiteral("Invalid chunking options: need 0 < min <= avg <= max and a "
                                       "non-negative whole-file threshold"));
        return false;
    }
    if (chunking.maxBytes > kMaxObjectBytes - 65536
        || chunking.wholeFileThreshold > kMaxObjectBytes - 65536) {
        setError(error, QStringLiteral("Chunks above %1 bytes could not be downloaded by the launcher")
                            .arg(kMaxObjectBytes - 65536));
        return false;
    }
    return true;
}

// The settings to cut with. The live release's are noted either way: objects are only shared
// between releases cut alike, which the summary points out.
ChunkingOptions settleChunking(const ReleaseOptions& options, const QDir& repo, const ChannelPointer* live,
                               const QVector<SourceFile>& sources, Manifest* previous, ReleaseSummary* result)
{
    if (live && readLiveManifest(repo, *live, previous)) {
        result->previousReleaseId = previous->releaseId;
        result->previousChunking = previous->chunking;
    }
    using Settings = ReleaseOptions::ChunkSettings;
    if (options.chunkSettings == Settings::AsGiven)
        return result->chunking = options.chunking;
    if (options.chunkSettings == Settings::LikePrevious && !result->previousReleaseId.isEmpty())
        return result->chunking = previous->chunking;
    QVector<DeclaredFile> files;
    files.reserve(sources.size());
    for (const SourceFile& source : sources)
        files.append({source.size, source.relativePath.toUtf8().size()});
    const ChunkChoice choice = chooseChunking(files);
    result->manifestBudgetMet = choice.withinBudget;
    return result->chunking = choice.options;
}

// Runs work on every item on every core. After the first failure the remaining items are
// skipped, and that failure's text is the error.
template <typename Sequence, typename Work>
bool mapUntilFailure(Sequence& items, Work work, QString* error)
{
    QMutex failureMutex;
    QString firstFailure;
    std::atomic<bool> failed{false};
    QtConcurrent::blockingMap(items, [&](typename Sequence::value_type& item) {
        if (failed.load())
            return;
        QString failure;
        if (!work(item, &failure)) {
            QMutexLocker lock(&failureMutex);
            if (!failed.exchange(true))
                firstFailure = failure;
        }
    });
    if (failed.load())
        setError(error, firstFailure);
    return !failed.load();
}

// Cuts every file, several at a time. Cut alike, a release follows the live one's chunks around
// each change, and its chunk digests are taken here; otherwise the content rule alone decides
// and compressing takes the digests.
bool cutFiles(const QVector<SourceFile>& sources, const ChunkingOptions& chunking, const PreviousChunks& previous,
              QVector<QVector<CutChunk>>* cuts, QString* error)
{
    QVector<int> order(sources.size());
    std::iota(order.begin(), order.end(), 0);
    QVector<CutChunk>* results = cuts->data(); // taken once: workers must not detach the vector
    return mapUntilFailure(order, [&](int i, QString* error) {
        const SourceFile& source = sources.at(i);
        QFile file(source.absolutePath);
        QString failure;
        bool cut = true;
        QVector<CutChunk>& chunks = results[i];
        if (!previous.isEmpty()) {
            cut = cutFollowingPrevious(chunking, &file, source.size, source.relativePath, previous, &chunks,
                                       &failure);
        } else {
            const QVector<ChunkRange> ranges = split(chunking, &file, source.size, &failure);
            cut = !ranges.isEmpty();
            for (const ChunkRange& range : ranges)
                chunks.append({range, {}});
        }
        if (!cut)
            *error = QStringLiteral("Cannot cut %1: %2").arg(source.relativePath, failure);
        return cut;
    }, error);
}

QString manifestRelativePath(const QString& releaseId)
{
    return QStringLiteral("manifests/%1.json").arg(releaseId);
}

// The largest sequence a JSON number holds exactly.
constexpr qint64 kMaxPointerSequence = (qint64(1) << 53) - 1;

bool loadSigningKey(const QString& path, ReleaseKey* key, QString* error)
{
    std::string failure;
    if (!loadPrivateKeyFile(QFile::encodeName(path).toStdString(), key, &failure)) {
        setError(error, QStringLiteral("Cannot load the private key: %1").arg(fromStd(failure)));
        return false;
    }
    return true;
}

// The signing key's own public half and the further keys the publisher named.
bool trustedPointerKeys(const ReleaseKey& key, const QStringList& trustedKeyPaths,
                        QList<QByteArray>* keys, QString* error)
{
    std::vector<unsigned char> blob;
    std::string failure;
    if (!exportPublicKeyBlob(key, &blob, &failure)) {
        setError(error, fromStd(failure));
        return false;
    }
    keys->append(QByteArray(reinterpret_cast<const char*>(blob.data()), int(blob.size())));
    for (const QString& path : trustedKeyPaths) {
        QByteArray bytes;
        if (!readWholeFile(path, &bytes, error))
            return false;
        keys->append(bytes);
    }
    return true;
}

// The live pointer as the publisher signed it last; *exists is false in a repository without
// one. Its sequence is continued, so it must be the publisher's own: a pointer of unknown
// origin could set the sequence back (clients would refuse every later release) or hand its
// release to a refresh.
bool readLivePointer(const QDir& repo, const QList<QByteArray>& trustedKeys, bool* exists,
                     ChannelPointer* pointer, QString* error)
{
    const QString pointerPath = repo.filePath(QStringLiteral("channels/live.json"));
    // Anything but a file there is no pointer a client could read.
    *exists = QFileInfo(pointerPath).isFile();
    if (!*exists)
        return true;
    QByteArray json;
    QByteArray signature;
    if (!readWholeFile(pointerPath, &json, error)
        || !readWholeFile(repo.filePath(QStringLiteral("channels/live.sig")), &signature, error))
        return false;
    QString failure;
    if (!verifyReleaseSignature(trustedKeys, json, signature, nullptr, &failure)) {
        setError(error, QStringLiteral("The current channel pointer is not signed by the signing key "
                                       "or a trusted one (%1); name the key that signed it with "
                                       "--trust").arg(failure));
        return false;
    }
    if (!parseChannelPointer(json, pointer, &failure)) {
        setError(error, QStringLiteral("channels/live.json: %1").arg(failure));
        return false;
    }
    if (pointer->sequence >= kMaxPointerSequence) {
        setError(error, QStringLiteral("The channel pointer's sequence %1 cannot be raised further")
                            .arg(pointer->sequence));
        return false;
    }
    return true;
}

bool pointerExpiry(int days, QDateTime* expiresUtc, QString* error)
{
    if (days < 1 || days > kMaxPointerLifetimeDays) {
        setError(error, QStringLiteral("The pointer's lifetime must be 1 to %1 days").arg(kMaxPointerLifetimeDays));
        return false;
    }
    // Whole seconds, as the pointer writes it.
    QDateTime now = QDateTime::currentDateTimeUtc();
    now.setTime(QTime(now.time().hour(), now.time().minute(), now.time().second()));
    *expiresUtc = now.addDays(days);
    return true;
}

// All that signing the next channel pointer needs, gathered before any work is done.
struct PointerSigning
{
    ReleaseKey key;
    QList<QByteArray> trustedKeys; // the signing key's public half first
    bool hadPointer = false;
    ChannelPointer current;
    QDateTime expiresUtc;
};

bool preparePointerSigning(const QDir& repo, const QString& privateKeyPath,
                           const QStringList& trustedKeyPaths, int expiresInDays,
                           PointerSigning* signing, QString* error)
{
    return loadSigningKey(privateKeyPath, &signing->key, error)
        && trustedPointerKeys(signing->key, trustedKeyPaths, &signing->trustedKeys, error)
        && readLivePointer(repo, signing->trustedKeys, &signing->hadPointer, &signing->current, error)
        && pointerExpiry(expiresInDays, &signing->expiresUtc, error);
}

} // namespace

bool signBytes(const ReleaseKey& key, const QByteArray& data, QByteArray* signature, QString* error)
{
    std::vector<unsigned char> raw;
    std::string failure;
    if (!signRelease(key, platform::ByteSpan(data.constData(), size_t(data.size())), &raw, &failure)) {
        setError(error, fromStd(failure));
        return false;
    }
    *signature = QByteArray(reinterpret_cast<const char*>(raw.data()), int(raw.size()));
    return true;
}

QByteArray channelPointerJson(const QString& releaseId, const QString& manifestPath,
                              const QByteArray& manifestSha256, qint64 sequence,
                              const QDateTime& expiresUtc)
{
    QJsonObject pointer;
    pointer.insert(QStringLiteral("schema"), 1);
    pointer.insert(QStringLiteral("channel"), QStringLiteral("live"));
    pointer.insert(QStringLiteral("releaseId"), releaseId);
    pointer.insert(QStringLiteral("manifestPath"), manifestPath);
    pointer.insert(QStringLiteral("manifestSha256"), QString::fromLatin1(manifestSha256.toHex()));
    if (sequence > 0)
        pointer.insert(QStringLiteral("sequence"), double(sequence));
    if (expiresUtc.isValid())
        pointer.insert(QStringLiteral("expiresUtc"), expiresUtc.toUTC().toString(Qt::ISODate));
    return QJsonDocument(pointer).toJson(QJsonDocument::Compact);
}

bool isUsableReleaseId(const QString& releaseId)
{
    static const QRegularExpression pattern(QStringLiteral("^[A-Za-z0-9][A-Za-z0-9._-]{0,127}$"));
    // Clients name a folder after it, so no trailing dot and no device name either.
    return pattern.match(releaseId).hasMatch() && isPlainFolderName(releaseId);
}

bool publishRelease(const ReleaseOptions& options, ReleaseSummary* summary, QString* error)
{
    QElapsedTimer timer;
    timer.start();
    ReleaseSummary result;

    if (!isUsableReleaseId(options.releaseId)) {
        setError(error, QStringLiteral("Release ID must be 1-128 letters, digits, '.', '_' or '-', "
                                       "starting with a letter or digit, not ending with a dot and "
                                       "not a Windows device name: %1").arg(options.releaseId));
        return false;
    }
    if (options.gameRoot.trimmed().isEmpty()) {
        setError(error, QStringLiteral("The game root name must not be empty"));
        return false;
    }
    if (options.compressionLevel < 0 || options.compressionLevel > kMaxCompressionLevel) {
        setError(error, QStringLiteral("Compression level must be from 0 to %1").arg(kMaxCompressionLevel));
        return false;
    }
    if (options.chunkSettings == ReleaseOptions::ChunkSettings::AsGiven
        && !checkChunking(options.chunking, error))
        return false;
    for (const LaunchProfile& profile : options.launchProfiles) {
        if (profile.id.isEmpty() || profile.title.isEmpty()
            || normalizeRelativePath(profile.executable).isEmpty()) {
            setError(error, QStringLiteral("Invalid launch profile: %1").arg(profile.id));
            return false;
        }
    }

    const QDir repo(options.repoDir);
    const QString manifestPath = manifestRelativePath(options.releaseId);
    if (QFileInfo::exists(repo.filePath(manifestPath))) {
        setError(error, QStringLiteral("Release %1 already exists in the repository").arg(options.releaseId));
        return false;
    }

    PointerSigning signing;
    if (!preparePointerSigning(repo, options.privateKeyPath, options.trustedKeyPaths,
                               options.expiresInDays, &signing, error))
        return false;
    const ReleaseKey& key = signing.key;

    QVector<SourceFile> sources;
    if (!collectSourceFiles(options, &sources, error))
        return false;
    Manifest live;
    const ChunkingOptions chunking = settleChunking(options, repo, signing.hadPointer ? &signing.current : nullptr,
                                                    sources, &live, &result);
    if (!checkChunking(chunking, error))
        return false;

    ObjectStore store(options.repoDir);
    PreviousChunks previous(live.chunking == chunking ? live.files : QVector<ManifestFile>());
    const QFileInfoList earlier = QDir(repo.filePath(QStringLiteral("manifests")))
                                      .entryInfoList({QStringLiteral("*.json")}, QDir::Files);
    for (const QFileInfo& info : earlier) {
        QByteArray bytes;
        Manifest known;
        if (!readWholeFile(info.absoluteFilePath(), &bytes, nullptr) || !parseManifest(bytes, &known, nullptr))
            continue; // only a missed shortcut: the chunk is then compressed and stored anew
        for (const ManifestFile& file : known.files) {
            for (const ManifestChunk& chunk : file.chunks) {
                store.addKnownChunk(chunk);
                previous.addKnown(chunk.sha256);
            }
        }
    }

    QVector<ManifestFile> files(sources.size());
    QVector<QVector<CutChunk>> cuts(sources.size());
    if (!cutFiles(sources, chunking, previous, &cuts, error))
        return false;

    // The chunks then compress in parallel on every core.
    QVector<Job> jobs;
    for (int i = 0; i < sources.size(); ++i) {
        const SourceFile& source = sources.at(i);
        ManifestFile& entry = files[i];
        entry.path = source.relativePath;
        entry.size = source.size;
        entry.preserve = source.preserve;
        entry.executable = source.executable;
        entry.chunks.resize(cuts.at(i).size());
        jobs.append({i, -1, {}});
        for (int c = 0; c < cuts.at(i).size(); ++c)
            jobs.append({i, c, cuts.at(i).at(c)});
        result.sourceBytes += source.size;
        result.chunks += cuts.at(i).size();
    }
    cuts.clear();

    const bool stored = mapUntilFailure(jobs, [&](const Job& job, QString* failure) {
        return runJob(job, sources, files, options.compressionLevel, store, failure);
    }, error);
    if (!stored)
        return false;

    Manifest manifest;
    manifest.releaseId = options.releaseId;
    manifest.createdUtc = QDateTime::currentDateTimeUtc().toString(Qt::ISODateWithMs);
    manifest.gameRoot = options.gameRoot.trimmed();
    manifest.chunking = chunking;
    manifest.launchProfiles = options.launchProfiles;
    for (LaunchProfile& profile : manifest.launchProfiles)
        profile.executable = normalizeRelativePath(profile.executable);
    for (const QString& entry : options.keepList) {
        if (!entry.trimmed().isEmpty())
            manifest.preserve.append(entry.trimmed());
    }
    manifest.files = files;

    const QByteArray manifestJson = manifestToJson(manifest);
    Manifest reread;
    QString parseError;
    if (!parseManifest(manifestJson, &reread, &parseError)) {
        setError(error, QStringLiteral("The written manifest does not parse: %1").arg(parseError));
        return false;
    }

    QByteArray manifestSignature;
    if (!signBytes(key, manifestJson, &manifestSignature, error))
        return false;
    const QByteArray pointer = channelPointerJson(options.releaseId, manifestPath, Sha256::hash(manifestJson),
                                                  signing.current.sequence + 1, signing.expiresUtc);
    QByteArray pointerSignature;
    if (!signBytes(key, pointer, &pointerSignature, error))
        return false;

    if (!writeFileAtomically(repo.filePath(manifestSignaturePath(manifestPath)), manifestSignature, error)
        || !writeFileAtomically(repo.filePath(manifestPath), manifestJson, error)
        || !switchChannelPointer(repo, pointer, pointerSignature, error)) {
        return false;
    }

    result.files = sources.size();
    result.objectsNew = store.newObjects();
    result.objectsReused = store.reusedObjects();
    result.bytesStoredNew = store.newBytes();
    result.elapsedMs = timer.elapsed();
    result.manifestPath = manifestPath;
    result.manifestBytes = manifestJson.size();
    if (summary)
        *summary = result;
    return true;
}

bool refreshChannelPointer(const PointerOptions& options, RefreshSummary* summary, QString* error)
{
    const QDir repo(options.repoDir);
    PointerSigning signing;
    if (!preparePointerSigning(repo, options.privateKeyPath, options.trustedKeyPaths,
                               options.expiresInDays, &signing, error))
        return false;
    const ChannelPointer& current = signing.current;
    if (!signing.hadPointer) {
        setError(error, QStringLiteral("The repository has no channel pointer to refresh; publish a release first"));
        return false;
    }

    // Once signing has moved to a new key, launchers that trust only the new key must still
    // accept the live manifest: its signature follows the pointer's.
    QByteArray manifestJson;
    QByteArray manifestSignature;
    const QString signaturePath = manifestSignaturePath(current.manifestPath);
    if (!readWholeFile(repo.filePath(current.manifestPath), &manifestJson, error)
        || !readWholeFile(repo.filePath(signaturePath), &manifestSignature, error))
        return false;
    if (Sha256::hash(manifestJson) != current.manifestSha256) {
        setError(error, QStringLiteral("%1 differs from the digest the channel pointer names").arg(current.manifestPath));
        return false;
    }
    RefreshSummary result;
    if (!verifyReleaseSignature(signing.trustedKeys.first(), manifestJson, manifestSignature, nullptr)) {
        if (!signBytes(signing.key, manifestJson, &manifestSignature, error)
            || !writeFileAtomically(repo.filePath(signaturePath), manifestSignature, error))
            return false;
        result.manifestResigned = true;
    }

    result.releaseId = current.releaseId;
    result.sequence = current.sequence + 1;
    result.expiresUtc = signing.expiresUtc;
    const QByteArray pointer = channelPointerJson(current.releaseId, current.manifestPath,
                                                  current.manifestSha256, result.sequence,
                                                  signing.expiresUtc);
    QByteArray pointerSignature;
    if (!signBytes(signing.key, pointer, &pointerSignature, error)
        || !switchChannelPointer(repo, pointer, pointerSignature, error))
        return false;
    if (summary)
        *summary = result;
    return true;
}

namespace {

struct ObjectCheck
{
    bool ok = false;
    QString problem;
};

// Loads one stored object and checks it against the chunk that names it.
ObjectCheck checkObject(const QDir& repo, const ManifestChunk& chunk, QByteArray* plain)
{
    const QString relative = objectRelativePath(chunk.blobSha256);
    QFile file(repo.filePath(relative));
    if (!file.open(QIODevice::ReadOnly))
        return {false, QStringLiteral("%1: missing (%2)").arg(relative, file.errorString())};
    const QByteArray blob = file.readAll();
    if (blob.size() != chunk.blobSize)
        return {false, QStringLiteral("%1: size %2, expected %3").arg(relative).arg(blob.size()).arg(chunk.blobSize)};
    if (Sha256::hash(blob) != chunk.blobSha256)
        return {false, QStringLiteral("%1: content does not match its name").arg(relative)};
    if (!inflateObject(blob, chunk.size, plain))
        return {false, QStringLiteral("%1: does not decompress to %2 bytes").arg(relative).arg(chunk.size)};
    if (Sha256::hash(*plain) != chunk.sha256)
        return {false, QStringLiteral("%1: decompressed chunk does not match its digest").arg(relative)};
    return {true, QString()};
}

} // namespace

bool verifyRelease(const QString& repoDir, const QList<QByteArray>& publicKeyBlobs,
                   const QString& releaseId, VerifyReport* report, QString* error)
{
    VerifyReport result;
    const QDir repo(repoDir);
    QByteArray pointerJson;
    QByteArray pointerSignature;
    if (!readWholeFile(repo.filePath(QStringLiteral("channels/live.json")), &pointerJson, error)
        || !readWholeFile(repo.filePath(QStringLiteral("channels/live.sig")), &pointerSignature, error))
        return false;

    QString failure;
    ChannelPointer pointer;
    if (!verifyReleaseSignature(publicKeyBlobs, pointerJson, pointerSignature, nullptr, &failure))
        result.problems.append(QStringLiteral("channels/live.sig: %1").arg(failure));
    if (!parseChannelPointer(pointerJson, &pointer, &failure)) {
        setError(error, QStringLiteral("channels/live.json: %1").arg(failure));
        return false;
    }
    result.sequence = pointer.sequence;
    result.expiresUtc = pointer.expiresUtc;
    if (pointer.expiresUtc.isValid() && pointer.expiresUtc < QDateTime::currentDateTimeUtc())
        result.problems.append(QStringLiteral("channels/live.json: expired at %1; launchers refuse it "
                                              "(run vorn-publish refresh)")
                                   .arg(pointer.expiresUtc.toString(Qt::ISODate)));

    result.releaseId = releaseId.isEmpty() ? pointer.releaseId : releaseId;
    const bool pointerRelease = result.releaseId == pointer.releaseId;
    const QString manifestPath =
        pointerRelease ? pointer.manifestPath : manifestRelativePath(result.releaseId);
    QByteArray manifestJson;
    QByteArray manifestSignature;
    if (!readWholeFile(repo.filePath(manifestPath), &manifestJson, error)
        || !readWholeFile(repo.filePath(manifestSignaturePath(manifestPath)), &manifestSignature, error))
        return false;
    if (pointerRelease && Sha256::hash(manifestJson) != pointer.manifestSha256)
        result.problems.append(QStringLiteral("%1: digest differs from the channel pointer's").arg(manifestPath));
    if (!verifyReleaseSignature(publicKeyBlobs, manifestJson, manifestSignature, nullptr, &failure))
        result.problems.append(QStringLiteral("%1: %2").arg(manifestSignaturePath(manifestPath), failure));
    Manifest manifest;
    if (!parseManifest(manifestJson, &manifest, &failure)) {
        result.problems.append(QStringLiteral("%1: %2").arg(manifestPath, failure));
    } else {
        if (manifest.releaseId != result.releaseId)
            result.problems.append(QStringLiteral("%1: names release %2").arg(manifestPath, manifest.releaseId));
        result.files = manifest.files.size();

        // Every object is checked once; every file's digest is rebuilt from its chunks.
        QMutex mutex;
        QHash<QByteArray, QString> objectProblems;
        QSet<QByteArray> objects;
        QStringList fileProblems;
        QtConcurrent::blockingMap(manifest.files, [&](const ManifestFile& file) {
            Sha256 digest;
            bool complete = true;
            for (const ManifestChunk& chunk : file.chunks) {
                QByteArray plain;
                const ObjectCheck check = checkObject(repo, chunk, &plain);
                QMutexLocker lock(&mutex);
                objects.insert(chunk.blobSha256);
                if (!check.ok) {
                    objectProblems.insert(chunk.blobSha256, check.problem);
                    complete = false;
                    continue;
                }
                lock.unlock();
                digest.addData(plain);
            }
            if (complete && digest.result() != file.sha256) {
                QMutexLocker lock(&mutex);
                fileProblems.append(QStringLiteral("%1: chunks do not add up to the file's digest").arg(file.path));
            }
        });
        result.objects = objects.size();
        QStringList sortedObjectProblems = objectProblems.values();
        sortedObjectProblems.sort();
        fileProblems.sort();
        result.problems += sortedObjectProblems;
        result.problems += fileProblems;
    }
    if (report)
        *report = result;
    if (!result.problems.isEmpty()) {
        setError(error, QStringLiteral("%1 problem(s) in release %2").arg(result.problems.size()).arg(result.releaseId));
        return false;
    }
    return true;
}

bool pruneRepository(const QString& repoDir, int keep, PruneSummary* summary, QString* error)
{
    PruneSummary result;
    if (keep < 1) {
        setError(error, QStringLiteral("At least one release must be kept"));
        return false;
    }
    const QDir repo(repoDir);
    QByteArray pointerJson;
    ChannelPointer pointer;
    QString failure;
    if (!readWholeFile(repo.filePath(QStringLiteral("channels/live.json")), &pointerJson, error))
        return false;
    if (!parseChannelPointer(pointerJson, &pointer, &failure)) {
        setError(error, QStringLiteral("channels/live.json: %1").arg(failure));
        return false;
    }

    struct Release
    {
        QString path;
        Manifest manifest;
    };
    QVector<Release> releases;
    const QFileInfoList manifestFiles = QDir(repo.filePath(QStringLiteral("manifests")))
                                            .entryInfoList({QStringLiteral("*.json")}, QDir::Files);
    for (const QFileInfo& info : manifestFiles) {
        QByteArray bytes;
        Release release;
        release.path = QStringLiteral("manifests/") + info.fileName();
        // An unreadable manifest could reference any object: deleting nothing is the safe answer.
        if (!readWholeFile(info.absoluteFilePath(), &bytes, error))
            return false;
        if (!parseManifest(bytes, &release.manifest, &failure)) {
            setError(error, QStringLiteral("%1: %2; nothing was deleted").arg(release.path, failure));
            return false;
        }
        releases.append(release);
    }
    std::sort(releases.begin(), releases.end(), [](const Release& a, const Release& b) {
        return a.manifest.createdUtc > b.manifest.createdUtc;
    });

    QSet<QByteArray> referenced;
    QVector<Release> doomed;
    int kept = 0;
    for (const Release& release : releases) {
        const bool live = release.path == pointer.manifestPath;
        if (live || kept < keep) {
            if (!live || kept < keep)
                ++kept;
            result.keptReleases.append(release.manifest.releaseId);
            for (const ManifestFile& file : release.manifest.files) {
                for (const ManifestChunk& chunk : file.chunks)
                    referenced.insert(chunk.blobSha256);
            }
        } else {
            doomed.append(release);
        }
    }
    if (!result.keptReleases.contains(pointer.releaseId)) {
        setError(error, QStringLiteral("The live release %1 has no manifest in the repository; "
                                       "nothing was deleted").arg(pointer.releaseId));
        return false;
    }

    for (const Release& release : doomed) {
        QFile::remove(repo.filePath(manifestSignaturePath(release.path)));
        if (!QFile::remove(repo.filePath(release.path))) {
            setError(error, QStringLiteral("Cannot delete %1").arg(release.path));
            return false;
        }
        result.deletedReleases.append(release.manifest.releaseId);
    }

    QDirIterator objects(repo.filePath(QStringLiteral("objects")), {QStringLiteral("*.bin")},
                         QDir::Files, QDirIterator::Subdirectories);
    while (objects.hasNext()) {
        const QString path = objects.next();
        const QByteArray digest = QByteArray::fromHex(objects.fileInfo().completeBaseName().toLatin1());
        if (digest.size() == 32 && referenced.contains(digest))
            continue;
        const qint64 size = objects.fileInfo().size();
        if (QFile::remove(path)) {
            ++result.objectsDeleted;
            result.bytesFreed += size;
        }
    }
    if (summary)
        *summary = result;
    return true;
}

bool generateKeyFiles(const QString& outDir, int bits, QString* error)
{
    const QDir dir(outDir);
    const QString privatePath = dir.filePath(QStringLiteral("release-private.pem"));
    const QString publicPath = dir.filePath(QStringLiteral("public-key.blob"));
    for (const QString& path : {privatePath, publicPath}) {
        if (QFileInfo::exists(path)) {
            setError(error, QStringLiteral("Refusing to overwrite %1").arg(path));
            return false;
        }
    }
    if (!QDir().mkpath(outDir)) {
        setError(error, QStringLiteral("Cannot create folder %1").arg(outDir));
        return false;
    }
    ReleaseKey key;
    std::string failure;
    std::vector<unsigned char> blob;
    if (!generateReleaseKey(bits, &key, &failure) || !exportPublicKeyBlob(key, &blob, &failure)
        || !writePrivateKeyFile(key, QFile::encodeName(privatePath).toStdString(), &failure)) {
        setError(error, fromStd(failure));
        return false;
    }
    return writeFileAtomically(publicPath,
                               QByteArray(reinterpret_cast<const char*>(blob.data()), int(blob.size())),
                               error);
}

} // namespace vorn::publish
