#include "ui/fixed_tool_tip_filter.h"

#include "ui/style.h"

#include <QEvent>
#include <QGuiApplication>
#include <QLabel>
#include <QScreen>

#include <algorithm>

namespace vorn {

QPoint fixedToolTipPosition(const QRect& anchor, const QSize& tipSize, const QRect& available)
{
    const int margin = style::kToolTipScreenMargin;
    const int gap = style::kToolTipGap;
    const int availableRight = available.x() + available.width();
    const int x = std::max(available.left() + margin,
                           std::min(anchor.left(), availableRight - tipSize.width() - margin));
    int y = anchor.top() - gap - tipSize.height();
    if (y < available.top() + margin)
        y = anchor.top() + anchor.height() + gap;
    return {x, y};
}

FixedToolTipFilter::FixedToolTipFilter(QObject* parent)
    : QObject(parent), m_tip(std::make_unique<QLabel>())
{
    m_tip->setObjectName(QStringLiteral("fixedToolTip"));
    m_tip->setWindowFlags(Qt::ToolTip | Qt::FramelessWindowHint | Qt::WindowTransparentForInput
                          | Qt::WindowDoesNotAcceptFocus);
    m_tip->setTextFormat(Qt::PlainText);
    m_tip->setAttribute(Qt::WA_ShowWithoutActivating);
    m_tip->setAttribute(Qt::WA_TransparentForMouseEvents);
    m_tip->setStyleSheet(QLatin1String(style::kToolTipLabelStyleSheet));
    m_tip->hide();
}

FixedToolTipFilter::~FixedToolTipFilter() = default;

bool FixedToolTipFilter::eventFilter(QObject* watched, QEvent* event)
{
    const QEvent::Type type = event->type();
    if (m_widget && watched == m_widget
        && (type == QEvent::Leave || type == QEvent::Hide || type == QEvent::Destroy
            || type == QEvent::MouseButtonPress || type == QEvent::Wheel)) {
        hideTip();
        return false;
    }
    if (type == QEvent::ToolTip) {
        auto* widget = qobject_cast<QWidget*>(watched);
        if (widget && !widget->toolTip().isEmpty())
            showFor(widget);
        else
            hideTip();
        return true;
    }
    return QObject::eventFilter(watched, event);
}

void FixedToolTipFilter::showFor(QWidget* widget)
{
    if (m_widget != widget) {
        if (m_widget)
            disconnect(m_widget, &QObject::destroyed, this, nullptr);
        m_widget = widget;
        // A widget deleted while its tip shows sends no event we could filter.
        connect(widget, &QObject::destroyed, this, &FixedToolTipFilter::hideTip);
    }
    m_tip->setText(widget->toolTip());
    m_tip->adjustSize();
    const QRect anchor(widget->mapToGlobal(QPoint(0, 0)), widget->size());
    QScreen* screen = QGuiApplication::screenAt(anchor.center());
    if (!screen)
        screen = QGuiApplication::primaryScreen();
    const QRect available = screen ? screen->availableGeometry() : anchor;
    m_tip->move(fixedToolTipPosition(anchor, m_tip->size(), available));
    m_tip->show();
    m_tip->raise();
}

void FixedToolTipFilter::hideTip()
{
    if (m_widget)
        disconnect(m_widget, &QObject::destroyed, this, nullptr);
    m_widget = nullptr;
    m_tip->hide();
}

} // namespace vorn
