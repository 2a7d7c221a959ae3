#include "win32/command_line.h"

#include <gtest/gtest.h>

namespace orv::win32 {
namespace {

struct CommandLineCase {
    const char* what;
    std::u16string_view commandLine;
    std::u16string_view arguments;
};

const CommandLineCase kCommandLineCases[] = {
    {"started by the application", u"\"C:\\ORVEN32\\UPDATE\\orvupd.exe\" 01.02.2019 3.0",
     u"01.02.2019 3.0"},
    {"blanks inside the quoted name",
     u"\"C:\\Program Files\\ORVEN\\UPDATE\\orvupd.exe\" 01.02.2019 3.0", u"01.02.2019 3.0"},
    {"name without quotes", u"C:\\ORVEN32\\UPDATE\\orvupd.exe 24.01.2019 3.1.2",
     u"24.01.2019 3.1.2"},
    {"started by hand", u"\"C:\\ORVEN32\\UPDATE\\orvupd.exe\"", u""},
    {"started by hand, no quotes", u"orvupd.exe", u""},
    {"only blanks after the name", u"orvupd.exe   ", u""},
    {"empty command line", u"", u""},
    {"separating blanks dropped, inner and trailing kept", u"orvupd.exe    15.03.2019  3.1  ",
     u"15.03.2019  3.1  "},
    {"tab as separator", u"orvupd.exe\t01.02.2019 3.0", u"01.02.2019 3.0"},
    {"argument right after the closing quote", u"\"C:\\a b\\orvupd.exe\"01.02.2019", u"01.02.2019"},
    {"quote never closed", u"\"C:\\a b\\orvupd.exe 01.02.2019", u""},
    {"quotes in the arguments kept", u"orvupd.exe \"15.03.2019 3.1\"", u"\"15.03.2019 3.1\""},
    {"umlauts in the arguments", u"orvupd.exe 01.02.2019 Grün", u"01.02.2019 Grün"},
};

class CommandLineTest : public testing::TestWithParam<CommandLineCase> {};

TEST_P(CommandLineTest, GivesTheArgumentsAsPassed) {
    const CommandLineCase& c = GetParam();
    EXPECT_TRUE(ArgumentsOf(c.commandLine) == c.arguments) << c.what;
}

INSTANTIATE_TEST_SUITE_P(Win32, CommandLineTest, testing::ValuesIn(kCommandLineCases));

} // namespace
} // namespace orv::win32
