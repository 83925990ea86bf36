#include "core/object_format.h"

#include <zlib.h>

#include <limits>

namespace vorn {

namespace {

quint32 lengthPrefix(const QByteArray& object)
{
    const auto* bytes = reinterpret_cast<const uchar*>(object.constData());
    return (quint32(bytes[0]) << 24) | (quint32(bytes[1]) << 16) | (quint32(bytes[2]) << 8)
           | quint32(bytes[3]);
}

} // namespace

bool inflateObject(const QByteArray& object, qint64 chunkSize, QByteArray* chunk)
{
    chunk->clear();
    if (object.size() < 4 || chunkSize < 0 || chunkSize > kMaxObjectBytes
        || qint64(lengthPrefix(object)) != chunkSize)
        return false;

    // The writer stores an empty chunk as the length prefix alone, without a stream.
    if (chunkSize == 0 && object.size() == 4)
        return true;

    QByteArray output(int(chunkSize), Qt::Uninitialized);
    z_stream stream = {};
    if (inflateInit(&stream) != Z_OK)
        return false;
    stream.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(object.constData() + 4));
    stream.avail_in = uInt(object.size() - 4);
    stream.next_out = reinterpret_cast<Bytef*>(output.data());
    stream.avail_out = uInt(chunkSize);
    int status = inflate(&stream, Z_FINISH);
    // The buffer is full but the stream has not ended: it may still end without another
    // byte, which one byte of room tells apart from a stream that goes on.
    if (status != Z_STREAM_END && stream.avail_out == 0) {
        Bytef probe = 0;
        stream.next_out = &probe;
        stream.avail_out = 1;
        status = inflate(&stream, Z_FINISH);
        if (stream.avail_out == 0)
            status = Z_BUF_ERROR;
    }
    const bool whole = status == Z_STREAM_END && stream.total_out == uLong(chunkSize);
    inflateEnd(&stream);
    if (!whole)
        return false;
    *chunk = output;
    return true;
}

} // namespace vorn
