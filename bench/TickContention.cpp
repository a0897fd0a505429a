// The per-tick call's own time on a mixing thread while a window thread saves and paints in a
// loop: with one lock around the engine, as the plug-in had it, and with the shared engine. The
// ticks are paced like a host's audio buffers, each timed on its own; prints the median and the
// 99.9th percentile of each on one line.
#include "bench/TickContention.h"

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <mutex>
#include <thread>
#include <vector>

#include "bench/RecordedSong.h"
#include "editor/PaintModel.h"
#include "timeline/SharedEngine.h"

namespace tempotally {
namespace {

using Clock = std::chrono::steady_clock;

constexpr int Ticks = 20000;
// Between tick starts; shorter than a 64-sample buffer at 48 kHz (1.33 ms), to keep the run short.
constexpr auto TickPeriod = std::chrono::microseconds(250);
struct Song {
  const std::vector<double>& map = RecordedSong();
  std::vector<double> hostMs = SteadyHostTimes();  // the host's time at each tick of the stretch
};

void Load(TimelineEngine& engine, const Song& song) {
  std::copy(song.map.begin(), song.map.end(), engine.tickDurations);
  engine.OnTransport(TransportPlaying);
  engine.playStarted = 1;
  engine.OnSongPosition(SteadyFirstTick);
}

// Runs `tick` Ticks times, paced, while `window` loops on another thread; returns each tick's time.
template <typename TickFn, typename WindowFn>
std::vector<double> Measure(TickFn tick, WindowFn window) {
  std::atomic<bool> stop{false};
  std::thread windowThread([&] {
    while (!stop.load(std::memory_order_relaxed)) window();
  });
  std::vector<double> ns(Ticks);
  auto next = Clock::now();
  for (int i = 0; i < Ticks; ++i) {
    next += TickPeriod;
    const auto start = Clock::now();
    tick();
    ns[i] = std::chrono::duration<double, std::nano>(Clock::now() - start).count();
    while (Clock::now() < next) {
    }
  }
  stop = true;
  windowThread.join();
  std::sort(ns.begin(), ns.end());
  return ns;
}

void PrintLine(const char* design, const std::vector<double>& sorted) {
  const double median = sorted[sorted.size() / 2];
  const double p999 = sorted[sorted.size() * 999 / 1000];
  std::printf("%-52s median %9.0f ns   99.9%% %11.0f ns   longest %11.0f ns\n", design, median,
              p999, sorted.back());
}

}  // namespace

void PrintTickContention() {
  const Song song;
  // The host's position moves on by one tick per call and jumps back at the stretch's end.
  int32_t position = SteadyFirstTick;
  auto report = [&] {
    HostTickReport r;
    r.fromHost = true;
    r.position = position;
    r.hostTime[0] = song.hostMs[position - SteadyFirstTick];
    return r;
  };
  std::vector<uint8_t> saved(MaxSavedStateBytes);
  std::printf(
      "per-tick call beside a window thread that saves and paints in a loop (%d ticks, "
      "one every %lld us)\n",
      Ticks, static_cast<long long>(TickPeriod.count()));

  {
    // The engine behind one lock: the tick, the save's encoding and the paint's two reads each
    // take it whole.
    std::mutex lock;
    TimelineEngine engine;
    engine.Allocate();
    engine.ResetState();
    Load(engine, song);
    const auto ns = Measure(
        [&] {
          std::lock_guard<std::mutex> hold(lock);
          if (position == SteadyEndTick) {
            position = SteadyFirstTick;
            engine.OnSongPosition(SteadyFirstTick);
          }
          const HostTickReport r = report();
          engine.hostTime[0] = r.hostTime[0];
          engine.RecordTick(r.position);
          engine.ElapsedSeconds(engine.currentTick, engine.options.optimise);
          ++position;
        },
        [&] {
          {
            std::lock_guard<std::mutex> hold(lock);
            StateEncoder encoder;
            encoder.Encode(engine, saved.data(), MaxSavedStateBytes);
          }
          {
            std::lock_guard<std::mutex> hold(lock);
            engine.RefreshDisplayTime();
          }
          PaintModel model;
          std::lock_guard<std::mutex> hold(lock);
          BuildPaintModel(engine, GraphView{1536, 0.01f, {0.0, 0.0}}, model);
        });
    PrintLine("one engine lock (before)", ns);
  }
  {
    SharedEngine shared;
    shared.Allocate();
    shared.ResetState();
    Load(shared.Live(), song);
    position = SteadyFirstTick;
    const auto ns = Measure(
        [&] {
          // The jump back is the host's position notification on this thread.
          if (position == SteadyEndTick) {
            position = SteadyFirstTick;
            shared.InPlace([](TimelineEngine& e) { e.OnSongPosition(SteadyFirstTick); });
          }
          shared.Tick(report(), true);
          ++position;
        },
        [&] {
          shared.EncodeWhole(saved.data(), MaxSavedStateBytes);
          shared.Refresh();
          PaintModel model;
          shared.Read([&](const TimelineEngine& e) {
            BuildPaintModel(e, GraphView{1536, 0.01f, {0.0, 0.0}}, model);
          });
        });
    PrintLine("two states, one word (now)", ns);
  }
}

}  // namespace tempotally
