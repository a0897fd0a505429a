// The floating video window that holds the wrapped player's editor.
#include "bridge/VideoWindow.h"

#include <algorithm>
#include <iterator>
#include <mutex>

#include "bridge/TFruityBridgePlugHost.h"
#include "winutil/WindowHandover.h"

namespace tempotally {

int32_t videoClassCount = 0;

namespace {

// The handles the class is registered under, with their holders. Unregistering needs the same
// value, and the bridge that registered it may have unloaded its module or gone by then. Two
// player paths make two modules; the room beyond is for modules reloaded at other addresses.
struct ClassRegistration {
  HMODULE module;
  int32_t holders;
};
constexpr int MaxClassModules = 8;
ClassRegistration registrations[MaxClassModules] = {};
// A window handed to its own thread gives its hold back there.
std::mutex registrationLock;

ClassRegistration* RegistrationOf(HMODULE module) {
  for (ClassRegistration& entry : registrations)
    if (entry.holders > 0 && entry.module == module) return &entry;
  return nullptr;
}

// The bridge is bound through the user data once the wrapped instance exists.
LRESULT CALLBACK VideoWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  auto* bridge = reinterpret_cast<TFruityBridgePlugHost*>(GetWindowLongPtrA(window, GWLP_USERDATA));

  // Closing only hides, bound or not: a destroyed window would leave the bridge a stale handle.
  if (message == WM_CLOSE) {
    ShowWindow(window, SW_HIDE);
    if (bridge) bridge->Dispatch(PlugId::WindowClosed, 0, 0);
    return 0;
  }
  if (!bridge && message == VideoHandoverMessage) {
    // Handed over by a bridge released on another thread: the module and the class hold are
    // this window's to give back, after it and the player's editor in it are gone.
    const auto module = reinterpret_cast<HMODULE>(wParam);
    DestroyWindow(window);
    if (lParam) ReleaseVideoClass(module);
    if (module) FreeLibrary(module);
    return 0;
  }
  if (!bridge) return DefWindowProcA(window, message, wParam, lParam);

  switch (message) {
    case WM_SIZE: {
      if (HWND child = FindWindowExA(window, nullptr, nullptr, nullptr)) {
        RECT client = {};
        GetClientRect(window, &client);
        SetWindowPos(child, HWND_TOP, 0, 0, client.right, client.bottom, SWP_NOMOVE);
      }
      bridge->Dispatch(PlugId::WindowResized, 0, 0);
      return DefWindowProcA(window, message, wParam, lParam);
    }
    case WM_PAINT: {
      PAINTSTRUCT paint;
      HDC dc = BeginPaint(window, &paint);
      FillRect(dc, &paint.rcPaint, reinterpret_cast<HBRUSH>(INT_PTR{COLOR_WINDOW + 1}));
      EndPaint(window, &paint);
      return 0;
    }
    default:
      return DefWindowProcA(window, message, wParam, lParam);
  }
}

}  // namespace

bool AcquireVideoClass(HMODULE module) {
  std::lock_guard<std::mutex> guard(registrationLock);
  ClassRegistration* entry = RegistrationOf(module);
  if (!entry) {
    entry = std::find_if(std::begin(registrations), std::end(registrations),
                         [](const ClassRegistration& free) { return free.holders <= 0; });
    if (entry == std::end(registrations)) return false;
    WNDCLASSA windowClass = {};
    windowClass.lpfnWndProc = VideoWindowProc;
    windowClass.hInstance = module;
    windowClass.lpszClassName = VideoWindowClassName;
    RegisterClassA(&windowClass);
    *entry = {module, 0};
  }
  ++entry->holders;
  ++videoClassCount;
  return true;
}

void ReleaseVideoClass(HMODULE module) {
  std::lock_guard<std::mutex> guard(registrationLock);
  ClassRegistration* entry = RegistrationOf(module);
  if (!entry) return;
  --videoClassCount;
  if (--entry->holders > 0) return;
  UnregisterClassA(VideoWindowClassName, module);
  *entry = {nullptr, 0};
}

HWND CreateVideoWindow(HMODULE module) {
  return CreateWindowExA(VideoWindowExStyle, VideoWindowClassName, VideoWindowCaption,
                         VideoWindowStyle, CW_USEDEFAULT, CW_USEDEFAULT, VideoWindowInitialSize,
                         VideoWindowInitialSize, nullptr, nullptr, module, nullptr);
}

}  // namespace tempotally
