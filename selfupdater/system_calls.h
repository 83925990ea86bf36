#pragma once

#include <chrono>
#include <filesystem>
#include <string>

namespace vorn::selfupdate {

enum class ProcessWait {
    Ended,     // the process ended within the time-out
    NotOpened, // no such process any more (or it cannot be opened): nothing to wait for
    TimedOut,
};

// Every call into the operating system the helper makes. The update logic sees only this, so
// tests can replace single calls with failing or recording ones.
class SystemCalls {
public:
    virtual ~SystemCalls() = default;

    [[nodiscard]] virtual ProcessWait waitForProcess(unsigned long processId,
                                                     std::chrono::milliseconds timeout) = 0;
    // Absolute, with links and alternative spellings resolved; false unless it is an existing
    // directory.
    [[nodiscard]] virtual bool canonicalDirectory(const std::filesystem::path& path,
                                                  std::filesystem::path& canonical) = 0;
    // Whether both name the same existing directory (or, failing that, the same text).
    [[nodiscard]] virtual bool sameDirectory(const std::filesystem::path& a,
                                             const std::filesystem::path& b) = 0;
    [[nodiscard]] virtual bool createDirectories(const std::filesystem::path& path) = 0;
    // Copies a regular file, replacing what is at `to`.
    [[nodiscard]] virtual bool copyFile(const std::filesystem::path& from,
                                        const std::filesystem::path& to) = 0;
    // One attempt to move `from` onto `to`, replacing it; the caller retries.
    [[nodiscard]] virtual bool replaceFile(const std::filesystem::path& from,
                                           const std::filesystem::path& to) = 0;
    // True when nothing is left at `path` (also when nothing was there).
    virtual bool removeFile(const std::filesystem::path& path) = 0;
    // Best effort; links inside are removed, never followed.
    virtual void removeTree(const std::filesystem::path& path) = 0;
    // Creates or truncates `path`, writes all bytes and flushes them to the disk.
    [[nodiscard]] virtual bool writeFileDurably(const std::filesystem::path& path,
                                                const std::string& bytes) = 0;
    virtual void sleepFor(std::chrono::milliseconds duration) = 0;
    // Starts the program detached, without arguments; true once it is running.
    [[nodiscard]] virtual bool startProgram(const std::filesystem::path& program,
                                            const std::filesystem::path& workingDirectory) = 0;
    // Tells the user; returns when the user has dismissed it.
    virtual void showError(const std::string& tag, const std::string& message) = 0;
};

// The real calls of this platform. Setting the environment variable
// VORN_SELFUPDATER_NO_DIALOG to a non-empty value keeps showError from opening a (modal)
// dialog; the text then goes only to the standard error stream. Automated runs need this.
class NativeSystemCalls : public SystemCalls {
public:
    [[nodiscard]] ProcessWait waitForProcess(unsigned long processId,
                                             std::chrono::milliseconds timeout) override;
    [[nodiscard]] bool canonicalDirectory(const std::filesystem::path& path,
                                          std::filesystem::path& canonical) override;
    [[nodiscard]] bool sameDirectory(const std::filesystem::path& a,
                                     const std::filesystem::path& b) override;
    [[nodiscard]] bool createDirectories(const std::filesystem::path& path) override;
    [[nodiscard]] bool copyFile(const std::filesystem::path& from,
                                const std::filesystem::path& to) override;
    [[nodiscard]] bool replaceFile(const std::filesystem::path& from,
                                   const std::filesystem::path& to) override;
    bool removeFile(const std::filesystem::path& path) override;
    void removeTree(const std::filesystem::path& path) override;
    [[nodiscard]] bool writeFileDurably(const std::filesystem::path& path,
                                        const std::string& bytes) override;
    void sleepFor(std::chrono::milliseconds duration) override;
    [[nodiscard]] bool startProgram(const std::filesystem::path& program,
                                    const std::filesystem::path& workingDirectory) override;
    void showError(const std::string& tag, const std::string& message) override;
};

inline constexpr const char* errorBoxTitle = "VORN Launcher Update";
inline constexpr const char* noDialogVariable = "VORN_SELFUPDATER_NO_DIALOG";

// What the failure dialog says, UTF-8.
[[nodiscard]] inline std::string errorBoxText(const std::string& tag, const std::string& message)
{
    return "Код ошибки: " + tag + "\n\n" + message;
}

} // namespace vorn::selfupdate
