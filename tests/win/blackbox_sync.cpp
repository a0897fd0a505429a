// End to end: the module finds the stand-in video player at the host's video-player path, a song
// with tempo changes plays tick by tick, and on every tick the player is told exactly (bit for bit)
// the elapsed time that a timeline engine computes from the same host answers.
#include <gtest/gtest.h>
#include <windows.h>

#include <cstring>
#include <string>
#include <vector>

#include "BlackboxPaths.h"
#include "devhost/RawPlug.h"
#include "devhost/SongDriver.h"
#include "devhost/TestHost.h"
#include "devhost/WorkingFolder.h"
#include "devhost/standin_player/StandInRecord.h"
#include "devhost/SongSimulator.h"
#include "tests/win/blackbox_state.h"
#include "devhost/PlayerLayout.h"
#include "timeline/TimelineEngine.h"

namespace tempotally::testhost {
namespace {

using testsupport::PlayerSlot;

constexpr int32_t Tag = 0x7E3;
constexpr double TicksPerBeat = 96.0;
constexpr double SongTimeTail = 12345.5;  // the host's second double of the id-36 answer
constexpr int32_t SongTimeResult = 0x3600;
constexpr int IdleTicks = 30;

uint64_t Bits(double value) {
  uint64_t bits;
  std::memcpy(&bits, &value, sizeof bits);
  return bits;
}

struct Options {
  int32_t lookahead;
  int32_t optimise;
  bool restore;  // false: the module's own defaults, with no state call at all
};

class SongWithPlayer : public ::testing::TestWithParam<Options> {
 protected:
  SongWithPlayer()
      : folder_("blackbox-with-player"),
        installed_(
            folder_.Ready() &&
            testsupport::InstallPlayer(TEMPOTALLY_PLAYER_PATH, PlayerSlot::Path1, folder_.Path())),
        player_(
            testsupport::PathUnder(folder_.Path(), testsupport::RelativePath(PlayerSlot::Path1))),
        module_(WindowsPath(TEMPOTALLY_DLL_PATH)),
        song_(song::TempoAutomation::DefaultSong()) {}

  void SetUp() override {
    ASSERT_TRUE(installed_);
    ASSERT_TRUE(player_.Loaded());
    record_ = player_.Record();
    ASSERT_NE(record_, nullptr);
    player_.Api().Reset();
    ASSERT_TRUE(module_.HasFactory()) << "LoadLibrary error " << module_.LoadError();
    host_.SetSongTimeTail(SongTimeTail);
    host_.SetDispatchResult(IdSongTime, SongTimeResult);

    plug_ = module_.Create(host_, Tag);
    ASSERT_TRUE(plug_.Valid());
    ASSERT_EQ(record_->liveInstances, 1) << "the module did not create the player";
    ASSERT_EQ(record_->lastTag, Tag);

    ASSERT_TRUE(engine_.Allocate());
    engine_.ResetState();
    const Options o = GetParam();
    if (o.restore) {
      engine_.options.lookahead = static_cast<uint8_t>(o.lookahead);
      engine_.options.optimise = static_cast<uint8_t>(o.optimise);
      state::Restore(
          plug_,
          state::Encode(state::KeysWith({{"lookahead", o.lookahead}, {"optimise", o.optimise}}),
                        {{0, 0}}));
    }
  }

  void TearDown() override {
    if (plug_.Valid()) plug_.Release();
  }

