#include "launcher/program_names.h"

namespace vorn {

QString launcherProgramName()
{
    return QStringLiteral("VornLauncher.exe");
}

QString selfUpdaterProgramName()
{
    return QStringLiteral("VornSelfUpdater.exe");
}

} // namespace vorn
