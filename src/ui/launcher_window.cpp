#include "ui/launcher_window.h"

#include "platform/paths.h"

namespace orv::ui {

void LauncherWindow::show(const std::string& installDir) {
    if (loaded_) return;
    view_.load();
    loaded_ = true;
    // The load reaction starts the application; whether that worked is not looked at.
    static_cast<void>(view_.shellOpen(ApplicationPath(installDir)));
}

void LauncherWindow::unload() {
    if (!loaded_) return;
    loaded_ = false;
    view_.unload();
}

} // namespace orv::ui
