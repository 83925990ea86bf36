#include "platform/system_error.h"

#include <cerrno>
#include <cstring>

namespace vorn::platform {

std::string systemErrorText(const std::string& context, unsigned long code)
{
    char buffer[256] = {};
    // The GNU strerror_r may return a static string instead of filling the buffer.
    const char* text = strerror_r(static_cast<int>(code), buffer, sizeof buffer);
    std::string message = (text && *text) ? text : "System error " + std::to_string(code);
    return context + ": " + message;
}

unsigned long lastSystemError()
{
    return static_cast<unsigned long>(errno);
}

} // namespace vorn::platform
