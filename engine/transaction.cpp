#include "engine/transaction.h"

#include "core/local_state.h"
#include "core/paths.h"
#include "engine/file_ops.h"

#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QFileInfo>
#include <QSet>

#include <algorithm>

namespace vorn {

namespace {

const QLatin1String kRemovedPrefix("removed/");

bool startsWithRemoved(const QString& rel)
{
    return rel.startsWith(kRemovedPrefix, Qt::CaseInsensitive);
}

void setError(QString* error, const QString& message)
{
    if (error)
        *error = message;
}

// A transaction folder is named after the release; a name that is not one plain path component
// would put the folder (and its recursive removal) somewhere else.
bool isSingleSafeComponent(const QString& name)
{
    return !name.isEmpty() && normalizeRelativePath(name) == name && !name.contains(QLatin1Char('/'));
}

void syncParents(const QSet<QString>& folders)
{
    for (const QString& folder : folders)
        syncDirectory(folder);
}

QString parentOf(const QString& path)
{
    return QFileInfo(path).absolutePath();
}

} // namespace

bool ensureParentDirectory(const QString& path, QString* error)
{
    const QString folder = QFileInfo(path).absolutePath();
    if (QDir().mkpath(folder))
        return true;
    setError(error, QStringLiteral("Cannot create directory %1").arg(folder));
    return false;
}

bool recoverTransactions(const QString& gameRoot, QString* error)
{
    const QDir root(gameRoot);
    const QString txRoot = root.filePath(QStringLiteral(".vorn/transactions"));
    if (!QFileInfo(txRoot).isDir())
        return true;

    const QStringList names =
        QDir(txRoot).entryList(QDir::Dirs | QDir::NoDotAndDotDot, QDir::Unsorted);
    for (const QString& name : names) {
        const QString txDir = QDir(txRoot).filePath(name);
        const QDir backupDir(QDir(txDir).filePath(QStringLiteral("backup")));
        if (!backupDir.exists()) {
            QDir(txDir).removeRecursively();
            continue;
        }

        QStringList files;
        QDirIterator it(backupDir.absolutePath(), QDir::Files | QDir::Hidden | QDir::System,
                        QDirIterator::Subdirectories);
        while (it.hasNext())
            files.append(it.next());
        std::sort(files.begin(), files.end());

        if (!files.isEmpty()) {
            // The installed manifest may already describe the release whose files are being
            // undone; with the recorded sizes and times the next planning would then trust the
            // old files as the new ones. Without the cache every file is read instead. Done
            // before the first file moves, so that a crash during recovery cannot skip it.
            const QString statePath = localStatePath(root);
            if (QFile::exists(statePath)) {
                QFile::remove(statePath);
                syncDirectory(parentOf(statePath));
            }
        }

        QSet<QString> touched;
        for (const QString& file : qAsConst(files)) {
            QString rel = normalizeRelativePath(backupDir.relativeFilePath(file));
            if (startsWithRemoved(rel))
                rel = rel.mid(kRemovedPrefix.size());
            if (rel.isEmpty())
                continue;
            const QString target = root.filePath(rel);
            if (!ensureParentDirectory(target, error))
                return false;
            QFile::remove(target);
            if (!renameEntry(file, target)) {
                setError(error,
                         QStringLiteral("Cannot restore %1 after an interrupted update").arg(rel));
                return false;
            }
            touched.insert(parentOf(target));
        }
        syncParents(touched);

        if (!QDir(txDir).removeRecursively()) {
            setError(error, QStringLiteral("Cannot remove recovered transaction %1").arg(name));
            return false;
        }
    }
    return true;
}

UpdateTransaction::UpdateTransaction(const QString& gameRoot, const QString& releaseId)
    : m_gameRoot(gameRoot)
    , m_releaseId(releaseId)
{
    const QDir root(gameRoot);
    m_directory = root.filePath(QStringLiteral(".vorn/transactions/%1").arg(releaseId));
    m_stageDirectory = QDir(m_directory).filePath(QStringLiteral("stage"));
    m_backupDirectory = QDir(m_directory).filePath(QStringLiteral("backup"));
    m_committedDirectory = QDir(m_directory).filePath(QStringLiteral("committed"));
}

bool UpdateTransaction::prepare(QString* error)
{
    if (!isSingleSafeComponent(m_releaseId)) {
        setError(error, QStringLiteral("Cannot create update transaction directory"));
        return false;
    }
    QDir(m_directory).removeRecursively();
    if (!QDir().mkpath(m_stageDirectory) || !QDir().mkpath(m_backupDirectory)) {
        setError(error, QStringLiteral("Cannot create update transaction directory"));
        return false;
    }
    return true;
}

bool UpdateTransaction::commit(const UpdatePlan& plan, QString* error)
{
    const QDir root(m_gameRoot);
    const QDir stage(m_stageDirectory);
    const QDir backup(m_backupDirectory);
    QSet<QString> touched;
    QString message;

    auto fail = [&](const QString& fallback) {
        if (message.isEmpty())
            message = fallback;
        setError(error, message);
        rollback();
        return false;
    };

    for (const FilePlan& entry : plan.files) {
        const QString rel = normalizeRelativePath(entry.file.path);
        if (rel.isEmpty())
            return fail(QStringLiteral("Cannot replace %1").arg(entry.file.path));
        const QString target = root.filePath(rel);
        const QString staged = stage.filePath(rel);
        // Recovery reads a first folder named "removed" as the mark of a deleted file; a file
        // of the release below such a folder is kept under the same mark, which restores it
        // to its own path.
        const QString backupPath =
            backup.filePath(startsWithRemoved(rel) ? kRemovedPrefix + rel : rel);
        const bool hadPrevious = QFileInfo::exists(target);

        if (!ensureParentDirectory(target, &message))
            return fail(message);
        if (hadPrevious) {
            if (!ensureParentDirectory(backupPath, &message) || !renameEntry(target, backupPath))
                return fail(QStringLiteral("Cannot replace %1").arg(rel));
            touched.insert(parentOf(backupPath));
        }
        if (!renameEntry(staged, target)) {
            if (hadPrevious)
                (void)renameEntry(backupPath, target);
            message = QStringLiteral("Cannot replace %1").arg(rel);
            return fail(message);
        }
        touched.insert(parentOf(target));
        m_journal.append({target, backupPath, hadPrevious});
    }

    for (const QString& path : plan.removals) {
        const QString rel = normalizeRelativePath(path);
        if (rel.isEmpty())
            continue;
        const QString target = root.filePath(rel);
        if (!QFileInfo::exists(target))
            continue;
        const QString backupPath = backup.filePath(kRemovedPrefix + rel);
        if (!ensureParentDirectory(backupPath, &message) || !renameEntry(target, backupPath))
            return fail(QStringLiteral("Cannot remove obsolete file %1").arg(rel));
        touched.insert(parentOf(target));
        touched.insert(parentOf(backupPath));
        m_journal.append({target, backupPath, true});
    }

    syncParents(touched);
    return true;
}

void UpdateTransaction::rollback()
{
    if (m_committed && renameEntry(m_committedDirectory, m_backupDirectory)) {
        syncDirectory(m_directory);
        m_committed = false;
    }
    QSet<QString> touched;
    for (auto it = m_journal.crbegin(); it != m_journal.crend(); ++it) {
        const QString backupPath = m_committed
            ? m_committedDirectory + it->backupPath.mid(m_backupDirectory.size())
            : it->backupPath;
        if (QFileInfo::exists(it->targetPath))
            QFile::remove(it->targetPath);
        if (it->hadPrevious && QFileInfo::exists(backupPath)) {
            (void)ensureParentDirectory(it->targetPath);
            (void)renameEntry(backupPath, it->targetPath);
        }
        touched.insert(parentOf(it->targetPath));
    }
    m_journal.clear();
    syncParents(touched);
}

void UpdateTransaction::markCommitted()
{
    if (renameEntry(m_backupDirectory, m_committedDirectory)) {
        syncDirectory(m_directory);
        m_committed = true;
    }
}

void UpdateTransaction::finish()
{
    QDir(m_directory).removeRecursively();
}

} // namespace vorn
