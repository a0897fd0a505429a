// Benchmarks of the engine's per-tick work, each next to a plain loop over the same ticks, printed
// one pair to a line with the ratio engine / plain.
#include <benchmark/benchmark.h>

#include <algorithm>
#include <cstdio>
#include <functional>
#include <iostream>
#include <map>
#include <string>
#include <vector>

#include "bench/RecordedSong.h"
#include "bench/TickContention.h"
#include "timeline/TimelineEngine.h"

namespace tempotally {
namespace {

constexpr const char* PlainSuffix = "/plain";
// The host's worst stall from this plug-in: a change that rewrites the map and clears the cache,
// then the time at the map's last tick. Also printed in microseconds.
constexpr const char* WorstTickCase = "worst tick: change at 0, ElapsedSeconds(95999)";
constexpr const char* NoChangeCase = "per tick, no change (step 1)";
// A tick on a ramp stores its length, and should cost little more than one without a change.
constexpr const char* RampCase = "per tick on a ramp, every tick stored (step 1)";
// A tick in the middle of a beat of DefaultSong's ramp: 48 ticks past the cached beat start.
constexpr int32_t MidBeatTick = 100 * TicksPerBeat + TicksPerBeat / 2;
constexpr int32_t LastTick = MapTicks - 1;

// An engine holding the recorded song, with a warm cache.
struct Loaded {
  TimelineEngine engine;
  explicit Loaded(int32_t step) {
    engine.Allocate();
    engine.ResetState();
    engine.options.optimise = static_cast<uint8_t>(step);
    std::copy(RecordedSong().begin(), RecordedSong().end(), engine.tickDurations);
    engine.ElapsedSeconds(MapTicks, step);
  }
};

// The plain loop: ticks [from, to) of `map`, every `step`-th one weighted by `step`, onto `base`.
double PlainSum(const double* map, double base, int32_t from, int32_t to, int32_t step) {
  double sum = base;
  for (int32_t k = from; k < to; k += step) sum += step * map[k];
  return sum;
}

// From the beat cache, as after a jump: the running sum is dropped before every call.
void ElapsedWarm(benchmark::State& state, int32_t step) {
  Loaded loaded(step);
  int32_t tick = MidBeatTick;
  for (auto _ : state) {
    loaded.engine.DropRunningSum();
    benchmark::DoNotOptimize(tick);
    benchmark::DoNotOptimize(loaded.engine.ElapsedSeconds(tick, step));
  }
}

void ElapsedWarmPlain(benchmark::State& state, int32_t step) {
  Loaded loaded(step);
  const double base = loaded.engine.beatSums[MidBeatTick / TicksPerBeat];
  int32_t from = MidBeatTick / TicksPerBeat * TicksPerBeat;
  for (auto _ : state) {
    benchmark::DoNotOptimize(from);
    benchmark::DoNotOptimize(PlainSum(loaded.engine.tickDurations, base, from, MidBeatTick, step));
  }
}

void ElapsedCold(benchmark::State& state) {
  Loaded loaded(StepEveryTick);
  for (auto _ : state) {
    loaded.engine.InvalidateBeatSums(0);
    benchmark::DoNotOptimize(loaded.engine.ElapsedSeconds(LastTick, StepEveryTick));
  }
}

void ElapsedColdPlain(benchmark::State& state) {
  Loaded loaded(StepEveryTick);
  int32_t from = 0;
  for (auto _ : state) {
    benchmark::DoNotOptimize(from);
    benchmark::DoNotOptimize(
        PlainSum(loaded.engine.tickDurations, 0.0, from, LastTick, StepEveryTick));
  }
}

void TickNoChange(benchmark::State& state) {
  Loaded loaded(StepEveryTick);
  TimelineEngine& engine = loaded.engine;
  const std::vector<double> hostMs = SteadyHostTimes();
  engine.OnTransport(TransportPlaying);
  engine.playStarted = 1;
  engine.OnSongPosition(SteadyFirstTick);
  int changes = 0;
  for (auto _ : state) {
    if (engine.currentTick == SteadyEndTick) engine.OnSongPosition(SteadyFirstTick);
    const int32_t tick = engine.currentTick;
    engine.hostTime[0] = hostMs[tick - SteadyFirstTick];
    changes += engine.RecordTick(tick) ? 1 : 0;
    benchmark::DoNotOptimize(engine.ElapsedSeconds(engine.currentTick, engine.options.optimise));
  }
  if (changes != 0) state.SkipWithError("the steady stretch recorded a change");
}

// The least a tick can do: measure its length, compare it with the stored one, and add one term
// to a running sum.
void TickNoChangePlain(benchmark::State& state) {
  Loaded loaded(StepEveryTick);
  const double* map = loaded.engine.tickDurations;
  const std::vector<double> hostMs = SteadyHostTimes();
  int32_t tick = SteadyFirstTick;
  double sum = loaded.engine.ElapsedSeconds(SteadyFirstTick, StepEveryTick);
  int changes = 0;
  for (auto _ : state) {
    if (tick == SteadyEndTick) {
      tick = SteadyFirstTick;
      sum = 0.0;
    }
    const double seconds = MeasureTickSeconds(tick, hostMs[tick - SteadyFirstTick]);
    const double old = map[tick];
    changes += (seconds + TickChangeThreshold < old || seconds - TickChangeThreshold > old) ? 1 : 0;
    sum = sum + map[tick];
    ++tick;
    benchmark::DoNotOptimize(sum);
  }
  benchmark::DoNotOptimize(changes);
}

// The host's clock on alternate passes over the ramp, as a fraction of its time: each pass then
// measures every tick a little (about 5e-10 s) off what the pass before stored, within the change
// threshold and beyond the drift one, so every tick stores its length silently.
constexpr double RampClockWaver = 1e-7;

void TickRamp(benchmark::State& state) {
  Loaded loaded(StepEveryTick);
  TimelineEngine& engine = loaded.engine;
  const std::vector<double> hostMs = RampHostTimes();
  engine.OnTransport(TransportPlaying);
  engine.playStarted = 1;
  engine.OnSongPosition(RampFirstTick);
  double waver = 1.0 + RampClockWaver;
  int changes = 0;
  long stored = 0;
  for (auto _ : state) {
    if (engine.currentTick == RampEndTick) {
      engine.OnSongPosition(RampFirstTick);
      waver = waver > 1.0 ? 1.0 : 1.0 + RampClockWaver;
    }
    const int32_t tick = engine.currentTick;
    const double before = engine.tickDurations[tick];
    engine.hostTime[0] = hostMs[tick - RampFirstTick] * waver;
    changes += engine.RecordTick(tick) ? 1 : 0;
    stored += engine.tickDurations[tick] != before ? 1 : 0;
    benchmark::DoNotOptimize(engine.ElapsedSeconds(engine.currentTick, engine.options.optimise));
  }
  if (changes != 0) state.SkipWithError("the ramp recorded a change");
  if (stored != static_cast<long>(state.iterations())) {
    state.SkipWithError("not every tick of the ramp stored its length");
  }
}

// The least such a tick can do: measure, compare, store, and add one term to a running sum.
void TickRampPlain(benchmark::State& state) {
  Loaded loaded(StepEveryTick);
  double* map = loaded.engine.tickDurations;
  const std::vector<double> hostMs = RampHostTimes();
  int32_t tick = RampFirstTick;
  double sum = loaded.engine.ElapsedSeconds(RampFirstTick, StepEveryTick);
  double waver = 1.0 + RampClockWaver;
  int changes = 0;
  for (auto _ : state) {
    if (tick == RampEndTick) {
      tick = RampFirstTick;
      sum = 0.0;
      waver = waver > 1.0 ? 1.0 : 1.0 + RampClockWaver;
    }
    const double seconds = MeasureTickSeconds(tick, hostMs[tick - RampFirstTick] * waver);
    const double old = map[tick];
    changes += (seconds + TickChangeThreshold < old || seconds - TickChangeThreshold > old) ? 1 : 0;
    map[tick] = seconds;
    sum = sum + map[tick];
    ++tick;
    benchmark::DoNotOptimize(sum);
  }
  benchmark::DoNotOptimize(changes);
}

// Host times at beat 1 that alternate between the iterations (150 and 100 BPM), so that each one
// records a change; neither is the song's 120 BPM that tick 0 starts with.
constexpr double AlternatingHostMs[2] = {400.0, 600.0};

void TickChangeAtZero(benchmark::State& state) {
  Loaded loaded(StepEveryTick);
  TimelineEngine& engine = loaded.engine;
  engine.OnTransport(TransportPlaying);
  engine.playStarted = 1;
  int flip = 0;
  int changes = 0;
  for (auto _ : state) {
    engine.currentTick = 0;
    engine.hostTime[0] = AlternatingHostMs[flip];
    flip ^= 1;
    changes += engine.RecordTick(TicksPerBeat) ? 1 : 0;
    benchmark::DoNotOptimize(engine.ElapsedSeconds(LastTick, engine.options.optimise));
  }
  if (changes != static_cast<int>(state.iterations())) {
    state.SkipWithError("not every iteration recorded a change");
  }
}

// The same work done plainly: the shift added to ticks 1 to 95999, then ticks 0 to 95998 summed.
void TickChangeAtZeroPlain(benchmark::State& state) {
  Loaded loaded(StepEveryTick);
  double* map = loaded.engine.tickDurations;
  double shift = 1e-4;
  for (auto _ : state) {
    shift = -shift;
    benchmark::DoNotOptimize(shift);
    for (int32_t i = 1; i < MapTicks; ++i) map[i] += shift;
    benchmark::DoNotOptimize(PlainSum(map, 0.0, 0, LastTick, StepEveryTick));
    benchmark::ClobberMemory();
  }
}

struct Case {
  std::string id;
  std::string plainLoop;  // what the plain loop does, for the table
  std::function<void(benchmark::State&)> engine;
  std::function<void(benchmark::State&)> plain;
};

std::vector<Case> Cases() {
  return {
      {"ElapsedSeconds warm, mid-beat, step 1", "sum of 48 ticks",
       [](benchmark::State& s) { ElapsedWarm(s, StepEveryTick); },
       [](benchmark::State& s) { ElapsedWarmPlain(s, StepEveryTick); }},
      {"ElapsedSeconds warm, mid-beat, step 4", "sum of 12 ticks x4",
       [](benchmark::State& s) { ElapsedWarm(s, StepOptimised); },
       [](benchmark::State& s) { ElapsedWarmPlain(s, StepOptimised); }},
      {"ElapsedSeconds(95999) after invalidate(0)", "sum of 95999 ticks", ElapsedCold,
       ElapsedColdPlain},
      {NoChangeCase, "measure, compare, 1 addition", TickNoChange, TickNoChangePlain},
      {RampCase, "measure, compare, store, 1 addition", TickRamp, TickRampPlain},
      {WorstTickCase, "95999 ticks += shift, then summed", TickChangeAtZero, TickChangeAtZeroPlain},
  };
}

// Prints each engine case on one line with its plain loop and the ratio.
class PairReporter : public benchmark::BenchmarkReporter {
 public:
  explicit PairReporter(std::vector<Case> cases) : cases_(std::move(cases)) {}

