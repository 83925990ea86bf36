#include "platform/signature.h"

#include "platform/openssl_error.h"

#include <openssl/bn.h>
#include <openssl/core_names.h>
#include <openssl/err.h>
#include <openssl/evp.h>
#include <openssl/param_build.h>

#include <algorithm>
#include <cstdint>
#include <memory>
#include <vector>

namespace vorn::platform {

namespace {

// CryptoAPI public-key blob: BLOBHEADER (8 bytes) and RSAPUBKEY (12 bytes), all little-endian,
// then the modulus of bitlen / 8 bytes, least significant byte first. Bytes after the modulus are
// ignored, as CryptImportKey ignores them.
constexpr std::size_t headerSize = 20;
constexpr unsigned char publicKeyBlobType = 0x06;
constexpr unsigned char blobVersion = 2;
constexpr std::uint32_t algorithmRsaKeyExchange = 0xA400;
constexpr std::uint32_t algorithmRsaSignature = 0x2400;
constexpr std::uint32_t rsa1Magic = 0x31415352;
// The key lengths CryptoAPI's RSA providers accept; also keeps modular arithmetic bounded.
constexpr std::uint32_t minimumBits = 384;
constexpr std::uint32_t maximumBits = 16384;

const char* const importContext = "Cannot import release public key";
const char* const hashContext = "Cannot calculate signing hash";
const char* const verifyContext = "Invalid release signature";

struct FreeBignum
{
    void operator()(BIGNUM* n) const { BN_free(n); }
};
struct FreeParamBuilder
{
    void operator()(OSSL_PARAM_BLD* b) const { OSSL_PARAM_BLD_free(b); }
};
struct FreeParams
{
    void operator()(OSSL_PARAM* p) const { OSSL_PARAM_free(p); }
};
struct FreeKeyContext
{
    void operator()(EVP_PKEY_CTX* c) const { EVP_PKEY_CTX_free(c); }
};
struct FreeKey
{
    void operator()(EVP_PKEY* k) const { EVP_PKEY_free(k); }
};
struct FreeDigestContext
{
    void operator()(EVP_MD_CTX* c) const { EVP_MD_CTX_free(c); }
};

std::uint32_t readLittle32(const unsigned char* p)
{
    return std::uint32_t(p[0]) | std::uint32_t(p[1]) << 8 | std::uint32_t(p[2]) << 16
           | std::uint32_t(p[3]) << 24;
}

std::string hex32(std::uint32_t value)
{
    static const char digits[] = "0123456789ABCDEF";
    std::string text = "0x";
    bool started = false;
    for (int shift = 28; shift >= 0; shift -= 4) {
        const unsigned digit = (value >> shift) & 0xF;
        if (digit || started || shift == 0) {
            text += digits[digit];
            started = true;
        }
    }
    return text;
}

// Checks the blob's layout and returns the key. On failure *fault describes what the blob
// breaks, or stays empty when OpenSSL refused the key and queued its own error.
std::unique_ptr<EVP_PKEY, FreeKey> importPublicKeyBlob(ByteSpan blob, std::string* fault)
{
    const unsigned char* p = blob.data;
    if (blob.size < headerSize) {
        *fault = "key blob has " + std::to_string(blob.size) + " bytes, fewer than the "
                 + std::to_string(headerSize) + " of its header";
        return nullptr;
    }
    if (p[0] != publicKeyBlobType) {
        *fault = "key blob is not a public key blob (type " + hex32(p[0]) + ")";
        return nullptr;
    }
    if (p[1] != blobVersion) {
        *fault = "unsupported key blob version " + std::to_string(p[1]);
        return nullptr;
    }
    if (p[2] != 0 || p[3] != 0) {
        *fault = "key blob has a non-zero reserved field";
        return nullptr;
    }
    const std::uint32_t algorithm = readLittle32(p + 4);
    if (algorithm != algorithmRsaKeyExchange && algorithm != algorithmRsaSignature) {
        *fault = "key blob is not an RSA key (algorithm " + hex32(algorithm) + ")";
        return nullptr;
    }
    if (readLittle32(p + 8) != rsa1Magic) {
        *fault = "key blob lacks the RSA1 public key magic";
        return nullptr;
    }
    const std::uint32_t bits = readLittle32(p + 12);
    if (bits < minimumBits || bits > maximumBits || bits % 8 != 0) {
        *fault = "unsupported RSA key length of " + std::to_string(bits) + " bits";
        return nullptr;
    }
    const std::size_t modulusSize = bits / 8;
    if (blob.size - headerSize < modulusSize) {
        *fault = "key blob is truncated: " + std::to_string(blob.size - headerSize) + " of "
                 + std::to_string(modulusSize) + " modulus bytes";
        return nullptr;
    }
    const std::uint32_t exponent = readLittle32(p + 16);
    if (exponent < 3 || exponent % 2 == 0) {
        *fault = "invalid RSA public exponent " + std::to_string(exponent);
        return nullptr;
    }
    const unsigned char* modulusBytes = p + headerSize;
    if (modulusBytes[0] % 2 == 0 || modulusBytes[modulusSize - 1] == 0) {
        *fault = "invalid RSA modulus";
        return nullptr;
    }

    std::unique_ptr<BIGNUM, FreeBignum> modulus(
        BN_lebin2bn(modulusBytes, static_cast<int>(modulusSize), nullptr));
    std::unique_ptr<BIGNUM, FreeBignum> publicExponent(BN_new());
    std::unique_ptr<OSSL_PARAM_BLD, FreeParamBuilder> builder(OSSL_PARAM_BLD_new());
    if (!modulus || !publicExponent || !builder || !BN_set_word(publicExponent.get(), exponent)
        || !OSSL_PARAM_BLD_push_BN(builder.get(), OSSL_PKEY_PARAM_RSA_N, modulus.get())
        || !OSSL_PARAM_BLD_push_BN(builder.get(), OSSL_PKEY_PARAM_RSA_E, publicExponent.get())) {
        return nullptr;
    }
    std::unique_ptr<OSSL_PARAM, FreeParams> params(OSSL_PARAM_BLD_to_param(builder.get()));
    std::unique_ptr<EVP_PKEY_CTX, FreeKeyContext> context(
        EVP_PKEY_CTX_new_from_name(nullptr, "RSA", nullptr));
    EVP_PKEY* key = nullptr;
    if (!params || !context || EVP_PKEY_fromdata_init(context.get()) <= 0
        || EVP_PKEY_fromdata(context.get(), &key, EVP_PKEY_PUBLIC_KEY, params.get()) <= 0) {
        EVP_PKEY_free(key);
        return nullptr;
    }
    return std::unique_ptr<EVP_PKEY, FreeKey>(key);
}

} // namespace

bool verifyReleaseSignature(ByteSpan publicKeyBlob, ByteSpan data, ByteSpan signature,
                            std::string* error)
{
    ERR_clear_error();
    std::string fault;
    const auto key = importPublicKeyBlob(publicKeyBlob, &fault);
    if (!key) {
        const std::string text =
            opensslErrorText(importContext, fault.empty() ? "the key could not be built" : fault);
        if (error)
            *error = text;
        return false;
    }

    // The file holds the signature least significant byte first; RSA wants it big-endian.
    std::vector<unsigned char> bigEndian(signature.data, signature.data + signature.size);
    std::reverse(bigEndian.begin(), bigEndian.end());
    static const unsigned char nothing = 0;

    std::unique_ptr<EVP_MD_CTX, FreeDigestContext> digest(EVP_MD_CTX_new());
    if (!digest
        || EVP_DigestVerifyInit_ex(digest.get(), nullptr, "SHA256", nullptr, nullptr, key.get(),
                                   nullptr)
               <= 0) {
        const std::string text = opensslErrorText(hashContext, "no SHA-256 digest available");
        if (error)
            *error = text;
        return false;
    }
    const int result =
        EVP_DigestVerify(digest.get(), bigEndian.empty() ? &nothing : bigEndian.data(),
                         bigEndian.size(), data.data ? data.data : &nothing, data.size);
    if (result == 1) {
        ERR_clear_error();
        return true;
    }
    const std::string text =
        opensslErrorText(verifyContext, "the signature does not match the data");
    if (error)
        *error = text;
    return false;
}

} // namespace vorn::platform
