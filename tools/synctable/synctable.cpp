// Plays DefaultSong through the timeline engine the way the host drives it, tick by tick, and
// prints at every N-th beat the true time, the host's own time and the engine's, with both errors.
#include <cinttypes>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "devhost/SongSimulator.h"
#include "timeline/TimelineEngine.h"

namespace {

using tempotally::TimelineEngine;
using tempotally::song::SongSimulator;
using tempotally::song::TempoAutomation;

constexpr int DefaultEvery = 1;

struct Options {
  int every = DefaultEvery;
  int step = tempotally::StepEveryTick;
  bool lookahead = true;
  bool bits = false;  // print every tick's elapsed time as raw bits, to compare builds
};

void Usage(const char* program) {
  std::fprintf(stderr,
               "usage: %s [--every N] [--step 1|4] [--no-lookahead] [--bits]\n"
               "  --every N       print every N-th beat (default %d)\n"
               "  --step S        summation step of the engine: 1, or 4 as with Optimise\n"
               "  --no-lookahead  play with Look ahead off\n"
               "  --bits          print tick and elapsed-time bits on every tick instead\n",
               program, DefaultEvery);
}

bool Parse(int argc, char** argv, Options& options) {
  for (int i = 1; i < argc; ++i) {
    const bool hasValue = i + 1 < argc;
    if (std::strcmp(argv[i], "--every") == 0 && hasValue) {
      options.every = std::atoi(argv[++i]);
      if (options.every < 1) return false;
    } else if (std::strcmp(argv[i], "--step") == 0 && hasValue) {
      options.step = std::atoi(argv[++i]);
      if (options.step != tempotally::StepEveryTick && options.step != tempotally::StepOptimised) {
        return false;
      }
    } else if (std::strcmp(argv[i], "--bits") == 0) {
      options.bits = true;
    } else if (std::strcmp(argv[i], "--no-lookahead") == 0) {
      options.lookahead = false;
    } else {
      return false;
    }
  }
  return true;
}

// One line a tick: the tick reached and the bits of the elapsed time there. Two builds of the
// engine that give the same lines compute the same doubles.
void PrintBits(TimelineEngine& engine, SongSimulator& sim, int step) {
  const int ticks =
      static_cast<int>(TempoAutomation::DefaultSongEndBeat) * tempotally::TicksPerBeat;
  for (int i = 0; i < ticks; ++i) {
    engine.hostTime[0] = sim.HostTimeMs();
    engine.RecordTick(sim.PositionTicks());
    sim.AdvanceTick();
    const double elapsed = engine.ElapsedSeconds(engine.currentTick, step);
    uint64_t bits;
    std::memcpy(&bits, &elapsed, sizeof bits);
    std::printf("%d %016" PRIx64 "\n", engine.currentTick, bits);
  }
}

}  // namespace

int main(int argc, char** argv) {
  Options options;
  if (!Parse(argc, argv, options)) {
    Usage(argv[0]);
    return 2;
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

  if (options.bits) {
    PrintBits(engine, sim, options.step);
    return 0;
  }

  std::printf("%6s %6s %12s %12s %12s %14s %14s\n", "beat", "bpm", "true s", "host s", "engine s",
              "engine-true", "host-true");
  const int beats = static_cast<int>(TempoAutomation::DefaultSongEndBeat);
  int changes = 0;
  for (int beat = 0; beat <= beats; ++beat) {
    if (beat % options.every == 0) {
      const double trueSeconds = sim.TrueSeconds();
      const double hostSeconds = sim.HostTimeMs() / tempotally::MillisecondsPerSecond;
      const double engineSeconds = engine.ElapsedSeconds(engine.currentTick, options.step);
      std::printf("%6d %6.1f %12.6f %12.6f %12.6f %14.9f %14.9f\n", beat,
                  sim.Automation().BpmAt(beat), trueSeconds, hostSeconds, engineSeconds,
                  engineSeconds - trueSeconds, hostSeconds - trueSeconds);
    }
    if (beat == beats) break;
    for (int i = 0; i < tempotally::TicksPerBeat; ++i) {
      engine.hostTime[0] = sim.HostTimeMs();
      changes += engine.RecordTick(sim.PositionTicks()) ? 1 : 0;
      sim.AdvanceTick();
    }
  }
  std::printf("recorded changes: %d\n", changes);
  return 0;
}
