#include "launcher/news/news_feed.h"

#include "config/localization.h"
#include "config/writable_places.h"
#include "core/file_status.h"
#include "core/save_file.h"
#include "launcher/news/news_view.h"
#include "net/network_service.h"
#include "ui/news_card_delegate.h"

#include <QBuffer>
#include <QDesktopServices>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QFutureWatcher>
#include <QImageReader>
#include <QtConcurrent>

#include <algorithm>
#include <utility>

namespace vorn {

namespace {

const char kDefaultCover[] = ":/assets/news-default.png";
const char kCoverFolder[] = "news";

// The covers' folder below the launcher's cache: its root is taken as it is, the folders of
// the returned rel are ours.
OwnFolder coverCache()
{
    (void)placeFolder(Place::Cache);
    return writablePlaces().cache;
}

QString coverRel(const OwnFolder& cache, const QString& name)
{
    return cache.relativePath(QStringLiteral("%1/%2").arg(QLatin1String(kCoverFolder), name));
}

QImage readCover(QIODevice* device)
{
    QImageReader reader(device);
    // Judged by the header before anything is decoded: a small file can claim a huge image,
    // and one that does not tell its size cannot be judged at all.
    const QSize size = reader.size();
    if (size.isEmpty() || size.width() > NewsFeed::kMaxCoverSide
        || size.height() > NewsFeed::kMaxCoverSide)
        return {};
    const QSize shown = newsCardLargestImageSize();
    const bool larger = size.width() > shown.width() || size.height() > shown.height();
    if (larger)
        reader.setScaledSize(size.scaled(shown, Qt::KeepAspectRatio).expandedTo(QSize(1, 1)));
    QImage image = reader.read();
    // Not every decoder honours the scaled size.
    if (image.width() > shown.width() || image.height() > shown.height())
        image = image.scaled(shown, Qt::KeepAspectRatio, Qt::SmoothTransformation);
    return image;
}

QImage defaultCover()
{
    static const QImage image = [] {
        QFile file(QString::fromLatin1(kDefaultCover));
        return file.open(QIODevice::ReadOnly) ? readCover(&file) : QImage();
    }();
    return image;
}

// What the cache holds for a cover. Only a regular file is read: a FIFO there would block the
// read forever, a device or a link could lead anywhere. What cannot be read is not replaced
// either; the card keeps the default image.
enum class CacheState { Absent, Cached, Unusable };
struct CoverLookup
{
    CacheState state = CacheState::Unusable;
    QImage image;
};

CoverLookup lookUpCover(const QString& root, const QString& rel)
{
    const QDir dir(root);
    if (!linkedFolder(dir, rel).isEmpty())
        return {};
    const QString path = dir.filePath(rel);
    switch (entryKind(path)) {
    case EntryKind::Missing:
        return {CacheState::Absent, {}};
    case EntryKind::File: {
        QFile file(path);
        if (!openRegularFile(&file) || file.size() > NewsFeed::kImageMaxBytes)
            return {};
        // A cached file that no longer decodes keeps the default image, as a missing one did.
        return {CacheState::Cached, NewsFeed::loadCoverImage(file.read(NewsFeed::kImageMaxBytes))};
    }
    default:
        return {};
    }
}

struct DownloadedCover
{
    QImage image;
    bool stored = false;
};

// Kept only when it is an image; written only where lookUpCover would read it.
DownloadedCover storeCover(const QString& root, const QString& rel, const QByteArray& body)
{
    DownloadedCover cover{NewsFeed::loadCoverImage(body)};
    const QDir dir(root);
    if (cover.image.isNull() || !linkedFolder(dir, rel).isEmpty())
        return cover;
    const QString path = dir.filePath(rel);
    const EntryKind kind = entryKind(path);
    if (kind == EntryKind::Missing || kind == EntryKind::File)
        cover.stored = writeFileAtomically(path, body);
    return cover;
}

// Runs work on pool with what it captured (copies only) and hands its result to done on
// context's thread, unless context is gone by then.
template <typename Work, typename Done>
void runOnWorker(QObject* context, QThreadPool* pool, Work work, Done done)
{
    using Result = decltype(work());
    auto* watcher = new QFutureWatcher<Result>(context);
    QObject::connect(watcher, &QFutureWatcherBase::finished, context, [watcher, done] {
        done(watcher->result());
        watcher->deleteLater();
    });
    watcher->setFuture(QtConcurrent::run(pool, std::move(work)));
}

} // namespace

NewsFeed::NewsFeed(NetworkService& network, NewsView& view, const QString& newsUrl,
                   QObject* parent)
    : QObject(parent),
      m_network(network),
      m_view(view),
      m_newsUrl(newsUrl.trimmed()),
      m_today([] { return QDate::currentDate(); }),
      m_openLink([](const QUrl& url) { return QDesktopServices::openUrl(url); }),
      m_defaultCover(defaultCover())
{
    m_workers.setMaxThreadCount(1);
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
    m_covers.clear();
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

    runOnWorker(
        this, &m_workers, [body, url, cutoffDate] { return parseNewsPage(body, url, cutoffDate); },
        [this, cutoffDate, page, generation](const NewsPage& parsed) {
            onPageParsed(parsed, cutoffDate, page, generation);
        });
}

void NewsFeed::onPageParsed(const NewsPage& parsed, const QDate& cutoffDate, int page,
                            int generation)
{
    if (generation != m_generation)
        return;
    for (const NewsEntry& entry : parsed.entries) {
        if (m_entries.size() == kMaxEntries)
            break;
        if (rowOfLink(entry.link) >= 0)
            continue;
        m_rows.insert(entry.link, m_entries.size());
        m_entries << entry;
        m_covers << QImage();
        m_view.appendEntry(entry, m_defaultCover, m_entries.size() == 1);
        requestCover(entry.coverUrl, entry.link, true);
    }
    if (!m_entries.isEmpty() && m_current < 0) {
        m_current = 0;
        m_view.showEntry(0);
    }
    if (!parsed.reachedOld && !parsed.nextPage.isEmpty() && page < kMaxPages
        && m_entries.size() < kMaxEntries) {
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
    m_view.showMessage(title, text, isWebUrl(QUrl(link)) ? link : QString(), m_defaultCover);
}

void NewsFeed::requestCover(const QString& imageUrl, const QString& /*link*/, bool applyToItem)
{
    // Every entry with this cover gets it when it arrives, so the link is not needed to find it.
    const QUrl url(imageUrl);
    if (!isWebUrl(url) || m_coverDownloads.contains(imageUrl))
        return;
    const QString name = coverCacheFileName(url);
    if (name.isEmpty())
        return;
    m_coverDownloads.insert(imageUrl);
    const OwnFolder cache = coverCache();
    const QString root = cache.root;
    const QString rel = coverRel(cache, name);
    runOnWorker(this, &m_workers, [root, rel] { return lookUpCover(root, rel); },
                [this, imageUrl, name, applyToItem](const CoverLookup& found) {
                    if (found.state == CacheState::Absent)
                        downloadCover(imageUrl, name, applyToItem);
                    else
                        finishCover(imageUrl, applyToItem, found.image,
                                    found.state == CacheState::Cached);
                });
}

void NewsFeed::downloadCover(const QString& imageUrl, const QString& cacheName, bool applyToItem)
{
    NetworkReply* reply = m_network.get(QUrl(imageUrl), kImageTimeoutMs, kImageMaxBytes);
    connect(reply, &NetworkReply::finished, this, [=] {
        const QByteArray body = reply->body();
        const bool ok = reply->errorString().isEmpty() && !body.isEmpty();
        reply->deleteLater();
        if (!ok) {
            finishCover(imageUrl, applyToItem, QImage(), false);
            return;
        }
        const OwnFolder cache = coverCache();
        const QString root = cache.root;
        const QString rel = coverRel(cache, cacheName);
        runOnWorker(this, &m_workers, [root, rel, body] { return storeCover(root, rel, body); },
                    [this, imageUrl, applyToItem](const DownloadedCover& cover) {
                        finishCover(imageUrl, applyToItem, cover.image, cover.stored);
                    });
    });
}

void NewsFeed::finishCover(const QString& imageUrl, bool applyToItem, const QImage& cover,
                           bool stored)
{
    m_coverDownloads.remove(imageUrl);
    if (applyToItem && !cover.isNull()) {
        for (int row = 0; row < m_entries.size(); ++row) {
            if (m_entries.at(row).coverUrl != imageUrl)
                continue;
            m_covers[row] = cover;
            m_view.setEntryCover(row, cover);
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
    const OwnFolder cache = coverCache();
    const QString rel = coverRel(cache, name);
    const QDir root(cache.root);
    // Never a folder made through a linked cache folder.
    if (linkedFolder(root, rel).isEmpty())
        root.mkpath(cache.relativePath(QLatin1String(kCoverFolder)));
    return root.filePath(rel);
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
    const QImage cover = m_covers.value(m_current);
    m_view.setCover(cover.isNull() ? m_defaultCover : cover);
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
