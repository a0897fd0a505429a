// The running sum against a walk from the latest cached beat on every call: long random songs with
// steps, ramps, jumps, stops, restores, paints and step switches must give the same bits, the same
// map and the same cache.
#include <cstring>
#include <random>
#include <vector>

#include "tests/native/EngineFixture.h"
#include "timeline/StateCodec.h"

namespace tempotally::testing {
namespace {

// The summation as the engine did it before it kept a running sum: from the latest cached beat.
double WalkFromCache(TimelineEngine& e, int32_t tick, int32_t step) {
  if (step < 1) step = 1;
  e.tickDurations[0] = e.tickDurations[1];
  e.beatSums[0] = 0.0;
  const int32_t end = std::min(tick, MapTicks);
  const double beyond = tick > MapTicks ? (tick - MapTicks) * e.tickDurations[MapTicks - 1] : 0.0;
  double sum = 0.0;
  int32_t k = 0;
  for (int32_t b = std::min(end / TicksPerBeat, MapBeats - 1); b >= 0; --b) {
    if (e.beatSums[b] > BeatSumCachedThreshold || e.beatSums[b] < -BeatSumCachedThreshold) {
      sum = e.beatSums[b];
      k = b * TicksPerBeat;
      break;
    }
  }
  for (; k < end; k += std::min(step, MapTicks)) {
    double& cached = e.beatSums[k / TicksPerBeat];
    if (cached > -BeatSumCachedThreshold && cached < BeatSumCachedThreshold) cached = sum;
    sum = sum + step * e.tickDurations[k];
  }
  // As the engine does, so that a tick storing a length knows which sums to clear.
  if (end > 0) e.highestCachedBeat = std::max(e.highestCachedBeat, (end - 1) / TicksPerBeat);
  return sum + beyond;
}

uint64_t Bits(double v) {
  uint64_t bits;
  std::memcpy(&bits, &v, sizeof bits);
  return bits;
}

struct Bytes : StateWriter, StateReader {
  std::vector<uint8_t> data;
  size_t at = 0;
  void Write(const void* p, uint32_t n) override {
    data.insert(data.end(), static_cast<const uint8_t*>(p), static_cast<const uint8_t*>(p) + n);
  }
  uint32_t Read(void* p, uint32_t n) override {
    const size_t take = std::min<size_t>(n, data.size() - at);
    std::memcpy(p, data.data() + at, take);
    at += take;
    return static_cast<uint32_t>(take);
  }
};

// Applies every host call, option switch and paint to two engines alike; one sums with its running
// sum, the other walks from the cache each time.
class RunningSumTest : public ::testing::TestWithParam<uint32_t> {
 protected:
  void SetUp() override {
    for (TimelineEngine* e : {&fast, &slow}) {
      ASSERT_TRUE(e->Allocate());
      e->ResetState();
    }
  }
  template <typename F>
  void Both(F f) {
    f(fast);
    f(slow);
  }
  void ExpectSame(double a, double b, const char* what) {
    ASSERT_EQ(Bits(a), Bits(b)) << what << " at tick " << fast.currentTick << ", step "
                                << int(fast.options.optimise) << ", op " << ops;
  }
  void ExpectSameArrays() {
    ASSERT_EQ(0, std::memcmp(fast.tickDurations, slow.tickDurations, MapTicks * sizeof(double)));
    ASSERT_EQ(0, std::memcmp(fast.beatSums, slow.beatSums, MapBeats * sizeof(double)));
  }
  // A saved map with runs of ordinary, empty, negative and near-zero lengths, restored into both.
  void Restore(std::mt19937& rng) {
    TimelineEngine source;
    ASSERT_TRUE(source.Allocate());
    source.ResetState();
    source.options.optimise = std::uniform_int_distribution<int>(0, 1)(rng) ? StepOptimised : 3;
    const double lengths[] = {2e-11, 0.0, Tick120, Tick90, -Tick120, Tick120 * 3};
    for (int32_t i = 0; i < MapTicks;) {
      const int32_t run = std::uniform_int_distribution<int32_t>(1, i == 0 ? 500 : 20000)(rng);
      const double d = lengths[std::uniform_int_distribution<int>(i == 0 ? 0 : 2, 5)(rng)];
      for (int32_t j = i; j < std::min(MapTicks, i + run); ++j) source.tickDurations[j] = d;
      i += run;
    }
    Bytes saved;
    SaveState(source, saved);
    Both([&](TimelineEngine& e) {
      Bytes copy = saved;
      RestoreState(e, copy);
    });
  }

