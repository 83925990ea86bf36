#include "platform/secret.h"

#include <doctest/doctest.h>

#ifndef _WIN32
#include <cstdlib>
#include <fstream>
#include <sys/stat.h>
#include <unistd.h>
#endif

using namespace vorn::platform;

namespace {

#ifndef _WIN32
// Each test keeps its key in a folder of its own.
struct KeyFolder
{
    std::string path;
    KeyFolder()
    {
        char name[] = "/tmp/vorn-secret-XXXXXX";
        path = mkdtemp(name);
        setenv("XDG_CONFIG_HOME", path.c_str(), 1);
    }
    ~KeyFolder()
    {
        unlink((path + "/vorn-launcher/secret.key").c_str());
        rmdir((path + "/vorn-launcher").c_str());
        rmdir(path.c_str());
    }
    std::string keyFile() const { return path + "/vorn-launcher/secret.key"; }
};
#else
struct KeyFolder
{
};
#endif

} // namespace

TEST_CASE("text sealed for this user opens again unchanged")
{
    [[maybe_unused]] KeyFolder folder;
    for (const std::string& text : {std::string("p"), std::string("пароль ü \xF0\x9F\x99\x82 \"x\""),
                                   std::string(300, 'a'), std::string()}) {
        CAPTURE(text);
        std::string sealed;
        REQUIRE(protectSecret(text, &sealed));
        CHECK_FALSE(sealed.empty());
        if (text.size() > 4)
            CHECK(sealed.find(text) == std::string::npos);
        std::string opened = "stale";
        CHECK(unprotectSecret(sealed, &opened));
        CHECK(opened == text);
    }
}

TEST_CASE("damaged sealed text does not open")
{
    [[maybe_unused]] KeyFolder folder;
    std::string sealed;
    REQUIRE(protectSecret("correct horse", &sealed));
    for (const size_t position : {size_t(0), sealed.size() / 2, sealed.size() - 1}) {
        CAPTURE(position);
        std::string damaged = sealed;
        damaged[position] = char(damaged[position] ^ 0x5a);
        std::string opened = "stale";
        CHECK_FALSE(unprotectSecret(damaged, &opened));
        CHECK(opened.empty());
    }
    std::string opened;
    CHECK_FALSE(unprotectSecret(sealed.substr(0, sealed.size() - 1), &opened));
    CHECK_FALSE(unprotectSecret("", &opened));
    CHECK_FALSE(unprotectSecret("not sealed at all", &opened));
}

#ifndef _WIN32
TEST_CASE("the key is private to the user and text sealed under another key does not open")
{
    std::string sealed;
    {
        KeyFolder first;
        REQUIRE(protectSecret("secret", &sealed));
        struct stat info = {};
        REQUIRE(stat(first.keyFile().c_str(), &info) == 0);
        CHECK((info.st_mode & 0777) == 0600);
        CHECK(info.st_size == 32);
        std::string again;
        REQUIRE(protectSecret("secret", &again));
        CHECK(again != sealed); // a fresh nonce every time
    }
    KeyFolder second;
    std::string opened = "stale";
    CHECK_FALSE(unprotectSecret(sealed, &opened)); // no key at all yet: none is created
    CHECK(access(second.keyFile().c_str(), F_OK) != 0);
    std::string other;
    REQUIRE(protectSecret("other", &other));
    CHECK_FALSE(unprotectSecret(sealed, &opened));
    CHECK(opened.empty());

    // A key file of the wrong size is not used, and not silently replaced.
    std::ofstream(second.keyFile(), std::ios::trunc) << "short";
    CHECK_FALSE(protectSecret("x", &other));
    CHECK(other.empty());
}
#endif
