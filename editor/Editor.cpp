// The editor dialog's creation, parenting and message routing, and the frame timer that turns
// repaints asked for on other threads into at most one paint per display frame.
#include "editor/Editor.h"

#include "bridge/WindowHandover.h"
#include "editor/EditorGdi.h"
#include "editor/EditorInput.h"
#include "plugin/ORVAVSTExprPlug.h"

namespace tempotally {

namespace {

// About one display frame. Runs only while the editor is shown.
constexpr UINT_PTR FrameTimer = 1;
constexpr UINT FrameTimerMs = 16;

}  // namespace

void CreateEditorDialog(ORVAVSTExprPlug* plug) {
  CreateDialogParamA(plug->moduleInstance, MAKEINTRESOURCEA(EditorDialogTemplate), nullptr,
                     EditorDialogProc, reinterpret_cast<LPARAM>(plug));
}

void DestroyEditorDialog(ORVAVSTExprPlug* plug) {
  HWND editor = plug->editorWindow;
  if (!editor) return;
  EndEditorDrag(plug);
  plug->injectingMove = false;
  plug->editorWindow = nullptr;
  SetWindowLongA(editor, GWL_USERDATA, 0);
  DestroyOrHandOver(editor, EditorHandoverMessage);
}

void ShowEditor(ORVAVSTExprPlug* plug, HWND parent) {
  if (parent) {
    plug->editorParent = parent;
    plug->editorShown = 1;
    if (plug->editorWindow) {
      SetParent(plug->editorWindow, parent);
      ShowWindow(plug->editorWindow, SW_SHOW);
      SetTimer(plug->editorWindow, FrameTimer, FrameTimerMs, nullptr);
    }
  } else {
    EndEditorDrag(plug);  // a hidden editor never sees the release
    plug->editorShown = 0;
    if (plug->editorWindow) {
      KillTimer(plug->editorWindow, FrameTimer);
      ShowWindow(plug->editorWindow, SW_HIDE);
      SetParent(plug->editorWindow, nullptr);
    }
  }
}

void ApplyFoldHeight(ORVAVSTExprPlug* plug) {
  if (!plug->editorWindow) return;
  const int target = EditorFullHeight - EditorFoldStep * plug->timeline.Options().minimised;
  RECT rect{};
  GetWindowRect(plug->editorWindow, &rect);
  if (rect.bottom - rect.top == target) return;
  SetWindowPos(plug->editorWindow, nullptr, 0, 0, EditorWidth, target, SWP_NOMOVE);
  if (plug->host) plug->host->HostDispatch(plug->instanceTag, HostId::EditorResized, 0, 0);
}

void RequestRepaint(ORVAVSTExprPlug* plug) {
  if (!plug->editorShown || !plug->editorWindow) return;
  if (GetCurrentThreadId() == plug->editorThread) {
    InvalidateRect(plug->editorWindow, nullptr, FALSE);
  } else {
    // Relaxed: the flag carries no data. The paint reads the engine through its own
    // synchronisation, and a flag set after the timer took it waits for the next frame.
    plug->repaintPending.store(true, std::memory_order_relaxed);
  }
}

namespace {

// Results for the dialog manager: 1 handled, 0 lets its default processing run as well.
constexpr INT_PTR Handled = 1;
constexpr INT_PTR NotHandled = 0;

INT_PTR EditorWindowProc(ORVAVSTExprPlug* plug, UINT message, WPARAM wParam, LPARAM lParam) {
  switch (message) {
    case WM_TIMER:
      if (wParam != FrameTimer) return NotHandled;
      if (plug->repaintPending.exchange(false, std::memory_order_relaxed) && sharedGdi.skinBitmap) {
        PaintEditor(plug, plug->editorWindow, true);
      }
      return Handled;
    case WM_ACTIVATE:
    case WM_KILLFOCUS:
      EndEditorDrag(plug);
      plug->injectingMove = false;
      return NotHandled;
    case WM_DESTROY:
      // A drag must not outlive the window: the cursor would stay hidden and boxed in. And a host
      // that closes its frame destroys the editor with it: forget the handle, which could
      // otherwise name another window later.
      EndEditorDrag(plug);
      plug->injectingMove = false;
      plug->editorWindow = nullptr;
      plug->editorCanvas.reset();
      return NotHandled;
    case WM_PAINT:
      // Claimed once painted: the dialog manager's own handling would begin and end a second,
      // empty paint, which costs as much again in round trips to the window system.
      if (!sharedGdi.skinBitmap || !plug->editorShown) return NotHandled;
      PaintEditor(plug, plug->editorWindow);
      return Handled;
    case WM_SETCURSOR:
      // Claimed during a drag, so that the hidden cursor stays hidden.
      return EditorDragging(plug) ? Handled : NotHandled;
    case WM_ERASEBKGND:
      return Handled;  // the skin covers the whole surface; never erase
    case WM_MOUSEMOVE:
      EditorMouseMove(plug, MessagePosition(lParam));
      return NotHandled;
    case WM_LBUTTONDOWN:
      EditorLeftPress(plug, MessagePosition(lParam));
      return NotHandled;
    case WM_LBUTTONUP:
      EditorLeftRelease(plug, MessagePosition(lParam));
      return NotHandled;
    case WM_RBUTTONDOWN:
    case WM_MBUTTONDOWN:
      EditorOtherPress(plug, MessagePosition(lParam));
      return NotHandled;
    case WM_RBUTTONUP:
    case WM_MBUTTONUP:
      EditorOtherRelease(plug, MessagePosition(lParam));
      return NotHandled;
    default:
      return NotHandled;
  }
}

}  // namespace

INT_PTR CALLBACK EditorDialogProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  if (message == WM_INITDIALOG) {
    auto* plug = reinterpret_cast<ORVAVSTExprPlug*>(lParam);
    SetWindowLongA(window, GWL_USERDATA, static_cast<LONG>(lParam));
    if (plug) {
      plug->editorWindow = window;
      plug->editorThread = GetCurrentThreadId();
    }
    return 1;
  }
  auto* plug = reinterpret_cast<ORVAVSTExprPlug*>(GetWindowLongA(window, GWL_USERDATA));
  if (!plug) {
    // Unbound: its object is gone, and released on another thread, it is this thread's to end.
    if (message == EditorHandoverMessage) DestroyWindow(window);
    return 0;
  }
  return EditorWindowProc(plug, message, wParam, lParam);
}

}  // namespace tempotally
