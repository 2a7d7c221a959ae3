#include "transcript.h"

#include <windows.h>

#include <filesystem>
#include <stdexcept>

namespace orv::e2e {

std::string Utf8(std::wstring_view text) {
    if (text.empty()) return {};
    const int size = WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()),
                                         nullptr, 0, nullptr, nullptr);
    std::string result(static_cast<std::size_t>(size), '\0');
    WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), result.data(), size,
                        nullptr, nullptr);
    return result;
}

std::wstring Wide(std::string_view utf8) {
    if (utf8.empty()) return {};
    const int size =
        MultiByteToWideChar(CP_UTF8, 0, utf8.data(), static_cast<int>(utf8.size()), nullptr, 0);
    std::wstring result(static_cast<std::size_t>(size), L'\0');
    MultiByteToWideChar(CP_UTF8, 0, utf8.data(), static_cast<int>(utf8.size()), result.data(),
                        size);
    return result;
}

std::string Quoted(std::wstring_view text) {
    constexpr std::string_view kHex = "0123456789ABCDEF";
    std::string result = "\"";
    for (const char c : Utf8(text)) {
        switch (c) {
        case '\\':
            result += "\\\\";
            break;
        case '"':
            result += "\\\"";
            break;
        case '\r':
            result += "\\r";
            break;
        case '\n':
            result += "\\n";
            break;
        case '\t':
            result += "\\t";
            break;
        default:
            if (static_cast<unsigned char>(c) < 0x20 || c == 0x7F) {
                const auto byte = static_cast<unsigned char>(c);
                result += "\\x";
                result += kHex[byte >> 4];
                result += kHex[byte & 0xF];
            } else {
                result += c;
            }
        }
    }
    return result + "\"";
}

Record& Record::text(std::string_view key, std::wstring_view value) {
    line_ += ' ';
    line_ += key;
    line_ += '=';
    line_ += Quoted(value);
    return *this;
}

Record& Record::number(std::string_view key, std::int64_t value) {
    return word(key, std::to_string(value));
}

Record& Record::word(std::string_view key, std::string_view value) {
    line_ += ' ';
    line_ += key;
    line_ += '=';
    line_ += value;
    return *this;
}

Transcript::Transcript(const std::wstring& path)
    : out_(std::filesystem::path(path), std::ios::binary | std::ios::trunc) {
    if (!out_) throw std::runtime_error("cannot write the transcript " + Utf8(path));
}

void Transcript::write(const Record& record) {
    out_ << "t=" << elapsedMs() << ' ' << record.line() << '\n';
    out_.flush();
}

std::int64_t Transcript::elapsedMs() const {
    return std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() -
                                                                 start_)
        .count();
}

} // namespace orv::e2e
