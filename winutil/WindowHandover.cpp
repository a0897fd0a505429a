#include "winutil/WindowHandover.h"

namespace tempotally {

bool DestroyOrHandOver(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  if (GetWindowThreadProcessId(window, nullptr) == GetCurrentThreadId()) {
    DestroyWindow(window);
    if (!IsWindow(window)) return true;
  }
  // Pinned: a window handed over may take messages after the host has unloaded this module.
  HMODULE module = nullptr;
  GetModuleHandleExA(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_PIN,
                     reinterpret_cast<LPCSTR>(&DestroyOrHandOver), &module);
  PostMessageA(window, message, wParam, lParam);
  return false;
}

}  // namespace tempotally
