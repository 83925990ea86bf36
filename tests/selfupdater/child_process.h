#pragma once

#include <filesystem>
#include <string>
#include <vector>

namespace vorn::selfupdate::test {

struct ChildProcess {
    unsigned long id = 0;
    void* handle = nullptr; // the process handle where the system has one
};

[[nodiscard]] bool startChild(const std::filesystem::path& program,
                              const std::vector<std::string>& arguments, ChildProcess& child);
// The exit code, or -1 when it cannot be had.
int waitForChild(ChildProcess& child);
void killChild(ChildProcess& child);
void setEnvironment(const std::string& name, const std::string& value);

// Holding a file open so that it can be read but not replaced, as another program (a scanner,
// a launcher still exiting) can on Windows; elsewhere nothing locks a file against a rename
// and this is unavailable.
extern const bool replacementLocksExist;
[[nodiscard]] void* holdAgainstReplacement(const std::filesystem::path& file);
void release(void* handle);

} // namespace vorn::selfupdate::test
