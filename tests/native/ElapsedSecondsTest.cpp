// The map summation, its beat cache, the reset and the display refresh.
#include <cmath>
#include <limits>

#include "tests/native/EngineFixture.h"

namespace tempotally::testing {
namespace {

constexpr int32_t Int32Max = std::numeric_limits<int32_t>::max();
constexpr int32_t Int32Min = std::numeric_limits<int32_t>::min();
constexpr double Epsilon = std::numeric_limits<double>::epsilon();

// Tick lengths that differ from tick to tick, so that sums over different ticks differ.
double Varied(int32_t tick) { return Tick120 + (tick % 7) * 1e-4; }

class ElapsedSecondsTest : public EngineTest {
 protected:
  void FillVaried() {
    for (int32_t i = 0; i < MapTicks; ++i) engine.tickDurations[i] = Varied(i);
  }
  // The exact sum of ticks [0, tick) with step 1, tick 0 counting as tick 1.
  double Reference(int32_t tick) const {
    double sum = 0.0;
    for (int32_t k = 0; k < tick; ++k) sum += engine.tickDurations[k == 0 ? 1 : k];
    return sum;
  }
};

TEST_F(ElapsedSecondsTest, TicksAtOrBelowZeroGiveZeroAndTouchOnlyTheFirstEntries) {
  FillVaried();
  for (int32_t b = 0; b < MapBeats; ++b) engine.beatSums[b] = 1.0 + b;
  const std::vector<double> map = Map();
  const std::vector<double> sums = BeatSums();
  for (int32_t tick : {0, -1, -95, -96, -97, -1000000, Int32Min}) {
    for (int32_t step : {1, 4}) {
      EXPECT_EQ(engine.ElapsedSeconds(tick, step), 0.0) << tick << " step " << step;
    }
  }
  EXPECT_EQ(engine.tickDurations[0], map[1]);
  EXPECT_EQ(engine.beatSums[0], 0.0);
  EXPECT_TRUE(std::equal(map.begin() + 1, map.end(), engine.tickDurations + 1));
  EXPECT_TRUE(std::equal(sums.begin() + 1, sums.end(), engine.beatSums + 1));
}

TEST_F(ElapsedSecondsTest, AllZeroMapGivesZeroAndCachesNothing) {
  for (int32_t step : {1, 4}) {
    for (int32_t tick : {1, 95, 96, 97, 5000, MapTicks - 1, MapTicks, MapTicks + 10}) {
      EXPECT_EQ(engine.ElapsedSeconds(tick, step), 0.0) << tick;
    }
  }
  for (int32_t b = 0; b < MapBeats; ++b) {
    ASSERT_LT(std::fabs(engine.beatSums[b]), BeatSumCachedThreshold) << b;
  }
}

TEST_F(ElapsedSecondsTest, UniformMapGivesTicksTimesLengthWhateverTickZeroHeld) {
  FillVaried();  // tick 0 holds something else than the rest
  std::fill(engine.tickDurations + 1, engine.tickDurations + MapTicks, Tick120);
  engine.tickDurations[0] = 7.0;
  // A cold call over the whole map first, then every tick in turn through the cache.
  const double last = MapTicks - 1;
  EXPECT_NEAR(engine.ElapsedSeconds(MapTicks - 1, 1), last * Tick120,
              last * last * Tick120 * Epsilon);
  EXPECT_EQ(engine.tickDurations[0], Tick120);
  for (int32_t t = 0; t < MapTicks; ++t) {
    // n additions of a running sum at most n·d err by at most n·ε·(n·d).
    const double expected = t * Tick120;
    ASSERT_NEAR(engine.ElapsedSeconds(t, 1), expected, t * expected * Epsilon) << t;
  }
}

TEST_F(ElapsedSecondsTest, StepFourCoversUpToTheNextMultipleOfFour) {
  FillMap(Tick120);
  EXPECT_NEAR(engine.ElapsedSeconds(97, 4), 100 * Tick120, 1e-12);  // beat 1 not cached yet
  ASSERT_GT(engine.beatSums[1], BeatSumCachedThreshold);
  EXPECT_NEAR(engine.ElapsedSeconds(97, 4), 100 * Tick120, 1e-12);  // now from the cache
  for (int32_t t = 1; t <= 8; ++t) {
    EXPECT_NEAR(engine.ElapsedSeconds(t, 4), ((t + 3) / 4) * 4 * Tick120, 1e-15) << t;
  }
}

TEST_F(ElapsedSecondsTest, StepBelowOneCountsAsOne) {
  FillVaried();
  const double stepOne = engine.ElapsedSeconds(1234, 1);
  engine.InvalidateBeatSums(0);
  EXPECT_EQ(engine.ElapsedSeconds(1234, 0), stepOne);
  engine.InvalidateBeatSums(0);
  EXPECT_EQ(engine.ElapsedSeconds(1234, -4), stepOne);
  EXPECT_EQ(engine.ElapsedSeconds(1234, Int32Min), stepOne);
}

TEST_F(ElapsedSecondsTest, HugeStepVisitsOnlyTheStartingTick) {
  FillMap(Tick120);
  EXPECT_DOUBLE_EQ(engine.ElapsedSeconds(50, 1000), 1000 * Tick120);
  EXPECT_DOUBLE_EQ(engine.ElapsedSeconds(MapTicks, Int32Max), double{Int32Max} * Tick120);
}

TEST_F(ElapsedSecondsTest, OtherStepsSampleEveryStepthTickAndCacheTheFirstOfEachBeat) {
  FillVaried();
  for (int32_t step : {2, 3, 5, 7, 97, 200}) {
    engine.InvalidateBeatSums(0);
    const int32_t tick = 50 * TicksPerBeat + 13;
    double expected = 0.0;
    for (int32_t k = 0; k < tick; k += step) expected += step * Varied(k == 0 ? 1 : k);
    EXPECT_EQ(engine.ElapsedSeconds(tick, step), expected) << step;
    // Each beat holds the sum before its first visited tick, or nothing if none was visited.
    double sum = 0.0;
    int32_t lastBeat = 0;
    for (int32_t k = 0; k < tick; k += step) {
      const int32_t beat = k / TicksPerBeat;
      for (int32_t skipped = lastBeat + 1; skipped < beat; ++skipped) {
        ASSERT_EQ(engine.beatSums[skipped], 0.0) << step << " beat " << skipped;
      }
      if (beat != lastBeat) {
        ASSERT_EQ(engine.beatSums[beat], sum) << step << " beat " << beat;
      }
      lastBeat = beat;
      sum += step * Varied(k == 0 ? 1 : k);
    }
  }
}

TEST_F(ElapsedSecondsTest, SummationStartsFromTheLatestCachedBeat) {
  FillVaried();
  engine.beatSums[5] = 1000.0;
  const int32_t tick = 5 * TicksPerBeat + 2;
  EXPECT_DOUBLE_EQ(engine.ElapsedSeconds(tick, 1), 1000.0 + Varied(480) + Varied(481));
  // Below the threshold an entry counts as not cached and is filled from the earlier ones.
  engine.InvalidateBeatSums(0);
  engine.beatSums[5] = BeatSumCachedThreshold / 2;
  EXPECT_DOUBLE_EQ(engine.ElapsedSeconds(tick, 1), Reference(tick));
  EXPECT_DOUBLE_EQ(engine.beatSums[5], Reference(5 * TicksPerBeat));
  // A negative sum beyond the threshold is a cached one.
  engine.beatSums[5] = -2.0;
  EXPECT_DOUBLE_EQ(engine.ElapsedSeconds(tick, 1), -2.0 + Varied(480) + Varied(481));
}

TEST_F(ElapsedSecondsTest, ColdCallFillsEveryBeatOnTheWay) {
  FillVaried();
  engine.ElapsedSeconds(MapTicks - 1, 1);
  for (int32_t b = 1; b < MapBeats; ++b) {
    ASSERT_NEAR(engine.beatSums[b], Reference(b * TicksPerBeat), 1e-9) << b;
  }
}

TEST_F(ElapsedSecondsTest, CachedSumsAreReusedWhicheverStepMadeThem) {
  FillVaried();
  const int32_t beat = 10;
  const int32_t tick = beat * TicksPerBeat + 4;
  const double tail = Varied(beat * TicksPerBeat);

  engine.ElapsedSeconds(beat * TicksPerBeat + 1, 1);
  const double byStepOne = engine.beatSums[beat];
  EXPECT_EQ(engine.ElapsedSeconds(tick, 4), byStepOne + 4 * tail);
  EXPECT_EQ(engine.beatSums[beat], byStepOne);

  engine.InvalidateBeatSums(0);
  engine.ElapsedSeconds(beat * TicksPerBeat + 1, 4);
  const double byStepFour = engine.beatSums[beat];
  EXPECT_NE(byStepFour, byStepOne);  // the varied map makes the two samplings differ
  EXPECT_EQ(engine.ElapsedSeconds(tick, 1),
            byStepFour + tail + Varied(tick - 3) + Varied(tick - 2) + Varied(tick - 1));
  EXPECT_EQ(engine.beatSums[beat], byStepFour);
}

TEST_F(ElapsedSecondsTest, InvalidateClearsOnlyTheBeatsAfterTheGivenOne) {
  for (int32_t beat : {-1, 0, 5, 998, 999, 1000, 5000, Int32Max, Int32Min}) {
    for (int32_t b = 0; b < MapBeats; ++b) engine.beatSums[b] = 1.0 + b;
    engine.InvalidateBeatSums(beat);
    for (int32_t b = 0; b < MapBeats; ++b) {
      const bool kept = b <= beat;
      ASSERT_EQ(engine.beatSums[b], kept ? 1.0 + b : 0.0) << "beat " << beat << " entry " << b;
    }
  }
}

TEST_F(ElapsedSecondsTest, PastTheMapTimeGrowsAtTheLastTickLength) {
  FillVaried();
  engine.tickDurations[MapTicks - 1] = Tick90;  // unlike any other tick
  const double last = Tick90;
  for (int32_t step : {1, 4}) {
    engine.InvalidateBeatSums(0);
    const double whole = engine.ElapsedSeconds(MapTicks, step);
    EXPECT_NEAR(whole, Reference(MapTicks), step == 1 ? 1e-9 : 0.2) << step;
    // The same sum again, now through the cache.
    EXPECT_EQ(engine.ElapsedSeconds(MapTicks, step), whole);
    EXPECT_EQ(engine.ElapsedSeconds(MapTicks + 1, step), whole + last);
    EXPECT_EQ(engine.ElapsedSeconds(MapTicks + 1000, step), whole + 1000 * last);
    const double far = engine.ElapsedSeconds(Int32Max, step);
    EXPECT_TRUE(std::isfinite(far));
    EXPECT_DOUBLE_EQ(far, whole + double{Int32Max - MapTicks} * last);
  }
}

TEST_F(ElapsedSecondsTest, ResetClearsTheMapAndRestoresTheOptions) {
  FillVaried();
  engine.ElapsedSeconds(MapTicks, 1);
  engine.options.video = engine.options.videoontop = engine.options.freeze =
      engine.options.selection = 1;
  engine.options.minimised = 2;
  engine.options.lookahead = 0;
  engine.options.optimise = StepOptimised;
  engine.options.winleft = engine.options.wintop = 50;
  engine.options.winwidth = engine.options.winheight = 10;
  engine.ResetState();
  EXPECT_TRUE(std::all_of(engine.tickDurations, engine.tickDurations + MapTicks,
                          [](double d) { return d == 0.0; }));
  EXPECT_TRUE(
      std::all_of(engine.beatSums, engine.beatSums + MapBeats, [](double d) { return d == 0.0; }));
  EXPECT_EQ(engine.options.video + engine.options.videoontop + engine.options.freeze +
                engine.options.selection + engine.options.minimised,
            0);
  EXPECT_EQ(engine.options.lookahead, 1);
  EXPECT_EQ(engine.options.optimise, StepEveryTick);
  EXPECT_EQ(engine.options.winleft, 0);
  EXPECT_EQ(engine.options.wintop, 0);
  EXPECT_EQ(engine.options.winwidth, DefaultVideoWidth);
  EXPECT_EQ(engine.options.winheight, DefaultVideoHeight);
}

TEST_F(ElapsedSecondsTest, RefreshRecomputesOnlyWhenTheShownTickChanged) {
  FillMap(Tick120);
  engine.songPosition = 200.9;
  engine.currentTick = engine.paintedTick = 200;
  engine.displaySeconds = 42.0;
  engine.RefreshDisplayTime();
  EXPECT_EQ(engine.displaySeconds, 42.0);  // map not consulted, though it disagrees

  engine.paintedTick = -1;
  engine.RefreshDisplayTime();
  EXPECT_NEAR(engine.displaySeconds, 200 * Tick120, 1e-12);
  EXPECT_EQ(engine.paintedTick, 200);
}

TEST_F(ElapsedSecondsTest, RefreshFollowsTheHostPositionOnlyWhileStopped) {
  FillMap(Tick120);
  engine.songPosition = -3.7;
  engine.RefreshDisplayTime();
  EXPECT_EQ(engine.currentTick, -3);
  EXPECT_EQ(engine.displaySeconds, 0.0);

  engine.songPosition = 384.5;
  engine.RefreshDisplayTime();
  EXPECT_EQ(engine.currentTick, 384);
  EXPECT_NEAR(engine.displaySeconds, 384 * Tick120, 1e-12);

  engine.playing = 1;
  engine.songPosition = 1000.0;
  engine.RefreshDisplayTime();
  EXPECT_EQ(engine.currentTick, 384);
}

TEST(TickFromPositionTest, TruncatesTowardZeroWithinTheInt32Range) {
  EXPECT_EQ(TickFromPosition(0.0), 0);
  EXPECT_EQ(TickFromPosition(95.999), 95);
  EXPECT_EQ(TickFromPosition(-0.5), 0);
  EXPECT_EQ(TickFromPosition(-96.7), -96);
  EXPECT_EQ(TickFromPosition(2147483646.9), Int32Max - 1);
  EXPECT_EQ(TickFromPosition(1e300), Int32Max);
  EXPECT_EQ(TickFromPosition(std::numeric_limits<double>::infinity()), Int32Max);
  EXPECT_EQ(TickFromPosition(-1e300), Int32Min);
  EXPECT_EQ(TickFromPosition(std::nan("")), 0);
}

TEST(MeasureTickSecondsTest, DerivesTheLengthFromPositionAndHostTime) {
  // One beat at 120 BPM takes 500 ms.
  EXPECT_DOUBLE_EQ(MeasureTickSeconds(TicksPerBeat, 500.0), Tick120);
  EXPECT_DOUBLE_EQ(MeasureTickSeconds(10 * TicksPerBeat, 10 * 500.0), Tick120);
  EXPECT_TRUE(std::isnan(MeasureTickSeconds(0.0, 0.0)));
  EXPECT_TRUE(std::isinf(MeasureTickSeconds(0.0, 250.0)));
}

TEST(AllocationLifecycleTest, AllocateZeroesAndFreeReleases) {
  TimelineEngine engine;
  EXPECT_EQ(engine.ElapsedSeconds(500, 1), 0.0);  // nothing to sum before allocation
  ASSERT_TRUE(engine.Allocate());
  EXPECT_TRUE(std::all_of(engine.tickDurations, engine.tickDurations + MapTicks,
                          [](double d) { return d == 0.0; }));
  engine.Free();
  EXPECT_EQ(engine.tickDurations, nullptr);
  EXPECT_EQ(engine.beatSums, nullptr);
  engine.playing = 1;
  engine.hostTime[0] = 100.0;
  EXPECT_FALSE(engine.RecordTick(100.0));
}

}  // namespace
}  // namespace tempotally::testing
