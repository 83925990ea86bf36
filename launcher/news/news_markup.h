#pragma once

#include <QString>
#include <QStringView>
#include <QVector>

namespace vorn {

// A capture in a page, by offset and length in UTF-16 units.
struct MarkupSpan
{
    int start = -1;
    int length = 0;

    [[nodiscard]] bool found() const { return start >= 0; }
    [[nodiscard]] QString in(QStringView text) const
    {
        return found() ? text.mid(start, length).toString() : QString();
    }
};

// The pieces of the site's markup that are found by following an open tag. Run as regular
// expressions, these backtrack over the rest of the page from every unclosed tag, so that a
// crafted page of a few MiB keeps the GUI thread busy for minutes to hours. These scans give
// exactly the capture of the expression's first match (the expressions are case-insensitive;
// \s and \d are ASCII, letters compare by simple case folding) in time near linear in the text.

// <a[^>]+href\s*=\s*['"]([^'"]+/announce/[^'"]+/)['"]
[[nodiscard]] MarkupSpan findAnnouncementLink(QStringView text);

// <h2[^>]*>(.*?)</h2>  with the dot matching newlines.
[[nodiscard]] MarkupSpan findTitle(QStringView text);

// <a[^>]+href\s*=\s*['"]([^'"]*/announce/list/page/\d+/)['"][^>]*>\s*(?:Далее|Next)
[[nodiscard]] MarkupSpan findNextPageLink(QStringView text);

// Every match, left to right, of  <img[^>]+src\s*=\s*['"](https?://[^'"]+)['"]
[[nodiscard]] QVector<MarkupSpan> findImageSources(QStringView text);

// The text of untrusted HTML as a reader sees it, in one pass over the markup however deeply
// it nests: tags, comments, scripts and style sheets leave nothing, runs of white space become
// one space, a block or line break becomes a line break, character references are decoded.
// Nothing the markup names is loaded. Qt's own HTML import takes time quadratic in the nesting
// depth, so site text never goes through it.
[[nodiscard]] QString flattenMarkup(QStringView html);

} // namespace vorn
