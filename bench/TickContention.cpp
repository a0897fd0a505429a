// The engine's sharing between threads under load, the former design beside the current one:
// - the per-tick call's own time on a mixing thread, paced like a host's audio buffers, while a
//   window thread saves, restores, paints and toggles in a loop;
// - the time a host notification takes on a thread that never ticks, while the window thread
//   saves to a slow stream and the mixing thread ticks.
// Prints the median, the 99.9th percentile and the longest of each.
#include "bench/TickContention.h"

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <thread>
#include <vector>

#include "bench/LegacySharedEngine.h"
#include "bench/RecordedSong.h"
#include "editor/PaintModel.h"
#include "timeline/SharedEngine.h"

namespace tempotally {
namespace {

using Clock = std::chrono::steady_clock;

constexpr int Ticks = 20000;
// Between tick starts; shorter than a 64-sample buffer at 48 kHz (1.33 ms), to keep the run short.
constexpr auto TickPeriod = std::chrono::microseconds(250);
constexpr int Notifications = 5000;
constexpr auto NotificationPeriod = std::chrono::microseconds(200);
// A slow stream: each write of a save takes this long.
constexpr auto SlowWrite = std::chrono::milliseconds(2);
const GraphView BenchView{1536, 0.01f, {0.0, 0.0}};

struct Song {
  const std::vector<double>& map = RecordedSong();
  std::vector<double> hostMs = SteadyHostTimes();  // the host's time at each tick of the stretch
};

void Load(TimelineEngine& engine, const Song& song) {
  for (size_t t = 0; t < song.map.size() && t < static_cast<size_t>(MapTicks); ++t) {
    StoreLength(&engine.tickDurations[t], song.map[t]);
  }
  engine.OnTransport(TransportPlaying);
  engine.playStarted = 1;
  engine.OnSongPosition(SteadyFirstTick);
}

// The host's position moves on by one tick per call and jumps back at the stretch's end.
class Host {
 public:
  explicit Host(const Song& song) : song_(song) {}
  bool AtEnd() const { return position_ == SteadyEndTick; }
  void Rewind() { position_ = SteadyFirstTick; }
  HostTickReport Next() {
    HostTickReport r;
    r.fromHost = true;
    r.position = position_;
    r.hostTime[0] = song_.hostMs[position_ - SteadyFirstTick];
    ++position_;
    return r;
  }

 private:
  const Song& song_;
  int32_t position_ = SteadyFirstTick;
};

// Runs `call` `count` times, paced by `period`, while `other` loops on another thread; returns
// each call's time, sorted.
template <typename CallFn, typename OtherFn>
std::vector<double> Measure(int count, Clock::duration period, CallFn call, OtherFn other) {
  std::atomic<bool> stop{false};
  std::thread otherThread([&] {
    while (!stop.load(std::memory_order_relaxed)) other();
  });
  std::vector<double> ns(count);
  auto next = Clock::now();
  for (int i = 0; i < count; ++i) {
    next += period;
    const auto start = Clock::now();
    call(i);
    ns[i] = std::chrono::duration<double, std::nano>(Clock::now() - start).count();
    while (Clock::now() < next) {
    }
  }
  stop = true;
  otherThread.join();
  std::sort(ns.begin(), ns.end());
  return ns;
}

void PrintLine(const char* design, const std::vector<double>& sorted) {
  const double median = sorted[sorted.size() / 2];
  const double p999 = sorted[sorted.size() * 999 / 1000];
  std::printf("  %-44s median %9.0f ns   99.9%% %11.0f ns   longest %11.0f ns\n", design, median,
              p999, sorted.back());
}

struct NullWriter final : StateWriter {
  void Write(const void*, uint32_t) override {}
};
struct SlowWriter final : StateWriter {
  void Write(const void*, uint32_t) override { std::this_thread::sleep_for(SlowWrite); }
};
struct BytesReader final : StateReader {
  explicit BytesReader(const std::vector<uint8_t>& bytes) : bytes_(bytes) {}
  uint32_t Read(void* data, uint32_t n) override {
    n = static_cast<uint32_t>(std::min<size_t>(n, bytes_.size() - at_));
    std::copy(bytes_.begin() + at_, bytes_.begin() + at_ + n, static_cast<uint8_t*>(data));
    at_ += n;
    return n;
  }

