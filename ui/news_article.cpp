#include "ui/news_article.h"

namespace vorn {

namespace {
const char kArticleTemplate[] =
    "<style>body{color:#c0c5ca;font-family:Montserrat;font-size:13px;font-weight:400;"
    "margin:23px 20px 8px 20px;line-height:1.48;}.category{color:#35b8ee;font-size:11px;"
    "font-weight:600;margin:0 0 11px 0;}h1{color:#f7f2ea;font-family:Montserrat;font-size:27px;"
    "font-weight:600;margin:0 0 15px 0;}h2,h3{color:#eee8de;font-family:Montserrat;"
    "font-weight:600;}p{margin:0 0 10px 0;}a{color:#e0ad58;}img{max-width:300px;height:auto;}"
    ".details{display:none;}.details b{color:#ded8ce;font-weight:400;}.details span{"
    "color:#5d626a;margin:0 8px;}.source{display:none;}</style><div class='category'>%1</div>"
    "<h1>%2</h1><div>%3</div>%4";
}

QString newsArticleHtml(const QString& category, const QString& title, const QString& body,
                        const QString& tail)
{
    // One multi-argument pass, so a "%2" inside a title is never substituted again.
    return QString::fromLatin1(kArticleTemplate).arg(category, title, body, tail);
}

} // namespace vorn
