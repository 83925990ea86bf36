#include "platform/system_error.h"

#include <doctest/doctest.h>

using vorn::platform::systemErrorText;

TEST_CASE("system error text keeps the context-colon-message shape")
{
    // 2 is "file not found" on both Windows and POSIX.
    const std::string text = systemErrorText("Cannot open verification provider", 2);
    CHECK(text.rfind("Cannot open verification provider: ", 0) == 0);
    CHECK(text.size() > std::string("Cannot open verification provider: ").size());
    CHECK(text.back() != '\n');
    CHECK(text.back() != ' ');
}

TEST_CASE("an unknown code still gives a message")
{
    const std::string text = systemErrorText("Context", 0x7ffffff0ul);
    CHECK(text.rfind("Context: ", 0) == 0);
    CHECK(text.size() > 9);
}
