#include "archive/entry_path.h"

#include <algorithm>
#include <array>
#include <cstddef>
#include <set>

#include "platform/paths.h"
#include "platform/text.h"

namespace orv {
namespace {

bool IsControl(unsigned char c) {
    return c < 0x20 || c == 0x7F;
}

bool IsForbiddenByte(unsigned char c) {
    constexpr std::string_view kReserved = ":<>\"|?*";
    return IsControl(c) || kReserved.find(static_cast<char>(c)) != std::string_view::npos;
}

char UpperAscii(char c) {
    return c >= 'a' && c <= 'z' ? static_cast<char>(c - 'a' + 'A') : c;
}

// Windows opens a device for these names whatever follows the first dot, and ignores blanks
// before that dot.
bool IsDeviceName(std::string_view component) {
    std::string base{component.substr(0, component.find('.'))};
    while (!base.empty() && base.back() == ' ') {
        base.pop_back();
    }
    std::transform(base.begin(), base.end(), base.begin(), UpperAscii);

    constexpr std::array<std::string_view, 6> kDevices{"CON", "PRN",    "AUX",
                                                       "NUL", "CONIN$", "CONOUT$"};
    if (std::find(kDevices.begin(), kDevices.end(), base) != kDevices.end()) return true;

    if (base.rfind("COM", 0) != 0 && base.rfind("LPT", 0) != 0) return false;
    const std::string_view number = std::string_view(base).substr(3);
    // A digit, or one of the superscripts ¹ ² ³ that Windows reads as digits here.
    constexpr std::array<std::string_view, 3> kSuperscripts{"\xC2\xB9", "\xC2\xB2", "\xC2\xB3"};
    if (number.size() == 1) return number[0] >= '0' && number[0] <= '9';
    return std::find(kSuperscripts.begin(), kSuperscripts.end(), number) != kSuperscripts.end();
}

bool IsSafeComponent(std::string_view component) {
    if (component.empty()) return false;
    const char last = component.back();
    if (last == '.' || last == ' ') return false; // also "." and ".."
    return !IsDeviceName(component);
}

// The names seen so far, as files and as folders.
class NameRegister {
  public:
    // Registers the stored path; false when it collides with one registered before.
    bool add(const std::string& storedPath) {
        const bool folder = IsFolderEntry(storedPath);
        const std::u32string key = FoldedPath(WithoutFolderMark(storedPath));
        const bool clash = folder ? fileKeys_.count(key) > 0
                                  : fileKeys_.count(key) > 0 || folderKeys_.count(key) > 0;
        if (clash) return false;

        for (std::size_t slash = key.find(U'/'); slash != std::u32string::npos;
             slash = key.find(U'/', slash + 1)) {
            const std::u32string parent = key.substr(0, slash);
            if (fileKeys_.count(parent) > 0) return false;
            folderKeys_.insert(parent);
        }
        (folder ? folderKeys_ : fileKeys_).insert(key);
        return true;
    }

  private:
    std::set<std::u32string> fileKeys_;
    std::set<std::u32string> folderKeys_;
};

} // namespace

bool IsFolderEntry(std::string_view storedPath) {
    return !storedPath.empty() && IsSeparator(storedPath.back());
}

std::string_view WithoutFolderMark(std::string_view storedPath) {
    return IsFolderEntry(storedPath) ? storedPath.substr(0, storedPath.size() - 1) : storedPath;
}

bool IsSafeEntryPath(std::string_view storedPath) {
    const std::string_view path = WithoutFolderMark(storedPath);
    if (path.empty() || IsSeparator(path.front())) return false;
    if (std::any_of(path.begin(), path.end(),
                    [](char c) { return IsForbiddenByte(static_cast<unsigned char>(c)); })) {
        return false;
    }
    if (!text::IsValidUtf8(path)) return false;

    std::size_t begin = 0;
    while (true) {
        const auto end = std::find_if(path.begin() + static_cast<std::ptrdiff_t>(begin), path.end(),
                                      IsSeparator<char>);
        const auto endPos = static_cast<std::size_t>(end - path.begin());
        if (!IsSafeComponent(path.substr(begin, endPos - begin))) return false;
        if (end == path.end()) return true;
        begin = endPos + 1;
    }
}

bool HasControlCharacter(std::string_view storedBytes) {
    return std::any_of(storedBytes.begin(), storedBytes.end(),
                       [](char c) { return IsControl(static_cast<unsigned char>(c)); });
}

std::string WindowsRelativePath(std::string_view storedPath) {
    std::string path{WithoutFolderMark(storedPath)};
    std::replace(path.begin(), path.end(), '/', '\\');
    return path;
}

std::string PrintableName(std::string_view storedPath) {
    if (storedPath.empty()) return "(leer)";
    std::string printable;
    printable.reserve(storedPath.size());
    std::size_t pos = 0;
    while (pos < storedPath.size()) {
        const std::size_t begin = pos;
        const char32_t c = text::NextCharacter(storedPath, pos);
        if (c < 0x20 || c == 0x7F || c >= text::kUndecodedByte) {
            printable += '?';
        } else {
            printable += storedPath.substr(begin, pos - begin);
        }
    }
    return printable;
}

std::vector<std::size_t> CollidingEntries(const std::vector<std::string>& storedPaths) {
    NameRegister names;
    std::vector<std::size_t> colliding;
    for (std::size_t i = 0; i < storedPaths.size(); ++i) {
        if (!names.add(storedPaths[i])) colliding.push_back(i);
    }
    return colliding;
}

std::string PlacedPath(const std::string& targetDir, const std::string& archivePath,
                       const std::string& storedPath) {
    return TargetFolder(targetDir, archivePath) + WindowsRelativePath(storedPath);
}

} // namespace orv
