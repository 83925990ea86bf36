#include "engine/game_folder_lock.h"

#include "core/file_status.h"
#include "core/local_state.h"
#include "engine/file_ops.h"

#include <QDateTime>
#include <QDir>
#include <QFileInfo>
#include <QLockFile>
#include <QStorageInfo>
#include <QTemporaryFile>

#include <cerrno>

namespace vorn {

namespace {

// A lock file whose owner cannot be read was cut short by a power cut, or is being written by
// its owner right now; only an old one is taken over.
constexpr qint64 kUnreadableLockAgeMs = 10000;

// Whether a small file can be written and flushed in folder; else the system's reason.
bool folderTakesFiles(const QString& folder, QString* cause)
{
    QTemporaryFile probe(QDir(folder).filePath(QStringLiteral("update.lock.XXXXXX")));
    const QByteArray bytes(256, '\n');
    if (probe.open() && probe.write(bytes) == bytes.size() && probe.flush())
        return true;
    *cause = probe.errorString();
    return false;
}

} // namespace

GameFolderLock::GameFolderLock(const QString& gameRoot)
    : m_gameRoot(gameRoot)
{
}

GameFolderLock::~GameFolderLock() = default;

bool GameFolderLock::tryLock(QString* error, Failure* failure)
{
    const QDir root(m_gameRoot);
    QString folderError;
    if (!ensureStateFolder(root, &folderError)) {
        if (failure)
            *failure = Failure::Unwritable;
        if (error)
            *error = folderError;
        return false;
    }
    const QString path = root.filePath(QStringLiteral(".vorn/update.lock"));
    // Reading the owner of anything but a regular file could block (a FIFO) or follow a link.
    const EntryKind entry = entryKind(path);
    if (entry != EntryKind::File && entry != EntryKind::Missing)
        (void)removeTree(path);

    m_lock = std::make_unique<QLockFile>(path);
    // Never stale by age: an update may run for hours. A dead owner makes it stale.
    m_lock->setStaleLockTime(0);
    if (m_lock->tryLock(0))
        return true;

    qint64 pid = 0;
    QString host;
    QString application;
    const bool readable = m_lock->getLockInfo(&pid, &host, &application);
    if (m_lock->error() == QLockFile::LockFailedError && !readable
        && QFileInfo(path).lastModified().msecsTo(QDateTime::currentDateTime()) > kUnreadableLockAgeMs
        && m_lock->removeStaleLockFile() && m_lock->tryLock(0))
        return true;

    // QLockFile says "held" also when a dead owner's file cannot be removed, and gives no reason
    // when its own file cannot be written: a file written beside it tells which it is.
    QString cause;
    Failure kind = Failure::Busy;
    const bool folderWritable = folderTakesFiles(root.filePath(QStringLiteral(".vorn")), &cause);
    if (m_lock->error() != QLockFile::LockFailedError || !folderWritable) {
        const QStorageInfo volume(root.filePath(QStringLiteral(".vorn")));
        kind = cause == qt_error_string(ENOSPC) || (volume.isValid() && volume.bytesAvailable() == 0)
            ? Failure::NoSpace
            : Failure::Unwritable;
    }
    if (failure)
        *failure = kind;
    if (error) {
        if (kind == Failure::Busy) {
            *error = QStringLiteral("Another update is running in %1 (process %2); try again when it "
                                    "has finished")
                         .arg(QDir::toNativeSeparators(root.absolutePath()))
                         .arg(readable ? QString::number(pid) : QStringLiteral("unknown"));
        } else if (cause.isEmpty()) {
            *error = QStringLiteral("Cannot lock %1").arg(QDir::toNativeSeparators(path));
        } else {
            *error = QStringLiteral("Cannot lock %1: %2").arg(QDir::toNativeSeparators(path), cause);
        }
    }
    m_lock.reset();
    return false;
}

} // namespace vorn
