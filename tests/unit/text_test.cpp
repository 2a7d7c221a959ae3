// Character-wise string operations on UTF-8 text.

#include <gtest/gtest.h>

#include "platform/text.h"

namespace orv {
namespace {

TEST(Text, CountsCharactersNotBytes) {
    EXPECT_EQ(text::Len("Müller"), 6u);
    EXPECT_EQ(text::Left("C:\\Müller\\UPDATE", 9), "C:\\Müller");
    EXPECT_EQ(text::Right("C:\\Söhne\\UPDATE", 7), "\\UPDATE");
    EXPECT_EQ(text::Right("Söhne", 5), "Söhne");
    EXPECT_EQ(text::Mid("15.03.2019 3.1", 7, 4), "2019");
    EXPECT_EQ(text::Mid("15.03.2019 3.1", 11), " 3.1");
    EXPECT_EQ(text::Mid("15.03", 7, 4), "");
    EXPECT_EQ(text::Left("ab", 10), "ab");
    // Bytes that are no valid UTF-8 still make up whole characters, and nothing is lost.
    EXPECT_EQ(text::Len("\xbc"
                        "A"),
              2u);
    EXPECT_EQ(text::Left("\xbc"
                         "A",
                         1) +
                  text::Right("\xbc"
                              "A",
                              1),
              "\xbc"
              "A");
}

TEST(Text, UpperCasesLatinLetters) {
    EXPECT_EQ(text::UCase("c:\\programme\\müller & söhne\\orv"),
              "C:\\PROGRAMME\\MÜLLER & SÖHNE\\ORV");
    EXPECT_EQ(text::UCase("*orvupd.txt"), "*ORVUPD.TXT");
    EXPECT_EQ(text::UCase("straße ÷"), "STRAßE ÷");
}

} // namespace
} // namespace orv
