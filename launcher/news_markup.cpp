#include "launcher/news_markup.h"

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

} // namespace vorn
