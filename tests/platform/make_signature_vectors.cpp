// Writes a set of release signature test vectors made with the publisher's OpenSSL code:
//   make_signature_vectors OUTDIR [BITS]
// OUTDIR/public-key.blob, message.bin, message.sig (over message.bin) and empty.sig (over no
// bytes). The signature tests check them with the launcher's verifier, natively and under Wine.
#include "publish/release_keys.h"

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

namespace {

bool writeFile(const std::string& path, const std::vector<unsigned char>& bytes)
{
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(bytes.data()),
              static_cast<std::streamsize>(bytes.size()));
    out.close();
    if (!out) {
        std::fprintf(stderr, "make_signature_vectors: cannot write %s\n", path.c_str());
        return false;
    }
    return true;
}

} // namespace

int main(int argc, char** argv)
{
    using namespace vorn::publish;
    if (argc < 2 || argc > 3) {
        std::fprintf(stderr, "usage: make_signature_vectors OUTDIR [BITS]\n");
        return 2;
    }
    const std::string dir = argv[1];
    const int bits = argc == 3 ? std::atoi(argv[2]) : defaultReleaseKeyBits;

    const std::string text =
        "{\"schema\":1,\"channel\":\"live\",\"releaseId\":\"2024.06.1\","
        "\"manifestPath\":\"manifests/2024.06.1.json\",\"manifestSha256\":"
        "\"9f86d081884c7d659a2feaa0c55ad015a3bf4f1b2b0b822cd15d6c15b0f00a08\"}";
    const std::vector<unsigned char> message(text.begin(), text.end());

    std::error_code made;
    std::filesystem::create_directories(dir, made);
    if (made) {
        std::fprintf(stderr, "make_signature_vectors: cannot create %s: %s\n", dir.c_str(),
                     made.message().c_str());
        return 1;
    }

    ReleaseKey key;
    std::vector<unsigned char> blob;
    std::vector<unsigned char> messageSignature;
    std::vector<unsigned char> emptySignature;
    std::string error;
    if (!generateReleaseKey(bits, &key, &error) || !exportPublicKeyBlob(key, &blob, &error)
        || !signRelease(key, message, &messageSignature, &error)
        || !signRelease(key, vorn::platform::ByteSpan(), &emptySignature, &error)) {
        std::fprintf(stderr, "make_signature_vectors: %s\n", error.c_str());
        return 1;
    }
    const bool written = writeFile(dir + "/public-key.blob", blob)
                         && writeFile(dir + "/message.bin", message)
                         && writeFile(dir + "/message.sig", messageSignature)
                         && writeFile(dir + "/empty.sig", emptySignature);
    return written ? 0 : 1;
}
