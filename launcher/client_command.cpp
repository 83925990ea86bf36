#include "launcher/client_command.h"

#include <QFile>
#include <QtEndian>

namespace vorn {

bool isWindowsProgram(const QString& path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return false;
    const QByteArray dosHeader = file.read(64);
    if (dosHeader.size() < 64 || !dosHeader.startsWith("MZ"))
        return false;
    const quint32 peOffset = qFromLittleEndian<quint32>(dosHeader.constData() + 0x3c);
    if (peOffset < 64 || qint64(peOffset) > file.size() - 4 || !file.seek(peOffset))
        return false;
    return file.read(4) == QByteArray("PE\0\0", 4);
}

} // namespace vorn
