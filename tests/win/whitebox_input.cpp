// The editor's zoom drag and the Ctrl+click on "Optimise" with real input, read from inside the
// editor, which edits a fake host's engine: the graph's span and margin after injected travel, with
// and without Ctrl, at the clamps and at the deepest fold, and the beat sums that the Ctrl+click
// clears.
#include <gtest/gtest.h>
#include <windows.h>

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
constexpr POINT OptimiseLabel = {150, 70};
constexpr int32_t CurrentBeat = 10;
constexpr double CachedSum = 1.0;

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
