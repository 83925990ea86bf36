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
// the old file or the new one, never half of it. Creates the parent folder. A link, FIFO or
// device at path is replaced, never written through: QSaveFile alone would write to a link's
// target, or create it when the link dangles.
[[nodiscard]] bool writeFileAtomically(const QString& path, const QByteArray& bytes,
                                       QString* error = nullptr);

// The same for one of our own files at rel below root, whose folders below root are ours as
// well: none of them is followed when it is a link (see ensureOwnFolder), so nothing is written
// outside root.
[[nodiscard]] bool writeOwnFile(const QString& root, const QString& rel, const QByteArray& bytes,
                                QString* error = nullptr);

} // namespace vorn
