#pragma once

#include "core/types.h"

#include <QString>
#include <QVector>

namespace vorn {

// Creates the folder that contains path. On failure sets *error (when given) to
// "Cannot create directory <that folder>".
[[nodiscard]] bool ensureParentDirectory(const QString& path, QString* error = nullptr);

// Puts back every file that an interrupted installation moved aside, then removes its
// transaction folder. Runs before anything else touches the game folder. Links in the
// bookkeeping are removed as links, never followed and never restored from; a new file of the
// interrupted install that stands where a file is to be restored is moved aside first.
[[nodiscard]] bool recoverTransactions(const QString& gameRoot, QString* error);

// One step of a commit, kept so that a failure can be undone at once.
struct JournalEntry
{
    QString targetPath;
    QString backupPath;
    bool hadPrevious = false;
};

// The transaction folder .vorn/transactions/<releaseId> of one installation: new files are
// staged in stage/, replaced and obsolete files wait in backup/ until the install is complete,
// so that a crash at any moment can be undone from the disk alone.
class UpdateTransaction final
{
public:
    UpdateTransaction(const QString& gameRoot, const QString& releaseId);

    [[nodiscard]] QString directory() const { return m_directory; }
    [[nodiscard]] QString stageDirectory() const { return m_stageDirectory; }
    [[nodiscard]] QString backupDirectory() const { return m_backupDirectory; }
    [[nodiscard]] const QVector<JournalEntry>& journal() const { return m_journal; }

    // Empty stage and backup folders, clearing what an earlier attempt at the same release
    // left. Fails with "Cannot create update transaction directory".
    [[nodiscard]] bool prepare(QString* error);

    // Moves the obsolete files into backup/removed, then every staged file of the plan into
    // place (the previous file into backup first). Obsolete files go first because one may stand
    // where a new folder goes, or in a folder that becomes a file. Nothing is written or moved
    // below a folder that is a link, and a folder holding files the release does not manage is
    // never replaced. On failure everything is rolled back.
    [[nodiscard]] bool commit(const UpdatePlan& plan, QString* error);

    // Undoes the journal, newest step first, also after markCommitted. Silent: recovery
    // completes what fails here.
    void rollback();

    // The commit point, one rename: from here on recovery discards the backups instead of
    // restoring them, so that the files of the new release stay once they are all in place.
    // Before it, recovery brings back the previous release. A rename that keeps failing (an open
    // handle inside, on Windows) fails the install before anything is final.
    [[nodiscard]] bool markCommitted(QString* error);

    // Removes the transaction folder.
    void finish();

private:
    QString m_gameRoot;
    QString m_releaseId;
    QString m_directory;
    QString m_stageDirectory;
    QString m_backupDirectory;
    QString m_committedDirectory;
    bool m_committed = false;
    QVector<JournalEntry> m_journal;
};

} // namespace vorn
