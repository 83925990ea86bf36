#pragma once

#include "core/types.h"

namespace vorn {

// Strict about what planning and assembly rely on (paths, sizes, digests, chunk coverage),
// lenient about the rest. On failure *output is left as it was and *error names the first
// broken rule.
[[nodiscard]] bool parseManifest(const QByteArray& bytes, Manifest* output,
                                 QString* error = nullptr);

// Compact JSON that parseManifest reads back unchanged.
[[nodiscard]] QByteArray manifestToJson(const Manifest& manifest);

} // namespace vorn
