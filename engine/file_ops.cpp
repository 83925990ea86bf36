#include "engine/file_ops.h"

#include "core/file_status.h"

#include <QDir>
#include <QFile>
#include <QIODevice>
#include <QTemporaryFile>

namespace vorn {

bool writeFully(QIODevice* device, const char* data, qint64 size)
{
    qint64 written = 0;
    while (written < size) {
        const qint64 step = device->write(data + written, size - written);
        if (step <= 0)
            return false;
        written += step;
    }
    return true;
}

bool removeTree(const QString& path)
{
    switch (entryKind(path)) {
    case EntryKind::Missing:
        return true;
    case EntryKind::Link:
        return removeLink(path);
    case EntryKind::Directory: {
        const QDir folder(path);
        bool emptied = true;
        const QStringList names =
            folder.entryList(QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot);
        for (const QString& name : names)
            emptied = removeTree(folder.filePath(name)) && emptied;
        return emptied && QDir().rmdir(path);
    }
    case EntryKind::File:
    case EntryKind::Other:
        break;
    }
    if (QFile::remove(path))
        return true;
    // A read-only file cannot be deleted on Windows.
    QFile::setPermissions(path, QFile::permissions(path) | QFileDevice::WriteOwner | QFileDevice::WriteUser);
    return QFile::remove(path);
}

bool removeTree(const QString& root, const QString& rel)
{
    if (!linkedFolder(QDir(root), rel).isEmpty())
        return false;
    return removeTree(QDir(root).filePath(rel));
}

bool storeVerifiedFile(const QString& path, const QByteArray& bytes, QString* error)
{
    // A QTemporaryFile keeps its handle until it is destroyed, even when closed, and Windows
    // refuses to rename a file that is open: the temporary lives in a scope of its own.
    QString temporaryName;
    {
        QTemporaryFile temporary(path + QStringLiteral(".XXXXXX.part"));
        if (!temporary.open() || !writeFully(&temporary, bytes.constData(), bytes.size())
            || !temporary.flush()) {
            if (error)
                *error = temporary.errorString();
            return false;
        }
        temporary.setAutoRemove(false);
        temporaryName = temporary.fileName();
    }
    if (!replaceEntry(temporaryName, path)) {
        const QString cause = qt_error_string();
        QFile::remove(temporaryName);
        if (error)
            *error = QStringLiteral("Cannot store %1: %2").arg(path, cause);
        return false;
    }
    return true;
}

} // namespace vorn
