// A song with tempo changes played through the module without a video player: every tick asks the
// host the same three things, and the tick map that the module then saves is the one a timeline
// engine records from the same answers.
#include <gtest/gtest.h>
#include <windows.h>

#include <string>
#include <utility>
#include <vector>

#include "BlackboxPaths.h"
#include "devhost/RawPlug.h"
#include "devhost/SongDriver.h"
#include "devhost/TestHost.h"
#include "devhost/WorkingFolder.h"
#include "devhost/SongSimulator.h"
#include "tests/win/blackbox_state.h"
#include "timeline/TimelineEngine.h"

namespace tempotally::testhost {
namespace {

constexpr int32_t Tag = 77;
constexpr double TicksPerBeat = 96.0;
constexpr int IdleTicksWhileStopped = 40;

struct Options {
  int32_t lookahead;
  int32_t freeze;
  int32_t optimise;
};

class SongWithoutPlayer : public ::testing::TestWithParam<Options> {
 protected:
  SongWithoutPlayer()
      : folder_("blackbox-no-player"),
        module_(WindowsPath(TEMPOTALLY_DLL_PATH)),
        song_(song::TempoAutomation::DefaultSong()) {}

  void SetUp() override {
    ASSERT_TRUE(folder_.Ready());
    ASSERT_TRUE(module_.HasFactory()) << "LoadLibrary error " << module_.LoadError();
    plug_ = module_.Create(host_, Tag);
    ASSERT_TRUE(plug_.Valid());
    ASSERT_TRUE(engine_.Allocate());
    engine_.ResetState();
    const Options o = GetParam();
    engine_.options.lookahead = static_cast<uint8_t>(o.lookahead);
    engine_.options.freeze = static_cast<uint8_t>(o.freeze);
    engine_.options.optimise = static_cast<uint8_t>(o.optimise);
    state::Restore(plug_, state::Encode(state::KeysWith({{"lookahead", o.lookahead},
                                                         {"freeze", o.freeze},
                                                         {"optimise", o.optimise}}),
                                        {{0, 0}}));
  }
  void TearDown() override { plug_.Release(); }

  // The engine's share of a tick with the answers the module was given.
  void Mirror(const TickReport& report) {
    engine_.hostTime[0] = report.hostTimeMs;
    engine_.hostTime[1] = 0.0;
    engine_.RecordTick(report.positionTicks);
  }

  WorkingFolder folder_;
  PluginModule module_;
  TestHost host_;
  RawPlug plug_;
  song::SongSimulator song_;
  TimelineEngine engine_;
};

TEST_P(SongWithoutPlayer, RecordsTheMapAnEngineRecords) {
  SongDriver driver(host_, plug_, song_);
  host_.ClearCalls();
  size_t ticks = 0;
  auto afterTick = [&](const TickReport& report) {
    Mirror(report);
    ++ticks;
  };

  driver.Start();
  engine_.OnTransport(1);
  driver.PlayUntil(150 * TicksPerBeat, afterTick);

  // Stopped: the module goes on asking but records nothing.
  driver.Stop();
  engine_.OnTransport(0);
  for (int i = 0; i < IdleTicksWhileStopped; ++i) afterTick(driver.Tick());

  // Back to beat 20 (its recorded tempo is overwritten), then on to the end of the song.
  driver.JumpTo(20 * TicksPerBeat);
  engine_.OnSongPosition(song_.PositionTicks());
  driver.Start();
  engine_.OnTransport(1);
  driver.PlayUntil(40 * TicksPerBeat, afterTick);
  driver.JumpTo(140 * TicksPerBeat);
  engine_.OnSongPosition(song_.PositionTicks());
  driver.PlayUntil(song::TempoAutomation::DefaultSongEndBeat * TicksPerBeat, afterTick);
  driver.Stop();

  // Three host calls on every tick, with this instance's tag, plus the two position notifications.
  size_t positions = 0, times = 0, infos = 0;
  for (const HostCall& call : host_.Calls()) {
    if (call.slot == HostSongPositionSlot) {
      ++positions;
    } else {
      ASSERT_EQ(call.slot, HostDispatchSlot);
      EXPECT_EQ(call.tag, Tag);
      times += call.id == IdSongTime;
      infos += call.id == IdTickInfo;
    }
  }
  EXPECT_EQ(times, ticks);
  EXPECT_EQ(infos, ticks);
  EXPECT_EQ(positions, ticks + 2);

  std::vector<state::Key> keys;
  std::vector<state::MapPair> saved;
  size_t end = 0;
  ASSERT_TRUE(state::Decode(state::Save(plug_), &keys, &saved, &end));
  // The saved runs keep the engine's map: its time and every tick's length, in no more pairs
  // than the band around each run's first value would take.
  ASSERT_FALSE(saved.empty());
  EXPECT_EQ(saved[0].index, 0);
  EXPECT_LE(saved.size(), state::EncodeMap(engine_.tickDurations).size());
  const std::vector<double> restored = state::MapOf(saved);
  double live = 0.0, back = 0.0;
  for (int32_t i = 0; i < state::MapEnd; ++i) {
    ASSERT_NEAR(restored[i], engine_.tickDurations[i], state::RunTolerance) << "tick " << i;
    live += engine_.tickDurations[i == 0 ? 1 : i];
    back += restored[i == 0 ? 1 : i];
    ASSERT_NEAR(back, live, state::RunTimeTolerance) << "tick " << i;
  }
  if (GetParam().freeze == 0) {
    // The song's tempo changes show in the map: at least the step, the ramp and the last step.
    EXPECT_GT(saved.size(), 4u);
  } else {
    // Frozen, the map stays as it was, the empty ticks before the restart at beat 20 included.
    ASSERT_EQ(saved.size(), 1u);
    EXPECT_EQ(saved[0].valueBits, 0u);
  }
}

INSTANTIATE_TEST_SUITE_P(Options, SongWithoutPlayer,
                         ::testing::Values(Options{1, 0, 1}, Options{0, 0, 1}, Options{1, 0, 4},
                                           Options{1, 1, 1}),
                         [](const ::testing::TestParamInfo<Options>& info) {
                           const Options& o = info.param;
                           return std::string(o.lookahead ? "LookAhead" : "NoLookAhead") +
                                  (o.freeze ? "Frozen" : "") + "Step" + std::to_string(o.optimise);
                         });

}  // namespace
}  // namespace tempotally::testhost
