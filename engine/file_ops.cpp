#include "engine/file_ops.h"

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

bool storeVerifiedFile(const QString& path, const QByteArray& bytes, QString* error)
{
    QTemporaryFile temporary(path + QStringLiteral(".XXXXXX.part"));
    if (!temporary.open() || !writeFully(&temporary, bytes.constData(), bytes.size())
        || !temporary.flush()) {
        if (error)
            *error = temporary.errorString();
        return false;
    }
    temporary.close();
    if (!replaceEntry(temporary.fileName(), path)) {
        if (error)
            *error = QStringLiteral("Cannot store %1").arg(path);
        return false;
    }
    temporary.setAutoRemove(false);
    return true;
}

} // namespace vorn
