// The editor's kept back buffer and its frame timer, through the built module: a fold cycle shows
// exactly the pixels of the unfolded editor's rows, and ticks on another thread are painted by
// the editor's own thread at its next frame.
#include <gtest/gtest.h>
#include <windows.h>

#include <vector>

#include "BlackboxPaths.h"
#include "devhost/RawPlug.h"
#include "devhost/SongDriver.h"
#include "devhost/SongSimulator.h"
#include "devhost/TestHost.h"
#include "devhost/WindowPixels.h"
#include "devhost/WorkingFolder.h"
#include "tests/win/blackbox_state.h"

namespace tempotally::testhost {
namespace {

constexpr int32_t Tag = 0xF4;
constexpr DWORD FrameWaitMs = 2000;

// Steps of tick lengths, so the graph has bars of many heights.
std::vector<state::MapPair> SteppedMap() {
  std::vector<state::MapPair> pairs;
  for (int32_t run = 0; run < 40; ++run) {
    pairs.push_back({run * 200, state::SingleBits(0.0052 - (run % 9) * 0.0002)});
  }
  return pairs;
}

class EditorFrame : public ::testing::Test {
 protected:
  EditorFrame() : folder_("blackbox-frame"), module_(WindowsPath(TEMPOTALLY_DLL_PATH)) {}
  void SetUp() override {
    ASSERT_TRUE(folder_.Ready());
    ASSERT_TRUE(module_.HasFactory()) << "LoadLibrary error " << module_.LoadError();
    plug_ = module_.Create(host_, Tag);
    ASSERT_TRUE(plug_.Valid());
    frame_ = CreateWindowExA(0, "STATIC", "host frame", WS_POPUP | WS_VISIBLE | WS_CLIPCHILDREN, 0,
                             0, 300, 340, nullptr, nullptr, nullptr, nullptr);
    ASSERT_NE(frame_, nullptr);
    plug_.Dispatch(PlugIdShowEditor, 0, reinterpret_cast<uintptr_t>(frame_));
  }
  void TearDown() override {
    if (plug_.Valid()) plug_.Release();
    if (frame_) DestroyWindow(frame_);
  }
  void Fold(int level) {
    state::Restore(plug_, state::Encode(state::KeysWith({{"minimised", level}}), SteppedMap()));
  }

  WorkingFolder folder_;
  PluginModule module_;
  TestHost host_;
  RawPlug plug_;
  HWND frame_ = nullptr;
};

TEST_F(EditorFrame, FoldCycleShowsTheUnfoldedRowsWithNoStaleOnes) {
  host_.SetSongPosition(3000.0);
  plug_.Dispatch(PlugIdSongPosition, 0, 0);
  Fold(0);
  const Pixels unfolded = CaptureWindow(plug_.EditorWindow());
  ASSERT_EQ(unfolded.height, 294);
  // 294 -> 200 -> 106 -> 294: each height shows the unfolded editor's top rows, pixel for pixel
  // (the graph, hidden at level 2, lies below 106).
  for (const auto& step : {std::pair{1, 200}, std::pair{2, 106}, std::pair{0, 294}}) {
    Fold(step.first);
    const Pixels shown = CaptureWindow(plug_.EditorWindow());
    ASSERT_EQ(shown.height, step.second);
    ASSERT_EQ(shown.width, unfolded.width);
    for (int y = 0; y < shown.height; ++y) {
      for (int x = 0; x < shown.width; ++x) {
        ASSERT_EQ(shown.At(x, y), unfolded.At(x, y))
            << "height " << step.second << ": " << x << "," << y;
      }
    }
  }
}

DWORD WINAPI TickThread(void* driver) {
  for (int i = 0; i < 4; ++i) static_cast<SongDriver*>(driver)->Tick();
  return 0;
}

TEST_F(EditorFrame, ATickOnAnotherThreadIsPaintedAtTheNextFrame) {
  song::SongSimulator song(song::TempoAutomation({{0.0, 120.0, false}}));
  SongDriver driver(host_, plug_, song);
  driver.JumpTo(0.0);
  driver.Start();
  const HWND editor = plug_.EditorWindow();
  CaptureWindow(editor);
  ASSERT_FALSE(GetUpdateRect(editor, nullptr, FALSE));

  HANDLE thread = CreateThread(nullptr, 0, TickThread, &driver, 0, nullptr);
  ASSERT_NE(thread, nullptr);
  WaitForSingleObject(thread, INFINITE);
  CloseHandle(thread);
  // The mixing thread only set the flag: nothing is invalidated, and nothing painted, until the
  // frame timer runs on this thread. Then the editor shows the new state without a WM_PAINT.
  EXPECT_FALSE(GetUpdateRect(editor, nullptr, FALSE));
  const Pixels before = ShownPixels(editor);
  int paintMessages = 0;
  Pixels shown = before;
  const DWORD start = GetTickCount();
  while (shown.rgb == before.rgb && GetTickCount() - start < FrameWaitMs) {
    MsgWaitForMultipleObjects(0, nullptr, FALSE, 10, QS_ALLINPUT);
    MSG msg;
    while (PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) {
      paintMessages += msg.message == WM_PAINT && msg.hwnd == editor;
      DispatchMessageA(&msg);
    }
    shown = ShownPixels(editor);
  }
  EXPECT_NE(shown.rgb, before.rgb) << "no frame painted the ticks";
  EXPECT_EQ(paintMessages, 0);
  EXPECT_FALSE(GetUpdateRect(editor, nullptr, FALSE));
  // What the frame showed is what a paint of the same state shows.
  EXPECT_EQ(CaptureWindow(editor).rgb, shown.rgb);
  driver.Stop();
}

}  // namespace
}  // namespace tempotally::testhost
