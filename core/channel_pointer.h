#pragma once

#include <QByteArray>
#include <QDateTime>
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
    // Optional, so that pointers of older publishers stay valid. The publisher raises the
    // sequence with every pointer it signs for the channel (0: the pointer has none); a
    // client that has accepted one refuses lower ones, so an old signed pointer cannot be
    // replayed. Past its expiry a pointer is refused, so a frozen server is noticed.
    qint64 sequence = 0;
    QDateTime expiresUtc; // invalid: never expires
};

// The bytes must already have passed the signature check. On failure *output is untouched.
[[nodiscard]] bool parseChannelPointer(const QByteArray& bytes, ChannelPointer* output,
                                       QString* error = nullptr);

} // namespace vorn
