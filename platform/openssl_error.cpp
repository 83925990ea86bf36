#include "platform/openssl_error.h"

#include <openssl/err.h>

namespace vorn::platform {

std::string opensslErrorText(const std::string& context, const std::string& fallback)
{
    // The oldest queued error names the cause; later ones are the callers that passed it on.
    const unsigned long code = ERR_get_error();
    ERR_clear_error();
    if (code == 0)
        return context + ": " + fallback;
    char text[256] = {};
    ERR_error_string_n(code, text, sizeof text);
    return context + ": " + text;
}

} // namespace vorn::platform
