#pragma once

#include "config/launcher_config.h"
#include "ui/main_window_view.h"

#include <QUrl>

namespace vorn {

// What a link of the window opens: only an https or http address. The first social button
// falls back to the forum and the second to the site when their own address is missing or
// unusable; "{lang}" in the support address becomes the language in upper case. Empty when
// there is nothing safe to open.
[[nodiscard]] QUrl windowLinkTarget(const LauncherConfig& config, WindowLink link, const QString& language);

} // namespace vorn
