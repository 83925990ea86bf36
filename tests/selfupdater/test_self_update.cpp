#include "selfupdater/self_update.h"
#include "selfupdater/system_calls.h"
#include "tests/selfupdater/scratch.h"

#include <doctest/doctest.h>

#include <utility>
#include <vector>

namespace fs = std::filesystem;
using namespace vorn::selfupdate;
using vorn::selfupdate::test::readText;
using vorn::selfupdate::test::Scratch;
using vorn::selfupdate::test::snapshot;
using vorn::selfupdate::test::writeText;

namespace {

const std::string rolledBack = "Не удалось заменить файлы лаунчера. Старые файлы восстановлены.";

// The real file system; waits, restarts, dialogs and sleeps are recorded instead, and single
// calls can be made to fail.
class RecordingSystem final : public NativeSystemCalls {
public:
    std::vector<unsigned long> waitedFor;
    std::vector<std::chrono::milliseconds> waitTimeouts;
    ProcessWait waitResult = ProcessWait::Ended;
    std::vector<std::pair<fs::path, fs::path>> started;
    bool startSucceeds = true;
    std::vector<std::pair<std::string, std::string>> shown;
    std::vector<std::chrono::milliseconds> sleeps;
    int replaceFailures = 0;      // moves onto failingDestination that fail before one works
    fs::path failingDestination;  // empty: every destination
    int replaceAttemptsOnFailing = 0;
    bool failVersionWrite = false;
    bool failRestores = false;    // every move after the version write, i.e. the rollback
    bool versionWritten = false;

    ProcessWait waitForProcess(unsigned long processId, std::chrono::milliseconds timeout) override
    {
        waitedFor.push_back(processId);
        waitTimeouts.push_back(timeout);
        return waitResult;
    }
    bool replaceFile(const fs::path& from, const fs::path& to) override
    {
        if (failRestores && versionWritten)
            return false;
        if (failingDestination.empty() || to == failingDestination) {
            ++replaceAttemptsOnFailing;
            if (replaceFailures > 0) {
                --replaceFailures;
                return false;
            }
        }
        return NativeSystemCalls::replaceFile(from, to);
    }
    bool writeFileDurably(const fs::path& path, const std::string& bytes) override
    {
        versionWritten = true;
        return !failVersionWrite && NativeSystemCalls::writeFileDurably(path, bytes);
    }
    void sleepFor(std::chrono::milliseconds duration) override { sleeps.push_back(duration); }
    bool startProgram(const fs::path& program, const fs::path& directory) override
    {
        started.emplace_back(program, directory);
        return startSucceeds;
    }
    void showError(const std::string& tag, const std::string& message) override
    {
        shown.emplace_back(tag, message);
    }
};

// An installation with an old launcher and a staging folder with a new one.
struct Layout {
    Scratch scratch;
    fs::path stage = scratch.path() / "stage";
    fs::path target = scratch.path() / "target";

    Layout()
    {
        writeText(target / "VornLauncher.exe", "old VornLauncher.exe");
        writeText(target / "keep.txt", "untouched");
        writeText(target / "self-version.txt", "1.0.0");
        writeText(stage / "VornLauncher.exe", "new VornLauncher.exe");
    }

    std::vector<std::string> arguments(const std::string& version = "2.0.0") const
    {
        return {"VornSelfUpdater", "--wait-pid", "4242",  "--stage",  stage.u8string(),
                "--target",        target.u8string(),    "--version", version,
                "--launch",        "VornLauncher.exe"};
    }
    fs::path backupRoot() const { return target / ".self-update-backup"; }
};

void checkOutcome(const Outcome& outcome, const std::string& tag, const std::string& message)
{
    CHECK(outcome.exitCode == 1);
    CHECK(outcome.tag == tag);
    CHECK(outcome.message == message);
}

} // namespace

