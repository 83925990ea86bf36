#include "core/sha256.h"

#include <openssl/evp.h>

namespace vorn {

struct Sha256Context
{
    EVP_MD_CTX* md = EVP_MD_CTX_new();
    ~Sha256Context() { EVP_MD_CTX_free(md); }
};

namespace {

// An explicitly fetched digest spares OpenSSL 3 a provider lookup on every initialisation.
const EVP_MD* sha256Digest()
{
    static const EVP_MD* const digest = [] {
        const EVP_MD* fetched = EVP_MD_fetch(nullptr, "SHA256", nullptr);
        return fetched ? fetched : EVP_sha256();
    }();
    return digest;
}

} // namespace

Sha256::Sha256()
    : m_context(new Sha256Context)
{
    reset();
}

Sha256::~Sha256()
{
    delete m_context;
}

void Sha256::reset()
{
    m_finished = false;
    m_result.clear();
    m_ok = m_context->md && EVP_DigestInit_ex(m_context->md, sha256Digest(), nullptr) == 1;
}

void Sha256::addData(const char* data, qint64 length)
{
    if (!m_ok || m_finished || length <= 0)
        return;
    m_ok = EVP_DigestUpdate(m_context->md, data, static_cast<size_t>(length)) == 1;
}

QByteArray Sha256::result()
{
    if (m_finished)
        return m_result;
    m_finished = true;
    if (!m_ok)
        return m_result;
    unsigned char digest[EVP_MAX_MD_SIZE];
    unsigned int length = 0;
    if (EVP_DigestFinal_ex(m_context->md, digest, &length) == 1 && length == 32)
        m_result = QByteArray(reinterpret_cast<const char*>(digest), 32);
    return m_result;
}

QByteArray Sha256::hash(const char* data, qint64 length)
{
    Sha256 sha;
    sha.addData(data, length);
    return sha.result();
}

} // namespace vorn
