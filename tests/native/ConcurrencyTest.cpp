// The shared engine on several threads, as the host's mixing thread, its window thread and any
// other use it: one test for each way the former design broke, every interleaving of a few
// steps against a serial run, and a two-thread song replayed on one thread. Run under
// ThreadSanitizer by tools/test.sh, with no annotations anywhere.
//
// The interleavings are driven from here: a non-tick change whose body waits for the test holds
// the engine, as any holder would, while other threads tick and notify.
#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cmath>
#include <condition_variable>
#include <cstring>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "devhost/SongSimulator.h"
#include "editor/PaintModel.h"
#include "timeline/SharedEngine.h"

namespace tempotally::testing {
namespace {

constexpr double Tick120 = 60.0 / (120.0 * TicksPerBeat);
constexpr double Tick125 = 60.0 / (125.0 * TicksPerBeat);
constexpr double Tick90 = 60.0 / (90.0 * TicksPerBeat);
// Longer than any wait this file should see; a wait that runs out means a thread was blocked.
constexpr auto Patience = std::chrono::seconds(5);

// A flag one thread raises and another waits for, with patience.
class Event {
 public:
  void Raise() {
    std::lock_guard<std::mutex> hold(mutex_);
    raised_ = true;
    changed_.notify_all();
  }
  bool Wait() {
    std::unique_lock<std::mutex> hold(mutex_);
    return changed_.wait_for(hold, Patience, [&] { return raised_; });
  }

 private:
  std::mutex mutex_;
  std::condition_variable changed_;
  bool raised_ = false;
};

// A thread that runs the steps it is handed, one at a time, and reports each as done.
class Actor {
 public:
  Actor() : thread_([this] { Run(); }) {}
  ~Actor() {
    Do(nullptr);
    thread_.join();
  }
  // Hands over a step and waits until it is done: false when it blocked.
  bool Do(std::function<void()> step) {
    std::unique_lock<std::mutex> hold(mutex_);
    step_ = std::move(step);
    pending_ = true;
    changed_.notify_all();
    return changed_.wait_for(hold, Patience, [&] { return !pending_; });
  }

 private:
  void Run() {
    for (;;) {
      std::function<void()> step;
      {
        std::unique_lock<std::mutex> hold(mutex_);
        changed_.wait(hold, [&] { return pending_; });
        step = std::move(step_);
      }
      if (step) step();
      std::lock_guard<std::mutex> hold(mutex_);
      pending_ = false;
      changed_.notify_all();
      if (!step) return;
    }
  }

  std::mutex mutex_;
  std::condition_variable changed_;
  std::function<void()> step_;
  bool pending_ = false;
  std::thread thread_;
};

// Holds the engine through a non-tick change on a thread of its own until released.
class Holder {
 public:
  explicit Holder(SharedEngine& shared, std::function<void(TimelineEngine&)> change = nullptr)
      : thread_([this, &shared, change] {
          shared.Change([&](TimelineEngine& e) {
            if (change) change(e);
            inside_.Raise();
            release_.Wait();
          });
        }) {}
  ~Holder() { Release(); }
  bool Inside() { return inside_.Wait(); }
  void Release() {
    release_.Raise();
    if (thread_.joinable()) thread_.join();
  }

