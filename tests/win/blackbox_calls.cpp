// The host's calls on a plug-in instance without a video player, made through the raw table: what
// the plug-in asks of the host on a tick, render clearing, the defaults of the pass-on slots, and
// the state it saves.
#include <gtest/gtest.h>
#include <windows.h>

#include <cmath>
#include <cstring>
#include <limits>
#include <vector>

#include "BlackboxPaths.h"
#include "devhost/RawPlug.h"
#include "devhost/TestHost.h"
#include "devhost/WorkingFolder.h"
#include "tests/win/blackbox_state.h"

namespace tempotally::testhost {
namespace {

constexpr int32_t Tag = 0x51A7;
constexpr int FramesChecked = 8;
constexpr int FloatsPerFrame = 2;
// Guard pattern: a signalling NaN payload that any write, even of a NaN, would be unlikely to keep.
constexpr uint32_t GuardBits = 0x7FA5A5A5;

class Calls : public ::testing::Test {
 protected:
  Calls() : folder_("blackbox-no-player"), module_(WindowsPath(TEMPOTALLY_DLL_PATH)) {}

  void SetUp() override {
    ASSERT_TRUE(folder_.Ready());
    ASSERT_TRUE(module_.HasFactory()) << "LoadLibrary error " << module_.LoadError();
    plug_ = module_.Create(host_, Tag);
    ASSERT_TRUE(plug_.Valid());
    host_.ClearCalls();
  }
  void TearDown() override { plug_.Release(); }

  // Expects exactly the three host calls of one tick, each with this instance's tag.
  void ExpectOneTicksCalls(const std::vector<HostCall>& calls) {
    ASSERT_EQ(calls.size(), 3u);
    EXPECT_EQ(calls[0].slot, HostSongPositionSlot);
    EXPECT_TRUE(calls[0].words.empty());
    for (int i = 1; i < 3; ++i) {
      EXPECT_EQ(calls[i].slot, HostDispatchSlot);
      EXPECT_EQ(calls[i].tag, Tag);
      EXPECT_EQ(calls[i].index, 1);
      EXPECT_NE(calls[i].value, 0u);
      // The plug-in zeroes each record before it asks.
      EXPECT_TRUE(calls[i].hasRecord);
      for (uint8_t byte : calls[i].arrived) EXPECT_EQ(byte, 0);
    }
    EXPECT_EQ(calls[1].id, IdSongTime);
    EXPECT_EQ(calls[2].id, IdTickInfo);
    EXPECT_NE(calls[1].value, calls[2].value);
  }

