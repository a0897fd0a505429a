// The state call with a video player present: the video window's placement is saved from the
// window and applied back to it, the player's own bytes travel behind the plug-in's, and a restore
// folds the editor and tells the host once per change of height.
#include <gtest/gtest.h>
#include <windows.h>

#include <algorithm>
#include <cstring>
#include <vector>

#include "BlackboxPaths.h"
#include "devhost/ChunkStream.h"
#include "devhost/RawPlug.h"
#include "devhost/TestHost.h"
#include "devhost/WorkingFolder.h"
#include "devhost/standin_player/StandInRecord.h"
#include "tests/win/blackbox_state.h"
#include "devhost/PlayerLayout.h"

namespace tempotally::testhost {
namespace {

using testsupport::PlayerSlot;

constexpr int32_t Tag = 0x57A7;
constexpr char VideoClass[] = "Tempotally_Plugin";
constexpr int EditorWidth = 240;
constexpr int FoldedOnceHeight = 200;
constexpr int FoldedTwiceHeight = 106;

RECT WindowRect(HWND window) {
  RECT rect{};
  GetWindowRect(window, &rect);
  return rect;
}

bool IsTopmost(HWND window) { return (GetWindowLongA(window, GWL_EXSTYLE) & WS_EX_TOPMOST) != 0; }

class StateCall : public ::testing::Test {
 protected:
  StateCall()
      : folder_("blackbox-statecall"),
        installed_(
            folder_.Ready() &&
            testsupport::InstallPlayer(TEMPOTALLY_PLAYER_PATH, PlayerSlot::Path1, folder_.Path())),
        player_(
            testsupport::PathUnder(folder_.Path(), testsupport::RelativePath(PlayerSlot::Path1))),
        module_(WindowsPath(TEMPOTALLY_DLL_PATH)) {}

  void SetUp() override {
    ASSERT_TRUE(installed_);
    ASSERT_TRUE(player_.Loaded());
    record_ = player_.Record();
    ASSERT_NE(record_, nullptr);
    player_.Api().Reset();
    record_->streamState = 1;
    for (int i = 0; i < StandInStateBytes; ++i) {
      record_->stateBlob[i] = static_cast<uint8_t>(0xA0 + i);
    }
    ASSERT_TRUE(module_.HasFactory()) << "LoadLibrary error " << module_.LoadError();
    plug_ = module_.Create(host_, Tag);
    ASSERT_TRUE(plug_.Valid());
    ASSERT_EQ(record_->liveInstances, 1);
    video_ = FindWindowA(VideoClass, nullptr);
    ASSERT_NE(video_, nullptr);
    host_.ClearCalls();
  }
  void TearDown() override {
    if (plug_.Valid()) plug_.Release();
  }

  std::vector<uint8_t> WithPlayerBytes(std::vector<uint8_t> ours) {
    ours.insert(ours.end(), record_->stateBlob, record_->stateBlob + StandInStateBytes);
    return ours;
  }

