#include "ui/launcher_dialog.h"

#include "config/localization.h"
#include "ui/dialog_close_button.h"
#include "ui/style.h"
#include "ui/window_drag.h"

#include <QFrame>
#include <QGuiApplication>
#include <QHBoxLayout>
#include <QLabel>
#include <QScreen>
#include <QVBoxLayout>

namespace vorn {

LauncherDialog::LauncherDialog(const QString& title, QWidget* parent)
    : QDialog(parent, Qt::Dialog | Qt::FramelessWindowHint)
{
    setObjectName(QStringLiteral("launcherDialog"));
    setModal(true);
    setWindowTitle(title);
    setStyleSheet(QLatin1String(style::kDialogStyleSheet));

    auto* outer = new QVBoxLayout(this);
    outer->setContentsMargins(0, 0, 0, 0);
    outer->setSpacing(0);

    m_frame = new QFrame(this);
    m_frame->setObjectName(QStringLiteral("dialogFrame"));
    outer->addWidget(m_frame);
    auto* frameLayout = new QVBoxLayout(m_frame);
    frameLayout->setContentsMargins(1, 1, 1, 1);
    frameLayout->setSpacing(0);

    m_titleBar = new QWidget(m_frame);
    m_titleBar->setObjectName(QStringLiteral("dialogTitleBar"));
    m_titleBar->setAttribute(Qt::WA_StyledBackground);
    m_titleBar->setFixedHeight(40);
    auto* titleLayout = new QHBoxLayout(m_titleBar);
    titleLayout->setContentsMargins(14, 0, 6, 0);
    titleLayout->setSpacing(9);
    m_title = new QLabel(title, m_titleBar);
    m_title->setObjectName(QStringLiteral("dialogTitle"));
    // The title lets presses through so that dragging on the text moves the dialog too.
    m_title->setAttribute(Qt::WA_TransparentForMouseEvents);
    titleLayout->addWidget(m_title, 1);
    m_close = new DialogCloseButton(m_titleBar);
    m_close->setObjectName(QStringLiteral("dialogClose"));
    m_close->setFixedSize(30, 30);
    m_close->setCursor(Qt::PointingHandCursor);
    m_close->setToolTip(translate("Main/Close", "Close"));
    bindToolTipLocale(m_close, "Main/Close", "Close");
    connect(m_close, &QPushButton::clicked, this, &QDialog::reject);
    titleLayout->addWidget(m_close);
    frameLayout->addWidget(m_titleBar);

    m_body = new QWidget(m_frame);
    m_body->setObjectName(QStringLiteral("dialogBody"));
    m_bodyLayout = new QVBoxLayout(m_body);
    m_bodyLayout->setContentsMargins(18, 16, 18, 17);
    m_bodyLayout->setSpacing(10);
    frameLayout->addWidget(m_body, 1);

    m_titleBar->setProperty("windowDragArea", true);
    new WindowDragHelper(this);
}

void LauncherDialog::showEvent(QShowEvent* event)
{
    if (!m_shownOnce) {
        m_shownOnce = true;
        adjustSize();
        QRect area;
        if (QWidget* owner = parentWidget() ? parentWidget()->window() : nullptr)
            area = owner->frameGeometry();
        else if (QScreen* screen = QGuiApplication::primaryScreen())
            area = screen->availableGeometry();
        if (area.isValid()) {
            QRect placed = frameGeometry();
            placed.moveCenter(area.center());
            move(placed.topLeft());
        }
    }
    QDialog::showEvent(event);
}

} // namespace vorn
