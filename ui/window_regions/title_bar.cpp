#include "ui/window_regions/title_bar.h"

#include "config/localization.h"
#include "config/settings.h"
#include "ui/images.h"
#include "ui/language_dropdown_button.h"
#include "ui/painting.h"
#include "ui/relabel.h"
#include "ui/style.h"
#include "ui/window_control_button.h"

#include <QHBoxLayout>
#include <QIcon>
#include <QImage>
#include <QMainWindow>
#include <QMenu>
#include <QPushButton>

namespace vorn {

namespace {

QPushButton* headerButton(const char* name, QSize size, QSize iconSize, const QPixmap& icon,
                          QWidget* parent)
{
    auto* button = new QPushButton(parent);
    button->setObjectName(QLatin1String(name));
    button->setFixedSize(size);
    button->setCursor(Qt::PointingHandCursor);
    button->setIconSize(iconSize);
    if (!icon.isNull()) {
        // The brand keeps its colours when there is no site to open.
        QIcon both(icon);
        both.addPixmap(icon, QIcon::Disabled);
        button->setIcon(both);
    }
    return button;
}

QPushButton* socialButton(painting::SocialGlyph glyph, QWidget* parent)
{
    auto* button = new QPushButton(parent);
    button->setObjectName(QStringLiteral("socialButton"));
    button->setFixedSize(style::kSocialButtonSize, style::kSocialButtonSize);
    button->setCursor(Qt::PointingHandCursor);
    button->setIconSize(QSize(style::kSocialIconSize, style::kSocialIconSize));
    button->setIcon(painting::socialIcon(glyph, style::kSocialIconSize, screenDevicePixelRatios()));
    return button;
}

QPixmap brandWordmarkIcon()
{
    const QImage wordmark(assetPath("brand-wordmark.png"));
    if (wordmark.isNull())
        return {};
    return QPixmap::fromImage(wordmarkPixelPass(wordmark));
}

} // namespace

void TitleBarRegion::buildTitleBar(QMainWindow* window, QWidget* parent)
{
    titleBar = new QWidget(parent);
    titleBar->setObjectName(QStringLiteral("titleBar"));
    titleBar->setAttribute(Qt::WA_StyledBackground);
    titleBar->setFixedHeight(style::kTitleBarHeight);
    titleBar->setProperty("windowDragArea", true);
    auto* layout = new QHBoxLayout(titleBar);
    layout->setContentsMargins(12, 0, 7, 0);
    layout->setSpacing(3);

    headerLogo = headerButton("headerLogo", QSize(style::kHeaderLogoSize, style::kHeaderLogoSize),
                              QSize(style::kHeaderLogoIconWidth, style::kHeaderLogoIconHeight),
                              logoLeftHalf(QPixmap(assetPath("logo.png"))), titleBar);
    layout->addWidget(headerLogo);
    brandWordmark = headerButton("brandWordmark",
                                 QSize(style::kWordmarkWidth, style::kWordmarkHeight),
                                 QSize(style::kWordmarkWidth, style::kWordmarkIconHeight),
                                 brandWordmarkIcon(), titleBar);
    layout->addWidget(brandWordmark);
    layout->addStretch();

    auto* actions = new QWidget(titleBar);
    actions->setObjectName(QStringLiteral("headerActions"));
    actions->setFixedHeight(style::kHeaderActionsHeight);
    auto* actionsLayout = new QHBoxLayout(actions);
    actionsLayout->setContentsMargins(10, 0, 10, 0);
    actionsLayout->setSpacing(7);
    discordButton = socialButton(painting::SocialGlyph::Discord, actions);
    telegramButton = socialButton(painting::SocialGlyph::Telegram, actions);
    actionsLayout->addWidget(discordButton);
    actionsLayout->addWidget(telegramButton);
    actionsLayout->addSpacing(3);
    languageButton = new LanguageDropdownButton(actions);
    languageButton->setObjectName(QStringLiteral("languageDropdown"));
    languageButton->setFixedSize(style::kLanguageButtonWidth, style::kLanguageButtonHeight);
    languageButton->setCursor(Qt::PointingHandCursor);
    languageButton->setProperty("selectedLanguage", language().toLower());
    languageMenu = new QMenu(languageButton);
    for (const char* code : {"ru", "en"}) {
        QAction* entry = languageMenu->addAction(QString::fromLatin1(code).toUpper());
        entry->setData(QString::fromLatin1(code));
    }
    QObject::connect(languageButton, &QPushButton::clicked, languageMenu, [this] {
        languageMenu->popup(languageButton->mapToGlobal(QPoint(0, languageButton->height())));
    });
    actionsLayout->addWidget(languageButton);
    layout->addWidget(actions, 0, Qt::AlignVCenter);

    auto* controls = new QWidget(titleBar);
    controls->setObjectName(QStringLiteral("windowControls"));
    auto* controlsLayout = new QHBoxLayout(controls);
    controlsLayout->setContentsMargins(0, 3, 0, 0);
    controlsLayout->setSpacing(0);
    minimizeButton = new WindowControlButton(WindowControlKind::Minimize, controls);
    minimizeButton->setObjectName(QStringLiteral("windowButton"));
    minimizeButton->setToolTip(translate("Main/Minimize", "Minimize"));
    bindToolTipLocale(minimizeButton, "Main/Minimize", "Minimize");
    closeButton = new WindowControlButton(WindowControlKind::Close, controls);
    closeButton->setObjectName(QStringLiteral("closeButton"));
    closeButton->setToolTip(translate("Main/Close", "Close"));
    bindToolTipLocale(closeButton, "Main/Close", "Close");
    for (WindowControlButton* button : {minimizeButton, closeButton}) {
        button->setFixedSize(style::kWindowControlWidth, style::kWindowControlHeight);
        controlsLayout->addWidget(button);
    }
    QObject::connect(minimizeButton, &QPushButton::clicked, window, &QWidget::showMinimized);
    QObject::connect(closeButton, &QPushButton::clicked, window, &QWidget::close);
    layout->addWidget(controls, 0, Qt::AlignTop);
}

} // namespace vorn
