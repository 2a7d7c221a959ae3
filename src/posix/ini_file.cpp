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
        value = FindValue(text::FileTextToUtf8(text), wantedSection, wantedKey);
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
