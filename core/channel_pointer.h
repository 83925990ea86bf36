#pragma once

#include <QByteArray>
#include <QString>

namespace vorn {

// channels/live.json: which release is current and where its manifest lies.
struct ChannelPointer
{
    int schema = 1;
    QString channel = QStringLiteral("live");
    QString releaseId;
    QString manifestPath;
    QByteArray manifestSha256;
};

// The bytes must already have passed the signature check. On failure *output is untouched.
[[nodiscard]] bool parseChannelPointer(const QByteArray& bytes, ChannelPointer* output,
                                       QString* error = nullptr);

} // namespace vorn
