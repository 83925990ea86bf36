#include "config/launcher_config.h"

#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QUrl>

namespace vorn {

bool isSecureUpdateUrl(const QString& url)
{
    const QUrl parsed(url, QUrl::TolerantMode);
    if (!parsed.isValid() || parsed.host().isEmpty())
        return false;
    const QString scheme = parsed.scheme();
    if (scheme == QLatin1String("https"))
        return true;
    const QString host = parsed.host();
    return scheme == QLatin1String("http")
        && (host == QLatin1String("127.0.0.1") || host == QLatin1String("localhost"));
}

namespace {

QStringList readBaseUrls(const QJsonValue& value)
{
    QStringList urls;
    const QJsonArray array = value.toArray();
    for (const QJsonValue& element : array) {
        QString url = element.toString().trimmed();
        if (!url.endsWith(QLatin1Char('/')))
            url += QLatin1Char('/');
        if (isSecureUpdateUrl(url))
            urls.append(url);
    }
    return urls;
}

void setError(QString* error, const QString& text)
{
    if (error)
        *error = text;
}

} // namespace

LauncherConfig loadLauncherConfig(const QString& path, QString* error)
{
    setError(error, QString());
    LauncherConfig config;

    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        setError(error, file.errorString());
        return config;
    }

    QJsonParseError parseError;
    const QJsonDocument document = QJsonDocument::fromJson(file.readAll(), &parseError);
    if (!document.isObject()) {
        setError(error, QStringLiteral("Invalid launcher.json: %1").arg(parseError.errorString()));
        return config;
    }

    const QJsonObject root = document.object();
    config.updateBaseUrls = readBaseUrls(root.value(QLatin1String("updateBaseUrls")));
    config.selfUpdateBaseUrls = readBaseUrls(root.value(QLatin1String("selfUpdateBaseUrls")));
    config.newsUrl = root.value(QLatin1String("newsUrl")).toString();
    config.siteUrl = root.value(QLatin1String("siteUrl")).toString();
    config.forumUrl = root.value(QLatin1String("forumUrl")).toString();
    config.discordUrl = root.value(QLatin1String("discordUrl")).toString();
    config.telegramUrl = root.value(QLatin1String("telegramUrl")).toString();
    config.knowledgeUrl = root.value(QLatin1String("knowledgeUrl")).toString();
    config.supportUrl = root.value(QLatin1String("supportUrl")).toString();
    config.streamsUrl = root.value(QLatin1String("streamsUrl")).toString();

    if (config.updateBaseUrls.isEmpty())
        setError(error, QStringLiteral("launcher.json does not contain a secure update URL"));
    return config;
}

} // namespace vorn
