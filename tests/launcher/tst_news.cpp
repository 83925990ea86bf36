// The news feed against pages written in the website's markup, served by the loopback server
// and shown in real widgets.
#include "config/settings.h"
#include "core/file_status.h"
#include "launcher/news/news_feed.h"
#include "launcher/news/news_markup.h"
#include "launcher/news/news_page.h"
#include "launcher/news/news_widgets_view.h"
#include "net/network_service.h"
#include "tests/support/http_test_server.h"
#include "ui/news_card_delegate.h"

#include <QBuffer>
#include <QCryptographicHash>
#include <QLabel>
#include <QListWidget>
#include <QPushButton>
#include <QRandomGenerator>
#include <QRegularExpression>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTextBrowser>
#include <QtTest>

#include <sys/inotify.h>
#include <sys/stat.h>
#include <unistd.h>

using namespace vorn;
using vorn::test::HttpResponse;
using vorn::test::HttpTestServer;

namespace {

const QDate kToday(2025, 6, 15); // the cut-off month is December 2024

QByteArray fixture(const QString& name)
{
    QFile file(QStringLiteral(VORN_NEWS_FIXTURES "/") + name);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

QByteArray png(const QColor& color, const QSize& size = QSize(40, 30))
{
    QImage image(size, QImage::Format_RGB32);
    image.fill(color);
    QBuffer buffer;
    buffer.open(QIODevice::WriteOnly);
    image.save(&buffer, "PNG");
    return buffer.data();
}

// One list page of the site's markup: entries "slug|title|cover path", then a next link.
QByteArray listPage(const QStringList& entries, const QString& next = QString())
{
    QString html = QStringLiteral("<html><body>");
    for (const QString& entry : entries) {
        const QStringList f = entry.split(QLatin1Char('|'));
        html += QStringLiteral("<div class=\"g_block\"><a class=\"g_img\" "
                               "href=\"https://ostravel.example/announce/%1/\" "
                               "style=\"background-image:url('%3')\"></a><h2>%2</h2>"
                               "<div class=\"g_desc\">Text of %1.<a class=\"more_g\" "
                               "href=\"https://ostravel.example/announce/%1/\">More</a></div></div>")
                    .arg(f.at(0), f.at(1), f.value(2));
    }
    if (!next.isEmpty())
        html += QStringLiteral("<div class=\"pager\"><a href=\"%1\">Next</a></div>").arg(next);
    return (html + QStringLiteral("</body></html>")).toUtf8();
}

QString summary(const QVector<NewsEntry>& entries)
{
    QStringList parts;
    for (const NewsEntry& entry : entries)
        parts << entry.title + QLatin1Char('|') + entry.dateText;
    return parts.join(QLatin1Char(';'));
}

// The markup scans against the expressions they stand for, as the site's pages were first read.
struct MarkupCase
{
    QRegularExpression pattern;
    bool everyMatch;
    QVector<MarkupSpan> (*scan)(QStringView text);
};
enum MarkupKind { Link, Title, Next, Images };

const QVector<MarkupCase>& markupCases()
{
    using Re = QRegularExpression;
    constexpr auto ci = Re::CaseInsensitiveOption;
    static const QVector<MarkupCase> cases{
        {Re(QStringLiteral("<a[^>]+href\\s*=\\s*['\"]([^'\"]+/announce/[^'\"]+/)['\"]"), ci), false,
         [](QStringView text) { return QVector<MarkupSpan>{findAnnouncementLink(text)}; }},
        {Re(QStringLiteral("<h2[^>]*>(.*?)</h2>"), ci | Re::DotMatchesEverythingOption), false,
         [](QStringView text) { return QVector<MarkupSpan>{findTitle(text)}; }},
        {Re(QStringLiteral("<a[^>]+href\\s*=\\s*['\"]([^'\"]*/announce/list/page/\\d+/)['\"][^>]*>\\s*(?:Далее|Next)"), ci),
         false, [](QStringView text) { return QVector<MarkupSpan>{findNextPageLink(text)}; }},
        {Re(QStringLiteral("<img[^>]+src\\s*=\\s*['\"](https?://[^'\"]+)['\"]"), ci), true, findImageSources},
    };
    return cases;
}

// Captures by start and length, in order: the same text found at another place is a fault.
QVector<QPair<int, int>> expressionCaptures(const MarkupCase& c, const QString& text)
{
    QVector<QPair<int, int>> spans;
    QRegularExpressionMatchIterator it = c.pattern.globalMatch(text);
    while (it.hasNext() && (c.everyMatch || spans.isEmpty())) {
        const QRegularExpressionMatch match = it.next();
        spans.append({match.capturedStart(1), match.capturedLength(1)});
    }
    return spans;
}

QVector<QPair<int, int>> scanCaptures(const MarkupCase& c, const QString& text)
{
    QVector<QPair<int, int>> spans;
    for (const MarkupSpan& span : c.scan(text)) {
        if (span.found())
            spans.append({span.start, span.length});
    }
    return spans;
}

// Pieces of what the expressions look for, with near misses: other cases, folded letters,
// a space that \s does not take, a digit that \d does not take.
QString randomMarkup(QRandomGenerator& random)
{
    static const char* const pieces[] = {
        "<a", "<A ", "<img", "<IMG ", "<h2", "<H2 class='t'>", "</h2>", "</H2>", "href", " HREF", "src",
        " SRC", "=", " = ", "'", "\"", ">", "/announce/list/page/12/", "/ANNOUNCE/LIST/PAGE/3/",
        "/announce/li\u017Ft/page/4/", "/announce/list/page/\u0662/", "/announce/news/", "https://o.example",
        "HTTP://", "http\u017F://x", "/", "7", " ", "\t", "\n", "\v", "\u00A0", "Next", "NEXT", "nExT",
        "Далее", "ДАЛЕЕ", "\u1C81алее", "x", "\U0001F409", "<a href='/announce/list/page/5/'>Next",
        "<a href=\"https://o.example/announce/a/\"", "<img src='https://o.example/i.png'", "<h2>T</h2>"};
    QString text;
    for (int i = int(random.bounded(1, 31)); i > 0; --i)
        text += QString::fromUtf8(pieces[random.bounded(int(std::size(pieces)))]);
    return text;
}

// A list page of `count` entries under prefix, title and description wrapped in `nesting`
// <div>s, each entry with its own cover under prefix/covers/, and a link to the next page.
QByteArray hostilePage(const QByteArray& prefix, int page, int count, int nesting, bool more)
{
    const QByteArray open = QByteArray("<div>").repeated(nesting);
    const QByteArray close = QByteArray("</div>").repeated(nesting);
    QByteArray html = "<html><body>";
    for (int i = 0; i < count; ++i) {
        const QByteArray slug = QByteArray::number(page) + '-' + QByteArray::number(i);
        html += "<div class=\"g_block\"><a href=\"https://ostravel.example/announce" + prefix + '/'
                + slug + "/\" style=\"background-image:url('" + prefix + "/covers/" + slug
                + ".png')\"></a><h2>" + open + "Entry " + slug + close + "</h2><div class=\"g_desc\">"
                + open + "Deep text" + close + "<a class=\"more_g\" href=\"x\">More</a></div></div>";
    }
    if (more)
        html += "<a href=\"" + prefix + "/announce/list/page/" + QByteArray::number(page + 1) + "/\">Next</a>";
    return html + "</body></html>";
}

// The window's news widgets driven by a feed; links are caught instead of opened.
struct Harness
{
    QListWidget list;
    QPushButton previous;
    QPushButton next;
    QLabel cover;
    QTextBrowser article;
    NewsWidgetsView view{&list, &previous, &next, &cover, &article};
    NetworkService network;
    NewsFeed feed;
    QList<QUrl> opened;

    explicit Harness(const QString& newsUrl) : feed(network, view, newsUrl)
    {
        feed.setToday([] { return kToday; });
        feed.setLinkOpener([this](const QUrl& url) {
            opened << url;
            return true;
        });
    }

    // The pages and then the covers of one load.
    bool load()
    {
        QSignalSpy finished(&feed, &NewsFeed::newsFinished);
        feed.loadNews();
        return finished.wait(30000) && finished.count() == 1
               && QTest::qWaitFor([this] { return feed.coverDownloadsRunning() == 0; }, 30000);
    }

    [[nodiscard]] QList<int> visibleRows() const
    {
        QList<int> rows;
        for (int row = 0; row < list.count(); ++row) {
            if (!list.item(row)->isHidden())
                rows << row;
        }
        return rows;
    }

    [[nodiscard]] QSize iconSize(int row) const
    {
        const QIcon icon = list.item(row)->icon();
        return icon.actualSize(QSize(2048, 2048));
    }
};

} // namespace

class TestNews final : public QObject
{
    Q_OBJECT

