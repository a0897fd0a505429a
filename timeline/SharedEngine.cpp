// The shared engine's word protocol: entering and leaving a tick, copying the live state at a tick
// boundary, and publishing a changed copy.
//
// Memory orders, all on the one word:
// - A tick's entry is an acquire: the tick then sees everything a publisher wrote into the state
//   it made live (the publisher's release), and none of the tick's own accesses to the state can
//   move before the entry, so a copier that saw any of its writes sees the odd sequence too.
// - A tick's exit is a release: a copier that reads the word afterwards with acquire sees all of
//   the tick's writes.
// - The copier reads the word with acquire before copying, and after copying re-reads it behind
//   an acquire fence, so the copy's reads are ordered before that check; an unchanged word means
//   no tick entered while it copied.
// - The publishing compare-exchange is a release on success (the copy's contents travel to the
//   next tick's acquire entry) and relaxed on failure (nothing is used from a failed attempt).
// The word changes with every tick, so a publish that saw the same word saw no tick in between;
// it would take 2^30 ticks during one copy for the word to come round again.
#include "timeline/SharedEngine.h"

#include <algorithm>

#if defined(__SANITIZE_THREAD__)
extern "C" void AnnotateIgnoreReadsBegin(const char* file, int line);
extern "C" void AnnotateIgnoreReadsEnd(const char* file, int line);
#endif

