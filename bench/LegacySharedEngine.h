// The engine's former sharing between threads, kept only so the bench can set it beside the
// current one (timeline/SharedEngine.h); nothing else uses it.
//
// One plug-in object's engine as two threads use it: the host's mixing thread ticks, its window
// thread (and any other) paints, clicks, saves and restores. The tick never waits for anyone.
//
// Two complete engine states and one atomic word. The word holds which state is live (bit 0) and
// a sequence that goes up by one as a tick-path call enters and again as it leaves, so an odd
// sequence (bit 1) means a tick is inside. The tick path works on the live state in place, with
// one fetch_add on entry and one on exit: wait-free, no allocation.
//
// Everything else runs on the non-tick side, one caller at a time under a mutex that the tick
// never takes. A change copies the live state into the spare one between two ticks, changes the
// copy and publishes it by a compare-exchange of the word, which fails when a tick entered since
// the copy; then it starts again from a fresh copy. A read reads the live state and keeps what it
// read only when no tick entered meanwhile. So a change takes effect at one tick boundary, at once
// when no tick comes, and a tick's recording is never lost.
//
// When ticks come back to back (a host rendering faster than real time) a copy or a read may
// never fit between two of them. After a few tries the operation is posted instead, and the next
// tick runs it on the live state at its start: bounded work (at most one copy of the state or one
// walk over the map), no wait. A posted operation that no tick takes soon (the ticks stopped) is
// taken back and tried again the first way, which then succeeds.
#pragma once

#include <atomic>
#include <cstdint>
#include <mutex>

#include "timeline/SharedEngine.h"
#include "timeline/StateCodec.h"
#include "timeline/TimelineEngine.h"

namespace tempotally::legacy {

// Every field of `from` except the two arrays and the test seam, into `to`.
void CopyEngineFields(const TimelineEngine& from, TimelineEngine& to);

// Marks a stretch of reads of the live state that a tick may overlap. Whatever such reads see is
// used only once the word shows that no tick entered meanwhile; the thread sanitizer is told to
// ignore them, since it cannot know that.
class RacyReads {
 public:
  RacyReads();
  ~RacyReads();
  RacyReads(const RacyReads&) = delete;
  RacyReads& operator=(const RacyReads&) = delete;
};

class LegacySharedEngine {
 public:
  LegacySharedEngine() = default;
  LegacySharedEngine(const LegacySharedEngine&) = delete;
  LegacySharedEngine& operator=(const LegacySharedEngine&) = delete;

  // Construction and release, on the thread that creates and releases the object, with no tick
  // and no other caller running.
  bool Allocate();
  void Free();
  void ResetState();
  // The live state for code that knows no other thread uses the engine (construction, tests).
  TimelineEngine& Live() { return states_[word_.load(std::memory_order_relaxed) & LiveBit]; }
  // Both states, for tests that set the walk seam on whichever one a call works on.
  TimelineEngine& State(int index) { return states_[index]; }
  // Tick-path calls so far; for tests that replay a run in the order it took effect.
  uint32_t TickPathCalls() const { return word_.load(std::memory_order_acquire) >> SequenceShift; }

  // --- Tick path: the per-tick call, and dispatch on the thread that ticks. Wait-free. Never on
  // two threads at once. ---

  // Records the tick from the host's figures and, when `wantVideoTime`, sums the map up to the new
  // current tick.
  TickOutcome Tick(const HostTickReport& report, bool wantVideoTime);
  // Runs `change` on the live state in place, as a tick would.
  template <typename F>
  void InPlace(F&& change) {
    TimelineEngine& live = Enter();
    change(live);
    Leave();
  }

  // --- Non-tick side: may wait for a tick to leave. Never from inside a tick-path call. ---

  // Runs `change` on a copy of the live state taken at a tick boundary and publishes the copy, or
  // has the next tick run it in place. `change` may run more than once (each time on a fresh copy
  // of the live state), must touch nothing but the state it is given and values it hands out, and
  // must make no system call. Returns the tick-path calls made before the change took effect.
  template <typename F>
  uint32_t Change(F&& change) {
    std::lock_guard<std::mutex> hold(writer_);
    for (;;) {
      for (int attempt = 0; attempt < Attempts; ++attempt) {
        uint32_t seen = 0;
        if (!TryCopyLiveToSpare(true, seen)) continue;
        change(states_[(seen & LiveBit) ^ LiveBit]);
        if (Publish(seen)) return seen >> SequenceShift;
      }
      uint32_t took = 0;
      auto inPlace = [&](TimelineEngine& live, uint32_t entered) {
        change(live);
        took = entered >> SequenceShift;
      };
      if (RunOnNextTick(inPlace)) return took;
    }
  }
  // Calls `read` with the live state until it ran while no tick entered, or has the next tick run
  // it. `read` only copies out what it needs and must cope with torn values on the attempts that
  // are thrown away. Reads of the arrays belong on the thread that restores (a restore hands an
  // old array to its caller, who frees it).
  template <typename F>
  void Read(F&& read) {
    for (int attempt = 0; attempt < Attempts; ++attempt) {
      const uint32_t seen = word_.load(std::memory_order_acquire);
      if ((seen & TickInside) == 0) {
        {
          RacyReads racy;
          read(static_cast<const TimelineEngine&>(states_[seen & LiveBit]));
        }
        if (Unchanged(seen)) return;
      }
      Pause();
    }
    std::lock_guard<std::mutex> hold(writer_);
    auto inPlace = [&](TimelineEngine& live, uint32_t) { read(live); };
    while (!RunOnNextTick(inPlace)) {
      const uint32_t seen = word_.load(std::memory_order_acquire);
      if ((seen & TickInside) != 0) continue;
      {
        RacyReads racy;
        read(static_cast<const TimelineEngine&>(states_[seen & LiveBit]));
      }
      if (Unchanged(seen)) return;
    }
  }

