#include "platform/curl_settings_posix.h"

#include <openssl/ssl.h>
#include <openssl/x509.h>

#include <string>

namespace vorn::platform {

namespace {

CURLcode addExtraAuthorities(CURL*, void* sslContext, void* path)
{
    X509_STORE* store = SSL_CTX_get_cert_store(static_cast<SSL_CTX*>(sslContext));
    if (!store || X509_STORE_load_file(store, static_cast<const char*>(path)) != 1)
        return CURLE_SSL_CACERT_BADFILE;
    return CURLE_OK;
}

} // namespace

void applyTrust(CURL* curl, const TransferRequest& request)
{
    if (request.extraAuthorities.empty())
        return;
    curl_easy_setopt(curl, CURLOPT_SSL_CTX_FUNCTION, addExtraAuthorities);
    curl_easy_setopt(curl, CURLOPT_SSL_CTX_DATA, request.extraAuthorities.c_str());
}

void applyProxy(CURL* curl, const TransferProxy& proxy)
{
    switch (proxy.mode) {
    case TransferProxyMode::ManualHttp: {
        const bool bracket = proxy.host.find(':') != std::string::npos;
        const std::string name = (bracket ? "[" + proxy.host + "]" : proxy.host) + ":"
                                 + std::to_string(proxy.port);
        curl_easy_setopt(curl, CURLOPT_PROXY, name.c_str());
        curl_easy_setopt(curl, CURLOPT_PROXYTYPE, long(CURLPROXY_HTTP));
        curl_easy_setopt(curl, CURLOPT_NOPROXY, ""); // no bypass list, whatever no_proxy says
        break;
    }
    case TransferProxyMode::Direct:
        curl_easy_setopt(curl, CURLOPT_PROXY, ""); // not even the environment's proxy
        break;
    case TransferProxyMode::System:
        break; // libcurl reads https_proxy, http_proxy and no_proxy itself
    }
}

long chooseProxyScheme(long available)
{
    for (long scheme : {long(CURLAUTH_NEGOTIATE), long(CURLAUTH_NTLM), long(CURLAUTH_DIGEST),
                        long(CURLAUTH_BASIC)}) {
        if (available & scheme)
            return scheme;
    }
    return 0;
}

} // namespace vorn::platform
