#pragma once
// The updater works on the thread that owns its windows and has no message loop of its own;
// it lets the waiting messages through after each change it shows, so the windows repaint and
// the system never takes the program for hung.

namespace orv::win32 {

// Dispatches the messages waiting for this thread, without waiting for new ones.
void PumpPendingMessages();

} // namespace orv::win32