    QTemporaryDir m_dir;
    HttpTestServer m_server;
    const QString m_failed = QStringLiteral("Unable to load news.");
    const QString m_changed =
        QStringLiteral("The website format has changed; news could not be parsed.");

    QString url(const QString& path) const { return m_server.url(path); }
    int requestCount(const QByteArray& path) const { return m_server.requests(path).size(); }

private slots:
    void initTestCase()
    {
        QVERIFY(m_dir.isValid());
        setLauncherDirectory(m_dir.path());
        QString error;
        QVERIFY2(m_server.start(&error), qPrintable(error));
        for (int page = 1; page <= 4; ++page) {
            const QByteArray path = QByteArrayLiteral("/announce/list/page/") + QByteArray::number(page) + '/';
            m_server.on(path, HttpResponse::text(200, fixture(QStringLiteral("page%1.html").arg(page))));
        }
        m_server.on("/hostile/", HttpResponse::text(200, fixture(QStringLiteral("hostile.html"))));
    }

    void init()
    {
        QVERIFY(QDir(launcherFilePath(QStringLiteral("cache"))).removeRecursively());
        m_server.clearRequests();
    }

    void parsePage_data()
    {
        QTest::addColumn<QString>("file");
        QTest::addColumn<QString>("entries");
        QTest::addColumn<bool>("reachedOld");
        QTest::addColumn<QString>("nextPath");
        QTest::newRow("dates from the title or the cover path") << "page1.html"
            << "The Ember Citadel opens its gates|12.05.2025;Spring market on the harbour|03.2025;"
               "Festival planned for 31.02.2025|;Patch notes 2.4|03.05.2025"
            << false << "/announce/list/page/2/";
        QTest::newRow("next link after a link back") << "page2.html"
            << "Patch notes 2.4|03.05.2025;Arena tournament|02.2025" << false << "/announce/list/page/3/";
        QTest::newRow("an old entry ends the scan and the paging") << "page3.html"
            << "First frost on the pass|01.12.2024" << true << "";
        QTest::newRow("changed format") << "changed.html" << "" << false << "";
    }
    void parsePage()
    {
        QFETCH(QString, file);
        QFETCH(QString, entries);
        QFETCH(bool, reachedOld);
        QFETCH(QString, nextPath);
        const QUrl pageUrl(QStringLiteral("https://ostravel.example/announce/list/page/1/"));
        const NewsPage page = parseNewsPage(fixture(file), pageUrl, kToday.addMonths(-6));
        QCOMPARE(summary(page.entries), entries);
        QCOMPARE(page.reachedOld, reachedOld);
        QCOMPARE(page.nextPage.path(), nextPath);
    }

