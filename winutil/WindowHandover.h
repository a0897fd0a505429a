// Ending a window that may belong to another thread. Only a window's own thread can destroy it, and
// waiting for that thread could deadlock, so its destruction is handed over by a posted message.
#pragma once

#include <windows.h>

namespace tempotally {

// Posted to an unbound editor or video window: destroy yourself. The window procedures act on it
// only while no object is bound to the window.
constexpr UINT EditorHandoverMessage = WM_APP + 0x16;
constexpr UINT VideoHandoverMessage = WM_APP + 0x17;

// Any thread; never waits. Destroys `window` when this thread owns it. Otherwise, or when it
// outlived DestroyWindow, posts it `message` with the parameters, for its own thread to destroy it,
// and pins this module, whose code is the window's procedure. True when the window is gone.
bool DestroyOrHandOver(HWND window, UINT message, WPARAM wParam = 0, LPARAM lParam = 0);

}  // namespace tempotally
