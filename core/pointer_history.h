#pragma once

#include "core/channel_pointer.h"

#include <QByteArray>
#include <QDateTime>
#include <QList>
#include <QString>

class QDir;

namespace vorn {

// How long past its expiry a pointer is still taken. Players' clocks are often hours off (a
// wrong time zone, local time kept as if it were UTC, a lost clock battery); a day absorbs that
// without giving a frozen server much more time. A clock further ahead makes every pointer
// look expired, and the message then names both times so the player can see which is wrong.
constexpr qint64 kPointerExpiryGraceSeconds = 24 * 60 * 60;

// The newest channel pointer a client has accepted.
struct SeenPointer
{
    qint64 sequence = 0; // 0: none
    QString releaseId;
    QByteArray manifestSha256; // empty when unknown (a record from the installed manifest)
};

enum class PointerVerdict {
    Accepted,
    Older,       // lower sequence than one accepted before, or none once one was
    Conflicting, // the sequence accepted before, naming another release or manifest
    Expired,
};

// Replay is judged first: an old pointer is refused for what it is, whatever the clock says.
[[nodiscard]] PointerVerdict judgeChannelPointer(const ChannelPointer& pointer,
                                                 const SeenPointer& seen, const QDateTime& nowUtc);

// The higher of two records; on equal sequences the one that knows its manifest digest.
[[nodiscard]] SeenPointer newerSeenPointer(const SeenPointer& a, const SeenPointer& b);

// Where the game channel's record lives: .vorn/channel-sequence.json of the game folder.
[[nodiscard]] QString gamePointerHistoryPath(const QDir& gameFolder);

// The record file keeps, per channel and per trusted key, the newest pointer accepted under
// that key. A client consults every key it trusts now, so a replayed pointer signed by an old
// key that is still trusted is refused, while the memory of a dropped key goes with it. An
// unreadable file counts as empty: it only loses the memory, never blocks an update.
[[nodiscard]] SeenPointer readSeenPointer(const QString& historyPath, const QString& channel,
                                          const QList<QByteArray>& keyDigests);

// Raises the record of channel under keyDigest to pointer, never lowers it. Written atomically.
// The folder is created only where its parent exists, so a check does not create a game
// folder that was never installed.
[[nodiscard]] bool rememberSeenPointer(const QString& historyPath, const QString& channel,
                                       const QByteArray& keyDigest, const SeenPointer& pointer,
                                       QString* error = nullptr);

// The release an installed manifest came with; none if it records no sequence.
[[nodiscard]] SeenPointer installedSeenPointer(const QString& installedManifestPath);

} // namespace vorn
