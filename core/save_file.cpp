#include "core/save_file.h"

#include <QDir>
#include <QFileInfo>
#include <QSaveFile>

namespace vorn {

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
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly) || file.write(bytes) != bytes.size() || !commitSaveFile(&file)) {
        if (error)
            *error = QStringLiteral("Cannot write %1: %2").arg(path, file.errorString());
        return false;
    }
    return true;
}

} // namespace vorn