  WorkingFolder folder_;
  bool installed_;
  testsupport::StandInHold player_;
  StandInRecord* record_ = nullptr;
  PluginModule module_;
  TestHost host_;
  RawPlug plug_;
  HWND video_ = nullptr;
};

TEST_F(StateCall, SaveTakesThePlacementFromTheWindowAndAppendsThePlayersBytes) {
  ASSERT_TRUE(SetWindowPos(video_, nullptr, 50, 60, 400, 300, SWP_NOZORDER | SWP_NOACTIVATE));
  const std::vector<uint8_t> saved = state::Save(plug_);
  const std::vector<uint8_t> expected = WithPlayerBytes(state::Encode(
      state::KeysWith({{"winleft", 50}, {"wintop", 60}, {"winwidth", 400}, {"winheight", 300}}),
      {{0, 0}}));
  EXPECT_EQ(saved, expected);
  EXPECT_EQ(record_->slotCounts[3], 1);
}

TEST_F(StateCall, RestoreAppliesWindowOptionsAndHandsThePlayerItsBytes) {
  const std::vector<uint8_t> ours = state::Encode(
      state::KeysWith({{"video", 1}, {"videoontop", 1}, {"winleft", 30}, {"wintop", 35},
                       {"winwidth", 500}, {"winheight", 400}}),
      {{0, state::SingleBits(0.005)}});
  std::vector<uint8_t> bytes = ours;
  const uint8_t playerBytes[StandInStateBytes] = {1, 2,  3,  4,  5,  6,  7,  8,
                                                  9, 10, 11, 12, 13, 14, 15, 16};
  bytes.insert(bytes.end(), playerBytes, playerBytes + StandInStateBytes);
  state::Restore(plug_, bytes);

  EXPECT_TRUE(IsWindowVisible(video_));
  EXPECT_TRUE(IsTopmost(video_));
  const RECT rect = WindowRect(video_);
  EXPECT_EQ(rect.left, 30);
  EXPECT_EQ(rect.top, 35);
  EXPECT_EQ(rect.right - rect.left, 500);
  EXPECT_EQ(rect.bottom - rect.top, 400);
  // The player read exactly the bytes behind the terminator.
  EXPECT_EQ(record_->restoredBytes, StandInStateBytes);
  EXPECT_EQ(std::memcmp(record_->restoredBlob, playerBytes, StandInStateBytes), 0);

  // Turning both options off again hides the window and lets it drop from the top.
  state::Restore(plug_, WithPlayerBytes(state::Encode(state::DefaultKeys(), {{0, 0}})));
  EXPECT_FALSE(IsWindowVisible(video_));
  EXPECT_FALSE(IsTopmost(video_));
}

TEST_F(StateCall, RestoreFoldsTheEditorAndTellsTheHostOnlyOnChange) {
  const HWND editor = plug_.EditorWindow();
  ASSERT_NE(editor, nullptr);
  const auto restoreFold = [&](int32_t level) {
    state::Restore(plug_, WithPlayerBytes(state::Encode(state::KeysWith({{"minimised", level}}),
                                                        {{0, 0}})));
  };
  restoreFold(1);
  RECT rect = WindowRect(editor);
  EXPECT_EQ(rect.right - rect.left, EditorWidth);
  EXPECT_EQ(rect.bottom - rect.top, FoldedOnceHeight);
  ASSERT_EQ(host_.DispatchesWithId(IdEditorResized).size(), 1u);
  EXPECT_EQ(host_.DispatchesWithId(IdEditorResized)[0].tag, Tag);
  EXPECT_EQ(host_.DispatchesWithId(IdEditorResized)[0].index, 0);

  restoreFold(1);  // already at that height: no resize, no notice
  EXPECT_EQ(host_.DispatchesWithId(IdEditorResized).size(), 1u);

  restoreFold(9);  // beyond the deepest fold
  rect = WindowRect(editor);
  EXPECT_EQ(rect.bottom - rect.top, FoldedTwiceHeight);
  EXPECT_EQ(host_.DispatchesWithId(IdEditorResized).size(), 2u);
}

// A map of many runs: the plug-in's part leaves in one Write, and streams that hand over 1 to 7
// bytes per read restore the same state, leaving the player's bytes where they start.
TEST_F(StateCall, OurPartIsOneWriteAndChunkedReadsRestoreTheSameState) {
  std::vector<state::MapPair> pairs;
  for (int32_t i = 0; i < 3000; ++i) pairs.push_back({i * 32, state::SingleBits(0.005 + i * 1e-4)});
  const std::vector<uint8_t> ours =
      state::Encode(state::KeysWith({{"optimise", 4}, {"winwidth", 333}}), pairs);
  state::Restore(plug_, WithPlayerBytes(ours));

  testhost::ChunkStream saved;
  plug_.SaveRestoreState(&saved, 1);
  ASSERT_GE(saved.WriteSizes().size(), 1u);
  EXPECT_EQ(saved.WriteSizes()[0], ours.size());
  ASSERT_GE(saved.Bytes().size(), ours.size());
  EXPECT_TRUE(std::equal(ours.begin(), ours.end(), saved.Bytes().begin()));

  const uint8_t playerBytes[StandInStateBytes] = {9, 8, 7, 6, 5, 4, 3, 2, 1, 0, 1, 2, 3, 4, 5, 6};
  std::vector<uint8_t> bytes = state::Encode(state::DefaultKeys(), {{0, 0}});
  bytes.insert(bytes.end(), playerBytes, playerBytes + StandInStateBytes);
  for (ULONG chunk = 1; chunk <= 7; ++chunk) {
    SCOPED_TRACE(chunk);
    state::Restore(plug_, bytes);  // back to an empty map between the rounds
    testhost::ChunkStream stream(WithPlayerBytes(ours), chunk);
    plug_.SaveRestoreState(&stream, 0);
    // The player's one read began right behind the terminator.
    EXPECT_EQ(record_->restoredBytes, static_cast<int32_t>(chunk));
    EXPECT_EQ(std::memcmp(record_->restoredBlob, record_->stateBlob, chunk), 0);
    std::vector<uint8_t> again = state::Save(plug_);
    again.resize(std::min(again.size(), ours.size()));
    ASSERT_EQ(again, ours);
  }
}

TEST_F(StateCall, NullStreamDoesNothing) {
  plug_.SaveRestoreState(nullptr, 1);
  plug_.SaveRestoreState(nullptr, 0);
  EXPECT_EQ(record_->slotCounts[3], 0);
  EXPECT_EQ(host_.CallCount(), 0u);
}

}  // namespace
}  // namespace tempotally::testhost
