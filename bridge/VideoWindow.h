// The video window class, shared by all bridges of the process, and the window itself.
#pragma once

#include <windows.h>

namespace tempotally {

// The class is registered once per module handle: each window is created with its bridge's module
// as instance handle, and players from the two paths are two modules. Any thread.
//
// Registers the class under `module` unless it holds it already, and counts one more holder; a
// failed registration is ignored. False, without a hold, only when more modules than the table
// keeps hold the class at once.
bool AcquireVideoClass(HMODULE module);
// One holder of `module`'s registration less; the last unregisters the class under that handle,
// even when the module has been unloaded since.
void ReleaseVideoClass(HMODULE module);
// A hidden, ownerless video window of `module`'s class registration; null when creation fails.
HWND CreateVideoWindow(HMODULE module);

}  // namespace tempotally
