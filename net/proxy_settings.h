#pragma once

#include <QString>
#include <QtGlobal>

namespace vorn {

enum class ProxyMode : qint32 {
    System = 0,     // the user's system proxy configuration
    Direct = 1,     // no proxy
    ManualHttp = 2, // host:port of the settings, for http and https
};

struct ProxySettings
{
    ProxyMode mode = ProxyMode::System;
    QString host;
    quint16 port = 8080;
    QString user;
    QString password; // plain text in memory only
};

[[nodiscard]] bool operator==(const ProxySettings& a, const ProxySettings& b);
[[nodiscard]] inline bool operator!=(const ProxySettings& a, const ProxySettings& b) { return !(a == b); }

// "system", "direct", "manual-http"; anything out of range is written as "system".
[[nodiscard]] QString proxyModeText(ProxyMode mode);
// Exact, case-sensitive; unknown text (also empty) is System.
[[nodiscard]] ProxyMode parseProxyMode(const QString& text);

// The Proxy group of launcher.ini, except the master switch. The password is stored only
// sealed for the current user; one that cannot be opened again loads as empty. When the
// password cannot be sealed nothing is written, the stored settings stay as they were, and
// the result is false with the reason.
[[nodiscard]] ProxySettings loadProxySettings();
[[nodiscard]] bool saveProxySettings(const ProxySettings& settings, QString* error = nullptr);

// The master switch, shown on the main window as "Use proxy settings".
[[nodiscard]] bool proxyEnabled();
void setProxyEnabled(bool enabled);

// What the network service is to use: direct when the switch is off, otherwise the stored
// settings.
[[nodiscard]] ProxySettings effectiveProxySettings();

} // namespace vorn
