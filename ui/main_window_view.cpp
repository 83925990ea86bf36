#include "ui/main_window_view.h"

#include "config/localization.h"
#include "config/settings.h"
#include "ui/artwork_navigation_button.h"
#include "ui/fantasy_launch_button.h"
#include "ui/game_utility_button.h"
#include "ui/images.h"
#include "ui/launcher_dialog.h"
#include "ui/launcher_backdrop.h"
#include "ui/news_cover_label.h"
#include "ui/profile_option_button.h"
#include "ui/relabel.h"
#include "ui/style.h"
#include "ui/styled_check_box.h"
#include "ui/window_drag.h"

#include <QApplication>
#include <QComboBox>
#include <QEvent>
#include <QHBoxLayout>
#include <QIcon>
#include <QListWidget>
#include <QMainWindow>
#include <QMenu>
#include <QPlainTextEdit>
#include <QTextBrowser>
#include <QVBoxLayout>

#include <algorithm>

namespace vorn {

namespace {

constexpr int kContentMarginTop = 12;
constexpr int kContentMarginBottom = 14;
constexpr int kNewsTopSpacing = 12;

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

    buildTitleBar(window, frame);
    frameLayout->addWidget(titleBar);
    buildContent(frameLayout);
    buildLog(frame);
    frameLayout->addWidget(miniLog);
    buildFooter(frame);
    frameLayout->addWidget(footer);

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
    connect(languageMenu, &QMenu::triggered, this,
            [this](QAction* entry) { emit languageChosen(entry->data().toString()); });
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
    applyFooter(model);
    applyProfiles(model);
}

void MainWindowView::appendLogLine(const QString& line)
{
    miniLog->appendPlainText(line);
}

void MainWindowView::showMessage(const QString& title, const QString& text, LauncherMessageKind kind)
{
    openLauncherMessage(window, title, text, kind);
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

    column->addLayout(buildNewsSlider(contentArea));
    column->addStretch();
    buildTiles(contentArea);
    column->addWidget(navigationPanel);
    buildNewsArticle(contentArea);
    column->addWidget(newsCover);
    column->addWidget(newsText);

    contentLayout->addLayout(column, 68);
}

void MainWindowView::buildRightColumn(QHBoxLayout* contentLayout)
{
    rightColumn = new QVBoxLayout;
    rightColumn->setContentsMargins(0, 0, 0, 0);
    rightColumn->setSpacing(0);

    buildChronicleCard(contentArea);
    rightColumn->addWidget(chronicleCard, 0, Qt::AlignRight | Qt::AlignTop);
    rightColumn->addStretch();

    buildClientCard(contentArea);
    rightColumn->addWidget(profileCard, 0, Qt::AlignRight | Qt::AlignBottom);

    contentLayout->addLayout(rightColumn, 32);
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
    rescaleNewsCards(newsScaleForWindow(windowSize), newsRoomFor(windowSize.height(), !miniLog->isHidden()));
}

bool MainWindowView::eventFilter(QObject* watched, QEvent* event)
{
    if (watched == newsList->viewport() && event->type() == QEvent::Resize)
        fitNewsCardsToWidth();
    return QObject::eventFilter(watched, event);
}

} // namespace vorn
