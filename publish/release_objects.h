// The release's parallel work: cutting every file, then compressing each chunk into an object
// and storing it unless the repository already holds it intact.
#pragma once

#include "core/chunker.h"
#include "core/repository_layout.h"
#include "core/save_file.h"
#include "core/types.h"
#include "publish/follow_previous.h"
#include "publish/release_sources.h"

#include <QByteArray>
#include <QDir>
#include <QFile>
#include <QHash>
#include <QMutex>
#include <QSet>
#include <QString>
#include <QVector>

#include <atomic>

namespace vorn::publish {

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

// Cuts every file, several at a time, into (*cuts)[i] for sources[i].
[[nodiscard]] bool cutFiles(const QVector<SourceFile>& sources, const ChunkingOptions& chunking,
                            const PreviousChunks& previous, QVector<QVector<CutChunk>>* cuts,
                            QString* error);

// Fills files[job.fileIndex]: its digest, or one chunk with the object it is stored as.
[[nodiscard]] bool runJob(const Job& job, const QVector<SourceFile>& sources, QVector<ManifestFile>& files,
                          int level, ObjectStore& store, QString* error);

} // namespace vorn::publish
