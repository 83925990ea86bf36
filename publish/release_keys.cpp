#include "publish/release_keys.h"

#include "platform/openssl_error.h"
#include "platform/system_error.h"

#include <openssl/bio.h>
#include <openssl/bn.h>
#include <openssl/core_names.h>
#include <openssl/err.h>
#include <openssl/evp.h>
#include <openssl/pem.h>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdint>
#include <memory>

namespace vorn::publish {

namespace {

constexpr std::uint32_t algorithmRsaKeyExchange = 0xA400;
constexpr std::uint32_t rsa1Magic = 0x31415352;
constexpr long maximumPemFileSize = 1 << 20;

struct FreeBio
{
    void operator()(BIO* b) const { BIO_free(b); }
};
struct FreeBignum
{
    void operator()(BIGNUM* n) const { BN_free(n); }
};
struct FreeDigestContext
{
    void operator()(EVP_MD_CTX* c) const { EVP_MD_CTX_free(c); }
};

bool failWith(std::string* error, const std::string& text)
{
    if (error)
        *error = text;
    return false;
}

bool failOpenssl(std::string* error, const std::string& context, const std::string& fallback)
{
    return failWith(error, platform::opensslErrorText(context, fallback));
}

void appendLittle32(std::vector<unsigned char>* out, std::uint32_t value)
{
    for (int i = 0; i < 4; ++i)
        out->push_back(static_cast<unsigned char>(value >> (8 * i)));
}

// Keeps OpenSSL from asking a terminal for a pass phrase: encrypted keys are refused instead.
int noPassphrase(char*, int, int, void*)
{
    return -1;
}

bool writeAll(int fd, const std::string& text)
{
    std::size_t done = 0;
    while (done < text.size()) {
        const ssize_t n = ::write(fd, text.data() + done, text.size() - done);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            return false;
        done += static_cast<std::size_t>(n);
    }
    return true;
}

} // namespace

ReleaseKey::ReleaseKey(evp_pkey_st* adopted) : key_(adopted) {}

ReleaseKey::~ReleaseKey()
{
    EVP_PKEY_free(key_);
}

ReleaseKey::ReleaseKey(ReleaseKey&& other) noexcept : key_(other.key_)
{
    other.key_ = nullptr;
}

ReleaseKey& ReleaseKey::operator=(ReleaseKey&& other) noexcept
{
    if (this != &other) {
        EVP_PKEY_free(key_);
        key_ = other.key_;
        other.key_ = nullptr;
    }
    return *this;
}

int ReleaseKey::bits() const
{
    return key_ ? EVP_PKEY_get_bits(key_) : 0;
}

bool generateReleaseKey(int bits, ReleaseKey* key, std::string* error)
{
    if (!key)
        return failWith(error, "Release key output is null");
    if (bits < 1024 || bits > 16384 || bits % 8 != 0)
        return failWith(error, "Unsupported release key length: " + std::to_string(bits)
                                   + " bits (a multiple of 8 from 1024 to 16384)");
    ERR_clear_error();
    EVP_PKEY* generated = EVP_PKEY_Q_keygen(nullptr, nullptr, "RSA", static_cast<size_t>(bits));
    if (!generated)
        return failOpenssl(error, "Cannot generate release key", "key generation failed");
    *key = ReleaseKey(generated);
    return true;
}

bool privateKeyToPem(const ReleaseKey& key, std::string* pem, std::string* error)
{
    if (!pem)
        return failWith(error, "Private key output is null");
    if (key.isNull())
        return failWith(error, "Cannot write private key: no key");
    ERR_clear_error();
    std::unique_ptr<BIO, FreeBio> bio(BIO_new(BIO_s_mem()));
    if (!bio
        || !PEM_write_bio_PrivateKey(bio.get(), key.get(), nullptr, nullptr, 0, nullptr, nullptr))
        return failOpenssl(error, "Cannot write private key", "the key has no private part");
    char* bytes = nullptr;
    const long length = BIO_get_mem_data(bio.get(), &bytes);
    pem->assign(bytes, static_cast<std::size_t>(length));
    return true;
}

bool writePrivateKeyFile(const ReleaseKey& key, const std::string& path, std::string* error)
{
    std::string pem;
    if (!privateKeyToPem(key, &pem, error))
        return false;
    const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0600);
    if (fd < 0)
        return failWith(error, platform::systemErrorText("Cannot create " + path, errno));
    // The mode given to open is subject to the umask, which can only narrow it.
    bool written = writeAll(fd, pem) && ::fsync(fd) == 0;
    const int writeError = errno;
    written = (::close(fd) == 0) && written;
    if (!written) {
        ::unlink(path.c_str());
        return failWith(error, platform::systemErrorText("Cannot write " + path, writeError));
    }
    return true;
}

