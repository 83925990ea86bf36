#include "core/file_status.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

namespace vorn {

bool readRegularFile(const QString& path, qint64 maxBytes, QByteArray* bytes, QString* error)
{
    QFile file(path);
    if (!openRegularFile(&file)) {
        if (error)
            *error = QStringLiteral("%1 is missing or not a regular file").arg(QDir::toNativeSeparators(path));
        return false;
    }
    const auto tooLarge = [&] {
        if (error)
            *error = QStringLiteral("%1 is larger than %2 bytes").arg(QDir::toNativeSeparators(path)).arg(maxBytes);
        return false;
    };
    if (file.size() > maxBytes)
        return tooLarge();
    // Read in pieces rather than by the size seen at the open: a file that grows meanwhile stops
    // at the limit all the same.
    QByteArray data;
    data.reserve(int(file.size()));
    char buffer[64 * 1024];
    for (;;) {
        const qint64 got = file.read(buffer, sizeof buffer);
        if (got < 0) {
            if (error)
                *error = QStringLiteral("Cannot read %1: %2").arg(QDir::toNativeSeparators(path), file.errorString());
            return false;
        }
        if (got == 0)
            break;
        if (data.size() + got > maxBytes)
            return tooLarge();
        data.append(buffer, int(got));
    }
    *bytes = data;
    return true;
}

bool removeLinkOrSpecial(const QString& path)
{
    const EntryKind kind = entryKind(path);
    if (kind != EntryKind::Link && kind != EntryKind::Other)
        return false;
    // A link to a folder (on Windows also a junction) goes the way an empty folder does, which
    // leaves its target as it is.
    return QFile::remove(path) || QDir().rmdir(path) || entryKind(path) == EntryKind::Missing;
}

bool ensureOwnFolder(const QString& root, const QString& rel, QString* error, QStringList* replaced)
{
    const auto fail = [error](const QString& message) {
        if (error)
            *error = message;
        return false;
    };
    if (!QFileInfo(root).isDir())
        return fail(QStringLiteral("Cannot create folder %1").arg(QDir::toNativeSeparators(QDir::cleanPath(root))));
    QString current = root;
    QString done;
    const QStringList parts = rel.split(QLatin1Char('/'), Qt::SkipEmptyParts);
    for (const QString& part : parts) {
        current = QDir(current).filePath(part);
        done = done.isEmpty() ? part : done + QLatin1Char('/') + part;
        EntryKind kind = entryKind(current);
        if (kind == EntryKind::Link || kind == EntryKind::Other) {
            if (!removeLinkOrSpecial(current))
                return fail(QStringLiteral("%1 is a link that cannot be removed").arg(QDir::toNativeSeparators(current)));
            if (replaced)
                replaced->append(done);
            kind = EntryKind::Missing;
        }
        if (kind == EntryKind::File)
            return fail(QStringLiteral("%1 is a file, not a folder").arg(QDir::toNativeSeparators(current)));
        // Checked again after mkdir: something put there meanwhile is not taken for our folder.
        if (kind == EntryKind::Missing && !QDir().mkdir(current) && entryKind(current) != EntryKind::Directory)
            return fail(QStringLiteral("Cannot create folder %1").arg(QDir::toNativeSeparators(current)));
        if (entryKind(current) != EntryKind::Directory)
            return fail(QStringLiteral("%1 is not a folder of our own").arg(QDir::toNativeSeparators(current)));
    }
    return true;
}

QString linkedFolder(const QDir& root, const QString& rel, QHash<QString, EntryKind>* seen)
{
    int slash = rel.indexOf(QLatin1Char('/'));
    while (slash > 0) {
        const QString folder = rel.left(slash);
        EntryKind kind;
        if (seen && seen->contains(folder)) {
            kind = seen->value(folder);
        } else {
            kind = entryKind(root.filePath(folder));
            if (seen)
                seen->insert(folder, kind);
        }
        if (kind == EntryKind::Link)
            return folder;
        // Nothing below a missing folder or a file exists to be followed.
        if (kind != EntryKind::Directory)
            return QString();
        slash = rel.indexOf(QLatin1Char('/'), slash + 1);
    }
    return QString();
}

QString linkRefusal(const QString& rel)
{
    return QStringLiteral("%1 in the game folder is a link; updates never write through links").arg(rel);
}

} // namespace vorn
