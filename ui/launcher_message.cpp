#include "ui/launcher_message.h"

#include "config/localization.h"
#include "ui/launcher_dialog.h"
#include "ui/style.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>


namespace vorn {

namespace {

struct Badge
{
    QString glyph;
    QRgb color;
};

Badge badgeFor(LauncherMessageKind kind)
{
    switch (kind) {
    case LauncherMessageKind::Warning:
        return {QStringLiteral("!"), style::kBadgeWarning};
    case LauncherMessageKind::Error:
        return {QString(QChar(0x00D7)), style::kBadgeError};
    case LauncherMessageKind::Information:
        break;
    }
    return {QStringLiteral("i"), style::kBadgeInformation};
}

} // namespace

LauncherDialog* createLauncherMessage(QWidget* parent, const QString& title, const QString& text,
                                      LauncherMessageKind kind)
{
    auto* dialog = new LauncherDialog(title, parent);
    dialog->setMinimumWidth(style::kMessageMinWidth);
    dialog->setMaximumWidth(style::kMessageMaxWidth);

    auto* row = new QHBoxLayout;
    row->setSpacing(13);
    const Badge badge = badgeFor(kind);
    auto* badgeLabel = new QLabel(badge.glyph, dialog);
    badgeLabel->setObjectName(QStringLiteral("messageBadge"));
    badgeLabel->setFixedSize(style::kBadgeSize, style::kBadgeSize);
    badgeLabel->setAlignment(Qt::AlignCenter);
    const QString colorName = style::color(badge.color).name();
    badgeLabel->setStyleSheet(QLatin1String(style::kBadgeStyleSheet).arg(colorName, colorName));
    row->addWidget(badgeLabel, 0, Qt::AlignTop);

    auto* message = new QLabel(text, dialog);
    message->setObjectName(QStringLiteral("messageText"));
    // File paths, server answers and engine messages end up here: shown as written.
    message->setTextFormat(Qt::PlainText);
    message->setWordWrap(true);
    message->setTextInteractionFlags(Qt::TextSelectableByMouse);
    message->setStyleSheet(QLatin1String(style::kMessageTextStyleSheet));
    row->addWidget(message, 1);
    dialog->bodyLayout()->addLayout(row);

    auto* buttons = new QHBoxLayout;
    buttons->addStretch();
    auto* ok = new QPushButton(translate("Settings/Ok", "OK"), dialog);
    ok->setObjectName(QStringLiteral("primaryButton"));
    bindLocale(ok, "Settings/Ok", "OK");
    QObject::connect(ok, &QPushButton::clicked, dialog, &QDialog::accept);
    buttons->addWidget(ok);
    dialog->bodyLayout()->addLayout(buttons);
    ok->setDefault(true);
    return dialog;
}

void openLauncherMessage(QWidget* parent, const QString& title, const QString& text,
                         LauncherMessageKind kind)
{
    LauncherDialog* dialog = createLauncherMessage(parent, title, text, kind);
    dialog->setAttribute(Qt::WA_DeleteOnClose);
    dialog->setObjectName(QStringLiteral("launcherMessage"));
    dialog->open();
}

} // namespace vorn
