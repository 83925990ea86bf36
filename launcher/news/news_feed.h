#pragma once

#include "launcher/news/news_page.h"

#include <QDate>
#include <QHash>
#include <QImage>
#include <QObject>
#include <QSet>
#include <QString>
#include <QThreadPool>
#include <QUrl>
#include <QVector>

#include <functional>

namespace vorn {

class NetworkReply;
class NetworkService;
class NewsView;

// The game's announcements: list pages of the website scraped into entries, their covers
// kept in the launcher's cache (news/), shown one at a time in the view.
class NewsFeed final : public QObject
{
    Q_OBJECT
public:
    static constexpr int kPageTimeoutMs = 20000;
    static constexpr qint64 kPageMaxBytes = 4 * 1024 * 1024;
    static constexpr int kImageTimeoutMs = 20000;
    static constexpr qint64 kImageMaxBytes = 16 * 1024 * 1024;
    static constexpr int kMaxPages = 24;
    // Six months of announcements are a few dozen, and the player steps through them one card
    // at a time; a site that lists more is cut here, covers included.
    static constexpr int kMaxEntries = 100;
    // A cover is decoded at most at the size a card shows it; one whose header claims more
    // pixels than this is refused before anything is decoded.
    static constexpr int kMaxCoverSide = 8192;

    // The view's intents are connected here; both must outlive the feed.
    NewsFeed(NetworkService& network, NewsView& view, const QString& newsUrl,
             QObject* parent = nullptr);

    // Takes effect at the next load.
    void setNewsUrl(const QString& newsUrl);
    // Tests fix the day the six-month cut-off counts from and catch opened links.
    void setToday(std::function<QDate()> today);
    void setLinkOpener(std::function<bool(const QUrl&)> opener);

    // A fresh load from the first page; replies of earlier loads are dropped. Nothing
    // happens without a news URL.
    void loadNews();
    // The slider arrows: wraps around at both ends.
    void stepNews(int delta);
    // Rebuilds the current entry's article and cover (after its cover was stored).
    void showCurrentNews();
    // Opens an https or http link in the browser; other schemes are refused.
    bool openLink(const QUrl& url);

    // The cover from the cache, or downloaded and stored when the cache has none; with
    // applyToItem it is shown on every entry with this cover (link names the one that asked).
    // Ends in coverFinished.
    void requestCover(const QString& imageUrl, const QString& link, bool applyToItem);
    // <launcher cache>/news/<name>, creating the folder; empty if no name can be made.
    [[nodiscard]] QString coverCachePath(const QString& imageUrl) const;
    [[nodiscard]] QString localizeImages(const QString& html) const;

    [[nodiscard]] int newsGeneration() const { return m_generation; }
    [[nodiscard]] int currentRow() const { return m_current; }
    [[nodiscard]] const QVector<NewsEntry>& entries() const { return m_entries; }
    [[nodiscard]] int coverDownloadsRunning() const { return int(m_coverDownloads.size()); }

    // A decodable image of sane size, decoded at most at the size a card shows it; else a
    // null image.
    [[nodiscard]] static QImage loadCoverImage(const QByteArray& data);

signals:
    // The current load followed its last page (or failed); loaded: some entry is shown.
    void newsFinished(bool loaded);
    // A cover request ended; stored: it is in the cache now.
    void coverFinished(const QString& imageUrl, bool stored);

private:
    void requestNewsPage(const QUrl& url, const QDate& cutoffDate, int page, int generation);
    void onNewsPage(NetworkReply* reply, const QUrl& url, const QDate& cutoffDate, int page,
                    int generation);
    void onPageParsed(const NewsPage& parsed, const QDate& cutoffDate, int page, int generation);
    void downloadCover(const QString& imageUrl, const QString& cacheName, bool applyToItem);
    void finishCover(const QString& imageUrl, bool applyToItem, const QImage& cover, bool stored);
    void showPanelMessage(const char* key, const char* fallback, const QString& link);
    [[nodiscard]] int rowOfLink(const QString& link) const;
    void openEntry(int row);

    NetworkService& m_network;
    NewsView& m_view;
    QString m_newsUrl;
    std::function<QDate()> m_today;
    std::function<bool(const QUrl&)> m_openLink;
    int m_generation = 0;
    int m_current = -1;
    QVector<NewsEntry> m_entries;
    QVector<QImage> m_covers; // by row; null while the default is shown
    QHash<QString, int> m_rows; // by link
    QSet<QString> m_coverDownloads;
    const QImage m_defaultCover;
    // Parsing and cover work stay off the GUI thread. One at a time: a cover whose format
    // cannot be decoded at a smaller size is held whole while it is scaled.
    QThreadPool m_workers;
};

} // namespace vorn