  TimelineEngine fast;
  TimelineEngine slow;
  long ops = 0;
};

TEST_P(RunningSumTest, GivesTheBitsOfAWalkFromTheCacheOnEveryTick) {
  std::mt19937 rng(GetParam());
  auto chance = [&](double p) { return std::uniform_real_distribution<double>(0, 1)(rng) < p; };
  auto ticks = [&](int32_t lo, int32_t hi) {
    return std::uniform_int_distribution<int32_t>(lo, hi)(rng);
  };
  double position = 0.0;
  double bpm = 120.0;
  double ramp = 0.0;  // BPM per tick
  long continued = 0;
  constexpr long Ticks = 120000;
  Both([](TimelineEngine& e) { e.OnTransport(TransportPlaying); });
  for (ops = 0; ops < Ticks; ++ops) {
    if (chance(0.0005)) {
      position = ticks(-100, MapTicks + 200);
      Both([&](TimelineEngine& e) { e.OnSongPosition(position); });
    }
    if (chance(0.0005)) {
      const int32_t value = ticks(0, 2);  // 2 counts as stopped
      Both([&](TimelineEngine& e) { e.OnTransport(value); });
    }
    if (chance(0.001)) {
      // Mostly the editor's toggle; sometimes a step that only a restore could bring.
      const uint8_t odd[] = {0, 2, 3, 5, 8, 48, 96, 200};
      const uint8_t step = chance(0.9) ? (fast.options.optimise == 1 ? 4 : 1) : odd[ticks(0, 7)];
      const bool ctrlClick = chance(0.5);
      Both([&](TimelineEngine& e) {
        e.options.optimise = step;
        if (ctrlClick) e.InvalidateBeatSums(e.currentTick / TicksPerBeat);
        e.paintedTick = -1;
      });
    }
    if (chance(0.0005)) Both([](TimelineEngine& e) { e.options.lookahead = e.options.lookahead ^ 1; });
    if (chance(0.0003)) Both([](TimelineEngine& e) { e.options.freeze = e.options.freeze ^ 1; });
    if (chance(0.0001)) {
      Restore(rng);
      if (HasFatalFailure()) return;
      // Near the start, where runs of empty or near-zero lengths keep the beat sums uncached.
      position = ticks(0, 3000);
      Both([&](TimelineEngine& e) { e.OnSongPosition(position); });
    }
    if (chance(0.002)) bpm = 40.0 + ticks(0, 200);                            // a step
    if (chance(0.002)) ramp = chance(0.5) ? 0.0 : (ticks(-20, 20) / 1000.0);  // a ramp or a hold
    bpm = std::min(300.0, std::max(30.0, bpm + ramp));

    // The per-tick call as the plug-in makes it.
    const double hostMs = position / TicksPerBeat * MillisecondsPerMinute / bpm;
    Both([&](TimelineEngine& e) {
      e.hostTime[0] = hostMs;
      e.RecordTick(position);
    });
    if (fast.playing == 1) position += 1.0;
    continued += fast.running.valid && fast.running.stride == fast.options.optimise ? 1 : 0;
    ExpectSame(fast.ElapsedSeconds(fast.currentTick, fast.options.optimise),
               WalkFromCache(slow, slow.currentTick, slow.options.optimise), "told time");
    if (HasFatalFailure()) return;

    if (chance(0.02)) {  // a paint, possibly of a tick the per-tick call has not reached
      const double shown = position - ticks(0, 3);
      Both([&](TimelineEngine& e) { e.songPosition = shown; });
      fast.RefreshDisplayTime();
      if (slow.playing == 0) slow.currentTick = TickFromPosition(slow.songPosition);
      if (slow.paintedTick != slow.currentTick) {
        slow.displaySeconds = WalkFromCache(slow, slow.currentTick, slow.options.optimise);
        slow.paintedTick = slow.currentTick;
      }
      ExpectSame(fast.displaySeconds, slow.displaySeconds, "shown time");
    }
    if (chance(0.002)) {  // a call elsewhere on the map, which caches sums of the other step
      const int32_t tick = ticks(-5, MapTicks + 5);
      const int32_t step = ticks(0, 1) ? StepEveryTick : StepOptimised;
      ExpectSame(fast.ElapsedSeconds(tick, step), WalkFromCache(slow, tick, step), "stray call");
    }
    if (ops % 4999 == 0) ExpectSameArrays();
    if (HasFatalFailure()) return;
  }
  ExpectSameArrays();
  // Most ticks went on from the running sum, or the comparison above proved little.
  EXPECT_GT(continued, Ticks / 2);
}

INSTANTIATE_TEST_SUITE_P(Songs, RunningSumTest, ::testing::Values(1u, 2u, 3u, 4u));

}  // namespace
}  // namespace tempotally::testing
