#pragma once

#include <QString>

namespace vorn {

// File names of the launcher's own programs in its folder, as this system names programs.
[[nodiscard]] QString launcherProgramName();
[[nodiscard]] QString selfUpdaterProgramName();

} // namespace vorn