 private:
  Event inside_, release_;
  std::thread thread_;
};

HostTickReport Report(double position, double tickSeconds) {
  HostTickReport report;
  report.fromHost = true;
  report.position = position;
  report.hostTime[0] = position * tickSeconds * MillisecondsPerSecond;
  return report;
}

// A 120 BPM map, playing from `position`.
void Prepare(SharedEngine& shared, double position) {
  ASSERT_TRUE(shared.Allocate());
  shared.ResetState();
  TimelineEngine& e = shared.Unshared();
  for (int32_t t = 0; t < MapTicks; ++t) StoreLength(&e.tickDurations[t], Tick120);
  e.OnSongPosition(position);
  e.OnTransport(TransportPlaying);
  e.playStarted = 1;
}

struct BytesWriter final : StateWriter {
  std::function<void()> during;  // runs inside every write
  std::vector<uint8_t> bytes;
  void Write(const void* data, uint32_t size) override {
    if (during) during();
    bytes.insert(bytes.end(), static_cast<const uint8_t*>(data),
                 static_cast<const uint8_t*>(data) + size);
  }
};

struct BytesReader final : StateReader {
  explicit BytesReader(const std::vector<uint8_t>& from) : bytes(from) {}
  std::function<void()> during;  // runs inside every read
  const std::vector<uint8_t>& bytes;
  size_t at = 0;
  uint32_t Read(void* data, uint32_t n) override {
    if (during) during();
    n = static_cast<uint32_t>(std::min<size_t>(n, bytes.size() - at));
    std::copy(bytes.begin() + at, bytes.begin() + at + n, static_cast<uint8_t*>(data));
    at += n;
    return n;
  }
};

std::vector<uint8_t> Encode(const TimelineEngine& engine) {
  std::vector<uint8_t> bytes(MaxSavedStateBytes);
  StateEncoder encoder;
  bytes.resize(encoder.Encode(engine, bytes.data(), MaxSavedStateBytes));
  return bytes;
}

bool SameMap(const TimelineEngine& a, const TimelineEngine& b) {
  return std::memcmp(a.tickDurations, b.tickDurations, MapTicks * sizeof(double)) == 0;
}

// A paint that read the map and was then preempted while another thread restored twice: the map
// it holds must still be ours (the former design freed it on the second restore).
TEST(SharedEngineFaults, AMapThePaintHoldsOutlivesAnyNumberOfRestores) {
  SharedEngine shared;
  Prepare(shared, 500.0);
  const EngineSnapshot held = shared.Snapshot();
  std::vector<uint8_t> saved = Encode(shared.Unshared());
  Actor third;
  for (int restore = 0; restore < 3; ++restore) {
    ASSERT_TRUE(third.Do([&] {
      BytesReader reader(saved);
      shared.Restore(reader);
    }));
  }
  PaintModel model;
  BuildPaintModel(held, GraphView{1536, 0.01f, {0.0, 0.0}}, model);
  EXPECT_TRUE(model.columns[0].drawn);
  const double* now = shared.Snapshot().map;
  EXPECT_TRUE(now == held.map || now == shared.Unshared().tickDurations);
}

// A jump that comes on another thread while the engine is held (by a tick, or here by a non-tick
// change) neither runs beside the holder nor is lost: the next tick starts at the jump.
TEST(SharedEngineFaults, AJumpWhileTheEngineIsHeldLandsBeforeTheNextTick) {
  for (int round = 0; round < 40; ++round) {
    SharedEngine shared;
    Prepare(shared, 100.0);
    shared.Unshared().options.lookahead = 0;  // each tick records only its own length
    Actor host, mixer;
    {
      Holder holder(shared);
      ASSERT_TRUE(holder.Inside());
      ASSERT_TRUE(mixer.Do([&] { shared.Tick(Report(100.0, Tick125), true); }));
      ASSERT_TRUE(host.Do([&] { shared.SongPosition(1920.0); })) << "the jump waited";
    }
    ASSERT_TRUE(mixer.Do([&] { shared.Tick(Report(1920.0, Tick125), true); }));
    const TimelineEngine& e = shared.Unshared();
    EXPECT_EQ(e.currentTick, 1921) << "round " << round;
    EXPECT_NEAR(e.tickDurations[100], Tick125, 1e-12) << "the held tick was replayed";
    EXPECT_NEAR(e.tickDurations[1920], Tick125, 1e-12) << "the tick after the jump recorded there";
  }
}

// Notifications from a thread that never ticked, and ticks, while the non-tick side holds the
// engine and while a save writes to a stream that does not return: none of them waits.
TEST(SharedEngineFaults, NotificationsAndTicksNeverWaitForTheNonTickSide) {
  SharedEngine shared;
  Prepare(shared, 100.0);
  Actor stranger, mixer;
  const int32_t signature[3] = {3, 4, 0};
  auto everything = [&] {
    return stranger.Do([&] {
      shared.Transport(TransportPlaying);
      shared.SongPosition(200.0);
      shared.TimeSignature(signature);
    }) && mixer.Do([&] { shared.Tick(Report(200.0, Tick120), true); });
  };
  {
    Holder holder(shared);
    ASSERT_TRUE(holder.Inside());
    EXPECT_TRUE(everything()) << "blocked while a change held the engine";
  }
  BytesWriter stream;
  bool duringWrite = false;
  stream.during = [&] { duringWrite = duringWrite || everything(); };
  shared.Save(stream);
  EXPECT_TRUE(duringWrite) << "blocked while a save wrote";
  EXPECT_EQ(shared.Unshared().timeSignature[0], 3);
  EXPECT_EQ(shared.Unshared().currentTick, 201) << "each tick after its jump";
}

// Ticks that come while non-tick work runs (back to back, with no gap between them) never take
// that work over: it runs once, on its caller's thread, and so does the paint's formatting (the
// former design handed both to the next tick once a tick had come during every try).
TEST(SharedEngineFaults, NonTickWorkRunsOnItsCallersThreadBesideBackToBackTicks) {
  SharedEngine shared;
  Prepare(shared, 0.0);
  std::atomic<uint32_t> ticks{0};
  std::atomic<bool> stop{false};
  std::thread mixer([&] {
    for (double position = 0.0; !stop.load(); position += 1.0) {
      shared.Tick(Report(std::fmod(position, 9000.0), Tick120), true);
      ticks.fetch_add(1);
    }
  });
  const std::thread::id self = std::this_thread::get_id();
  int runs = 0, elsewhere = 0;
  for (int i = 0; i < 50; ++i) {
    shared.Change([&](TimelineEngine& e) {
      ++runs;
      if (std::this_thread::get_id() != self) {
        ++elsewhere;
        return;
      }
      // Two whole ticks during the change.
      const uint32_t seen = ticks.load();
      while (ticks.load() < seen + 2) std::this_thread::yield();
      e.paintedTick = -1;
    });
    shared.Refresh();
    PaintModel model;
    BuildPaintModel(shared.Snapshot(), GraphView{1536, 0.01f, {0.0, 0.0}}, model);
  }
  stop = true;
  mixer.join();
  EXPECT_EQ(runs, 50);
  EXPECT_EQ(elsewhere, 0);
}

// Streams that call back in on the same thread (a stream that pumps messages brings a paint and a
// click) neither hang nor lose the save or the restore.
TEST(SharedEngineFaults, StreamsThatCallBackInDoNotHang) {
  SharedEngine shared;
  Prepare(shared, 300.0);
  auto paintAndClick = [&] {
    shared.Change([](TimelineEngine& e) { e.paintedTick = -1; });
    shared.Refresh();
    PaintModel model;
    BuildPaintModel(shared.Snapshot(), GraphView{1536, 0.01f, {0.0, 0.0}}, model);
  };
  Actor window;
  BytesWriter stream;
  stream.during = paintAndClick;
  ASSERT_TRUE(window.Do([&] { shared.Save(stream); })) << "the save hung";
  EXPECT_EQ(stream.bytes, Encode(shared.Unshared()));
  std::vector<uint8_t> other = stream.bytes;
  other[other.size() - 8] ^= 0x40;  // the last run's value
  BytesReader reader(other);
  reader.during = paintAndClick;
  ASSERT_TRUE(window.Do([&] { shared.Restore(reader); })) << "the restore hung";
  EXPECT_EQ(Encode(shared.Unshared()), other);
}

// At a song's start the host reports position 0 at time 0: tick 0 has no length and takes tick 1's.
// A tick 1 that finds the engine held tells what one thread tells, at either step.
TEST(SharedEngineTest, AHeldTickOneCountsTickZeroToo) {
  for (const uint8_t step : {StepEveryTick, StepOptimised}) {
    SharedEngine shared;
    ASSERT_TRUE(shared.Allocate());
    shared.ResetState();
    shared.Change([&](TimelineEngine& e) { e.options.optimise = step; });
    shared.Transport(TransportPlaying);
    double told[2] = {shared.Tick(Report(0.0, Tick120), true).videoTimeMs, 0.0};
    {
      Holder holder(shared);
      ASSERT_TRUE(holder.Inside());
      const TickOutcome outcome = shared.Tick(Report(1.0, Tick120), true);
      EXPECT_TRUE(outcome.deferred);
      told[1] = outcome.videoTimeMs;
    }
    TimelineEngine single;
    ASSERT_TRUE(single.Allocate());
    single.ResetState();
    single.options.optimise = step;
    single.OnTransport(TransportPlaying);
    for (int t = 0; t < 2; ++t) {
      single.hostTime[0] = Report(t, Tick120).hostTime[0];
      single.RecordTick(t);
      EXPECT_DOUBLE_EQ(told[t],
                       single.ElapsedSeconds(single.currentTick, step) * MillisecondsPerSecond)
          << "tick " << t << ", step " << int{step};
    }
  }
}

// More ticks than the ring holds while the engine is held: every one is counted, the ones the ring
// held are recorded in order, and the rest only move the current tick on.
TEST(SharedEngineTest, TicksBeyondTheRingAreCountedNotLost) {
  SharedEngine shared;
  Prepare(shared, 1000.0);
  constexpr int32_t Extra = 100;
  Actor mixer;
  {
    Holder holder(shared);
    ASSERT_TRUE(holder.Inside());
    ASSERT_TRUE(mixer.Do([&] {
      for (int32_t t = 0; t < static_cast<int32_t>(DeferredTicks) + Extra; ++t) {
        EXPECT_TRUE(shared.Tick(Report(1000.0 + t, Tick90), true).deferred);
      }
    }));
  }
  const TimelineEngine& e = shared.Unshared();
  EXPECT_EQ(e.currentTick, 1000 + static_cast<int32_t>(DeferredTicks) + Extra);
  EXPECT_EQ(e.tickDurations[1000], Tick90);
  EXPECT_EQ(e.tickDurations[1000 + DeferredTicks - 1], Tick90);
  ASSERT_TRUE(mixer.Do([&] {
    EXPECT_FALSE(shared.Tick(Report(1000.0 + DeferredTicks + Extra, Tick90), true).deferred);
  }));
  EXPECT_EQ(e.currentTick, 1001 + static_cast<int32_t>(DeferredTicks) + Extra);
}

// Every interleaving of three ticks (mixing thread), two notifications (a third thread) and a
// non-tick change held open (window thread) ends in the state of a serial run in which the
// change takes effect where it entered; every tick that did not wait tells the serial time.
TEST(SharedEngineTest, EveryInterleavingEndsAsASerialRun) {
  enum Step : char { T = 't', N = 'n', Enter = 'e', Leave = 'l' };
  const double tickLengths[] = {Tick125, Tick90, Tick125};
  auto notify = [](int index, auto& target) {
    if (index == 0) target.SongPosition(3000.0);
    if (index == 1) target.Transport(TransportPlaying);
  };
  struct Serial {
    TimelineEngine& e;
    void SongPosition(double p) { e.OnSongPosition(p); }
    void Transport(int32_t v) { e.OnTransport(v); }
  };
  auto change = [](TimelineEngine& e) {
    e.options.lookahead = 0;
    e.InvalidateBeatSums(e.currentTick / TicksPerBeat);
  };

  std::string order = "tttnnel";
  std::sort(order.begin(), order.end());
  int runs = 0;
  Actor mixer, third;
  do {
    if (order.find('e') > order.find('l')) continue;
    SCOPED_TRACE(order);
    ++runs;
    SharedEngine shared;
    Prepare(shared, 1000.0);
    TimelineEngine serial;
    ASSERT_TRUE(serial.Allocate());
    std::copy(shared.Unshared().tickDurations, shared.Unshared().tickDurations + MapTicks,
              serial.tickDurations);
    serial.OnSongPosition(1000.0);
    serial.OnTransport(TransportPlaying);
    serial.playStarted = 1;
    Serial model{serial};

    std::unique_ptr<Holder> holder;
    int ticks = 0, notes = 0;
    double position = 1000.0;
    for (size_t at = 0; at < order.size(); ++at) {
      const char step = order[at];
      if (step == Enter) {
        holder = std::make_unique<Holder>(shared, change);
        ASSERT_TRUE(holder->Inside());
        change(serial);
      } else if (step == Leave) {
        holder->Release();
      } else if (step == N) {
        const int index = notes++;
        if (index == 0) position = 3000.0;
        ASSERT_TRUE(third.Do([&] { notify(index, shared); })) << "a notification waited";
        notify(index, model);
      } else {
        const double length = tickLengths[ticks++];
        const HostTickReport report = Report(position, length);
        position += 1.0;
        TickOutcome outcome;
        ASSERT_TRUE(mixer.Do([&] { outcome = shared.Tick(report, true); })) << "a tick waited";
        serial.hostTime[0] = report.hostTime[0];
        serial.RecordTick(report.position);
        const double seconds = serial.ElapsedSeconds(serial.currentTick, serial.options.optimise);
        const bool held = holder && order.find('l') > at;
        EXPECT_EQ(outcome.deferred, held);
        if (!outcome.deferred) {
          EXPECT_EQ(outcome.videoTimeMs, seconds * MillisecondsPerSecond);
        }
      }
    }
    holder.reset();
    const TimelineEngine& e = shared.Unshared();
    EXPECT_TRUE(SameMap(e, serial));
    EXPECT_EQ(e.currentTick, serial.currentTick);
    EXPECT_EQ(e.songPosition, serial.songPosition);
    EXPECT_EQ(e.playStarted, serial.playStarted);
    EXPECT_EQ(e.options.lookahead, 0);
  } while (std::next_permutation(order.begin(), order.end()));
  EXPECT_EQ(runs, 210);
}

// The window thread's operations, logged with the host events applied before each.
enum class Op { Refresh, ToggleOptimise, ToggleLookAhead, ClearCache, Restore, Save };
struct Logged {
  Op op;
  uint32_t at;            // host events (ticks and notifications) applied before it
  int32_t shownTick = 0;  // Refresh: what it showed
  double shown = 0.0;
  size_t state = 0;  // Restore: which saved state; Save: its bytes' index
};

void Apply(TimelineEngine& e, Op op) {
  switch (op) {
    case Op::Refresh:
      e.RefreshDisplayTime();
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

// A song with steps and ramps ticks on one thread, in bursts of back-to-back ticks and paced ones,
// with the transport and position notifications at each pass's start; the window thread
// refreshes, paints, toggles options, clears the cache, saves and restores. A single-threaded
// engine then replays the same events and operations in the order they took effect: the told
// times (of every tick that did not wait), what each refresh showed, every save and the final
// state must be the same bits.
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
  std::vector<TickOutcome> told(Ticks);
  std::atomic<bool> done{false};
  std::atomic<int> operations{0};
  // Each pass waits for a few of the window thread's operations, however slowly it runs (ticks
  // that wait for the engine cost the mixing thread nothing, their replay costs the window).
  constexpr int OperationsPerPass = 6;
  std::thread mixer([&] {
    int waitingInARow = 0;
    for (int32_t t = 0; t < Ticks; ++t) {
      if (t % SongTicks == 0) {
        const auto start = std::chrono::steady_clock::now();
        while (operations.load() < (t / SongTicks) * OperationsPerPass &&
               std::chrono::steady_clock::now() - start < Patience) {
          std::this_thread::yield();
        }
        shared.SongPosition(0.0);
        shared.Transport(TransportPlaying);
      }
      told[t] = shared.Tick(reports[t], true);
      waitingInARow = told[t].deferred ? waitingInARow + 1 : 0;
      // Paced like a host whenever the engine is held, so the ring never fills: ticks beyond it
      // are counted without their lengths, which no replay could match.
      if (waitingInARow > 0) {
        const auto pause = waitingInARow < static_cast<int>(DeferredTicks) / 2
                               ? std::chrono::microseconds(100)
                               : std::chrono::microseconds(5000);
        std::this_thread::sleep_for(pause);
      } else if ((t / 256) % 2 == 1) {
        std::this_thread::sleep_for(std::chrono::microseconds(20));
      }
    }
    done = true;
  });

  std::vector<Logged> log;
  std::vector<std::vector<uint8_t>> states;
  const Op cycle[] = {
      Op::Refresh, Op::Save,    Op::Refresh, Op::ToggleOptimise,  Op::Refresh, Op::ClearCache,
      Op::Restore, Op::Refresh, Op::Save,    Op::ToggleLookAhead, Op::Refresh, Op::ToggleLookAhead};
  for (size_t round = 0; !done.load(); ++round) {
    Logged entry{cycle[round % std::size(cycle)], 0};
    if (entry.op == Op::Save) {
      BytesWriter writer;
      entry.at = shared.Save(writer);
      entry.state = states.size();
      states.push_back(std::move(writer.bytes));
    } else if (entry.op == Op::Restore) {
      if (states.empty()) continue;
      entry.state = states.size() - 1;
      BytesReader reader(states[entry.state]);
      shared.Restore(reader, &entry.at);
    } else {
      entry.at = shared.Change([&](TimelineEngine& e) {
        Apply(e, entry.op);
        entry.shownTick = e.paintedTick;
        entry.shown = e.displaySeconds;
      });
    }
    if (entry.op == Op::Refresh) {
      PaintModel model;
      BuildPaintModel(shared.Snapshot(), GraphView{1536, 0.01f, {0.0, 0.0}}, model);
      EXPECT_LE(shared.Options().minimised, 2);
    }
    log.push_back(entry);
    ++operations;
  }
  mixer.join();
  ASSERT_GT(log.size(), 20u);

  TimelineEngine single;
  ASSERT_TRUE(single.Allocate());
  single.ResetState();
  size_t next = 0;
  int mismatches = 0, waited = 0;
  auto applyDue = [&](uint32_t events) {
    for (; next < log.size() && log[next].at == events; ++next) {
      const Logged& entry = log[next];
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
        Apply(single, entry.op);
        mismatches += entry.op == Op::Refresh &&
                      (single.paintedTick != entry.shownTick ||
                       std::memcmp(&single.displaySeconds, &entry.shown, sizeof entry.shown) != 0);
      }
    }
  };
  uint32_t events = 0;
  for (int32_t t = 0; t < Ticks; ++t) {
    if (t % SongTicks == 0) {
      applyDue(events++);
      single.OnSongPosition(0.0);
      applyDue(events++);
      single.OnTransport(TransportPlaying);
    }
    applyDue(events++);
    single.hostTime[0] = reports[t].hostTime[0];
    single.RecordTick(reports[t].position);
    const double seconds = single.ElapsedSeconds(single.currentTick, single.options.optimise);
    single.displaySeconds = seconds;
    single.paintedTick = single.currentTick;
    const double expected = seconds * MillisecondsPerSecond;
    if (told[t].deferred) {
      ++waited;
    } else if (std::memcmp(&expected, &told[t].videoTimeMs, sizeof expected) != 0) {
      ADD_FAILURE() << "tick " << t << ": told " << told[t].videoTimeMs << ", one thread "
                    << expected;
      if (++mismatches > 5) break;
    }
  }
  applyDue(events);
  EXPECT_EQ(next, log.size()) << "every operation took effect at a boundary of the run";
  EXPECT_EQ(mismatches, 0);
  EXPECT_LT(waited, Ticks) << "some ticks found the engine free";
  EXPECT_TRUE(SameMap(shared.Unshared(), single));
  EXPECT_EQ(Encode(shared.Unshared()), Encode(single));
}

}  // namespace
}  // namespace tempotally::testing
