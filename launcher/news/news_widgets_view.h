#pragma once

#include "launcher/news/news_view.h"

#include <QIcon>

class QAbstractButton;
class QLabel;
class QListWidget;
class QTextBrowser;

namespace vorn {

class MainWindowView;

// The news feed's view over the main window's widgets: the card list (item data roles as the
// card delegate reads them), the slider arrows, the cover label and the article panel.
// The article panel follows no link itself and loads no resource but the launcher's own
// images and the cached covers.
class NewsWidgetsView final : public NewsView
{
    Q_OBJECT
public:
    enum Role {
        ArticleRole = 0x100, // Qt::UserRole
        LinkRole,
        KindRole, // EntryKind or MessageKind
        TitleRole,
        DateRole,
        DescriptionRole,
        AuthorRole,
        CoverUrlRole,
    };

    NewsWidgetsView(QListWidget* list, QAbstractButton* previous, QAbstractButton* next,
                    QLabel* cover, QTextBrowser* article, QObject* parent = nullptr);
    explicit NewsWidgetsView(const MainWindowView& view, QObject* parent = nullptr);

    void clearEntries() override;
    void appendEntry(const NewsEntry& entry, const QImage& cover, bool shown) override;
    void updateEntry(int row, const NewsEntry& entry) override;
    void setEntryCover(int row, const QImage& cover) override;
    void showEntry(int row) override;
    void setArticleHtml(const QString& html) override;
    void setCover(const QImage& cover) override;
    void showMessage(const QString& title, const QString& text, const QString& link,
                     const QImage& cover) override;

    enum Kind { EntryKind = 0, MessageKind = 1 };

private:
    // The arrows step between entries: with fewer than two there is nowhere to go.
    void updateArrows();
    [[nodiscard]] QIcon iconOf(const QImage& cover);

    QListWidget* m_list;
    QAbstractButton* m_previous;
    QAbstractButton* m_next;
    QLabel* m_cover;
    QTextBrowser* m_article;
    qint64 m_lastCoverKey = 0;
    QIcon m_lastIcon;
};

} // namespace vorn
