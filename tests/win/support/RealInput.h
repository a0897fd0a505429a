// Real input for the editor tests: mouse moves, presses and releases and key events injected with
// SendInput, a host frame window to parent the editor in, and the message pumping that lets the
// injected input arrive.
#pragma once

#include <windows.h>

namespace tempotally::testsupport {

enum class Button { Left, Right, Middle };

// Delivers this thread's messages for about `ms` milliseconds.
void Pump(DWORD ms);
POINT CursorPosition();
// Moves the cursor to a screen point with an absolute move that lands on it exactly.
void MoveTo(POINT screen);
void MoveBy(int dx, int dy);
void Press(Button button);
void Release(Button button);
void Key(WORD virtualKey, bool down);

// Clicks at a screen point: move, press, release. Waits out the double-click time since the last
// press first, so that every press arrives as a press of its own.
void ClickAt(POINT screen, Button button = Button::Left);
// Press at `from`, move by (dx, dy) in one step, release there.
void PressMoveRelease(POINT from, int dx, int dy, Button button = Button::Left);
void WaitOutDoubleClick();

// A visible top-level window of its own class that takes the focus and never captures the mouse.
class HostFrame {
 public:
  HostFrame(int left, int top, int width, int height);
  ~HostFrame();
  HostFrame(const HostFrame&) = delete;
  HostFrame& operator=(const HostFrame&) = delete;
  HWND Window() const { return window_; }
  // Makes it the foreground window with the keyboard focus.
  void Focus() const;
  // Destroys it before the destructor would, as a host closing its frame does.
  void Destroy();

 private:
  HWND window_ = nullptr;
};

// A client point of `window` on the screen.
POINT ScreenPoint(HWND window, int x, int y);

}  // namespace tempotally::testsupport
