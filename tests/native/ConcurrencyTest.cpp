// The shared engine on two threads, as the host's mixing and window threads use it: non-tick
// operations held halfway while a tick runs (the tick must not wait, the operation must land once
// and keep the tick), and a song ticking against paints, clicks, saves and restores, replayed on
// one thread in the order the operations took effect, bit for bit (run under ThreadSanitizer by
// tools/test.sh).
#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cmath>
#include <condition_variable>
#include <cstring>
#include <mutex>
#include <thread>
#include <vector>

#include "devhost/SongSimulator.h"
#include "timeline/SharedEngine.h"

namespace tempotally::testing {
namespace {

constexpr double Tick120 = 60.0 / (120.0 * TicksPerBeat);
constexpr double Tick125 = 60.0 / (125.0 * TicksPerBeat);
// Longer than any wait this file should see; a wait that runs out means a thread was blocked.
constexpr auto Patience = std::chrono::seconds(10);

// One-shot signals between the threads of a test.
class Signals {
 public:
  void Raise(int bit) {
    std::lock_guard<std::mutex> hold(mutex_);
    raised_ |= bit;
    changed_.notify_all();
  }
  // False when the wait ran out.
  bool Wait(int bit) {
    std::unique_lock<std::mutex> hold(mutex_);
    return changed_.wait_for(hold, Patience, [&] { return (raised_ & bit) != 0; });
  }

