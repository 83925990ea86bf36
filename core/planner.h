#pragma once

#include "core/types.h"

namespace vorn {

// Compares a release with a game folder: which files must be (re)built and from which bytes,
// which objects must be downloaded, which files of the last install have become obsolete. Reads
// the folder and never writes into it, except to create the folder itself. Files that the state
// cache vouches for are not read. All outcomes are in ok and error.
[[nodiscard]] UpdatePlan buildUpdatePlan(const Manifest& manifest, const QString& gameFolder);

} // namespace vorn
