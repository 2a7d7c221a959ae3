#include "win32/string_buffer.h"

#include <gtest/gtest.h>

namespace orv::win32 {
namespace {

struct BufferCase {
    const char* what;
    std::string_view value;
    std::string buffer;
    std::size_t result;
    std::string bufferAfter;
};

const BufferCase kBufferCases[] = {
    {"the updater's 255 blanks", "C:\\WINDOWS", std::string(255, ' '), 10,
     std::string("C:\\WINDOWS") + '\0' + std::string(244, ' ')},
    {"room for the NUL exactly", "C:\\WINDOWS", std::string(11, ' '), 10,
     std::string("C:\\WINDOWS") + '\0'},
    {"no room for the NUL", "C:\\WINDOWS", std::string(10, ' '), 11, std::string(10, ' ')},
    {"umlauts count as one character", "C:\\WINDÖWS", std::string(11, ' '), 10,
     std::string("C:\\WINDÖWS") + '\0'},
    {"rest of the buffer kept", "C:\\W", "abcdefg", 4, std::string("C:\\W") + '\0' + "fg"},
    {"empty buffer", "C:\\WINDOWS", "", 11, ""},
};

class CopyToBufferTest : public testing::TestWithParam<BufferCase> {};

TEST_P(CopyToBufferTest, FillsTheBufferWhenItFits) {
    const BufferCase& c = GetParam();
    std::string buffer = c.buffer;
    EXPECT_EQ(CopyToBuffer(c.value, buffer), c.result) << c.what;
    EXPECT_EQ(buffer, c.bufferAfter) << c.what;
}

INSTANTIATE_TEST_SUITE_P(Win32, CopyToBufferTest, testing::ValuesIn(kBufferCases));

} // namespace
} // namespace orv::win32
