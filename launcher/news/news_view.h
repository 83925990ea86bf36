#pragma once

#include "launcher/news/news_page.h"

#include <QImage>
#include <QObject>
#include <QString>
#include <QUrl>

namespace vorn {

// What the news feed drives: a slider of entries (one shown at a time), an article panel and
// a cover. Rows are the feed's entry indexes. Intents come out as signals.
class NewsView : public QObject
{
    Q_OBJECT
public:
    using QObject::QObject;

    virtual void clearEntries() = 0;
    // Appends a row; only a shown row is visible in the slider.
    virtual void appendEntry(const NewsEntry& entry, const QImage& cover, bool shown) = 0;
    // The entry's data changed (its article was rebuilt).
    virtual void updateEntry(int row, const NewsEntry& entry) = 0;
    virtual void setEntryCover(int row, const QImage& cover) = 0;
    // Makes row current and the only visible one.
    virtual void showEntry(int row) = 0;
    virtual void setArticleHtml(const QString& html) = 0;
    virtual void setCover(const QImage& cover) = 0;
    // There is no entry to show: the slider holds one card that says why. A card with a
    // link leads there when clicked.
    virtual void showMessage(const QString& title, const QString& text, const QString& link,
                             const QImage& cover) = 0;

signals:
    void stepRequested(int delta);  // the slider arrows: -1, +1
    void entryActivated(int row);   // a card was clicked
    void linkActivated(const QUrl& url); // a link in the article panel
};

} // namespace vorn