TEST_CASE("option lookup")
{
    struct Row {
        std::vector<std::string> arguments;
        std::string option;
        std::string expected;
    };
    const Row rows[] = {
        {{"prog", "--stage", "a", "--target", "b"}, "--target", "b"},
        {{"prog", "--stage", "a", "--stage", "b"}, "--stage", "a"},  // first match wins
        {{"prog", "--stage", "--target", "b"}, "--stage", "--target"}, // the next argument, whatever it is
        {{"prog", "--target", "b", "--stage"}, "--stage", ""},        // trailing option
        {{"prog", "--target", "b"}, "--stage", ""},
        {{"--stage", "a"}, "--stage", "a"},                           // the program path counts
        {{"prog", "--STAGE", "a"}, "--stage", ""},                    // exact case
    };
    for (const Row& row : rows)
        CHECK(optionValue(row.arguments, row.option) == row.expected);
}

TEST_CASE("missing or trailing required options stop before anything happens")
{
    Layout layout;
    const auto before = snapshot(layout.scratch.path());
    std::vector<std::vector<std::string>> commandLines;
    for (const char* option : {"--stage", "--target", "--version", "--launch"}) {
        auto arguments = layout.arguments();
        for (size_t i = 0; i + 1 < arguments.size(); ++i) {
            if (arguments[i] == option) {
                arguments.erase(arguments.begin() + long(i), arguments.begin() + long(i) + 2);
                break;
            }
        }
        commandLines.push_back(arguments);
        arguments.push_back(option); // present, but as the last argument
        commandLines.push_back(arguments);
    }
    auto emptyVersion = layout.arguments();
    emptyVersion[8] = "";
    commandLines.push_back(emptyVersion);

    for (const auto& arguments : commandLines) {
        RecordingSystem system;
        checkOutcome(performSelfUpdate(arguments, system), "SELF-ARGS",
                     "Не хватает обязательных параметров обновления.");
        CHECK(system.waitedFor.empty());
    }
    CHECK(snapshot(layout.scratch.path()) == before);
}

TEST_CASE("waiting for the launcher to exit")
{
    Layout layout;
    RecordingSystem system;

    SUBCASE("a given process id is waited for with the two-minute bound")
    {
        CHECK(performSelfUpdate(layout.arguments(), system).exitCode == 0);
        CHECK(system.waitedFor == std::vector<unsigned long>{4242});
        CHECK(system.waitTimeouts == std::vector<std::chrono::milliseconds>{std::chrono::milliseconds(120000)});
    }
    SUBCASE("a process that is gone or cannot be opened is not waited for")
    {
        system.waitResult = ProcessWait::NotOpened;
        CHECK(performSelfUpdate(layout.arguments(), system).exitCode == 0);
    }
    SUBCASE("text that is not a number names no process")
    {
        for (const char* text : {"abc", "-5", "12x", "99999999999"}) {
            auto arguments = layout.arguments();
            arguments[2] = text;
            const Outcome outcome = performSelfUpdate(arguments, system);
            CHECK(outcome.tag != "SELF-WAIT");
        }
        CHECK(system.waitedFor.empty());
    }
    SUBCASE("a launcher that does not exit stops the update untouched")
    {
        system.waitResult = ProcessWait::TimedOut;
        const auto before = snapshot(layout.scratch.path());
        checkOutcome(performSelfUpdate(layout.arguments(), system), "SELF-WAIT",
                     "Лаунчер не завершился за две минуты.");
        CHECK(snapshot(layout.scratch.path()) == before);
    }
}

