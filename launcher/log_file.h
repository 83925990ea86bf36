#pragma once

#include <QFile>
#include <QString>
#include <QStringList>

namespace vorn {

// How large the log file may grow and how many older files stay.
struct LogFileLimits
{
    qint64 maxBytes = 1024 * 1024;
    int keptFiles = 3;
};

// The activity log on disk, for a player to send to support: the same lines as the window's
// log, one a line, flushed as written. It lives in the first of the candidate folders that
// can be written (see defaultLogFolders) and rotates: past the size
// limit the file becomes launcher.1.log, older ones move up, and only `keptFiles` old files
// remain, so the whole log never takes more than (keptFiles + 1) x maxBytes.
class LogFile final
{
public:
    explicit LogFile(QStringList candidateFolders, LogFileLimits limits = {});

    // False when no candidate folder can be written; the window's log goes on regardless.
    bool append(const QString& line);
    // The file written to; empty until the first line found a folder.
    [[nodiscard]] QString path() const { return m_file.fileName(); }

    static constexpr const char* kFileName = "launcher.log";

private:
    bool open();
    void rotate();
    [[nodiscard]] QString rotatedName(int index) const;

    QStringList m_candidates;
    LogFileLimits m_limits;
    QFile m_file;
    bool m_failed = false;
};

// The launcher's state folder (its own folder unless that is read-only), then the user's data
// folder.
[[nodiscard]] QStringList defaultLogFolders();

} // namespace vorn
