// The editor dialog's creation, parenting and message routing, and the frame timer that turns
// repaints asked for on other threads into at most one paint per display frame.
#include "editor/Editor.h"

#include "editor/EditorGdi.h"
#include "winutil/WindowHandover.h"

namespace tempotally {

namespace {

// About one display frame. Runs only while the editor is shown.
constexpr UINT_PTR FrameTimer = 1;
constexpr UINT FrameTimerMs = 16;

// Results for the dialog manager: 1 handled, 0 lets its default processing run as well.
constexpr INT_PTR Handled = 1;
constexpr INT_PTR NotHandled = 0;

// A message's client position: the two signed 16-bit halves of lParam.
EditorPoint MessagePosition(LPARAM lParam) { return MessagePoint(static_cast<uint32_t>(lParam)); }

}  // namespace

void Editor::Create(HINSTANCE module) {
  module_ = module;
  CreateDialogParamA(module, MAKEINTRESOURCEA(EditorDialogTemplate), nullptr, DialogProc,
                     reinterpret_cast<LPARAM>(this));
}

Editor::~Editor() {
  HWND editor = window_;
  if (!editor) return;
  EndDrag();
  injectingMove = false;
  window_ = nullptr;
  SetWindowLongA(editor, GWL_USERDATA, 0);
  DestroyOrHandOver(editor, EditorHandoverMessage);
}

void Editor::Show(HWND newParent) {
  if (newParent) {
    if (!IsWindow(newParent)) return;
    if (!window_ && module_) {
      Create(module_);
      ApplyFoldHeight();
    }
    parent = newParent;
    shown = 1;
    if (window_) {
      SetParent(window_, newParent);
      ShowWindow(window_, SW_SHOW);
      SetTimer(window_, FrameTimer, FrameTimerMs, nullptr);
    }
  } else {
    EndDrag();  // a hidden editor never sees the release
    shown = 0;
    if (window_) {
      KillTimer(window_, FrameTimer);
      ShowWindow(window_, SW_HIDE);
      SetParent(window_, nullptr);
    }
  }
}

void Editor::ApplyFoldHeight() {
  if (!window_) return;
  const int target = EditorFullHeight - EditorFoldStep * host_.Engine().Options().minimised;
  RECT rect{};
  GetWindowRect(window_, &rect);
  if (rect.bottom - rect.top == target) return;
  SetWindowPos(window_, nullptr, 0, 0, EditorWidth, target, SWP_NOMOVE);
  host_.EditorResized();
}

void Editor::RequestRepaint() {
  if (!shown || !window_) return;
  if (GetCurrentThreadId() == thread) {
    InvalidateRect(window_, nullptr, FALSE);
  } else {
    // Relaxed: the flag carries no data. The paint reads the engine through its own
    // synchronisation, and a flag set after the timer took it waits for the next frame.
    repaintPending.store(true, std::memory_order_relaxed);
  }
}

INT_PTR Editor::Message(UINT message, WPARAM wParam, LPARAM lParam) {
  switch (message) {
    case WM_TIMER:
      if (wParam != FrameTimer) return NotHandled;
      if (repaintPending.exchange(false, std::memory_order_relaxed) && sharedGdi.skinBitmap) {
        Paint(true);
      }
      return Handled;
    case WM_ACTIVATE:
    case WM_KILLFOCUS:
    case WM_CAPTURECHANGED:
    case WM_CANCELMODE:
      // The drag's release will not reach the editor: another window was activated, took the
      // focus or the mouse, or the system cancels modes for a dialog that pops up.
      CancelDrag();
      injectingMove = false;
      return NotHandled;
    case WM_DESTROY:
      // A drag must not outlive the window: the cursor would stay hidden and boxed in. And a host
      // that closes its frame destroys the editor with it: forget the handle, which could
      // otherwise name another window later.
      EndDrag();
      injectingMove = false;
      window_ = nullptr;
      canvas.reset();
      return NotHandled;
    case WM_PAINT:
      // Claimed once painted: the dialog manager's own handling would begin and end a second,
      // empty paint, which costs as much again in round trips to the window system.
      if (!sharedGdi.skinBitmap || !shown) return NotHandled;
      Paint(false);
      return Handled;
    case WM_SETCURSOR:
      // Claimed during a drag, so that the hidden cursor stays hidden.
      return dragActive ? Handled : NotHandled;
    case WM_ERASEBKGND:
      return Handled;  // the skin covers the whole surface; never erase
    case WM_MOUSEMOVE:
      MouseMove(MessagePosition(lParam));
      return NotHandled;
    case WM_LBUTTONDOWN:
      LeftPress(MessagePosition(lParam));
      return NotHandled;
    case WM_LBUTTONUP:
      LeftRelease(MessagePosition(lParam));
      return NotHandled;
    case WM_RBUTTONDOWN:
    case WM_MBUTTONDOWN:
      OtherPress(MessagePosition(lParam));
      return NotHandled;
    case WM_RBUTTONUP:
    case WM_MBUTTONUP:
      OtherRelease(MessagePosition(lParam));
      return NotHandled;
    default:
      return NotHandled;
  }
}

INT_PTR CALLBACK Editor::DialogProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  if (message == WM_INITDIALOG) {
    auto* editor = reinterpret_cast<Editor*>(lParam);
    SetWindowLongA(window, GWL_USERDATA, static_cast<LONG>(lParam));
    if (editor) {
      editor->window_ = window;
      editor->thread = GetCurrentThreadId();
    }
    return 1;
  }
  auto* editor = reinterpret_cast<Editor*>(GetWindowLongA(window, GWL_USERDATA));
  if (!editor) {
    // Unbound: its object is gone, and released on another thread, it is this thread's to end.
    if (message == EditorHandoverMessage) DestroyWindow(window);
    return 0;
  }
  return editor->Message(message, wParam, lParam);
}

}  // namespace tempotally