    void entryFields()
    {
        const QUrl pageUrl(QStringLiteral("https://ostravel.example/announce/list/page/1/"));
        const NewsPage page = parseNewsPage(fixture(QStringLiteral("page1.html")), pageUrl, kToday.addMonths(-6));
        QCOMPARE(page.entries.size(), 4);
        const NewsEntry& first = page.entries.at(0);
        QCOMPARE(first.link, QStringLiteral("https://ostravel.example/announce/ember-citadel/"));
        QCOMPARE(first.coverUrl, QStringLiteral("https://ostravel.example/uploads/2025/05/ember.png"));
        QCOMPARE(first.descriptionHtml, QStringLiteral("<p>A new stronghold rises above the valley. "
                                                       "Gather your company &amp; hold the passes.</p>"));
        QVERIFY(first.articleHtml.contains(QStringLiteral("<h1>The Ember Citadel opens its gates</h1>")));
        QVERIFY(first.articleHtml.contains(QStringLiteral("<div class='details'>12.05.2025</div>")));
        QVERIFY(first.articleHtml.contains(
            QStringLiteral("<a href='https://ostravel.example/announce/ember-citadel/'>")));
        QVERIFY(page.entries.at(3).articleHtml.contains(QStringLiteral("until dawn, and the guild halls...</div>")));
    }

    // Style sheets named by the site are not loaded: an import of a device would hang the
    // launcher, one of a local file would read it.
    void siteHtmlOpensNoFile()
    {
        const QString probe = m_dir.filePath(QStringLiteral("probe.css"));
        QFile file(probe);
        QVERIFY(file.open(QIODevice::WriteOnly) && file.write("p{color:red}") > 0);
        file.close();
        const int watch = inotify_init1(IN_NONBLOCK | IN_CLOEXEC);
        QVERIFY(watch >= 0);
        QVERIFY(inotify_add_watch(watch, QFile::encodeName(probe).constData(), IN_OPEN) >= 0);
        const QString url = QUrl::fromLocalFile(probe).toString();
        const QString text = plainTextOfHtml(
            QStringLiteral("<p>Text<img src='%1'><style>@import url(%1);</style></p>").arg(url));
        char events[4096];
        const ssize_t opened = read(watch, events, sizeof events);
        close(watch);
        QCOMPARE(text, QStringLiteral("Text"));
        QCOMPARE(opened, ssize_t(-1));
    }

    void markupScans_data()
    {
        QTest::addColumn<int>("kind");
        QTest::addColumn<QString>("text");
        QTest::addColumn<QString>("captured");
        QTest::newRow("a tag takes its last good link") << int(Next)
            << "<a href='/announce/list/page/2/' href='/announce/list/page/3/'>Next" << "/announce/list/page/3/";
        QTest::newRow("the first tag wins") << int(Next)
            << "<a href='/announce/list/page/2/'>\n Next <a href='/announce/list/page/3/'>Next" << "/announce/list/page/2/";
        QTest::newRow("a '>' inside the value") << int(Next)
            << "<a title='x' href='/x>/announce/list/page/2/'>Next" << "/x>/announce/list/page/2/";
        QTest::newRow("cases and folded letters") << int(Next)
            << QString::fromUtf8("<A HREF=\"/ANNOUNCE/LI\u017FT/PAGE/9/\" class='n'>\v\u1C81АЛЕЕ")
            << QString::fromUtf8("/ANNOUNCE/LI\u017FT/PAGE/9/");
        QTest::newRow("no-break space is not a space") << int(Next)
            << QString::fromUtf8("<a href='/announce/list/page/2/'>\u00A0Next") << "";
        QTest::newRow("no digits") << int(Next) << "<a href='/announce/list/page//'>Next" << "";
        QTest::newRow("nothing between tag and attribute") << int(Next) << "<ahref='/announce/list/page/2/'>Next" << "";
        QTest::newRow("text on both sides of announce") << int(Link)
            << "<a href='/announce/x/'><a class='c' href=\"https://o.example/announce/x/\">" << "https://o.example/announce/x/";
        QTest::newRow("the first heading") << int(Title) << "<h2 x>One</H2><h2>Two</h2>" << "One";
        QTest::newRow("a heading without its end") << int(Title) << "<h2>One</h3>" << "";
        QTest::newRow("every image, a tag at a time") << int(Images)
            << "<img alt='a' src='http://a/1.png' src='https://a/2.png'><img src='ftp://a/3'><IMG SRC=\"HTTPS://a/4\""
            << "https://a/2.png|HTTPS://a/4";
        QTest::newRow("the next image after the whole match") << int(Images)
            << "<img src='http://'><img src='http://a/><img src='http://b/'" << "http://a/><img src=";
    }
    void markupScans()
    {
        QFETCH(int, kind);
        QFETCH(QString, text);
        QFETCH(QString, captured);
        const auto texts = [&text](const QVector<QPair<int, int>>& spans) {
            QStringList parts;
            for (const auto& span : spans)
                parts << text.mid(span.first, span.second);
            return parts.join(QLatin1Char('|'));
        };
        const MarkupCase& c = markupCases().at(kind);
        QCOMPARE(texts(expressionCaptures(c, text)), captured);
        QCOMPARE(texts(scanCaptures(c, text)), captured);
    }

