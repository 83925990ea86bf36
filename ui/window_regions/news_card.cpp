#include "ui/window_regions/news_card.h"

#include "config/localization.h"
#include "ui/news_article.h"
#include "ui/news_card_delegate.h"
#include "ui/news_cover_label.h"
#include "ui/news_slider_arrow.h"
#include "ui/style.h"

#include <QHBoxLayout>
#include <QListWidget>
#include <QTextBrowser>

#include <algorithm>
#include <cmath>

namespace vorn {

QHBoxLayout* NewsCardRegion::buildNewsSlider(QWidget* parent)
{
    auto* newsRow = new QHBoxLayout;
    newsRow->setContentsMargins(0, 0, 0, 0);
    newsRow->setSpacing(6);
    previousNews = new NewsSliderArrow(false, parent);
    nextNews = new NewsSliderArrow(true, parent);
    newsList = new QListWidget(parent);
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
    return newsRow;
}

void NewsCardRegion::buildNewsArticle(QWidget* parent)
{
    newsCover = new NewsCoverLabel(parent);
    newsCover->setObjectName(QStringLiteral("newsCover"));
    newsCover->hide();
    newsText = new QTextBrowser(parent);
    newsText->setObjectName(QStringLiteral("newsText"));
    newsText->setHtml(newsArticleHtml(translate("Main/NewsCategory", "NEWS"),
                                      translate("Main/NewsTitle", "News").toHtmlEscaped(),
                                      translate("Main/NewsLoading", "Loading...").toHtmlEscaped(),
                                      QString()));
    newsText->hide();
}

void NewsCardRegion::rescaleNewsCards(double scale, int room)
{
    newsList->setProperty("newsScale", scale);
    // With the log shown in a small window the scaled list would run into the navigation
    // panel below it; it gives up the height that is missing instead.
    const int height = std::min(static_cast<int>(std::lround(style::kNewsListHeight * scale)), room);
    if (newsList->height() != height)
        newsList->setFixedHeight(height);
    const int cardHeight = std::min(static_cast<int>(std::lround(style::kNewsCardHeight * scale)),
                                    height - (style::kNewsListHeight - style::kNewsCardHeight));
    m_newsCardHeight = cardHeight;
    fitNewsCardsToWidth();
}

void NewsCardRegion::fitNewsCardsToWidth()
{
    const QSize grid(std::max(style::kNewsCardMinWidth, newsList->viewport()->width() - 1), m_newsCardHeight);
    if (newsList->gridSize() != grid)
        newsList->setGridSize(grid);
    newsList->doItemsLayout();
    newsList->viewport()->update();
}

} // namespace vorn
