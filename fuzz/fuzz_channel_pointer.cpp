// The channel pointer is the first document a server hands over. Whatever is accepted must name
// the live channel, a digest and a manifest path that stays on the server.
#include "core/channel_pointer.h"
#include "core/paths.h"

#include <cstddef>
#include <cstdint>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const QByteArray bytes = QByteArray::fromRawData(reinterpret_cast<const char*>(data), int(size));
    vorn::ChannelPointer pointer;
    pointer.releaseId = QStringLiteral("untouched");
    QString error;
    if (!vorn::parseChannelPointer(bytes, &pointer, &error)) {
        if (error.isEmpty() || pointer.releaseId != QLatin1String("untouched"))
            __builtin_trap();
        return 0;
    }
    if (pointer.schema != 1 || pointer.channel != QLatin1String("live") || pointer.releaseId.isEmpty()
        || pointer.manifestSha256.size() != 32 || !vorn::isSafeRelativePath(pointer.manifestPath)
        || vorn::normalizeRelativePath(pointer.manifestPath) != pointer.manifestPath)
        __builtin_trap();
    return 0;
}
