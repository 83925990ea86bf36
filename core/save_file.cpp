#include "core/save_file.h"

#include "core/file_status.h"

#include <QDir>
#include <QFileInfo>
#include <QSaveFile>

namespace vorn {

namespace {

bool saveReplacingLink(const QString& path, const QByteArray& bytes, QString* error)
{
    const EntryKind kind = entryKind(path);
    if ((kind == EntryKind::Link || kind == EntryKind::Other) && !removeLinkOrSpecial(path)) {
        if (error)
            *error = QStringLiteral("Cannot write %1: a link there cannot be removed").arg(path);
        return false;
    }
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly) || file.write(bytes) != bytes.size() || !commitSaveFile(&file)) {
        if (error)
            *error = QStringLiteral("Cannot write %1: %2").arg(path, file.errorString());
        return false;
    }
    return true;
}

} // namespace

bool commitSaveFile(QSaveFile* file)
{
    // Without a commit the temporary file goes away with the QSaveFile, and its error text
    // still names the reason.
    return file->flush() && file->commit();
}

bool writeFileAtomically(const QString& path, const QByteArray& bytes, QString* error)
{
    const QString folder = QFileInfo(path).absolutePath();
    if (!QDir().mkpath(folder)) {
        if (error)
            *error = QStringLiteral("Cannot create folder %1").arg(folder);
        return false;
    }
    return saveReplacingLink(path, bytes, error);
}

bool writeOwnFile(const QString& root, const QString& rel, const QByteArray& bytes, QString* error)
{
    const int slash = rel.lastIndexOf(QLatin1Char('/'));
    return ensureOwnFolder(root, slash < 0 ? QString() : rel.left(slash), error)
        && saveReplacingLink(QDir(root).filePath(rel), bytes, error);
}

} // namespace vorn
