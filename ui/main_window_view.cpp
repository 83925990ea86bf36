#include "ui/main_window_view.h"

#include "config/localization.h"
#include "config/settings.h"
#include "ui/artwork_navigation_button.h"
#include "ui/fantasy_launch_button.h"
#include "ui/fantasy_progress_bar.h"
#include "ui/game_utility_button.h"
#include "ui/images.h"
#include "ui/language_dropdown_button.h"
#include "ui/launcher_dialog.h"
#include "ui/launcher_backdrop.h"
#include "ui/news_article.h"
#include "ui/news_card_delegate.h"
#include "ui/news_cover_label.h"
#include "ui/news_slider_arrow.h"
#include "ui/painting.h"
#include "ui/profile_option_button.h"
#include "ui/relabel.h"
#include "ui/style.h"
#include "ui/styled_check_box.h"
#include "ui/window_control_button.h"
#include "ui/window_drag.h"

#include <QApplication>
#include <QButtonGroup>
#include <QComboBox>
#include <QEvent>
#include <QHBoxLayout>
#include <QIcon>
#include <QImage>
#include <QLabel>
#include <QListWidget>
#include <QMainWindow>
#include <QMenu>
#include <QPlainTextEdit>
#include <QTextBrowser>
#include <QVBoxLayout>

#include <algorithm>
#include <cmath>

