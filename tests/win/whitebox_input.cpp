// The editor's zoom drag and the Ctrl+click on "Optimise" with real input, read from inside the
// editor, which edits a fake host's engine: the graph's span and margin after injected travel, with
// and without Ctrl, at the clamps and at the deepest fold, and the beat sums that the Ctrl+click
// clears.
#include <gtest/gtest.h>
#include <windows.h>

#include <cstdlib>
#include <memory>
#include <utility>
#include <vector>

#include "editor/Editor.h"
#include "tests/win/support/FakeEditorHost.h"
#include "tests/win/support/RealInput.h"

namespace tempotally {
namespace {

using testsupport::Button;

constexpr int FrameLeft = 700, FrameTop = 150, FrameSize = 420;
constexpr POINT GraphPoint = {120, 130};
constexpr POINT FoldedGraphPoint = {120, 100};  // below the toggles, inside the deepest fold
constexpr POINT OverOnTop = {120, 91};          // the graph zone over "Video on-top"
constexpr POINT OptimiseLabel = {150, 70};
constexpr int32_t CurrentBeat = 10;
constexpr double CachedSum = 1.0;

bool Near(POINT a, POINT b) { return std::abs(a.x - b.x) <= 1 && std::abs(a.y - b.y) <= 1; }

// The cursor may go anywhere on the screen.
bool CursorFree() {
  RECT clip{};
  GetClipCursor(&clip);
  return clip.left == 0 && clip.top == 0 && clip.right == GetSystemMetrics(SM_CXSCREEN) &&
         clip.bottom == GetSystemMetrics(SM_CYSCREEN);
}

class EditorInputInside : public ::testing::Test {
 protected:
  EditorInputInside() : frame_(FrameLeft, FrameTop, FrameSize, FrameSize) {}

  void SetUp() override {
    host_ = std::make_unique<testsupport::FakeEditorHost>();
    ASSERT_NE(host_->window, nullptr);
    Editor& editor = host_->editor;
    editor.Show(frame_.Window());
    editor.ApplyFoldHeight();
    frame_.Focus();
    testsupport::Pump(300);
  }
  void TearDown() override {
    host_.reset();
    ClipCursor(nullptr);
  }

  POINT At(POINT client) const {
    return testsupport::ScreenPoint(host_->window, client.x, client.y);
  }
  Editor& editor() { return host_->editor; }
  int EditorHeight() const {
    RECT rect{};
    GetWindowRect(host_->window, &rect);
    return rect.bottom - rect.top;
  }

