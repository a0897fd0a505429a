// Ending a window that may belong to another thread. The host may release the plug-in on any
// thread, but only the thread that created a window can destroy it; waiting for that thread could
// deadlock, so its destruction is handed to it by a posted message instead.
#pragma once

#include <windows.h>

namespace tempotally {

// Posted to an unbound editor or video window: destroy yourself. The window procedures act on it
// only while no object is bound to the window.
constexpr UINT EditorHandoverMessage = WM_APP + 0x16;
constexpr UINT VideoHandoverMessage = WM_APP + 0x17;

// Any thread. Destroys `window` when the calling thread owns it. Otherwise, or when it outlived
// DestroyWindow, posts `message` with the two parameters to it, so that its own thread destroys it
// when it next takes messages, and keeps this module loaded for good, as the window's procedure is
// ours. Never waits for the other thread. True when the window is gone on return.
bool DestroyOrHandOver(HWND window, UINT message, WPARAM wParam = 0, LPARAM lParam = 0);

}  // namespace tempotally
