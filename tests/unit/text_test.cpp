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

// Bytes as every reader of the updater's text takes them: UTF-8 in its shortest forms only, no
// surrogates, nothing beyond U+10FFFF; a line that is not UTF-8 is read as code page 1252.
struct Utf8Case {
    const char* what;
    std::string_view bytes;
    bool valid;
    std::string_view line; // read as a line of a text file
};

const Utf8Case kUtf8Cases[] = {
    {"empty", "", true, ""},
    {"plain ASCII version line", "15.03.2019 3.1", true, "15.03.2019 3.1"},
    {"umlauts", "15.03.2019 Grüße", true, "15.03.2019 Grüße"},
    {"beyond 16 bits", "Note \xF0\x9D\x84\x9E", true, "Note \xF0\x9D\x84\x9E"},
    {"sequence cut off at the end", "ab\xC3", false, "ab\xC3\x83"},
    {"stray continuation byte", "a\x80z", false, "a€z"},
    {"overlong slash", "\xC0\xAF", false, "\xC3\x80\xC2\xAF"},
    {"overlong three bytes", "\xE0\x80\xAF", false, "à€¯"},
    {"encoded surrogate", "\xED\xA0\x80", false, "í\xC2\xA0€"},
    {"beyond U+10FFFF", "\xF4\x90\x80\x80", false, "ô\xC2\x90€€"},
    {"ANSI umlauts",
     "15.03.2019 Gr\xFC\xDF"
     "e",
     false, "15.03.2019 Grüße"},
    {"ANSI euro sign and quotes", "\x80 \x84x\x93", false, "€ „x“"},
    {"unassigned ANSI byte", "a\x81", false, "a\xC2\x81"},
    {"invalid byte", "a\xFF", false, "aÿ"},
};

class Utf8Table : public testing::TestWithParam<Utf8Case> {};

TEST_P(Utf8Table, TellsValidFromMalformedAndReadsLines) {
    const Utf8Case& c = GetParam();
    EXPECT_EQ(text::IsValidUtf8(c.bytes), c.valid) << c.what;
    // Each byte that starts no valid sequence reads as itself, apart from every character.
    std::size_t undecoded = 0;
    for (std::size_t pos = 0; pos < c.bytes.size();) {
        undecoded += text::NextCharacter(c.bytes, pos) >= text::kUndecodedByte;
    }
    EXPECT_EQ(undecoded == 0, c.valid) << c.what;
    EXPECT_EQ(text::FileTextToUtf8(c.bytes), c.line) << c.what;
}

INSTANTIATE_TEST_SUITE_P(Text, Utf8Table, testing::ValuesIn(kUtf8Cases));

} // namespace
} // namespace orv