namespace vorn {

namespace {

constexpr int kContentMarginTop = 12;
constexpr int kContentMarginBottom = 14;
constexpr int kNewsTopSpacing = 12;

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

ArtworkNavigationButton* artworkButton(const char* artwork, const char* captionRu,
                                       const char* captionEn, QWidget* parent)
{
    auto* button = new ArtworkNavigationButton(QPixmap(assetPath(artwork)),
                                               QPixmap(assetPath(captionRu)),
                                               QPixmap(assetPath(captionEn)), parent);
    button->setObjectName(QStringLiteral("artNavigationButton"));
    button->setFixedSize(style::kArtworkButtonWidth, style::kArtworkButtonHeight);
    button->setCursor(Qt::PointingHandCursor);
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

int newsRoomFor(int windowHeight, bool logShown)
{
    // Everything stacked above and below the news row in the left column.
    const int fixed = 2 + style::kTitleBarHeight + (logShown ? style::kLogHeight : 0)
                      + style::kFooterHeight + kContentMarginTop + kContentMarginBottom
                      + kNewsTopSpacing + style::kNavigationPanelHeight;
    return std::max(0, windowHeight - fixed);
}

double newsScaleForWindow(const QSize& windowSize)
{
    const double wr = windowSize.width() / double(style::kWindowWidth);
    const double hr = windowSize.height() / double(style::kWindowHeight);
    const double scale = std::min(std::max(wr, hr), hr + 0.25);
    return std::clamp(scale, 1.0, style::kNewsScaleMax);
}

MainWindowView::MainWindowView(QMainWindow* window) : QObject(window), window(window)
{
    window->setWindowFlags(Qt::Window | Qt::FramelessWindowHint);
    window->setMinimumSize(style::kWindowWidth, style::kWindowHeight);
    window->resize(style::kWindowWidth, style::kWindowHeight);
    window->setWindowTitle(translate("Main/WindowTitle", "Ostravel"));
    const QIcon icon(assetPath("launcher-icon.ico"));
    if (!icon.isNull()) {
        window->setWindowIcon(icon);
        QApplication::setWindowIcon(icon);
    }

    frame = new LauncherBackdrop(QPixmap(assetPath("launcher-hero-v2.png")), window);
    frame->setObjectName(QStringLiteral("windowFrame"));
    frame->setAttribute(Qt::WA_StyledBackground);
    window->setCentralWidget(frame);
    auto* frameLayout = new QVBoxLayout(frame);
    frameLayout->setContentsMargins(1, 1, 1, 1);
    frameLayout->setSpacing(0);

    buildTitleBar(frameLayout);
    buildContent(frameLayout);

    miniLog = new QPlainTextEdit(frame);
    miniLog->setObjectName(QStringLiteral("miniLog"));
    miniLog->setReadOnly(true);
    miniLog->setMaximumBlockCount(style::kLogMaxLines);
    miniLog->setFixedHeight(style::kLogHeight);
    frameLayout->addWidget(miniLog);

    buildFooter(frameLayout);

    window->setStyleSheet(QLatin1String(style::kMainWindowStyleSheet));
    setLogVisible(showLog());
    connectRequests();
    new WindowDragHelper(window, style::kResizeBorder);
    // The cards take the list's whole width, which is only known once the layout has run.
    newsList->viewport()->installEventFilter(this);
}

void MainWindowView::connectRequests()
{
    connect(checkButton, &QPushButton::clicked, this, &MainWindowView::checkRequested);
    connect(pauseButton, &QPushButton::clicked, this, &MainWindowView::pauseRequested);
    connect(playButton, &QPushButton::clicked, this, &MainWindowView::playRequested);
    connect(settingsButton, &QPushButton::clicked, this, &MainWindowView::settingsRequested);
    connect(proxyCheck, &QCheckBox::toggled, this, &MainWindowView::proxyToggled);
    connect(mirrorCheck, &QCheckBox::toggled, this, &MainWindowView::mirrorToggled);
    connect(profileCombo, QOverload<int>::of(&QComboBox::currentIndexChanged), this, [this](int index) {
        if (index >= 0)
            emit profileChosen(profileCombo->itemData(index).toString());
    });
    connect(legacyOption, &QPushButton::clicked, this,
            [this] { emit profileChosen(QStringLiteral("legacy")); });
    for (WindowLink link : kWindowLinks) {
        for (QAbstractButton* button : linkButtons(link))
            connect(button, &QAbstractButton::clicked, this, [this, link] { emit linkRequested(link); });
    }
}

QList<QAbstractButton*> MainWindowView::linkButtons(WindowLink link) const
{
    switch (link) {
    case WindowLink::Site:
        return {headerLogo, brandWordmark};
    case WindowLink::Community:
        return {discordButton};
    case WindowLink::Messenger:
        return {telegramButton};
    case WindowLink::Knowledge:
        return {knowledgeButton};
    case WindowLink::Support:
        return {supportButton};
    case WindowLink::Streams:
        return {streamsButton};
    }
    return {};
}

void MainWindowView::setLinkEnabled(WindowLink link, bool enabled)
{
    for (QAbstractButton* button : linkButtons(link)) {
        button->setEnabled(enabled);
        button->setCursor(enabled ? Qt::PointingHandCursor : Qt::ArrowCursor);
    }
}

void MainWindowView::apply(const MainViewModel& model)
{
    statusLabel->setText(model.status);
    releaseLabel->setText(model.release);
    progressBar->setValue(model.progress);
    progressPercent->setText(model.percentText);

    // The two share one place in the footer; hiding first keeps the row from widening.
    if (model.checkVisible) {
        pauseButton->setVisible(false);
        checkButton->setVisible(true);
    } else {
        checkButton->setVisible(false);
        pauseButton->setVisible(model.pauseVisible);
    }
    checkButton->setEnabled(model.checkEnabled);
    checkButton->setToolTip(model.checkToolTip);
    pauseButton->setEnabled(model.pauseEnabled);
    pauseButton->setToolTip(model.pauseToolTip);
    if (pauseButton->property("resumeGlyph").toBool() != model.pauseShowsResume) {
        pauseButton->setProperty("resumeGlyph", model.pauseShowsResume);
        pauseButton->update();
    }
    playButton->setEnabled(model.playEnabled);

    for (QCheckBox* box : {static_cast<QCheckBox*>(proxyCheck), static_cast<QCheckBox*>(mirrorCheck)}) {
        const QSignalBlocker blocker(box);
        box->setChecked(box == proxyCheck ? model.proxyChecked : model.mirrorChecked);
    }
    mirrorCheck->setEnabled(model.mirrorEnabled);
    applyProfiles(model);
}

void MainWindowView::applyProfiles(const MainViewModel& model)
{
    const QSignalBlocker blocker(profileCombo);
    if (m_profiles != model.profiles) {
        m_profiles = model.profiles;
        profileCombo->clear();
        for (const ProfileEntry& entry : model.profiles)
            profileCombo->addItem(entry.title, entry.id);
    }
    profileCombo->setCurrentIndex(profileCombo->findData(model.selectedProfile));
    modernOption->setVisible(model.modernOptionVisible);
    legacyOption->setVisible(model.legacyOptionVisible);
    // The card keeps its bottom edge and gives up the room of a client the release does not
    // offer, so a single option sits under the title instead of below an empty band.
    const int hiddenOptions = int(!model.modernOptionVisible) + int(!model.legacyOptionVisible);
    profileCard->setFixedHeight(style::kProfileCardHeight
                                - hiddenOptions * (style::kProfileOptionHeight + profileCard->layout()->spacing()));
    // The modern client is announced, never chosen: the group must not keep it checked.
    profileGroup->setExclusive(false);
    modernOption->setChecked(false);
    legacyOption->setChecked(model.legacyOptionChecked);
    profileGroup->setExclusive(true);
}

void MainWindowView::appendLogLine(const QString& line)
{
    miniLog->appendPlainText(line);
}

void MainWindowView::showMessage(const QString& title, const QString& text, LauncherMessageKind kind)
{
    openLauncherMessage(window, title, text, kind);
}

void MainWindowView::buildTitleBar(QVBoxLayout* frameLayout)
{
    titleBar = new QWidget(frame);
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
    connect(languageButton, &QPushButton::clicked, languageMenu, [this] {
        languageMenu->popup(languageButton->mapToGlobal(QPoint(0, languageButton->height())));
    });
    connect(languageMenu, &QMenu::triggered, this,
            [this](QAction* entry) { emit languageChosen(entry->data().toString()); });
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
    connect(minimizeButton, &QPushButton::clicked, window, &QWidget::showMinimized);
    connect(closeButton, &QPushButton::clicked, window, &QWidget::close);
    layout->addWidget(controls, 0, Qt::AlignTop);

    frameLayout->addWidget(titleBar);
}

void MainWindowView::buildContent(QVBoxLayout* frameLayout)
{
    contentArea = new QWidget(frame);
    contentArea->setObjectName(QStringLiteral("contentArea"));
    auto* layout = new QHBoxLayout(contentArea);
    layout->setContentsMargins(25, kContentMarginTop, 25, kContentMarginBottom);
    layout->setSpacing(22);
    buildLeftColumn(layout);
    buildRightColumn(layout);
    frameLayout->addWidget(contentArea, 1);
}

void MainWindowView::buildLeftColumn(QHBoxLayout* contentLayout)
{
    auto* column = new QVBoxLayout;
    column->setSpacing(0);
    column->addSpacing(kNewsTopSpacing);

    auto* newsRow = new QHBoxLayout;
    newsRow->setContentsMargins(0, 0, 0, 0);
    newsRow->setSpacing(6);
    previousNews = new NewsSliderArrow(false, contentArea);
    nextNews = new NewsSliderArrow(true, contentArea);
    newsList = new QListWidget(contentArea);
    newsList->setObjectName(QStringLiteral("newsList"));
    newsList->setItemDelegate(new NewsCardDelegate(newsList));
    newsList->setViewMode(QListView::IconMode);
    newsList->setFlow(QListView::LeftToRight);
    newsList->setWrapping(false);
    newsList->setResizeMode(QListView::Fixed);
    newsList->setMovement(QListView::Static);
    newsList->setSpacing(0);
    newsList->setUniformItemSizes(true);
    newsList->setHorizontalScrollMode(QAbstractItemView::ScrollPerItem);
    newsList->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    newsList->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    newsList->setProperty("newsScale", 1.0);
    newsList->setFixedHeight(style::kNewsListHeight);
    // The cards sit on the window's backdrop. A viewport that fills its background counts as
    // opaque, and Qt then scrolls and relayouts it by copying pixels, leaving earlier cards
    // painted under the new ones.
    newsList->viewport()->setAutoFillBackground(false);
    for (NewsSliderArrow* arrow : {previousNews, nextNews}) {
        arrow->setFixedWidth(style::kNewsArrowWidth);
        arrow->setSizePolicy(QSizePolicy::Fixed, QSizePolicy::Expanding);
        arrow->setCursor(Qt::PointingHandCursor);
    }
    newsRow->addWidget(previousNews);
    newsRow->addWidget(newsList, 1);
    newsRow->addWidget(nextNews);
    column->addLayout(newsRow);
    column->addStretch();

    navigationPanel = new QWidget(contentArea);
    navigationPanel->setObjectName(QStringLiteral("navigationPanel"));
    navigationPanel->setAttribute(Qt::WA_StyledBackground);
    navigationPanel->setFixedHeight(style::kNavigationPanelHeight);
    navigationPanel->setSizePolicy(QSizePolicy::Preferred, QSizePolicy::Fixed);
    auto* navigation = new QHBoxLayout(navigationPanel);
    navigation->setContentsMargins(0, 0, 0, 0);
    navigation->setSpacing(8);
    navigation->addStretch();
    knowledgeButton = artworkButton("nav-knowledge.png", "nav-label-knowledge-ru.png",
                                    "nav-label-knowledge-en.png", navigationPanel);
    knowledgeButton->setText(translate("Main/Knowledge", "KNOWLEDGE BASE"));
    bindLocale(knowledgeButton, "Main/Knowledge", "KNOWLEDGE BASE");
    knowledgeButton->setToolTip(translate("Main/Knowledge", "Knowledge base"));
    bindToolTipLocale(knowledgeButton, "Main/Knowledge", "Knowledge base");
    supportButton = artworkButton("nav-support.png", "nav-label-support-ru.png",
                                  "nav-label-support-en.png", navigationPanel);
    supportButton->setText(translate("Main/Support", "SUPPORT"));
    bindLocale(supportButton, "Main/Support", "SUPPORT");
    supportButton->setToolTip(translate("Main/Support", "Support"));
    bindToolTipLocale(supportButton, "Main/Support", "Support");
    streamsButton = artworkButton("nav-streams.png", "nav-label-streams-ru.png",
                                  "nav-label-streams-en.png", navigationPanel);
    streamsButton->setText(translate("Main/Streams", "STREAMS"));
    bindLocale(streamsButton, "Main/Streams", "STREAMS");
    streamsButton->setToolTip(translate("Main/Streams", "Streams"));
    bindToolTipLocale(streamsButton, "Main/Streams", "Streams");
    for (ArtworkNavigationButton* button : {knowledgeButton, supportButton, streamsButton})
        navigation->addWidget(button, 0, Qt::AlignVCenter);
    navigation->addStretch();
    column->addWidget(navigationPanel);

    newsCover = new NewsCoverLabel(contentArea);
    newsCover->setObjectName(QStringLiteral("newsCover"));
    newsCover->hide();
    newsText = new QTextBrowser(contentArea);
    newsText->setObjectName(QStringLiteral("newsText"));
    newsText->setHtml(newsArticleHtml(translate("Main/NewsCategory", "NEWS"),
                                      translate("Main/NewsTitle", "News").toHtmlEscaped(),
                                      translate("Main/NewsLoading", "Loading...").toHtmlEscaped(),
                                      QString()));
    newsText->hide();
    column->addWidget(newsCover);
    column->addWidget(newsText);

    contentLayout->addLayout(column, 68);
}

void MainWindowView::buildRightColumn(QHBoxLayout* contentLayout)
{
    rightColumn = new QVBoxLayout;
    rightColumn->setContentsMargins(0, 0, 0, 0);
    rightColumn->setSpacing(0);

    chronicleCard = new QWidget(contentArea);
    chronicleCard->setObjectName(QStringLiteral("chronicleCard"));
    chronicleCard->setAttribute(Qt::WA_StyledBackground);
    chronicleCard->setFixedSize(style::kCardWidth, style::kChronicleCardHeight);
    auto* chronicle = new QVBoxLayout(chronicleCard);
    chronicle->setContentsMargins(0, 0, 0, 0);
    chronicle->setSpacing(0);
    chronicle->addStretch();
    chronicleLogo = new QLabel(chronicleCard);
    chronicleLogo->setObjectName(QStringLiteral("chronicleLogo"));
    chronicleLogo->setAlignment(Qt::AlignCenter);
    chronicleLogo->setProperty("chronicleLogoRu", assetPath("chronicle-logo-ru.png"));
    chronicleLogo->setProperty("chronicleLogoEn", assetPath("chronicle-logo-en.png"));
    chronicleLogo->setPixmap(chronicleLogoFor(language(), assetPath("chronicle-logo-ru.png"),
                                              assetPath("chronicle-logo-en.png"),
                                              chronicleLogo->devicePixelRatioF()));
    chronicle->addWidget(chronicleLogo);
    chronicle->addStretch();
    rightColumn->addWidget(chronicleCard, 0, Qt::AlignRight | Qt::AlignTop);
    rightColumn->addStretch();

    profileCard = new QWidget(contentArea);
    profileCard->setObjectName(QStringLiteral("profileCard"));
    profileCard->setAttribute(Qt::WA_StyledBackground);
    profileCard->setFixedSize(style::kCardWidth, style::kProfileCardHeight);
    auto* profile = new QVBoxLayout(profileCard);
    profile->setContentsMargins(15, 13, 15, 14);
    profile->setSpacing(8);
    profileTitle = new QLabel(translate("Main/GameVersion", "GAME CLIENT"), profileCard);
    profileTitle->setObjectName(QStringLiteral("profileTitle"));
    bindLocale(profileTitle, "Main/GameVersion", "GAME CLIENT");
    profile->addWidget(profileTitle);
    profileCombo = new QComboBox(profileCard);
    profileCombo->setObjectName(QStringLiteral("profileCombo"));
    profileCombo->hide();
    profile->addWidget(profileCombo);
    modernOption = new ProfileOptionButton(profileCard);
    modernOption->setObjectName(QStringLiteral("profileOption"));
    modernOption->setFixedHeight(style::kProfileOptionHeight);
    modernOption->setToolTip(translate("Main/ModernUnavailable", "In development..."));
    bindToolTipLocale(modernOption, "Main/ModernUnavailable", "In development...");
    modernOption->setProperty("profileTitle", QStringLiteral("MODERN"));
    modernOption->setProperty("profileAccent", false);
    modernOption->setProperty("profileAvailable", false);
    legacyOption = new ProfileOptionButton(profileCard);
    legacyOption->setObjectName(QStringLiteral("profileOption"));
    legacyOption->setCheckable(true);
    legacyOption->setFixedHeight(style::kProfileOptionHeight);
    legacyOption->setCursor(Qt::PointingHandCursor);
    legacyOption->setProperty("profileTitle", QStringLiteral("LEGACY"));
    legacyOption->setProperty("profileAccent", true);
    legacyOption->setProperty("profileAvailable", true);
    profileGroup = new QButtonGroup(profileCard);
    profileGroup->setExclusive(true);
    profileGroup->addButton(modernOption);
    profileGroup->addButton(legacyOption);
    profile->addWidget(modernOption);
    profile->addWidget(legacyOption);
    profileHint = new QLabel(translate("Main/CurrentClient", "Selected client"), profileCard);
    profileHint->setObjectName(QStringLiteral("profileHint"));
    bindLocale(profileHint, "Main/CurrentClient", "Selected client");
    profileHint->hide();
    profile->addWidget(profileHint);
    refreshProfileTexts();
    rightColumn->addWidget(profileCard, 0, Qt::AlignRight | Qt::AlignBottom);

    contentLayout->addLayout(rightColumn, 32);
}

void MainWindowView::buildFooter(QVBoxLayout* frameLayout)
{
    footer = new QWidget(frame);
    footer->setObjectName(QStringLiteral("footer"));
    footer->setAttribute(Qt::WA_StyledBackground);
    footer->setFixedHeight(style::kFooterHeight);
    auto* layout = new QHBoxLayout(footer);
    layout->setContentsMargins(23, 9, 19, 11);
    layout->setSpacing(11);

    auto* left = new QVBoxLayout;
    left->setSpacing(5);
    auto* checks = new QHBoxLayout;
    proxyCheck = new StyledCheckBox(translate("Main/UseProxySettings", "Use proxy settings"), footer);
    proxyCheck->setObjectName(QStringLiteral("footerProxyCheck"));
    bindLocale(proxyCheck, "Main/UseProxySettings", "Use proxy settings");
    proxyCheck->setToolTip(translate("Main/UseProxySettingsHint",
                                     "Использовать прокси, выбранный в настройках лаунчера"));
    bindToolTipLocale(proxyCheck, "Main/UseProxySettingsHint",
                      "Использовать прокси, выбранный в настройках лаунчера");
    checks->addWidget(proxyCheck);
    checks->addSpacing(18);
    mirrorCheck = new StyledCheckBox(translate("Main/UseMirror", "Use mirror"), footer);
    mirrorCheck->setObjectName(QStringLiteral("footerMirrorCheck"));
    bindLocale(mirrorCheck, "Main/UseMirror", "Use mirror");
    mirrorCheck->setMinimumHeight(style::kCheckMinHeight);
    mirrorCheck->setToolTip(translate("Main/UseMirrorHint", "Use the additional update server"));
    bindToolTipLocale(mirrorCheck, "Main/UseMirrorHint", "Use the additional update server");
    checks->addWidget(mirrorCheck);
    checks->addStretch();
    progressPercent = new QLabel(QStringLiteral("0%"), footer);
    progressPercent->setObjectName(QStringLiteral("progressPercent"));
    checks->addWidget(progressPercent);
    left->addLayout(checks);

    progressBar = new FantasyProgressBar(footer);
    progressBar->setRange(0, 100);
    progressBar->setValue(0);
    progressBar->setTextVisible(false);
    progressBar->setFixedHeight(style::kProgressBarHeight);
    left->addWidget(progressBar);

    auto* statusRow = new QHBoxLayout;
    statusLabel = new QLabel(translate("Main/Preparing", "Preparing..."), footer);
    statusLabel->setObjectName(QStringLiteral("statusLabel"));
    // Server and engine messages and file names: shown as written, never as markup.
    statusLabel->setTextFormat(Qt::PlainText);
    bindLocale(statusLabel, "Main/Preparing", "Preparing...");
    statusLabel->setWordWrap(false);
    statusLabel->setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Preferred);
    statusRow->addWidget(statusLabel, 1);
    statusRow->addStretch();
    left->addLayout(statusRow);
    layout->addLayout(left, 1);

    const QPixmap plateNormal(assetPath("play-button-normal.png"));
    const QPixmap plateActive(assetPath("play-button-active.png"));
    checkButton = new GameUtilityButton(UtilityKind::CheckUpdate, plateNormal, plateActive, footer);
    checkButton->setToolTip(translate("Main/Check", "Check"));
    bindToolTipLocale(checkButton, "Main/Check", "Check");
    pauseButton = new GameUtilityButton(UtilityKind::PauseResume, plateNormal, plateActive, footer);
    pauseButton->setToolTip(translate("Main/Pause", "Pause"));
    bindToolTipLocale(pauseButton, "Main/Pause", "Pause");
    pauseButton->setEnabled(false);
    pauseButton->hide();
    settingsButton = new GameUtilityButton(UtilityKind::Settings, plateNormal, plateActive, footer);
    settingsButton->setToolTip(translate("Main/Settings", "Settings"));
    bindToolTipLocale(settingsButton, "Main/Settings", "Settings");
    for (GameUtilityButton* button : {checkButton, pauseButton, settingsButton}) {
        button->setObjectName(QStringLiteral("gameUtilityButton"));
        button->setFixedSize(style::kUtilityButtonSize, style::kUtilityButtonSize);
        button->setCursor(Qt::PointingHandCursor);
        layout->addWidget(button, 0, Qt::AlignVCenter);
    }

    auto* play = new QVBoxLayout;
    play->setContentsMargins(0, 8, 0, 0);
    play->setSpacing(0);
    playButton = new FantasyLaunchButton(plateNormal, plateActive, footer);
    playButton->setObjectName(QStringLiteral("playButton"));
    playButton->setFixedSize(style::kPlayButtonWidth, style::kPlayButtonHeight);
    playButton->setCursor(Qt::PointingHandCursor);
    playButton->setText(translate("Main/Play", "PLAY"));
    bindLocale(playButton, "Main/Play", "PLAY");
    play->addWidget(playButton, 0, Qt::AlignTop);
    releaseLabel = new QLabel(translate("Main/VersionNotChecked", "Version has not been checked yet"),
                              footer);
    releaseLabel->setObjectName(QStringLiteral("releaseLabel"));
    releaseLabel->setTextFormat(Qt::PlainText);
    bindLocale(releaseLabel, "Main/VersionNotChecked", "Version has not been checked yet");
    releaseLabel->setFixedSize(style::kPlayButtonWidth, style::kReleaseLabelHeight);
    releaseLabel->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
    play->addWidget(releaseLabel, 0, Qt::AlignRight);
    layout->addLayout(play);

    frameLayout->addWidget(footer);
}

void MainWindowView::refreshProfileTexts()
{
    modernOption->setProperty("profileSubtitle", translate("Main/ModernClient", "Recommended client"));
    legacyOption->setProperty("profileSubtitle", translate("Main/LegacyClient", "Compatibility client"));
    modernOption->update();
    legacyOption->update();
}

void MainWindowView::setLogVisible(bool visible)
{
    miniLog->setVisible(visible);
    rightColumn->setContentsMargins(0, 0, 0, visible ? style::kLogShownColumnMargin : 0);
    rescaleNews(window->size());
}

void MainWindowView::applyLanguage(const QString& language)
{
    relabelWidgetTree(window, language);
    refreshProfileTexts();
}

void MainWindowView::rescaleNews(const QSize& windowSize)
{
    const double scale = newsScaleForWindow(windowSize);
    newsList->setProperty("newsScale", scale);
    // With the log shown in a small window the scaled list would run into the navigation
    // panel below it; it gives up the height that is missing instead.
    const int height = std::min(static_cast<int>(std::lround(style::kNewsListHeight * scale)),
                                newsRoomFor(windowSize.height(), !miniLog->isHidden()));
    if (newsList->height() != height)
        newsList->setFixedHeight(height);
    const int cardHeight = std::min(static_cast<int>(std::lround(style::kNewsCardHeight * scale)),
                                    height - (style::kNewsListHeight - style::kNewsCardHeight));
    m_newsCardHeight = cardHeight;
    fitNewsCardsToWidth();
}

void MainWindowView::fitNewsCardsToWidth()
{
    const QSize grid(std::max(style::kNewsCardMinWidth, newsList->viewport()->width() - 1), m_newsCardHeight);
    if (newsList->gridSize() != grid)
        newsList->setGridSize(grid);
    newsList->doItemsLayout();
    newsList->viewport()->update();
}

bool MainWindowView::eventFilter(QObject* watched, QEvent* event)
{
    if (watched == newsList->viewport() && event->type() == QEvent::Resize)
        fitNewsCardsToWidth();
    return QObject::eventFilter(watched, event);
}

} // namespace vorn
