#include "core/chunker.h"

#include "core/sha256.h"

#include <QFileDevice>
#include <QIODevice>
#include <QScopedArrayPointer>

#include <array>

namespace vorn {

namespace {

constexpr qint64 kChunkReadBytes = 256 * 1024;
constexpr qint64 kHashReadBytes = 1024 * 1024;
// The rolling hash shifts one bit per byte, so only the last 64 bytes decide a cut test.
constexpr qint64 kWindowBytes = 64;

using GearTable = std::array<quint64, 256>;

const GearTable& gearTable()
{
    static const GearTable table = [] {
        GearTable gear{};
        quint64 state = 0x564F524E4348554EULL; // "VORNCHUN"
        for (quint64& entry : gear) {
            state += 0x9E3779B97F4A7C15ULL;
            quint64 z = state;
            z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ULL;
            z = (z ^ (z >> 27)) * 0x94D049BB133111EBULL;
            entry = z ^ (z >> 31);
        }
        return gear;
    }();
    return table;
}

void setError(QString* error, const QString& text)
{
    if (error)
        *error = text;
}

bool hasRecordedError(const QIODevice* device)
{
    // Only file devices keep an error state apart from their text.
    const auto* file = qobject_cast<const QFileDevice*>(device);
    return file && file->error() != QFileDevice::NoError;
}

QString readFailureText(const QIODevice* device, const char* endOfFile)
{
    return hasRecordedError(device) ? device->errorString() : QString::fromLatin1(endOfFile);
}

bool openIfNeeded(QIODevice* device, QString* error)
{
    if (device->isOpen())
        return true;
    if (device->open(QIODevice::ReadOnly))
        return true;
    setError(error, device->errorString());
    return false;
}

// Feeds data[0, length) into the rolling hash; returns the number of bytes up to and including
// the first byte after which (hash & mask) == 0, or 0 if there is none.
inline qint64 scanOneLane(const uchar* data, qint64 length, quint64* hash, quint64 mask,
                          const quint64* gear)
{
    quint64 h = *hash;
    for (qint64 i = 0; i < length; ++i) {
        h = (h << 1) + gear[data[i]];
        if (Q_UNLIKELY((h & mask) == 0)) {
            *hash = h;
            return i + 1;
        }
    }
    *hash = h;
    return 0;
}

// Same result as scanOneLane. The hash is a chain of dependent additions, so the second half is
// rolled at the same time from a fresh hash over the 64 bytes before it, which equals the running
// hash there. Requires those 64 bytes to lie in data and to belong to the current chunk's hashed
// bytes, which holds for every tested position.
inline qint64 scanForCut(const uchar* data, qint64 length, quint64* hash, quint64 mask,
                         const quint64* gear)
{
    if (length < 4096)
        return scanOneLane(data, length, hash, mask, gear);
    const qint64 half = length / 2;
    const uchar* a = data;
    const uchar* b = data + half;
    quint64 ha = *hash;
    quint64 hb = 0;
    for (qint64 k = kWindowBytes; k > 0; --k)
        hb = (hb << 1) + gear[b[-k]];
    for (qint64 i = 0; i < half; ++i) {
        ha = (ha << 1) + gear[a[i]];
        hb = (hb << 1) + gear[b[i]];
        if (Q_UNLIKELY(((ha & mask) == 0) | ((hb & mask) == 0))) {
            if ((ha & mask) == 0) {
                *hash = ha;
                return i + 1;
            }
            // The second half found a cut; an earlier one in the first half still wins.
            const qint64 early = scanOneLane(a + i + 1, half - i - 1, &ha, mask, gear);
            if (early > 0) {
                *hash = ha;
                return i + 1 + early;
            }
            *hash = hb;
            return half + i + 1;
        }
    }
    const qint64 tail = scanOneLane(b + half, length - 2 * half, &hb, mask, gear);
    *hash = hb;
    return tail > 0 ? 2 * half + tail : 0;
}

inline void roll(const uchar* data, qint64 length, quint64* hash, const quint64* gear)
{
    quint64 h = *hash;
    for (qint64 i = 0; i < length; ++i)
        h = (h << 1) + gear[data[i]];
    *hash = h;
}

} // namespace

QVector<ChunkRange> split(const ChunkingOptions& options, QIODevice* device, qint64 size,
                          QString* error)
{
    const qint64 minBytes = options.minBytes;
    const qint64 averageBytes = options.averageBytes;
    const qint64 maxBytes = options.maxBytes;
    if (size < 0 || minBytes <= 0 || averageBytes < minBytes || maxBytes < averageBytes) {
        setError(error, QStringLiteral("Invalid chunking options"));
        return {};
    }
    if (!device) {
        setError(error, QStringLiteral("Chunking requires a seekable device"));
        return {};
    }
    if (!openIfNeeded(device, error))
        return {};
    if (device->isSequential() || !device->seek(0)) {
        setError(error, QStringLiteral("Chunking requires a seekable device"));
        return {};
    }
    if (size == 0)
        return {ChunkRange{0, 0}};
    if (size <= options.wholeFileThreshold)
        return {ChunkRange{0, size}};

    int bits = 0;
    if (averageBytes > 1) {
        bits = 1;
        while (bits < 62 && (qint64(1) << bits) < averageBytes)
            ++bits;
    }
    const quint64 strictMask = (quint64(1) << qMin(bits + 1, 62)) - 1;
    const quint64 looseMask = (quint64(1) << qMax(bits - 1, 1)) - 1;
    const quint64* gear = gearTable().data();
    QScopedArrayPointer<uchar> buffer(new uchar[kChunkReadBytes]);

    QVector<ChunkRange> ranges;
    qint64 offset = 0;
    while (offset < size) {
        const qint64 limit = qMin(size - offset, maxBytes);
        // Bytes that leave the hash before the first test are not read. At least the chunk's last
        // byte is read, so a file that shrank is still noticed.
        const qint64 skip = qMin(qMax<qint64>(0, minBytes - kWindowBytes), limit - 1);
        if (!device->seek(offset + skip)) {
            setError(error, QStringLiteral("Cannot seek while chunking"));
            return {};
        }
        qint64 pos = skip;
        quint64 hash = 0;
        qint64 length = 0;
        while (length == 0 && pos < limit) {
            const qint64 got = device->read(reinterpret_cast<char*>(buffer.data()),
                                            qMin(limit - pos, kChunkReadBytes));
            if (got <= 0) {
                setError(error, readFailureText(device, "Unexpected end of file while chunking"));
                return {};
            }
            const uchar* data = buffer.data();
            qint64 done = 0;
            // Positions below minBytes only warm the hash up.
            if (pos < minBytes) {
                const qint64 n = qMin(got, minBytes - 1 - pos);
                roll(data, n, &hash, gear);
                done = n;
            }
            while (done < got) {
                const qint64 position = pos + done; // bytes of the chunk before data[done]
                const bool strict = position + 1 < averageBytes;
                const qint64 n = strict ? qMin(got - done, averageBytes - 1 - position) : got - done;
                const qint64 cut = scanForCut(data + done, n, &hash,
                                              strict ? strictMask : looseMask, gear);
                if (cut > 0) {
                    length = position + cut;
                    break;
                }
                done += n;
            }
            pos += got;
        }
        if (length == 0)
            length = limit;
        if (length <= 0) {
            setError(error, QStringLiteral("Chunker produced an empty block"));
            return {};
        }
        ranges.append(ChunkRange{offset, length});
        offset += length;
    }
    return ranges;
}

bool hashDeviceBytes(QIODevice* device, Sha256* hash, qint64 length, QString* error)
{
    if (length <= 0)
        return true;
    const qint64 bufferSize = qMin(length, kHashReadBytes);
    QScopedArrayPointer<char> buffer(new char[bufferSize]);
    qint64 remaining = length;
    while (remaining > 0) {
        const qint64 got = device->read(buffer.data(), qMin(remaining, bufferSize));
        if (got <= 0) {
            setError(error, readFailureText(device, "Unexpected end of file"));
            return false;
        }
        hash->addData(buffer.data(), got);
        remaining -= got;
    }
    return true;
}

QByteArray sha256OfDevice(QIODevice* device, QString* error)
{
    if (!device || !openIfNeeded(device, error))
        return {};
    const bool sequential = device->isSequential();
    if (!sequential && !device->seek(0)) {
        setError(error, QStringLiteral("Cannot seek to the beginning of the device"));
        return {};
    }
    // Sized to the file when it is known, plus one byte so the end is seen without another read.
    qint64 bufferSize = kHashReadBytes;
    if (!sequential)
        bufferSize = qBound<qint64>(4096, device->size() + 1, kHashReadBytes);
    QScopedArrayPointer<char> buffer(new char[bufferSize]);
    Sha256 hash;
    for (;;) {
        const qint64 got = device->read(buffer.data(), bufferSize);
        if (got < 0) {
            setError(error, device->errorString());
            return {};
        }
        if (got == 0)
            break;
        hash.addData(buffer.data(), got);
    }
    return hash.result();
}

QByteArray sha256OfRange(QIODevice* device, qint64 offset, qint64 length, QString* error)
{
    if (offset < 0 || length < 0) {
        setError(error, QStringLiteral("Invalid hash range"));
        return {};
    }
    if (!device || !openIfNeeded(device, error))
        return {};
    if (device->isSequential() || !device->seek(offset)) {
        setError(error, QStringLiteral("Cannot seek to requested hash range"));
        return {};
    }
    Sha256 hash;
    if (!hashDeviceBytes(device, &hash, length, error))
        return {};
    return hash.result();
}

LocalChunkIndex indexLocalChunks(QIODevice* device, const ChunkingOptions& options, QString* error)
{
    if (!device)
        return {};
    const QVector<ChunkRange> ranges = split(options, device, device->size(), error);
    if (ranges.isEmpty())
        return {};
    LocalChunkIndex index;
    for (const ChunkRange& range : ranges) {
        const QByteArray digest = sha256OfRange(device, range.offset, range.size, error);
        if (digest.size() != 32)
            return {};
        if (!index.contains(digest))
            index.insert(digest, range);
    }
    return index;
}

} // namespace vorn
