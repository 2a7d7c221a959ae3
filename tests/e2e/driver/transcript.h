#pragma once
// The driver's transcript: UTF-8 text, one record per line. A record is a kind followed by
// key=value fields; text values are quoted, with \ " CR LF TAB and other control characters
// escaped (\\ \" \r \n \t \xNN), so a record never spans two lines.

#include <chrono>
#include <cstdint>
#include <fstream>
#include <string>
#include <string_view>

namespace orv::e2e {

std::string Utf8(std::wstring_view text);
std::wstring Wide(std::string_view utf8);

// The text quoted and escaped for a record.
std::string Quoted(std::wstring_view text);

class Record {
  public:
    explicit Record(std::string_view kind) : line_(kind) {}
    Record& text(std::string_view key, std::wstring_view value);
    Record& number(std::string_view key, std::int64_t value);
    Record& flag(std::string_view key, bool value) { return number(key, value ? 1 : 0); }
    // A value without blanks or quotes, written as it is.
    Record& word(std::string_view key, std::string_view value);
    const std::string& line() const { return line_; }

  private:
    std::string line_;
};

class Transcript {
  public:
    explicit Transcript(const std::wstring& path);
    // Writes the record with the milliseconds since the transcript was opened, and flushes,
    // so that the lines written so far survive a killed driver.
    void write(const Record& record);
    std::int64_t elapsedMs() const;

  private:
    std::ofstream out_;
    std::chrono::steady_clock::time_point start_ = std::chrono::steady_clock::now();
};

} // namespace orv::e2e
