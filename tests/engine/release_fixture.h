#pragma once

#include "core/types.h"

#include <QByteArray>
#include <QMap>
#include <QString>
#include <QStringList>

namespace vorn::test {

class HttpTestServer;

// Relative path -> content of every file below a folder.
using FileTree = QMap<QString, QByteArray>;

[[nodiscard]] QByteArray randomBytes(qint64 size, quint32 seed);
[[nodiscard]] bool writeFileBytes(const QString& path, const QByteArray& bytes);
[[nodiscard]] QByteArray readFileBytes(const QString& path);
[[nodiscard]] bool writeTree(const QString& root, const FileTree& tree);
// Every file below root, without the launcher's own .vorn folder unless asked for.
[[nodiscard]] FileTree readTree(const QString& root, bool withStateFolder = false);
// Files keep their modification times, as the state cache recorded them.
[[nodiscard]] bool copyTree(const QString& from, const QString& to);
// The entries of .vorn/transactions, which a finished or recovered install leaves empty.
[[nodiscard]] QStringList transactionFolders(const QString& gameRoot);

// Small chunks, so that files of a few hundred KiB are cut into several objects and local
// reuse, shared objects and partial changes show up without large test data.
[[nodiscard]] ChunkingOptions smallChunks();

// A repository made by the publisher, with its own key pair.
class ReleaseRepository final
{
public:
    explicit ReleaseRepository(const QString& folder);

    // Files named in executables get the owner's execute permission in the source folder.
    [[nodiscard]] bool publish(const QString& releaseId, const FileTree& files,
                               Manifest* manifest, QString* error,
                               const QStringList& preserveGlobs = {},
                               const QStringList& executables = {});

    [[nodiscard]] QString repoDirectory() const;
    [[nodiscard]] QString manifestFile(const QString& releaseId) const;
    // URL paths ("/objects/ab/….bin") of every object a manifest names, without repeats.
    [[nodiscard]] static QStringList objectUrlPaths(const Manifest& manifest);

    // Answers every file of the repository at its relative path.
    void serve(HttpTestServer* server) const;

private:
    QString m_folder;
};

// Two releases over the same game: r2 changes part of a large file, replaces, adds, removes and
// renames files, and keeps a user-owned file; "Removed/notes.txt" lives below a folder whose
// name the transaction layout also uses.
[[nodiscard]] FileTree firstRelease();
[[nodiscard]] FileTree secondRelease();
// r1's bytes only, rearranged: files renamed and moved to other folders, one to a folder the
// release drops, and two levels that swap their content.
[[nodiscard]] FileTree movedRelease();
[[nodiscard]] QStringList userOwnedGlobs();
// What a folder holding `installed` must look like after r2 is installed over it.
[[nodiscard]] FileTree expectedAfterUpdate(const FileTree& installed, const FileTree& release);

} // namespace vorn::test