  bool ReportContext(const Context& context) override {
    PrintBasicContext(&GetErrorStream(), context);
    std::printf("%-48s %14s %14s %8s   %s\n", "case", "engine ns", "plain ns", "ratio",
                "plain loop");
    return true;
  }

  void ReportRuns(const std::vector<Run>& runs) override {
    // With repetitions the median stands for the benchmark, otherwise its one run.
    const Run* chosen = nullptr;
    for (const Run& run : runs) {
      if (run.error_occurred) {
        std::printf("%-48s error: %s\n", run.run_name.function_name.c_str(),
                    run.error_message.c_str());
        return;
      }
      const bool median = run.run_type == Run::RT_Aggregate && run.aggregate_name == "median";
      const bool single = run.run_type == Run::RT_Iteration && run.repetitions <= 1;
      if (median || single) chosen = &run;
    }
    if (chosen == nullptr) return;

    const std::string& name = chosen->run_name.function_name;
    const double ns = chosen->GetAdjustedCPUTime() /
                      benchmark::GetTimeUnitMultiplier(chosen->time_unit) * NanosecondsPerSecond;
    const std::string suffix = PlainSuffix;
    const bool plain = name.size() > suffix.size() &&
                       name.compare(name.size() - suffix.size(), std::string::npos, suffix) == 0;
    if (!plain) {
      engineNs_[name] = ns;
      return;
    }
    const std::string id = name.substr(0, name.size() - suffix.size());
    const auto engine = engineNs_.find(id);
    if (engine == engineNs_.end()) return;
    std::printf("%-48s %14.1f %14.1f %8.2f   %s\n", id.c_str(), engine->second, ns,
                engine->second / ns, PlainLoopOf(id).c_str());
    const auto steady = engineNs_.find(NoChangeCase);
    if (id == RampCase && steady != engineNs_.end()) {
      std::printf("%-48s %14.2f x the tick without a change\n", "  the ramp's tick",
                  engine->second / steady->second);
    }
    if (id == WorstTickCase) {
      std::printf("%-48s %14.1f us\n", "  the worst single tick", engine->second / NanosPerMicro);
    }
    std::fflush(stdout);
  }

 private:
  static constexpr double NanosecondsPerSecond = 1e9;
  static constexpr double NanosPerMicro = 1e3;

  std::string PlainLoopOf(const std::string& id) const {
    for (const Case& c : cases_) {
      if (c.id == id) return c.plainLoop;
    }
    return {};
  }

  std::vector<Case> cases_;
  std::map<std::string, double> engineNs_;
};

}  // namespace
}  // namespace tempotally

int main(int argc, char** argv) {
  using tempotally::Case;
  benchmark::Initialize(&argc, argv);
  if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
  const std::vector<Case> cases = tempotally::Cases();
  // Each engine case runs right before its plain loop, which the reporter relies on.
  for (const Case& c : cases) {
    benchmark::RegisterBenchmark(c.id.c_str(), c.engine)->Unit(benchmark::kNanosecond);
    benchmark::RegisterBenchmark((c.id + tempotally::PlainSuffix).c_str(), c.plain)
        ->Unit(benchmark::kNanosecond);
  }
  tempotally::PairReporter reporter(cases);
  benchmark::RunSpecifiedBenchmarks(&reporter);
  benchmark::Shutdown();
  tempotally::PrintTickContention();
  return 0;
}