TEST_CASE("folders that cannot be used are refused before anything changes")
{
    Layout layout;
    writeText(layout.scratch.path() / "file.txt", "a file");
    const fs::path stageFile = layout.scratch.path() / "file.txt";
    const std::string target = layout.target.u8string();

    struct Row {
        std::string stage;
        std::string target;
        std::string tag;
    };
    std::vector<Row> rows = {
        {(layout.scratch.path() / "missing").u8string(), target, "SELF-STAGE"},
        {stageFile.u8string(), target, "SELF-STAGE"},
        {layout.stage.u8string(), (layout.scratch.path() / "missing").u8string(), "SELF-TARGET"},
        {layout.stage.u8string(), stageFile.u8string(), "SELF-TARGET"},
        // The same folder under other spellings.
        {layout.target.u8string(), target, "SELF-TARGET"},
        {(layout.target / ".").u8string(), target, "SELF-TARGET"},
        {(layout.stage / ".." / "target").u8string(), target, "SELF-TARGET"},
        // An installation inside the staging folder would be deleted with it.
        {layout.scratch.path().u8string(), target, "SELF-TARGET"},
    };
    // Case-insensitive file systems: another spelling of the same folder.
    const fs::path upper = layout.scratch.path() / "TARGET";
    if (fs::exists(upper))
        rows.push_back({upper.u8string(), target, "SELF-TARGET"});
    std::error_code linkError;
    const fs::path link = layout.scratch.path() / "link-to-target";
    fs::create_directory_symlink(layout.target, link, linkError);
    if (!linkError)
        rows.push_back({link.u8string(), target, "SELF-TARGET"});

    const auto before = snapshot(layout.scratch.path());
    for (const Row& row : rows) {
        CAPTURE(row.stage);
        RecordingSystem system;
        auto arguments = layout.arguments();
        arguments[4] = row.stage;
        arguments[6] = row.target;
        const Outcome outcome = performSelfUpdate(arguments, system);
        CHECK(outcome.exitCode == 1);
        CHECK(outcome.tag == row.tag);
        CHECK(system.started.empty());
    }
    CHECK(snapshot(layout.scratch.path()) == before);
}

TEST_CASE("a successful update replaces, adds, records the version and restarts")
{
    Layout layout;
    writeText(layout.target / ".vorn" / "state.json", "old state");
    writeText(layout.stage / "plugins" / "deep" / "new.dll", "new plugin");
    writeText(layout.stage / ".vorn" / "state.json", "staged state");
    writeText(layout.stage / ".vorn" / "nested" / "x.bin", "staged state");
    writeText(layout.stage / ".self-update-backup" / "2.0 бета" / "VornLauncher.exe", "bogus");
    writeText(layout.backupRoot() / "1.0.0" / "VornLauncher.exe", "left by an earlier run");
    // What a tampered staging folder may hold of the installation's own files.
    writeText(layout.target / "launcher.ini", "player settings");
    writeText(layout.stage / "launcher.ini", "planted settings");
    writeText(layout.stage / "LOGS" / "launcher.log", "planted log");
    writeText(layout.stage / "channel-sequence.json", "planted record");
    writeText(layout.stage / "cache" / "manifest" / "game" / "manifest.json", "planted manifest");
    const std::string version = "2.0 бета";

    RecordingSystem system;
    const Outcome outcome = performSelfUpdate(layout.arguments(version), system);

    CHECK(outcome.exitCode == 0);
    CHECK(outcome.tag.empty());
    CHECK(readText(layout.target / "VornLauncher.exe") == "new VornLauncher.exe");
    CHECK(readText(layout.target / "plugins" / "deep" / "new.dll") == "new plugin");
    CHECK(readText(layout.target / "keep.txt") == "untouched");
    CHECK(readText(layout.target / ".vorn" / "state.json") == "old state");
    CHECK_FALSE(fs::exists(layout.target / ".vorn" / "nested"));
    CHECK(readText(layout.target / "launcher.ini") == "player settings");
    CHECK_FALSE(fs::exists(layout.target / "LOGS"));
    CHECK_FALSE(fs::exists(layout.target / "channel-sequence.json"));
    CHECK_FALSE(fs::exists(layout.target / "cache"));
    CHECK(readText(layout.target / "self-version.txt") == version);
    CHECK(fs::file_size(layout.target / "self-version.txt") == version.size());
    CHECK_FALSE(fs::exists(layout.backupRoot()));
    CHECK_FALSE(fs::exists(layout.stage));
    CHECK_FALSE(fs::exists(layout.target / "VornLauncher.exe.vorn-new"));
    REQUIRE(system.started.size() == 1);
    CHECK(fs::equivalent(system.started[0].first, layout.target / "VornLauncher.exe"));
    CHECK(fs::equivalent(system.started[0].second, layout.target));
    CHECK(system.shown.empty());
}

