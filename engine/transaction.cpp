#include "engine/transaction.h"

#include "core/file_status.h"
#include "core/local_state.h"
#include "core/paths.h"
#include "engine/file_ops.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSet>
#include <QThread>

#include <algorithm>

namespace vorn {

namespace {

const QLatin1String kRemovedFolder("removed");
const QLatin1String kRemovedPrefix("removed/");

constexpr int kCommitPointAttempts = 5;
constexpr unsigned long kCommitPointRetryMs = 100;

bool startsWithRemoved(const QString& rel)
{
    return rel.startsWith(kRemovedPrefix, Qt::CaseInsensitive);
}

void setError(QString* error, const QString& message)
{
    if (error)
        *error = message;
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

// Where the previous content of rel waits. Recovery drops one leading "removed/" (in any letter
// case), so a path whose first part is itself named "removed" goes below that folder too: then no
// entry of the backup but the folder of deleted files ever has that name, whatever the letter
// case, and every file comes back to its own path.
QString replacedBackupPath(const QDir& backup, const QString& rel)
{
    const QString first = rel.section(QLatin1Char('/'), 0, 0);
    const bool clashes = first.compare(kRemovedFolder, Qt::CaseInsensitive) == 0;
    return backup.filePath(clashes ? kRemovedPrefix + rel : rel);
}

QString removedBackupPath(const QDir& backup, const QString& rel)
{
    return backup.filePath(kRemovedPrefix + rel);
}

// A folder that holds nothing but folders: an obsolete folder whose files were moved away.
bool removeEmptyFolders(const QString& path)
{
    const QDir folder(path);
    const QStringList names =
        folder.entryList(QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot);
    for (const QString& name : names) {
        const QString child = folder.filePath(name);
        if (entryKind(child) != EntryKind::Directory || !removeEmptyFolders(child))
            return false;
    }
    return QDir().rmdir(path);
}

// Clears the place of a journal step for its previous file: the new file, or an emptied folder
// that a later step made there. A folder that holds anything stays, and the rename back fails.
void clearForRollback(const QString& path)
{
    switch (entryKind(path)) {
    case EntryKind::Missing:
        break;
    case EntryKind::Directory:
        (void)removeEmptyFolders(path);
        break;
    case EntryKind::Link:
        (void)removeLink(path);
        break;
    case EntryKind::File:
    case EntryKind::Other:
        QFile::remove(path);
        break;
    }
}

// The regular files below folder, without entering links. Anything else (a link planted in the
// backup) is never restored; it goes with the transaction folder.
void collectFiles(const QString& folder, QStringList* files)
{
    const QDir dir(folder);
    const QStringList names =
        dir.entryList(QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot);
    for (const QString& name : names) {
        const QString path = dir.filePath(name);
        const EntryKind kind = entryKind(path);
        if (kind == EntryKind::Directory)
            collectFiles(path, files);
        else if (kind == EntryKind::File)
            files->append(path);
    }
}

// Makes .vorn/transactions a real folder; a link there is removed, never followed.
bool ensureTransactionRoot(const QDir& root)
{
    if (!ensureStateFolder(root))
        return false;
    const QString transactions = root.filePath(QStringLiteral(".vorn/transactions"));
    const EntryKind kind = entryKind(transactions);
    if (kind != EntryKind::Directory && kind != EntryKind::Missing && !removeTree(transactions))
        return false;
    return QDir().mkpath(transactions);
}

// Restores one backed-up file of the transaction folder txDir to rel, first moving aside into
// txDir whatever the interrupted install put in its way: before the install, rel's folders were
// folders and rel itself held the backed-up file, so a file standing at one of those folders
// is new. A folder at rel is new only when the backed-up file was obsolete (the release turned
// it into a folder); otherwise it is refused.
bool restoreFile(const QDir& root, const QString& txDir, const QString& file, const QString& rel,
                 bool obsolete, QSet<QString>* touched, QString* error)
{
    const QString refusal = QStringLiteral("Cannot restore %1 after an interrupted update").arg(rel);
    const QString link = linkedFolder(root, rel);
    if (!link.isEmpty()) {
        setError(error, refusal + QStringLiteral(": ") + linkRefusal(link));
        return false;
    }
    const QDir displaced(QDir(txDir).filePath(QStringLiteral("displaced")));
    auto moveAside = [&](const QString& part) {
        const QString aside = displaced.filePath(part);
        return ensureParentDirectory(aside) && renameEntry(root.filePath(part), aside);
    };
    for (int slash = rel.indexOf(QLatin1Char('/')); slash > 0;
         slash = rel.indexOf(QLatin1Char('/'), slash + 1)) {
        const QString folder = rel.left(slash);
        const EntryKind kind = entryKind(root.filePath(folder));
        if (kind == EntryKind::Missing)
            break;
        if (kind != EntryKind::Directory && moveAside(folder))
            touched->insert(parentOf(root.filePath(folder)));
    }
    const QString target = root.filePath(rel);
    if (!ensureParentDirectory(target, error))
        return false;
    switch (entryKind(target)) {
    case EntryKind::Missing:
        break;
    case EntryKind::Directory:
        if (obsolete)
            (void)moveAside(rel);
        break;
    case EntryKind::Link:
    case EntryKind::File:
    case EntryKind::Other:
        clearForRollback(target);
        break;
    }
    if (!renameEntry(file, target)) {
        setError(error, refusal);
        return false;
    }
    touched->insert(parentOf(target));
    return true;
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
    const QString stateFolder = root.filePath(QStringLiteral(".vorn"));
    const EntryKind stateKind = entryKind(stateFolder);
    if (stateKind != EntryKind::Directory) {
        // A linked .vorn holds nothing of this folder's; the link goes, its target stays.
        if (stateKind == EntryKind::Link || stateKind == EntryKind::Other)
            (void)removeLink(stateFolder);
        return true;
    }
    const QString txRoot = root.filePath(QStringLiteral(".vorn/transactions"));
    const EntryKind rootKind = entryKind(txRoot);
    if (rootKind != EntryKind::Directory) {
        if (rootKind != EntryKind::Missing)
            (void)removeTree(txRoot);
        return true;
    }

    const QStringList names =
        QDir(txRoot).entryList(QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot);
    for (const QString& name : names) {
        const QString txDir = QDir(txRoot).filePath(name);
        const QString backupPath = QDir(txDir).filePath(QStringLiteral("backup"));
        // A transaction that is a link, or whose backup is one, is never restored from.
        if (entryKind(txDir) != EntryKind::Directory || entryKind(backupPath) != EntryKind::Directory) {
            (void)removeTree(txDir);
            continue;
        }
        const QDir backupDir(backupPath);

        QStringList files;
        collectFiles(backupPath, &files);
        std::sort(files.begin(), files.end());

        if (!files.isEmpty()) {
            // The installed manifest may already describe the release whose files are being
            // undone; with the recorded sizes and times the next planning would then trust the
            // old files as the new ones. Without the cache every file is read instead. Done
            // before the first file moves, so that a crash during recovery cannot skip it.
            const QString statePath = localStatePath(root);
            if (entryKind(statePath) != EntryKind::Missing) {
                (void)removeTree(statePath);
                syncDirectory(parentOf(statePath));
            }
        }

        QSet<QString> touched;
        for (const QString& file : qAsConst(files)) {
            QString rel = normalizeRelativePath(backupDir.relativeFilePath(file));
            const bool obsolete = startsWithRemoved(rel);
            if (obsolete)
                rel = rel.mid(kRemovedPrefix.size());
            if (rel.isEmpty())
                continue;
            if (!restoreFile(root, txDir, file, rel, obsolete, &touched, error))
                return false;
        }
        syncParents(touched);

        if (!removeTree(txDir)) {
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
    // A transaction folder is named after the release; a name that is not one plain path
    // component would put the folder (and its recursive removal) somewhere else.
    if (!isPlainFolderName(m_releaseId) || !ensureTransactionRoot(QDir(m_gameRoot))
        || !removeTree(m_directory) || !QDir().mkpath(m_stageDirectory)
        || !QDir().mkpath(m_backupDirectory)) {
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

    // Checked for every path before anything moves, so that a refusal changes nothing.
    QStringList fileRels;
    for (const FilePlan& entry : plan.files) {
        const QString rel = normalizeRelativePath(entry.file.path);
        if (rel.isEmpty())
            return fail(QStringLiteral("Cannot replace %1").arg(entry.file.path));
        fileRels.append(rel);
    }
    QStringList removalRels;
    for (const QString& path : plan.removals) {
        const QString rel = normalizeRelativePath(path);
        if (!rel.isEmpty())
            removalRels.append(rel);
    }
    QHash<QString, EntryKind> folderKinds;
    for (const QString& rel : fileRels + removalRels) {
        const QString link = linkedFolder(root, rel, &folderKinds);
        if (!link.isEmpty())
            return fail(linkRefusal(link));
    }

    for (const QString& rel : qAsConst(removalRels)) {
        const QString target = root.filePath(rel);
        // A folder where an obsolete file was is the player's, and so is everything in it.
        const EntryKind kind = entryKind(target);
        if (kind == EntryKind::Missing || kind == EntryKind::Directory)
            continue;
        const QString backupPath = removedBackupPath(backup, rel);
        if (!ensureParentDirectory(backupPath, &message) || !renameEntry(target, backupPath))
            return fail(QStringLiteral("Cannot remove obsolete file %1").arg(rel));
        touched.insert(parentOf(target));
        touched.insert(parentOf(backupPath));
        m_journal.append({target, backupPath, true});
    }

    for (const QString& rel : qAsConst(fileRels)) {
        const QString target = root.filePath(rel);
        const QString staged = stage.filePath(rel);
        const QString backupPath = replacedBackupPath(backup, rel);

        if (!ensureParentDirectory(target, &message))
            return fail(message);
        EntryKind kind = entryKind(target);
        if (kind == EntryKind::Directory) {
            // Only a folder emptied of the previous release's files gives way to a file.
            if (!removeEmptyFolders(target)) {
                return fail(QStringLiteral("Cannot replace the folder %1 with a file: it holds files "
                                           "that are not part of the game")
                                .arg(rel));
            }
            touched.insert(parentOf(target));
            kind = EntryKind::Missing;
        }
        const bool hadPrevious = kind != EntryKind::Missing;
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
        clearForRollback(it->targetPath);
        if (it->hadPrevious && entryKind(backupPath) != EntryKind::Missing) {
            (void)ensureParentDirectory(it->targetPath);
            (void)renameEntry(backupPath, it->targetPath);
        }
        touched.insert(parentOf(it->targetPath));
    }
    m_journal.clear();
    syncParents(touched);
}

bool UpdateTransaction::markCommitted(QString* error)
{
    for (int attempt = 1; attempt <= kCommitPointAttempts; ++attempt) {
        if (renameEntry(m_backupDirectory, m_committedDirectory)) {
            syncDirectory(m_directory);
            m_committed = true;
            return true;
        }
        if (attempt < kCommitPointAttempts)
            QThread::msleep(kCommitPointRetryMs);
    }
    setError(error, QStringLiteral("Cannot mark the update as committed in %1").arg(m_directory));
    return false;
}

void UpdateTransaction::finish()
{
    (void)removeTree(m_directory);
}

} // namespace vorn
