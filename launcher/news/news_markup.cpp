#include "launcher/news/news_markup.h"

#include <algorithm>

namespace vorn {

namespace {

bool isSpace(QChar c)
{
    const char16_t u = c.unicode();
    return u == u' ' || (u >= u'\t' && u <= u'\r');
}

bool isQuote(QChar c)
{
    return c == QLatin1Char('\'') || c == QLatin1Char('"');
}

bool isTagEnd(QChar c)
{
    return c == QLatin1Char('>');
}

bool isDigit(QChar c)
{
    return c.unicode() >= u'0' && c.unicode() <= u'9';
}

// `folded` is given in simple case folding, which is how the expressions compare letters:
// "ſ" counts as an "s", "ᲁ" as a "д".
bool hasAt(QStringView text, int at, QStringView folded)
{
    if (at < 0 || text.size() - at < folded.size())
        return false;
    for (int i = 0; i < int(folded.size()); ++i) {
        if (QChar::toCaseFolded(text[at + i].unicode()) != folded[i].unicode())
            return false;
    }
    return true;
}

int skipSpaces(QStringView text, int at)
{
    while (at < text.size() && isSpace(text[at]))
        ++at;
    return at;
}

// The first position at or after `from` whose character passes Test, or the text's size.
// Asked with starts that never go back, it reads every character once.
template <bool (*Test)(QChar)>
class NextOf
{
public:
    explicit NextOf(QStringView text) : m_text(text) {}

