#pragma once

#include <QByteArray>
#include <QString>

class QSaveFile;

namespace vorn {

// Commits a QSaveFile whose bytes have all been written. Qt 5's commit writes the last
// buffered bytes itself and, when that fails on a full disk, still renames the short file into
// place and reports success; flushing first turns that into a failure that keeps the old file.
[[nodiscard]] bool commitSaveFile(QSaveFile* file);

// The whole of bytes under path, written under a temporary name and renamed, so a reader sees
// the old file or the new one, never half of it. Creates the parent folder.
[[nodiscard]] bool writeFileAtomically(const QString& path, const QByteArray& bytes,
                                       QString* error = nullptr);

} // namespace vorn