 private:
  std::mutex mutex_;
  std::condition_variable changed_;
  int raised_ = 0;
};
constexpr int Held = 1;
constexpr int TickDone = 2;

double ColdSeconds(const TimelineEngine& engine, int32_t tick, int32_t step) {
  TimelineEngine cold;
  EXPECT_TRUE(cold.Allocate());
  std::copy(engine.tickDurations, engine.tickDurations + MapTicks, cold.tickDurations);
  return cold.ElapsedSeconds(tick, step);
}

// Cached beat sums that differ from a cold sum over the engine's map as it now stands.
int StaleBeatSums(const TimelineEngine& engine) {
  int stale = 0;
  for (int32_t beat = 1; beat < MapBeats; ++beat) {
    const double cached = engine.beatSums[beat];
    if (std::fabs(cached) <= BeatSumCachedThreshold) continue;
    if (ColdSeconds(engine, beat * TicksPerBeat, 1) != cached) ++stale;
  }
  return stale;
}

HostTickReport Report(double position, double tickSeconds) {
  HostTickReport report;
  report.fromHost = true;
  report.position = position;
  report.hostTime[0] = position * tickSeconds * MillisecondsPerSecond;
  return report;
}

// Stopped at tick 14400 over a 120 BPM map with an empty cache, a non-tick operation is held
// halfway. Meanwhile the mixing thread jumps to tick 1920, starts and ticks once at 125 BPM; it
// must finish while the operation is held. The operation then starts again from the new state and
// lands once, and the tick's recording stays.
TEST(SharedEngineTest, ATickNeverWaitsForAnOperationHeldHalfway) {
  enum class Hold { RefreshMidWalk, ClickBeforePublish };
  for (const Hold hold : {Hold::RefreshMidWalk, Hold::ClickBeforePublish}) {
    SCOPED_TRACE(hold == Hold::RefreshMidWalk ? "refresh held mid-walk" : "click held");
    SharedEngine shared;
    ASSERT_TRUE(shared.Allocate());
    shared.ResetState();
    TimelineEngine& start = shared.Live();
    std::fill(start.tickDurations, start.tickDurations + MapTicks, Tick120);
    start.OnSongPosition(14400.0);
    start.paintedTick = -1;

    Signals signals;
    const std::thread::id window = std::this_thread::get_id();
    int attempts = 0;
    bool tickFinishedWhileHeld = false;
    // Holds the window thread's first attempt until the tick is done (or the wait runs out).
    auto holdFirst = [&] {
      if (std::this_thread::get_id() != window || attempts != 1) return;
      signals.Raise(Held);
      tickFinishedWhileHeld = signals.Wait(TickDone);
    };
    struct Probe {
      decltype(holdFirst)* hold;
      int* attempts;
    } probe{&holdFirst, &attempts};
    for (int i = 0; i < 2; ++i) {
      shared.State(i).walkProbeContext = &probe;
      shared.State(i).walkProbe = [](void* context, int32_t tick) {
        auto* p = static_cast<Probe*>(context);
        if (tick == 0) ++*p->attempts;  // every attempt's walk starts cold
        if (tick == 96 * TicksPerBeat) (*p->hold)();
      };
    }

    std::thread mixer([&] {
      signals.Wait(Held);
      shared.InPlace([](TimelineEngine& e) {
        e.OnSongPosition(1920.0);
        e.OnTransport(TransportPlaying);
      });
      shared.Tick(Report(1920.0, Tick125), false);
      signals.Raise(TickDone);
    });
    int32_t shownTick = 0;
    double shown = 0.0;
    if (hold == Hold::RefreshMidWalk) {
      shown = shared.Refresh(&shownTick);
    } else {
      shared.Change([&](TimelineEngine& e) {
        if (std::this_thread::get_id() == window) ++attempts;
        e.options.freeze = !e.options.freeze;
        holdFirst();
      });
    }
    mixer.join();
    for (int i = 0; i < 2; ++i) shared.State(i).walkProbe = nullptr;

    EXPECT_TRUE(tickFinishedWhileHeld) << "the tick waited for the window thread";
    EXPECT_EQ(attempts, 2) << "the held attempt is thrown away, the next one lands";
    const TimelineEngine& live = shared.Live();
    EXPECT_EQ(live.currentTick, 1921);
    EXPECT_EQ(live.tickDurations[1920], Tick125) << "the tick's recording was lost";
    EXPECT_EQ(StaleBeatSums(live), 0);
    if (hold == Hold::RefreshMidWalk) {
      EXPECT_EQ(shownTick, 1921);
      EXPECT_EQ(shown, ColdSeconds(live, 1921, 1));
    } else {
      EXPECT_EQ(live.options.freeze, 1) << "the click landed once";
    }
  }
}

// A tick-path call that stays inside, then ticks back to back, leave no gap for a copy: the
// operation is posted to the next tick, which runs it in place; once the ticks stop, an operation
// takes effect at once.
TEST(SharedEngineTest, AnOperationCompletesWhetherTicksComeBackToBackOrNotAtAll) {
  SharedEngine shared;
  ASSERT_TRUE(shared.Allocate());
  shared.ResetState();
  shared.Live().OnTransport(TransportPlaying);
  std::atomic<bool> inside{false};
  std::atomic<bool> stop{false};
  std::thread mixer([&] {
    shared.InPlace([&](TimelineEngine&) {
      inside = true;
      std::this_thread::sleep_for(std::chrono::milliseconds(30));
    });
    for (double position = 0.0; !stop.load(); position += 1.0) {
      shared.Tick(Report(std::fmod(position, 9000.0), Tick120), true);
    }
  });
  while (!inside.load()) std::this_thread::yield();
  constexpr int Changes = 21;
  for (int i = 0; i < Changes; ++i) {
    shared.Change([](TimelineEngine& e) { e.options.selection = !e.options.selection; });
    std::vector<uint8_t> saved(MaxSavedStateBytes);
    EXPECT_GT(shared.EncodeWhole(saved.data(), MaxSavedStateBytes), StateKeySectionBytes);
  }
  stop = true;
  mixer.join();
  EXPECT_EQ(shared.Live().options.selection, Changes % 2) << "each change landed once";
  const uint32_t before = shared.TickPathCalls();
  EXPECT_EQ(shared.Change([](TimelineEngine& e) { e.options.selection = !e.options.selection; }),
            before)
      << "without ticks a change takes effect at once";
  EXPECT_EQ(shared.Live().options.selection, (Changes + 1) % 2);
}

// The window thread's operations, logged with the tick boundary where each took effect.
enum class Op { Refresh, ToggleOptimise, ToggleLookAhead, ClearCache, Restore, Save };
struct Logged {
  Op op;
  uint32_t at;            // tick-path calls before it took effect
  int32_t shownTick = 0;  // Refresh: what it showed
  double shown = 0.0;
  size_t state = 0;  // Restore: which saved state; Save: its bytes' index
};

void Apply(TimelineEngine& e, Op op, int32_t& shownTick, double& shown) {
  switch (op) {
    case Op::Refresh:
      e.RefreshDisplayTime();
      shownTick = e.paintedTick;
      shown = e.displaySeconds;
      break;
    case Op::ToggleOptimise:
      e.options.optimise = e.options.optimise == StepEveryTick ? StepOptimised : StepEveryTick;
      e.paintedTick = -1;
      break;
    case Op::ToggleLookAhead:
      e.options.lookahead = !e.options.lookahead;
      break;
    case Op::ClearCache:
      e.InvalidateBeatSums(e.currentTick / TicksPerBeat);
      e.paintedTick = -1;
      break;
    case Op::Restore:
    case Op::Save:
      break;
  }
}

struct BytesReader final : StateReader {
  explicit BytesReader(const std::vector<uint8_t>& bytes)
      : at(bytes.data()), end(at + bytes.size()) {}
  uint32_t Read(void* data, uint32_t n) override {
    n = std::min<uint32_t>(n, static_cast<uint32_t>(end - at));
    std::copy(at, at + n, static_cast<uint8_t*>(data));
    at += n;
    return n;
  }
  const uint8_t* at;
  const uint8_t* end;
};

std::vector<uint8_t> Encode(const TimelineEngine& engine) {
  std::vector<uint8_t> bytes(MaxSavedStateBytes);
  StateEncoder encoder;
  bytes.resize(encoder.Encode(engine, bytes.data(), MaxSavedStateBytes));
  return bytes;
}

// The paths for a caller short of memory: a save in pieces gives the bytes of a whole save, and a
// restore read straight into the spare state gives what adopting an engine of its own gives.
TEST(SharedEngineTest, SavesAndRestoresShortOfMemoryMatchTheWholeOnes) {
  SharedEngine a, b;
  for (SharedEngine* shared : {&a, &b}) {
    ASSERT_TRUE(shared->Allocate());
    shared->ResetState();
    TimelineEngine& e = shared->Live();
    for (int32_t t = 0; t < MapTicks; ++t) e.tickDurations[t] = t < 5000 ? Tick120 : Tick125;
    e.OnSongPosition(7000.0);
    e.ElapsedSeconds(7000, 1);
  }
  std::vector<uint8_t> whole(MaxSavedStateBytes);
  whole.resize(a.EncodeWhole(whole.data(), MaxSavedStateBytes));
  std::vector<uint8_t> pieces;
  uint8_t piece[SavePieceBytes];
  a.EncodePieces(piece, sizeof piece, [&](const uint8_t* data, uint32_t size) {
    pieces.insert(pieces.end(), data, data + size);
  });
  EXPECT_EQ(pieces, whole);

  std::vector<uint8_t> other = whole;
  other[other.size() - 8] ^= 0x40;  // the last run's value
  TimelineEngine restored;
  ASSERT_TRUE(restored.Allocate());
  BytesReader reader(other);
  RestoreState(restored, reader);
  a.Adopt(restored);
  BytesReader direct(other);
  b.RestoreInPlace([&](TimelineEngine& spare) { RestoreState(spare, direct); });
  for (SharedEngine* shared : {&a, &b}) {
    const TimelineEngine& live = shared->Live();
    EXPECT_EQ(live.currentTick, 7000) << "the transport stays as the ticks left it";
    EXPECT_EQ(live.beatSums[10], 0.0) << "the cache belonged to the old map";
  }
  EXPECT_EQ(Encode(a.Live()), Encode(b.Live()));
  EXPECT_NE(Encode(a.Live()), whole);
}

// A song with steps and ramps ticks on one thread, in bursts of back-to-back ticks and paced ones;
// the window thread refreshes, reads the paint's fields, toggles options, clears the cache, saves
// and restores. A single-threaded engine then replays the same ticks and operations in the order
// they took effect: the told times, what each refresh showed, every save and the final state must
// be the same bits.
TEST(SharedEngineTest, TwoThreadsTellWhatOneThreadTellsInTheSameOrder) {
  using song::SongSimulator;
  using song::TempoAutomation;
  constexpr int32_t SongTicks = 24 * TicksPerBeat;
  constexpr int32_t Passes = 6;
  constexpr int32_t Ticks = Passes * SongTicks;
  const TempoAutomation automation(
      {{0.0, 120.0, true}, {6.0, 90.0, false}, {12.0, 150.0, true}, {18.0, 100.0, false}});
  SharedEngine shared;
  ASSERT_TRUE(shared.Allocate());
  shared.ResetState();

  // The host's figures for every tick, fixed in advance so the replay can use them.
  std::vector<HostTickReport> reports(Ticks);
  {
    SongSimulator song(automation);
    song.Start();
    for (int32_t t = 0; t < Ticks; ++t) {
      if (t % SongTicks == 0) song.JumpTo(0.0);
      reports[t] = Report(song.PositionTicks(), 0.0);
      reports[t].hostTime[0] = song.HostTimeMs();
      song.AdvanceTick();
    }
  }
  std::vector<double> told(Ticks);
  std::atomic<bool> done{false};
  std::thread mixer([&] {
    for (int32_t t = 0; t < Ticks; ++t) {
      if (t % SongTicks == 0) {
        shared.InPlace([&](TimelineEngine& e) {
          e.OnSongPosition(0.0);
          e.OnTransport(TransportPlaying);
        });
      }
      told[t] = shared.Tick(reports[t], true).videoTimeMs;
      if ((t / 256) % 2 == 1) std::this_thread::sleep_for(std::chrono::microseconds(20));
    }
    done = true;
  });

  std::vector<Logged> log;
  std::vector<std::vector<uint8_t>> states;  // saved bytes, in the order saved
  const Op cycle[] = {
      Op::Refresh, Op::Save,    Op::Refresh, Op::ToggleOptimise,  Op::Refresh, Op::ClearCache,
      Op::Restore, Op::Refresh, Op::Save,    Op::ToggleLookAhead, Op::Refresh, Op::ToggleLookAhead};
  for (size_t round = 0; !done.load(); ++round) {
    Logged entry{cycle[round % std::size(cycle)], 0};
    int32_t shownTick = 0;
    double shown = 0.0;
    if (entry.op == Op::Save) {
      std::vector<uint8_t> bytes(MaxSavedStateBytes);
      bytes.resize(shared.EncodeWhole(bytes.data(), MaxSavedStateBytes, &entry.at));
      entry.state = states.size();
      states.push_back(std::move(bytes));
    } else if (entry.op == Op::Restore) {
      if (states.empty()) continue;
      entry.state = states.size() - 1;
      TimelineEngine restored;
      ASSERT_TRUE(restored.Allocate());
      BytesReader reader(states[entry.state]);
      RestoreState(restored, reader);
      shared.Adopt(restored, &entry.at);
    } else {
      entry.at = shared.Change([&](TimelineEngine& e) { Apply(e, entry.op, shownTick, shown); });
    }
    if (entry.op == Op::Refresh) {
      entry.shownTick = shownTick;
      entry.shown = shown;
      // The paint's second read: the fields it draws, from one boundary.
      EngineOptions options{};
      int32_t recent = 0;
      shared.Read([&](const TimelineEngine& e) {
        options = e.options;
        recent = e.recentChange;
      });
      EXPECT_LE(options.minimised, 2);
      EXPECT_LE(recent, RecentChangeTicks);
    }
    log.push_back(entry);
  }
  mixer.join();
  ASSERT_GT(log.size(), 20u);

  // The replay, on one thread: operations before the tick at whose boundary they took effect.
  TimelineEngine single;
  ASSERT_TRUE(single.Allocate());
  single.ResetState();
  size_t next = 0;
  int mismatches = 0;
  int32_t lastShownTick = -1;
  double lastShown = 0.0;
  auto applyDue = [&](uint32_t calls) {
    for (; next < log.size() && log[next].at == calls; ++next) {
      const Logged& entry = log[next];
      int32_t shownTick = 0;
      double shown = 0.0;
      if (entry.op == Op::Save) {
        mismatches += Encode(single) != states[entry.state];
      } else if (entry.op == Op::Restore) {
        TimelineEngine restored;
        ASSERT_TRUE(restored.Allocate());
        BytesReader reader(states[entry.state]);
        RestoreState(restored, reader);
        std::swap(single.tickDurations, restored.tickDurations);
        single.options = restored.options;
        single.InvalidateBeatSums(-1);
        single.paintedTick = -1;
      } else {
        Apply(single, entry.op, shownTick, shown);
      }
      if (entry.op == Op::ToggleOptimise || entry.op == Op::Restore) lastShownTick = -1;
      if (entry.op != Op::Refresh) continue;
      mismatches +=
          shownTick != entry.shownTick || std::memcmp(&shown, &entry.shown, sizeof shown) != 0;
      // Within a pass the readout never goes backwards.
      if (lastShownTick >= 0 && shownTick >= lastShownTick) {
        EXPECT_GE(shown, lastShown) << "tick " << shownTick;
      }
      lastShownTick = shownTick;
      lastShown = shown;
    }
  };
  uint32_t calls = 0;
  for (int32_t t = 0; t < Ticks; ++t) {
    if (t % SongTicks == 0) {
      applyDue(calls++);
      single.OnSongPosition(0.0);
      single.OnTransport(TransportPlaying);
      lastShownTick = -1;
      lastShown = 0.0;
    }
    applyDue(calls++);
    single.hostTime[0] = reports[t].hostTime[0];
    single.RecordTick(reports[t].position);
    const double seconds = single.ElapsedSeconds(single.currentTick, single.options.optimise);
    single.displaySeconds = seconds;  // as the tick leaves the readout's time
    single.paintedTick = single.currentTick;
    const double expected = seconds * MillisecondsPerSecond;
    if (std::memcmp(&expected, &told[t], sizeof expected) != 0) {
      ADD_FAILURE() << "tick " << t << ": told " << told[t] << ", one thread " << expected;
      if (++mismatches > 5) break;
    }
  }
  applyDue(calls);
  EXPECT_EQ(next, log.size()) << "every operation took effect at a boundary of the run";
  EXPECT_EQ(mismatches, 0);
  const TimelineEngine& live = shared.Live();
  EXPECT_EQ(std::memcmp(live.tickDurations, single.tickDurations, MapTicks * sizeof(double)), 0);
  EXPECT_EQ(Encode(live), Encode(single));
}

}  // namespace
}  // namespace tempotally::testing
