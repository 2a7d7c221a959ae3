#include "win32/encoding.h"

#include <gtest/gtest.h>

namespace orv::win32 {
namespace {

struct RoundTripCase {
    std::string_view utf8;
    std::u16string_view utf16;
};

const RoundTripCase kRoundTripCases[] = {
    {"", u""},
    {"C:\\ORVEN32\\UPDATE", u"C:\\ORVEN32\\UPDATE"},
    {"Größe überprüfen", u"Größe überprüfen"},
    {"ORVEN geöffnet", u"ORVEN geöffnet"},
    {"Preis 5 €", u"Preis 5 €"},
    {"Note \xF0\x9D\x84\x9E", u"Note \xD834\xDD1E"}, // a character beyond 16 bits
    {"\r\n", u"\r\n"},
};

class EncodingRoundTripTest : public testing::TestWithParam<RoundTripCase> {};

TEST_P(EncodingRoundTripTest, ConvertsBothWays) {
    const RoundTripCase& c = GetParam();
    EXPECT_TRUE(Utf8ToUtf16(c.utf8) == c.utf16);
    EXPECT_EQ(Utf16ToUtf8(c.utf16), c.utf8);
}

INSTANTIATE_TEST_SUITE_P(Win32, EncodingRoundTripTest, testing::ValuesIn(kRoundTripCases));

struct MalformedCase {
    const char* what;
    std::string_view utf8;
    std::u16string_view utf16;
};

const MalformedCase kMalformedCases[] = {
    {"sequence cut off at the end", "ab\xC3", u"ab\xFFFD"},
    {"stray continuation byte", "a\x80z", u"a\xFFFDz"},
    {"overlong slash", "\xC0\xAF", u"\xFFFD\xFFFD"},
    {"encoded surrogate", "\xED\xA0\x80", u"\xFFFD\xFFFD\xFFFD"},
    {"beyond U+10FFFF", "\xF4\x90\x80\x80", u"\xFFFD\xFFFD\xFFFD\xFFFD"},
    {"code page 1252 umlaut", "Gr\xFC\xDF", u"Gr\xFFFD\xFFFD"},
    {"invalid byte",
     "a\xFF"
     "b",
     u"a\xFFFD"
     u"b"},
};

class MalformedUtf8Test : public testing::TestWithParam<MalformedCase> {};

TEST_P(MalformedUtf8Test, BecomesReplacementCharacters) {
    const MalformedCase& c = GetParam();
    EXPECT_TRUE(Utf8ToUtf16(c.utf8) == c.utf16) << c.what;
}

INSTANTIATE_TEST_SUITE_P(Win32, MalformedUtf8Test, testing::ValuesIn(kMalformedCases));

TEST(Utf16ToUtf8Test, UnpairedSurrogatesBecomeReplacementCharacters) {
    EXPECT_EQ(Utf16ToUtf8(u"a\xD834"), "a\xEF\xBF\xBD");
    EXPECT_EQ(Utf16ToUtf8(u"\xDD1E"
                          u"b"),
              "\xEF\xBF\xBD"
              "b");
    EXPECT_EQ(Utf16ToUtf8(u"\xD834\xD834\xDD1E"), "\xEF\xBF\xBD\xF0\x9D\x84\x9E");
}

} // namespace
} // namespace orv::win32
