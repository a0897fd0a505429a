// Recording tick lengths while the transport runs: start, back-fill, shift, threshold, countdown,
// jumps, freeze, and host figures the map cannot take.
#include <cmath>
#include <limits>

#include "tests/native/EngineFixture.h"

namespace tempotally::testing {
namespace {

constexpr int32_t Int32Max = std::numeric_limits<int32_t>::max();
constexpr int32_t Int32Min = std::numeric_limits<int32_t>::min();

class RecordTickTest : public EngineTest {
 protected:
  // The transport starts and the first tick arrives at `position`.
  bool Start(double position, double tickSeconds) {
    engine.OnTransport(TransportPlaying);
    return Tick(position, tickSeconds);
  }
  // Ticks the transport forward from the engine's current tick, `count` times.
  int CountChanges(int count, double tickSeconds) {
    int changes = 0;
    for (int i = 0; i < count; ++i) changes += Tick(engine.currentTick, tickSeconds) ? 1 : 0;
    return changes;
  }
  bool MapAllEqual(int32_t from, int32_t to, double value) const {
    return std::all_of(engine.tickDurations + from, engine.tickDurations + to,
                       [value](double d) { return d == value; });
  }
  // Running, at `tick`, with the first tick since the start already handled.
  void RunningAt(int32_t tick) {
    engine.playing = 1;
    engine.playStarted = 1;
    engine.currentTick = tick;
  }
};

// Stopped, Started and Running.

TEST_F(RecordTickTest, StoppedMeasuresButNeitherRecordsNorAdvances) {
  for (int32_t value : {0, 2, -1, 255}) {
    engine.OnTransport(value);
    EXPECT_EQ(engine.playing, 0) << value;
    engine.currentTick = 5;
    EXPECT_FALSE(Tick(500.0, Tick120));
    EXPECT_EQ(engine.currentTick, 5);
    EXPECT_EQ(engine.songPosition, 500.0);
    EXPECT_EQ(engine.playStarted, 0);
  }
  EXPECT_TRUE(MapAllEqual(0, MapTicks, 0.0));
}

TEST_F(RecordTickTest, TransportClearsStartAndCountdownEitherWay) {
  for (int32_t value : {TransportPlaying, 0}) {
    engine.playStarted = 1;
    engine.recentChange = 50;
    engine.OnTransport(value);
    EXPECT_EQ(engine.playing, value == TransportPlaying ? 1 : 0);
    EXPECT_EQ(engine.playStarted, 0);
    EXPECT_EQ(engine.recentChange, 0);
  }
}

TEST_F(RecordTickTest, FirstTickLatchesThePositionAndLaterTicksCountOnTheirOwn) {
  engine.options.lookahead = 0;
  engine.currentTick = 7;
  EXPECT_TRUE(Start(200.7, Tick120));
  EXPECT_EQ(engine.playStarted, 1);
  EXPECT_EQ(engine.currentTick, 201);
  EXPECT_EQ(engine.tickDurations[200], Measured(200.7, Tick120));
  // Running: the record goes to the engine's own tick, whatever position the host reports.
  EXPECT_TRUE(Tick(9000.0, Tick90));
  EXPECT_EQ(engine.tickDurations[201], Measured(9000.0, Tick90));
  EXPECT_EQ(engine.tickDurations[9000], 0.0);
  EXPECT_EQ(engine.currentTick, 202);
}

// Back-fill on start.

TEST_F(RecordTickTest, StartWithLookaheadOnAnEmptyMapFillsTheWholeMap) {
  const double measured = Measured(300.0, Tick120);
  EXPECT_TRUE(Start(300.0, Tick120));
  EXPECT_TRUE(MapAllEqual(0, MapTicks, measured));
  EXPECT_EQ(engine.currentTick, 301);
  EXPECT_EQ(engine.recentChange, RecentChangeTicks - 1);
}

TEST_F(RecordTickTest, StartWithoutLookaheadWritesTheStartTickAlone) {
  engine.options.lookahead = 0;
  EXPECT_TRUE(Start(300.0, Tick120));
  EXPECT_TRUE(MapAllEqual(0, 300, 0.0));
  EXPECT_EQ(engine.tickDurations[300], Measured(300.0, Tick120));
  EXPECT_TRUE(MapAllEqual(301, MapTicks, 0.0));
}

TEST_F(RecordTickTest, BackFillKeepsRecordedEntriesAndTheCache) {
  engine.tickDurations[10] = Tick90;
  engine.tickDurations[20] = TickEmptyThreshold / 10;   // counts as empty
  engine.tickDurations[21] = -TickEmptyThreshold / 10;  // so does this
  engine.tickDurations[22] = TickEmptyThreshold;        // recorded, however small
  engine.beatSums[3] = 7.0;
  const double measured = Measured(500.0, Tick120);
  Start(500.0, Tick120);
  EXPECT_EQ(engine.tickDurations[10], Tick90);
  EXPECT_EQ(engine.tickDurations[20], measured);
  EXPECT_EQ(engine.tickDurations[21], measured);
  EXPECT_EQ(engine.tickDurations[22], TickEmptyThreshold);
  EXPECT_TRUE(MapAllEqual(23, MapTicks, measured));
  EXPECT_EQ(engine.beatSums[3], 7.0);
}

TEST_F(RecordTickTest, RestartBackFillsOnlyTheGapsOfEarlierPlays) {
  engine.options.lookahead = 0;
  Start(50.0, Tick90);
  CountChanges(2, Tick90);  // ticks 50 to 52 recorded
  engine.OnTransport(0);
  engine.options.lookahead = 1;
  const double measured = Measured(100.0, Tick120);
  EXPECT_TRUE(Start(100.0, Tick120));
  EXPECT_TRUE(MapAllEqual(0, 50, measured));
  EXPECT_EQ(engine.tickDurations[51], Measured(51.0, Tick90));
  EXPECT_TRUE(MapAllEqual(53, MapTicks, measured));
}

TEST_F(RecordTickTest, StartAtZeroRecordsFromTheFirstMeasurableTick) {
  // Position 0 and host time 0 give no length: nothing to record or back-fill.
  EXPECT_FALSE(Start(0.0, Tick120));
  EXPECT_TRUE(MapAllEqual(0, MapTicks, 0.0));
  EXPECT_EQ(engine.currentTick, 1);
  EXPECT_TRUE(Tick(1.0, Tick120));
  const double measured = Measured(1.0, Tick120);
  EXPECT_TRUE(MapAllEqual(1, MapTicks, measured));
  EXPECT_EQ(engine.ElapsedSeconds(2, 1), 2 * measured);  // tick 0 counts as tick 1
}

// Recording while running.

TEST_F(RecordTickTest, SteadyTempoRecordsOnlyTheFirstTickAndTheCountdownRunsOut) {
  Start(0.0, Tick120);
  for (int32_t tick = 1; tick <= 300; ++tick) {
    ASSERT_EQ(Tick(tick, Tick120), tick == 1) << tick;
    ASSERT_EQ(engine.recentChange, std::max(0, RecentChangeTicks - tick)) << tick;
  }
}

TEST_F(RecordTickTest, WithoutLookaheadEveryUnrecordedTickIsAChange) {
  engine.options.lookahead = 0;
  Start(1000.0, Tick120);
  for (int i = 0; i < 200; ++i) {
    ASSERT_TRUE(Tick(engine.currentTick, Tick120)) << i;
    ASSERT_EQ(engine.recentChange, RecentChangeTicks - 1);
  }
}

TEST_F(RecordTickTest, ChangeShiftsEveryLaterTickAndClearsTheLaterBeatSums) {
  for (int32_t i = 0; i < MapTicks; ++i) engine.tickDurations[i] = Tick120 + (i % 5) * 1e-4;
  for (int32_t b = 0; b < MapBeats; ++b) engine.beatSums[b] = 1.0 + b;
  const std::vector<double> before = Map();
  const int32_t tick = 1000;  // in beat 10
  RunningAt(tick);
  const double measured = Measured(tick, Tick90);
  EXPECT_TRUE(Tick(tick, Tick90));

  const double shift = measured - before[tick];
  EXPECT_TRUE(std::equal(before.begin(), before.begin() + tick, engine.tickDurations));
  EXPECT_EQ(engine.tickDurations[tick], measured);
  for (int32_t i = tick + 1; i < MapTicks; ++i) {
    ASSERT_EQ(engine.tickDurations[i], before[i] + shift) << i;
  }
  for (int32_t b = 0; b < MapBeats; ++b) {
    ASSERT_EQ(engine.beatSums[b], b <= 10 ? 1.0 + b : 0.0) << b;
  }
  EXPECT_EQ(engine.currentTick, tick + 1);
  EXPECT_EQ(engine.recentChange, RecentChangeTicks - 1);
}

TEST_F(RecordTickTest, ChangeWithoutLookaheadTouchesItsTickAlone) {
  FillMap(Tick120);
  engine.options.lookahead = 0;
  RunningAt(1000);
  EXPECT_TRUE(Tick(1000, Tick90));
  EXPECT_TRUE(MapAllEqual(0, 1000, Tick120));
  EXPECT_EQ(engine.tickDurations[1000], Measured(1000, Tick90));
  EXPECT_TRUE(MapAllEqual(1001, MapTicks, Tick120));
}

TEST_F(RecordTickTest, DifferenceUpToTheThresholdIsNoChange) {
  const int32_t tick = 2000;
  const double measured = Measured(tick, Tick120);
  const double justOver = TickChangeThreshold * (1 + 1e-6);
  struct Case {
    double stored;
    bool changes;
  };
  for (const Case& c :
       {Case{measured + TickChangeThreshold, false}, Case{measured - TickChangeThreshold, false},
        Case{measured + TickChangeThreshold / 2, false}, Case{measured + justOver, true},
        Case{measured - justOver, true}}) {
    engine.tickDurations[tick] = c.stored;
    RunningAt(tick);
    EXPECT_EQ(Tick(tick, Tick120), c.changes) << c.stored - measured;
    EXPECT_EQ(engine.tickDurations[tick], c.changes ? measured : c.stored);
  }
}

TEST_F(RecordTickTest, EveryChangeRestartsTheCountdownAndStopClearsIt) {
  FillMap(Tick120);
  Start(500.0, Tick90);
  EXPECT_EQ(engine.recentChange, RecentChangeTicks - 1);
  CountChanges(40, Tick90);
  EXPECT_EQ(engine.recentChange, RecentChangeTicks - 41);
  EXPECT_EQ(CountChanges(1, Tick120), 1);
  EXPECT_EQ(engine.recentChange, RecentChangeTicks - 1);
  engine.OnTransport(0);
  EXPECT_EQ(engine.recentChange, 0);
}

TEST_F(RecordTickTest, JumpDuringPlaybackIsFollowedWithoutBackFill) {
  engine.options.lookahead = 0;
  Start(10.0, Tick120);
  engine.options.lookahead = 1;
  engine.OnSongPosition(5000.5);
  EXPECT_EQ(engine.songPosition, 5000.5);
  EXPECT_EQ(engine.currentTick, 5000);
  EXPECT_EQ(engine.playStarted, 1);
  EXPECT_TRUE(Tick(5000.5, Tick90));
  EXPECT_TRUE(MapAllEqual(0, 10, 0.0));
  EXPECT_TRUE(MapAllEqual(11, 5000, 0.0));
  EXPECT_TRUE(MapAllEqual(5000, MapTicks, Measured(5000.5, Tick90)));
  EXPECT_EQ(engine.currentTick, 5001);
}

TEST_F(RecordTickTest, FreezeKeepsTheMapWhileTimeMovesOn) {
  FillMap(Tick120);
  engine.options.freeze = 1;
  EXPECT_FALSE(Start(500.0, Tick90));
  EXPECT_EQ(CountChanges(300, Tick90), 0);
  EXPECT_TRUE(MapAllEqual(0, MapTicks, Tick120));
  EXPECT_EQ(engine.currentTick, 801);
  EXPECT_EQ(engine.recentChange, 0);
  EXPECT_NEAR(engine.ElapsedSeconds(engine.currentTick, 1), 801 * Tick120, 1e-12);
}

// Host figures that the map cannot take.

TEST_F(RecordTickTest, LengthsThatAreNotFinitePositiveAreNeverRecordedNorBackFilled) {
  struct Case {
    double position;
    double hostMs;
  };
  for (const Case& c : {Case{0.0, 250.0},           // infinite
                        Case{500.0, -250.0},        // negative
                        Case{500.0, 0.0},           // zero
                        Case{500.0, std::nan("")},  // not a number
                        Case{std::nan(""), 250.0}}) {
    engine.OnTransport(TransportPlaying);
    engine.hostTime[0] = c.hostMs;
    EXPECT_FALSE(engine.RecordTick(c.position)) << c.position << " " << c.hostMs;
    engine.hostTime[0] = c.hostMs;
    EXPECT_FALSE(engine.RecordTick(c.position));
    ASSERT_TRUE(MapAllEqual(0, MapTicks, 0.0)) << c.position << " " << c.hostMs;
  }
}

TEST_F(RecordTickTest, StartsOutsideTheMapStayWithinIt) {
  const double measured = Measured(150000.25, Tick120);
  EXPECT_FALSE(Start(150000.25, Tick120));
  EXPECT_TRUE(MapAllEqual(0, MapTicks, measured));
  EXPECT_EQ(engine.currentTick, 150001);

  engine.ResetState();
  EXPECT_FALSE(Start(MapTicks, Tick120));
  EXPECT_TRUE(MapAllEqual(0, MapTicks, Measured(MapTicks, Tick120)));

  engine.ResetState();
  EXPECT_TRUE(Start(MapTicks - 1, Tick120));  // the last tick records, nothing past it
  EXPECT_TRUE(MapAllEqual(0, MapTicks, Measured(MapTicks - 1, Tick120)));
  EXPECT_FALSE(Tick(MapTicks, Tick90));
  EXPECT_EQ(engine.currentTick, MapTicks + 1);
}

TEST_F(RecordTickTest, NegativeTicksAdvanceWithoutRecording) {
  Start(-3.0, Tick120);
  for (int32_t position = -2; position <= 0; ++position) EXPECT_FALSE(Tick(position, Tick120));
  EXPECT_TRUE(MapAllEqual(0, MapTicks, 0.0));
  EXPECT_EQ(engine.currentTick, 1);
  EXPECT_TRUE(Tick(1.0, Tick120));
  EXPECT_TRUE(MapAllEqual(1, MapTicks, Measured(1.0, Tick120)));
}

TEST_F(RecordTickTest, HugePositionsSaturateTheTickCount) {
  Start(1e300, Tick120);
  EXPECT_EQ(engine.currentTick, Int32Max);
  Tick(1e300, Tick120);
  EXPECT_EQ(engine.currentTick, Int32Max);
  EXPECT_TRUE(std::isfinite(engine.ElapsedSeconds(engine.currentTick, 1)));

  engine.OnSongPosition(-1e300);
  EXPECT_EQ(engine.currentTick, Int32Min);
  Tick(-1e300, Tick120);
  EXPECT_EQ(engine.currentTick, Int32Min + 1);

  Start(-1e300, Tick120);
  EXPECT_EQ(engine.currentTick, Int32Min + 1);
}

}  // namespace
}  // namespace tempotally::testing
