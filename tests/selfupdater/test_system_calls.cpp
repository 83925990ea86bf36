#include "selfupdater/self_update.h"
#include "selfupdater/system_calls.h"
#include "tests/selfupdater/child_process.h"
#include "tests/selfupdater/scratch.h"

#include <doctest/doctest.h>

#include <thread>

namespace fs = std::filesystem;
using namespace std::chrono_literals;
using namespace vorn::selfupdate;
using namespace vorn::selfupdate::test;

namespace {

const fs::path probeProgram = fs::u8path(VORN_PROBE_PROGRAM);
const fs::path helperProgram = fs::u8path(VORN_SELFUPDATER_PROGRAM);

// The probe, copied to `folder` under `name` plus the platform's program suffix.
fs::path installProbe(const fs::path& folder, const std::string& name)
{
    fs::create_directories(folder);
    const fs::path copy = folder / (name + probeProgram.extension().u8string());
    fs::copy_file(probeProgram, copy, fs::copy_options::overwrite_existing);
    return copy;
}

// The started program runs on its own; give it time to leave its record, without a bound
// that a slow machine could miss.
bool waitForRecord(const fs::path& folder)
{
    for (int i = 0; i < 1200; ++i) {
        if (fs::exists(folder / "probe-ran.txt"))
            return true;
        std::this_thread::sleep_for(50ms);
    }
    return false;
}

bool recordedIn(const fs::path& folder)
{
    return waitForRecord(folder)
           && fs::equivalent(fs::u8path(readText(folder / "probe-ran.txt")), folder);
}

} // namespace

TEST_CASE("waiting on processes")
{
    NativeSystemCalls system;

    SUBCASE("a process that has already ended is not waited for")
    {
        ChildProcess child;
        REQUIRE(startChild(probeProgram, {"--exit", "0"}, child));
        REQUIRE(waitForChild(child) == 0);
        // A wrong wait would take the whole bound and then report a time-out.
        CHECK(system.waitForProcess(child.id, 120000ms) != ProcessWait::TimedOut);
    }
    SUBCASE("a live process is waited for until it exits")
    {
        ChildProcess child;
        REQUIRE(startChild(probeProgram, {"--sleep", "700"}, child));
        CHECK(system.waitForProcess(child.id, 120000ms) == ProcessWait::Ended);
        CHECK(waitForChild(child) == 0);
    }
    SUBCASE("the wait ends at its bound")
    {
        ChildProcess child;
        REQUIRE(startChild(probeProgram, {"--sleep", "60000"}, child));
        CHECK(system.waitForProcess(child.id, 200ms) == ProcessWait::TimedOut);
        killChild(child);
    }
    SUBCASE("process id 0 names nothing to wait for")
    {
        CHECK(system.waitForProcess(0, 120000ms) == ProcessWait::NotOpened);
    }
}

TEST_CASE("folder resolution and replacement on the real file system")
{
    NativeSystemCalls system;
    Scratch scratch;
    const fs::path folder = scratch.path() / "folder";
    writeText(folder / "file.txt", "x");

    fs::path canonical;
    REQUIRE(system.canonicalDirectory(folder / "." / ".." / "folder", canonical));
    CHECK(canonical.is_absolute());
    CHECK(fs::equivalent(canonical, folder));
    CHECK(system.sameDirectory(canonical, folder));
    CHECK_FALSE(system.sameDirectory(canonical, scratch.path()));
    CHECK_FALSE(system.canonicalDirectory(folder / "file.txt", canonical));
    CHECK_FALSE(system.canonicalDirectory(folder / "missing", canonical));

    REQUIRE(system.createDirectories(folder / "a" / "b"));
    writeText(folder / "a" / "b" / "old.txt", "old");
    writeText(folder / "new.txt", "new");
    REQUIRE(system.replaceFile(folder / "new.txt", folder / "a" / "b" / "old.txt"));
    CHECK(readText(folder / "a" / "b" / "old.txt") == "new");
    CHECK_FALSE(fs::exists(folder / "new.txt"));

    // A copy replaces what is there; a folder is nothing to copy.
    CHECK(system.copyFile(folder / "file.txt", folder / "a" / "b" / "old.txt"));
    CHECK(readText(folder / "a" / "b" / "old.txt") == "x");
    CHECK_FALSE(system.copyFile(folder / "a", folder / "copy-of-a-folder"));

    CHECK(system.writeFileDurably(folder / "v.txt", "1.2"));
    CHECK(system.writeFileDurably(folder / "v.txt", "1"));
    CHECK(readText(folder / "v.txt") == "1");

    system.removeTree(folder);
    CHECK_FALSE(fs::exists(folder));
}

