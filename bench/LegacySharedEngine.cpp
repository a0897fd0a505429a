// The shared engine's word protocol: entering and leaving a tick, copying the live state at a tick
// boundary, and publishing a changed copy.
//
// Memory orders, all on the one word:
// - A tick's entry is an acquire: the tick then sees everything a publisher wrote into the state
//   it made live (the publisher's release), and none of the tick's own accesses to the state can
//   move before the entry, so a copier that saw any of its writes sees the odd sequence too.
// - A tick's exit is a release: a copier that reads the word afterwards with acquire sees all of
//   the tick's writes.
// - The copier reads the word with acquire before copying, and after copying checks it with a
//   fetch_add of 0 with release: the copy's reads stay before the check, and the check reads the
//   latest word; an unchanged word means no tick entered while it copied.
// - The publishing compare-exchange is a release on success (the copy's contents travel to the
//   next tick's acquire entry) and relaxed on failure (nothing is used from a failed attempt).
// The word changes with every tick, so a publish that saw the same word saw no tick in between;
// it would take 2^30 ticks during one copy for the word to come round again.
#include "bench/LegacySharedEngine.h"

#include <algorithm>
#include <chrono>
#include <thread>


namespace tempotally::legacy {

namespace {

// How long a posted operation waits for a tick before the poster takes it back: ticks that came
// back to back a moment ago come within microseconds, so a longer wait means they stopped.
constexpr std::chrono::milliseconds PostPatience{2};

}  // namespace

void CopyEngineFields(const TimelineEngine& from, TimelineEngine& to) {
  to.options = from.options;
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
  to.highestCachedBeat = from.highestCachedBeat;
}

RacyReads::RacyReads() = default;
RacyReads::~RacyReads() = default;

bool LegacySharedEngine::Allocate() { return states_[0].Allocate() && states_[1].Allocate(); }

void LegacySharedEngine::Free() {
  states_[0].Free();
  states_[1].Free();
}

void LegacySharedEngine::ResetState() {
  states_[0].ResetState();
  states_[1].ResetState();
}

TimelineEngine& LegacySharedEngine::Enter() {
  const uint32_t entered = word_.fetch_add(SequenceStep, std::memory_order_acquire);
  TimelineEngine& live = states_[entered & LiveBit];
  if (posted_.load(std::memory_order_relaxed) != nullptr) {
    // Acquire: the poster's writes (its operation's inputs) are visible before running it.
    if (Posted* posted = posted_.exchange(nullptr, std::memory_order_acquire)) {
      posted->run(posted->context, live, entered);
      posted->done.store(true, std::memory_order_release);  // the poster may return at once
    }
  }
  return live;
}

void LegacySharedEngine::Leave() { word_.fetch_add(SequenceStep, std::memory_order_release); }

TickOutcome LegacySharedEngine::Tick(const HostTickReport& report, bool wantVideoTime) {
  TimelineEngine& engine = Enter();
  engine.hostTime[0] = report.hostTime[0];
  engine.hostTime[1] = report.hostTime[1];
  const bool changed = engine.RecordTick(report.fromHost ? report.position : engine.songPosition);
  TickOutcome outcome;
  outcome.repaint = changed || engine.paintedTick != engine.currentTick;
  if (wantVideoTime) {
    const double seconds = engine.ElapsedSeconds(engine.currentTick, engine.options.optimise);
    outcome.videoTimeMs = seconds * MillisecondsPerSecond;
    // The time the player is told is the readout's too: the editor's next paint finds it current
    // and publishes nothing, where publishing would copy the whole map once a display frame.
    engine.displaySeconds = seconds;
    engine.paintedTick = engine.currentTick;
  }
  Leave();
  return outcome;
}

bool LegacySharedEngine::Unchanged(uint32_t seen) {
  // A read-modify-write that changes nothing: its release keeps the reads before it, and as a
  // read-modify-write it reads the latest word, so it sees any tick whose writes those reads saw.
  return word_.fetch_add(0, std::memory_order_release) == seen;
}

void LegacySharedEngine::Pause() { std::this_thread::yield(); }

bool LegacySharedEngine::TryCopyLiveToSpare(bool withArrays, uint32_t& seen) {
  seen = word_.load(std::memory_order_acquire);
  if ((seen & TickInside) != 0) {
    Pause();
    return false;
  }
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
  if (Unchanged(seen)) return true;
  Pause();
  return false;
}

const TimelineEngine& LegacySharedEngine::SnapshotToSpare(uint32_t* boundary) {
  TimelineEngine& spare = Spare();
  uint32_t at = 0;
  for (;;) {
    for (int attempt = 0; attempt < Attempts; ++attempt) {
      if (TryCopyLiveToSpare(true, at)) {
        if (boundary != nullptr) *boundary = at >> SequenceShift;
        return spare;
      }
    }
    auto copy = [&](TimelineEngine& live, uint32_t entered) {
      at = entered;
      CopyEngineFields(live, spare);
      if (live.tickDurations != nullptr && spare.tickDurations != nullptr) {
        std::copy(live.tickDurations, live.tickDurations + MapTicks, spare.tickDurations);
        std::copy(live.beatSums, live.beatSums + MapBeats, spare.beatSums);
      }
    };
    if (RunOnNextTick(copy)) {
      if (boundary != nullptr) *boundary = at >> SequenceShift;
      return spare;
    }
  }
}

bool LegacySharedEngine::Publish(uint32_t seen) {
  uint32_t expected = seen;
  if (word_.compare_exchange_strong(expected, seen ^ LiveBit, std::memory_order_release,
                                    std::memory_order_relaxed)) {
    return true;
  }
  Pause();
  return false;
}

bool LegacySharedEngine::Post(Posted& posted) {
  // Release: the operation and everything it reads reach the tick that takes it.
  posted_.store(&posted, std::memory_order_release);
  const auto start = std::chrono::steady_clock::now();
  while (!posted.done.load(std::memory_order_acquire)) {
    if (std::chrono::steady_clock::now() - start > PostPatience) {
      Posted* expected = &posted;
      if (posted_.compare_exchange_strong(expected, nullptr, std::memory_order_relaxed)) {
        return false;
      }
      // A tick took it in the meantime and is running it now.
      while (!posted.done.load(std::memory_order_acquire)) Pause();
      return true;
    }
    Pause();
  }
  return true;
}

EngineOptions LegacySharedEngine::Options() {
  EngineOptions options{};
  Read([&](const TimelineEngine& live) { options = live.options; });
  return options;
}

double LegacySharedEngine::Refresh(int32_t* shownTick) {
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

uint32_t LegacySharedEngine::EncodeWhole(uint8_t* out, uint32_t capacity, uint32_t* boundary) {
  std::lock_guard<std::mutex> hold(writer_);
  StateEncoder encoder;
  return encoder.Encode(SnapshotToSpare(boundary), out, capacity);
}

EngineOptions LegacySharedEngine::Adopt(TimelineEngine& restored, uint32_t* boundary) {
  std::lock_guard<std::mutex> hold(writer_);
  TimelineEngine& spare = Spare();
  const bool swapped = restored.tickDurations != nullptr && spare.tickDurations != nullptr;
  if (swapped) std::swap(spare.tickDurations, restored.tickDurations);
  // Without a restored map the engine keeps its own, and takes the options alone.
  return PublishRestored(restored.options, !swapped, boundary);
}

EngineOptions LegacySharedEngine::PublishRestored(EngineOptions options, bool withLiveMap,
                                            uint32_t* boundary) {
  // Only a publish moves the live bit, and publishes happen under writer_, which the caller
  // holds: the spare stays the spare across the attempts, and keeps the restored map.
  TimelineEngine& spare = Spare();
  for (;;) {
    for (int attempt = 0; attempt < Attempts; ++attempt) {
      uint32_t seen = 0;
      if (!TryCopyLiveToSpare(withLiveMap, seen)) continue;
      spare.options = options;
      spare.InvalidateBeatSums(-1);  // the whole cache belonged to the old map
      spare.paintedTick = -1;        // and so did the readout's time
      if (Publish(seen)) {
        if (boundary != nullptr) *boundary = seen >> SequenceShift;
        return options;
      }
    }
    auto inPlace = [&](TimelineEngine& live, uint32_t entered) {
      if (!withLiveMap) std::swap(live.tickDurations, spare.tickDurations);
      live.options = options;
      live.InvalidateBeatSums(-1);
      live.paintedTick = -1;
      if (boundary != nullptr) *boundary = entered >> SequenceShift;
    };
    if (RunOnNextTick(inPlace)) return options;
  }
}

}  // namespace tempotally::legacy
