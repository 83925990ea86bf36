#pragma once

#include "core/types.h"

#include <QString>

#include <atomic>
#include <functional>
#include <memory>

namespace vorn {

struct ApplyResult
{
    bool ok = false;
    QString error;
    // The run was cancelled before the commit began; the game folder is unchanged.
    bool cancelled = false;
};

struct FileAssemblyResult
{
    bool ok = false;
    QString error;
};

// Called on worker threads with (done, total, current file); done never exceeds total.
using ApplyProgress = std::function<void(qint64 done, qint64 total, const QString& currentFile)>;

// Shared with the engine: set it to stop the apply before its commit. Once the commit has
// begun the flag is no longer looked at, so the game folder never stops half-replaced.
using CancelFlag = std::shared_ptr<std::atomic<bool>>;

// Builds every planned file in the transaction's stage folder from local ranges and cached
// objects, verifies each chunk and each file, then replaces the files in one transaction and
// records the installed release. Blocks until done; runs on a worker thread. A failure before
// the commit leaves the game folder untouched, a failure in or after it is rolled back.
[[nodiscard]] ApplyResult applyUpdate(const UpdatePlan& plan, const Manifest& manifest,
                                      const QString& gameRoot, const QString& cacheRoot,
                                      const ApplyProgress& progress,
                                      const CancelFlag& cancel = {});

} // namespace vorn
