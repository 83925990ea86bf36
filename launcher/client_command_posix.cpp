#include "launcher/client_command.h"

#include <QStandardPaths>

namespace vorn {

ClientCommand clientCommand(const QString& program, const QStringList& arguments,
                            ClientCommandError* error)
{
    *error = ClientCommandError::None;
    if (!isWindowsProgram(program))
        return {program, arguments};
    const QString wine = QStandardPaths::findExecutable(QStringLiteral("wine"));
    if (wine.isEmpty()) {
        *error = ClientCommandError::WineMissing;
        return {};
    }
    return {wine, QStringList{program} + arguments};
}

} // namespace vorn