    void markupScansAgreeWithTheExpressions()
    {
        QRandomGenerator random(18);
        QVector<int> matched(markupCases().size());
        for (int round = 0; round < 4000; ++round) {
            const QString text = randomMarkup(random);
            for (int kind = 0; kind < markupCases().size(); ++kind) {
                const auto expected = expressionCaptures(markupCases().at(kind), text);
                QCOMPARE(scanCaptures(markupCases().at(kind), text), expected);
                matched[kind] += expected.isEmpty() ? 0 : 1;
            }
        }
        // Enough texts of every kind must match for the comparison to mean something.
        for (int count : matched)
            QVERIFY2(count > 400, qPrintable(QString::number(count)));
    }

    // Crafted pages at the size limit that made the expressions backtrack over the rest of the
    // page from every tag. ctest's time-out is the guard.
    void craftedPagesParse_data()
    {
        QTest::addColumn<QByteArray>("body");
        QTest::addColumn<QString>("nextPath");
        QTest::addColumn<int>("entries");
        const auto page = [](const QByteArray& head, const QByteArray& unit, const QByteArray& tail) {
            QByteArray body = head;
            const int count = int((NewsFeed::kPageMaxBytes - head.size() - tail.size()) / unit.size());
            for (int i = 0; i < count; ++i)
                body += unit;
            return body + tail;
        };
        const QByteArray next = "<a href='/announce/list/page/1/'";
        QTest::newRow("unclosed next links") << page("", next, ">") << "" << 0;
        QTest::newRow("unclosed next links, one Next")
            << page("", next, "<a href='/announce/list/page/2/'>Next") << "/announce/list/page/2/" << 0;
        QTest::newRow("one tag of next links") << page("<a ", "href='/announce/list/page/1/' ", ">") << "" << 0;
        QTest::newRow("unclosed entry links") << page("<div class='g_block'>", "<a href='x'", ">/") << "" << 0;
        QTest::newRow("unclosed titles") << page("<div class='g_block'>", "<h2>", "") << "" << 0;
        QTest::newRow("description without its end")
            << page("<div class='g_block'><a href='https://o.example/announce/a/'><h2>T</h2><div class='g_desc'>",
                    "<a class='x'", "")
            << "" << 1;
    }
    void craftedPagesParse()
    {
        QFETCH(QByteArray, body);
        QFETCH(QString, nextPath);
        QFETCH(int, entries);
        QVERIFY(body.size() <= NewsFeed::kPageMaxBytes);
        const NewsPage page = parseNewsPage(body, QUrl(QStringLiteral("https://ostravel.example/announce/list/page/1/")),
                                            kToday.addMonths(-6));
        QCOMPARE(page.nextPage.path(), nextPath);
        QCOMPARE(page.entries.size(), entries);
    }

    void excerpt_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<QString>("excerpt");
        const QString a181(181, QLatin1Char('a'));
        QTest::newRow("185 characters stay") << QString(185, QLatin1Char('x')) << QString(185, QLatin1Char('x'));
        QTest::newRow("186 are cut to 182") << QString(186, QLatin1Char('x'))
                                            << QString(182, QLatin1Char('x')) + QStringLiteral("...");
        QTest::newRow("a space at the cut is trimmed") << a181 + QStringLiteral(" bbbbbbbbbb")
                                                       << a181 + QStringLiteral("...");
        QTest::newRow("a surrogate pair is not split")
            << a181 + QString::fromUtf8("\xF0\x9F\x90\x89") + QStringLiteral("bbbbbbbbbb")
            << a181 + QStringLiteral("...");
    }
    void excerpt()
    {
        QFETCH(QString, text);
        QFETCH(QString, excerpt);
        QCOMPARE(newsExcerpt(text), excerpt);
    }

    void plainText_data()
    {
        QTest::addColumn<QString>("html");
        QTest::addColumn<QString>("text");
        QTest::newRow("references") << "Gather &amp; hold &laquo;x&raquo;&nbsp;&#8212; &#x1F409; &bogus; & &amp"
                                    << QString::fromUtf8("Gather & hold \u00ABx\u00BB \u2014 \U0001F409 &bogus; & &amp");
        QTest::newRow("references to no character") << "&#0;&#xD800;&#1114112;"
                                                     << QString::fromUtf8("\uFFFD\uFFFD\uFFFD");
        QTest::newRow("spaces collapse, blocks and breaks end lines")
            << "<p>  one\n\t two </p><div>three</div>a<br><BR>b" << "one two\nthree\na\nb";
        QTest::newRow("comments, scripts and styles leave nothing")
            << "a<!-- <p>x</p> -->b<script>if (a<b) x='</p>'</SCRIPT>c<style>p{}</style>d" << "abcd";
        QTest::newRow("a '>' in a quoted value") << "<a title='1>2' href = \"x>y\">link</a>" << "link";
        QTest::newRow("a '<' that opens no tag") << "a < b <3" << "a < b <3";
        QTest::newRow("an unclosed tag") << "text<div class='x" << "text";
    }
    void plainText()
    {
        QFETCH(QString, html);
        QFETCH(QString, text);
        QCOMPARE(plainTextOfHtml(html), text);
    }

