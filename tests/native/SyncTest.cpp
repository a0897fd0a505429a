// The engine driven tick by tick through a song with steps and a ramp, against the song's true
// time and against the host's own time.
#include <algorithm>
#include <cmath>
#include <limits>

#include "tests/native/EngineFixture.h"
#include "devhost/SongSimulator.h"

namespace tempotally::testing {
namespace {

using song::SongSimulator;
using song::TempoAutomation;

constexpr double Epsilon = std::numeric_limits<double>::epsilon();
constexpr int32_t SongBeats = static_cast<int32_t>(TempoAutomation::DefaultSongEndBeat);

// DefaultSong's one ramp; everything else is held, with its steps on beat starts.
constexpr double RampStartBeat = 64.0;
constexpr double RampEndBeat = 128.0;
constexpr double RampStartBpm = 90.0;
constexpr double RampEndBpm = 160.0;

double TickLength(double bpm) { return SecondsPerMinute / (bpm * TicksPerBeat); }

double RampBeatsPassed(int32_t beat) {
  return std::clamp(beat - RampStartBeat, 0.0, RampEndBeat - RampStartBeat);
}

// The ramp's tempo where the song has reached `beat`, or where the ramp ended.
double RampBpmReached(int32_t beat) {
  return RampStartBpm +
         (RampEndBpm - RampStartBpm) * RampBeatsPassed(beat) / (RampEndBeat - RampStartBeat);
}

// Bound on |engine − true| at the start of `beat`, for summation step 1.
//
// The engine's time is the sum over ticks k < t of its stored lengths r_k; the truth is the sum of
// the true lengths T_k. With m_k the length measured at tick k,
// r_k − T_k = (r_k − m_k) + (m_k − T_k).
//  - Recording: a tick keeps its stored length only when its measurement moves by no more than
//    1e-12 s, and no later tick writes to it again. So |r_k − m_k| <= 1e-12 s. On held stretches
//    it is 0 (up to rounding): each step moves the length by far more than that, so the first tick
//    at the new tempo is recorded and the look-ahead shift carries that value to every later tick.
//    At most 1e-12 s per ramp tick passed: the ramp's error is the host's sampling below.
//  - Discretisation: the host reports the tempo at the tick's start, so m_k = L(bpm at k) while T_k
//    is L's mean over the tick (L = 60 / (96·bpm)). Steps lie on tick boundaries, so held ticks
//    are exact; on the ramp L falls steadily, so 0 <= m_k − T_k <= L(bpm at k) − L(bpm at k+1),
//    which telescopes to L(90) − L(ramp tempo reached).
//  - Rounding: t additions to a sum below S err by at most t·ε·S; the measurement and the
//    reference add a few ε·S more, covered by the factor 2.
double StepOneBound(int32_t beat, double trueSeconds) {
  const double rampTicks = RampBeatsPassed(beat) * TicksPerBeat;
  const double recording = rampTicks * TickDriftThreshold;
  const double discretisation = TickLength(RampStartBpm) - TickLength(RampBpmReached(beat));
  const double rounding = 2.0 * beat * TicksPerBeat * Epsilon * trueSeconds;
  return recording + discretisation + rounding;
}

// With step 4 the sum is Σ 4·r_4j: the step-1 error plus the sampling term
// Σ (4·r_4j − r_4j − r_4j+1 − r_4j+2 − r_4j+3). Groups of four never straddle a step (96 is a
// multiple of 4), so held stretches add nothing. On the ramp the stored lengths never grow from
// tick to tick (each record is a newer, shorter measurement that the shift carries forward), so
// each group adds at most 3·(r_4j − r_4j+4), which telescopes to 3·(L(90) − L(ramp tempo reached)).
double StepFourBound(int32_t beat, double trueSeconds) {
  const double sampling = 3.0 * (TickLength(RampStartBpm) - TickLength(RampBpmReached(beat)));
  return StepOneBound(beat, trueSeconds) + sampling;
}

struct SyncResult {
  double worstEngineError = 0.0;
  double worstHostError = 0.0;
  double worstBound = 0.0;
};

class SyncTest : public EngineTest {
 protected:
  // Plays DefaultSong from its start with look-ahead on, checking every beat against `bound`.
  template <typename Bound>
  SyncResult Play(int32_t step, Bound bound) {
    SyncResult result;
    engine.options.optimise = static_cast<uint8_t>(step);
    SongSimulator sim(TempoAutomation::DefaultSong());
    sim.Start();
    engine.OnTransport(TransportPlaying);
    for (int32_t beat = 1; beat <= SongBeats; ++beat) {
      for (int32_t i = 0; i < TicksPerBeat; ++i) {
        engine.hostTime[0] = sim.HostTimeMs();
        engine.RecordTick(sim.PositionTicks());
        sim.AdvanceTick();
      }
      EXPECT_EQ(engine.currentTick, TickFromPosition(sim.PositionTicks()));
      const double trueSeconds = sim.TrueSeconds();
      const double engineError = engine.ElapsedSeconds(engine.currentTick, step) - trueSeconds;
      const double hostError = sim.HostTimeMs() / MillisecondsPerSecond - trueSeconds;
      const double limit = bound(beat, trueSeconds);
      EXPECT_LE(std::fabs(engineError), limit) << "beat " << beat << " step " << step;
      result.worstEngineError = std::max(result.worstEngineError, std::fabs(engineError));
      result.worstHostError = std::max(result.worstHostError, std::fabs(hostError));
      result.worstBound = std::max(result.worstBound, limit);
    }
    return result;
  }
};

TEST_F(SyncTest, EngineFollowsTheSongWithinTheDerivedBoundEveryTick) {
  const SyncResult result = Play(StepEveryTick, StepOneBound);
  // The host's own time is far off once the tempo has changed; an engine that merely passed it on
  // would fail the bound.
  EXPECT_GT(result.worstHostError, result.worstBound);
}

TEST_F(SyncTest, EngineFollowsTheSongWithinTheDerivedBoundEveryFourthTick) {
  const SyncResult result = Play(StepOptimised, StepFourBound);
  EXPECT_GT(result.worstHostError, result.worstBound);
}

TEST_F(SyncTest, EngineIsExactWhileTheTempoHolds) {
  // Up to the ramp every bound above reduces to rounding; check the host agrees too until the
  // first step, which shows both sides start from the same time.
  SongSimulator sim(TempoAutomation::DefaultSong());
  sim.Start();
  engine.OnTransport(TransportPlaying);
  for (int32_t tick = 0; tick < static_cast<int32_t>(RampStartBeat) * TicksPerBeat; ++tick) {
    engine.hostTime[0] = sim.HostTimeMs();
    engine.RecordTick(sim.PositionTicks());
    sim.AdvanceTick();
    if (tick == 0) continue;  // tick 0's length is known from tick 1 on
    const double trueSeconds = sim.TrueSeconds();
    const double rounding = 2.0 * (tick + 1) * Epsilon * trueSeconds;
    ASSERT_NEAR(engine.ElapsedSeconds(engine.currentTick, StepEveryTick), trueSeconds, rounding)
        << tick;
    if (sim.PositionTicks() < 32.0 * TicksPerBeat) {
      ASSERT_NEAR(sim.HostTimeMs() / MillisecondsPerSecond, trueSeconds, rounding) << tick;
    }
  }
}

}  // namespace
}  // namespace tempotally::testing
