// The editor's mouse handling on the platform: the press, release and click rules of
// EditorInputModel applied to real messages, and the zoom drag, which hides the cursor, clips it to
// a small box and parks it back at the press point after every move, so only the travel counts.
//
// Window thread. A click's change to the engine is published at a tick boundary in one step
// (timeline/SharedEngine.h), apart from the calls into windows, the cursor and the host.
#include "editor/EditorInput.h"

#include "bridge/TFruityBridgePlugHost.h"
#include "editor/Editor.h"
#include "plugin/ORVAVSTExprPlug.h"

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

// The host's frame that the editor was shown in, or null once it is gone. A destroyed window's
// handle may name another window later, even of another program: the editor must still sit in it.
HWND LiveEditorParent(const ORVAVSTExprPlug* plug) {
  HWND parent = plug->editorParent;
  if (!parent || !IsWindow(parent)) return nullptr;
  if (plug->editorWindow &&
      GetAncestor(plug->editorWindow, GA_ROOT) != GetAncestor(parent, GA_ROOT)) {
    return nullptr;
  }
  return parent;
}

void StartDrag(ORVAVSTExprPlug* plug) {
  plug->savedCursor = SetCursor(nullptr);
  plug->dragAccumX = 0.0f;
  plug->dragAccumY = 0.0f;
  plug->dragHome = CursorPosition();
  const RECT clip = {plug->dragHome.x - ClipHalfWidth, plug->dragHome.y - ClipHalfHeight,
                     plug->dragHome.x + ClipHalfWidth, plug->dragHome.y + ClipHalfHeight};
  ClipCursor(&clip);
  ParkCursor(plug->dragHome);
  plug->dragAnchor = CursorPosition();
  plug->dragActive = true;
}

}  // namespace

EditorPoint MessagePosition(LPARAM lParam) { return MessagePoint(static_cast<uint32_t>(lParam)); }

bool EditorDragging(const ORVAVSTExprPlug* plug) { return plug->dragActive; }

void EndEditorDrag(ORVAVSTExprPlug* plug) {
  if (!EditorDragging(plug)) return;
  plug->dragActive = false;
  plug->dragAnchor = NoDragAnchor;
  const HCURSOR cursor = plug->savedCursor;
  plug->savedCursor = nullptr;
  if (cursor) SetCursor(cursor);
  ClipCursor(nullptr);
}

void EditorLeftPress(ORVAVSTExprPlug* plug, EditorPoint point) {
  // A press while a drag still runs (its release went elsewhere) first gives the cursor back, so
  // that the hidden cursor is never taken for the one to restore.
  EndEditorDrag(plug);
  plug->buttonDownPos = point;
  plug->mousePos = point;
  plug->dragKind = DragKindNone;
  if (InGraphZone(point)) {
    plug->dragStartMargin = plug->graphMargin;
    plug->dragStartSpan = plug->graphSpan;
    plug->dragKind = DragKindZoom;
  }
  if (plug->dragKind < 0) return;
  StartDrag(plug);
}

void EditorMouseMove(ORVAVSTExprPlug* plug, EditorPoint point) {
  if (plug->injectingMove) return;
  plug->mousePos = point;
  if (!EditorDragging(plug)) return;
  const bool fine = CtrlHeld();
  const EditorPoint cursor = CursorPosition();
  plug->injectingMove = true;
  AddDragDelta(plug->dragAccumX, plug->dragAccumY, cursor.x - plug->dragAnchor.x,
               cursor.y - plug->dragAnchor.y, fine);
  ParkCursor(plug->dragHome);
  plug->injectingMove = false;
  if (plug->dragKind != DragKindZoom) return;

  bool changed = false;
  const int32_t span = DraggedSpan(plug->dragStartSpan, plug->dragAccumX);
  const float margin = DraggedMargin(plug->dragStartMargin, plug->dragAccumY);
  if (span != plug->graphSpan) {
    plug->graphSpan = span;
    changed = true;
  }
  if (margin < plug->graphMargin || margin > plug->graphMargin) {  // floats: no equality test
    plug->graphMargin = margin;
    changed = true;
  }
  if (changed) RequestRepaint(plug);
}

void EditorLeftRelease(ORVAVSTExprPlug* plug, EditorPoint point) {
  EndEditorDrag(plug);
  if (!IsClick(plug->buttonDownPos, plug->mousePos)) return;
  plug->mousePos = point;
  HandleEditorClick(plug);
}

void EditorOtherPress(ORVAVSTExprPlug* plug, EditorPoint point) {
  plug->buttonDownPos = point;
  plug->mousePos = point;
}

void EditorOtherRelease(ORVAVSTExprPlug* plug, EditorPoint point) {
  if (IsClick(plug->buttonDownPos, plug->mousePos)) plug->mousePos = point;
}

void HandleEditorClick(ORVAVSTExprPlug* plug) {
  if (HWND parent = LiveEditorParent(plug)) SetFocus(parent);
  const EditorZone zone = ClickZoneAt(plug->mousePos);
  if (zone == EditorZone::None) return;
  const bool ctrl = zone == EditorZone::Optimise && CtrlHeld();

  bool videoShown = false;
  bool videoOnTop = false;
  // Runs on a fresh copy at each attempt, so the toggle lands exactly once.
  plug->timeline.Change([&](TimelineEngine& t) {
    switch (zone) {
      case EditorZone::Fold:
        t.options.minimised = NextFoldLevel(t.options.minimised);
        break;
      case EditorZone::Freeze:
        t.options.freeze = !t.options.freeze;
        break;
      case EditorZone::LookAhead:
        t.options.lookahead = !t.options.lookahead;
        break;
      case EditorZone::Optimise:
        if (ctrl) {
          t.InvalidateBeatSums(t.currentTick / TicksPerBeat);
        } else {
          t.options.optimise = t.options.optimise == StepEveryTick ? StepOptimised : StepEveryTick;
        }
        t.paintedTick = -1;  // the next paint recomputes the readout
        break;
      case EditorZone::Selection:
        t.options.selection = !t.options.selection;
        break;
      case EditorZone::ShowVideo:
        t.options.video = !t.options.video;
        videoShown = t.options.video != 0;
        break;
      case EditorZone::VideoOnTop:
        t.options.videoontop = !t.options.videoontop;
        videoOnTop = t.options.videoontop != 0;
        break;
      case EditorZone::None:
        break;
    }
  });

  if (zone == EditorZone::Fold) {
    // The resize uncovers or hides whole panels; nothing to repaint.
    ApplyFoldHeight(plug);
    return;
  }
  const HWND videoWindow = plug->videoBridge ? plug->videoBridge->videoWindow : nullptr;
  if (videoWindow && zone == EditorZone::ShowVideo) {
    ShowWindow(videoWindow, videoShown ? SW_SHOW : SW_HIDE);
  }
  if (videoWindow && zone == EditorZone::VideoOnTop) {
    SetWindowPos(videoWindow, videoOnTop ? HWND_TOPMOST : HWND_NOTOPMOST, 0, 0, 0, 0,
                 SWP_NOMOVE | SWP_NOSIZE);
  }
  RequestRepaint(plug);
}

}  // namespace tempotally
