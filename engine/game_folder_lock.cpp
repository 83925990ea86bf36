#include "engine/game_folder_lock.h"

#include "core/file_status.h"
#include "core/local_state.h"
#include "engine/file_ops.h"

#include <QDateTime>
#include <QDir>
#include <QFileInfo>
#include <QLockFile>

namespace vorn {

namespace {

// A lock file whose owner cannot be read was cut short by a power cut, or is being written by
// its owner right now; only an old one is taken over.
constexpr qint64 kUnreadableLockAgeMs = 10000;

} // namespace

GameFolderLock::GameFolderLock(const QString& gameRoot)
    : m_gameRoot(gameRoot)
{
}

GameFolderLock::~GameFolderLock() = default;

bool GameFolderLock::tryLock(QString* error)
{
    const QDir root(m_gameRoot);
    QString failure;
    if (!ensureStateFolder(root, &failure)) {
        if (error)
            *error = failure;
        return false;
    }
    const QString path = root.filePath(QStringLiteral(".vorn/update.lock"));
    // Reading the owner of anything but a regular file could block (a FIFO) or follow a link.
    const EntryKind kind = entryKind(path);
    if (kind != EntryKind::File && kind != EntryKind::Missing)
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

    if (error) {
        if (m_lock->error() == QLockFile::LockFailedError) {
            *error = QStringLiteral("Another update is running in %1 (process %2); try again when it "
                                    "has finished")
                         .arg(QDir::toNativeSeparators(root.absolutePath()))
                         .arg(readable ? QString::number(pid) : QStringLiteral("unknown"));
        } else {
            *error = QStringLiteral("Cannot lock %1").arg(QDir::toNativeSeparators(path));
        }
    }
    m_lock.reset();
    return false;
}

} // namespace vorn
