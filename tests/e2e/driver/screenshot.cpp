#include "screenshot.h"

#include <cstdint>
#include <filesystem>
#include <fstream>
#include <vector>

#include "win32/handles.h"

namespace orv::e2e {
namespace {

RECT ScreenRect(HWND window, Area area) {
    RECT r{};
    if (area == Area::Window) {
        GetWindowRect(window, &r);
        return r;
    }
    GetClientRect(window, &r);
    POINT topLeft{0, 0};
    ClientToScreen(window, &topLeft);
    OffsetRect(&r, topLeft.x, topLeft.y);
    return r;
}

template <typename T> void Put(std::vector<char>& out, T value) {
    for (std::size_t i = 0; i < sizeof(T); ++i) {
        out.push_back(static_cast<char>((static_cast<std::uint64_t>(value) >> (8 * i)) & 0xFF));
    }
}

} // namespace

bool SaveScreenshot(HWND window, Area area, const std::wstring& file) {
    if (!IsWindow(window)) return false;
    const RECT r = ScreenRect(window, area);
    const int width = r.right - r.left;
    const int height = r.bottom - r.top;
    if (width <= 0 || height <= 0) return false;

    const win32::WindowDc screen{nullptr};
    const win32::MemoryDc memory{CreateCompatibleDC(screen.get())};
    const win32::Bitmap bitmap{CreateCompatibleBitmap(screen.get(), width, height)};
    {
        const win32::Selection selected(memory.get(), bitmap.get());
        if (!BitBlt(memory.get(), 0, 0, width, height, screen.get(), r.left, r.top, SRCCOPY))
            return false;
    }

    BITMAPINFO info{};
    info.bmiHeader.biSize = sizeof(BITMAPINFOHEADER);
    info.bmiHeader.biWidth = width;
    info.bmiHeader.biHeight = height; // bottom-up, as BMP files store rows
    info.bmiHeader.biPlanes = 1;
    info.bmiHeader.biBitCount = 24;
    info.bmiHeader.biCompression = BI_RGB;
    const std::size_t stride = (static_cast<std::size_t>(width) * 3 + 3) & ~std::size_t{3};
    std::vector<char> pixels(stride * static_cast<std::size_t>(height));
    if (GetDIBits(memory.get(), bitmap.get(), 0, static_cast<UINT>(height), pixels.data(), &info,
                  DIB_RGB_COLORS) != height)
        return false;

    constexpr std::uint32_t kHeaders = 14 + sizeof(BITMAPINFOHEADER);
    std::vector<char> out;
    out.push_back('B');
    out.push_back('M');
    Put<std::uint32_t>(out, kHeaders + static_cast<std::uint32_t>(pixels.size()));
    Put<std::uint32_t>(out, 0);
    Put<std::uint32_t>(out, kHeaders);
    const auto* header = reinterpret_cast<const char*>(&info.bmiHeader);
    out.insert(out.end(), header, header + sizeof(BITMAPINFOHEADER));
    out.insert(out.end(), pixels.begin(), pixels.end());

    std::ofstream stream(std::filesystem::path(file), std::ios::binary | std::ios::trunc);
    stream.write(out.data(), static_cast<std::streamsize>(out.size()));
    return static_cast<bool>(stream);
}

} // namespace orv::e2e
