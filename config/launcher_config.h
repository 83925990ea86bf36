#pragma once

#include <QString>
#include <QStringList>

namespace vorn {

// launcher.json, shipped by the publisher beside the executable and only read.
struct LauncherConfig
{
    QStringList updateBaseUrls;
    QStringList selfUpdateBaseUrls;
    QString newsUrl;
    QString siteUrl;
    QString forumUrl;
    QString discordUrl;
    QString telegramUrl;
    QString knowledgeUrl;
    QString supportUrl;
    QString streamsUrl;
};

// HTTPS, or plain HTTP to this machine only.
[[nodiscard]] bool isSecureUpdateUrl(const QString& url);

// Lists that survive the checks are returned even when error is set.
[[nodiscard]] LauncherConfig loadLauncherConfig(const QString& path, QString* error = nullptr);

} // namespace vorn
