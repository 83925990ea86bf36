#pragma once

class QHBoxLayout;
class QListWidget;
class QTextBrowser;
class QWidget;

namespace vorn {

class NewsCoverLabel;
class NewsSliderArrow;

// The news card: the slider of news cards between its two arrows, and the article panel
// (cover and text) that opens below the tiles. The news feed fills it; the cards follow the
// window's size and the list's width.
struct NewsCardRegion
{
    NewsSliderArrow* previousNews = nullptr;
    NewsSliderArrow* nextNews = nullptr;
    QListWidget* newsList = nullptr;
    NewsCoverLabel* newsCover = nullptr;
    QTextBrowser* newsText = nullptr;

    // The arrows and the list in a row for the caller to place.
    [[nodiscard]] QHBoxLayout* buildNewsSlider(QWidget* parent);
    // The article panel, hidden until there is an article.
    void buildNewsArticle(QWidget* parent);

    // scale as newsScaleForWindow() gives it; room is the height the column leaves the list.
    void rescaleNewsCards(double scale, int room);
    // The cards take the list's whole width, which is only known once the layout has run.
    void fitNewsCardsToWidth();

private:
    int m_newsCardHeight = 0;
};

} // namespace vorn
