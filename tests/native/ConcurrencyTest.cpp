// Two threads on one engine, as the host's mixing and window threads use it: a refresh's walk held
// half done while a tick changes the map, with and without the engine lock; and a song ticking
// against refreshes, saves and restores (run under ThreadSanitizer by tools/test.sh).
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <condition_variable>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "devhost/SongSimulator.h"
#include "timeline/LockedEngine.h"

namespace tempotally::testing {
namespace {

constexpr double Tick120 = 60.0 / (120.0 * TicksPerBeat);
constexpr double Tick125 = 60.0 / (125.0 * TicksPerBeat);

// One-shot signals between the two threads of a test.
class Signals {
 public:
  void Raise(int bit) {
    std::lock_guard<std::mutex> hold(mutex_);
    raised_ |= bit;
    changed_.notify_all();
  }
  void WaitAny(int bits) {
    std::unique_lock<std::mutex> hold(mutex_);
    changed_.wait(hold, [&] { return (raised_ & bits) != 0; });
  }

 private:
  std::mutex mutex_;
  std::condition_variable changed_;
  int raised_ = 0;
};
constexpr int WalkHeld = 1;
constexpr int HostDone = 2;
constexpr int HostBlocked = 4;

// The engine lock, or none at all; says when a thread has to wait for it.
class TestLock final : public EngineLock {
 public:
  TestLock(bool real, Signals& signals) : real_(real), signals_(signals) {}
  void Acquire() override {
    if (!real_) return;
    if (!mutex_.try_lock()) {
      signals_.Raise(HostBlocked);
      mutex_.lock();
    }
  }
  void Release() override {
    if (real_) mutex_.unlock();
  }

