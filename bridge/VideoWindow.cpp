// The floating video window that holds the wrapped player's editor: class registration shared by
// all bridges, creation, teardown and the window procedure.
#include "bridge/VideoWindow.h"

#include "bridge/BridgePlugHost.h"

namespace tempotally {

int32_t videoClassCount = 0;

namespace {

// The handle the class was registered under. Unregistering needs the same value, and the bridge
// that registered it may have unloaded its module or gone by then.
HMODULE videoClassModule = nullptr;

HBRUSH WindowColourBrush() {
  return reinterpret_cast<HBRUSH>(static_cast<INT_PTR>(COLOR_WINDOW + 1));
}

TFruityBridgePlugHost* BoundBridge(HWND window) {
  return reinterpret_cast<TFruityBridgePlugHost*>(GetWindowLongPtrA(window, GWLP_USERDATA));
}

}  // namespace

void AcquireVideoClass(HMODULE module) {
  if (videoClassCount <= 0) {
    WNDCLASSA windowClass = {};
    windowClass.lpfnWndProc = VideoWindowProc;
    windowClass.hInstance = module;
    windowClass.lpszClassName = VideoWindowClassName;
    RegisterClassA(&windowClass);
    videoClassModule = module;
    videoClassCount = 0;
  }
  ++videoClassCount;
}

void ReleaseVideoClass() {
  --videoClassCount;
  if (videoClassCount <= 0) {
    UnregisterClassA(VideoWindowClassName, videoClassModule);
    videoClassModule = nullptr;
    videoClassCount = 0;
  }
}

HWND CreateVideoWindow(HMODULE module) {
  return CreateWindowExA(VideoWindowExStyle, VideoWindowClassName, VideoWindowCaption,
                         VideoWindowStyle, CW_USEDEFAULT, CW_USEDEFAULT, VideoWindowInitialSize,
                         VideoWindowInitialSize, nullptr, nullptr, module, nullptr);
}

void TFruityBridgePlugHost::DestroyVideoWindow() {
  if (wrappedPlug) ReleaseWrapped();
  if (videoWindow) {
    HWND window = videoWindow;
    videoWindow = nullptr;
    captionWindow = nullptr;
    // Unbound first: the messages of its destruction must not reach a bridge about to be freed.
    SetWindowLongPtrA(window, GWLP_USERDATA, 0);
    DestroyWindow(window);
  }
  if (holdsClass) {
    holdsClass = false;
    ReleaseVideoClass();
  }
  if (wrappedModule) {
    FreeLibrary(wrappedModule);
    wrappedModule = nullptr;
  }
}

LRESULT CALLBACK VideoWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  TFruityBridgePlugHost* bridge = BoundBridge(window);

  // Closing only hides, bound or not: a destroyed window would leave the bridge a stale handle.
  if (message == WM_CLOSE) {
    ShowWindow(window, SW_HIDE);
    if (bridge && bridge->wrappedPlug) bridge->wrappedPlug->Dispatch(PlugId::WindowClosed, 0, 0);
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
      if (bridge->wrappedPlug) bridge->wrappedPlug->Dispatch(PlugId::WindowResized, 0, 0);
      return DefWindowProcA(window, message, wParam, lParam);
    }
    case WM_PAINT: {
      PAINTSTRUCT paint;
      HDC dc = BeginPaint(window, &paint);
      FillRect(dc, &paint.rcPaint, WindowColourBrush());
      EndPaint(window, &paint);
      return 0;
    }
    default:
      return DefWindowProcA(window, message, wParam, lParam);
  }
}

}  // namespace tempotally
