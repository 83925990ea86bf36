#include "selfupdater/self_update.h"

#include "selfupdater/system_calls.h"

#include <algorithm>
#include <filesystem>
#include <system_error>

namespace vorn::selfupdate {

namespace fs = std::filesystem;

namespace {

constexpr const char* backupRootName = ".self-update-backup";
constexpr const char* stateFolderName = ".vorn";
constexpr const char* temporarySuffix = ".vorn-new";
constexpr const char* versionFileName = "self-version.txt";

struct AppliedFile {
    fs::path destination;
    fs::path backup;
    bool existed = false;
};

Outcome failure(const char* tag, const char* message)
{
    return Outcome{1, tag, message};
}

bool equalsIgnoringAsciiCase(const std::string& a, const std::string& b)
{
    return a.size() == b.size()
           && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
                  const auto lower = [](char c) { return c >= 'A' && c <= 'Z' ? char(c + 32) : c; };
                  return lower(x) == lower(y);
              });
}

// Text that is not a plain decimal number gives 0, which names no process.
unsigned long parseProcessId(const std::string& text)
{
    if (text.empty() || text.size() > 10)
        return 0;
    unsigned long long value = 0;
    for (const char c : text) {
        if (c < '0' || c > '9')
            return 0;
        value = value * 10 + unsigned(c - '0');
    }
    return value > 0xffffffffull ? 0 : static_cast<unsigned long>(value);
}

bool isWindowsDeviceName(const std::string& stem)
{
    for (const char* device : {"CON", "PRN", "AUX", "NUL"}) {
        if (equalsIgnoringAsciiCase(stem, device))
            return true;
    }
    return stem.size() == 4
           && (equalsIgnoringAsciiCase(stem.substr(0, 3), "COM")
               || equalsIgnoringAsciiCase(stem.substr(0, 3), "LPT"))
           && stem[3] >= '0' && stem[3] <= '9';
}

fs::path temporaryPathFor(const fs::path& destination)
{
    fs::path temporary = destination;
    temporary += temporarySuffix;
    return temporary;
}

// Whether `inner` is `outer` or lies somewhere below it.
bool isSameOrInside(SystemCalls& system, const fs::path& inner, const fs::path& outer)
{
    for (fs::path current = inner; !current.empty(); current = current.parent_path()) {
        if (system.sameDirectory(current, outer))
            return true;
        if (current == current.parent_path())
            break;
    }
    return false;
}

bool replaceWithRetries(SystemCalls& system, const fs::path& from, const fs::path& to)
{
    for (int attempt = 1;; ++attempt) {
        if (system.replaceFile(from, to))
            return true;
        if (attempt == replaceAttempts)
            return false;
        system.sleepFor(replaceRetryDelay);
    }
}

// Regular files only (links and other entries are passed over), sorted so that a run is
// reproducible. An unreadable folder fails the walk instead of silently shrinking the update.
bool collectStagedFiles(const fs::path& stage, std::vector<fs::path>& files)
{
    std::error_code error;
    const fs::recursive_directory_iterator end;
    for (fs::recursive_directory_iterator it(stage, error); !error && it != end;
         it.increment(error)) {
        const fs::file_status status = it->symlink_status(error);
        if (error)
            return false;
        if (fs::is_regular_file(status))
            files.push_back(it->path());
    }
    if (error)
        return false;
    std::sort(files.begin(), files.end());
    return true;
}

// What the launcher folder holds for this installation alone (its settings, records, caches,
// log, backups and version) is never copied from a staging folder, whoever put it there: no
// release carries it, and a copy would replace the player's settings or plant a record.
// Compared without case and without trailing dots and blanks, as Windows finds the entry so.
bool isInstallationOwned(const fs::path& relative)
{
    std::string first = relative.begin()->u8string();
    while (!first.empty() && (first.back() == '.' || first.back() == ' '))
        first.pop_back();
    for (const char* owned : {stateFolderName, backupRootName, versionFileName, "launcher.ini",
                              "channel-sequence.json", "cache", "logs"}) {
        if (equalsIgnoringAsciiCase(first, owned))
            return true;
    }
    return false;
}

bool applyFile(SystemCalls& system, const fs::path& staged, const fs::path& destination,
               const fs::path& backup, std::vector<AppliedFile>& applied)
{
    if (!system.createDirectories(destination.parent_path()))
        return false;

    std::error_code error;
    const fs::file_status status = fs::symlink_status(destination, error);
    if (error && status.type() != fs::file_type::not_found)
        return false;
    const bool existed = fs::exists(status);
    if (existed
        && !(system.createDirectories(backup.parent_path()) && system.copyFile(destination, backup)))
        return false;

    const fs::path temporary = temporaryPathFor(destination);
    if (!system.copyFile(staged, temporary) || !replaceWithRetries(system, temporary, destination)) {
        system.removeFile(temporary);
        return false;
    }
    applied.push_back(AppliedFile{destination, backup, existed});
    return true;
}

bool applyStagedFiles(SystemCalls& system, const fs::path& stage, const fs::path& target,
                      const fs::path& backupFolder, std::vector<AppliedFile>& applied)
{
    try {
        std::vector<fs::path> files;
        if (!collectStagedFiles(stage, files))
            return false;
        // Recording a replaced file must not fail after the move.
        applied.reserve(files.size());
        for (const fs::path& staged : files) {
            const fs::path relative = staged.lexically_relative(stage);
            if (relative.empty() || isInstallationOwned(relative))
                continue;
            if (!applyFile(system, staged, target / relative, backupFolder / relative, applied))
                return false;
        }
        return true;
    } catch (...) {
        return false;
    }
}

