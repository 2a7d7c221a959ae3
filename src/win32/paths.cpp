#include "win32/paths.h"

#include <initializer_list>

#include "platform/paths.h"

namespace orv::win32 {

std::u16string DirectoryOf(std::u16string_view filePath) {
    const std::size_t last = filePath.find_last_of(u"\\/");
    if (last == std::u16string_view::npos) return {};
    std::u16string directory(filePath.substr(0, last));
    if (!directory.empty() && directory.back() == u':') directory += u'\\';
    return directory;
}

std::u16string WithLongPathPrefix(std::u16string_view fullPath) {
    const bool driveAbsolute = fullPath.size() >= 3 && IsDriveLetter(fullPath[0]) &&
                               fullPath[1] == u':' && IsSeparator(fullPath[2]);
    if (driveAbsolute) return u"\\\\?\\" + std::u16string(fullPath);

    const bool twoSeparators =
        fullPath.size() >= 2 && IsSeparator(fullPath[0]) && IsSeparator(fullPath[1]);
    const bool deviceForm = twoSeparators && fullPath.size() >= 4 &&
                            (fullPath[2] == u'?' || fullPath[2] == u'.') &&
                            IsSeparator(fullPath[3]);
    if (twoSeparators && !deviceForm) return u"\\\\?\\UNC\\" + std::u16string(fullPath.substr(2));
    return std::u16string(fullPath);
}

std::u16string DriveOf(std::u16string_view fullPath) {
    const std::u16string plain = PlainFormOf(fullPath);
    return std::u16string(orv::DriveOf(std::u16string_view(plain)));
}

std::u16string PlainFormOf(std::u16string_view fullPath) {
    std::u16string_view rest = fullPath;
    for (const std::u16string_view prefix : {u"\\\\?\\", u"\\??\\"}) {
        if (rest.starts_with(prefix)) {
            rest.remove_prefix(prefix.size());
            break;
        }
    }
    const bool network = rest.size() > 4 && (rest[0] == u'U' || rest[0] == u'u') &&
                         (rest[1] == u'N' || rest[1] == u'n') &&
                         (rest[2] == u'C' || rest[2] == u'c') && IsSeparator(rest[3]);
    if (network) return u"\\\\" + std::u16string(rest.substr(4));
    if (rest.size() != fullPath.size() && rest.size() >= 2 && IsDriveLetter(rest[0]) &&
        rest[1] == u':') {
        return std::u16string(rest);
    }
    return std::u16string(fullPath);
}

} // namespace orv::win32
