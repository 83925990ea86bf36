#include "launcher/news/news_widgets_view.h"

#include "config/writable_places.h"
#include "core/file_status.h"
#include "launcher/news/news_feed.h"
#include "ui/main_window_view.h"
#include "ui/news_cover_label.h"
#include "ui/news_slider_arrow.h"

#include <QAbstractButton>
#include <QFile>
#include <QFileInfo>
#include <QIcon>
#include <QLabel>
#include <QListWidget>
#include <QPixmap>
#include <QTextBrowser>
#include <QTextDocument>

namespace vorn {

namespace {

// The article panel shows text scraped from a website. Whatever slips into it may name
// images, but only the launcher's own and the cached covers are ever read; remote, local
// and device files elsewhere resolve to nothing.
class ArticleDocument final : public QTextDocument
{
public:
    using QTextDocument::QTextDocument;

protected:
    QVariant loadResource(int type, const QUrl& name) override
    {
        if (type != QTextDocument::ImageResource)
            return {};
        QString path;
        bool resource = false;
        if (name.scheme() == QLatin1String("qrc") && name.path().startsWith(QLatin1String("/assets/"))) {
            path = QLatin1Char(':') + name.path();
            resource = true;
        } else if (name.isLocalFile()) {
            const QString folder =
                QFileInfo(placeFilePath(Place::Cache, QStringLiteral("news"))).canonicalFilePath();
            path = QFileInfo(name.toLocalFile()).canonicalFilePath();
            if (folder.isEmpty() || QFileInfo(path).path() != folder)
                return {};
        } else {
            return {};
        }
        // Only a regular file: a FIFO planted among the covers would block the window forever.
        QFile file(path);
        const bool opened = resource ? file.open(QIODevice::ReadOnly) : openRegularFile(&file);
        if (!opened || file.size() > NewsFeed::kImageMaxBytes)
            return {};
        const QImage image = NewsFeed::loadCoverImage(file.read(NewsFeed::kImageMaxBytes));
        return image.isNull() ? QVariant() : QVariant(image);
    }
};

QString itemText(const NewsEntry& entry)
{
    return entry.dateText.isEmpty() ? entry.title
                                    : QStringLiteral("%1\n%2").arg(entry.title, entry.dateText);
}

void setRoles(QListWidgetItem* item, const NewsEntry& entry)
{
    item->setText(itemText(entry));
    item->setData(NewsWidgetsView::ArticleRole, entry.articleHtml);
    item->setData(NewsWidgetsView::LinkRole, entry.link);
    item->setData(NewsWidgetsView::KindRole, NewsWidgetsView::EntryKind);
    item->setData(NewsWidgetsView::TitleRole, entry.title);
    item->setData(NewsWidgetsView::DateRole, entry.dateText);
    item->setData(NewsWidgetsView::DescriptionRole, entry.descriptionHtml);
    item->setData(NewsWidgetsView::AuthorRole, entry.author);
    item->setData(NewsWidgetsView::CoverUrlRole, entry.coverUrl);
}

} // namespace

NewsWidgetsView::NewsWidgetsView(QListWidget* list, QAbstractButton* previous,
                                 QAbstractButton* next, QLabel* cover, QTextBrowser* article,
                                 QObject* parent)
    : NewsView(parent), m_list(list), m_previous(previous), m_next(next), m_cover(cover), m_article(article)
{
    // A hidden arrow keeps its room, so the card stays where the slider puts it.
    for (QAbstractButton* arrow : {previous, next}) {
        QSizePolicy policy = arrow->sizePolicy();
        policy.setRetainSizeWhenHidden(true);
        arrow->setSizePolicy(policy);
    }
    updateArrows();
    m_article->setOpenLinks(false);
    m_article->setOpenExternalLinks(false);
    auto* document = new ArticleDocument(m_article);
    document->setHtml(m_article->document()->toHtml());
    m_article->setDocument(document);

    connect(previous, &QAbstractButton::clicked, this, [this] { emit stepRequested(-1); });
    connect(next, &QAbstractButton::clicked, this, [this] { emit stepRequested(1); });
    connect(m_list, &QListWidget::itemClicked, this, [this](QListWidgetItem* item) {
        if (item->data(KindRole).toInt() != MessageKind)
            emit entryActivated(m_list->row(item));
        else if (const QString link = item->data(LinkRole).toString(); !link.isEmpty())
            emit linkActivated(QUrl(link));
    });
    connect(m_article, &QTextBrowser::anchorClicked, this, &NewsView::linkActivated);
}

NewsWidgetsView::NewsWidgetsView(const MainWindowView& view, QObject* parent)
    : NewsWidgetsView(view.newsCard().newsList, view.newsCard().previousNews,
                      view.newsCard().nextNews, view.newsCard().newsCover, view.newsCard().newsText,
                      parent)
{
}

void NewsWidgetsView::clearEntries()
{
    m_list->clear();
    updateArrows();
}

void NewsWidgetsView::updateArrows()
{
    const bool several = m_list->count() > 1;
    m_previous->setHidden(!several);
    m_next->setHidden(!several);
}

QIcon NewsWidgetsView::iconOf(const QImage& cover)
{
    // Most entries start with the same default image: one icon serves them all.
    if (cover.cacheKey() != m_lastCoverKey) {
        m_lastCoverKey = cover.cacheKey();
        m_lastIcon = QIcon(QPixmap::fromImage(cover));
    }
    return m_lastIcon;
}

void NewsWidgetsView::appendEntry(const NewsEntry& entry, const QImage& cover, bool shown)
{
    auto* item = new QListWidgetItem(iconOf(cover), QString());
    setRoles(item, entry);
    if (m_list->viewMode() == QListView::ListMode)
        item->setSizeHint(QSize(0, 72));
    m_list->addItem(item);
    item->setHidden(!shown);
    updateArrows();
}

void NewsWidgetsView::updateEntry(int row, const NewsEntry& entry)
{
    if (QListWidgetItem* item = m_list->item(row))
        setRoles(item, entry);
}

void NewsWidgetsView::setEntryCover(int row, const QImage& cover)
{
    if (QListWidgetItem* item = m_list->item(row)) {
        item->setIcon(iconOf(cover));
        m_list->viewport()->update(m_list->visualItemRect(item));
    }
}

void NewsWidgetsView::showEntry(int row)
{
    for (int i = 0; i < m_list->count(); ++i)
        m_list->item(i)->setHidden(i != row);
    m_list->setCurrentRow(row);
    if (QListWidgetItem* item = m_list->item(row))
        m_list->scrollToItem(item);
    m_list->viewport()->update();
}

void NewsWidgetsView::setArticleHtml(const QString& html)
{
    m_article->setHtml(html);
}

void NewsWidgetsView::setCover(const QImage& cover)
{
    m_cover->setPixmap(QPixmap::fromImage(cover));
}

void NewsWidgetsView::showMessage(const QString& title, const QString& text, const QString& link,
                                  const QImage& cover)
{
    m_list->clear();
    auto* item = new QListWidgetItem(iconOf(cover), title);
    item->setData(KindRole, MessageKind);
    item->setData(TitleRole, title);
    item->setData(DescriptionRole, text.toHtmlEscaped());
    item->setData(LinkRole, link);
    m_list->addItem(item);
    m_list->setCurrentRow(0);
    updateArrows();
}

} // namespace vorn
