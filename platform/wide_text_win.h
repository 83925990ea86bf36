#pragma once

#include <string>

namespace vorn::platform {

// UTF-8 <-> UTF-16 for the wide Windows interfaces.
[[nodiscard]] std::wstring toWide(const std::string& utf8);
[[nodiscard]] std::string fromWide(const std::wstring& utf16);
// Without surrounding white space (FormatMessage ends its texts with a line break).
[[nodiscard]] std::string trimmed(const std::string& text);

std::string windowsErrorText(const std::string& context, unsigned long code);

} // namespace vorn::platform
