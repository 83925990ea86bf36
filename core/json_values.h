#pragma once

#include <QtGlobal>

class QByteArray;
class QJsonValue;

namespace vorn {

// 64 hexadecimal digits (either case) into 32 raw bytes; out is untouched on failure.
[[nodiscard]] bool readSha256Hex(const QJsonValue& value, QByteArray* out);

// An integral JSON number from 0 to 2^63 - 1 that a double holds exactly; out is untouched on
// failure.
[[nodiscard]] bool readNonNegativeInteger(const QJsonValue& value, qint64* out);

} // namespace vorn
