#include "core/channel_pointer.h"

#include "core/json_values.h"
#include "core/paths.h"

#include <QJsonDocument>
#include <QJsonObject>

namespace vorn {

namespace {

bool fail(QString* error, const QString& message)
{
    if (error)
        *error = message;
    return false;
}

// Absent keys are fine; present ones must be well-formed, since a signed pointer with a
// broken expiry or sequence is the publisher's mistake and must not switch the checks off.
bool readFreshness(const QJsonObject& root, ChannelPointer* pointer)
{
    const QJsonValue sequence = root.value(QLatin1String("sequence"));
    if (!sequence.isUndefined()
        && (!readNonNegativeInteger(sequence, &pointer->sequence) || pointer->sequence == 0))
        return false;
    const QJsonValue expires = root.value(QLatin1String("expiresUtc"));
    if (expires.isUndefined())
        return true;
    // A time without a zone would be read in the player's own zone.
    const QDateTime time = QDateTime::fromString(expires.toString(), Qt::ISODate);
    if (!time.isValid() || time.timeSpec() == Qt::LocalTime)
        return false;
    pointer->expiresUtc = time.toUTC();
    return true;
}

} // namespace

bool parseChannelPointer(const QByteArray& bytes, ChannelPointer* output, QString* error)
{
    if (!output)
        return fail(error, QStringLiteral("Channel pointer output is null"));

    QJsonParseError parseError;
    const QJsonDocument document = QJsonDocument::fromJson(bytes, &parseError);
    if (!document.isObject())
        return fail(error, QStringLiteral("Invalid channel JSON: %1").arg(parseError.errorString()));
    const QJsonObject root = document.object();

    ChannelPointer pointer;
    pointer.schema = root.value(QLatin1String("schema")).toInt(-1);
    pointer.channel = root.value(QLatin1String("channel")).toString();
    pointer.releaseId = root.value(QLatin1String("releaseId")).toString();
    pointer.manifestPath = normalizeRelativePath(root.value(QLatin1String("manifestPath")).toString());
    if (pointer.schema != 1 || pointer.channel != QLatin1String("live")
        || pointer.releaseId.isEmpty() || pointer.manifestPath.isEmpty()
        || !readSha256Hex(root.value(QLatin1String("manifestSha256")), &pointer.manifestSha256)
        || !readFreshness(root, &pointer))
        return fail(error, QStringLiteral("Invalid channel pointer"));

    *output = pointer;
    return true;
}

} // namespace vorn
