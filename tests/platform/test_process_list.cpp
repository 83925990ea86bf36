#include "platform/process_list.h"
#include "tests/platform/test_process_list_child.h"

#include <doctest/doctest.h>

#include <chrono>
#include <filesystem>
#include <random>
#include <string>
#include <thread>

namespace fs = std::filesystem;
using vorn::test::ChildProcess;

namespace {

const char* const kSleeper = VORN_SLEEPER_FILE_NAME;

std::string uniqueTag()
{
    std::random_device device;
    return std::to_string(std::uniform_int_distribution<unsigned>(100000, 999999)(device));
}

// The sleeper under the file name the process list must report.
struct RenamedSleeper
{
    fs::path folder;
    fs::path program;

    explicit RenamedSleeper(const std::string& fileName)
    {
        folder = fs::temp_directory_path() / ("vorn-process-list-" + uniqueTag());
        fs::create_directories(folder);
        program = folder / fileName;
        fs::copy_file(fs::path(vorn::test::programDirectory()) / kSleeper, program,
                      fs::copy_options::overwrite_existing);
        fs::permissions(program, fs::perms::owner_all, fs::perm_options::add);
    }
    ~RenamedSleeper()
    {
        std::error_code ignored;
        fs::remove_all(folder, ignored);
    }
};

// A started process shows up in the list only once it runs its own image.
bool seenWithin(const std::string& name, std::chrono::milliseconds limit)
{
    const auto end = std::chrono::steady_clock::now() + limit;
    while (!vorn::platform::isProcessRunning(name)) {
        if (std::chrono::steady_clock::now() > end)
            return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    return true;
}

} // namespace

TEST_CASE("a running game client is found by its file name, in any letter case")
{
    const char* const names[] = {"vorn.exe", "VORN.EXE", "Vorn.Exe"};
    for (const char* name : names) {
        CAPTURE(name);
        RenamedSleeper sleeper(name);
        ChildProcess child;
        REQUIRE(child.start(sleeper.program.string()));
        CHECK(seenWithin("vorn.exe", std::chrono::seconds(10)));
        CHECK(vorn::platform::isGameRunning());
        child.stop();
    }
}

TEST_CASE("only the whole file name matches, and a stopped process is gone")
{
    const std::string tag = uniqueTag();
    const std::string name = "pl" + tag + ".exe";
    RenamedSleeper sleeper(name);
    ChildProcess child;
    REQUIRE(child.start(sleeper.program.string()));
    REQUIRE(seenWithin(name, std::chrono::seconds(10)));

    CHECK(vorn::platform::isProcessRunning("PL" + tag + ".EXE"));
    CHECK_FALSE(vorn::platform::isProcessRunning("l" + tag + ".exe"));
    CHECK_FALSE(vorn::platform::isProcessRunning("pl" + tag));
    CHECK_FALSE(vorn::platform::isProcessRunning("pl" + tag + ".exe.bak"));

    child.stop();
    CHECK_FALSE(vorn::platform::isProcessRunning(name));
}

TEST_CASE("a file name longer than the kernel keeps as a process name is still found")
{
    const std::string name = "process-list-probe-" + uniqueTag() + ".exe";
    RenamedSleeper sleeper(name);
    ChildProcess child;
    REQUIRE(child.start(sleeper.program.string()));
    CHECK(seenWithin(name, std::chrono::seconds(10)));
}
