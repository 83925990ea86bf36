#pragma once

#include <QProcess>

namespace vorn::test {

// Whether process, just started, accepts connections on port of this machine within
// timeoutMs; a process that ended meanwhile never does.
[[nodiscard]] bool waitUntilListening(const QProcess& process, quint16 port, int timeoutMs);

} // namespace vorn::test
