#include "platform/signature.h"

#include "tests/platform/signature_vectors.h"

#include <doctest/doctest.h>

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <fstream>
#include <functional>
#include <iterator>
#include <string>
#include <vector>

using vorn::platform::ByteSpan;
using vorn::platform::verifyReleaseSignature;
using vorn::platform::verifyReleaseSignatureByAnyKey;
using vorn::test::SignatureVectors;
using Bytes = std::vector<unsigned char>;

namespace {

const std::string importPrefix = "Cannot import release public key: ";
const std::string invalidPrefix = "Invalid release signature: ";

SignatureVectors committed(const std::string& set)
{
    SignatureVectors v;
    v.blob = vorn::test::committedSignatureFile(set + "/public-key.blob");
    v.message = vorn::test::committedSignatureFile(set + "/message.bin");
    v.messageSignature = vorn::test::committedSignatureFile(set + "/message.sig");
    v.emptySignature = vorn::test::committedSignatureFile(set + "/empty.sig");
    REQUIRE(v.blob.size() > 20);
    REQUIRE(!v.message.empty());
    REQUIRE(!v.messageSignature.empty());
    REQUIRE(!v.emptySignature.empty());
    return v;
}

Bytes readFile(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    REQUIRE_MESSAGE(in.good(), "cannot open " << path);
    return Bytes(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

Bytes reversed(Bytes bytes)
{
    std::reverse(bytes.begin(), bytes.end());
    return bytes;
}

void putLittle32(Bytes* blob, std::size_t offset, std::uint32_t value)
{
    for (int i = 0; i < 4; ++i)
        (*blob)[offset + i] = static_cast<unsigned char>(value >> (8 * i));
}

bool startsWith(const std::string& text, const std::string& prefix)
{
    return text.size() > prefix.size() && text.compare(0, prefix.size(), prefix) == 0;
}

// What a complete set must show: the same checks for every key size.
void checkVectors(const SignatureVectors& v)
{
    std::string error;
    CHECK_MESSAGE(verifyReleaseSignature(v.blob, v.message, v.messageSignature, &error), error);
    CHECK_MESSAGE(verifyReleaseSignature(v.blob, ByteSpan(), v.emptySignature, &error), error);
    // The error pointer is optional.
    CHECK(verifyReleaseSignature(v.blob, v.message, v.messageSignature, nullptr));
    CHECK_FALSE(verifyReleaseSignature(v.blob, v.message, v.emptySignature, nullptr));

    {
        INFO("the big-endian octet string of the same signature is refused");
        error.clear();
        const Bytes bigEndian = reversed(v.messageSignature);
        CHECK_FALSE(verifyReleaseSignature(v.blob, v.message, bigEndian, &error));
        CHECK_MESSAGE(startsWith(error, invalidPrefix), error);
    }
    {
        INFO("changed data is refused");
        for (std::size_t at : {std::size_t(0), v.message.size() / 2, v.message.size() - 1}) {
            Bytes tampered = v.message;
            tampered[at] ^= 0x01;
            error.clear();
            CHECK_FALSE(verifyReleaseSignature(v.blob, tampered, v.messageSignature, &error));
            CHECK_MESSAGE(startsWith(error, invalidPrefix), error);
        }
        Bytes longer = v.message;
        longer.push_back('\n');
        CHECK_FALSE(verifyReleaseSignature(v.blob, longer, v.messageSignature, nullptr));
        Bytes shorter(v.message.begin(), v.message.end() - 1);
        CHECK_FALSE(verifyReleaseSignature(v.blob, shorter, v.messageSignature, nullptr));
        // A signature over no bytes is not one over a single zero byte.
        CHECK_FALSE(verifyReleaseSignature(v.blob, Bytes{0}, v.emptySignature, nullptr));
    }
    {
        INFO("a damaged signature is refused");
        Bytes flipped = v.messageSignature;
        flipped[flipped.size() / 3] ^= 0x80;
        const Bytes truncated(v.messageSignature.begin(), v.messageSignature.end() - 1);
        Bytes padded = v.messageSignature;
        padded.push_back(0);
        for (const Bytes& signature : {flipped, truncated, padded, Bytes()}) {
            error.clear();
            CHECK_FALSE(verifyReleaseSignature(v.blob, v.message, signature, &error));
            CHECK_MESSAGE(startsWith(error, invalidPrefix), error);
        }
    }
    {
        INFO("a key blob for signing only is accepted");
        Bytes signingKey = v.blob;
        putLittle32(&signingKey, 4, 0x2400);
        CHECK_MESSAGE(verifyReleaseSignature(signingKey, v.message, v.messageSignature, &error),
                      error);
    }
    {
        INFO("bytes after the modulus are ignored");
        Bytes longer = v.blob;
        longer.resize(longer.size() + 300, 0xAB);
        CHECK_MESSAGE(verifyReleaseSignature(longer, v.message, v.messageSignature, &error), error);
    }
}

} // namespace

TEST_CASE("committed signature vectors of several key sizes")
{
    for (const char* set : {"rsa2048", "rsa3072", "rsa4096"}) {
        CAPTURE(set);
        checkVectors(committed(set));
    }
}

TEST_CASE("a signature does not verify under another key")
{
    const SignatureVectors a = committed("rsa3072");
    const SignatureVectors b = committed("rsa4096");
    std::string error;
    CHECK_FALSE(verifyReleaseSignature(b.blob, a.message, a.messageSignature, &error));
    CHECK_MESSAGE(startsWith(error, invalidPrefix), error);
}

// While a publisher moves to a new key the launcher trusts both; a key it does not trust still
// fails, with the first key's error as if it stood alone.
TEST_CASE("any of several trusted keys verifies")
{
    const SignatureVectors first = committed("rsa2048");
    const SignatureVectors second = committed("rsa3072");
    const SignatureVectors third = committed("rsa4096");
    Bytes broken = first.blob;
    broken[0] = 0x07;
    const std::vector<ByteSpan> trusted = {first.blob, second.blob};
    std::size_t index = 99;
    std::string error;

    SUBCASE("signed by the second key")
    {
        CHECK_MESSAGE(verifyReleaseSignatureByAnyKey(trusted, second.message, second.messageSignature,
                                                     &index, &error),
                      error);
        CHECK(index == 1);
    }
    SUBCASE("a damaged key does not stop the next one")
    {
        CHECK(verifyReleaseSignatureByAnyKey({broken, second.blob}, second.message,
                                             second.messageSignature, &index, nullptr));
        CHECK(index == 1);
    }
    SUBCASE("signed by a third key")
    {
        CHECK_FALSE(verifyReleaseSignatureByAnyKey(trusted, third.message, third.messageSignature,
                                                   &index, &error));
        CHECK(index == 99);
        CHECK_MESSAGE(startsWith(error, invalidPrefix), error);
    }
    SUBCASE("no key at all")
    {
        CHECK_FALSE(verifyReleaseSignatureByAnyKey({}, first.message, first.messageSignature, &index,
                                                   &error));
        CHECK_MESSAGE(startsWith(error, importPrefix), error);
    }
}

TEST_CASE("an empty key is refused as a key")
{
    const SignatureVectors v = committed("rsa3072");
    std::string error;
    CHECK_FALSE(verifyReleaseSignature(Bytes(), v.message, v.messageSignature, &error));
    CHECK_MESSAGE(startsWith(error, importPrefix), error);
}

TEST_CASE("damaged key blobs fail cleanly")
{
    const SignatureVectors v = committed("rsa2048");
    const std::size_t size = v.blob.size();

    enum class Outcome { KeyRefused, SignatureRefused, Refused };
    struct Row
    {
        const char* name;
        std::function<void(Bytes*)> damage;
        Outcome outcome;
    };
    const auto set8 = [](std::size_t at, unsigned char value) {
        return [=](Bytes* b) { (*b)[at] = value; };
    };
    const auto set32 = [](std::size_t at, std::uint32_t value) {
        return [=](Bytes* b) { putLittle32(b, at, value); };
    };
    const std::vector<Row> rows = {
        {"private key blob type", set8(0, 0x07), Outcome::KeyRefused},
        {"simple blob type", set8(0, 0x01), Outcome::KeyRefused},
        {"blob type zero", set8(0, 0x00), Outcome::KeyRefused},
        {"blob version 1", set8(1, 1), Outcome::KeyRefused},
        {"blob version 3", set8(1, 3), Outcome::KeyRefused},
        {"reserved field set", set8(2, 1), Outcome::KeyRefused},
        {"reserved field high byte set", set8(3, 0x80), Outcome::KeyRefused},
        {"DSS algorithm", set32(4, 0x2200), Outcome::KeyRefused},
        {"no algorithm", set32(4, 0), Outcome::KeyRefused},
        {"private key magic RSA2", set32(8, 0x32415352), Outcome::KeyRefused},
        {"no magic", set32(8, 0), Outcome::KeyRefused},
        {"bit length zero", set32(12, 0), Outcome::Refused},
        {"bit length one byte more than the modulus", set32(12, 2048 + 8), Outcome::KeyRefused},
        {"bit length twice the modulus", set32(12, 4096), Outcome::KeyRefused},
        {"bit length near 2^32", set32(12, 0xFFFFFFF8u), Outcome::KeyRefused},
        {"bit length 2^31", set32(12, 0x80000000u), Outcome::KeyRefused},
        {"bit length one byte less", set32(12, 2048 - 8), Outcome::Refused},
        {"bit length not whole bytes", set32(12, 2047), Outcome::Refused},
        {"exponent zero", set32(16, 0), Outcome::Refused},
        {"exponent one", set32(16, 1), Outcome::Refused},
        {"exponent even", set32(16, 65536), Outcome::Refused},
        {"exponent 3", set32(16, 3), Outcome::SignatureRefused},
        {"modulus changed", [](Bytes* b) { (*b)[20 + 100] ^= 0x10; }, Outcome::SignatureRefused},
        {"modulus even", [](Bytes* b) { (*b)[20] &= 0xFE; }, Outcome::Refused},
        {"modulus top byte zero", [size](Bytes* b) { (*b)[size - 1] = 0; }, Outcome::Refused},
        {"modulus all zero",
         [size](Bytes* b) { std::fill(b->begin() + 20, b->begin() + size, 0); }, Outcome::Refused},
        {"modulus all ones",
         [size](Bytes* b) { std::fill(b->begin() + 20, b->begin() + size, 0xFF); },
         Outcome::Refused},
    };
    for (const Row& row : rows) {
        CAPTURE(row.name);
        Bytes blob = v.blob;
        row.damage(&blob);
        std::string error;
        CHECK_FALSE(verifyReleaseSignature(blob, v.message, v.messageSignature, &error));
        switch (row.outcome) {
        case Outcome::KeyRefused:
            CHECK_MESSAGE(startsWith(error, importPrefix), error);
            break;
        case Outcome::SignatureRefused:
            CHECK_MESSAGE(startsWith(error, invalidPrefix), error);
            break;
        case Outcome::Refused:
            CHECK_MESSAGE((startsWith(error, importPrefix) || startsWith(error, invalidPrefix)),
                          error);
            break;
        }
    }
}

TEST_CASE("every truncation of a key blob is refused as a key")
{
    const SignatureVectors v = committed("rsa2048");
    for (std::size_t length = 0; length < v.blob.size(); ++length) {
        CAPTURE(length);
        const Bytes blob(v.blob.begin(), v.blob.begin() + length);
        std::string error;
        CHECK_FALSE(verifyReleaseSignature(blob, v.message, v.messageSignature, &error));
        CHECK_MESSAGE(startsWith(error, importPrefix), error);
    }
}

TEST_CASE("random key blobs fail cleanly")
{
    const SignatureVectors v = committed("rsa2048");
    std::uint64_t state = 0x243F6A8885A308D3ull;
    const auto next = [&state] {
        state = state * 6364136223846793005ull + 1442695040888963407ull;
        return static_cast<unsigned char>(state >> 56);
    };
    for (std::size_t length : {1u, 7u, 19u, 20u, 21u, 64u, 276u, 277u, 1000u}) {
        CAPTURE(length);
        Bytes blob(length);
        std::generate(blob.begin(), blob.end(), next);
        blob[0] = 0x55; // never the public key blob type
        std::string error;
        CHECK_FALSE(verifyReleaseSignature(blob, v.message, v.messageSignature, &error));
        CHECK_MESSAGE(startsWith(error, importPrefix), error);
    }
    // A well-formed header before random modulus bytes gives a usable but wrong key.
    for (int round = 0; round < 8; ++round) {
        CAPTURE(round);
        Bytes blob = v.blob;
        std::generate(blob.begin() + 20, blob.end(), next);
        blob[20] |= 1;
        blob.back() |= 0x80;
        std::string error;
        CHECK_FALSE(verifyReleaseSignature(blob, v.message, v.messageSignature, &error));
        CHECK_MESSAGE(startsWith(error, invalidPrefix), error);
    }
}

// Vectors made moments earlier by the publisher's code with a fresh key; the test set-up names
// their folder in VORN_SIGNATURE_VECTORS and runs this case alone.
TEST_CASE("fresh signature vectors" * doctest::skip())
{
    const char* dir = std::getenv("VORN_SIGNATURE_VECTORS");
    REQUIRE_MESSAGE(dir != nullptr, "VORN_SIGNATURE_VECTORS is not set");
    SignatureVectors v;
    v.blob = readFile(std::string(dir) + "/public-key.blob");
    v.message = readFile(std::string(dir) + "/message.bin");
    v.messageSignature = readFile(std::string(dir) + "/message.sig");
    v.emptySignature = readFile(std::string(dir) + "/empty.sig");
    checkVectors(v);
}