// Written beside and then moved over the old file, so a failed write keeps the version that
// matches the launcher files the rollback restores.
bool writeVersionFile(SystemCalls& system, const fs::path& target, const std::string& version)
{
    const fs::path versionFile = target / versionFileName;
    const fs::path temporary = temporaryPathFor(versionFile);
    if (system.writeFileDurably(temporary, version)
        && replaceWithRetries(system, temporary, versionFile))
        return true;
    system.removeFile(temporary);
    return false;
}

// The backup goes back through a temporary copy and a move, so the destination is never
// left missing when the copy cannot be made.
bool restoreFromBackup(SystemCalls& system, const AppliedFile& file)
{
    std::error_code error;
    if (!fs::is_regular_file(file.backup, error))
        return false;
    const fs::path temporary = temporaryPathFor(file.destination);
    if (system.createDirectories(file.destination.parent_path())
        && system.copyFile(file.backup, temporary)
        && replaceWithRetries(system, temporary, file.destination))
        return true;
    system.removeFile(temporary);
    return false;
}

// Newest first; true when every file is back as it was.
bool rollBack(SystemCalls& system, const std::vector<AppliedFile>& applied)
{
    bool complete = true;
    for (auto it = applied.rbegin(); it != applied.rend(); ++it) {
        try {
            const bool restored =
                it->existed ? restoreFromBackup(system, *it) : system.removeFile(it->destination);
            complete = restored && complete;
        } catch (...) {
            complete = false;
        }
    }
    return complete;
}

Outcome performChecked(const std::vector<std::string>& arguments, SystemCalls& system)
{
    const std::string waitPid = optionValue(arguments, "--wait-pid");
    const std::string stageText = optionValue(arguments, "--stage");
    const std::string targetText = optionValue(arguments, "--target");
    const std::string version = optionValue(arguments, "--version");
    const std::string launch = optionValue(arguments, "--launch");
    if (stageText.empty() || targetText.empty() || version.empty() || launch.empty())
        return failure(tagArguments, messageMissingArguments);

    fs::path stageArgument;
    fs::path targetArgument;
    fs::path launchArgument;
    try {
        stageArgument = fs::u8path(stageText);
        targetArgument = fs::u8path(targetText);
        launchArgument = fs::u8path(launch);
    } catch (...) {
        return failure(tagArguments, messageUnreadableArguments);
    }

    if (!waitPid.empty()) {
        const unsigned long processId = parseProcessId(waitPid);
        if (processId != 0
            && system.waitForProcess(processId, launcherExitTimeout) == ProcessWait::TimedOut)
            return failure(tagWait, messageWaitTimedOut);
    }

    fs::path stage;
    if (!system.canonicalDirectory(stageArgument, stage))
        return failure(tagStage, messageStageMissing);
    fs::path target;
    // A target inside the staging folder would be deleted with it after the update.
    if (!system.canonicalDirectory(targetArgument, target) || isSameOrInside(system, target, stage))
        return failure(tagTarget, messageTargetInvalid);

    const fs::path backupRoot = target / backupRootName;
    const fs::path backupFolder = backupRoot / backupFolderName(version);
    system.removeTree(backupFolder);

    std::vector<AppliedFile> applied;
    if (!applyStagedFiles(system, stage, target, backupFolder, applied)
        || !writeVersionFile(system, target, version)) {
        return rollBack(system, applied) ? failure(tagApply, messageRolledBack)
                                         : failure(tagApply, messageRollbackIncomplete);
    }

    system.removeTree(backupRoot);
    system.removeTree(stage);
    if (!system.startProgram(target / launchArgument, target))
        return failure(tagRestart, messageRestartFailed);
    return Outcome{};
}

} // namespace

std::string optionValue(const std::vector<std::string>& arguments, const std::string& name)
{
    for (size_t i = 0; i + 1 < arguments.size(); ++i) {
        if (arguments[i] == name)
            return arguments[i + 1];
    }
    return {};
}

std::string backupFolderName(const std::string& version)
{
    static const char hex[] = "0123456789ABCDEF";
    std::string name;
    for (const char c : version) {
        const bool plain = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9')
                           || c == '.' || c == '-' || c == '_' || c == '+';
        if (plain) {
            name += c;
        } else {
            const auto byte = static_cast<unsigned char>(c);
            name += '%';
            name += hex[byte >> 4];
            name += hex[byte & 0x0f];
        }
    }
    // Windows drops a trailing dot (so "." and ".." would climb) and reserves device names.
    if (!name.empty() && name.back() == '.')
        name.replace(name.size() - 1, 1, "%2E");
    if (isWindowsDeviceName(name.substr(0, name.find('.')))) {
        const auto byte = static_cast<unsigned char>(name[0]);
        name.replace(0, 1, std::string{'%', hex[byte >> 4], hex[byte & 0x0f]});
    }
    return name;
}

Outcome performSelfUpdate(const std::vector<std::string>& arguments, SystemCalls& system)
{
    try {
        return performChecked(arguments, system);
    } catch (...) {
        // Only allocation can get here; every step that changes files handles its own errors.
        return failure(tagApply, messageRollbackIncomplete);
    }
}

int runSelfUpdate(const std::vector<std::string>& arguments, SystemCalls& system)
{
    const Outcome outcome = performSelfUpdate(arguments, system);
    if (outcome.exitCode != 0)
        system.showError(outcome.tag, outcome.message);
    return outcome.exitCode;
}

} // namespace vorn::selfupdate
