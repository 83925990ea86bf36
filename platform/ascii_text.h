#pragma once

#include <string>

namespace vorn::platform {

// ASCII letters compared without case, whatever the C locale says (protocol words, host and
// program names).
[[nodiscard]] bool equalsIgnoringCase(const std::string& a, const std::string& b);

} // namespace vorn::platform