namespace tempotally {

EngineOptions CopyOptions(const TimelineEngine& engine) {
  return {engine.video,     engine.videoontop, engine.freeze,    engine.lookahead,
          engine.optimise,  engine.selection,  engine.minimised, engine.winleft,
          engine.wintop,    engine.winwidth,   engine.winheight};
}

void SetOptions(TimelineEngine& engine, const EngineOptions& options) {
  engine.video = options.video;
  engine.videoontop = options.videoontop;
  engine.freeze = options.freeze;
  engine.lookahead = options.lookahead;
  engine.optimise = options.optimise;
  engine.selection = options.selection;
  engine.minimised = options.minimised;
  engine.winleft = options.winleft;
  engine.wintop = options.wintop;
  engine.winwidth = options.winwidth;
  engine.winheight = options.winheight;
}

void CopyEngineFields(const TimelineEngine& from, TimelineEngine& to) {
  SetOptions(to, CopyOptions(from));
  to.playing = from.playing;
  to.playStarted = from.playStarted;
  to.recentChange = from.recentChange;
  to.songPosition = from.songPosition;
  to.hostTime[0] = from.hostTime[0];
  to.hostTime[1] = from.hostTime[1];
  std::copy(from.timeSignature, from.timeSignature + 3, to.timeSignature);
  to.currentTick = from.currentTick;
  to.paintedTick = from.paintedTick;
  to.displaySeconds = from.displaySeconds;
  to.running = from.running;
}

#if defined(__SANITIZE_THREAD__)
RacyReads::RacyReads() { AnnotateIgnoreReadsBegin(__FILE__, __LINE__); }
RacyReads::~RacyReads() { AnnotateIgnoreReadsEnd(__FILE__, __LINE__); }
#else
RacyReads::RacyReads() = default;
RacyReads::~RacyReads() = default;
#endif

bool SharedEngine::Allocate() { return states_[0].Allocate() && states_[1].Allocate(); }

void SharedEngine::Free() {
  states_[0].Free();
  states_[1].Free();
}

void SharedEngine::ResetState() {
  states_[0].ResetState();
  states_[1].ResetState();
}

TimelineEngine& SharedEngine::Enter() {
  return states_[word_.fetch_add(SequenceStep, std::memory_order_acquire) & LiveBit];
}

void SharedEngine::Leave() { word_.fetch_add(SequenceStep, std::memory_order_release); }

TickOutcome SharedEngine::Tick(const HostTickReport& report, bool wantVideoTime) {
  TimelineEngine& engine = Enter();
  engine.hostTime[0] = report.hostTime[0];
  engine.hostTime[1] = report.hostTime[1];
  const bool changed = engine.RecordTick(report.fromHost ? report.position : engine.songPosition);
  TickOutcome outcome;
  if (wantVideoTime) {
    outcome.videoTimeMs =
        engine.ElapsedSeconds(engine.currentTick, engine.optimise) * MillisecondsPerSecond;
  }
  outcome.repaint = changed || engine.paintedTick != engine.currentTick;
  Leave();
  return outcome;
}

uint32_t SharedEngine::WaitForBoundary() const {
  for (;;) {
    const uint32_t seen = word_.load(std::memory_order_acquire);
    if ((seen & TickInside) == 0) return seen;
    std::this_thread::yield();
  }
}

bool SharedEngine::Unchanged(uint32_t seen) const {
  std::atomic_thread_fence(std::memory_order_acquire);
  return word_.load(std::memory_order_relaxed) == seen;
}

uint32_t SharedEngine::CopyLiveToSpare(bool withArrays) {
  for (;;) {
    const uint32_t seen = WaitForBoundary();
    const TimelineEngine& live = states_[seen & LiveBit];
    TimelineEngine& spare = states_[(seen & LiveBit) ^ LiveBit];
    {
      RacyReads racy;
      CopyEngineFields(live, spare);
      if (withArrays && live.tickDurations != nullptr && spare.tickDurations != nullptr) {
        std::copy(live.tickDurations, live.tickDurations + MapTicks, spare.tickDurations);
        std::copy(live.beatSums, live.beatSums + MapBeats, spare.beatSums);
      }
    }
    if (Unchanged(seen)) return seen;
    std::this_thread::yield();
  }
}

bool SharedEngine::Publish(uint32_t seen) {
  uint32_t expected = seen;
  if (word_.compare_exchange_strong(expected, seen ^ LiveBit, std::memory_order_release,
                                    std::memory_order_relaxed)) {
    return true;
  }
  std::this_thread::yield();
  return false;
}

EngineOptions SharedEngine::Options() {
  EngineOptions options{};
  Read([&](const TimelineEngine& live) { options = CopyOptions(live); });
  return options;
}

double SharedEngine::Refresh(int32_t* shownTick) {
  bool stale = false;
  double seconds = 0.0;
  int32_t tick = 0;
  Read([&](const TimelineEngine& live) {
    const int32_t next = live.playing == 0 ? TickFromPosition(live.songPosition) : live.currentTick;
    stale = next != live.currentTick || next != live.paintedTick;
    seconds = live.displaySeconds;
    tick = live.paintedTick;
  });
  if (stale) {
    Change([&](TimelineEngine& engine) {
      engine.RefreshDisplayTime();
      seconds = engine.displaySeconds;
      tick = engine.paintedTick;
    });
  }
  if (shownTick != nullptr) *shownTick = tick;
  return seconds;
}

uint32_t SharedEngine::EncodeWhole(uint8_t* out, uint32_t capacity) {
  std::lock_guard<std::mutex> hold(writer_);
  const uint32_t seen = CopyLiveToSpare(true);
  StateEncoder encoder;
  return encoder.Encode(states_[(seen & LiveBit) ^ LiveBit], out, capacity);
}

EngineOptions SharedEngine::Adopt(TimelineEngine& restored) {
  std::lock_guard<std::mutex> hold(writer_);
  TimelineEngine& spare = states_[(word_.load(std::memory_order_relaxed) & LiveBit) ^ LiveBit];
  const bool swapped = restored.tickDurations != nullptr && spare.tickDurations != nullptr;
  if (swapped) std::swap(spare.tickDurations, restored.tickDurations);
  // Without a restored map the engine keeps its own, and takes the options alone.
  return PublishRestored(CopyOptions(restored), !swapped);
}

EngineOptions SharedEngine::PublishRestored(const EngineOptions& options, bool withLiveMap) {
  // Only a publish moves the live bit, and publishes happen under writer_, which the caller
  // holds: the spare stays the spare across the attempts, and keeps the restored map.
  for (;;) {
    const uint32_t seen = CopyLiveToSpare(withLiveMap);
    TimelineEngine& spare = states_[(seen & LiveBit) ^ LiveBit];
    SetOptions(spare, options);
    spare.InvalidateBeatSums(-1);  // the whole cache belonged to the old map
    if (Publish(seen)) return options;
  }
}

}  // namespace tempotally
