#include "update/version_line.h"

#include "platform/text.h"

namespace orv {

VersionLine ParseVersionLine(const std::string& line) {
    return {
        .key = text::Mid(line, 7, 4) + text::Mid(line, 4, 2) + text::Mid(line, 1, 2),
        .label = text::Mid(line, 11),
        .date = text::Left(line, 10),
    };
}

} // namespace orv
