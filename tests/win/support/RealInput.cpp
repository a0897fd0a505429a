// Real input for the editor tests, through SendInput.
#include "tests/win/support/RealInput.h"

namespace tempotally::testsupport {

namespace {

constexpr char FrameClass[] = "TempotallyTestFrame";
constexpr DWORD InputSettleMs = 60;
DWORD lastPress = 0;

void SendMouse(DWORD flags, LONG dx = 0, LONG dy = 0, DWORD data = 0) {
  INPUT input{};
  input.type = INPUT_MOUSE;
  input.mi.dx = dx;
  input.mi.dy = dy;
  input.mi.mouseData = data;
  input.mi.dwFlags = flags;
  SendInput(1, &input, sizeof input);
  Pump(InputSettleMs);
}

DWORD ButtonFlag(Button button, bool down) {
  switch (button) {
    case Button::Right:
      return down ? MOUSEEVENTF_RIGHTDOWN : MOUSEEVENTF_RIGHTUP;
    case Button::Middle:
      return down ? MOUSEEVENTF_MIDDLEDOWN : MOUSEEVENTF_MIDDLEUP;
    case Button::Left:
      break;
  }
  return down ? MOUSEEVENTF_LEFTDOWN : MOUSEEVENTF_LEFTUP;
}

// The smallest absolute coordinate that the platform maps onto `pixel` of a screen `size` wide.
LONG Absolute(LONG pixel, int size) {
  return static_cast<LONG>((static_cast<long long>(pixel) * 65536 + size - 1) / size);
}

}  // namespace

void Pump(DWORD ms) {
  const DWORD start = GetTickCount();
  do {
    MSG msg;
    while (PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) {
      TranslateMessage(&msg);
      DispatchMessageA(&msg);
    }
    Sleep(5);
  } while (GetTickCount() - start < ms);
}

POINT CursorPosition() {
  POINT point{};
  GetCursorPos(&point);
  return point;
}

void MoveTo(POINT screen) {
  SendMouse(MOUSEEVENTF_MOVE | MOUSEEVENTF_ABSOLUTE,
            Absolute(screen.x, GetSystemMetrics(SM_CXSCREEN)),
            Absolute(screen.y, GetSystemMetrics(SM_CYSCREEN)));
}

void MoveBy(int dx, int dy) { SendMouse(MOUSEEVENTF_MOVE, dx, dy); }

void Press(Button button) {
  WaitOutDoubleClick();
  lastPress = GetTickCount();
  SendMouse(ButtonFlag(button, true));
}

void Release(Button button) { SendMouse(ButtonFlag(button, false)); }

void Key(WORD virtualKey, bool down) {
  INPUT input{};
  input.type = INPUT_KEYBOARD;
  input.ki.wVk = virtualKey;
  input.ki.dwFlags = down ? 0 : KEYEVENTF_KEYUP;
  // The right-hand Ctrl is an extended key; without the flag it reads as the left one.
  if (virtualKey == VK_RCONTROL) input.ki.dwFlags |= KEYEVENTF_EXTENDEDKEY;
  SendInput(1, &input, sizeof input);
  Pump(InputSettleMs);
}

void WaitOutDoubleClick() {
  const DWORD wait = GetDoubleClickTime() + InputSettleMs;
  const DWORD since = GetTickCount() - lastPress;
  if (since < wait) Pump(wait - since);
}

void ClickAt(POINT screen, Button button) {
  MoveTo(screen);
  Press(button);
  Release(button);
}

void PressMoveRelease(POINT from, int dx, int dy, Button button) {
  MoveTo(from);
  Press(button);
  MoveBy(dx, dy);
  Release(button);
}

HostFrame::HostFrame(int left, int top, int width, int height) {
  WNDCLASSA windowClass{};
  windowClass.lpfnWndProc = DefWindowProcA;
  windowClass.hInstance = GetModuleHandleA(nullptr);
  windowClass.hCursor = LoadCursorA(nullptr, IDC_ARROW);
  windowClass.lpszClassName = FrameClass;
  RegisterClassA(&windowClass);  // fails harmlessly once registered
  window_ = CreateWindowExA(0, FrameClass, "Host", WS_OVERLAPPEDWINDOW | WS_VISIBLE, left, top,
                            width, height, nullptr, nullptr, windowClass.hInstance, nullptr);
  Focus();
}

HostFrame::~HostFrame() { Destroy(); }

void HostFrame::Focus() const {
  SetForegroundWindow(window_);
  SetActiveWindow(window_);
  SetFocus(window_);
  Pump(InputSettleMs);
}

void HostFrame::Destroy() {
  if (window_) DestroyWindow(window_);
  window_ = nullptr;
  Pump(InputSettleMs);
}

POINT ScreenPoint(HWND window, int x, int y) {
  POINT point = {x, y};
  ClientToScreen(window, &point);
  return point;
}

}  // namespace tempotally::testsupport
