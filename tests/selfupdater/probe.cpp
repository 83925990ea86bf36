// Stand-in for the launcher in tests: records where it was started, or waits, or exits with
// a given code.
#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <system_error>
#include <thread>

int main(int argc, char** argv)
{
    const std::string mode = argc >= 3 ? argv[1] : "";
    if (mode == "--sleep") {
        std::this_thread::sleep_for(std::chrono::milliseconds(std::atoi(argv[2])));
        return 0;
    }
    if (mode == "--exit")
        return std::atoi(argv[2]);

    // Renamed into place so a reader never sees half a record.
    std::error_code error;
    const std::string here = std::filesystem::current_path(error).u8string();
    std::ofstream("probe-ran.tmp", std::ios::binary | std::ios::trunc) << here;
    std::filesystem::rename("probe-ran.tmp", "probe-ran.txt", error);
    return error ? 1 : 0;
}
