#include "core/pointer_history.h"

#include "core/file_status.h"
#include "core/json_values.h"
#include "core/local_state.h"
#include "core/save_file.h"

#include <QDir>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

namespace vorn {

namespace {

constexpr qint64 kMaxHistoryBytes = 1024 * 1024;

QJsonArray readEntries(const QString& path)
{
    QByteArray bytes;
    if (!readRegularFile(path, kMaxHistoryBytes, &bytes))
        return {};
    const QJsonObject root = QJsonDocument::fromJson(bytes).object();
    if (root.value(QLatin1String("schema")).toInt(0) != 1)
        return {};
    return root.value(QLatin1String("pointers")).toArray();
}

bool matches(const QJsonObject& entry, const QString& channel, const QByteArray& keyDigest)
{
    return entry.value(QLatin1String("channel")).toString() == channel
        && entry.value(QLatin1String("key")).toString() == QLatin1String(keyDigest.toHex());
}

SeenPointer toSeenPointer(const QJsonObject& entry)
{
    SeenPointer seen;
    if (!readNonNegativeInteger(entry.value(QLatin1String("sequence")), &seen.sequence))
        return {};
    seen.releaseId = entry.value(QLatin1String("releaseId")).toString();
    if (!readSha256Hex(entry.value(QLatin1String("manifestSha256")), &seen.manifestSha256))
        seen.manifestSha256.clear();
    return seen;
}

} // namespace

PointerVerdict judgeChannelPointer(const ChannelPointer& pointer, const SeenPointer& seen,
                                   const QDateTime& nowUtc)
{
    if (seen.sequence > 0) {
        if (pointer.sequence < seen.sequence)
            return PointerVerdict::Older;
        if (pointer.sequence == seen.sequence
            && (pointer.releaseId != seen.releaseId
                || (!seen.manifestSha256.isEmpty() && pointer.manifestSha256 != seen.manifestSha256)))
            return PointerVerdict::Conflicting;
    }
    if (pointer.expiresUtc.isValid() && pointer.expiresUtc.secsTo(nowUtc) > kPointerExpiryGraceSeconds)
        return PointerVerdict::Expired;
    return PointerVerdict::Accepted;
}

SeenPointer newerSeenPointer(const SeenPointer& a, const SeenPointer& b)
{
    if (a.sequence != b.sequence)
        return a.sequence > b.sequence ? a : b;
    return a.manifestSha256.isEmpty() ? b : a;
}

QString gamePointerHistoryPath(const QDir& gameFolder)
{
    return gameFolder.filePath(QStringLiteral(".vorn/channel-sequence.json"));
}

SeenPointer readSeenPointer(const QString& historyPath, const QString& channel,
                            const QList<QByteArray>& keyDigests)
{
    SeenPointer highest;
    if (historyPath.isEmpty())
        return highest;
    for (const QJsonValue& value : readEntries(historyPath)) {
        const QJsonObject entry = value.toObject();
        for (const QByteArray& digest : keyDigests) {
            if (matches(entry, channel, digest))
                highest = newerSeenPointer(highest, toSeenPointer(entry));
        }
    }
    return highest;
}

bool rememberSeenPointer(const QString& historyPath, const QString& channel,
                         const QByteArray& keyDigest, const SeenPointer& pointer, QString* error)
{
    QJsonArray entries;
    for (const QJsonValue& value : readEntries(historyPath)) {
        const QJsonObject entry = value.toObject();
        if (!matches(entry, channel, keyDigest)) {
            entries.append(entry);
        } else if (toSeenPointer(entry).sequence >= pointer.sequence) {
            return true;
        }
    }
    entries.append(QJsonObject{
        {QStringLiteral("channel"), channel},
        {QStringLiteral("key"), QString::fromLatin1(keyDigest.toHex())},
        {QStringLiteral("sequence"), double(pointer.sequence)},
        {QStringLiteral("releaseId"), pointer.releaseId},
        {QStringLiteral("manifestSha256"), QString::fromLatin1(pointer.manifestSha256.toHex())},
    });
    const QByteArray bytes =
        QJsonDocument(QJsonObject{{QStringLiteral("schema"), 1}, {QStringLiteral("pointers"), entries}})
            .toJson(QJsonDocument::Compact);

    // The record's folder (the game's .vorn) is refused when it is a link rather than replaced:
    // a check leaves the game folder as it found it, and the install that follows makes .vorn
    // a real folder anyway. The folder above it is the player's and is taken as it is.
    const QString folder = QFileInfo(historyPath).absolutePath();
    const EntryKind kind = entryKind(folder);
    if (kind == EntryKind::Missing && QFileInfo(QFileInfo(folder).absolutePath()).isDir())
        (void)QDir().mkdir(folder);
    if (entryKind(folder) != EntryKind::Directory) {
        if (error)
            *error = kind == EntryKind::Link || kind == EntryKind::Other
                ? QStringLiteral("%1 is a link; the record is not written through it").arg(QDir::toNativeSeparators(folder))
                : QStringLiteral("Cannot create folder %1").arg(QDir::toNativeSeparators(folder));
        return false;
    }
    return writeFileAtomically(historyPath, bytes, error);
}

SeenPointer installedSeenPointer(const QString& installedManifestPath)
{
    if (installedManifestPath.isEmpty())
        return {};
    // Two keys of the top level are all that is needed; the file list is not checked here.
    QByteArray bytes;
    if (!readRegularFile(installedManifestPath, kMaxInstalledManifestBytes, &bytes))
        return {};
    const QJsonObject root = QJsonDocument::fromJson(bytes).object();
    SeenPointer seen;
    seen.releaseId = root.value(QLatin1String("releaseId")).toString();
    if (seen.releaseId.isEmpty()
        || !readNonNegativeInteger(root.value(QLatin1String("channelSequence")), &seen.sequence))
        return {};
    return seen;
}

} // namespace vorn
