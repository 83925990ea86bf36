#pragma once

#include "launcher/news_page.h"

#include <QDate>
#include <QHash>
#include <QImage>
#include <QObject>
#include <QSet>
#include <QString>
#include <QUrl>
#include <QVector>

#include <functional>

namespace vorn {

class NetworkReply;
class NetworkService;
class NewsView;

// The game's announcements: list pages of the website scraped into entries, their covers
// kept in cache/news beside the launcher, shown one at a time in the view.
class NewsFeed final : public QObject
{
    Q_OBJECT
public:
    static constexpr int kPageTimeoutMs = 20000;
    static constexpr qint64 kPageMaxBytes = 4 * 1024 * 1024;
    static constexpr int kImageTimeoutMs = 20000;
    static constexpr qint64 kImageMaxBytes = 16 * 1024 * 1024;
    static constexpr int kMaxPages = 24;
    // Larger covers would take hundreds of MiB to decode; no card shows more than 2048 px.
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

    void requestCover(const QString& imageUrl, const QString& link, bool applyToItem);
    // <launcher folder>/cache/news/<name>, creating the folder; empty if no name can be made.
    [[nodiscard]] QString coverCachePath(const QString& imageUrl) const;
    [[nodiscard]] QString localizeImages(const QString& html) const;

    [[nodiscard]] int newsGeneration() const { return m_generation; }
    [[nodiscard]] int currentRow() const { return m_current; }
    [[nodiscard]] const QVector<NewsEntry>& entries() const { return m_entries; }
    [[nodiscard]] int coverDownloadsRunning() const { return int(m_coverDownloads.size()); }

    // A decodable image of sane size, else a null image.
    [[nodiscard]] static QImage loadCoverImage(const QByteArray& data);

signals:
    // The current load followed its last page (or failed); loaded: some entry is shown.
    void newsFinished(bool loaded);
    // A cover download ended; stored: it is in the cache now.
    void coverFinished(const QString& imageUrl, bool stored);

private:
    void requestNewsPage(const QUrl& url, const QDate& cutoffDate, int page, int generation);
    void onNewsPage(NetworkReply* reply, const QUrl& url, const QDate& cutoffDate, int page,
                    int generation);
    void onCover(NetworkReply* reply, const QString& imageUrl, const QString& link,
                 bool applyToItem);
    void showPanelMessage(const char* key, const char* fallback, const QString& link);
    [[nodiscard]] int rowOfLink(const QString& link) const;
    [[nodiscard]] QImage cachedCover(const QString& imageUrl) const;
    [[nodiscard]] QImage coverOrDefault(const QString& imageUrl) const;
    void openEntry(int row);

    NetworkService& m_network;
    NewsView& m_view;
    QString m_newsUrl;
    std::function<QDate()> m_today;
    std::function<bool(const QUrl&)> m_openLink;
    int m_generation = 0;
    int m_current = -1;
    QVector<NewsEntry> m_entries;
    QHash<QString, int> m_rows; // by link
    QSet<QString> m_coverDownloads;
};

} // namespace vorn
