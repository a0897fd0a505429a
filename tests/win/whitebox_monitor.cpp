// The zoom drag on a monitor other than the primary one, with real input, on a display of two
// Xinerama heads: a primary of 1024 x 768 and a second of 1280 x 1024 that reaches right of and
// below it. Xvfb lays its heads over each other at the origin, so Wine shows no monitor left of
// or above the primary; the native table of the parking arithmetic covers those.
#include <gtest/gtest.h>
#include <windows.h>

#include <cstdlib>

#include "editor/Editor.h"
#include "tests/win/support/FakeEditorHost.h"
#include "tests/win/support/RealInput.h"

namespace tempotally {
namespace {

using testsupport::Button;

// Right of the primary monitor, so on the second one alone.
constexpr int FrameLeft = 1030, FrameTop = 100, FrameWidth = 250, FrameHeight = 330;
constexpr POINT GraphPoint = {120, 130};
constexpr int Steps = 25, Step = 4;  // 100 pixels right, 4 at a time within the clip box

bool Near(POINT a, POINT b) { return std::abs(a.x - b.x) <= 1 && std::abs(a.y - b.y) <= 1; }

void PlaceCursor(POINT screen) {
  SetCursorPos(screen.x, screen.y);
  testsupport::Pump(60);
}

RECT Clip() {
  RECT clip = {};
  GetClipCursor(&clip);
  return clip;
}

TEST(SecondMonitor, DragHoldsTheCursorAndZoomsAsOnThePrimary) {
  ASSERT_GE(GetSystemMetrics(SM_CMONITORS), 2) << "the display shows one monitor";
  testsupport::HostFrame frame(FrameLeft, FrameTop, FrameWidth, FrameHeight);
  testsupport::FakeEditorHost host;
  ASSERT_NE(host.window, nullptr);
  Editor& editor = host.editor;
  editor.Show(frame.Window());
  editor.ApplyFoldHeight();
  frame.Focus();
  testsupport::Pump(300);

  const POINT home = testsupport::ScreenPoint(host.window, GraphPoint.x, GraphPoint.y);
  ASSERT_GE(home.x, GetSystemMetrics(SM_CXSCREEN)) << "the press lies outside the primary";

  const int32_t span = editor.graphSpan;
  PlaceCursor(home);
  testsupport::Press(Button::Left);
  ASSERT_TRUE(editor.dragActive);
  for (int i = 0; i < Steps; ++i) {
    testsupport::MoveBy(Step, 0);
    EXPECT_TRUE(Near(testsupport::CursorPosition(), home)) << "step " << i;
    EXPECT_EQ(GetCursor(), nullptr);
  }
  testsupport::Release(Button::Left);
  EXPECT_FALSE(editor.dragActive);
  EXPECT_EQ(editor.graphSpan, span + Steps * Step);

  // Shown and free: unclipped on the whole desktop, and it moves where it is sent.
  EXPECT_NE(GetCursor(), nullptr);
  EXPECT_EQ(Clip().right - Clip().left, GetSystemMetrics(SM_CXVIRTUALSCREEN));
  EXPECT_EQ(Clip().bottom - Clip().top, GetSystemMetrics(SM_CYVIRTUALSCREEN));
  const POINT away = {home.x + 40, home.y + 20};
  PlaceCursor(away);
  EXPECT_TRUE(Near(testsupport::CursorPosition(), away));
}

}  // namespace
}  // namespace tempotally
