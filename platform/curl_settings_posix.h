#pragma once

#include "platform/http_transfer.h"

#include <curl/curl.h>

namespace vorn::platform {

// Whom a libcurl handle trusts and which way it goes out, as a request asks.

// The system's authorities, and the request's extra ones (private deployments, tests).
void applyTrust(CURL* curl, const TransferRequest& request);
void applyProxy(CURL* curl, const TransferProxy& proxy);
// The first scheme the proxy offers, in the order of preference of the launcher; 0 for none.
[[nodiscard]] long chooseProxyScheme(long available);

} // namespace vorn::platform
