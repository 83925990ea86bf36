#include "engine/file_ops.h"

#include <QIODevice>

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

} // namespace vorn