    void cacheFileName_data()
    {
        QTest::addColumn<QString>("url");
        QTest::addColumn<QString>("extension");
        QTest::newRow("upper-case suffix and a query") << "https://ostravel.example/a/Cover.JPG?size=2" << "jpg";
        QTest::newRow("no suffix") << "https://ostravel.example/img/cover" << "img";
        QTest::newRow("six characters") << "https://ostravel.example/img/cover.backup" << "img";
        QTest::newRow("a dot in a folder only") << "https://ostravel.example/a.b/cover" << "img";
        QTest::newRow("encoded space") << "https://ostravel.example/a b/c.webp" << "webp";
    }
    void cacheFileName()
    {
        QFETCH(QString, url);
        QFETCH(QString, extension);
        const QUrl imageUrl(url);
        const QByteArray digest =
            QCryptographicHash::hash(imageUrl.toEncoded(QUrl::FullyEncoded), QCryptographicHash::Sha256);
        QCOMPARE(coverCacheFileName(imageUrl), QString::fromLatin1(digest.toHex()) + QLatin1Char('.') + extension);
    }

    void followsPagesAndDeduplicates()
    {
        Harness h(url(QStringLiteral("/announce/list/page/1/")));
        QVERIFY(h.load());
        QCOMPARE(summary(h.feed.entries()),
                 QStringLiteral("The Ember Citadel opens its gates|12.05.2025;Spring market on the harbour|03.2025;"
                                "Festival planned for 31.02.2025|;Patch notes 2.4|03.05.2025;"
                                "Arena tournament|02.2025;First frost on the pass|01.12.2024"));
        QCOMPARE(requestCount("/announce/list/page/3/"), 1);
        QCOMPARE(requestCount("/announce/list/page/4/"), 0);
        QCOMPARE(h.list.count(), 6);
        QCOMPARE(h.visibleRows(), QList<int>{0});
        QCOMPARE(h.list.currentRow(), 0);
        const QListWidgetItem* market = h.list.item(1);
        QCOMPARE(market->text(), QStringLiteral("Spring market on the harbour\n03.2025"));
        QCOMPARE(market->data(NewsWidgetsView::LinkRole).toString(),
                 QStringLiteral("https://ostravel.example/announce/spring-market/"));
        QCOMPARE(market->data(NewsWidgetsView::CoverUrlRole).toString(), url(QStringLiteral("/uploads/2025/3/market.JPG?v=2")));
        QCOMPARE(h.list.item(2)->text(), QStringLiteral("Festival planned for 31.02.2025"));
    }

    void pageLimit()
    {
        for (int page = 1; page <= 26; ++page) {
            const QString next = QStringLiteral("/chain/announce/list/page/%1/").arg(page + 1);
            m_server.on(QStringLiteral("/chain/announce/list/page/%1/").arg(page).toLatin1(),
                        HttpResponse::text(200, listPage({QStringLiteral("e%1|Entry %1").arg(page)}, next)));
        }
        Harness h(url(QStringLiteral("/chain/announce/list/page/1/")));
        QVERIFY(h.load());
        QCOMPARE(h.feed.entries().size(), 24);
        QCOMPARE(requestCount("/chain/announce/list/page/24/"), 1);
        QCOMPARE(requestCount("/chain/announce/list/page/25/"), 0);
    }

    void failures_data()
    {
        QTest::addColumn<int>("status");
        QTest::addColumn<QByteArray>("body");
        QTest::addColumn<QString>("panel");
        QTest::addColumn<int>("entries");
        QTest::newRow("first page fails") << 404 << QByteArray() << m_failed << 0;
        QTest::newRow("page over 4 MiB")
            << 200 << QByteArray(4 * 1024 * 1024 + 1, ' ') << m_failed << 0;
        QTest::newRow("format changed") << 200 << fixture(QStringLiteral("changed.html")) << m_changed << 0;
        QTest::newRow("every entry too old")
            << 200 << listPage({QStringLiteral("old|[30.11.2024] Old news")}) << m_changed << 0;
        QTest::newRow("a later page fails")
            << 200 << listPage({QStringLiteral("kept|Kept")}, QStringLiteral("/missing/announce/list/page/2/"))
            << QStringLiteral("Loading...") << 1;
    }
    void failures()
    {
        QFETCH(int, status);
        QFETCH(QByteArray, body);
        QFETCH(QString, panel);
        QFETCH(int, entries);
        const QString path = QStringLiteral("/failing/%1/").arg(QString::number(qHash(QTest::currentDataTag())));
        m_server.on(path.toLatin1(), HttpResponse::text(status, body));
        Harness h(url(path));
        h.article.setPlainText(QStringLiteral("Loading..."));
        QVERIFY(h.load());
        QVERIFY2(h.article.toPlainText().contains(panel), qPrintable(h.article.toPlainText()));
        QCOMPARE(h.feed.entries().size(), entries);
        // One entry or none: arrows would lead nowhere.
        QVERIFY(h.previous.isHidden() && h.next.isHidden());
        if (entries > 0)
            return;
        // The slider itself says why it is empty; only the changed website is worth a visit.
        QCOMPARE(h.list.count(), 1);
        QCOMPARE(h.list.item(0)->data(NewsWidgetsView::DescriptionRole).toString(), panel);
        QVERIFY(!h.list.item(0)->isHidden());
        emit h.list.itemClicked(h.list.item(0));
        QCOMPARE(h.opened, panel == m_changed ? QList<QUrl>{QUrl(url(path))} : QList<QUrl>{});
    }

