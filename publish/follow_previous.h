#pragma once

#include "core/chunker.h"
#include "core/types.h"

#include <QByteArray>
#include <QHash>
#include <QIODevice>
#include <QSet>
#include <QString>
#include <QVector>

namespace vorn::publish {

// The chunks of the release players hold now, file by file, so a new file can be cut where
// they lie.
class PreviousChunks final
{
public:
    PreviousChunks() = default;
    explicit PreviousChunks(const QVector<ManifestFile>& files);

    [[nodiscard]] bool isEmpty() const { return m_files.isEmpty(); }

    // A chunk of an older release: kept where the content rule cuts it, as players who still
    // hold that release have it, though no cut is moved to it.
    void addKnown(const QByteArray& sha256) { m_known.insert(sha256); }
    [[nodiscard]] bool isKnown(const QByteArray& sha256) const
    {
        return m_places.contains(sha256) || m_known.contains(sha256);
    }

    struct Place
    {
        int file = -1;
        int chunk = -1;
    };
    // Where a chunk of this content first lies; file is -1 when none does.
    [[nodiscard]] Place find(const QByteArray& sha256) const;
    // The file of that path (compared as the launcher compares paths); -1 when none.
    [[nodiscard]] int fileAt(const QString& path) const;
    [[nodiscard]] const QVector<ManifestChunk>& chunks(int file) const { return m_files.at(file); }

private:
    QVector<QVector<ManifestChunk>> m_files;
    QHash<QByteArray, Place> m_places;
    QHash<QString, int> m_paths;
    QSet<QByteArray> m_known;
};

struct CutChunk
{
    ChunkRange range;
    QByteArray sha256;
};

// Cuts a file by content, then, around every stretch whose chunks the previous release lacks,
// moves the cuts to where the previous release's chunks lie: after an edit the content rule
// can take a chunk or two to fall back into step, and each chunk it cuts differently is a
// download although the player holds those bytes. Only the changed bytes and the previous
// chunks they land in are left as new chunks; they are cut at the rule's own cuts where
// possible, so each stays within the maximum. Every chunk comes with its digest.
[[nodiscard]] bool cutFollowingPrevious(const ChunkingOptions& options, QIODevice* file, qint64 size,
                                        const QString& path, const PreviousChunks& previous,
                                        QVector<CutChunk>* chunks, QString* error);

} // namespace vorn::publish
