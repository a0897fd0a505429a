// The editor: a control-less dialog that the plug-in parents into the host's window, with its
// mouse handling and paint. It reaches the object it edits only through EditorHost's intents.
#pragma once

#include <windows.h>

#include <atomic>
#include <cstdint>
#include <memory>

#include "editor/EditorGdi.h"
#include "editor/EditorHost.h"
#include "editor/EditorInputModel.h"

namespace tempotally {

constexpr int EditorDialogTemplate = 100;

constexpr int32_t DefaultGraphSpan = 1536;   // ticks shown by the graph
constexpr float DefaultGraphMargin = 0.01f;  // seconds per tick

class Editor {
 public:
  // The editor keeps its handle in `window`, the plug-in's public field, which the host reads.
  Editor(EditorHost& host, HWND& window) : host_(host), window_(window) {}
  // Ends the editor, on any thread: the drag given back, the dialog unbound so no later message
  // reaches this object, then destroyed here or by the thread that owns it.
  ~Editor();

  // Creates the hidden dialog from `module`'s template, on the calling thread, which then owns it.
  void Create(HINSTANCE module);
  // Window thread. Parents and shows the editor in `parent`, or hides and unparents it when
  // `parent` is null. A dialog that the host destroyed with its frame is made again first; a
  // `parent` that names no window is refused, as the editor would stand on the desktop alone.
  void Show(HWND parent);
  // Window thread. Sizes the editor for its fold level and tells the host, unless it already has
  // that height. Never call it from inside a tick.
  void ApplyFoldHeight();
  // Asks a shown editor to repaint; any thread. From another thread than the editor's (the host's
  // mixing thread) it only sets a flag for the frame timer: no wait, no window call.
  void RequestRepaint();

  HWND parent = nullptr;
  uint8_t shown = 0;
  bool dragActive = false;               // a zoom drag runs; dragAnchor may be any position then
  int32_t graphSpan = DefaultGraphSpan;  // the graph's zoom, set by the drag
  float graphMargin = DefaultGraphMargin;

 private:
  static INT_PTR CALLBACK DialogProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
  // The bound dialog's messages, on its thread.
  INT_PTR Message(UINT message, WPARAM wParam, LPARAM lParam);
  // Paints the whole client area in one transfer. `frameTimer`: asked by the frame timer, which
  // leaves any update region to WM_PAINT.
  void Paint(bool frameTimer);

  // Mouse input, window thread (editor/EditorInput.cpp).
  void LeftPress(EditorPoint point);
  void MouseMove(EditorPoint point);
  void LeftRelease(EditorPoint point);
  void StartDrag();
  // Gives the cursor back, shown, unclipped and uncaptured; the zoom reached so far stays.
  void EndDrag();
  // Ends a drag whose release will not come here (the capture or the focus went elsewhere), with
  // the cursor put back where it began and the press forgotten, so no later release is a click.
  void CancelDrag();
  // Acts on a left click at mousePos_: folds, or flips the toggle there.
  void HandleClick();
  // The host's frame that the editor was shown in, or null once it is gone.
  HWND LiveParent() const;

  EditorHost& host_;
  HWND& window_;
  HINSTANCE module_ = nullptr;  // holds the dialog's template
  DWORD thread_ = 0;            // the thread that made the dialog and receives its messages
  // Set by a repaint asked for on another thread; the frame timer clears it and paints.
  std::atomic<bool> repaintPending_{false};
  std::unique_ptr<EditorCanvas> canvas_;  // from the first paint on
  EditorPoint buttonDownPos_ = NoPressPosition;
  EditorPoint mousePos_ = NoMousePosition;
  float dragStartMargin_ = 0.0f;
  int32_t dragStartSpan_ = 0;
  EditorPoint dragAnchor_ = NoDragAnchor;  // screen; measured after parking the cursor
  EditorPoint dragHome_ = {0, 0};          // screen; where the cursor is parked during a drag
  float dragAccumX_ = 0.0f;
  float dragAccumY_ = 0.0f;
  HCURSOR savedCursor_ = nullptr;
  bool injectingMove_ = false;
};

}  // namespace tempotally
