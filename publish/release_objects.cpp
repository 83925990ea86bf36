#include "publish/release_objects.h"

#include "core/chunker.h"
#include "core/object_format.h"
#include "core/sha256.h"
#include "publish/publisher_internal.h"

#include <QtEndian>
#include <libdeflate.h>

#include <numeric>

namespace vorn::publish {

namespace {

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

} // namespace

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

} // namespace vorn::publish
