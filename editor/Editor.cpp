// The editor dialog's creation, parenting, message routing and paint, and the frame timer that
// turns repaints asked for on other threads into at most one paint per display frame.
#include "editor/Editor.h"

#include <new>

#include "winutil/WindowHandover.h"

namespace tempotally {

namespace {

// About one display frame. Runs only while the editor is shown.
constexpr UINT_PTR FrameTimer = 1;
constexpr UINT FrameTimerMs = 16;

// Results for the dialog manager: 1 handled, 0 lets its default processing run as well.
constexpr INT_PTR Handled = 1;
constexpr INT_PTR NotHandled = 0;

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
  const int target = EditorFullHeight - EditorFoldStep * host_.FoldLevel();
  RECT rect{};
  GetWindowRect(window_, &rect);
  if (rect.bottom - rect.top == target) return;
  SetWindowPos(window_, nullptr, 0, 0, EditorWidth, target, SWP_NOMOVE);
  host_.EditorResized();
}

void Editor::RequestRepaint() {
  if (!shown || !window_) return;
  if (GetCurrentThreadId() == thread_) {
    InvalidateRect(window_, nullptr, FALSE);
  } else {
    // Relaxed: the flag carries no data, and one set after the timer took it waits a frame.
    repaintPending_.store(true, std::memory_order_relaxed);
  }
}

INT_PTR Editor::Message(UINT message, WPARAM wParam, LPARAM lParam) {
  const EditorPoint at = MessagePoint(static_cast<uint32_t>(lParam));  // for mouse messages
  switch (message) {
    case WM_TIMER:
      if (wParam != FrameTimer) return NotHandled;
      if (repaintPending_.exchange(false, std::memory_order_relaxed) && sharedGdi.skinBitmap) {
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
      return NotHandled;
    case WM_DESTROY:
      // A drag must not outlive the window (the cursor would stay hidden and boxed in), nor the
      // handle, which could name another window later: a host's frame takes the editor with it.
      EndDrag();
      window_ = nullptr;
      canvas_.reset();
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
      MouseMove(at);
      return NotHandled;
    case WM_LBUTTONDOWN:
      LeftPress(at);
      return NotHandled;
    case WM_LBUTTONUP:
      LeftRelease(at);
      return NotHandled;
    case WM_RBUTTONDOWN:  // the other buttons record positions only, never a click
    case WM_MBUTTONDOWN:
      buttonDownPos_ = mousePos_ = at;
      return NotHandled;
    case WM_RBUTTONUP:
    case WM_MBUTTONUP:
      if (IsClick(buttonDownPos_, mousePos_)) mousePos_ = at;
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
      editor->thread_ = GetCurrentThreadId();
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

void Editor::Paint(bool frameTimer) {
  if (!shown) return;
  const EngineSnapshot snapshot = host_.PaintSnapshot();
  GraphView view{graphSpan, graphMargin, {0.0, 0.0}};
  // The host fills the selection in beats; one that ignores the call leaves (0, 0).
  if (snapshot.options.selection != 0) {
    host_.AskSelection(view.selection);
    view.selection[0] *= TicksPerBeat;
    view.selection[1] *= TicksPerBeat;
  }
  PaintModel model;
  BuildPaintModel(snapshot, view, model);

  // Validated before the drawing, so that a change asked for meanwhile still gets its paint.
  if (!frameTimer) ValidateRect(window_, nullptr);
  WindowDc dc(window_);
  RECT client{};
  GetClientRect(window_, &client);
  if (!canvas_) canvas_.reset(new (std::nothrow) EditorCanvas);
  if (canvas_) canvas_->Paint(dc.Get(), client.right, client.bottom, model);
}

}  // namespace tempotally