    void covers()
    {
        const QByteArray red = png(Qt::red);
        m_server.on("/c/cover.png", HttpResponse::text(200, red));
        m_server.on("/c/text.png", HttpResponse::text(200, "<html>not an image</html>"));
        m_server.on("/c/wide.png", HttpResponse::text(200, png(Qt::green, QSize(NewsFeed::kMaxCoverSide + 1, 2))));
        m_server.on("/c/", HttpResponse::text(200, listPage({QStringLiteral("a|Alpha|/c/cover.png"),
                                                             QStringLiteral("b|Beta|/c/missing.png"),
                                                             QStringLiteral("c|Gamma|/c/text.png"),
                                                             QStringLiteral("d|Delta|"),
                                                             QStringLiteral("e|Epsilon|/c/wide.png")})));
        const QString cache = launcherFilePath(QStringLiteral("cache/news/"));
        QFile defaultFile(QStringLiteral(":/assets/news-default.png"));
        QVERIFY(defaultFile.open(QIODevice::ReadOnly));
        const QSize defaultSize = NewsFeed::loadCoverImage(defaultFile.readAll()).size();
        QVERIFY(!defaultSize.isEmpty());
        {
            Harness h(url(QStringLiteral("/c/")));
            QVERIFY(h.load());
            QFile stored(cache + coverCacheFileName(QUrl(url(QStringLiteral("/c/cover.png")))));
            QVERIFY(stored.open(QIODevice::ReadOnly));
            QCOMPARE(stored.readAll(), red);
            // Neither the 404, nor the text, nor an image too wide to decode safely.
            QCOMPARE(QDir(cache).entryList(QDir::Files).size(), 1);
            QCOMPARE(h.iconSize(0), QSize(40, 30));
            QCOMPARE(h.iconSize(1), defaultSize);
            QCOMPARE(h.iconSize(2), defaultSize);
            QCOMPARE(h.iconSize(4), defaultSize);
            QCOMPARE(requestCount("/c/wide.png"), 1);
            // The current entry's cover arrived: the article and the cover label follow it.
            QVERIFY(h.article.toPlainText().contains(QStringLiteral("Alpha")));
            QCOMPARE(h.cover.pixmap(Qt::ReturnByValue).size(), QSize(40, 30));
            // An entry without a cover never fetches the list page as one.
            QCOMPARE(requestCount("/c/"), 1);
        }
        Harness again(url(QStringLiteral("/c/")));
        QVERIFY(again.load());
        QCOMPARE(requestCount("/c/cover.png"), 1);
        QCOMPARE(again.iconSize(0), QSize(40, 30));
    }

    void staleGenerationDropped()
    {
        HttpResponse slow = HttpResponse::text(200, listPage({QStringLiteral("stale|Stale entry")}));
        slow.delayMs = 200;
        m_server.on("/stale/", slow);
        m_server.on("/fresh/", HttpResponse::text(200, fixture(QStringLiteral("changed.html"))));
        Harness h(url(QStringLiteral("/stale/")));
        QSignalSpy finished(&h.feed, &NewsFeed::newsFinished);
        h.feed.loadNews();
        const QList<NetworkReply*> replies = h.network.findChildren<NetworkReply*>();
        QCOMPARE(replies.size(), 1);
        QSignalSpy staleDone(replies.first(), &NetworkReply::finished);
        h.feed.setNewsUrl(url(QStringLiteral("/fresh/")));
        h.feed.loadNews();
        QCOMPARE(h.feed.newsGeneration(), 2);
        QVERIFY(staleDone.count() == 1 || staleDone.wait(30000));
        QVERIFY(finished.count() == 1 || finished.wait(30000));
        QCoreApplication::processEvents();
        QCOMPARE(finished.count(), 1);
        QCOMPARE(h.list.count(), 1);
        QCOMPARE(h.list.item(0)->data(NewsWidgetsView::DescriptionRole).toString(), m_changed);
        QVERIFY(h.article.toPlainText().contains(m_changed));
    }

