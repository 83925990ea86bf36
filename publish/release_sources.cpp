#include "publish/release_sources.h"

#include "core/object_format.h"
#include "core/paths.h"
#include "publish/chunk_choice.h"
#include "publish/publisher_internal.h"

#include <QDirIterator>
#include <QFileInfo>
#include <QHash>
#include <QRegularExpression>

#include <algorithm>

namespace vorn::publish {

namespace {

bool matchesAnyGlob(const QString& relativePath, const QVector<QRegularExpression>& globs)
{
    const QString name = relativePath.section(QLatin1Char('/'), -1);
    for (const QRegularExpression& glob : globs) {
        if (glob.match(relativePath).hasMatch() || glob.match(name).hasMatch())
            return true;
    }
    return false;
}

} // namespace

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

} // namespace vorn::publish
