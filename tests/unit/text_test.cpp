// The updater's text: character-wise operations, UTF-8 read without trust, code page 1252.

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

// Whether bytes are UTF-8 the way every reader of the updater's text takes them: shortest
// forms only, no surrogates, nothing beyond U+10FFFF.
struct Utf8Case {
    const char* what;
    std::string_view bytes;
    bool valid;
};

const Utf8Case kUtf8Cases[] = {
    {"empty", "", true},
    {"umlauts", "Größe überprüfen", true},
    {"beyond 16 bits", "Note \xF0\x9D\x84\x9E", true},
    {"sequence cut off at the end", "ab\xC3", false},
    {"stray continuation byte", "a\x80z", false},
    {"overlong slash", "\xC0\xAF", false},
    {"overlong three bytes", "\xE0\x80\xAF", false},
    {"encoded surrogate", "\xED\xA0\x80", false},
    {"beyond U+10FFFF", "\xF4\x90\x80\x80", false},
    {"code page 1252 umlaut", "Gr\xFC\xDF", false},
    {"invalid byte", "a\xFF", false},
};

class Utf8Table : public testing::TestWithParam<Utf8Case> {};

TEST_P(Utf8Table, TellsValidFromMalformed) {
    const Utf8Case& c = GetParam();
    EXPECT_EQ(text::IsValidUtf8(c.bytes), c.valid) << c.what;
    // Each byte that starts no valid sequence reads as itself, apart from every character.
    std::size_t undecoded = 0;
    for (std::size_t pos = 0; pos < c.bytes.size();) {
        undecoded += text::NextCharacter(c.bytes, pos) >= text::kUndecodedByte;
    }
    EXPECT_EQ(undecoded == 0, c.valid) << c.what;
}

INSTANTIATE_TEST_SUITE_P(Text, Utf8Table, testing::ValuesIn(kUtf8Cases));

struct LineCase {
    const char* what;
    std::string_view bytes;
    std::string_view utf8;
};

const LineCase kLineCases[] = {
    {"plain ASCII version line", "15.03.2019 3.1", "15.03.2019 3.1"},
    {"ANSI umlauts",
     "15.03.2019 Gr\xFC\xDF"
     "e",
     "15.03.2019 Grüße"},
    {"ANSI euro sign and quotes", "\x80 \x84x\x93", "€ „x“"},
    {"unassigned ANSI byte", "a\x81", "a\xC2\x81"},
    {"UTF-8 kept as it is", "15.03.2019 Grüße", "15.03.2019 Grüße"},
    {"UTF-8 beyond 16 bits kept", "\xF0\x9D\x84\x9E", "\xF0\x9D\x84\x9E"},
    {"empty line", "", ""},
};

class TextLineTest : public testing::TestWithParam<LineCase> {};

TEST_P(TextLineTest, ReadsAnsiAndUtf8) {
    const LineCase& c = GetParam();
    EXPECT_EQ(text::TextLineToUtf8(c.bytes), c.utf8) << c.what;
}

INSTANTIATE_TEST_SUITE_P(Text, TextLineTest, testing::ValuesIn(kLineCases));

} // namespace
} // namespace orv
