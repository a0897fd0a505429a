// One plug-in object's engine as two threads use it: the host's mixing thread ticks, its window
// thread (and any other) paints, clicks, saves and restores. The tick never waits for anyone.
//
// Two complete engine states and one atomic word. The word holds which state is live (bit 0) and
// a sequence that goes up by one as a tick-path call enters and again as it leaves, so an odd
// sequence (bit 1) means a tick is inside. The tick path works on the live state in place, with
// one fetch_add on entry and one on exit: wait-free, no allocation.
//
// Everything else runs on the non-tick side, one caller at a time under a mutex that the tick
// never takes: it copies the live state into the spare one between two ticks (retrying when a
// tick started meanwhile), changes the copy, and publishes it by a compare-exchange of the word
// that fails when a tick entered since the copy; then it starts again from a fresh copy. So a
// change takes effect at one tick boundary, at once when no tick comes, and a tick's recording is
// never lost. The non-tick side may wait for the tick; the tick never waits for it.
#pragma once

#include <atomic>
#include <cstdint>
#include <mutex>
#include <thread>

#include "timeline/StateCodec.h"
#include "timeline/TimelineEngine.h"

namespace tempotally {

// What the host reported at the start of one per-tick call.
struct HostTickReport {
  bool fromHost = false;  // without a host the engine keeps its last position
  double position = 0.0;  // ticks
  double hostTime[2] = {0.0, 0.0};
};

struct TickOutcome {
  bool repaint = false;      // a change was recorded or the shown tick moved on
  double videoTimeMs = 0.0;  // the elapsed time at the new current tick, when asked for
};

// The options and the video window's placement, copied out for the window calls that follow.
struct EngineOptions {
  uint8_t video, videoontop, freeze, lookahead, optimise, selection, minimised;
  int32_t winleft, wintop, winwidth, winheight;
};
EngineOptions CopyOptions(const TimelineEngine& engine);
void SetOptions(TimelineEngine& engine, const EngineOptions& options);

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

class SharedEngine {
 public:
  SharedEngine() = default;
  SharedEngine(const SharedEngine&) = delete;
  SharedEngine& operator=(const SharedEngine&) = delete;

  // Construction and release, on the thread that creates and releases the object, with no tick
  // and no other caller running.
  bool Allocate();
  void Free();
  void ResetState();
  // The live state for code that knows no other thread uses the engine (construction, tests).
  TimelineEngine& Live() { return states_[word_.load(std::memory_order_relaxed) & LiveBit]; }
  // Both states, for tests that set the walk seam on whichever one a call works on.
  TimelineEngine& State(int index) { return states_[index]; }

  // --- Tick path: the per-tick call, and dispatch on the thread that ticks. Wait-free. ---

  // Records the tick from the host's figures and, when `wantVideoTime`, sums the map up to the new
  // current tick.
  TickOutcome Tick(const HostTickReport& report, bool wantVideoTime);
  // Runs `change` on the live state in place, as a tick would. Only on the thread that ticks,
  // never while another tick-path call runs.
  template <typename F>
  void InPlace(F&& change) {
    TimelineEngine& live = Enter();
    change(live);
    Leave();
  }

  // --- Non-tick side: may wait for a tick to leave, never while the caller holds anything the
  // tick needs. Never call it from inside a tick-path call. ---

  // Runs `change` on a copy of the live state taken at a tick boundary and publishes the copy.
  // `change` may run more than once (once per attempt, each time on a fresh copy) and must not
  // touch anything but the state it is given and values it only hands out. Returns the number of
  // tick-path calls made before the change took effect.
  template <typename F>
  uint32_t Change(F&& change) {
    std::lock_guard<std::mutex> hold(writer_);
    for (;;) {
      const uint32_t seen = CopyLiveToSpare(true);
      TimelineEngine& spare = states_[(seen & LiveBit) ^ LiveBit];
      change(spare);
      if (Publish(seen)) return seen >> SequenceShift;
    }
  }
  // Calls `read` with the live state until it ran while no tick entered. `read` only copies out
  // what it needs and must cope with torn values on the attempts that are thrown away.
  template <typename F>
  void Read(F&& read) {
    for (;;) {
      const uint32_t seen = WaitForBoundary();
      {
        RacyReads racy;
        read(static_cast<const TimelineEngine&>(states_[seen & LiveBit]));
      }
      if (Unchanged(seen)) return;
    }
  }

  EngineOptions Options();
  // RefreshDisplayTime, published only when it has something to write; returns the seconds to
  // show and, when asked, the tick they belong to.
  double Refresh(int32_t* shownTick = nullptr);
  // The whole saved state of one tick boundary into `out`. Returns the bytes written.
  uint32_t EncodeWhole(uint8_t* out, uint32_t capacity);
  // The saved state in pieces, each handed to `write` while the non-tick side stays held, so every
  // piece comes from the same tick boundary. For callers short of memory for the whole.
  template <typename W>
  void EncodePieces(uint8_t* piece, uint32_t capacity, W&& write) {
    std::lock_guard<std::mutex> hold(writer_);
    const uint32_t seen = CopyLiveToSpare(true);
    const TimelineEngine& copy = states_[(seen & LiveBit) ^ LiveBit];
    StateEncoder encoder;
    while (const uint32_t size = encoder.Encode(copy, piece, capacity)) write(piece, size);
  }
  // The map and options of `restored` (filled by RestoreState) replace the engine's, whose beat
  // cache starts empty; the transport, the current tick and the display stay as the ticks left
  // them. `restored` takes the spare's old map array, to be freed with it. Returns the options.
  EngineOptions Adopt(TimelineEngine& restored);
  // The same for a caller short of memory for an engine of its own: `restore` fills the spare
  // state (reading the stream) while the non-tick side stays held.
  template <typename R>
  EngineOptions RestoreInPlace(R&& restore) {
    std::lock_guard<std::mutex> hold(writer_);
    TimelineEngine& spare = states_[(word_.load(std::memory_order_relaxed) & LiveBit) ^ LiveBit];
    restore(spare);
    return PublishRestored(CopyOptions(spare), false);
  }

 private:
  static constexpr uint32_t LiveBit = 1;
  static constexpr uint32_t TickInside = 2;
  static constexpr uint32_t SequenceStep = 2;
  static constexpr uint32_t SequenceShift = 2;  // a whole tick-path call moves the word by 4

  TimelineEngine& Enter();
  void Leave();
  uint32_t WaitForBoundary() const;
  bool Unchanged(uint32_t seen) const;
  // Copies the live state (with its arrays when `withArrays`) into the spare one at a tick
  // boundary; returns the word the copy belongs to. Caller holds writer_.
  uint32_t CopyLiveToSpare(bool withArrays);
  bool Publish(uint32_t seen);
  // Publishes the spare's map (or the live one, when `withLiveMap`) with `options` and an empty
  // cache, taking every other field from the live state. Caller holds writer_.
  EngineOptions PublishRestored(const EngineOptions& options, bool withLiveMap);

  TimelineEngine states_[2];
  std::atomic<uint32_t> word_{0};
  std::mutex writer_;  // the non-tick side, one caller at a time; the tick never takes it
};

}  // namespace tempotally