bool loadPrivateKeyPem(const std::string& pem, ReleaseKey* key, std::string* error)
{
    if (!key)
        return failWith(error, "Release key output is null");
    if (pem.size() > static_cast<std::size_t>(maximumPemFileSize))
        return failWith(error, "Cannot read private key: the text is too long");
    ERR_clear_error();
    std::unique_ptr<BIO, FreeBio> bio(BIO_new_mem_buf(pem.data(), static_cast<int>(pem.size())));
    EVP_PKEY* loaded =
        bio ? PEM_read_bio_PrivateKey(bio.get(), nullptr, noPassphrase, nullptr) : nullptr;
    if (!loaded)
        return failOpenssl(error, "Cannot read private key", "no PEM private key found");
    ReleaseKey result(loaded);
    if (!EVP_PKEY_is_a(loaded, "RSA"))
        return failWith(error, "Cannot read private key: not an RSA key");
    *key = std::move(result);
    ERR_clear_error();
    return true;
}

bool loadPrivateKeyFile(const std::string& path, ReleaseKey* key, std::string* error)
{
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0)
        return failWith(error, platform::systemErrorText("Cannot open " + path, errno));
    std::string pem;
    char buffer[4096];
    bool ok = true;
    int readError = 0;
    for (;;) {
        const ssize_t n = ::read(fd, buffer, sizeof buffer);
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0) {
            ok = false;
            readError = errno;
            break;
        }
        if (n == 0)
            break;
        pem.append(buffer, static_cast<std::size_t>(n));
        if (pem.size() > static_cast<std::size_t>(maximumPemFileSize))
            break;
    }
    ::close(fd);
    if (!ok)
        return failWith(error, platform::systemErrorText("Cannot read " + path, readError));
    return loadPrivateKeyPem(pem, key, error);
}

bool exportPublicKeyBlob(const ReleaseKey& key, std::vector<unsigned char>* blob,
                         std::string* error)
{
    const std::string context = "Cannot export public key";
    if (!blob)
        return failWith(error, "Public key output is null");
    if (key.isNull() || !EVP_PKEY_is_a(key.get(), "RSA"))
        return failWith(error, context + ": not an RSA key");
    ERR_clear_error();
    BIGNUM* rawModulus = nullptr;
    BIGNUM* rawExponent = nullptr;
    const bool got = EVP_PKEY_get_bn_param(key.get(), OSSL_PKEY_PARAM_RSA_N, &rawModulus) == 1
                     && EVP_PKEY_get_bn_param(key.get(), OSSL_PKEY_PARAM_RSA_E, &rawExponent) == 1;
    std::unique_ptr<BIGNUM, FreeBignum> modulus(rawModulus);
    std::unique_ptr<BIGNUM, FreeBignum> exponent(rawExponent);
    if (!got)
        return failOpenssl(error, context, "the key has no modulus or exponent");

    const int bits = BN_num_bits(modulus.get());
    // The blob stores bits / 8 modulus bytes, and its exponent in 32 bits.
    if (bits % 8 != 0)
        return failWith(error, context + ": the modulus length of " + std::to_string(bits)
                                   + " bits is not a whole number of bytes");
    if (BN_num_bits(exponent.get()) > 32)
        return failWith(error, context + ": the public exponent does not fit in 32 bits");

    std::vector<unsigned char> out;
    out.reserve(20 + static_cast<std::size_t>(bits / 8));
    out.push_back(0x06); // PUBLICKEYBLOB
    out.push_back(2);    // blob version
    out.push_back(0);    // reserved
    out.push_back(0);
    appendLittle32(&out, algorithmRsaKeyExchange);
    appendLittle32(&out, rsa1Magic);
    appendLittle32(&out, static_cast<std::uint32_t>(bits));
    appendLittle32(&out, static_cast<std::uint32_t>(BN_get_word(exponent.get())));
    const std::size_t header = out.size();
    out.resize(header + static_cast<std::size_t>(bits / 8));
    if (BN_bn2lebinpad(modulus.get(), out.data() + header, bits / 8) != bits / 8)
        return failOpenssl(error, context, "the modulus does not fit");
    *blob = std::move(out);
    return true;
}

bool signRelease(const ReleaseKey& key, platform::ByteSpan data,
                 std::vector<unsigned char>* signature, std::string* error)
{
    const std::string context = "Cannot sign release data";
    if (!signature)
        return failWith(error, "Signature output is null");
    if (key.isNull())
        return failWith(error, context + ": no key");
    ERR_clear_error();
    static const unsigned char nothing = 0;
    std::unique_ptr<EVP_MD_CTX, FreeDigestContext> digest(EVP_MD_CTX_new());
    const int size = EVP_PKEY_get_size(key.get());
    std::vector<unsigned char> out(size > 0 ? static_cast<std::size_t>(size) : 0);
    std::size_t length = out.size();
    if (!digest || out.empty()
        || EVP_DigestSignInit_ex(digest.get(), nullptr, "SHA256", nullptr, nullptr, key.get(),
                                 nullptr)
               <= 0
        || EVP_DigestSign(digest.get(), out.data(), &length, data.data ? data.data : &nothing,
                          data.size)
               <= 0)
        return failOpenssl(error, context, "the key cannot sign");
    out.resize(length);
    std::reverse(out.begin(), out.end());
    *signature = std::move(out);
    return true;
}

} // namespace vorn::publish