 private:
  const std::vector<uint8_t>& bytes_;
  size_t at_ = 0;
};

std::vector<uint8_t> SavedSong(const Song& song) {
  TimelineEngine engine;
  engine.Allocate();
  engine.ResetState();
  Load(engine, song);
  std::vector<uint8_t> bytes(MaxSavedStateBytes);
  StateEncoder encoder;
  bytes.resize(encoder.Encode(engine, bytes.data(), MaxSavedStateBytes));
  return bytes;
}

void TickBesideWindow(const Song& song, const std::vector<uint8_t>& saved) {
  std::vector<uint8_t> out(MaxSavedStateBytes);
  PaintModel model;
  {
    legacy::LegacySharedEngine shared;
    shared.Allocate();
    shared.ResetState();
    Load(shared.Live(), song);
    Host host(song);
    const auto ns = Measure(
        Ticks, TickPeriod,
        [&](int) {
          if (host.AtEnd()) {
            host.Rewind();
            shared.InPlace([](TimelineEngine& e) { e.OnSongPosition(SteadyFirstTick); });
          }
          shared.Tick(host.Next(), true);
        },
        [&] {
          shared.EncodeWhole(out.data(), MaxSavedStateBytes);
          TimelineEngine restored;
          restored.Allocate();
          BytesReader reader(saved);
          RestoreState(restored, reader);
          shared.Adopt(restored);
          shared.Refresh();
          shared.Read(
              [&](const TimelineEngine& e) { BuildPaintModel(SnapshotOf(e), BenchView, model); });
          shared.Change([](TimelineEngine& e) { e.options.selection = !e.options.selection; });
        });
    PrintLine("two states, one word (before)", ns);
  }
  {
    SharedEngine shared;
    shared.Allocate();
    shared.ResetState();
    Load(shared.Unshared(), song);
    Host host(song);
    NullWriter writer;
    const auto ns = Measure(
        Ticks, TickPeriod,
        [&](int) {
          if (host.AtEnd()) {
            host.Rewind();
            shared.SongPosition(SteadyFirstTick);
          }
          shared.Tick(host.Next(), true);
        },
        [&] {
          shared.Save(writer);
          BytesReader reader(saved);
          shared.Restore(reader);
          shared.Refresh();
          BuildPaintModel(shared.Snapshot(), BenchView, model);
          shared.Change([](TimelineEngine& e) { e.options.selection = !e.options.selection; });
        });
    PrintLine("one owner per piece, a gate (now)", ns);
  }
}

// The ticks run on a thread of their own; the measured thread notifies and never ticks.
template <typename TickFn, typename NotifyFn, typename SaveFn>
std::vector<double> NotifyBesideSaves(TickFn tick, NotifyFn notify, SaveFn save) {
  std::atomic<bool> stop{false};
  std::thread mixer([&] {
    auto next = Clock::now();
    while (!stop.load(std::memory_order_relaxed)) {
      next += TickPeriod;
      tick();
      std::this_thread::sleep_until(next);
    }
  });
  auto ns = Measure(Notifications, NotificationPeriod, notify, save);
  stop = true;
  mixer.join();
  return ns;
}

void NotificationBesideSlowSaves(const Song& song) {
  const int32_t signature[3] = {4, 4, 0};
  {
    legacy::LegacySharedEngine shared;
    shared.Allocate();
    shared.ResetState();
    Load(shared.Live(), song);
    Host host(song);
    std::vector<uint8_t> out(MaxSavedStateBytes);
    SlowWriter writer;
    const auto ns = NotifyBesideSaves(
        [&] {
          if (host.AtEnd()) host.Rewind();
          shared.Tick(host.Next(), true);
        },
        [&](int i) {
          // Not the thread that ticks: the change path.
          if (i % 2 == 0) {
            shared.Change(
                [&](TimelineEngine& e) { std::copy(signature, signature + 3, e.timeSignature); });
          } else {
            shared.Change([](TimelineEngine& e) { e.OnTransport(TransportPlaying); });
          }
        },
        [&] {
          // The pieces are written while the non-tick side is held, as a save short of memory
          // does; a whole save holds it for the copy and the encoding.
          uint8_t piece[SavePieceBytes];
          shared.EncodePieces(piece, sizeof piece, [&](const uint8_t* data, uint32_t size) {
            writer.Write(data, size);
          });
        });
    PrintLine("two states, one word (before)", ns);
  }
  {
    SharedEngine shared;
    shared.Allocate();
    shared.ResetState();
    Load(shared.Unshared(), song);
    Host host(song);
    SlowWriter writer;
    const auto ns = NotifyBesideSaves(
        [&] {
          if (host.AtEnd()) host.Rewind();
          shared.Tick(host.Next(), true);
        },
        [&](int i) {
          if (i % 2 == 0) {
            shared.TimeSignature(signature);
          } else {
            shared.Transport(TransportPlaying);
          }
        },
        [&] { shared.Save(writer); });
    PrintLine("one owner per piece, a gate (now)", ns);
  }
}

}  // namespace

void PrintTickContention() {
  const Song song;
  const std::vector<uint8_t> saved = SavedSong(song);
  std::printf(
      "per-tick call beside a window thread that saves, restores, paints and toggles in a loop "
      "(%d ticks, one every %lld us)\n",
      Ticks, static_cast<long long>(TickPeriod.count()));
  TickBesideWindow(song, saved);
  std::printf(
      "notification on a thread that never ticks, beside saves to a stream of %lld ms a write "
      "and ticks on a third thread (%d notifications)\n",
      static_cast<long long>(SlowWrite.count()), Notifications);
  NotificationBesideSlowSaves(song);
}

}  // namespace tempotally
