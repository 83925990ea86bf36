#include "net/proxy_settings.h"

#include "config/settings.h"
#include "platform/secret.h"

#include <QByteArray>
#include <QVariant>

namespace vorn {

namespace {

const char* const kEnabled = "Proxy/Enabled";
const char* const kMode = "Proxy/Mode";
const char* const kHost = "Proxy/Host";
const char* const kPort = "Proxy/Port";
const char* const kUser = "Proxy/User";
const char* const kPassword = "Proxy/PasswordProtected";

bool sealPassword(const QString& password, QByteArray* stored)
{
    stored->clear();
    if (password.isEmpty())
        return true;
    const QByteArray utf8 = password.toUtf8();
    std::string sealed;
    if (!platform::protectSecret(std::string(utf8.constData(), size_t(utf8.size())), &sealed))
        return false;
    *stored = QByteArray(sealed.data(), int(sealed.size())).toBase64();
    return true;
}

QString openPassword(const QByteArray& stored)
{
    const auto decoded = QByteArray::fromBase64Encoding(stored,
                                                        QByteArray::AbortOnBase64DecodingErrors);
    if (!decoded || decoded.decoded.isEmpty())
        return {};
    std::string text;
    if (!platform::unprotectSecret(std::string(decoded.decoded.constData(),
                                               size_t(decoded.decoded.size())),
                                   &text))
        return {};
    return QString::fromUtf8(text.data(), int(text.size()));
}

} // namespace

bool operator==(const ProxySettings& a, const ProxySettings& b)
{
    return a.mode == b.mode && a.host == b.host && a.port == b.port && a.user == b.user
           && a.password == b.password;
}

QString proxyModeText(ProxyMode mode)
{
    switch (mode) {
    case ProxyMode::Direct:
        return QStringLiteral("direct");
    case ProxyMode::ManualHttp:
        return QStringLiteral("manual-http");
    case ProxyMode::System:
        break;
    }
    return QStringLiteral("system");
}

ProxyMode parseProxyMode(const QString& text)
{
    if (text == QLatin1String("direct"))
        return ProxyMode::Direct;
    if (text == QLatin1String("manual-http"))
        return ProxyMode::ManualHttp;
    return ProxyMode::System;
}

ProxySettings loadProxySettings()
{
    LauncherIniSettings ini;
    ProxySettings settings;
    settings.mode = parseProxyMode(ini.value(QLatin1String(kMode), QStringLiteral("system")).toString());
    settings.host = ini.value(QLatin1String(kHost), QString()).toString();
    settings.port = quint16(ini.value(QLatin1String(kPort), 8080).toUInt());
    settings.user = ini.value(QLatin1String(kUser), QString()).toString();
    settings.password = openPassword(ini.value(QLatin1String(kPassword), QByteArray()).toByteArray());
    return settings;
}

bool saveProxySettings(const ProxySettings& settings, QString* error)
{
    QByteArray sealed;
    if (!sealPassword(settings.password, &sealed)) {
        if (error)
            *error = QStringLiteral("The proxy password cannot be stored protected for this user");
        return false;
    }
    LauncherIniSettings ini;
    ini.setValue(QLatin1String(kMode), proxyModeText(settings.mode));
    ini.setValue(QLatin1String(kHost), settings.host.trimmed());
    ini.setValue(QLatin1String(kPort), uint(settings.port));
    ini.setValue(QLatin1String(kUser), settings.user);
    ini.setValue(QLatin1String(kPassword), sealed);
    ini.sync();
    if (ini.status() != QSettings::NoError) {
        if (error)
            *error = QStringLiteral("Cannot write %1").arg(ini.fileName());
        return false;
    }
    return true;
}

bool proxyEnabled()
{
    LauncherIniSettings ini;
    return ini.value(QLatin1String(kEnabled), false).toBool();
}

void setProxyEnabled(bool enabled)
{
    LauncherIniSettings ini;
    ini.setValue(QLatin1String(kEnabled), enabled);
    ini.sync();
}

ProxySettings effectiveProxySettings()
{
    if (!proxyEnabled()) {
        ProxySettings direct;
        direct.mode = ProxyMode::Direct;
        return direct;
    }
    return loadProxySettings();
}

} // namespace vorn
