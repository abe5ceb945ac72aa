#include "terminaltext.h"

#include <gtest/gtest.h>

namespace {

TEST(TerminalTextTest, OutsideTextCannotDriveTheTerminal)
{
    const std::pair<std::string, std::string> cases[] = {
        {"ttyUSB0", "ttyUSB0"},
        {"x\nconverter-check: PASS", "x\\nconverter-check: PASS"},
        {"\x1B[2J\tend", "\\x1B[2J\\tend"},
        {"Gr\xC3\xBC\xC3\x9F"
         "e \xE2\x82\xAC \xF0\x9F\x94\x8C",
         "Gr\xC3\xBC\xC3\x9F"
         "e \xE2\x82\xAC \xF0\x9F\x94\x8C"},
        {"\xC2\x9B"
         "31m",
         "\\xC2\\x9B31m"}, // C1 CSI, which some terminals obey
        {"\xC3(\xFF\xE2\x82", "\\xC3(\\xFF\\xE2\\x82"},
        {"\xED\xA0\x80", "\\xED\\xA0\\x80"}, // a surrogate
        {"\x7F", "\\x7F"},
        {std::string(1 << 20, 'a'), std::string(120, 'a') + "..."},
    };
    for (const auto &[text, shown] : cases)
        EXPECT_EQ(cli::printable(text), shown) << text.substr(0, 20);
}

} // namespace