TEST_CASE("the launcher's own layout: staging folder inside the installation")
{
    Scratch scratch;
    const fs::path target = scratch.path() / "launcher";
    const fs::path stage = target / "cache" / "self-update" / "2.0.0";
    writeText(target / "VornLauncher.exe", "old VornLauncher.exe");
    writeText(target / "cache" / "objects" / "ab" / "x.bin", "cached object");
    writeText(stage / "VornLauncher.exe", "new VornLauncher.exe");
    writeText(stage / "locales" / "ru.ini", "new catalogue");
    RecordingSystem system;

    const Outcome outcome = performSelfUpdate(
        {"VornSelfUpdater", "--stage", stage.u8string(), "--target", target.u8string(),
         "--version", "2.0.0", "--launch", "VornLauncher.exe"},
        system);

    CHECK(outcome.exitCode == 0);
    CHECK(readText(target / "VornLauncher.exe") == "new VornLauncher.exe");
    CHECK(readText(target / "locales" / "ru.ini") == "new catalogue");
    CHECK_FALSE(fs::exists(stage));
    CHECK(fs::is_directory(target / "cache" / "self-update"));
    CHECK(readText(target / "cache" / "objects" / "ab" / "x.bin") == "cached object");
}

TEST_CASE("a failed update puts every file back")
{
    Layout layout;
    // Walked in this order: VornLauncher.exe, a.txt, b/new.txt, c.txt.
    writeText(layout.target / "a.txt", "old a.txt");
    writeText(layout.stage / "a.txt", "new a.txt");
    writeText(layout.stage / "b" / "new.txt", "new new.txt");
    writeText(layout.stage / "c.txt", "new c.txt");
    writeText(layout.target / "c.txt" / "inside", "a folder where a file should go");
    writeText(layout.backupRoot() / "2.0.0" / "stale.txt", "from an earlier run");
    RecordingSystem system;

    SUBCASE("a later file cannot be backed up")
    {
        checkOutcome(performSelfUpdate(layout.arguments(), system), "SELF-APPLY", rolledBack);
        CHECK(readText(layout.target / "c.txt" / "inside") == "a folder where a file should go");
        // An earlier backup of the same version is gone; this run's backup stays.
        CHECK_FALSE(fs::exists(layout.backupRoot() / "2.0.0" / "stale.txt"));
        CHECK(readText(layout.backupRoot() / "2.0.0" / "a.txt") == "old a.txt");
    }
    SUBCASE("a later move never succeeds")
    {
        fs::remove_all(layout.target / "c.txt");
        system.failingDestination = layout.target / "c.txt";
        system.replaceFailures = 1000;
        checkOutcome(performSelfUpdate(layout.arguments(), system), "SELF-APPLY", rolledBack);
        CHECK(system.replaceAttemptsOnFailing == 50);
        CHECK(system.sleeps.size() == 49);
        CHECK_FALSE(fs::exists(layout.target / "c.txt"));
        CHECK_FALSE(fs::exists(layout.target / "c.txt.vorn-new"));
    }
    SUBCASE("the version file cannot be written")
    {
        fs::remove_all(layout.target / "c.txt");
        system.failVersionWrite = true;
        checkOutcome(performSelfUpdate(layout.arguments(), system), "SELF-APPLY", rolledBack);
        CHECK_FALSE(fs::exists(layout.target / "c.txt"));
        CHECK_FALSE(fs::exists(layout.target / "self-version.txt.vorn-new"));
    }

    CHECK(readText(layout.target / "a.txt") == "old a.txt");
    CHECK(readText(layout.target / "VornLauncher.exe") == "old VornLauncher.exe");
    CHECK_FALSE(fs::exists(layout.target / "b" / "new.txt"));
    CHECK_FALSE(fs::exists(layout.target / "a.txt.vorn-new"));
    CHECK(readText(layout.target / "self-version.txt") == "1.0.0");
    CHECK(readText(layout.stage / "a.txt") == "new a.txt");
    CHECK(system.started.empty());
}

