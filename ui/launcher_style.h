#pragma once

#include <QProxyStyle>

namespace vorn {

// The application style: tool tips wake up at once (they are placed by FixedToolTipFilter).
class LauncherStyle final : public QProxyStyle
{
    Q_OBJECT
public:
    LauncherStyle();

    int styleHint(StyleHint hint, const QStyleOption* option = nullptr,
                  const QWidget* widget = nullptr,
                  QStyleHintReturn* returnData = nullptr) const override;
};

} // namespace vorn
