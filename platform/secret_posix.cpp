#include "platform/secret.h"

#include <openssl/evp.h>
#include <openssl/crypto.h>
#include <openssl/rand.h>

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <fcntl.h>
#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

namespace vorn::platform {

namespace {

constexpr unsigned char kVersion = 1;
constexpr size_t kKeyBytes = 32;
constexpr size_t kNonceBytes = 12;
constexpr size_t kTagBytes = 16;

std::string configFolder()
{
    const char* xdg = std::getenv("XDG_CONFIG_HOME");
    if (xdg && xdg[0] == '/')
        return xdg;
    const char* home = std::getenv("HOME");
    if (home && home[0] == '/')
        return std::string(home) + "/.config";
    const passwd* entry = getpwuid(getuid());
    if (entry && entry->pw_dir)
        return std::string(entry->pw_dir) + "/.config";
    return {};
}

bool makeFolders(const std::string& path)
{
    for (size_t slash = path.find('/', 1); ; slash = path.find('/', slash + 1)) {
        const std::string part = path.substr(0, slash);
        if (mkdir(part.c_str(), 0700) != 0 && errno != EEXIST)
            return false;
        if (slash == std::string::npos)
            return true;
    }
}

bool readKey(const std::string& path, std::string* key)
{
    const int fd = open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NOFOLLOW);
    if (fd < 0)
        return false;
    char buffer[kKeyBytes + 1];
    size_t total = 0;
    for (;;) {
        const ssize_t got = read(fd, buffer + total, sizeof buffer - total);
        if (got < 0 && errno == EINTR)
            continue;
        if (got <= 0)
            break;
        total += size_t(got);
        if (total == sizeof buffer)
            break;
    }
    close(fd);
    if (total != kKeyBytes)
        return false;
    key->assign(buffer, kKeyBytes);
    return true;
}

bool writeAll(int fd, const unsigned char* data, size_t size)
{
    while (size > 0) {
        const ssize_t written = write(fd, data, size);
        if (written < 0 && errno == EINTR)
            continue;
        if (written <= 0)
            return false;
        data += written;
        size -= size_t(written);
    }
    return true;
}

// The key of this user; created on first use. A new key is written to a private temporary
// file and linked into place, so two launchers starting at once agree on one key.
bool userKey(bool create, std::string* key)
{
    const std::string folder = configFolder();
    if (folder.empty())
        return false;
    const std::string directory = folder + "/vorn-launcher";
    const std::string path = directory + "/secret.key";
    if (readKey(path, key))
        return true;
    if (!create || errno != ENOENT || !makeFolders(directory))
        return false;

    unsigned char fresh[kKeyBytes];
    if (RAND_bytes(fresh, sizeof fresh) != 1)
        return false;
    std::string temporary = directory + "/secret.key.XXXXXX";
    const int fd = mkstemp(temporary.data());
    if (fd < 0)
        return false;
    const bool written = fchmod(fd, 0600) == 0 && writeAll(fd, fresh, sizeof fresh)
                         && fsync(fd) == 0;
    close(fd);
    const bool linked = written && (link(temporary.c_str(), path.c_str()) == 0 || errno == EEXIST);
    unlink(temporary.c_str());
    OPENSSL_cleanse(fresh, sizeof fresh);
    return linked && readKey(path, key);
}

struct CipherContext
{
    EVP_CIPHER_CTX* context = EVP_CIPHER_CTX_new();
    ~CipherContext() { EVP_CIPHER_CTX_free(context); }
};

const unsigned char* bytes(const std::string& text)
{
    return reinterpret_cast<const unsigned char*>(text.data());
}

} // namespace

bool protectSecret(const std::string& text, std::string* sealed)
{
    sealed->clear();
    std::string key;
    if (!userKey(true, &key))
        return false;
    unsigned char nonce[kNonceBytes];
    if (RAND_bytes(nonce, sizeof nonce) != 1)
        return false;

    std::string out(1 + kNonceBytes + text.size() + kTagBytes, '\0');
    unsigned char* begin = reinterpret_cast<unsigned char*>(out.data());
    begin[0] = kVersion;
    std::copy(nonce, nonce + kNonceBytes, begin + 1);
    unsigned char* cipherText = begin + 1 + kNonceBytes;

    CipherContext cipher;
    int length = 0;
    int finalLength = 0;
    const bool ok
        = cipher.context
          && EVP_EncryptInit_ex(cipher.context, EVP_aes_256_gcm(), nullptr, nullptr, nullptr) == 1
          && EVP_CIPHER_CTX_ctrl(cipher.context, EVP_CTRL_GCM_SET_IVLEN, int(kNonceBytes), nullptr) == 1
          && EVP_EncryptInit_ex(cipher.context, nullptr, nullptr, bytes(key), nonce) == 1
          // The version byte is authenticated too, so it cannot be swapped.
          && EVP_EncryptUpdate(cipher.context, nullptr, &length, begin, 1) == 1
          && EVP_EncryptUpdate(cipher.context, cipherText, &length, bytes(text), int(text.size())) == 1
          && EVP_EncryptFinal_ex(cipher.context, cipherText + length, &finalLength) == 1
          && EVP_CIPHER_CTX_ctrl(cipher.context, EVP_CTRL_GCM_GET_TAG, int(kTagBytes),
                                 cipherText + text.size()) == 1;
    OPENSSL_cleanse(key.data(), key.size());
    if (!ok)
        return false;
    *sealed = std::move(out);
    return true;
}

bool unprotectSecret(const std::string& sealed, std::string* text)
{
    text->clear();
    if (sealed.size() < 1 + kNonceBytes + kTagBytes || bytes(sealed)[0] != kVersion)
        return false;
    std::string key;
    if (!userKey(false, &key))
        return false;

    const unsigned char* begin = bytes(sealed);
    const unsigned char* nonce = begin + 1;
    const unsigned char* cipherText = nonce + kNonceBytes;
    const size_t cipherBytes = sealed.size() - 1 - kNonceBytes - kTagBytes;
    unsigned char tag[kTagBytes];
    std::copy(cipherText + cipherBytes, cipherText + cipherBytes + kTagBytes, tag);

    std::string plain(cipherBytes, '\0');
    unsigned char* out = reinterpret_cast<unsigned char*>(plain.data());
    CipherContext cipher;
    int length = 0;
    int finalLength = 0;
    const bool ok
        = cipher.context
          && EVP_DecryptInit_ex(cipher.context, EVP_aes_256_gcm(), nullptr, nullptr, nullptr) == 1
          && EVP_CIPHER_CTX_ctrl(cipher.context, EVP_CTRL_GCM_SET_IVLEN, int(kNonceBytes), nullptr) == 1
          && EVP_DecryptInit_ex(cipher.context, nullptr, nullptr, bytes(key), nonce) == 1
          && EVP_DecryptUpdate(cipher.context, nullptr, &length, begin, 1) == 1
          && EVP_DecryptUpdate(cipher.context, out, &length, cipherText, int(cipherBytes)) == 1
          && EVP_CIPHER_CTX_ctrl(cipher.context, EVP_CTRL_GCM_SET_TAG, int(kTagBytes), tag) == 1
          && EVP_DecryptFinal_ex(cipher.context, out + length, &finalLength) == 1;
    OPENSSL_cleanse(key.data(), key.size());
    if (!ok) {
        OPENSSL_cleanse(plain.data(), plain.size());
        return false;
    }
    *text = std::move(plain);
    return true;
}

} // namespace vorn::platform
