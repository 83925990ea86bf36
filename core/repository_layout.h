#pragma once

#include <QByteArray>
#include <QString>

namespace vorn {

// Names on an update server, shared by the publisher that writes them and the launcher that
// reads them.

// "objects/ab/ab…(64 hex digits).bin": the same name on the server and in the local cache.
[[nodiscard]] QString objectRelativePath(const QByteArray& blobSha256);

// The detached signature beside a manifest: its last four characters (the "json" of the
// extension, whatever they are) replaced by "sig".
[[nodiscard]] QString manifestSignaturePath(const QString& manifestPath);

} // namespace vorn
