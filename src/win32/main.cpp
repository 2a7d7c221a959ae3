// orvupd.exe: the updater as a Windows program.

#include <windows.h>

#include <commctrl.h>
#include <objbase.h>

#include <exception>

#include "ui/start_window.h"
#include "update/main.h"
#include "win32/dpi.h"
#include "win32/wide.h"
#include "win32/win32_platform.h"

namespace {

// The shell's start request may hand over to shell extensions, which need COM on this thread.
class ComApartment {
  public:
    ComApartment()
        : initialized_(SUCCEEDED(
              CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED | COINIT_DISABLE_OLE1DDE))) {}
    ~ComApartment() {
        if (initialized_) CoUninitialize();
    }
    ComApartment(const ComApartment&) = delete;
    ComApartment& operator=(const ComApartment&) = delete;

  private:
    bool initialized_;
};

} // namespace

int WINAPI wWinMain(HINSTANCE instance, HINSTANCE, PWSTR, int) {
    // Libraries come from the system directory only, never from beside the program.
    SetDefaultDllDirectories(LOAD_LIBRARY_SEARCH_SYSTEM32);
    orv::win32::DeclarePerMonitorDpiAware();
    const INITCOMMONCONTROLSEX controls{sizeof(INITCOMMONCONTROLSEX), ICC_STANDARD_CLASSES};
    InitCommonControlsEx(&controls);
    const ComApartment com;

    try {
        orv::win32::Win32Platform platform{instance};
        orv::Main(platform);
    } catch (const std::exception& error) {
        // Main handles the updater's own errors; this is the last word on anything else.
        MessageBoxW(nullptr, orv::win32::Wide(error.what()).c_str(),
                    orv::win32::Wide(orv::kProgramTitle).c_str(), MB_ICONERROR | MB_SETFOREGROUND);
        return 1;
    }
    return 0;
}
