#pragma once

#include <string>

namespace vorn::test {

// The folder of the running test program, where its helper programs are built.
[[nodiscard]] std::string programDirectory();

// A helper program started under a chosen file name, stopped and reaped on destruction.
class ChildProcess final
{
public:
    ChildProcess() = default;
    ~ChildProcess();
    ChildProcess(const ChildProcess&) = delete;
    ChildProcess& operator=(const ChildProcess&) = delete;

    [[nodiscard]] bool start(const std::string& program);
    void stop();

private:
    long long m_handle = 0;
};

} // namespace vorn::test
