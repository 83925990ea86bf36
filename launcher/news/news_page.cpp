#include "launcher/news/news_page.h"

#include "config/localization.h"
#include "core/sha256.h"
#include "launcher/news/news_markup.h"
#include "ui/news_article.h"

#include <QFileInfo>
#include <QRegularExpression>

namespace vorn {

namespace {

using Re = QRegularExpression;
constexpr auto kCI = Re::CaseInsensitiveOption;
constexpr auto kCIDot = Re::CaseInsensitiveOption | Re::DotMatchesEverythingOption;

const Re& entryStartPattern()
{
    static const Re re(QStringLiteral(R"(<div\s+class\s*=\s*['"]g_block['"]\s*>)"), kCI);
    return re;
}

const Re& coverPattern()
{
    static const Re re(QStringLiteral(R"(background-image\s*:\s*url\(\s*['"]?([^)'"\s]+))"), kCI);
    return re;
}

const Re& descriptionPattern()
{
    static const Re re(
        QStringLiteral(
            R"(<div\s+class\s*=\s*['"]g_desc['"][^>]*>(.*?)<a\s+class\s*=\s*['"]more_g['"])"),
        kCIDot);
    return re;
}

// The opening that every description match starts with.
const Re& descriptionOpeningPattern()
{
    static const Re re(QStringLiteral(R"(<div\s+class\s*=\s*['"]g_desc['"])"), kCI);
    return re;
}

const Re& dateInTitlePattern()
{
    static const Re re(QStringLiteral(R"((?:\[|\b)(\d{1,2})\.(\d{1,2})\.(\d{4})(?:\]|\b))"));
    return re;
}

const Re& monthInCoverPathPattern()
{
    static const Re re(QStringLiteral(R"(/(20\d{2})/(0?[1-9]|1[0-2])/)"));
    return re;
}

const Re& datePrefixPattern()
{
    static const Re re(QStringLiteral(R"(^\s*\[\d{1,2}\.\d{1,2}\.\d{4}\]\s*[—–-]?\s*)"));
    return re;
}

// At most `max` characters: longer text is cut, trimmed, and ends in "...".
QString cutText(const QString& text, int max)
{
    if (text.size() <= max)
        return text;
    // Never split a character that takes two UTF-16 units.
    const int cut = text.at(max - 4).isHighSurrogate() ? max - 4 : max - 3;
    return text.left(cut).trimmed() + QStringLiteral("...");
}

QString capture(const Re& pattern, const QString& text)
{
    const QRegularExpressionMatch match = pattern.match(text);
    return match.hasMatch() ? match.captured(1) : QString();
}

// Searched from every g_desc opening, the lazy body runs to the end of the entry each time,
// which is quadratic on a block full of openings without a "more" link. Only the first
// opening can decide: a later one closes its tag no earlier, so any "more" link it could
// reach, the first reaches too. One anchored attempt there gives the same capture.
QString descriptionCapture(const QString& entry)
{
    const QRegularExpressionMatch opening = descriptionOpeningPattern().match(entry);
    if (!opening.hasMatch())
        return {};
    const QRegularExpressionMatch match = descriptionPattern().match(
        entry, opening.capturedStart(), Re::NormalMatch, Re::AnchoredMatchOption);
    return match.hasMatch() ? match.captured(1) : QString();
}

// A URL taken from the page, or none when the page gave nothing (resolving an empty
// reference would name the list page itself).
QUrl resolvedCapture(const QUrl& pageUrl, const QString& captured)
{
    const QString trimmed = captured.trimmed();
    return trimmed.isEmpty() ? QUrl() : pageUrl.resolved(QUrl(trimmed));
}

} // namespace

NewsPage parseNewsPage(const QByteArray& body, const QUrl& pageUrl, const QDate& cutoffDate)
{
    NewsPage page;
    const QString html = QString::fromUtf8(body);
    QVector<int> starts;
    QRegularExpressionMatchIterator it = entryStartPattern().globalMatch(html);
    while (it.hasNext())
        starts << it.next().capturedEnd();

    const QDate cutoffMonth(cutoffDate.year(), cutoffDate.month(), 1);
    for (int k = 0; k < starts.size(); ++k) {
        const int end = k + 1 < starts.size() ? starts.at(k + 1) : html.size();
        const QString text = html.mid(starts.at(k), end - starts.at(k));

        const QUrl linkUrl = resolvedCapture(pageUrl, findAnnouncementLink(text).in(text));
        const QUrl coverUrl = resolvedCapture(pageUrl, capture(coverPattern(), text));
        QString title = cutText(plainTextOfHtml(findTitle(text).in(text)).trimmed(),
                                kMaxNewsTitleChars);

        QDate date;
        bool exactDay = false;
        const QRegularExpressionMatch day = dateInTitlePattern().match(title);
        if (day.hasMatch()) {
            date = QDate(day.captured(3).toInt(), day.captured(2).toInt(), day.captured(1).toInt());
            exactDay = date.isValid();
        }
        if (!date.isValid()) {
            const QRegularExpressionMatch month = monthInCoverPathPattern().match(coverUrl.path());
            if (month.hasMatch())
                date = QDate(month.captured(1).toInt(), month.captured(2).toInt(), 1);
        }
        if (date.isValid() && date < cutoffMonth) {
            page.reachedOld = true;
            break;
        }
        title.remove(datePrefixPattern());

        NewsEntry entry;
        entry.link = linkUrl.toString();
        entry.title = title;
        entry.coverUrl = coverUrl.toString();
        const QString description =
            cutText(plainTextOfHtml(descriptionCapture(text)).trimmed().simplified(),
                    kMaxNewsDescriptionChars);
        entry.descriptionHtml = QStringLiteral("<p>%1</p>").arg(escapeHtml(description));
        if (date.isValid())
            entry.dateText = date.toString(exactDay ? QStringLiteral("dd.MM.yyyy")
                                                    : QStringLiteral("MM.yyyy"));
        if (entry.title.isEmpty() || entry.link.isEmpty())
            continue;
        entry.articleHtml = articleHtml(entry.title, entry.dateText, entry.descriptionHtml,
                                        entry.author, entry.link);
        page.entries << entry;
        if (page.entries.size() == kMaxNewsEntriesPerPage)
            break;
    }

    if (!page.reachedOld)
        page.nextPage = resolvedCapture(pageUrl, findNextPageLink(html).in(html));
    return page;
}

QString plainTextOfHtml(const QString& html)
{
    return flattenMarkup(html);
}

QString escapeHtml(const QString& text)
{
    return text.toHtmlEscaped().replace(QLatin1Char('\''), QLatin1String("&#39;"));
}

QString newsExcerpt(const QString& plainText)
{
    return cutText(plainText, 185);
}

QString articleHtml(const QString& title, const QString& dateText, const QString& bodyHtml,
                    const QString& author, const QString& link)
{
    const QString excerpt =
        escapeHtml(newsExcerpt(plainTextOfHtml(bodyHtml).trimmed().simplified()));
    QString details;
    if (!author.isEmpty() || !dateText.isEmpty()) {
        details = QStringLiteral("<div class='details'>");
        if (!author.isEmpty())
            details += QStringLiteral("%1 <b>%2</b>")
                           .arg(translate("News/Author", "Author:"), escapeHtml(author));
        if (!author.isEmpty() && !dateText.isEmpty())
            details += QStringLiteral("<span>|</span>");
        if (!dateText.isEmpty())
            details += escapeHtml(dateText);
        details += QStringLiteral("</div>");
    }
    QString source;
    if (!link.isEmpty())
        source = QStringLiteral("<p class='source'><a href='%1'>%2 &#8599;</a></p>")
                     .arg(escapeHtml(link), translate("News/ReadOnSite", "Read on website"));
    return newsArticleHtml(translate("Main/NewsCategory", "NEWS"), escapeHtml(title), excerpt,
                           details + source);
}

QString coverCacheFileName(const QUrl& imageUrl)
{
    const QByteArray digest = Sha256::hash(imageUrl.toEncoded(QUrl::FullyEncoded));
    if (digest.isEmpty())
        return {};
    static const Re extensionPattern(QStringLiteral("^[a-z0-9]{1,5}$"));
    QString extension = QFileInfo(imageUrl.path()).suffix().toLower();
    if (!extensionPattern.match(extension).hasMatch())
        extension = QStringLiteral("img");
    return QString::fromLatin1(digest.toHex()) + QLatin1Char('.') + extension;
}

QString localizeNewsImages(const QString& html,
                           const std::function<QString(const QUrl&)>& localFile)
{
    QString result;
    int copied = 0;
    for (const MarkupSpan& source : findImageSources(html)) {
        const QString file = localFile(QUrl(source.in(html)));
        result += html.midRef(copied, source.start - copied);
        // Encoded, so that no character of the path can end the attribute.
        result += file.isEmpty() ? QStringLiteral("qrc:/assets/news-default.png")
                                 : QString::fromLatin1(QUrl::fromLocalFile(file).toEncoded());
        copied = source.start + source.length;
    }
    result += html.midRef(copied);
    return result;
}

bool isWebUrl(const QUrl& url)
{
    const QString scheme = url.scheme().toLower();
    return url.isValid() && !url.host().isEmpty()
           && (scheme == QLatin1String("https") || scheme == QLatin1String("http"));
}

} // namespace vorn
