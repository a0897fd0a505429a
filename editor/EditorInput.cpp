// The editor's mouse handling on the platform: the press, release and click rules of
// EditorInputModel applied to real messages, and the zoom drag, which hides the cursor, clips it to
// a small box and parks it back at the press point after every move, so only the travel counts.
//
// Window thread. A click changes the engine between two ticks, under the engine's gate
// (timeline/SharedEngine.h); the calls into windows, the cursor and the host come after.
#include "editor/Editor.h"
#include "editor/Toggles.h"

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

// On the virtual desktop, so that a press on any monitor parks where it was made; with one
// monitor that is the primary screen, as the scaling by the primary's size was.
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
  savedCursor = SetCursor(nullptr);
  dragAccumX = 0.0f;
  dragAccumY = 0.0f;
  dragHome = CursorPosition();
  const RECT clip = {dragHome.x - ClipHalfWidth, dragHome.y - ClipHalfHeight,
                     dragHome.x + ClipHalfWidth, dragHome.y + ClipHalfHeight};
  ClipCursor(&clip);
  ParkCursor(dragHome);
  dragAnchor = CursorPosition();
  dragActive = true;
}

void Editor::EndDrag() {
  if (!dragActive) return;
  dragActive = false;
  dragAnchor = NoDragAnchor;
  const HCURSOR cursor = savedCursor;
  savedCursor = nullptr;
  if (cursor) SetCursor(cursor);
  ClipCursor(nullptr);
  // Released last: the WM_CAPTURECHANGED this sends finds no drag left.
  if (window_ && GetCapture() == window_) ReleaseCapture();
}

void Editor::CancelDrag() {
  if (!dragActive) return;
  const EditorPoint home = dragHome;
  EndDrag();
  ParkCursor(home);
  buttonDownPos = NoPressPosition;
}

void Editor::LeftPress(EditorPoint point) {
  // A press while a drag still runs (its release went elsewhere) first gives the cursor back, so
  // that the hidden cursor is never taken for the one to restore.
  EndDrag();
  buttonDownPos = point;
  mousePos = point;
  dragKind = DragKindNone;
  if (InGraphZone(point)) {
    dragStartMargin = graphMargin;
    dragStartSpan = graphSpan;
    dragKind = DragKindZoom;
  }
  if (dragKind < 0) return;
  StartDrag();
}

void Editor::MouseMove(EditorPoint point) {
  if (injectingMove) return;
  mousePos = point;
  if (!dragActive) return;
  const bool fine = CtrlHeld();
  const EditorPoint cursor = CursorPosition();
  injectingMove = true;
  AddDragDelta(dragAccumX, dragAccumY, cursor.x - dragAnchor.x, cursor.y - dragAnchor.y, fine);
  ParkCursor(dragHome);
  injectingMove = false;
  if (dragKind != DragKindZoom) return;

  bool changed = false;
  const int32_t span = DraggedSpan(dragStartSpan, dragAccumX);
  const float margin = DraggedMargin(dragStartMargin, dragAccumY);
  if (span != graphSpan) {
    graphSpan = span;
    changed = true;
  }
  if (margin < graphMargin || margin > graphMargin) {  // floats: no equality test
    graphMargin = margin;
    changed = true;
  }
  if (changed) RequestRepaint();
}

void Editor::LeftRelease(EditorPoint point) {
  EndDrag();
  if (!IsClick(buttonDownPos, mousePos)) return;
  mousePos = point;
  HandleClick();
}

void Editor::OtherPress(EditorPoint point) {
  buttonDownPos = point;
  mousePos = point;
}

void Editor::OtherRelease(EditorPoint point) {
  if (IsClick(buttonDownPos, mousePos)) mousePos = point;
}

void Editor::HandleClick() {
  if (HWND frame = LiveParent()) SetFocus(frame);
  const EditorZone zone = ClickZoneAt(mousePos);
  SharedEngine& engine = host_.Engine();
  if (zone == EditorZone::Fold) {
    engine.Change(
        [](TimelineEngine& t) { t.options.minimised = NextFoldLevel(t.options.minimised); });
    // The resize uncovers or hides whole panels; nothing to repaint.
    ApplyFoldHeight();
    return;
  }
  const ToggleRow* toggle = ToggleInZone(zone);
  if (!toggle) return;
  const bool optimise = toggle->toggle == Toggle::Optimise;
  // Ctrl+click on Optimise clears the sums after the current beat instead of flipping the step.
  const bool clearSums = optimise && CtrlHeld();
  EngineOptions after{};
  engine.Change([&](TimelineEngine& t) {
    if (clearSums) {
      t.InvalidateBeatSums(t.currentTick / TicksPerBeat);
    } else {
      FlipToggle(t, *toggle);
    }
    if (optimise) t.paintedTick = -1;  // the next paint recomputes the readout
    after = t.options;
  });
  if (toggle->video != VideoPartNone) host_.ApplyVideoOptions(after, toggle->video);
  RequestRepaint();
}

}  // namespace tempotally