    void hostileContent()
    {
        Harness h(url(QStringLiteral("/hostile/")));
        QVERIFY(h.load());
        QCOMPARE(h.feed.entries().size(), 2);
        const NewsEntry& evil = h.feed.entries().first();
        QCOMPARE(evil.title, QStringLiteral("Free gold"));
        QVERIFY(evil.link.startsWith(QLatin1String("javascript:")));
        QVERIFY(evil.descriptionHtml.contains(QStringLiteral("&lt;b&gt;now&lt;/b&gt;")));
        for (const QString& html : {evil.articleHtml, evil.descriptionHtml}) {
            for (const char* tag : {"<script", "<img", "<form", "<input", "file:"})
                QVERIFY2(!html.contains(QLatin1String(tag), Qt::CaseInsensitive), tag);
        }

        emit h.list.itemClicked(h.list.item(0));
        emit h.article.anchorClicked(QUrl(QStringLiteral("javascript:alert(1)")));
        emit h.article.anchorClicked(QUrl(QStringLiteral("file:///etc/passwd")));
        QVERIFY(h.opened.isEmpty());
        emit h.list.itemClicked(h.list.item(1));
        QCOMPARE(h.opened, QList<QUrl>{QUrl(QStringLiteral("https://ostravel.example/announce/guild-halls/"))});

        // A click on a link in the article panel never navigates the panel itself.
        h.opened.clear();
        h.article.resize(400, 200);
        h.article.show();
        for (const char* target : {"file:///etc/passwd", "https://ostravel.example/news/"}) {
            h.article.setHtml(QStringLiteral("<p><a href='%1'>linktext</a></p>").arg(QLatin1String(target)));
            QTextCursor cursor(h.article.document());
            cursor.setPosition(3);
            const QPoint at = h.article.cursorRect(cursor).center();
            QTest::mouseClick(h.article.viewport(), Qt::LeftButton, {}, at);
            QVERIFY(h.article.source().isEmpty());
            QCOMPARE(h.article.toPlainText(), QStringLiteral("linktext"));
        }
        QCOMPARE(h.opened, QList<QUrl>{QUrl(QStringLiteral("https://ostravel.example/news/"))});

        // The article panel reads no image but the launcher's own and the cached covers.
        QTextDocument* document = h.article.document();
        const QString cached = h.feed.coverCachePath(QStringLiteral("https://ostravel.example/x.png"));
        QFile file(cached);
        QVERIFY(file.open(QIODevice::WriteOnly) && file.write(png(Qt::blue)) > 0);
        file.close();
        const auto image = [document](const QUrl& name) {
            return document->resource(QTextDocument::ImageResource, name);
        };
        QVERIFY(image(QUrl(QStringLiteral("file:///etc/passwd"))).isNull());
        QVERIFY(image(QUrl::fromLocalFile(m_dir.filePath(QStringLiteral("launcher.ini")))).isNull());
        QVERIFY(image(QUrl(url(QStringLiteral("/c/cover.png")))).isNull());
        QVERIFY(!image(QUrl::fromLocalFile(cached)).isNull());
        QVERIFY(!image(QUrl(QStringLiteral("qrc:/assets/news-default.png"))).isNull());
        QVERIFY(h.feed.localizeImages(QStringLiteral("<img src='https://ostravel.example/x.png'>"))
                    .contains(QUrl::fromLocalFile(cached).toString()));
    }

