// One plug-in object's engine as the host's threads use it. Each piece of state has one owner;
// docs/architecture.md ("Threads") lists them and every move between threads.
#pragma once

#include <atomic>
#include <boost/lockfree/spsc_queue.hpp>
#include <cstddef>
#include <cstdint>
#include <thread>

#include "timeline/EngineSnapshot.h"
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
  bool repaint = false;      // a change was recorded, the shown tick moved on, or not known yet
  double videoTimeMs = 0.0;  // the elapsed time at the new current tick, when asked for
  bool deferred = false;     // the engine was busy: the time is the last one, advanced by this tick
};

// Ticks of host figures that can wait for the gate; further ticks are counted without them.
constexpr uint32_t DeferredTicks = 512;
// Waiting ticks that one tick or notification replays, bounding its work; the non-tick side: all.
constexpr size_t ReplaysPerTick = 8;
constexpr size_t AllWaiting = SIZE_MAX;
// Tries at the gate before the non-tick side asks the ticks to stand back.
constexpr int PatientTries = 16;

class SharedEngine {
 public:
  // Construction, with no other caller running.
  bool Allocate();
  void ResetState();
  // The engine itself, for code that knows no other thread uses it (construction, tests).
  TimelineEngine& Unshared() { return engine_; }

  // The per-tick call: never waits, never on two threads at once. Records the tick and, when
  // `wantVideoTime`, sums the map up to the new current tick.
  TickOutcome Tick(const HostTickReport& report, bool wantVideoTime);

  // Host notifications: any thread, any time; never wait.
  void Transport(int32_t value);
  void SongPosition(double position);
  void TimeSignature(const int32_t signature[3]);

  // The paint's reads: any non-tick thread; no lock, no wait.
  EngineOptions Options() const { return engine_.options; }
  EngineSnapshot Snapshot() const;

  // The non-tick side: one caller at a time under the lock; waits for the gate by yielding.
  // Runs `change` on the engine between two ticks; returns the host events applied before it.
  template <typename F>
  uint32_t Change(F&& change) {
    nonTick_.Lock();
    EnterWaiting();
    const uint32_t boundary = EventsApplied();
    change(engine_);
    Leave(AllWaiting);
    nonTick_.Unlock();
    return boundary;
  }
  // RefreshDisplayTime when the snapshot is stale; the seconds to show and their tick.
  double Refresh(int32_t* shownTick = nullptr);
  // Writes the state at one tick boundary, copied under the gate and written with no lock held;
  // returns the host events applied before it.
  uint32_t Save(StateWriter& writer);
  // Reads a saved state outside the gate and swaps its map in; the transport, current tick and
  // display stay. `boundary` gets the host events applied before it.
  EngineOptions Restore(StateReader& reader, uint32_t* boundary = nullptr);

 private:
  enum Note { NoteTransport, NotePosition, NoteSignature, NoteKinds };
  // The slots' values as one reader saw them, with each slot's generation.
  struct NoteMark {
    uint32_t generation[NoteKinds] = {};
    int32_t transport = 0;
    double position = 0.0;
    int32_t signature[3] = {};
  };
  struct Deferred {
    HostTickReport report;
    bool wantVideoTime = false;
    NoteMark notes;  // the notifications that came before this tick
  };
  // What the paint reads besides the options; written by the gate's holder as it leaves.
  struct Published {
    Relaxed<int32_t> currentTick, paintedTick, recentChange;
    Relaxed<uint8_t> playing;
    Relaxed<double> displaySeconds, songPosition;
    Relaxed<int32_t> timeSignature[3];
    Relaxed<const double*> map;
    Relaxed<uint32_t> notes;  // notifications applied
  };
  // Keeps non-tick threads apart; the tick and the notes never take it. Cannot throw; a waiter
  // yields. Re-entrant: a stream that pumps messages under it may bring a click on the same thread.
  class NonTickLock {
   public:
    void Lock();
    void Unlock();

   private:
    std::atomic<bool> held_{false};
    std::atomic<std::thread::id> owner_{};
    int depth_ = 0;  // the owner's
  };
  bool TryEnter() { return !gate_.exchange(true, std::memory_order_seq_cst); }
  void EnterWaiting();
  void Leave(size_t replays);
  // Replays up to `replays` waiting ticks; once none waits (then true), the lost ticks and notes.
  bool CatchUp(size_t replays);
  void ApplyNotes(const NoteMark& notes);
  NoteMark ReadNotes() const;
  void Notified(Note kind);
  TickOutcome RecordTick(const HostTickReport& report, bool wantVideoTime);
  uint32_t EventsApplied() const;
  void CountLostTicks(uint32_t lost);

  TimelineEngine engine_;  // the gate's holder's
  TimelineEngine spare_;   // its map is the other one; the non-tick lock's holder's
  std::atomic<bool> gate_{false};
  std::atomic<bool> waiting_{false};  // the non-tick side waits for the gate; the tick stands back
  NonTickLock nonTick_;
  uint32_t applied_[NoteKinds] = {};  // the gate's holder's: generations applied
  uint32_t ticks_ = 0;                // the gate's holder's: ticks applied, lost ones included

  // Notification slots: the values, then the generation raised, so a reader sees the values.
  Relaxed<int32_t> noteTransport_;
  Relaxed<double> notePosition_;
  Relaxed<int32_t> noteSignature_[3];
  std::atomic<uint32_t> noteGeneration_[NoteKinds] = {};

  // The tick's: one producer (the tick), one consumer (the gate's holder).
  boost::lockfree::spsc_queue<Deferred, boost::lockfree::capacity<DeferredTicks>> ring_;
  std::atomic<uint32_t> lost_{0};  // ticks counted without figures, after everything in the ring
  Relaxed<bool> overflowing_;      // the tick's: the ring was full; count until the tick enters
  Relaxed<double> lastToldMs_;     // the tick's

  Published published_;
};

}  // namespace tempotally
