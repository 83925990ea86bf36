#pragma once

#include <QString>
#include <QStringList>

namespace vorn {

// How the system starts a game client: the program itself, or a loader that runs it.
struct ClientCommand
{
    QString program;
    QStringList arguments;
};

enum class ClientCommandError { None, WineMissing };

// The command that starts program with arguments on this system. Where Windows programs
// cannot run by themselves, one is handed to Wine; without Wine there is no command.
[[nodiscard]] ClientCommand clientCommand(const QString& program, const QStringList& arguments,
                                          ClientCommandError* error);

// Whether the file is a Windows program (an MZ header that points at a PE header).
[[nodiscard]] bool isWindowsProgram(const QString& path);

} // namespace vorn