  // The options and the video window's placement, copied out for the window calls that follow.
  EngineOptions Options();
  // RefreshDisplayTime, published only when it has something to write; returns the seconds to
  // show and, when asked, the tick they belong to.
  double Refresh(int32_t* shownTick = nullptr);
  // The whole saved state of one tick boundary into `out`. Returns the bytes written; `boundary`,
  // when given, gets the tick-path calls made before that boundary.
  uint32_t EncodeWhole(uint8_t* out, uint32_t capacity, uint32_t* boundary = nullptr);
  // The saved state in pieces, each handed to `write` while the non-tick side stays held (other
  // non-tick callers wait; the ticks go on), so every piece comes from the same tick boundary.
  // For callers short of memory for the whole.
  template <typename W>
  void EncodePieces(uint8_t* piece, uint32_t capacity, W&& write) {
    std::lock_guard<std::mutex> hold(writer_);
    const TimelineEngine& copy = SnapshotToSpare(nullptr);
    StateEncoder encoder;
    while (const uint32_t size = encoder.Encode(copy, piece, capacity)) write(piece, size);
  }
  // The map and options of `restored` (filled by RestoreState) replace the engine's, whose beat
  // cache starts empty; the transport, the current tick and the display stay as the ticks left
  // them. `restored` takes an old map array, to be freed with it. Returns the options; `boundary`
  // as for EncodeWhole.
  EngineOptions Adopt(TimelineEngine& restored, uint32_t* boundary = nullptr);
  // The same for a caller short of memory for an engine of its own: `restore` fills the spare
  // state (reading the stream) while the non-tick side stays held.
  template <typename R>
  EngineOptions RestoreInPlace(R&& restore) {
    std::lock_guard<std::mutex> hold(writer_);
    TimelineEngine& spare = Spare();
    restore(spare);
    return PublishRestored(spare.options, false, nullptr);
  }

 private:
  static constexpr uint32_t LiveBit = 1;
  static constexpr uint32_t TickInside = 2;
  static constexpr uint32_t SequenceStep = 2;
  static constexpr uint32_t SequenceShift = 2;  // a whole tick-path call moves the word by 4
  // Tries at a copy or read between two ticks before the operation is posted to the next tick.
  static constexpr int Attempts = 4;

  // An operation posted to the next tick; lives on the poster's stack until `done`.
  struct Posted {
    void (*run)(void* context, TimelineEngine& live, uint32_t entered);
    void* context;
    std::atomic<bool> done{false};
  };

  TimelineEngine& Enter();
  void Leave();
  bool Unchanged(uint32_t seen);
  static void Pause();
  // The spare state; only the non-tick side, holding writer_, uses it or moves the live bit.
  TimelineEngine& Spare() {
    return states_[(word_.load(std::memory_order_relaxed) & LiveBit) ^ LiveBit];
  }
  // One try at copying the live state (with its arrays when `withArrays`) into the spare one
  // between two ticks; `seen` is the word the copy belongs to. Caller holds writer_.
  bool TryCopyLiveToSpare(bool withArrays, uint32_t& seen);
  // The spare as a copy of the live state at one tick boundary, however densely the ticks come.
  const TimelineEngine& SnapshotToSpare(uint32_t* boundary);
  bool Publish(uint32_t seen);
  // Publishes the spare's map (or the live one, when `withLiveMap`) with `options` and an empty
  // cache, taking every other field from the live state. `options` is taken by value: it may come
  // from the spare, which the copy of the live state overwrites. Caller holds writer_.
  EngineOptions PublishRestored(EngineOptions options, bool withLiveMap, uint32_t* boundary);
  // Hands `operation` to the next tick-path call and waits until it ran: true. False when no tick
  // took it soon; it is then taken back and has not run. Caller holds writer_.
  template <typename F>
  bool RunOnNextTick(F& operation) {
    Posted posted;
    posted.context = &operation;
    posted.run = [](void* context, TimelineEngine& live, uint32_t entered) {
      (*static_cast<F*>(context))(live, entered);
    };
    return Post(posted);
  }
  bool Post(Posted& posted);

  TimelineEngine states_[2];
  std::atomic<uint32_t> word_{0};
  std::atomic<Posted*> posted_{nullptr};
  std::mutex writer_;  // the non-tick side, one caller at a time; the tick never takes it
};

}  // namespace tempotally::legacy
