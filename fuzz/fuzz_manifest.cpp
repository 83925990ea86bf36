// Manifests come from the network and from .vorn/installed-manifest.json. No input may crash the
// parser, and whatever it accepts must survive being written and read again unchanged: that is
// how the installed release is remembered.
#include "core/manifest.h"

#include <cstddef>
#include <cstdint>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const QByteArray bytes = QByteArray::fromRawData(reinterpret_cast<const char*>(data), int(size));
    vorn::Manifest manifest;
    manifest.releaseId = QStringLiteral("untouched");
    const vorn::Manifest before = manifest;
    QString error;
    if (!vorn::parseManifest(bytes, &manifest, &error)) {
        if (error.isEmpty() || manifest != before)
            __builtin_trap();
        return 0;
    }
    const QByteArray written = vorn::manifestToJson(manifest);
    vorn::Manifest again;
    QString againError;
    if (!vorn::parseManifest(written, &again, &againError) || again != manifest
        || vorn::manifestToJson(again) != written)
        __builtin_trap();
    return 0;
}
