// Memory orders:
// - The gate: a sequentially consistent exchange takes it and a store gives it back. They carry the
//   engine between holders, and their total order hands notes over: a notifier raises a generation
//   then tries the gate, a holder gives the gate back then reads the generations; one of the two
//   sees the other, so the notifier gets the gate or the holder takes it again for the note.
// - The ring: one producer (the tick), one consumer (the gate's holder); release push, acquire pop.
// - What the paint reads is relaxed: it needs each value whole, not several of one moment.
#include "timeline/SharedEngine.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdlib>

namespace tempotally {

namespace {

// Each entry whole: a paint may be reading `to`'s map as the one it last saw.
void CopyState(TimelineEngine& to, const TimelineEngine& from) {
  to.options = from.options;
  for (int32_t i = 0; i < MapTicks; ++i) StoreLength(&to.tickDurations[i], from.tickDurations[i]);
}

}  // namespace

void SharedEngine::NonTickLock::Lock() {
  const std::thread::id self = std::this_thread::get_id();
  // Only this thread ever stores its own id here, so a relaxed load that finds it is current.
  if (owner_.load(std::memory_order_relaxed) != self) {
    while (held_.exchange(true, std::memory_order_acquire)) std::this_thread::yield();
    owner_.store(self, std::memory_order_relaxed);
  }
  ++depth_;
}

void SharedEngine::NonTickLock::Unlock() {
  if (--depth_ > 0) return;
  owner_.store(std::thread::id(), std::memory_order_relaxed);
  held_.store(false, std::memory_order_release);
}

bool SharedEngine::Allocate() {
  if (!engine_.Allocate() || !spare_.Allocate()) return false;
  published_.map = engine_.tickDurations;
  return true;
}

void SharedEngine::ResetState() {
  engine_.ResetState();
  spare_.ResetState();
  EnterWaiting();
  Leave(AllWaiting);
}

void SharedEngine::EnterWaiting() {
  // Back-to-back ticks may leave no gap: after a few tries the tick is asked to stand back and
  // leave its figures in the ring, so this waits for one bounded holder at most.
  for (int tries = 0; !TryEnter(); ++tries) {
    if (tries == PatientTries) waiting_.store(true, std::memory_order_relaxed);
    std::this_thread::yield();
  }
  waiting_.store(false, std::memory_order_relaxed);
  CatchUp(AllWaiting);
}

void SharedEngine::Leave(size_t replays) {
  for (;;) {
    CatchUp(replays);  // ticks that came while this holder worked
    published_.currentTick = engine_.currentTick;
    published_.paintedTick = engine_.paintedTick;
    published_.recentChange = engine_.recentChange;
    published_.playing = engine_.playing;
    published_.displaySeconds = engine_.displaySeconds;
    published_.songPosition = engine_.songPosition;
    for (int i = 0; i < 3; ++i) published_.timeSignature[i] = engine_.timeSignature[i];
    uint32_t seen[NoteKinds];
    std::copy(applied_, applied_ + NoteKinds, seen);
    published_.notes = seen[NoteTransport] + seen[NotePosition] + seen[NoteSignature];
    gate_.store(false, std::memory_order_seq_cst);
    // A notifier that found the gate shut left its note to this holder (see the top of the file).
    bool pending = false;
    for (int kind = 0; kind < NoteKinds; ++kind)
      pending = pending || noteGeneration_[kind].load(std::memory_order_seq_cst) != seen[kind];
    // With ticks still waiting the tick is about, and it applies the note at its next entry.
    if (!pending || ring_.read_available() != 0 || !TryEnter()) return;
  }
}

SharedEngine::NoteMark SharedEngine::ReadNotes() const {
  NoteMark notes;
  for (int kind = 0; kind < NoteKinds; ++kind)
    notes.generation[kind] = noteGeneration_[kind].load(std::memory_order_acquire);
  notes.transport = noteTransport_;
  notes.position = notePosition_;
  for (int i = 0; i < 3; ++i) notes.signature[i] = noteSignature_[i];
  return notes;
}

// Each kind of note overwrites fields that only it writes, so a later note undoes an earlier one of
// its kind and kinds commute: between two ticks, applying the last of each equals applying all in
// order. A tick between two notes is kept apart by the mark it carries in the ring.
void SharedEngine::ApplyNotes(const NoteMark& notes) {
  if (notes.generation[NoteTransport] != applied_[NoteTransport])
    engine_.OnTransport(notes.transport);
  if (notes.generation[NotePosition] != applied_[NotePosition])
    engine_.OnSongPosition(notes.position);
  if (notes.generation[NoteSignature] != applied_[NoteSignature])
    std::copy(notes.signature, notes.signature + 3, engine_.timeSignature);
  std::copy(notes.generation, notes.generation + NoteKinds, applied_);
}

bool SharedEngine::CatchUp(size_t replays) {
  // Only the ticks already waiting, so that a holder gets to leave while the tick adds more.
  Deferred waiting;
  for (size_t count = std::min(replays, ring_.read_available()); count > 0 && ring_.pop(waiting);
       --count) {
    ApplyNotes(waiting.notes);
    RecordTick(waiting.report, waiting.wantVideoTime);
  }
  // Lost ticks follow a full ring and precede any later push: with the ring empty, they come next.
  if (ring_.read_available() != 0) return false;
  if (lost_.load(std::memory_order_relaxed) != 0)
    CountLostTicks(lost_.exchange(0, std::memory_order_acquire));
  ApplyNotes(ReadNotes());
  return true;
}

uint32_t SharedEngine::EventsApplied() const {
  uint32_t events = ticks_;
  for (const uint32_t generation : applied_) events += generation;
  return events;
}

void SharedEngine::CountLostTicks(uint32_t lost) {
  ticks_ += lost;
  if (lost == 0 || engine_.playing != 1) return;
  // As many ticks as RecordTick would have counted, with nothing recorded.
  if (engine_.playStarted == 0) engine_.currentTick = TickFromPosition(engine_.songPosition);
  engine_.playStarted = 1;
  const int64_t tick = static_cast<int64_t>(engine_.currentTick) + lost;
  engine_.currentTick = static_cast<int32_t>(std::min<int64_t>(tick, INT32_MAX));
  engine_.recentChange = lost < static_cast<uint32_t>(engine_.recentChange)
                             ? engine_.recentChange - static_cast<int32_t>(lost)
                             : 0;
  engine_.DropRunningSum();
}

TickOutcome SharedEngine::RecordTick(const HostTickReport& report, bool wantVideoTime) {
  ++ticks_;
  TimelineEngine& engine = engine_;
  engine.hostTime[0] = report.hostTime[0];
  engine.hostTime[1] = report.hostTime[1];
  const bool changed = engine.RecordTick(report.fromHost ? report.position : engine.songPosition);
  TickOutcome outcome;
  outcome.repaint = changed || engine.paintedTick != engine.currentTick;
  if (wantVideoTime) {
    const double seconds = engine.ElapsedSeconds(engine.currentTick, engine.options.optimise);
    outcome.videoTimeMs = seconds * MillisecondsPerSecond;
    // The time the player is told is the readout's too: the paint finds it current.
    engine.displaySeconds = seconds;
    engine.paintedTick = engine.currentTick;
  }
  return outcome;
}

TickOutcome SharedEngine::Tick(const HostTickReport& report, bool wantVideoTime) {
  const bool entered = !waiting_.load(std::memory_order_relaxed) && TryEnter();
  if (entered && CatchUp(ReplaysPerTick)) {
    overflowing_ = false;
    const TickOutcome outcome = RecordTick(report, wantVideoTime);
    if (wantVideoTime) lastToldMs_ = outcome.videoTimeMs;
    Leave(0);
    return outcome;
  }
  // Shut out, or more ticks waiting than one call replays: the figures join the ring, behind them.
  TickOutcome outcome;
  outcome.deferred = true;
  outcome.repaint = true;
  if (overflowing_ || !ring_.push(Deferred{report, wantVideoTime, ReadNotes()})) {
    overflowing_ = true;
    lost_.fetch_add(1, std::memory_order_release);
  }
  if (entered) Leave(0);
  if (wantVideoTime) {
    const double seconds = MeasureTickSeconds(report.position, report.hostTime[0]);
    const bool advance = published_.playing == 1 && std::isfinite(seconds) && seconds > 0.0;
    outcome.videoTimeMs = lastToldMs_ + (advance ? seconds * MillisecondsPerSecond : 0.0);
    // Tick 0 has no length of its own and takes tick 1's, so tick 1 tells both (one stride of
    // them when the step is longer), whatever tick 0 could tell.
    if (advance && TickFromPosition(report.position) == 1) {
      const int strides = std::max<int>(2, engine_.options.optimise);
      outcome.videoTimeMs = strides * seconds * MillisecondsPerSecond;
    }
    lastToldMs_ = outcome.videoTimeMs;
  }
  return outcome;
}

void SharedEngine::Notified(Note kind) {
  noteGeneration_[kind].fetch_add(1, std::memory_order_seq_cst);
  if (!TryEnter()) return;  // the holder applies it before it leaves
  CatchUp(ReplaysPerTick);
  Leave(0);
}

void SharedEngine::Transport(int32_t value) {
  noteTransport_ = value;
  Notified(NoteTransport);
}

void SharedEngine::SongPosition(double position) {
  notePosition_ = position;
  Notified(NotePosition);
}

void SharedEngine::TimeSignature(const int32_t signature[3]) {
  for (int i = 0; i < 3; ++i) noteSignature_[i] = signature[i];
  Notified(NoteSignature);
}

EngineSnapshot SharedEngine::Snapshot() const {
  const Published& p = published_;
  EngineSnapshot snapshot{engine_.options, p.displaySeconds, p.recentChange, p.songPosition};
  for (int i = 0; i < 3; ++i) snapshot.timeSignature[i] = p.timeSignature[i];
  snapshot.map = p.map;
  return snapshot;
}

double SharedEngine::Refresh(int32_t* shownTick) {
  const int32_t next = published_.playing == 0 ? TickFromPosition(published_.songPosition)
                                               : published_.currentTick.Load();
  double seconds = published_.displaySeconds;
  int32_t tick = published_.paintedTick;
  // Notes or ticks that the last holder left to a tick that may not come are applied here too.
  uint32_t notes = 0;
  for (const auto& generation : noteGeneration_)
    notes += generation.load(std::memory_order_relaxed);
  const bool behind = notes != published_.notes || ring_.read_available() != 0;
  if (behind || next != published_.currentTick || next != tick) {
    Change([&](TimelineEngine& engine) {
      engine.RefreshDisplayTime();
      seconds = engine.displaySeconds;
      tick = engine.paintedTick;
    });
  }
  if (shownTick != nullptr) *shownTick = tick;
  return seconds;
}

uint32_t SharedEngine::Save(StateWriter& writer) {
  // Short of memory, the save copies into the spare map and keeps the lock (not the gate) to write.
  TimelineEngine own;
  const bool ownCopy = own.Allocate();
  TimelineEngine& copy = ownCopy ? own : spare_;
  nonTick_.Lock();
  const uint32_t boundary = Change([&](TimelineEngine& engine) { CopyState(copy, engine); });
  if (ownCopy) nonTick_.Unlock();
  // The whole part in one write; in pieces when there is no memory for that.
  if (auto* whole = static_cast<uint8_t*>(std::malloc(MaxSavedStateBytes))) {
    StateEncoder encoder;
    writer.Write(whole, encoder.Encode(copy, whole, MaxSavedStateBytes));
    std::free(whole);
  } else {
    SaveState(copy, writer);
  }
  if (!ownCopy) nonTick_.Unlock();
  return boundary;
}

EngineOptions SharedEngine::Restore(StateReader& reader, uint32_t* boundary) {
  TimelineEngine restored;
  const bool own = restored.Allocate();
  if (own) RestoreState(restored, reader);
  nonTick_.Lock();
  if (own) {
    CopyState(spare_, restored);
  } else {
    // Short of memory for an engine of its own: the stream is read into the spare under the lock.
    RestoreState(spare_, reader);
  }
  const uint32_t at = Change([&](TimelineEngine& engine) {
    std::swap(engine.tickDurations, spare_.tickDurations);
    engine.options = spare_.options;
    engine.InvalidateBeatSums(-1);  // the whole cache belonged to the old map
    engine.paintedTick = -1;        // and so did the readout's time
    published_.map = engine.tickDurations;
  });
  nonTick_.Unlock();
  if (boundary != nullptr) *boundary = at;
  return engine_.options;
}

}  // namespace tempotally
