#pragma once

#include <string>

namespace vorn::platform {

// Seals text so that only the current user can open it again: DPAPI on Windows; elsewhere
// AES-256-GCM under a random key kept in the user's configuration folder
// ($XDG_CONFIG_HOME or ~/.config, then vorn-launcher/secret.key, mode 0600), created on
// first use. Returns false and leaves *sealed empty when the text cannot be sealed.
[[nodiscard]] bool protectSecret(const std::string& text, std::string* sealed);

// Opens what protectSecret sealed. False for damaged data and for data sealed by another
// user, machine or key.
[[nodiscard]] bool unprotectSecret(const std::string& sealed, std::string* text);

} // namespace vorn::platform
