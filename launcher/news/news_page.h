#pragma once

#include <QByteArray>
#include <QDate>
#include <QString>
#include <QUrl>
#include <QVector>

#include <functional>

namespace vorn {

// One announcement as the news card and the article panel show it.
struct NewsEntry
{
    QString link;            // absolute URL of the announcement page: the entry's identity
    QString title;           // plain text
    QString dateText;        // "dd.MM.yyyy", "MM.yyyy" or empty
    QString descriptionHtml; // "<p>…</p>" around the escaped plain description
    QString author;          // the list pages name none
    QString coverUrl;        // absolute, or empty when the entry has no cover
    QString articleHtml;     // what the article panel shows for it
};

// What one list page yields, in page order.
struct NewsPage
{
    QVector<NewsEntry> entries; // before de-duplication against earlier pages
    bool reachedOld = false;    // an entry older than the cut-off ended the scan
    QUrl nextPage;              // empty when the page links to no further page
};

// A list page of the site shows ten to twenty announcements. One that claims thousands is cut
// here, so that a single page can neither fill memory with entries nor the network with their
// covers.
constexpr int kMaxNewsEntriesPerPage = 40;
// The card shows one line of the title and four of the description, the article panel 185
// characters; longer texts are cut, so that a page of one huge entry weighs little.
constexpr int kMaxNewsTitleChars = 300;
constexpr int kMaxNewsDescriptionChars = 2000;

// Cuts an announcement list page into entries, stopping at the first entry whose month lies
// before cutoffDate's month, and after kMaxNewsEntriesPerPage usable ones.
[[nodiscard]] NewsPage parseNewsPage(const QByteArray& body, const QUrl& pageUrl,
                                     const QDate& cutoffDate);

// Plain text of untrusted HTML, in time linear in its length however deeply it nests. Nothing
// it refers to is loaded (style sheets and images named by the site could point at local files
// or devices), and embedded objects leave no placeholder character behind.
[[nodiscard]] QString plainTextOfHtml(const QString& html);

// Escaped for element content and for attribute values in either kind of quotes.
[[nodiscard]] QString escapeHtml(const QString& text);

// At most 185 characters: longer text is cut to 182, trimmed, and ends in "...".
[[nodiscard]] QString newsExcerpt(const QString& plainText);

// The article panel's HTML for an entry; the body is reduced to an escaped excerpt.
[[nodiscard]] QString articleHtml(const QString& title, const QString& dateText,
                                  const QString& bodyHtml, const QString& author,
                                  const QString& link);

// "<sha256 of the fully encoded URL>.<extension>", the extension being the URL path's
// lower-cased suffix when it is 1 to 5 letters or digits, else "img".
[[nodiscard]] QString coverCacheFileName(const QUrl& imageUrl);

// Points every remote image of the HTML at its cached file when localFile gives one (an
// existing path), else at the default news image.
[[nodiscard]] QString localizeNewsImages(const QString& html,
                                         const std::function<QString(const QUrl&)>& localFile);

// Only web links leave the launcher: no javascript:, file: or custom schemes.
[[nodiscard]] bool isWebUrl(const QUrl& url);

} // namespace vorn
