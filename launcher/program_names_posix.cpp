#include "launcher/program_names.h"

namespace vorn {

QString launcherProgramName()
{
    return QStringLiteral("VornLauncher");
}

QString selfUpdaterProgramName()
{
    return QStringLiteral("VornSelfUpdater");
}

} // namespace vorn
