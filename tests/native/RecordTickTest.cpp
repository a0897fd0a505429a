// Recording tick lengths while the transport runs: start, back-fill, shift, threshold, countdown,
// jumps, freeze, and host figures the map cannot take.
#include <cmath>
#include <limits>

#include "devhost/SongSimulator.h"
#include "tests/native/EngineFixture.h"

namespace tempotally::testing {
namespace {

constexpr int32_t Int32Max = std::numeric_limits<int32_t>::max();
constexpr int32_t Int32Min = std::numeric_limits<int32_t>::min();
constexpr double Epsilon = std::numeric_limits<double>::epsilon();

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

// The back-fill keeps what was recorded and clears the sums cached past what it filled, which left
// the filled ticks out: the told time is the filled map's.
TEST_F(RecordTickTest, BackFillKeepsRecordedEntriesAndClearsTheSumsItChanged) {
  engine.tickDurations[10] = Tick90;
  engine.tickDurations[20] = TickEmptyThreshold / 10;   // counts as empty
  engine.tickDurations[21] = -TickEmptyThreshold / 10;  // so does this
  engine.tickDurations[22] = TickEmptyThreshold;        // recorded, however small
  std::fill(engine.tickDurations + 300, engine.tickDurations + 400, Tick90);
  engine.ElapsedSeconds(500, StepEveryTick);  // caches beats 1 to 5 over the empty ticks
  const double measured = Measured(500.0, Tick120);
  Start(500.0, Tick120);
  EXPECT_EQ(engine.tickDurations[10], Tick90);
  EXPECT_EQ(engine.tickDurations[20], measured);
  EXPECT_EQ(engine.tickDurations[21], measured);
  EXPECT_EQ(engine.tickDurations[22], TickEmptyThreshold);
  EXPECT_TRUE(MapAllEqual(23, 300, measured));
  EXPECT_TRUE(MapAllEqual(300, 400, Tick90));
  EXPECT_TRUE(MapAllEqual(400, MapTicks, measured));
  double plain = engine.tickDurations[1];
  for (int32_t i = 1; i < 450; ++i) plain += engine.tickDurations[i];
  EXPECT_NEAR(engine.ElapsedSeconds(450, StepEveryTick), plain, 1e-12);
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
  engine.highestCachedBeat = MapBeats - 1;  // cached by hand, so said by hand
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

// How far the measured length moved from the stored one decides: beyond the change threshold a
// change (stored, later ticks shifted, countdown, later sums cleared, repaint); beyond the drift
// threshold a silent store (the later sums cleared, nothing else); below it nothing at all.
TEST_F(RecordTickTest, StoredLengthFollowsTheMeasuredOneByHowFarItMoved) {
  const int32_t tick = 2000;  // in beat 20
  const int32_t beat = tick / TicksPerBeat;
  const double measured = Measured(tick, Tick120);
  const double justOver = TickChangeThreshold * (1 + 1e-6);
  enum Kind { Change, Drift, Nothing };
  struct Case {
    double stored;  // minus measured
    Kind kind;
  };
  for (const Case& c : {Case{justOver, Change}, Case{-justOver, Change},
                        Case{TickChangeThreshold, Drift}, Case{-TickChangeThreshold, Drift},
                        Case{TickChangeThreshold / 2, Drift}, Case{-3e-9, Drift},
                        Case{TickDriftThreshold * 2, Drift}, Case{TickDriftThreshold / 2, Nothing},
                        Case{0.0, Nothing}}) {
    SCOPED_TRACE(c.stored);
    FillMap(Tick90);
    engine.tickDurations[tick] = measured + c.stored;
    engine.ElapsedSeconds(2 * tick, StepEveryTick);  // caches the sums past the tick's beat
    const std::vector<double> map = Map();
    const std::vector<double> sums = BeatSums();
    RunningAt(tick);
    engine.recentChange = 0;

    EXPECT_EQ(Tick(tick, Tick120), c.kind == Change);  // a change is what asks for a repaint
    EXPECT_EQ(engine.tickDurations[tick], c.kind == Nothing ? map[tick] : measured);
    const double shift = c.kind == Change ? measured - map[tick] : 0.0;
    for (int32_t i = tick + 1; i < MapTicks; ++i) ASSERT_EQ(engine.tickDurations[i], map[i] + shift);
    EXPECT_EQ(engine.recentChange, c.kind == Change ? RecentChangeTicks - 1 : 0);
    for (int32_t b = 0; b < MapBeats; ++b) {
      ASSERT_EQ(engine.beatSums[b], c.kind != Nothing && b > beat ? 0.0 : sums[b]) << b;
    }
    EXPECT_EQ(engine.currentTick, tick + 1);
    // Whatever was stored, the told time is the map's plain sum.
    double plain = engine.tickDurations[1];
    for (int32_t i = 1; i < 3 * tick; ++i) plain += engine.tickDurations[i];
    EXPECT_NEAR(engine.ElapsedSeconds(3 * tick, StepEveryTick), plain, 1e-12);
  }
}

// The engine's told time against a plain sum of the lengths the host's ticks measured, tick 0
// counted as tick 1: steps, the demo's ramp and a slow ramp, with Look ahead on and off. On a ramp
// the measured length moves by far less than the change threshold each tick; keeping the stored
// one would lag by up to that threshold on every tick, and the lag would add up to tens of ms.
TEST_F(RecordTickTest, ToldTimeIsThePlainSumOfTheMeasuredLengths) {
  for (const song::NamedSong& named : song::SyncSongs()) {
    for (uint8_t lookahead : {1, 0}) {
      SCOPED_TRACE(named.name);
      SCOPED_TRACE(int(lookahead));
      engine.ResetState();
      engine.options.lookahead = lookahead;
      song::SongSimulator sim(named.tempo);
      sim.Start();
      engine.OnTransport(TransportPlaying);
      std::vector<double> measured;
      double plain = 0.0, worst = 0.0;
      const int32_t ticks = static_cast<int32_t>(named.endBeat) * TicksPerBeat;
      for (int32_t tick = 0; tick < ticks; ++tick) {
        engine.hostTime[0] = sim.HostTimeMs();
        engine.RecordTick(sim.PositionTicks());
        measured.push_back(MeasureTickSeconds(sim.PositionTicks(), sim.HostTimeMs()));
        sim.AdvanceTick();
        if (tick == 0) continue;  // tick 0's length is known from tick 1 on
        plain += tick == 1 ? 2 * measured[1] : measured[tick];
        const double told = engine.ElapsedSeconds(engine.currentTick, StepEveryTick);
        worst = std::max(worst, std::fabs(told - plain));
      }
      // What a stored length may keep of an older one, plus the rounding of two long sums.
      EXPECT_LE(worst, ticks * (TickDriftThreshold + 4 * Epsilon * plain));
    }
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

TEST_F(RecordTickTest, FreezeLeavesTheEmptyStretchBeforeTheStartEmpty) {
  engine.tickDurations[700] = Tick90;
  engine.options.freeze = 1;
  EXPECT_FALSE(Start(500.0, Tick120));
  EXPECT_TRUE(MapAllEqual(0, 700, 0.0));
  EXPECT_TRUE(MapAllEqual(701, MapTicks, 0.0));
  // Thawed, the next start back-fills as ever.
  engine.options.freeze = 0;
  engine.OnTransport(0);
  EXPECT_TRUE(Start(500.0, Tick120));
  EXPECT_TRUE(MapAllEqual(0, 500, Measured(500.0, Tick120)));
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