TEST_CASE("a file another program holds open is replaced once it is let go"
          * doctest::skip(!replacementLocksExist))
{
    // The file is let go at the first pause, so the helper has met it held at least once
    // however slowly the machine runs.
    class CountingSystem final : public NativeSystemCalls {
    public:
        void* held = nullptr;
        int sleeps = 0;
        void sleepFor(std::chrono::milliseconds duration) override
        {
            if (++sleeps == 1)
                release(held);
            NativeSystemCalls::sleepFor(duration);
        }
        bool startProgram(const fs::path&, const fs::path&) override { return true; }
    };
    Scratch scratch;
    const fs::path stage = scratch.path() / "stage";
    const fs::path target = scratch.path() / "target";
    writeText(target / "VornLauncher.exe", "old");
    writeText(stage / "VornLauncher.exe", "new");

    CountingSystem system;
    system.held = holdAgainstReplacement(target / "VornLauncher.exe");
    REQUIRE(system.held);
    const Outcome outcome = performSelfUpdate(
        {"VornSelfUpdater", "--stage", stage.u8string(), "--target", target.u8string(),
         "--version", "2", "--launch", "VornLauncher.exe"},
        system);
    if (system.sleeps == 0)
        release(system.held);

    CHECK(outcome.exitCode == 0);
    CHECK(system.sleeps > 0); // the first moves met the open file
    CHECK(readText(target / "VornLauncher.exe") == "new");
}

TEST_CASE("starting a program")
{
    NativeSystemCalls system;
    Scratch scratch;
    const fs::path folder = scratch.path() / "launcher folder";
    const fs::path program = installProbe(folder, "launcher");

    CHECK(system.startProgram(program, folder));
    CHECK(recordedIn(folder));
    CHECK_FALSE(system.startProgram(folder / "missing-program", folder));
}

TEST_CASE("the helper program end to end")
{
    setEnvironment(noDialogVariable, "1");
    Scratch scratch;
    const fs::path stage = scratch.path() / "stage";
    const fs::path target = scratch.path() / "target";
    writeText(target / "data.txt", "old data");
    writeText(target / "self-version.txt", "1.0");
    writeText(stage / "data.txt", "new data");
    writeText(stage / ".vorn" / "state.json", "{}");
    const fs::path launcher = installProbe(stage, "launcher");

    ChildProcess ended;
    REQUIRE(startChild(probeProgram, {"--exit", "0"}, ended));
    REQUIRE(waitForChild(ended) == 0);

    SUBCASE("success replaces the files and starts the launcher again")
    {
        ChildProcess helper;
        REQUIRE(startChild(helperProgram,
                           {"--wait-pid", std::to_string(ended.id), "--stage", stage.u8string(),
                            "--target", target.u8string(), "--version", "2.0",
                            "--launch", launcher.filename().u8string()},
                           helper));
        CHECK(waitForChild(helper) == 0);
        CHECK(readText(target / "data.txt") == "new data");
        CHECK(readText(target / "self-version.txt") == "2.0");
        CHECK_FALSE(fs::exists(target / ".vorn"));
        CHECK_FALSE(fs::exists(stage));
        CHECK(recordedIn(target));
    }
    SUBCASE("a missing option fails with exit code 1 and changes nothing")
    {
        const auto before = snapshot(scratch.path());
        ChildProcess helper;
        REQUIRE(startChild(helperProgram,
                           {"--stage", stage.u8string(), "--target", target.u8string(),
                            "--version", "2.0", "--launch"},
                           helper));
        CHECK(waitForChild(helper) == 1);
        CHECK(snapshot(scratch.path()) == before);
    }
}
