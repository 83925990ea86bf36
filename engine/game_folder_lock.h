#pragma once

#include <QString>

#include <memory>

class QLockFile;

namespace vorn {

// One update at a time in a game folder: a second updater (another launcher, or the tool) would
// run its recovery while the first commits and move the first one's backups back. The lock is a
// file in .vorn; one left behind by a process that died is taken over.
class GameFolderLock final
{
public:
    explicit GameFolderLock(const QString& gameRoot);
    ~GameFolderLock();
    GameFolderLock(const GameFolderLock&) = delete;
    GameFolderLock& operator=(const GameFolderLock&) = delete;

    // Why a lock was not taken: another updater holds it, or the folder cannot take the lock
    // file at all (a full disk, a read-only folder), which no waiting for an updater mends.
    enum class Failure { Busy, NoSpace, Unwritable };

    // Does not wait: fails at once, naming the process, while another one holds the lock; else
    // names the system's reason why the lock file cannot be written.
    [[nodiscard]] bool tryLock(QString* error, Failure* failure = nullptr);

private:
    QString m_gameRoot;
    std::unique_ptr<QLockFile> m_lock;
};

} // namespace vorn