  // One tick through the module and through the engine; the player must have been told the
  // engine's time, bit for bit, with the rest of the host's answer kept.
  void TickAndCompare(SongDriver& driver, bool playing) {
    const int32_t toldBefore = record_->timeCount;
    host_.ClearCalls();
    const TickReport report = driver.Tick();
    engine_.hostTime[0] = report.hostTimeMs;
    engine_.hostTime[1] = 0.0;
    engine_.RecordTick(report.positionTicks);
    const double expected = engine_.ElapsedSeconds(engine_.currentTick, engine_.options.optimise) *
                            MillisecondsPerSecond;

    ASSERT_EQ(record_->timeCount, toldBefore + 1) << "at tick " << report.positionTicks;
    double told = 0.0, tail = 0.0;
    std::memcpy(&told, record_->lastTimeRecord, sizeof told);
    std::memcpy(&tail, record_->lastTimeRecord + sizeof told, sizeof tail);
    ASSERT_EQ(Bits(told), Bits(expected))
        << "at tick " << report.positionTicks << (playing ? " playing" : " stopped") << ": told "
        << told << " ms, engine " << expected << " ms";
    ASSERT_EQ(Bits(tail), Bits(SongTimeTail));
    ASSERT_EQ(record_->lastTimeResult, SongTimeResult);

    // The module's own three calls, then the player's time query passed on under the module's tag.
    const std::vector<HostCall>& calls = host_.Calls();
    ASSERT_EQ(calls.size(), 4u) << "at tick " << report.positionTicks;
    EXPECT_EQ(calls[0].slot, HostSongPositionSlot);
    EXPECT_EQ(calls[1].id, IdSongTime);
    EXPECT_EQ(calls[2].id, IdTickInfo);
    EXPECT_EQ(calls[3].slot, HostDispatchSlot);
    EXPECT_EQ(calls[3].id, IdSongTime);
    EXPECT_EQ(calls[3].index, StandInTimeQueryIndex);
    for (size_t i = 1; i < calls.size(); ++i) EXPECT_EQ(calls[i].tag, Tag);
    ++ticks_;
  }

  WorkingFolder folder_;
  bool installed_;
  testsupport::StandInHold player_;
  StandInRecord* record_ = nullptr;
  PluginModule module_;
  TestHost host_;
  RawPlug plug_;
  song::SongSimulator song_;
  TimelineEngine engine_;
  int ticks_ = 0;
};

TEST_P(SongWithPlayer, PlayerIsToldTheEnginesTimeOnEveryTick) {
  SongDriver driver(host_, plug_, song_);
  const double endTicks = song::TempoAutomation::DefaultSongEndBeat * TicksPerBeat;

  // Stopped at the start: the time at the host's position is pushed all the same.
  for (int i = 0; i < IdleTicks; ++i) ASSERT_NO_FATAL_FAILURE(TickAndCompare(driver, false));

  driver.Start();
  engine_.OnTransport(1);
  while (song_.PositionTicks() < 100 * TicksPerBeat) {
    ASSERT_NO_FATAL_FAILURE(TickAndCompare(driver, true));
  }

  // A stop in the ramp, a pause, a jump back into recorded ground, and on to the end.
  driver.Stop();
  engine_.OnTransport(0);
  for (int i = 0; i < IdleTicks; ++i) ASSERT_NO_FATAL_FAILURE(TickAndCompare(driver, false));
  driver.JumpTo(48 * TicksPerBeat + 17);
  engine_.OnSongPosition(song_.PositionTicks());
  for (int i = 0; i < IdleTicks; ++i) ASSERT_NO_FATAL_FAILURE(TickAndCompare(driver, false));
  driver.Start();
  engine_.OnTransport(1);
  while (song_.PositionTicks() < endTicks) ASSERT_NO_FATAL_FAILURE(TickAndCompare(driver, true));
  driver.Stop();
  engine_.OnTransport(0);

  // The player ticked with every tick of the module and saw nothing of its editor calls.
  EXPECT_EQ(record_->slotCounts[14], ticks_);
  EXPECT_EQ(record_->timeCount, ticks_);

  // Close to the song's true time at its end: a sanity check of the whole chain.
  double told = 0.0;
  std::memcpy(&told, record_->lastTimeRecord, sizeof told);
  const double trueSeconds = song_.Automation().SecondsAt(song_.PositionTicks() / TicksPerBeat);
  EXPECT_NEAR(told / MillisecondsPerSecond, trueSeconds, 0.05);

  plug_.Release();
  EXPECT_EQ(record_->liveInstances, 0);
  EXPECT_EQ(record_->releases, 1);
}

INSTANTIATE_TEST_SUITE_P(Options, SongWithPlayer,
                         ::testing::Values(Options{1, 1, false}, Options{0, 1, true},
                                           Options{1, 4, true}),
                         [](const ::testing::TestParamInfo<Options>& info) {
                           const Options& o = info.param;
                           if (!o.restore) return std::string("Defaults");
                           return std::string(o.lookahead ? "LookAhead" : "NoLookAhead") + "Step" +
                                  std::to_string(o.optimise);
                         });

}  // namespace
}  // namespace tempotally::testhost
