#include "ui/progress_channel.h"

#include <charconv>
#include <cstddef>
#include <limits>
#include <string>

#include "ui/draw_progress.h"
#include "ui/rounding.h"

namespace orv::ui {
namespace {

bool IsDigit(char c) {
    return c >= '0' && c <= '9';
}

// The leading number as text: sign, digits, "." and decimals; empty when there is none.
std::string LeadingNumber(std::string_view text) {
    std::size_t pos = text.find_first_not_of(" \t");
    if (pos == std::string_view::npos) return "";
    std::string number;
    if (text[pos] == '+' || text[pos] == '-') number += text[pos++];
    while (pos < text.size() && IsDigit(text[pos]))
        number += text[pos++];
    if (pos < text.size() && text[pos] == '.') {
        number += text[pos++];
        while (pos < text.size() && IsDigit(text[pos]))
            number += text[pos++];
    }
    return number;
}

} // namespace

std::int32_t ChannelValue(std::string_view text) {
    std::string number = LeadingNumber(text);
    const bool negative = !number.empty() && number.front() == '-';
    if (!number.empty() && (number.front() == '+' || number.front() == '-')) number.erase(0, 1);
    if (number.empty() || number == ".") return 0;

    double magnitude = 0;
    const auto [end, error] =
        std::from_chars(number.data(), number.data() + number.size(), magnitude);
    if (error == std::errc::result_out_of_range)
        magnitude = std::numeric_limits<double>::infinity();
    else if (error != std::errc{} || end != number.data() + number.size())
        return 0;

    const double rounded = RoundHalfEven(negative ? -magnitude : magnitude);
    constexpr auto kMax = std::numeric_limits<std::int32_t>::max();
    constexpr auto kMin = std::numeric_limits<std::int32_t>::min();
    if (rounded >= static_cast<double>(kMax)) return kMax;
    if (rounded <= static_cast<double>(kMin)) return kMin;
    return static_cast<std::int32_t>(rounded);
}

void ReactToStatusText(std::string_view text, DrawingSurface& picProgress) {
    DrawProgress(picProgress, ChannelValue(text), 0, 100, true);
}

} // namespace orv::ui