  WorkingFolder folder_;
  PluginModule module_;
  TestHost host_;
  RawPlug plug_;
};

// Frames with guard bits throughout.
std::vector<uint32_t> GuardedFrames() {
  return std::vector<uint32_t>(FramesChecked * FloatsPerFrame, GuardBits);
}

float* AsFloats(std::vector<uint32_t>& bits) { return reinterpret_cast<float*>(bits.data()); }

TEST_F(Calls, TickAsksPositionThenTimeThenTickInfo) {
  host_.SetSongPosition(960.0);
  host_.SetHostTimeMs(5000.0);
  // Answers that fill both records completely, so a record that was not zeroed again shows.
  host_.SetSongTimeTail(-1.0);
  std::array<uint8_t, HostRecordBytes> info;
  info.fill(0xEE);
  host_.SetTickInfo(info);

  plug_.Tick();
  ExpectOneTicksCalls(host_.Calls());
  host_.ClearCalls();
  plug_.Tick();
  ExpectOneTicksCalls(host_.Calls());

  // Playing makes no difference to what is asked.
  EXPECT_EQ(plug_.Dispatch(PlugIdTransport, 0, 1), 0);
  host_.ClearCalls();
  for (int i = 0; i < 3; ++i) {
    host_.SetSongPosition(960.0 + i);
    host_.SetHostTimeMs(5000.0 + 5.2 * i);
    const size_t mark = host_.CallCount();
    plug_.Tick();
    ExpectOneTicksCalls(host_.CallsSince(mark));
  }
}

TEST_F(Calls, TickSurvivesAnyAnswer) {
  const double answers[][2] = {{0.0, 0.0},
                               {0.0, 100.0},
                               {-96.0, 500.0},
                               {1e9, 1.0},
                               {96000.0 * 3, 1e7},
                               {std::numeric_limits<double>::quiet_NaN(), 1.0},
                               {100.0, std::numeric_limits<double>::infinity()}};
  plug_.Dispatch(PlugIdTransport, 0, 1);
  for (const auto& answer : answers) {
    host_.SetSongPosition(answer[0]);
    host_.SetHostTimeMs(answer[1]);
    plug_.Dispatch(PlugIdSongPosition, 0, 0);
    for (int i = 0; i < 3; ++i) plug_.Tick();
  }
  plug_.Dispatch(PlugIdTransport, 0, 0);
  plug_.Tick();
  EXPECT_EQ(host_.DispatchesWithId(IdSongTime).size(), 22u);
}

TEST_F(Calls, DispatchAnswersZeroForEveryId) {
  for (int32_t id = -2; id <= 80; ++id) {
    if (id == PlugIdShowEditor || id == PlugIdTimeSignature) continue;  // value is an address
    EXPECT_EQ(plug_.Dispatch(id, 3, 0), 0) << "id " << id;
  }
  const int32_t signature[3] = {3, 4, 96};
  EXPECT_EQ(plug_.Dispatch(PlugIdTimeSignature, 0, reinterpret_cast<uintptr_t>(signature)), 0);
  EXPECT_EQ(plug_.Dispatch(PlugIdShowEditor, 0, 0), 0);
  // Only the song position notification asks the host anything.
  ASSERT_EQ(host_.CallCount(), 1u);
  EXPECT_EQ(host_.Calls()[0].slot, HostSongPositionSlot);
}

TEST_F(Calls, TimeSignatureWithoutAnAddressIsIgnored) {
  EXPECT_EQ(plug_.Dispatch(PlugIdTimeSignature, 0, 0), 0);
  EXPECT_EQ(host_.CallCount(), 0u);
  const int32_t signature[3] = {7, 8, 48};
  EXPECT_EQ(plug_.Dispatch(PlugIdTimeSignature, 0, reinterpret_cast<uintptr_t>(signature)), 0);
  plug_.Tick();
  EXPECT_EQ(host_.CallCount(), 3u);
}

TEST_F(Calls, RenderClearsTheGivenFramesOnly) {
  for (int32_t n = 0; n <= FramesChecked - 2; n += 3) {
    std::vector<uint32_t> bits = GuardedFrames();
    int32_t count = n;
    EXPECT_EQ(plug_.Render(0, AsFloats(bits), &count), 0);
    EXPECT_EQ(count, n);
    for (int i = 0; i < FramesChecked * FloatsPerFrame; ++i) {
      EXPECT_EQ(bits[static_cast<size_t>(i)], i < n * FloatsPerFrame ? 0u : GuardBits)
          << "n " << n << " float " << i;
    }
  }
}

TEST_F(Calls, RenderWithNoFramesOrBadArgumentsWritesNothing) {
  for (int32_t n : {0, -1, -5, std::numeric_limits<int32_t>::min()}) {
    std::vector<uint32_t> bits = GuardedFrames();
    int32_t count = n;
    EXPECT_EQ(plug_.Render(0, AsFloats(bits), &count), 0);
    EXPECT_EQ(bits, GuardedFrames()) << "n " << n;
  }
  int32_t count = 4;
  EXPECT_EQ(plug_.Render(0, nullptr, &count), 0);
  std::vector<uint32_t> bits = GuardedFrames();
  EXPECT_EQ(plug_.Render(0, AsFloats(bits), nullptr), 0);
  EXPECT_EQ(bits, GuardedFrames());
  EXPECT_EQ(host_.CallCount(), 0u);
}

TEST_F(Calls, PassOnSlotsGiveTheirDefaultsWithoutAPlayer) {
  EXPECT_EQ(plug_.Slot5(1, 2, 3), 0);
  EXPECT_EQ(plug_.Slot6(1, 0xBEEF, 3), 0xBEEF);
  EXPECT_EQ(plug_.Slot6(0, 0xFFFFFFFFu, 0), -1);
  EXPECT_EQ(plug_.Slot9(1, 2), 0);
  EXPECT_EQ(plug_.Slot12(1, 2, 3, 4), 0);
  EXPECT_EQ(plug_.Dispatch(99, 1, 2), 0);
  int32_t none = 0;
  EXPECT_EQ(plug_.Render(1, nullptr, &none), 0);
  plug_.Slot2();
  plug_.Slot4(1, 2, 3, 4);
  plug_.Slot7(1, 2, 3);
  plug_.Slot8(1, 2);
  plug_.Slot10(1);
  plug_.Slot11(1);
  plug_.Slot15();
  plug_.Slot16(1);
  plug_.Slot17(1);
  EXPECT_EQ(host_.CallCount(), 0u);
}

TEST_F(Calls, FreshStateSavesDefaultKeysAndAnEmptyMap) {
  const std::vector<uint8_t> bytes = state::Save(plug_);
  EXPECT_EQ(bytes, state::Encode(state::DefaultKeys(), {{0, 0}}));
  EXPECT_EQ(host_.CallCount(), 0u);
}

TEST_F(Calls, RestoredStateSavesBackTheSame) {
  // Keys in another order and case, one unknown key; a map of three runs.
  std::vector<state::Key> keys = {{"WINHEIGHT", 300}, {"unknown", 9},   {"Video", 0},
                                  {"freeze", 1},      {"optimise", 4},  {"lookahead", 0},
                                  {"winleft", -20},   {"wintop", 40},   {"winwidth", 320},
                                  {"selection", 1},   {"minimised", 7}, {"videoontop", 0}};
  const std::vector<state::MapPair> map = {{0, state::SingleBits(0.005)},
                                           {10, state::SingleBits(0.006)},
                                           {5000, state::SingleBits(0.0041)}};
  state::Restore(plug_, state::Encode(keys, map));
  const std::vector<state::Key> expectedKeys = {
      {"video", 0},    {"videoontop", 0}, {"freeze", 1},     {"lookahead", 0},
      {"optimise", 4}, {"selection", 1},  {"minimised", 2},  {"winleft", -20},
      {"wintop", 40},  {"winwidth", 320}, {"winheight", 300}};
  EXPECT_EQ(state::Save(plug_), state::Encode(expectedKeys, map));
  // The fold level changed the editor's height, which the host is told.
  EXPECT_EQ(host_.DispatchesWithId(IdEditorResized).size(), 1u);
}

}  // namespace
}  // namespace tempotally::testhost
