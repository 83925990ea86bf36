#include "core/json_values.h"

#include <QByteArray>
#include <QJsonValue>
#include <QString>

namespace vorn {

bool readSha256Hex(const QJsonValue& value, QByteArray* out)
{
    if (!value.isString() || !out)
        return false;
    const QString text = value.toString();
    const QByteArray latin1 = text.toLatin1();
    if (latin1.size() != 64)
        return false;
    const QByteArray raw = QByteArray::fromHex(latin1);
    if (raw.size() != 32)
        return false;
    // fromHex skips characters that are not digits, so only a re-encoding proves the text was hex.
    if (QString::fromLatin1(raw.toHex()) != text.toLower())
        return false;
    *out = raw;
    return true;
}

bool readNonNegativeInteger(const QJsonValue& value, qint64* out)
{
    if (!value.isDouble() || !out)
        return false;
    const double d = value.toDouble();
    constexpr double limit = 9223372036854775808.0; // 2^63
    // Written so that NaN fails too; converting it would be undefined.
    if (!(d >= 0.0 && d < limit))
        return false;
    const auto integer = static_cast<qint64>(d);
    if (static_cast<double>(integer) != d)
        return false;
    *out = integer;
    return true;
}

} // namespace vorn
