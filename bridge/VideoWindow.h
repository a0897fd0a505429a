// The video window class, shared by all bridges of the process, and the window itself.
#pragma once

#include <windows.h>

namespace tempotally {

// Registers the class when no bridge holds it yet (under `module`) and counts one more holder.
// A failed registration is ignored, the hold still counts.
void AcquireVideoClass(HMODULE module);
// Counts one holder less; the last one unregisters the class under the handle it was registered
// with, even when that module has been unloaded since.
void ReleaseVideoClass();
// A hidden, ownerless video window of `module`'s class registration; null when creation fails.
HWND CreateVideoWindow(HMODULE module);

}  // namespace tempotally
