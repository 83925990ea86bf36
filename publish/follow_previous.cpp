#include "publish/follow_previous.h"

#include "core/paths.h"

#include <algorithm>

namespace vorn::publish {

PreviousChunks::PreviousChunks(const QVector<ManifestFile>& files)
{
    m_files.reserve(files.size());
    for (const ManifestFile& file : files) {
        const int index = m_files.size();
        m_files.append(file.chunks);
        const QString path = normalizeRelativePath(file.path);
        if (!path.isEmpty() && !m_paths.contains(pathKey(path)))
            m_paths.insert(pathKey(path), index);
        for (int c = 0; c < file.chunks.size(); ++c) {
            if (!m_places.contains(file.chunks.at(c).sha256))
                m_places.insert(file.chunks.at(c).sha256, Place{index, c});
        }
    }
}

PreviousChunks::Place PreviousChunks::find(const QByteArray& sha256) const
{
    return m_places.value(sha256);
}

int PreviousChunks::fileAt(const QString& path) const
{
    const QString normalized = normalizeRelativePath(path);
    return normalized.isEmpty() ? -1 : m_paths.value(pathKey(normalized), -1);
}

namespace {

class Cutter
{
public:
    Cutter(const ChunkingOptions& options, QIODevice* file, const PreviousChunks& previous,
           QVector<CutChunk>* out, QString* error)
        : m_options(options)
        , m_file(file)
        , m_previous(previous)
        , m_out(out)
        , m_error(error)
    {
    }

    [[nodiscard]] bool digest(qint64 offset, qint64 size, QByteArray* sha256)
    {
        *sha256 = sha256OfRange(m_file, offset, size, m_error);
        return sha256->size() == 32;
    }

    // Previous chunks of file from index first on that lie, in order, at [*start, end).
    [[nodiscard]] bool walkForward(int file, int first, qint64* start, qint64 end)
    {
        if (file < 0)
            return true;
        const QVector<ManifestChunk>& chunks = m_previous.chunks(file);
        for (int c = first; c < chunks.size(); ++c) {
            const ManifestChunk& chunk = chunks.at(c);
            if (chunk.size <= 0 || chunk.size > end - *start)
                return true;
            QByteArray sha256;
            if (!digest(*start, chunk.size, &sha256))
                return false;
            if (sha256 != chunk.sha256)
                return true;
            m_out->append({ChunkRange{*start, chunk.size}, sha256});
            *start += chunk.size;
        }
        return true;
    }

    // Previous chunks of file from index last down that end, in order, at *end, above start.
    [[nodiscard]] bool walkBackward(int file, int last, qint64 start, qint64* end,
                                    QVector<CutChunk>* found)
    {
        if (file < 0)
            return true;
        const QVector<ManifestChunk>& chunks = m_previous.chunks(file);
        for (int c = std::min(last, int(chunks.size()) - 1); c >= 0; --c) {
            const ManifestChunk& chunk = chunks.at(c);
            if (chunk.size <= 0 || chunk.size > *end - start)
                return true;
            QByteArray sha256;
            if (!digest(*end - chunk.size, chunk.size, &sha256))
                return false;
            if (sha256 != chunk.sha256)
                return true;
            *end -= chunk.size;
            found->prepend({ChunkRange{*end, chunk.size}, sha256});
        }
        return true;
    }

    // The bytes between the found chunks, cut where the content rule cut ([ruled, ruledEnd), in
    // file order), a piece below the minimum joined to the next where the maximum allows.
    [[nodiscard]] bool cutNew(qint64 start, qint64 end, const CutChunk* ruled, const CutChunk* ruledEnd)
    {
        QVector<qint64> cuts{start};
        for (const CutChunk* chunk = ruled; chunk != ruledEnd; ++chunk) {
            if (chunk->range.offset > start && chunk->range.offset < end)
                cuts.append(chunk->range.offset);
        }
        cuts.append(end);
        qint64 pieceStart = start;
        for (int i = 1; i < cuts.size(); ++i) {
            const qint64 cut = cuts.at(i);
            const bool last = i + 1 == cuts.size();
            if (!last && cut - pieceStart < m_options.minBytes
                && cuts.at(i + 1) - pieceStart <= m_options.maxBytes)
                continue;
            if (cut == pieceStart)
                continue;
            // A piece the rule cut itself keeps the digest already taken. Pieces only move
            // forward, and so does the search.
            while (ruled != ruledEnd && ruled->range.offset < pieceStart)
                ++ruled;
            CutChunk piece{ChunkRange{pieceStart, cut - pieceStart}, {}};
            if (ruled != ruledEnd && ruled->range.offset == pieceStart && ruled->range.size == piece.range.size)
                piece.sha256 = ruled->sha256;
            else if (!digest(pieceStart, piece.range.size, &piece.sha256))
                return false;
            m_out->append(piece);
            pieceStart = cut;
        }
        return true;
    }

private:
    const ChunkingOptions& m_options;
    QIODevice* m_file;
    const PreviousChunks& m_previous;
    QVector<CutChunk>* m_out;
    QString* m_error;
};

} // namespace

bool cutFollowingPrevious(const ChunkingOptions& options, QIODevice* file, qint64 size,
                          const QString& path, const PreviousChunks& previous,
                          QVector<CutChunk>* chunks, QString* error)
{
    const QVector<ChunkRange> ranges = split(options, file, size, error);
    if (ranges.isEmpty())
        return false;
    QVector<CutChunk> ruled;
    ruled.reserve(ranges.size());
    for (const ChunkRange& range : ranges) {
        CutChunk chunk{range, sha256OfRange(file, range.offset, range.size, error)};
        if (chunk.sha256.size() != 32)
            return false;
        ruled.append(chunk);
    }
    chunks->clear();
    if (size == 0 || previous.isEmpty()) {
        *chunks = ruled;
        return true;
    }
    chunks->reserve(ruled.size());
    Cutter cutter(options, file, previous, chunks, error);
    const int sameFile = previous.fileAt(path);
    const int count = ruled.size();
    for (int k = 0; k < count;) {
        if (previous.isKnown(ruled.at(k).sha256)) {
            chunks->append(ruled.at(k++));
            continue;
        }
        // A stretch of chunks the previous release lacks, between two it has (or a file's end).
        const int first = k;
        while (k < count && !previous.isKnown(ruled.at(k).sha256))
            ++k;
        qint64 start = ruled.at(first).range.offset;
        qint64 end = k < count ? ruled.at(k).range.offset : size;

        PreviousChunks::Place before{sameFile, -1};
        if (first > 0)
            before = previous.find(ruled.at(first - 1).sha256);
        if (!cutter.walkForward(before.file, before.chunk + 1, &start, end))
            return false;

        // A stretch up to the file's end ends where the same file ended, or the one it began in.
        PreviousChunks::Place after;
        if (k < count) {
            after = previous.find(ruled.at(k).sha256);
        } else {
            const int file = sameFile >= 0 ? sameFile : before.file;
            if (file >= 0)
                after = {file, int(previous.chunks(file).size())};
        }
        QVector<CutChunk> tail;
        if (!cutter.walkBackward(after.file, after.chunk - 1, start, &end, &tail))
            return false;

        if (!cutter.cutNew(start, end, ruled.constData() + first, ruled.constData() + k))
            return false;
        *chunks += tail;
    }
    return true;
}

} // namespace vorn::publish