  testsupport::HostFrame frame_;
  std::unique_ptr<testsupport::FakeEditorHost> host_;
};

TEST_F(EditorInputInside, DragTravelZoomsTheGraph) {
  const POINT right = {4, 0}, left = {-4, 0}, up = {0, -4}, down = {0, 4};
  const struct {
    const char* what;
    int32_t span;
    float margin;
    std::vector<std::pair<POINT, int>> moves;  // step, count; 4 pixels fit the clip box
    WORD ctrl;
    uint8_t fold;
    int32_t expectedSpan;
    float expectedMargin;
  } cases[] = {
      {"100 right", 1536, 0.01f, {{right, 25}}, 0, 0, 1636, 0.01f},
      {"100 right with Ctrl", 1536, 0.01f, {{right, 25}}, VK_LCONTROL, 0, 1547, 0.01f},
      {"28 up", 1536, 0.01f, {{up, 7}}, 0, 0, 1536, 0.009f},
      {"and back", 1536, 0.01f, {{right, 25}, {up, 7}, {left, 25}, {down, 7}}, 0, 0, 1536, 0.01f},
      {"past the widest", 6100, 0.01f, {{right, 25}}, 0, 0, 6144, 0.01f},
      {"below one tick", 50, 0.01f, {{left, 25}}, 0, 0, 0, 0.01f},
      {"below the least margin", 1536, 0.0015f, {{up, 7}}, 0, 0, 1536, 0.001f},
      {"past the largest margin", 1536, 0.0995f, {{down, 7}}, 0, 0, 1536, 0.1f},
      {"folded, no graph shown", 1536, 0.01f, {{right, 25}}, 0, 2, 1636, 0.01f},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    editor().graphSpan = c.span;
    editor().graphMargin = c.margin;
    host_->engine.Unshared().options.minimised = c.fold;
    editor().ApplyFoldHeight();
    const POINT home = At(c.fold ? FoldedGraphPoint : GraphPoint);
    testsupport::MoveTo(home);
    if (c.ctrl) testsupport::Key(c.ctrl, true);
    testsupport::Press(Button::Left);
    ASSERT_TRUE(editor().dragActive);
    for (const auto& [step, count] : c.moves) {
      for (int i = 0; i < count; ++i) testsupport::MoveBy(step.x, step.y);
    }
    testsupport::Release(Button::Left);
    if (c.ctrl) testsupport::Key(c.ctrl, false);
    EXPECT_FALSE(editor().dragActive);
    EXPECT_EQ(editor().graphSpan, c.expectedSpan);
    EXPECT_FLOAT_EQ(editor().graphMargin, c.expectedMargin);
    EXPECT_GE(editor().graphMargin, MinGraphMargin);
    EXPECT_LE(editor().graphMargin, MaxGraphMargin);
  }
}

// At the deepest fold (106 pixels high) the clip box reaches below the editor: a press at y 104
// and a move down take the cursor out of it, and the release comes outside. The drag holds the
// mouse, so that move still counts and that release still ends the drag where the zoom stood.
TEST_F(EditorInputInside, DragLeavingTheEditorEndsOnTheReleaseOutside) {
  constexpr POINT NearTheBottom = {120, 104};
  constexpr int Down = 8;  // within the clip box, past the editor's edge
  host_->engine.Unshared().options.minimised = DeepestFoldLevel;
  editor().ApplyFoldHeight();
  ASSERT_EQ(EditorHeight(), EditorFullHeight - EditorFoldStep * DeepestFoldLevel);
  const POINT home = At(NearTheBottom);
  testsupport::MoveTo(home);
  testsupport::Press(Button::Left);
  ASSERT_TRUE(editor().dragActive);
  testsupport::MoveBy(0, Down);
  const float reached = editor().graphMargin;
  EXPECT_GT(reached, DefaultGraphMargin) << "the move outside the editor zoomed";
  testsupport::MoveBy(0, Down);
  testsupport::Release(Button::Left);
  EXPECT_FALSE(editor().dragActive);
  EXPECT_NE(GetCapture(), host_->window);
  EXPECT_TRUE(CursorFree());
  EXPECT_NE(GetCursor(), nullptr);
  EXPECT_GT(editor().graphMargin, reached);
  const float ended = editor().graphMargin;
  EXPECT_EQ(editor().graphSpan, DefaultGraphSpan);
  // No drag is left to park the cursor or zoom.
  testsupport::MoveTo({home.x + 20, home.y - 40});
  EXPECT_TRUE(Near(testsupport::CursorPosition(), {home.x + 20, home.y - 40}));
  EXPECT_EQ(editor().graphMargin, ended);
}

// However the drag loses the mouse or the focus before its release (another window takes the
// mouse, the system cancels modes, the focus moves away), it ends as a release does: the cursor is
// free, shown and back where the drag began, and the zoom stays. The press is forgotten: a stray
// release afterwards is no click.
TEST_F(EditorInputInside, DragEndsWhenItLosesTheMouseOrTheFocus) {
  enum class Loss { Captured, CancelMode, Focus };
  testsupport::HostFrame other(FrameLeft, FrameTop + FrameSize, 200, 200);
  for (Loss loss : {Loss::Captured, Loss::CancelMode, Loss::Focus}) {
    SCOPED_TRACE(static_cast<int>(loss));
    frame_.Focus();
    if (loss == Loss::Focus) SetFocus(host_->window);  // a host that hands its focus to the editor
    const uint8_t onTop = host_->engine.Unshared().options.videoontop;
    const POINT home = At(OverOnTop);
    testsupport::MoveTo(home);
    testsupport::Press(Button::Left);
    ASSERT_TRUE(editor().dragActive);
    EXPECT_EQ(GetCapture(), host_->window);
    testsupport::MoveBy(-4, 0);
    const int32_t span = editor().graphSpan;
    EXPECT_LT(span, DefaultGraphSpan);
    // The cursor stands off the press point when the drag loses the mouse.
    SetCursorPos(home.x + 3, home.y + 3);
    switch (loss) {
      case Loss::Captured:
        SetCapture(other.Window());
        break;
      case Loss::CancelMode:
        SendMessageA(host_->window, WM_CANCELMODE, 0, 0);
        break;
      case Loss::Focus:
        SetFocus(other.Window());
        break;
    }
    EXPECT_FALSE(editor().dragActive);
    EXPECT_EQ(editor().graphSpan, span);
    testsupport::Pump(100);
    EXPECT_NE(GetCapture(), host_->window);
    EXPECT_TRUE(CursorFree());
    EXPECT_NE(GetCursor(), nullptr);
    EXPECT_TRUE(Near(testsupport::CursorPosition(), home));
    ReleaseCapture();
    testsupport::Release(Button::Left);
    EXPECT_EQ(host_->engine.Unshared().options.videoontop, onTop) << "the release was no click";
    editor().graphSpan = DefaultGraphSpan;
  }
}

// A dialog that the host pops up during a drag (its frame disabled, the dialog active) leaves the
// mouse with the editor, so the release ends the drag there, the zoom where it stood.
TEST_F(EditorInputInside, DragThroughAHostDialogEndsOnTheRelease) {
  const POINT home = At(GraphPoint);
  testsupport::MoveTo(home);
  testsupport::Press(Button::Left);
  ASSERT_TRUE(editor().dragActive);
  EnableWindow(frame_.Window(), FALSE);
  {
    testsupport::HostFrame dialog(FrameLeft + 50, FrameTop + 50, 200, 100);
    testsupport::MoveBy(20, 0);
    const int32_t reached = editor().graphSpan;
    EXPECT_GT(reached, DefaultGraphSpan);
    testsupport::Release(Button::Left);
    EXPECT_FALSE(editor().dragActive);
    EXPECT_EQ(editor().graphSpan, reached);
    EXPECT_NE(GetCapture(), host_->window);
    EXPECT_TRUE(CursorFree());
    EXPECT_NE(GetCursor(), nullptr);
  }
  EnableWindow(frame_.Window(), TRUE);
}

TEST_F(EditorInputInside, CtrlClickOnOptimiseClearsTheSumsAfterTheCurrentBeat) {
  const struct {
    WORD ctrl;
    uint8_t optimise;
    bool cleared;
  } cases[] = {{VK_LCONTROL, 1, true}, {0, 4, false}, {VK_RCONTROL, 4, true}, {0, 1, false}};
  // With no skin no paint follows the click (it would recompute the shown time and refill the
  // sums), so the click's own effects can be read.
  struct SkinAside {
    HBITMAP skin = std::exchange(sharedGdi.skinBitmap, nullptr);
    ~SkinAside() { sharedGdi.skinBitmap = skin; }
  } skinAside;
  for (const auto& c : cases) {
    SCOPED_TRACE(c.ctrl);
    TimelineEngine& t = host_->engine.Unshared();
    t.currentTick = CurrentBeat * TicksPerBeat + 5;
    t.paintedTick = t.currentTick;
    for (int32_t beat = 0; beat < MapBeats; ++beat) t.beatSums[beat] = CachedSum;
    testsupport::MoveTo(At(OptimiseLabel));
    if (c.ctrl) testsupport::Key(c.ctrl, true);
    testsupport::Press(Button::Left);
    testsupport::Release(Button::Left);
    if (c.ctrl) testsupport::Key(c.ctrl, false);
    const TimelineEngine& after = host_->engine.Unshared();  // the click changed it between two ticks
    EXPECT_EQ(after.options.optimise, c.optimise);
    EXPECT_EQ(after.paintedTick, -1);
    for (int32_t beat = 0; beat < MapBeats; ++beat) {
      const bool expectCleared = c.cleared && beat > CurrentBeat;
      ASSERT_EQ(after.beatSums[beat], expectCleared ? 0.0 : CachedSum) << "beat " << beat;
    }
  }
}

// The host destroyed the frame it showed the editor in, and the kept handle now names another
// window: a click gives that window no focus.
TEST_F(EditorInputInside, ClickFocusesNoWindowOtherThanTheEditorsFrame) {
  constexpr POINT NoZone = {120, 250};
  testsupport::HostFrame stranger(FrameLeft, FrameTop + FrameSize, 200, 200);
  HWND gone =
      CreateWindowExA(0, "STATIC", "", WS_POPUP, 0, 0, 10, 10, nullptr, nullptr, nullptr, nullptr);
  DestroyWindow(gone);
  for (HWND kept : {stranger.Window(), gone}) {
    editor().parent = kept;
    frame_.Focus();
    testsupport::ClickAt(At(NoZone));
    EXPECT_EQ(GetFocus(), frame_.Window());
  }
  editor().parent = frame_.Window();
}

}  // namespace
}  // namespace tempotally
