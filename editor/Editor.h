// The editor: a control-less dialog that the plug-in parents into the host's window, with its
// interaction state, its paint and its mouse handling. It reaches the object it edits only
// through EditorHost.
#pragma once

#include <windows.h>

#include <atomic>
#include <cstdint>
#include <memory>

#include "editor/EditorCanvas.h"
#include "editor/EditorGdi.h"
#include "editor/EditorHost.h"
#include "editor/EditorInputModel.h"

namespace tempotally {

constexpr int EditorDialogTemplate = 100;

constexpr int32_t DefaultGraphSpan = 1536;   // ticks shown by the graph
constexpr float DefaultGraphMargin = 0.01f;  // seconds per tick

class Editor {
 public:
  // `window` is where the editor keeps its window handle: the plug-in's public field, which the
  // host reads. Makes no window; Create does.
  Editor(EditorHost& host, HWND& window) : host_(host), window_(window) {}
  // Ends the editor, on any thread: the drag given back, the dialog unbound so no later message
  // reaches this object, then destroyed here or by the thread that owns it.
  ~Editor();
  Editor(const Editor&) = delete;
  Editor& operator=(const Editor&) = delete;

  // Creates the hidden dialog from `module`'s template, on the calling thread, which then owns
  // it; the dialog sets the window handle while it is being created.
  void Create(HINSTANCE module);
  // Window thread. Parents and shows the editor in `parent`, or hides and unparents it when
  // `parent` is null. A host may have destroyed its frame, and the editor in it, without hiding
  // the editor first: with no dialog left, one is made again, hidden and at the fold's height,
  // before it is parented. A `parent` that names no window is refused: the editor would stand
  // on the desktop on its own.
  void Show(HWND parent);
  // Window thread. Sizes the editor for its fold level and tells the host, unless it already has
  // that height. Reads the level on the non-tick side: never call it from inside a tick.
  void ApplyFoldHeight();
  // Asks a shown editor to repaint; any thread. On the editor's own thread it invalidates at once;
  // from any other (the host's mixing thread) it only sets a flag, which the frame timer turns into
  // one paint per display frame at most. Never waits and makes no window call then.
  void RequestRepaint();

  HWND parent = nullptr;
  uint8_t shown = 0;
  DWORD thread = 0;  // the thread that made the editor and receives its messages
  // Set by a repaint asked for on another thread; the frame timer clears it and paints.
  std::atomic<bool> repaintPending{false};
  std::unique_ptr<EditorCanvas> canvas;  // from the first paint on
  // The mouse state. The drag starts idle.
  EditorPoint buttonDownPos = NoPressPosition;
  EditorPoint mousePos = NoMousePosition;
  int32_t dragKind = DragKindNone;
  float dragStartMargin = 0.0f;
  int32_t dragStartSpan = 0;
  EditorPoint dragAnchor = NoDragAnchor;  // screen; measured after parking the cursor
  EditorPoint dragHome = {0, 0};          // screen; where the cursor is parked during a drag
  float dragAccumY = 0.0f;
  float dragAccumX = 0.0f;
  HCURSOR savedCursor = nullptr;
  bool injectingMove = false;
  bool dragActive = false;  // a zoom drag is in progress; dragAnchor may be any position then
  // The graph's zoom, set by the drag.
  int32_t graphSpan = DefaultGraphSpan;
  float graphMargin = DefaultGraphMargin;
  double hostSelection[2] = {0.0, 0.0};  // in ticks once a paint asked the host

 private:
  static INT_PTR CALLBACK DialogProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
  // The bound dialog's messages, on its thread.
  INT_PTR Message(UINT message, WPARAM wParam, LPARAM lParam);

  // Composes the whole client area over the skin and copies it in one transfer; only for a shown
  // editor and while the skin exists. `frameTimer`: asked by the frame timer rather than by
  // WM_PAINT; draws through the window's own context and leaves any update region to WM_PAINT.
  void Paint(bool frameTimer);

  // Mouse input, window thread (editor/EditorInput.cpp). Right and middle buttons record
  // positions only, never a click.
  void LeftPress(EditorPoint point);
  void MouseMove(EditorPoint point);
  void LeftRelease(EditorPoint point);
  void OtherPress(EditorPoint point);
  void OtherRelease(EditorPoint point);
  void StartDrag();
  // Gives the cursor back, shown, unclipped and uncaptured; the zoom reached so far stays. No-op
  // without a drag.
  void EndDrag();
  // Ends a drag whose release will not come here (the capture or the focus went elsewhere): as a
  // release does, with the cursor put back where the drag began; the press is forgotten, so no
  // later release counts as a click against it. No-op without a drag.
  void CancelDrag();
  // Acts on a left click at mousePos: folds, or flips the toggle there.
  void HandleClick();
  // The host's frame that the editor was shown in, or null once it is gone.
  HWND LiveParent() const;

  EditorHost& host_;
  HWND& window_;
  HINSTANCE module_ = nullptr;  // holds the dialog's template; null once destroyed for good
};

}  // namespace tempotally
