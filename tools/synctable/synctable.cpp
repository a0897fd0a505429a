// Plays DefaultSong through the timeline engine the way the host drives it, tick by tick, and
// prints at every beat the true time, the host's own time and the engine's, with both errors.
// With --summary: for each song of the sync set, the told time's largest error with the recording
// rule and the saved runs of before and of now, live and after a save and a restore.
#include <algorithm>
#include <cinttypes>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string_view>
#include <vector>

#include "devhost/SongSimulator.h"
#include "timeline/StateCodec.h"
#include "timeline/TimelineEngine.h"

namespace {

using tempotally::TimelineEngine;
using tempotally::song::SongSimulator;
using tempotally::song::TempoAutomation;

struct Options {
  int step = tempotally::StepEveryTick;
  bool lookahead = true;
  bool bits = false;
  bool summary = false;
};

constexpr char Usage[] =
    "usage: synctable [--step 1|4] [--no-lookahead] [--bits] [--summary]\n"
    "  --step S        summation step of the engine: 1, or 4 as with Optimise\n"
    "  --no-lookahead  play with Look ahead off\n"
    "  --bits          print tick and elapsed-time bits on every tick instead, to compare builds\n"
    "  --summary       the largest errors of the sync set, before and now\n";

bool Parse(int argc, char** argv, Options& options) {
  for (int i = 1; i < argc; ++i) {
    const std::string_view arg = argv[i];
    if (arg == "--step" && i + 1 < argc) {
      options.step = std::atoi(argv[++i]);
      if (options.step != tempotally::StepEveryTick && options.step != tempotally::StepOptimised) {
        return false;
      }
    } else if (arg == "--bits") {
      options.bits = true;
    } else if (arg == "--summary") {
      options.summary = true;
    } else if (arg == "--no-lookahead") {
      options.lookahead = false;
    } else {
      return false;
    }
  }
  return true;
}

// The recording rule and the saved runs of before: a measured length within the change threshold
// of the stored one was not stored, and a run went on while its ticks stayed within that threshold
// of its first value.
enum class Rules { Before, Now };

struct Bytes final : tempotally::StateWriter, tempotally::StateReader {
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
  void Put32(uint32_t v) {
    for (int i = 0; i < 4; ++i) data.push_back(static_cast<uint8_t>(v >> (8 * i)));
  }
};

// The saved state as the writer of before wrote it: the keys as now, then the band's runs.
Bytes SaveBefore(const TimelineEngine& engine) {
  Bytes saved;
  tempotally::SaveState(engine, saved);
  saved.data.resize(tempotally::StateKeySectionBytes);
  double last = 0.0;
  for (int32_t i = 0; i < tempotally::MapTicks; ++i) {
    const double seconds = engine.tickDurations[i];
    if (i == 0 || seconds < last - tempotally::TickChangeThreshold ||
        seconds > last + tempotally::TickChangeThreshold) {
      const float single = static_cast<float>(seconds);
      uint32_t bits;
      std::memcpy(&bits, &single, sizeof bits);
      saved.Put32(static_cast<uint32_t>(i));
      saved.Put32(bits);
      last = seconds;
    }
  }
  saved.Put32(static_cast<uint32_t>(tempotally::StateMapTerminator));
  return saved;
}

struct Outcome {
  double sampling = 0.0;  // largest |plain sum of the measured lengths − true|, seconds
  double live = 0.0;      // largest |told − true| while the song played, seconds
  double restored = 0.0;  // the same over the saved and restored map
  size_t pairs = 0;
};

Outcome Measure(const tempotally::song::NamedSong& named, Rules rules) {
  using namespace tempotally;
  Outcome outcome;
  TimelineEngine engine;
  if (!engine.Allocate()) return outcome;
  engine.ResetState();
  SongSimulator sim(named.tempo);
  sim.Start();
  engine.OnTransport(TransportPlaying);
  const int32_t ticks = static_cast<int32_t>(named.endBeat) * TicksPerBeat;
  double measuredSum = 0.0;
  for (int32_t i = 0; i < ticks; ++i) {
    engine.hostTime[0] = sim.HostTimeMs();
    const double measured = MeasureTickSeconds(sim.PositionTicks(), sim.HostTimeMs());
    if (rules == Rules::Before && engine.playStarted == 1 && engine.currentTick >= 0 &&
        engine.currentTick < MapTicks) {
      // Freeze for one tick is the rule of before: a move within the threshold is not stored.
      const double stored = engine.tickDurations[engine.currentTick];
      const bool change =
          measured + TickChangeThreshold < stored || measured - TickChangeThreshold > stored;
      engine.options.freeze = change ? 0 : 1;
    }
    engine.RecordTick(sim.PositionTicks());
    sim.AdvanceTick();
    // The first tick's length (at position 0) is known from the second tick on.
    if (i == 0) continue;
    measuredSum += i == 1 ? 2 * measured : measured;
    const double told = engine.ElapsedSeconds(engine.currentTick, StepEveryTick);
    outcome.sampling = std::max(outcome.sampling, std::fabs(measuredSum - sim.TrueSeconds()));
    outcome.live = std::max(outcome.live, std::fabs(told - sim.TrueSeconds()));
  }
  engine.options.freeze = 0;

  Bytes saved = rules == Rules::Before ? SaveBefore(engine) : Bytes{};
  if (rules == Rules::Now) SaveState(engine, saved);
  outcome.pairs =
      (saved.data.size() - StateKeySectionBytes - StateTerminatorBytes) / StatePairBytes;
  TimelineEngine restored;
  if (!restored.Allocate()) return outcome;
  RestoreState(restored, saved);
  for (int32_t tick = 2; tick <= ticks; ++tick) {
    const double told = restored.ElapsedSeconds(tick, StepEveryTick);
    const double truth = named.tempo.SecondsAt(static_cast<double>(tick) / TicksPerBeat);
    outcome.restored = std::max(outcome.restored, std::fabs(told - truth));
  }
  return outcome;
}

// One Markdown row per song: errors in ms, before and now, live and restored, and the pairs saved.
void PrintSummary() {
  constexpr double Ms = tempotally::MillisecondsPerSecond;
  std::printf("| Song | Host's sampling | Before: live | Before: restored | Now: live | "
              "Now: restored | Pairs before | Pairs now |\n");
  std::printf("|---|---|---|---|---|---|---|---|\n");
  for (const tempotally::song::NamedSong& named : tempotally::song::SyncSongs()) {
    const Outcome before = Measure(named, Rules::Before);
    const Outcome now = Measure(named, Rules::Now);
    std::printf("| %s | %.3f ms | %.3f ms | %.3f ms | %.3f ms | %.3f ms | %zu | %zu |\n",
                named.name, now.sampling * Ms, before.live * Ms, before.restored * Ms,
                now.live * Ms, now.restored * Ms, before.pairs, now.pairs);
  }
}

}  // namespace

