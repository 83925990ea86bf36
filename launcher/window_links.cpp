#include "launcher/window_links.h"

#include "launcher/news/news_page.h"

namespace vorn {

namespace {

QUrl webUrl(const QString& text)
{
    const QUrl url(text.trimmed(), QUrl::StrictMode);
    return isWebUrl(url) ? url : QUrl();
}

QUrl firstWebUrl(const QString& preferred, const QString& fallback)
{
    const QUrl url = webUrl(preferred);
    return url.isEmpty() ? webUrl(fallback) : url;
}

} // namespace

QUrl windowLinkTarget(const LauncherConfig& config, WindowLink link, const QString& language)
{
    switch (link) {
    case WindowLink::Site:
        return webUrl(config.siteUrl);
    case WindowLink::Community:
        return firstWebUrl(config.discordUrl, config.forumUrl);
    case WindowLink::Messenger:
        return firstWebUrl(config.telegramUrl, config.siteUrl);
    case WindowLink::Knowledge:
        return webUrl(config.knowledgeUrl);
    case WindowLink::Support: {
        QString support = config.supportUrl;
        return webUrl(support.replace(QLatin1String("{lang}"), language.toUpper()));
    }
    case WindowLink::Streams:
        return webUrl(config.streamsUrl);
    }
    return {};
}

} // namespace vorn