    int operator()(int from)
    {
        if (from < m_from || from > m_at) {
            m_at = from;
            while (m_at < m_text.size() && !Test(m_text[m_at]))
                ++m_at;
        }
        m_from = from;
        return m_at;
    }

private:
    QStringView m_text;
    int m_from = 0; // nothing passes in [m_from, m_at)
    int m_at = -1;
};

struct Attribute
{
    int at;         // where the attribute's name starts
    int valueStart; // after the opening quote
    int valueEnd;   // at the closing quote
};

// Every position where  NAME\s*=\s*['"]([^'"]*)['"]  matches and `fits` accepts the value
// (and whatever the expression wants after it). None of that depends on the tag around it, so
// each position is judged once. Two candidates never read the same spaces or value: a later
// name inside an earlier value can only open its own value at or after that value's end.
template <typename Fits>
QVector<Attribute> goodAttributes(QStringView text, QStringView name, Fits fits)
{
    QVector<Attribute> good;
    NextOf<isQuote> nextQuote(text);
    const int n = int(text.size());
    for (int at = 0; at + int(name.size()) <= n; ++at) {
        if (!hasAt(text, at, name))
            continue;
        int i = skipSpaces(text, at + int(name.size()));
        if (i == n || text[i] != QLatin1Char('='))
            continue;
        i = skipSpaces(text, i + 1);
        if (i == n || !isQuote(text[i]))
            continue;
        const Attribute attribute{at, i + 1, nextQuote(i + 1)};
        if (attribute.valueEnd < n && fits(attribute.valueStart, attribute.valueEnd))
            good.append(attribute);
    }
    return good;
}

// The first  <TAG[^>]+  at or after `from` followed by a good attribute. Greedy [^>]+ stops at
// the tag's first '>' and backs off from there, so a tag takes its last good attribute.
const Attribute* firstTagMatch(QStringView text, QStringView tag, const QVector<Attribute>& good,
                               int from, NextOf<isTagEnd>& nextTagEnd)
{
    if (good.isEmpty())
        return nullptr;
    const int n = int(text.size());
    const int afterName = 1 + int(tag.size());
    for (int s = from; s + afterName < n; ++s) {
        if (text[s] != QLatin1Char('<') || !hasAt(text, s + 1, tag))
            continue;
        const int tagEnd = nextTagEnd(s + afterName);
        const auto before = std::lower_bound(good.begin(), good.end(), tagEnd,
                                             [](const Attribute& a, int at) { return a.at < at; });
        if (before != good.begin() && (before - 1)->at > s + afterName)
            return &*(before - 1);
    }
    return nullptr;
}

MarkupSpan spanOf(const Attribute* attribute)
{
    return attribute ? MarkupSpan{attribute->valueStart, attribute->valueEnd - attribute->valueStart}
                     : MarkupSpan{};
}


bool isAsciiLetter(QChar c)
{
    const char16_t u = c.unicode();
    return (u >= u'a' && u <= u'z') || (u >= u'A' && u <= u'Z');
}

bool isHtmlSpace(QChar c)
{
    const char16_t u = c.unicode();
    return u == u' ' || u == u'\t' || u == u'\n' || u == u'\r' || u == u'\f';
}

// Elements after which a reader sees a new line.
bool breaksLine(const QString& name)
{
    static const char* const names[] = {
        "address", "article", "aside", "blockquote", "br", "center", "dd", "div", "dl", "dt",
        "figcaption", "figure", "footer", "h1", "h2", "h3", "h4", "h5", "h6", "header", "hr",
        "li", "nav", "ol", "p", "pre", "section", "table", "td", "th", "tr", "ul"};
    for (const char* candidate : names) {
        if (name == QLatin1String(candidate))
            return true;
    }
    return false;
}

// Elements whose content is not text.
bool hidesContent(const QString& name)
{
    return name == QLatin1String("script") || name == QLatin1String("style")
           || name == QLatin1String("head") || name == QLatin1String("title");
}

// The references the site's texts use; others stay as written.
char32_t namedCharacter(QStringView name)
{
    static const struct {
        const char* name;
        char32_t code;
    } names[] = {
        {"amp", U'&'},      {"lt", U'<'},       {"gt", U'>'},       {"quot", U'"'},
        {"apos", U'\''},    {"nbsp", U' '},     {"laquo", U'\u00AB'}, {"raquo", U'\u00BB'},
        {"mdash", U'\u2014'}, {"ndash", U'\u2013'}, {"hellip", U'\u2026'}, {"copy", U'\u00A9'},
        {"reg", U'\u00AE'}, {"trade", U'\u2122'}, {"lsquo", U'\u2018'}, {"rsquo", U'\u2019'},
        {"sbquo", U'\u201A'}, {"ldquo", U'\u201C'}, {"rdquo", U'\u201D'}, {"bdquo", U'\u201E'},
        {"bull", U'\u2022'}, {"middot", U'\u00B7'}, {"euro", U'\u20AC'}, {"times", U'\u00D7'},
        {"deg", U'\u00B0'}, {"minus", U'\u2212'}, {"shy", 0}};
    for (const auto& entry : names) {
        if (name == QLatin1String(entry.name))
            return entry.code;
    }
    return U'\uFFFF';
}

// The character a reference at `at` (on its '&') stands for, and where the reference ends;
// end stays at `at` when there is no reference there. A code of 0 stands for nothing.
char32_t characterReference(QStringView text, int at, int* end)
{
    *end = at;
    constexpr int kLongest = 12; // "&#x10FFFF;" and the longest name above fit
    const int limit = std::min(int(text.size()), at + kLongest);
    int semicolon = at + 1;
    while (semicolon < limit && text[semicolon] != QLatin1Char(';'))
        ++semicolon;
    if (semicolon >= limit || semicolon == at + 1)
        return 0;
    const QStringView body = text.mid(at + 1, semicolon - at - 1);
    char32_t code = U'\uFFFF';
    if (body.startsWith(QLatin1Char('#'))) {
        const bool hex = body.size() > 1 && (body[1] == QLatin1Char('x') || body[1] == QLatin1Char('X'));
        bool ok = false;
        const uint value = body.mid(hex ? 2 : 1).toString().toUInt(&ok, hex ? 16 : 10);
        if (!ok)
            return 0;
        // Nothing, surrogate halves and values beyond Unicode are not characters.
        code = value == 0 || value > 0x10FFFF || (value >= 0xD800 && value <= 0xDFFF)
                   ? U'\uFFFD'
                   : char32_t(value);
    } else {
        code = namedCharacter(body);
        if (code == U'\uFFFF')
            return 0;
    }
    *end = semicolon + 1;
    return code;
}

} // namespace

MarkupSpan findAnnouncementLink(QStringView text)
{
    const auto fits = [text](int start, int end) {
        // [^'"]+/announce/[^'"]+/ : something on both sides of "/announce/".
        if (end - start < 13 || text[end - 1] != QLatin1Char('/'))
            return false;
        for (int at = start + 1; at <= end - 12; ++at) {
            if (hasAt(text, at, u"/announce/"))
                return true;
        }
        return false;
    };
    const QVector<Attribute> good = goodAttributes(text, u"href", fits);
    NextOf<isTagEnd> nextTagEnd(text);
    return spanOf(firstTagMatch(text, u"a", good, 0, nextTagEnd));
}

MarkupSpan findTitle(QStringView text)
{
    // A later <h2 closes no earlier and finds no other "</h2>" after that, so only the
    // first can match.
    const int n = int(text.size());
    int open = 0;
    while (open < n && !(text[open] == QLatin1Char('<') && hasAt(text, open + 1, u"h2")))
        ++open;
    int close = open + 3;
    while (close < n && text[close] != QLatin1Char('>'))
        ++close;
    for (int end = close + 1; end < n; ++end) {
        if (text[end] == QLatin1Char('<') && hasAt(text, end, u"</h2>"))
            return {close + 1, end - close - 1};
    }
    return {};
}

MarkupSpan findNextPageLink(QStringView text)
{
    const int n = int(text.size());
    NextOf<isTagEnd> nextTagEnd(text);
    int lastTagEnd = -1;
    int word = -1; // the first non-space after lastTagEnd
    const auto fits = [&](int start, int end) {
        // [^'"]*/announce/list/page/\d+/
        if (text[end - 1] != QLatin1Char('/'))
            return false;
        int digits = end - 1;
        while (digits > start && isDigit(text[digits - 1]))
            --digits;
        constexpr int kPath = 20; // "/announce/list/page/"
        if (digits == end - 1 || digits - start < kPath
            || !hasAt(text, digits - kPath, u"/announce/list/page/"))
            return false;
        // ['"][^>]*>\s*(?:Далее|Next) : values come in order, so do their tag ends.
        const int tagEnd = nextTagEnd(end + 1);
        if (tagEnd == n)
            return false;
        if (tagEnd != lastTagEnd) {
            lastTagEnd = tagEnd;
            word = skipSpaces(text, tagEnd + 1);
        }
        return hasAt(text, word, u"далее") || hasAt(text, word, u"next");
    };
    const QVector<Attribute> good = goodAttributes(text, u"href", fits);
    NextOf<isTagEnd> tagEnds(text);
    return spanOf(firstTagMatch(text, u"a", good, 0, tagEnds));
}

QVector<MarkupSpan> findImageSources(QStringView text)
{
    const auto fits = [text](int start, int end) {
        // https?://[^'"]+
        if (!hasAt(text, start, u"http"))
            return false;
        const int colon = hasAt(text, start + 4, u"s") ? start + 5 : start + 4;
        return hasAt(text, colon, u"://") && colon + 3 < end;
    };
    const QVector<Attribute> good = goodAttributes(text, u"src", fits);
    QVector<MarkupSpan> spans;
    NextOf<isTagEnd> nextTagEnd(text);
    int from = 0;
    while (const Attribute* match = firstTagMatch(text, u"img", good, from, nextTagEnd)) {
        spans << spanOf(match);
        from = match->valueEnd + 1;
    }
    return spans;
}

QString flattenMarkup(QStringView html)
{
    QString text;
    text.reserve(int(html.size()));
    bool space = false;     // white space since the last character
    bool lineBreak = false; // a break since the last character
    const auto put = [&](char32_t code) {
        if (lineBreak && !text.isEmpty())
            text += QLatin1Char('\n');
        else if (space && !text.isEmpty() && !text.endsWith(QLatin1Char('\n')))
            text += QLatin1Char(' ');
        space = lineBreak = false;
        if (QChar::requiresSurrogates(code)) {
            text += QChar(QChar::highSurrogate(code));
            text += QChar(QChar::lowSurrogate(code));
        } else {
            text += QChar(char16_t(code));
        }
    };

    const int n = int(html.size());
    int i = 0;
    while (i < n) {
        const QChar c = html[i];
        if (c == QLatin1Char('<') && i + 3 < n && html.mid(i, 4) == QLatin1String("<!--")) {
            const int close = int(html.indexOf(QLatin1String("-->"), i + 4));
            i = close < 0 ? n : close + 3;
            continue;
        }
        const QChar next = i + 1 < n ? html[i + 1] : QChar();
        if (c == QLatin1Char('<')
            && (isAsciiLetter(next) || next == QLatin1Char('/') || next == QLatin1Char('!')
                || next == QLatin1Char('?'))) {
            const bool closing = next == QLatin1Char('/');
            int at = i + (closing ? 2 : 1);
            const int nameStart = at;
            while (at < n && (isAsciiLetter(html[at]) || isDigit(html[at])))
                ++at;
            const QString name = html.mid(nameStart, at - nameStart).toString().toLower();
            // A '>' inside a quoted attribute value does not end the tag.
            while (at < n && html[at] != QLatin1Char('>')) {
                if (html[at] == QLatin1Char('=')) {
                    const int value = skipSpaces(html, at + 1);
                    if (value < n && isQuote(html[value])) {
                        const int close = int(html.indexOf(html[value], value + 1));
                        at = close < 0 ? n : close + 1;
                        continue;
                    }
                }
                ++at;
            }
            i = at + 1;
            if (breaksLine(name))
                lineBreak = true;
            if (!closing && hidesContent(name)) {
                const int close = int(html.indexOf(QStringLiteral("</") + name, i, Qt::CaseInsensitive));
                i = close < 0 ? n : close;
            }
            continue;
        }
        if (c == QLatin1Char('&')) {
            int end = i;
            const char32_t code = characterReference(html, i, &end);
            if (end > i) {
                if (code != 0)
                    put(code);
                i = end;
                continue;
            }
        }
        if (isHtmlSpace(c)) {
            space = true;
        } else if (c == QChar::Nbsp) {
            put(U' ');
        } else if (c != QChar::ObjectReplacementCharacter && c != QChar::Null) {
            put(c.unicode());
        }
        ++i;
    }
    return text;
}

} // namespace vorn
