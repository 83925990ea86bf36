#include "launcher/client_command.h"

namespace vorn {

ClientCommand clientCommand(const QString& program, const QStringList& arguments,
                            ClientCommandError* error)
{
    *error = ClientCommandError::None;
    return {program, arguments};
}

} // namespace vorn