    // What a hostile website or a tampered cache beside the launcher can do to the news card:
    // entries, requests and decoded pixels stay bounded, the page is parsed off the GUI thread,
    // and nothing in the cache but a regular file is opened or written.
    void hostileNews_data()
    {
        QTest::addColumn<int>("pages");       // chained list pages
        QTest::addColumn<int>("perPage");     // entries on each
        QTest::addColumn<int>("coverSide");   // square covers served, 0: none (404)
        QTest::addColumn<int>("nesting");     // <div>s around every title and description
        QTest::addColumn<QString>("planted"); // what sits in the cache for the first cover
        QTest::addColumn<int>("entries");
        QTest::addColumn<int>("pagesRequested");
        QTest::addColumn<int>("coverRequests");
        QTest::addColumn<QSize>("firstIcon"); // invalid: the default image
        QTest::newRow("covers of 8192 x 8192 pixels") << 1 << 3 << 8192 << 0 << "" << 3 << 1 << 3 << QSize(234, 234);
        QTest::newRow("9,000 entries on one page") << 1 << 9000 << 0 << 0 << "" << 40 << 1 << 40 << QSize();
        QTest::newRow("more than 100 entries over the pages") << 24 << 40 << 0 << 0 << "" << 100 << 3 << 100 << QSize();
        QTest::newRow("100,000 nested divisions") << 1 << 1 << 0 << 100000 << "" << 1 << 1 << 1 << QSize();
        QTest::newRow("a FIFO as the cached cover") << 1 << 1 << 0 << 0 << "fifo" << 1 << 1 << 0 << QSize();
        QTest::newRow("a cached cover linked to /dev/zero") << 1 << 1 << 0 << 0 << "zero" << 1 << 1 << 0 << QSize();
        QTest::newRow("a cached cover linked to an image elsewhere") << 1 << 1 << 40 << 0 << "image" << 1 << 1 << 0 << QSize();
        QTest::newRow("a dangling link as the cached cover") << 1 << 1 << 40 << 0 << "dangling" << 1 << 1 << 0 << QSize();
        QTest::newRow("the cover cache linked to a folder elsewhere") << 1 << 1 << 40 << 0 << "folder" << 1 << 1 << 0 << QSize();
    }
    void hostileNews()
    {
        QFETCH(int, pages);
        QFETCH(int, perPage);
        QFETCH(int, coverSide);
        QFETCH(int, nesting);
        QFETCH(QString, planted);
        QFETCH(int, entries);
        QFETCH(int, pagesRequested);
        QFETCH(int, coverRequests);
        QFETCH(QSize, firstIcon);

        const QByteArray prefix = "/hostile-" + QByteArray::number(qHash(QTest::currentDataTag()));
        for (int page = 1; page <= pages; ++page)
            m_server.on(prefix + "/announce/list/page/" + QByteArray::number(page) + '/',
                        HttpResponse::text(200, hostilePage(prefix, page, perPage, nesting, page < pages)));
        if (coverSide > 0) {
            QImage cover(coverSide, coverSide, QImage::Format_Mono);
            cover.fill(1);
            QBuffer buffer;
            QVERIFY(buffer.open(QIODevice::WriteOnly) && cover.save(&buffer, "PNG"));
            for (int i = 0; i < perPage; ++i)
                m_server.on(prefix + "/covers/1-" + QByteArray::number(i) + ".png", HttpResponse::text(200, buffer.data()));
        }

        // The plant sits where the first entry's cover is cached; `outside` is beyond our folders.
        const QString outside = m_dir.filePath(QStringLiteral("outside") + QString::fromLatin1(prefix));
        QVERIFY(QDir().mkpath(outside));
        const QString outsideImage = outside + QStringLiteral("/image.png");
        const QString cache = launcherFilePath(QStringLiteral("cache/news"));
        const QString plant = cache + QLatin1Char('/')
                              + coverCacheFileName(QUrl(url(QString::fromLatin1(prefix + "/covers/1-0.png"))));
        const QByteArray plantName = QFile::encodeName(plant);
        QString watched; // must never be opened
        if (planted == QLatin1String("folder")) {
            QVERIFY(QDir().mkpath(launcherFilePath(QStringLiteral("cache"))));
            QVERIFY(QFile::link(outside, cache));
        } else if (!planted.isEmpty()) {
            QVERIFY(QDir().mkpath(cache));
        }
        if (planted == QLatin1String("fifo")) {
            QCOMPARE(mkfifo(plantName.constData(), 0600), 0);
            watched = plant;
        } else if (planted == QLatin1String("zero")) {
            QVERIFY(QFile::link(QStringLiteral("/dev/zero"), plant));
        } else if (planted == QLatin1String("image")) {
            QFile image(outsideImage);
            QVERIFY(image.open(QIODevice::WriteOnly) && image.write(png(Qt::red)) > 0);
            image.close();
            QVERIFY(QFile::link(outsideImage, plant));
            watched = outsideImage;
        } else if (planted == QLatin1String("dangling")) {
            QVERIFY(QFile::link(outsideImage, plant));
        }
        const int watch = inotify_init1(IN_NONBLOCK | IN_CLOEXEC);
        QVERIFY(watch >= 0);
        QVERIFY(watched.isEmpty() || inotify_add_watch(watch, QFile::encodeName(watched).constData(), IN_OPEN) >= 0);

        Harness h(url(QString::fromLatin1(prefix + "/announce/list/page/1/")));
        QSignalSpy finished(&h.feed, &NewsFeed::newsFinished);
        h.feed.loadNews();
        const QList<NetworkReply*> replies = h.network.findChildren<NetworkReply*>();
        QCOMPARE(replies.size(), 1);
        // Parsed in the reply's handler, the page would be done before the handler returns.
        int finishedInHandler = -1;
        connect(replies.first(), &NetworkReply::finished, this, [&] { finishedInHandler = finished.count(); });
        QVERIFY(finished.wait(60000));
        QVERIFY(QTest::qWaitFor([&h] { return h.feed.coverDownloadsRunning() == 0; }, 60000));
        char events[4096];
        const ssize_t opened = read(watch, events, sizeof events);
        close(watch);

        QCOMPARE(finished.count(), 1);
        QCOMPARE(h.feed.entries().size(), entries);
        QCOMPARE(h.list.count(), entries);
        QCOMPARE(h.feed.entries().first().descriptionHtml, QStringLiteral("<p>Deep text</p>"));
        int pageRequests = 0;
        int coverRequestsSeen = 0;
        for (const auto& request : m_server.requests()) {
            pageRequests += request.path.startsWith(prefix + "/announce/") ? 1 : 0;
            coverRequestsSeen += request.path.startsWith(prefix + "/covers/") ? 1 : 0;
        }
        QCOMPARE(pageRequests, pagesRequested);
        QCOMPARE(coverRequestsSeen, coverRequests);
        const QSize shown = newsCardLargestImageSize();
        for (int row = 0; row < h.list.count(); ++row) {
            const QSize icon = h.iconSize(row);
            QVERIFY2(icon.width() <= shown.width() && icon.height() <= shown.height(), qPrintable(QString::number(row)));
        }
        QFile defaultFile(QStringLiteral(":/assets/news-default.png"));
        QVERIFY(defaultFile.open(QIODevice::ReadOnly));
        QCOMPARE(h.iconSize(0), firstIcon.isValid() ? firstIcon : NewsFeed::loadCoverImage(defaultFile.readAll()).size());

        QCOMPARE(opened, ssize_t(-1));
        QVERIFY(!QFileInfo::exists(outsideImage) || planted == QLatin1String("image"));
        QCOMPARE(QDir(outside).entryList(QDir::NoDotAndDotDot | QDir::AllEntries).size(),
                 planted == QLatin1String("image") ? 1 : 0);
        if (planted == QLatin1String("fifo") || planted == QLatin1String("zero") || planted == QLatin1String("dangling"))
            QVERIFY(entryKind(plant) != EntryKind::File);
        QCOMPARE(finishedInHandler, 0);
    }

    void sliderWraps_data()
    {
        QTest::addColumn<QString>("clicks");
        QTest::addColumn<int>("row");
        QTest::newRow("previous from the first") << "<" << 3;
        QTest::newRow("next three times") << ">>>" << 3;
        QTest::newRow("next four times") << ">>>>" << 0;
        QTest::newRow("previous twice") << "<<" << 2;
    }
    void sliderWraps()
    {
        QFETCH(QString, clicks);
        QFETCH(int, row);
        m_server.on("/four/", HttpResponse::text(200, listPage({QStringLiteral("a|A"), QStringLiteral("b|B"),
                                                                QStringLiteral("c|C"), QStringLiteral("d|D")})));
        Harness h(url(QStringLiteral("/four/")));
        QVERIFY(h.load());
        QVERIFY(!h.previous.isHidden() && !h.next.isHidden());
        for (QChar click : clicks)
            QTest::mouseClick(click == QLatin1Char('<') ? &h.previous : &h.next, Qt::LeftButton);
        QCOMPARE(h.feed.currentRow(), row);
        QCOMPARE(h.list.currentRow(), row);
        QCOMPARE(h.visibleRows(), QList<int>{row});
    }
};

QTEST_MAIN(TestNews)
#include "tst_news.moc"
