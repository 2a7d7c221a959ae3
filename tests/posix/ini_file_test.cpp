#include "posix/ini_file.h"

#include <string>

#include <gtest/gtest.h>

#include "support/sandbox.h"

namespace orv::posix {
namespace {

struct IniCase {
    const char* name;
    std::string text;
    const char* section;
    const char* key;
    std::string expected; // with the default "-" and a buffer of 255
};

const IniCase kIniCases[] = {
    {"plain", "[ORVEN]\r\nPfad1=C:\\DATEN\r\n", "ORVEN", "Pfad1", "C:\\DATEN"},
    {"line feeds only", "[ORVEN]\nPfad1=/daten\nPfad2=/daten/vw\n", "ORVEN", "Pfad2", "/daten/vw"},
    {"no line end at the end", "[ORVEN]\nPfad3=x", "ORVEN", "Pfad3", "x"},
    {"section and key without case", "[orven]\nPFAD1=d\n", "ORVEN", "pfad1", "d"},
    {"umlauts without case", "[Größen]\nÄnderung=ja\n", "GRÖSSEN", "änderung", "-"},
    {"umlauts matched", "[ÄRZTE]\nÄnderung=ja\n", "ärzte", "ÄNDERUNG", "ja"},
    {"blanks trimmed", "  [ORVEN]  \n  Pfad1   =   C:\\Mit Leer  \t\n", "ORVEN", "Pfad1",
     "C:\\Mit Leer"},
    {"blanks inside brackets", "[ ORVEN ]\nPfad1=x\n", "ORVEN", "Pfad1", "x"},
    {"double quotes", "[ORVEN]\nPfad1=\" C:\\DATEN \"\n", "ORVEN", "Pfad1", " C:\\DATEN "},
    {"single quotes", "[ORVEN]\nPfad1='C:\\DATEN'\n", "ORVEN", "Pfad1", "C:\\DATEN"},
    {"one pair only", "[ORVEN]\nPfad1=\"\"x\"\"\n", "ORVEN", "Pfad1", "\"x\""},
    {"unmatched quotes kept", "[ORVEN]\nPfad1=\"x'\n", "ORVEN", "Pfad1", "\"x'"},
    {"lone quote kept", "[ORVEN]\nPfad1=\"\n", "ORVEN", "Pfad1", "\""},
    {"empty value", "[ORVEN]\nPfad1=\n", "ORVEN", "Pfad1", ""},
    {"quoted empty value", "[ORVEN]\nPfad1=\"\"\n", "ORVEN", "Pfad1", ""},
    {"equals sign in the value", "[ORVEN]\nPfad1=a=b\n", "ORVEN", "Pfad1", "a=b"},
    {"comment skipped", "[ORVEN]\n;Pfad1=alt\nPfad1=neu\n", "ORVEN", "Pfad1", "neu"},
    {"indented comment skipped", "[ORVEN]\n  ; Pfad1=alt\n", "ORVEN", "Pfad1", "-"},
    {"first key wins", "[ORVEN]\nPfad1=eins\npfad1=zwei\n", "ORVEN", "Pfad1", "eins"},
    {"first section wins", "[ORVEN]\nPfad2=a\n[orven]\nPfad1=b\n", "ORVEN", "Pfad1", "-"},
    {"key of another section", "[ANDERS]\nPfad1=a\n[ORVEN]\nPfad2=b\n", "ORVEN", "Pfad1", "-"},
    {"key before any section", "Pfad1=a\n[ORVEN]\n", "ORVEN", "Pfad1", "-"},
    {"section missing", "[ANDERS]\nPfad1=a\n", "ORVEN", "Pfad1", "-"},
    {"key without equals sign", "[ORVEN]\nPfad1\n", "ORVEN", "Pfad1", "-"},
    {"prefix of a key", "[ORVEN]\nPfad10=a\n", "ORVEN", "Pfad1", "-"},
    {"broken header is no section", "[ORVEN]\n[KAPUTT\nPfad1=a\n", "ORVEN", "Pfad1", "a"},
    {"empty text", "", "ORVEN", "Pfad1", "-"},
    {"empty key", "[ORVEN]\n=leer\n", "ORVEN", "", "-"},
    {"byte order mark", "\xEF\xBB\xBF[ORVEN]\nPfad1=x\n", "ORVEN", "Pfad1", "x"},
    {"Windows-1252 text", "[ORVEN]\nPfad1=C:\\M\xFCller \x80\n", "ORVEN", "Pfad1", "C:\\Müller €"},
    {"NUL in the value", std::string("[ORVEN]\nPfad1=a\0b\n", 18), "ORVEN", "Pfad1",
     std::string("a\0b", 3)},
    {"binary noise", std::string("\xFF\xFE\0[\0]\r\r\n=\n[ORVEN]\n\x01\x02=\x03\n", 24), "ORVEN",
     "Pfad1", "-"},
};

TEST(ReadProfileString, FollowsTheWindowsRules) {
    for (const IniCase& c : kIniCases) {
        EXPECT_EQ(ReadProfileStringFromText(c.text, c.section, c.key, "-", 255), c.expected)
            << c.name;
    }
}

TEST(ReadProfileString, CutsToOneLessThanTheBufferInCharacters) {
    const std::string value(300, 'a');
    const std::string text = "[ORVEN]\nPfad1=" + value + "\n";
    EXPECT_EQ(ReadProfileStringFromText(text, "ORVEN", "Pfad1", "", 255), value.substr(0, 254));
    EXPECT_EQ(ReadProfileStringFromText(text, "ORVEN", "Pfad1", "", 1), "");
    EXPECT_EQ(ReadProfileStringFromText(text, "ORVEN", "Pfad1", "", 0), "");
    EXPECT_EQ(ReadProfileStringFromText("[ORVEN]\nPfad1=äöü\n", "ORVEN", "Pfad1", "", 3), "äö");
    EXPECT_EQ(ReadProfileStringFromText("", "ORVEN", "Pfad1", "Vorgabe", 4), "Vor");
}

TEST(ReadProfileString, MissingOrUnreadableFileGivesTheDefault) {
    const testing::Sandbox box;
    box.writeFile("orven32.ini", "[ORVEN]\r\nPfad1 = /daten \r\n");
    EXPECT_EQ(ReadProfileString(box.path("orven32.ini"), "ORVEN", "Pfad1", "", 255), "/daten");
    EXPECT_EQ(ReadProfileString(box.path("fehlt.ini"), "ORVEN", "Pfad1", "vorgabe", 255),
              "vorgabe");
    EXPECT_EQ(ReadProfileString(box.root(), "ORVEN", "Pfad1", "vorgabe", 255), "vorgabe");
}

} // namespace
} // namespace orv::posix
