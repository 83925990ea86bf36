// Stands in for a running game client: does nothing for a minute unless stopped first.
#include <chrono>
#include <thread>

int main()
{
    std::this_thread::sleep_for(std::chrono::seconds(60));
    return 0;
}
