#pragma once

#include <QByteArray>
#include <QtGlobal>

namespace vorn {

// The largest stored object a client downloads; no chunk of a release may be larger either,
// so a manifest that declares more is refused when it is read.
constexpr qint64 kMaxObjectBytes = 16 * 1024 * 1024;

// Unpacks a stored object ("qt-zlib-v1": a 4-byte big-endian length, then a zlib stream, which
// an empty chunk may lack) into
// exactly chunkSize bytes. False, with *chunk empty, when the length prefix announces another
// size or the stream does not end at exactly chunkSize bytes. The output never grows beyond
// chunkSize, whatever the stream would expand to.
[[nodiscard]] bool inflateObject(const QByteArray& object, qint64 chunkSize, QByteArray* chunk);

} // namespace vorn