 private:
  bool real_;
  Signals& signals_;
  std::mutex mutex_;
};

// Cached beat sums that differ from a cold sum over the engine's map as it now stands.
int StaleBeatSums(const TimelineEngine& engine) {
  TimelineEngine cold;
  EXPECT_TRUE(cold.Allocate());
  int stale = 0;
  for (int32_t beat = 1; beat < MapBeats; ++beat) {
    const double cached = engine.beatSums[beat];
    if (std::fabs(cached) <= BeatSumCachedThreshold) continue;
    std::copy(engine.tickDurations, engine.tickDurations + MapTicks, cold.tickDurations);
    std::fill(cold.beatSums, cold.beatSums + MapBeats, 0.0);
    if (std::fabs(cold.ElapsedSeconds(beat * TicksPerBeat, 1) - cached) > 1e-9) ++stale;
  }
  return stale;
}

double ColdSeconds(const TimelineEngine& engine, int32_t tick) {
  TimelineEngine cold;
  EXPECT_TRUE(cold.Allocate());
  std::copy(engine.tickDurations, engine.tickDurations + MapTicks, cold.tickDurations);
  return cold.ElapsedSeconds(tick, 1);
}

// Stopped at tick 14400 over a 120 BPM map with an empty cache, a paint's refresh walks the map.
// At beat 96 of its walk the host jumps to tick 1920, starts and ticks once at 125 BPM.
TEST(EngineLockTest, RefreshHeldMidWalkLeavesNoStaleSumUnderTheLock) {
  struct Case {
    bool locked;
    bool expectStale;
  };
  for (const Case c : {Case{false, true}, Case{true, false}}) {
    SCOPED_TRACE(c.locked ? "locked" : "no lock");
    Signals signals;
    TestLock lock(c.locked, signals);
    TimelineEngine engine;
    ASSERT_TRUE(engine.Allocate());
    engine.ResetState();
    std::fill(engine.tickDurations, engine.tickDurations + MapTicks, Tick120);
    engine.OnSongPosition(14400.0);
    engine.paintedTick = -1;

    constexpr int32_t HoldAt = 96 * TicksPerBeat;
    struct Probe {
      Signals* signals;
      bool held = false;
    } probe{&signals};
    engine.walkProbeContext = &probe;
    engine.walkProbe = [](void* context, int32_t tick) {
      auto* p = static_cast<Probe*>(context);
      if (p->held || tick != HoldAt) return;
      p->held = true;
      p->signals->Raise(WalkHeld);
      p->signals->WaitAny(HostDone | HostBlocked);
    };

    std::thread paint([&] { LockedRefresh(lock, engine); });
    std::thread hostThread([&] {
      signals.WaitAny(WalkHeld);
      {
        EngineGuard guard(lock);
        engine.OnSongPosition(1920.0);
        engine.OnTransport(TransportPlaying);
      }
      HostTickReport report;
      report.fromHost = true;
      report.position = 1920.0;
      report.hostTime[0] = 1920.0 * Tick125 * MillisecondsPerSecond;
      LockedTick(lock, engine, report, false);
      signals.Raise(HostDone);
    });
    paint.join();
    hostThread.join();
    engine.walkProbe = nullptr;

    const int stale = StaleBeatSums(engine);
    EXPECT_EQ(stale > 0, c.expectStale) << stale;
    RecordProperty(c.locked ? "staleLocked" : "staleUnlocked", stale);
    const double told = engine.ElapsedSeconds(15360, 1);
    const double truth = ColdSeconds(engine, 15360);
    EXPECT_EQ(std::fabs(told - truth) > 1.0, c.expectStale) << told << " against " << truth;
    RecordProperty(c.locked ? "toldLocked" : "toldUnlocked", std::to_string(told) + " for " + std::to_string(truth));
  }
}

// A song with tempo steps ticks on one thread; the other refreshes, reads the options, saves and
// now and then restores what it saved. Under ThreadSanitizer any unguarded access is a report.
TEST(EngineLockTest, TicksAgainstPaintsSavesAndRestores) {
  using song::SongSimulator;
  using song::TempoAutomation;
  StdEngineLock lock;
  TimelineEngine engine;
  ASSERT_TRUE(engine.Allocate());
  engine.ResetState();
  constexpr int32_t SongTicks = 24 * TicksPerBeat;
  constexpr int32_t Passes = 16;
  SongSimulator song(TempoAutomation({{0.0, 120.0, false},
                                      {6.0, 90.0, false},
                                      {12.0, 150.0, false},
                                      {18.0, 100.0, false}}));

  std::mutex doneMutex;
  bool done = false;
  std::thread ticker([&] {
    { EngineGuard guard(lock); engine.OnTransport(TransportPlaying); }
    song.Start();
    for (int32_t t = 0; t < Passes * SongTicks; ++t) {
      if (t % SongTicks == 0) song.JumpTo(0.0);
      HostTickReport report;
      report.fromHost = true;
      report.position = song.PositionTicks();
      report.hostTime[0] = song.HostTimeMs();
      LockedTick(lock, engine, report, true);
      song.AdvanceTick();
    }
    std::lock_guard<std::mutex> hold(doneMutex);
    done = true;
  });

  std::vector<uint8_t> saved(MaxSavedStateBytes);
  int rounds = 0;
  for (;; ++rounds) {
    {
      std::lock_guard<std::mutex> hold(doneMutex);
      if (done) break;
    }
    EXPECT_TRUE(std::isfinite(LockedRefresh(lock, engine)));
    EXPECT_LE(LockedOptions(lock, engine).minimised, 2);
    StateEncoder encoder;
    const uint32_t size = LockedEncode(lock, engine, encoder, saved.data(), MaxSavedStateBytes);
    ASSERT_TRUE(encoder.Done());
    if (rounds % 8 == 7) {
      struct Reader final : StateReader {
        const uint8_t* at;
        const uint8_t* end;
        uint32_t Read(void* data, uint32_t n) override {
          n = std::min<uint32_t>(n, static_cast<uint32_t>(end - at));
          std::copy(at, at + n, static_cast<uint8_t*>(data));
          at += n;
          return n;
        }
      } reader;
      reader.at = saved.data();
      reader.end = saved.data() + size;
      TimelineEngine restored;
      ASSERT_TRUE(restored.Allocate());
      RestoreState(restored, reader);
      LockedAdopt(lock, engine, restored);
    }
  }
  ticker.join();
  EXPECT_GT(rounds, 0);
  for (int32_t i = 0; i < MapTicks; ++i) ASSERT_TRUE(std::isfinite(engine.tickDurations[i]));
}

}  // namespace
}  // namespace tempotally::testing
