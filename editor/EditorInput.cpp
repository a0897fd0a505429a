// The editor's mouse handling, on the window thread: the rules of EditorInputModel applied to real
// messages, and the zoom drag, which hides the cursor, clips it to a small box and parks it back at
// the press point after every move, so only the travel counts.
#include "editor/Editor.h"

namespace tempotally {

namespace {

// The cursor is held in a box this far around the press point, 10 pixels wide and 20 high.
constexpr LONG ClipHalfWidth = 5;
constexpr LONG ClipHalfHeight = 10;
constexpr SHORT KeyDownBit = static_cast<SHORT>(0x8000);
static_assert(sizeof(INPUT) == 28, "one injected input is 28 bytes in a 32-bit process");

bool CtrlHeld() {
  return (GetKeyState(VK_LCONTROL) & KeyDownBit) != 0 ||
         (GetKeyState(VK_RCONTROL) & KeyDownBit) != 0;
}

EditorPoint CursorPosition() {
  POINT point{};
  GetCursorPos(&point);
  return {point.x, point.y};
}

// On the virtual desktop, so that a press on any monitor parks where it was made.
void ParkCursor(EditorPoint home) {
  const DesktopRect desk = {
      GetSystemMetrics(SM_XVIRTUALSCREEN), GetSystemMetrics(SM_YVIRTUALSCREEN),
      GetSystemMetrics(SM_CXVIRTUALSCREEN), GetSystemMetrics(SM_CYVIRTUALSCREEN)};
  if (desk.width <= 0 || desk.height <= 0) return;
  const AbsolutePoint target = ParkingPoint(home, desk);
  INPUT input{};
  input.type = INPUT_MOUSE;
  input.mi.dx = target.x;
  input.mi.dy = target.y;
  input.mi.dwFlags = MOUSEEVENTF_MOVE | MOUSEEVENTF_ABSOLUTE | MOUSEEVENTF_VIRTUALDESK;
  SendInput(1, &input, sizeof input);
}

}  // namespace

// A destroyed window's handle may name another window later, even of another program: the editor
// must still sit in it.
HWND Editor::LiveParent() const {
  if (!parent || !IsWindow(parent)) return nullptr;
  if (window_ && GetAncestor(window_, GA_ROOT) != GetAncestor(parent, GA_ROOT)) return nullptr;
  return parent;
}

void Editor::StartDrag() {
  // Every move and the release come here, also from outside the editor: the clip box may reach
  // past its edge.
  SetCapture(window_);
  savedCursor_ = SetCursor(nullptr);
  dragAccumX_ = 0.0f;
  dragAccumY_ = 0.0f;
  dragHome_ = CursorPosition();
  const RECT clip = {dragHome_.x - ClipHalfWidth, dragHome_.y - ClipHalfHeight,
                     dragHome_.x + ClipHalfWidth, dragHome_.y + ClipHalfHeight};
  ClipCursor(&clip);
  ParkCursor(dragHome_);
  dragAnchor_ = CursorPosition();
  dragActive = true;
}

void Editor::EndDrag() {
  injectingMove_ = false;
  if (!dragActive) return;
  dragActive = false;
  dragAnchor_ = NoDragAnchor;
  const HCURSOR cursor = savedCursor_;
  savedCursor_ = nullptr;
  if (cursor) SetCursor(cursor);
  ClipCursor(nullptr);
  // Released last: the WM_CAPTURECHANGED this sends finds no drag left.
  if (window_ && GetCapture() == window_) ReleaseCapture();
}

void Editor::CancelDrag() {
  if (!dragActive) return;
  const EditorPoint home = dragHome_;
  EndDrag();
  ParkCursor(home);
  buttonDownPos_ = NoPressPosition;
}

void Editor::LeftPress(EditorPoint point) {
  // A press while a drag still runs (its release went elsewhere) first gives the cursor back, so
  // that the hidden cursor is never taken for the one to restore.
  EndDrag();
  buttonDownPos_ = mousePos_ = point;
  if (!InZone(GraphZone, point)) return;
  dragStartMargin_ = graphMargin;
  dragStartSpan_ = graphSpan;
  StartDrag();
}

void Editor::MouseMove(EditorPoint point) {
  if (injectingMove_) return;
  mousePos_ = point;
  if (!dragActive) return;
  const bool fine = CtrlHeld();
  const EditorPoint cursor = CursorPosition();
  injectingMove_ = true;
  AddDragDelta(dragAccumX_, dragAccumY_, cursor.x - dragAnchor_.x, cursor.y - dragAnchor_.y, fine);
  ParkCursor(dragHome_);
  injectingMove_ = false;

  const int32_t span = DraggedSpan(dragStartSpan_, dragAccumX_);
  const float margin = DraggedMargin(dragStartMargin_, dragAccumY_);
  // Floats: no equality test.
  if (span == graphSpan && !(margin < graphMargin || margin > graphMargin)) return;
  graphSpan = span;
  graphMargin = margin;
  RequestRepaint();
}

void Editor::LeftRelease(EditorPoint point) {
  EndDrag();
  if (!IsClick(buttonDownPos_, mousePos_)) return;
  mousePos_ = point;
  HandleClick();
}

void Editor::HandleClick() {
  if (HWND frame = LiveParent()) SetFocus(frame);
  const EditorZone zone = ClickZoneAt(mousePos_);
  if (zone == EditorZone::Fold) {
    host_.Fold();
    ApplyFoldHeight();  // the resize uncovers or hides whole panels; nothing to repaint
    return;
  }
  const ToggleRow* toggle = ToggleInZone(zone);
  if (!toggle) return;
  // Ctrl+click on Optimise clears the sums after the current beat instead of flipping the step.
  if (toggle == &Toggles[static_cast<int>(Toggle::Optimise)] && CtrlHeld()) {
    host_.ClearSumsAfterCurrentBeat();
  } else {
    host_.Flip(*toggle);
  }
  RequestRepaint();
}

}  // namespace tempotally
