#include "core/sha256.h"

#include <windows.h>
#include <bcrypt.h>

#include <algorithm>

namespace vorn {

namespace {

// One provider for the whole process: opening it is the expensive part, and CNG allows a
// provider handle to serve hash objects on any thread.
BCRYPT_ALG_HANDLE sha256Provider()
{
    static const BCRYPT_ALG_HANDLE provider = [] {
        BCRYPT_ALG_HANDLE handle = nullptr;
        if (BCryptOpenAlgorithmProvider(&handle, BCRYPT_SHA256_ALGORITHM, nullptr, 0) < 0)
            return BCRYPT_ALG_HANDLE(nullptr);
        return handle;
    }();
    return provider;
}

} // namespace

struct Sha256Context
{
    BCRYPT_HASH_HANDLE hash = nullptr;

    ~Sha256Context() { close(); }

    void close()
    {
        if (hash)
            BCryptDestroyHash(hash);
        hash = nullptr;
    }

    // A finished CNG hash cannot take more data, and the reusable flag needs Windows 8, so
    // every reset starts a new hash object.
    bool open()
    {
        close();
        const BCRYPT_ALG_HANDLE provider = sha256Provider();
        return provider && BCryptCreateHash(provider, &hash, nullptr, 0, nullptr, 0, 0) >= 0;
    }
};

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
    m_ok = m_context->open();
}

void Sha256::addData(const char* data, qint64 length)
{
    if (!m_ok || m_finished || length <= 0)
        return;
    // BCryptHashData takes a 32-bit length; larger buffers go in slices.
    constexpr qint64 maxSlice = qint64(1) << 30;
    auto* bytes = reinterpret_cast<PUCHAR>(const_cast<char*>(data));
    while (length > 0 && m_ok) {
        const qint64 slice = std::min(length, maxSlice);
        m_ok = BCryptHashData(m_context->hash, bytes, static_cast<ULONG>(slice), 0) >= 0;
        bytes += slice;
        length -= slice;
    }
}

QByteArray Sha256::result()
{
    if (m_finished)
        return m_result;
    m_finished = true;
    if (!m_ok)
        return m_result;
    UCHAR digest[32];
    if (BCryptFinishHash(m_context->hash, digest, sizeof digest, 0) >= 0)
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
