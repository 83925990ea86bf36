#pragma once

#include <string>

namespace vorn::platform {

// "<context>: <the system's text for code>", UTF-8. code is GetLastError() on Windows and
// an errno value elsewhere.
[[nodiscard]] std::string systemErrorText(const std::string& context, unsigned long code);

// The last error of the calling thread in the same numbering.
[[nodiscard]] unsigned long lastSystemError();

} // namespace vorn::platform
