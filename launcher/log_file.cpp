#include "launcher/log_file.h"

#include "config/writable_places.h"
#include "core/file_status.h"

#include <QDir>
#include <QFileInfo>
#include <QLoggingCategory>
#include <QStandardPaths>

#include <algorithm>

namespace vorn {

Q_LOGGING_CATEGORY(lcLogFile, "vorn.logfile", QtInfoMsg)

LogFile::LogFile(QStringList candidateFolders, LogFileLimits limits)
    : m_candidates(std::move(candidateFolders))
    , m_limits(limits)
{
}

QStringList defaultLogFolders()
{
    QStringList folders{placeFilePath(Place::State, QStringLiteral("logs"))};
    const QString data = QStandardPaths::writableLocation(QStandardPaths::AppLocalDataLocation);
    if (!data.isEmpty())
        folders << QDir(data).filePath(QStringLiteral("logs"));
    return folders;
}

bool LogFile::open()
{
    for (const QString& folder : qAsConst(m_candidates)) {
        // The folder above is the launcher's or the user's and is taken as it is; the logs
        // folder itself is ours, and a link there is replaced rather than written into.
        const QFileInfo info(QDir::cleanPath(folder));
        if (!QDir().mkpath(info.absolutePath()) || !ensureOwnFolder(info.absolutePath(), info.fileName()))
            continue;
        m_file.setFileName(QDir(folder).filePath(QLatin1String(kFileName)));
        if (openRegularFileForAppend(&m_file))
            return true;
    }
    m_file.setFileName(QString());
    qCWarning(lcLogFile) << "no folder for the log file among" << m_candidates;
    m_failed = true;
    return false;
}

QString LogFile::rotatedName(int index) const
{
    const QFileInfo current(m_file.fileName());
    return current.dir().filePath(QStringLiteral("%1.%2.log").arg(current.completeBaseName()).arg(index));
}

void LogFile::rotate()
{
    const QString current = m_file.fileName();
    m_file.close();
    QFile::remove(rotatedName(m_limits.keptFiles));
    for (int i = m_limits.keptFiles - 1; i >= 1; --i)
        QFile::rename(rotatedName(i), rotatedName(i + 1));
    if (m_limits.keptFiles > 0)
        QFile::rename(current, rotatedName(1));
    else
        QFile::remove(current);
    m_file.setFileName(current);
    if (!openRegularFileForAppend(&m_file))
        m_failed = true;
}

bool LogFile::append(const QString& line)
{
    if (m_failed || (!m_file.isOpen() && !open()))
        return false;
    QByteArray bytes = line.toUtf8();
    // One enormous line must not take the file past its limit either.
    if (bytes.size() >= m_limits.maxBytes)
        bytes.truncate(int(std::max<qint64>(0, m_limits.maxBytes - 1)));
    bytes += '\n';
    if (m_file.size() > 0 && m_file.size() + bytes.size() > m_limits.maxBytes) {
        rotate();
        if (m_failed)
            return false;
    }
    return m_file.write(bytes) == bytes.size() && m_file.flush();
}

} // namespace vorn