TEST_CASE("a restore that fails is not reported as a restore")
{
    Layout layout;
    RecordingSystem system;
    system.failVersionWrite = true;
    system.failRestores = true;

    const Outcome outcome = performSelfUpdate(layout.arguments(), system);

    CHECK(outcome.tag == "SELF-APPLY");
    CHECK(outcome.message != rolledBack);
    CHECK(outcome.message.find(".self-update-backup") != std::string::npos);
    // The new file stays usable in place and the old one waits in the backup.
    CHECK(readText(layout.target / "VornLauncher.exe") == "new VornLauncher.exe");
    CHECK(readText(layout.backupRoot() / "2.0.0" / "VornLauncher.exe") == "old VornLauncher.exe");
}

TEST_CASE("a move that succeeds on the last of 50 attempts counts")
{
    Layout layout;
    RecordingSystem system;
    system.failingDestination = layout.target / "VornLauncher.exe";
    system.replaceFailures = 49;

    CHECK(performSelfUpdate(layout.arguments(), system).exitCode == 0);
    CHECK(system.replaceAttemptsOnFailing == 50);
    CHECK(system.sleeps == std::vector<std::chrono::milliseconds>(49, std::chrono::milliseconds(100)));
    CHECK(readText(layout.target / "VornLauncher.exe") == "new VornLauncher.exe");
}

TEST_CASE("a version text never reaches outside the backup folder")
{
    for (const std::string version :
         {"..", ".", "../..", "../../outside", "/", "a/../..", "C:\\x", "1.0.", "nul", "Com1.2"}) {
        CAPTURE(version);
        Layout layout;
        writeText(layout.scratch.path() / "outside" / "keep.txt", "outside");
        RecordingSystem system;
        system.failVersionWrite = true; // keeps the backup folder for inspection

        CHECK(performSelfUpdate(layout.arguments(version), system).tag == "SELF-APPLY");
        CHECK(readText(layout.target / "keep.txt") == "untouched");
        CHECK(readText(layout.scratch.path() / "outside" / "keep.txt") == "outside");
        CHECK(readText(layout.stage / "VornLauncher.exe") == "new VornLauncher.exe");
        std::vector<fs::path> backups;
        for (const auto& entry : fs::directory_iterator(layout.backupRoot()))
            backups.push_back(entry.path());
        REQUIRE(backups.size() == 1);
        CHECK(readText(backups[0] / "VornLauncher.exe") == "old VornLauncher.exe");

        system.failVersionWrite = false;
        CHECK(performSelfUpdate(layout.arguments(version), system).exitCode == 0);
        CHECK(readText(layout.target / "self-version.txt") == version);
    }
}

TEST_CASE("a launcher that cannot be started again keeps the new files")
{
    Layout layout;
    RecordingSystem system;
    system.startSucceeds = false;

    CHECK(runSelfUpdate(layout.arguments(), system) == 1);
    REQUIRE(system.shown.size() == 1);
    CHECK(system.shown[0].first == "SELF-RESTART");
    CHECK(system.shown[0].second == "Лаунчер обновлён, но не удалось запустить его повторно.");
    CHECK(readText(layout.target / "VornLauncher.exe") == "new VornLauncher.exe");
    CHECK(readText(layout.target / "self-version.txt") == "2.0.0");
}

TEST_CASE("the failure dialog text")
{
    CHECK(errorBoxText("SELF-WAIT", "Лаунчер не завершился за две минуты.")
          == "Код ошибки: SELF-WAIT\n\nЛаунчер не завершился за две минуты.");
}
