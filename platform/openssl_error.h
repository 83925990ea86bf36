#pragma once

#include <string>

namespace vorn::platform {

// "<context>: <OpenSSL's text for the error it queued on this thread>", or "<context>: <fallback>"
// when it queued none. Empties the thread's error queue, so the next failure starts clean.
[[nodiscard]] std::string opensslErrorText(const std::string& context, const std::string& fallback);

} // namespace vorn::platform
