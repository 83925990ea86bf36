#include "core/file_status.h"

#include <QDir>
#include <QFile>

namespace vorn {

bool openRegularFile(QFile* file)
{
    return entryKind(file->fileName()) == EntryKind::File && file->open(QIODevice::ReadOnly);
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
