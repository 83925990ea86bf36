#include "core/json_values.h"

#include <QByteArray>
#include <QJsonValue>
#include <QString>

namespace vorn {

namespace {

// Value of each Latin-1 character as a hexadecimal digit, -1 for anything else. A table, because
// digest digits are random and branches on them are mispredicted half the time.
struct HexTable
{
    signed char value[256];
    constexpr HexTable() : value()
    {
        for (int c = 0; c < 256; ++c)
            value[c] = -1;
        for (int c = 0; c < 10; ++c)
            value['0' + c] = static_cast<signed char>(c);
        for (int c = 0; c < 6; ++c) {
            value['a' + c] = static_cast<signed char>(10 + c);
            value['A' + c] = static_cast<signed char>(10 + c);
        }
    }
};
constexpr HexTable kHex;

int hexDigitValue(ushort c)
{
    return c < 256 ? kHex.value[c] : -1;
}

} // namespace

// Exactly 64 characters, each a hexadecimal digit of either case. Decoded by hand: installed
// manifests carry three digests per file and are read at every planning run.
bool readSha256Hex(const QJsonValue& value, QByteArray* out)
{
    if (!value.isString() || !out)
        return false;
    const QString text = value.toString();
    if (text.size() != 64)
        return false;
    const QChar* digits = text.constData();
    char raw[32];
    for (int i = 0; i < 32; ++i) {
        const int high = hexDigitValue(digits[2 * i].unicode());
        const int low = hexDigitValue(digits[2 * i + 1].unicode());
        if (high < 0 || low < 0)
            return false;
        raw[i] = char((high << 4) | low);
    }
    *out = QByteArray(raw, 32);
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