int main(int argc, char** argv) {
  Options options;
  if (!Parse(argc, argv, options)) {
    std::fputs(Usage, stderr);
    return 2;
  }

  if (options.summary) {
    PrintSummary();
    return 0;
  }

  TimelineEngine engine;
  if (!engine.Allocate()) {
    std::fprintf(stderr, "synctable: out of memory\n");
    return 1;
  }
  engine.ResetState();
  engine.options.lookahead = options.lookahead ? 1 : 0;
  engine.options.optimise = static_cast<uint8_t>(options.step);

  SongSimulator sim(TempoAutomation::DefaultSong());
  sim.Start();
  engine.OnTransport(tempotally::TransportPlaying);

  // With --bits one line a tick: the tick reached and the bits of the elapsed time there; two
  // builds of the engine that print the same lines compute the same doubles.
  if (!options.bits) {
    std::printf("%6s %6s %12s %12s %12s %14s %14s\n", "beat", "bpm", "true s", "host s",
                "engine s", "engine-true", "host-true");
  }
  const int ticks =
      static_cast<int>(TempoAutomation::DefaultSongEndBeat) * tempotally::TicksPerBeat;
  int changes = 0;
  for (int tick = 0;; ++tick) {
    const int beat = tick / tempotally::TicksPerBeat;
    if (!options.bits && tick % tempotally::TicksPerBeat == 0) {
      const double trueSeconds = sim.TrueSeconds();
      const double hostSeconds = sim.HostTimeMs() / tempotally::MillisecondsPerSecond;
      const double engineSeconds = engine.ElapsedSeconds(engine.currentTick, options.step);
      std::printf("%6d %6.1f %12.6f %12.6f %12.6f %14.9f %14.9f\n", beat,
                  sim.Automation().BpmAt(beat), trueSeconds, hostSeconds, engineSeconds,
                  engineSeconds - trueSeconds, hostSeconds - trueSeconds);
    }
    if (tick == ticks) break;
    engine.hostTime[0] = sim.HostTimeMs();
    changes += engine.RecordTick(sim.PositionTicks()) ? 1 : 0;
    sim.AdvanceTick();
    if (options.bits) {
      const double elapsed = engine.ElapsedSeconds(engine.currentTick, options.step);
      uint64_t bits;
      std::memcpy(&bits, &elapsed, sizeof bits);
      std::printf("%d %016" PRIx64 "\n", engine.currentTick, bits);
    }
  }
  if (!options.bits) std::printf("recorded changes: %d\n", changes);
  return 0;
}
