#include "launcher/tray.h"

#include <QByteArray>

namespace vorn {

// Outside Windows, Qt's icon talks to the notification area (the XEmbed tray or a
// StatusNotifier host) itself; there is no second icon to add.
struct NativeTrayIcon::Impl
{
};

NativeTrayIcon::NativeTrayIcon(QWidget*, Handlers)
    : d(std::make_unique<Impl>())
{
}

NativeTrayIcon::~NativeTrayIcon() = default;

bool NativeTrayIcon::add(const QString&)
{
    return false;
}

bool NativeTrayIcon::isShown() const
{
    return false;
}

void NativeTrayIcon::setToolTip(const QString&)
{
}

bool NativeTrayIcon::showBalloon(const QString&, const QString&, int)
{
    return false;
}

void NativeTrayIcon::remove()
{
}

void NativeTrayIcon::activateMenu(QWidget*)
{
}

bool NativeTrayIcon::handleNativeEvent(const QByteArray&, void*, long*)
{
    return false;
}

} // namespace vorn
