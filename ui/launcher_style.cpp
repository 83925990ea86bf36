#include "ui/launcher_style.h"

namespace vorn {

LauncherStyle::LauncherStyle() : QProxyStyle(static_cast<QStyle*>(nullptr)) {}

int LauncherStyle::styleHint(StyleHint hint, const QStyleOption* option, const QWidget* widget,
                             QStyleHintReturn* returnData) const
{
    if (hint == QStyle::SH_ToolTip_WakeUpDelay)
        return 0;
    return QProxyStyle::styleHint(hint, option, widget, returnData);
}

} // namespace vorn
