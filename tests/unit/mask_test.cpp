#include "archive/mask.h"

#include <chrono>
#include <string>

#include <gtest/gtest.h>

namespace orv {
namespace {

struct MaskCase {
    const char* mask;
    const char* path;
    bool matches;
};

// The masks of the extraction plan against the names an update archive holds.
const MaskCase kPlanMasks[] = {
    {"*orvupd.txt", "orvupd.txt", true},
    {"*orvupd.txt", "ORVUPD.TXT", true},
    {"*orvupd.txt", "orv/orvupd.txt", true},
    {"*ORVUPD.TXT", "Orv\\OrvUpd.Txt", true},
    {"*orvupd.txt", "orvupd.txt.bak", false},
    {"*orvupd.txt", "orvupd.tx", false},
    {"ORVEN.MDB", "ORVEN.MDB", true},
    {"ORVEN.MDB", "orven.mdb", true},
    {"ORVEN.MDB", "db/ORVEN.MDB", false},
    {"ORVEN.MDB", "ORVEN.MDB.old", false},
    {"ORVEN.MDB", "XORVEN.MDB", false},
    {"MUNDAREL.MDB", "mundarel.mdb", true},
    {"*.OCX", "x.ocx", true},
    {"*.OCX", "system/x.ocx", true},
    {"*.OCX", "system\\sub\\Grid.Ocx", true},
    {"*.OCX", "x.ocx.txt", false},
    {"*.OCX", "ocx", false},
    {"*.OCX", "xocx", false},
    {"*.DLL", "lib/c.dll", true},
    {"*.DLL", "lib/c.dll/readme", false},
    {"*.*", "README", true},
    {"*.*", "dir/sub/file", true},
    {"*.*", "a.b", true},
    {"*.*", ".hidden", true},
};

// Wildcards, separators and letters on their own.
const MaskCase kRules[] = {
    {"*", "a/b/c", true},
    {"*", "", true},
    {"", "", true},
    {"", "a", false},
    {"a", "", false},
    {"?.txt", "a.txt", true},
    {"?.txt", ".txt", false},
    {"?.txt", "ab.txt", false},
    {"?.txt", "ä.txt", true}, // one character, two bytes
    {"??", "ä", false},
    {"a?b", "a/b", true},
    {"a*", "a", true},
    {"*a", "a", true},
    {"a*b*c", "abbbc", true},
    {"a*b*c", "acb", false},
    {"a*b*c", "a/x/b/y/c", true},
    {"*a*b", "aaab", true},
    {"*a*b", "aaaba", false},
    {"**", "x", true},
    {"*?", "", false},
    {"*.", "name", false},
    {"dir/x", "DIR\\X", true},
    {"dir\\x", "dir/x", true},
    {"ÄRGER.TXT", "ärger.txt", true},
    {"ärger.txt", "ÄRGER.TXT", true},
    {"Ö*", "öl/filter", true},
    {"STRASSE", "straße", false},
    {"ß", "ß", true},
    {"×", "÷", false}, // not letters: no case
    {"\xFF", "\xDF", false},
    {"\xC3", "\xC3\xA4", false}, // a broken character is not a prefix of one
    {"*ä", "üää", true},         // a star gives back whole characters
    {"*äb", "äab", false},
    {"?*Ö", "öö", true},
    {"*\xA4", "\xC3\xA4", false}, // nor does it match inside one
};

// Names stored in an old code page: bytes that are not UTF-8 compare as bytes, one character
// each, and the ASCII letters around them still without regard to case.
const MaskCase kUndecodedBytes[] = {
    {"o\xB5\xFEo", "o\xB5\xFEo", true},
    {"O\xB5\xFEO", "o\xB5\xFEo", true},
    {"o??o", "o\xB5\xFEo", true},
    {"o?o", "o\xB5\xFEo", false},
    {"o\xB5\xFEo", "o\xB5\xFE", false},
    {"o\xB5", "o\xB6", false},
    {"\xB5", "\xC2\xB5", false}, // a lone byte is not the character it stands for in Latin-1
    {"\xE4", "\xC3\xA4", false},
    {"*.OCX", "Gr\xFC\xDF.ocx", true},
    {"GR\xFC*", "gr\xFC/x.dll", true},
    {"*ORVUPD.TXT", "\xFF\xFE/orvupd.txt", true},
    {"*.*", "\x80", true},
    {"*\xFC", "\xC3\xBC", false},
};

class MaskTable : public ::testing::TestWithParam<MaskCase> {};

TEST_P(MaskTable, Matches) {
    const MaskCase& c = GetParam();
    EXPECT_EQ(MaskMatches(c.mask, c.path), c.matches) << c.mask << " vs " << c.path;
}

INSTANTIATE_TEST_SUITE_P(PlanMasks, MaskTable, ::testing::ValuesIn(kPlanMasks));
INSTANTIATE_TEST_SUITE_P(Rules, MaskTable, ::testing::ValuesIn(kRules));
INSTANTIATE_TEST_SUITE_P(UndecodedBytes, MaskTable, ::testing::ValuesIn(kUndecodedBytes));

struct HardCase {
    std::string mask;
    std::string path;
    bool matches;
};

// Patterns that take a backtracking matcher exponential time.
TEST(MaskEffort, ManyStarsOnLongNamesFinishQuickly) {
    std::string stars;
    for (int i = 0; i < 40; ++i) {
        stars += "*a";
    }
    const HardCase cases[] = {
        {stars + "*b", std::string(20000, 'a'), false},
        {stars + "*b", std::string(20000, 'a') + "b", true},
        {std::string(200, '?') + "*" + std::string(200, '?'), std::string(30000, 'x'), true},
        {"*a*a*a*a*a*a*a*a*a*a*a*a*a*a*a*a*a*a*a*a*c", std::string(5000, 'a') + "b", false},
    };
    const auto begin = std::chrono::steady_clock::now();
    for (const HardCase& c : cases) {
        EXPECT_EQ(MaskMatches(c.mask, c.path), c.matches);
    }
    EXPECT_LT(std::chrono::steady_clock::now() - begin, std::chrono::seconds(2));
}

} // namespace
} // namespace orv
