#include "launcher/news_feed.h"

#include "config/localization.h"
#include "config/settings.h"
#include "core/save_file.h"
#include "launcher/news_view.h"
#include "net/network_service.h"

#include <QBuffer>
#include <QDesktopServices>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QImageReader>

#include <algorithm>
#include <utility>

namespace vorn {

namespace {

const char kDefaultCover[] = ":/assets/news-default.png";

QImage readCover(QIODevice* device)
{
    QImageReader reader(device);
    // Judged by the header before anything is decoded: a small file can claim a huge image.
    const QSize size = reader.size();
    if (size.isValid()
        && (size.width() > NewsFeed::kMaxCoverSide || size.height() > NewsFeed::kMaxCoverSide))
        return {};
    QImage image = reader.read();
    if (image.width() > NewsFeed::kMaxCoverSide || image.height() > NewsFeed::kMaxCoverSide)
        return {};
    return image;
}

} // namespace

NewsFeed::NewsFeed(NetworkService& network, NewsView& view, const QString& newsUrl,
                   QObject* parent)
    : QObject(parent),
      m_network(network),
      m_view(view),
      m_newsUrl(newsUrl.trimmed()),
      m_today([] { return QDate::currentDate(); }),
      m_openLink([](const QUrl& url) { return QDesktopServices::openUrl(url); })
{
    connect(&view, &NewsView::stepRequested, this, &NewsFeed::stepNews);
    connect(&view, &NewsView::entryActivated, this, &NewsFeed::openEntry);
    connect(&view, &NewsView::linkActivated, this, [this](const QUrl& url) { (void)openLink(url); });
}

void NewsFeed::setNewsUrl(const QString& newsUrl)
{
    m_newsUrl = newsUrl.trimmed();
}

void NewsFeed::setToday(std::function<QDate()> today)
{
    m_today = std::move(today);
}

void NewsFeed::setLinkOpener(std::function<bool(const QUrl&)> opener)
{
    m_openLink = std::move(opener);
}

QImage NewsFeed::loadCoverImage(const QByteArray& data)
{
    QBuffer buffer;
    buffer.setData(data);
    if (data.isEmpty() || !buffer.open(QIODevice::ReadOnly))
        return {};
    return readCover(&buffer);
}

void NewsFeed::loadNews()
{
    if (m_newsUrl.isEmpty())
        return;
    ++m_generation;
    m_entries.clear();
    m_rows.clear();
    m_current = -1;
    m_view.clearEntries();
    requestNewsPage(QUrl(m_newsUrl), m_today().addMonths(-6), 1, m_generation);
}

void NewsFeed::requestNewsPage(const QUrl& url, const QDate& cutoffDate, int page, int generation)
{
    NetworkReply* reply = m_network.get(url, kPageTimeoutMs, kPageMaxBytes);
    connect(reply, &NetworkReply::finished, this, [=] {
        onNewsPage(reply, url, cutoffDate, page, generation);
    });
}

void NewsFeed::onNewsPage(NetworkReply* reply, const QUrl& url, const QDate& cutoffDate,
                          int page, int generation)
{
    const QByteArray body = reply->body();
    const bool ok = reply->errorString().isEmpty();
    reply->deleteLater();
    if (generation != m_generation)
        return;
    if (!ok) {
        // Entries of earlier pages stay; only an empty slider explains itself.
        if (m_entries.isEmpty())
            showPanelMessage("Main/NewsLoadFailed", "Unable to load news.", QString());
        emit newsFinished(!m_entries.isEmpty());
        return;
    }

    const NewsPage parsed = parseNewsPage(body, url, cutoffDate);
    for (const NewsEntry& entry : parsed.entries) {
        if (rowOfLink(entry.link) >= 0)
            continue;
        m_rows.insert(entry.link, m_entries.size());
        m_entries << entry;
        m_view.appendEntry(entry, coverOrDefault(entry.coverUrl), m_entries.size() == 1);
        requestCover(entry.coverUrl, entry.link, true);
    }
    if (!m_entries.isEmpty() && m_current < 0) {
        m_current = 0;
        m_view.showEntry(0);
    }
    if (!parsed.reachedOld && !parsed.nextPage.isEmpty() && page < kMaxPages) {
        requestNewsPage(parsed.nextPage, cutoffDate, page + 1, generation);
        return;
    }
    if (m_entries.isEmpty())
        showPanelMessage("Main/NewsParseFailed",
                         "The website format has changed; news could not be parsed.", m_newsUrl);
    emit newsFinished(!m_entries.isEmpty());
}

void NewsFeed::showPanelMessage(const char* key, const char* fallback, const QString& link)
{
    const QString title = translate("Main/NewsTitle", "News");
    const QString text = translate(key, fallback);
    m_view.setArticleHtml(articleHtml(title, QString(), QStringLiteral("<p>%1</p>").arg(text.toHtmlEscaped()),
                                      QString(), link));
    m_view.showMessage(title, text, isWebUrl(QUrl(link)) ? link : QString(), coverOrDefault(QString()));
}

void NewsFeed::requestCover(const QString& imageUrl, const QString& link, bool applyToItem)
{
    const QUrl url(imageUrl);
    if (!isWebUrl(url) || m_coverDownloads.contains(imageUrl))
        return;
    const QString path = coverCachePath(imageUrl);
    if (path.isEmpty() || QFileInfo::exists(path))
        return;
    m_coverDownloads.insert(imageUrl);
    NetworkReply* reply = m_network.get(url, kImageTimeoutMs, kImageMaxBytes);
    connect(reply, &NetworkReply::finished, this, [=] {
        onCover(reply, imageUrl, link, applyToItem);
    });
}

void NewsFeed::onCover(NetworkReply* reply, const QString& imageUrl, const QString& link,
                       bool applyToItem)
{
    m_coverDownloads.remove(imageUrl);
    const QByteArray body = reply->body();
    const bool ok = reply->errorString().isEmpty();
    reply->deleteLater();

    const QImage image = ok ? loadCoverImage(body) : QImage();
    bool stored = false;
    if (!image.isNull()) {
        const QString path = coverCachePath(imageUrl);
        stored = !path.isEmpty() && writeFileAtomically(path, body);
    }
    if (applyToItem && !image.isNull()) {
        const int row = rowOfLink(link);
        if (row >= 0 && m_entries.at(row).coverUrl == imageUrl) {
            m_view.setEntryCover(row, image);
            if (row == m_current)
                showCurrentNews();
        }
    }
    emit coverFinished(imageUrl, stored);
}

QString NewsFeed::coverCachePath(const QString& imageUrl) const
{
    const QString name = coverCacheFileName(QUrl(imageUrl));
    if (name.isEmpty())
        return {};
    const QString folder = launcherFilePath(QStringLiteral("cache/news"));
    QDir().mkpath(folder);
    return QDir(folder).filePath(name);
}

QImage NewsFeed::cachedCover(const QString& imageUrl) const
{
    if (imageUrl.isEmpty())
        return {};
    QFile file(coverCachePath(imageUrl));
    if (!file.open(QIODevice::ReadOnly))
        return {};
    return readCover(&file);
}

QImage NewsFeed::coverOrDefault(const QString& imageUrl) const
{
    const QImage cached = cachedCover(imageUrl);
    return cached.isNull() ? QImage(QString::fromLatin1(kDefaultCover)) : cached;
}

QString NewsFeed::localizeImages(const QString& html) const
{
    return localizeNewsImages(html, [this](const QUrl& url) {
        const QString path = coverCachePath(url.toString());
        return !path.isEmpty() && QFileInfo::exists(path) ? path : QString();
    });
}

void NewsFeed::showCurrentNews()
{
    if (m_current < 0 || m_current >= m_entries.size())
        return;
    NewsEntry& entry = m_entries[m_current];
    entry.articleHtml = articleHtml(entry.title, entry.dateText,
                                    localizeImages(entry.descriptionHtml), entry.author, entry.link);
    m_view.updateEntry(m_current, entry);
    m_view.setArticleHtml(entry.articleHtml);
    const QImage cover = coverOrDefault(entry.coverUrl);
    if (!cover.isNull())
        m_view.setCover(cover);
}

void NewsFeed::stepNews(int delta)
{
    const int count = m_entries.size();
    if (count == 0)
        return;
    m_current = ((std::max(m_current, 0) + delta) % count + count) % count;
    m_view.showEntry(m_current);
}

void NewsFeed::openEntry(int row)
{
    if (row >= 0 && row < m_entries.size())
        (void)openLink(QUrl(m_entries.at(row).link));
}

bool NewsFeed::openLink(const QUrl& url)
{
    return isWebUrl(url) && m_openLink(url);
}

int NewsFeed::rowOfLink(const QString& link) const
{
    return m_rows.value(link, -1);
}

} // namespace vorn
