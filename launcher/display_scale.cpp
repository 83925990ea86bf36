#include "launcher/display_scale.h"

#include <cctype>
#include <cstdlib>
#include <string>

namespace vorn {

int xftDpiFromResources(std::string_view resources)
{
    constexpr std::string_view key = "Xft.dpi:";
    size_t start = 0;
    while (start < resources.size()) {
        size_t end = resources.find('\n', start);
        if (end == std::string_view::npos)
            end = resources.size();
        std::string_view line = resources.substr(start, end - start);
        start = end + 1;
        if (line.substr(0, key.size()) != key)
            continue;
        line.remove_prefix(key.size());
        while (!line.empty() && std::isspace(static_cast<unsigned char>(line.front())))
            line.remove_prefix(1);
        // Desktops write whole numbers, some with a fraction ("144.0"); the whole part counts.
        const std::string digits(line.substr(0, line.find_first_not_of("0123456789")));
        if (digits.empty() || digits.size() > 4)
            return 0;
        return std::atoi(digits.c_str());
    }
    return 0;
}

} // namespace vorn
