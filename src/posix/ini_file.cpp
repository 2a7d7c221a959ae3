#include "posix/ini_file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <array>
#include <cerrno>
#include <optional>

#include "platform/text.h"
#include "posix/unique_fd.h"

namespace orv::posix {
namespace {

// INI files are small; a larger file is read only this far.
constexpr std::size_t kMaxFileSize = 16 * 1024 * 1024;

bool IsBlank(char c) {
    return c == ' ' || c == '\t' || c == '\v' || c == '\f';
}

std::string_view Trim(std::string_view s) {
    while (!s.empty() && IsBlank(s.front()))
        s.remove_prefix(1);
    while (!s.empty() && IsBlank(s.back()))
        s.remove_suffix(1);
    return s;
}

bool IsContinuation(unsigned char c) {
    return (c & 0xC0) == 0x80;
}

bool IsUtf8(std::string_view s) {
    for (std::size_t i = 0; i < s.size();) {
        const auto lead = static_cast<unsigned char>(s[i]);
        std::size_t length = 0;
        if (lead < 0x80) {
            length = 1;
        } else if (lead >= 0xC2 && lead <= 0xDF) {
            length = 2;
        } else if (lead >= 0xE0 && lead <= 0xEF) {
            length = 3;
        } else if (lead >= 0xF0 && lead <= 0xF4) {
            length = 4;
        } else {
            return false;
        }
        if (i + length > s.size()) return false;
        for (std::size_t k = 1; k < length; ++k) {
            if (!IsContinuation(static_cast<unsigned char>(s[i + k]))) return false;
        }
        i += length;
    }
    return true;
}

void AppendUtf8(std::string& out, char32_t c) {
    if (c < 0x80) {
        out += static_cast<char>(c);
    } else if (c < 0x800) {
        out += static_cast<char>(0xC0 | (c >> 6));
        out += static_cast<char>(0x80 | (c & 0x3F));
    } else {
        out += static_cast<char>(0xE0 | (c >> 12));
        out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (c & 0x3F));
    }
}

// Windows-1252 to UTF-8. The five unassigned bytes keep their own code points.
std::string FromWindows1252(std::string_view s) {
    static constexpr std::array<char16_t, 32> kHigh = {
        0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, 0x02C6, 0x2030, 0x0160,
        0x2039, 0x0152, 0x008D, 0x017D, 0x008F, 0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022,
        0x2013, 0x2014, 0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178};
    std::string out;
    out.reserve(s.size() + s.size() / 4);
    for (const char ch : s) {
        const auto c = static_cast<unsigned char>(ch);
        AppendUtf8(out, c >= 0x80 && c < 0xA0 ? kHigh[c - 0x80] : c);
    }
    return out;
}

bool SameName(std::string_view a, std::string_view b) {
    return a == b || text::UCase(a) == text::UCase(b);
}

// The value of one line when it is key = value for the key; a line without "=" has none.
std::optional<std::string_view> ValueFor(std::string_view line, std::string_view key) {
    const std::size_t equals = line.find('=');
    if (equals == std::string_view::npos) return std::nullopt;
    if (!SameName(Trim(line.substr(0, equals)), key)) return std::nullopt;
    std::string_view value = Trim(line.substr(equals + 1));
    if (value.size() >= 2 && (value.front() == '"' || value.front() == '\'') &&
        value.back() == value.front()) {
        value = value.substr(1, value.size() - 2);
    }
    return value;
}

std::optional<std::string> FindValue(std::string_view text, std::string_view section,
                                     std::string_view key) {
    bool inSection = false;
    bool sectionSeen = false;
    std::size_t pos = 0;
    while (pos < text.size()) {
        std::size_t end = text.find_first_of("\r\n", pos);
        if (end == std::string_view::npos) end = text.size();
        const std::string_view line = Trim(text.substr(pos, end - pos));
        pos = end + 1;

        if (line.empty() || line.front() == ';') continue;
        if (line.front() == '[') {
            const std::size_t close = line.rfind(']');
            if (close != std::string_view::npos) {
                // Only the first section of the name counts.
                if (inSection) return std::nullopt;
                inSection = !sectionSeen && SameName(Trim(line.substr(1, close - 1)), section);
                sectionSeen = sectionSeen || inSection;
                continue;
            }
        }
        if (!inSection) continue;
        if (auto value = ValueFor(line, key)) return std::string(*value);
    }
    return std::nullopt;
}

std::optional<std::string> ReadWholeFile(const std::string& nativeFile) {
    const UniqueFd fd{::open(nativeFile.c_str(), O_RDONLY | O_CLOEXEC | O_NOCTTY | O_NONBLOCK)};
    if (!fd.valid()) return std::nullopt;
    struct stat st {};
    if (::fstat(fd.get(), &st) != 0 || !S_ISREG(st.st_mode)) return std::nullopt;
    std::string contents;
    std::array<char, 8192> buffer{};
    while (contents.size() < kMaxFileSize) {
        const ssize_t got = ::read(fd.get(), buffer.data(), buffer.size());
        if (got < 0) {
            if (errno == EINTR) continue;
            return std::nullopt;
        }
        if (got == 0) break;
        contents.append(buffer.data(), static_cast<std::size_t>(got));
    }
    return contents;
}

} // namespace

std::string ReadProfileStringFromText(std::string_view text, std::string_view section,
                                      std::string_view key, const std::string& defaultValue,
                                      std::size_t bufferSize) {
    if (bufferSize == 0) return {};
    constexpr std::string_view kByteOrderMark = "\xEF\xBB\xBF";
    if (text.substr(0, kByteOrderMark.size()) == kByteOrderMark) {
        text.remove_prefix(kByteOrderMark.size());
    }
    std::optional<std::string> value;
    const std::string_view wantedSection = Trim(section);
    const std::string_view wantedKey = Trim(key);
    if (!wantedSection.empty() && !wantedKey.empty()) {
        if (IsUtf8(text)) {
            value = FindValue(text, wantedSection, wantedKey);
        } else {
            value = FindValue(FromWindows1252(text), wantedSection, wantedKey);
        }
    }
    return text::Left(value ? *value : defaultValue, bufferSize - 1);
}

std::string ReadProfileString(const std::string& nativeFile, const std::string& section,
                              const std::string& key, const std::string& defaultValue,
                              std::size_t bufferSize) {
    const std::optional<std::string> contents = ReadWholeFile(nativeFile);
    return ReadProfileStringFromText(contents ? std::string_view(*contents) : std::string_view(),
                                     section, key, defaultValue, bufferSize);
}

} // namespace orv::posix
