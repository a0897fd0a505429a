#include "timeline/TimelineEngine.h"

#include <algorithm>
#include <cmath>
#include <new>

namespace tempotally {

namespace {

constexpr int32_t LastTick = MapTicks - 1;
constexpr int32_t LastBeat = MapBeats - 1;
// The running sum serves calls up to a beat past it. Further on, a walk from the cache would skip
// beats that going on would fill, besides being shorter.
constexpr int32_t MaxRunningSumGap = TicksPerBeat;
// Neither holds for not-a-number.
bool IsBeatSumCached(double sum) { return std::fabs(sum) > BeatSumCachedThreshold; }
bool IsBeatSumEmpty(double sum) { return std::fabs(sum) < BeatSumCachedThreshold; }

}  // namespace

int32_t TickFromPosition(double position) {
  if (std::isnan(position)) return 0;
  return static_cast<int32_t>(std::clamp(position, double{INT32_MIN}, double{INT32_MAX}));
}

double MeasureTickSeconds(double position, double hostTimeMs) {
  const double tempo = (MillisecondsPerMinute / hostTimeMs) * (position / TicksPerBeat);
  return (SecondsPerMinute / tempo) / TicksPerBeat;
}

bool TimelineEngine::Allocate() {
  if (tickDurations != nullptr && beatSums != nullptr) return true;
  Free();
  tickDurations = new (std::nothrow) double[MapTicks]();
  beatSums = new (std::nothrow) double[MapBeats]();
  if (tickDurations != nullptr && beatSums != nullptr) return true;
  Free();
  return false;
}

void TimelineEngine::Free() {
  DropRunningSum();
  delete[] tickDurations;
  delete[] beatSums;
  tickDurations = nullptr;
  beatSums = nullptr;
}

double TimelineEngine::ElapsedSeconds(int32_t tick, int32_t step) {
  if (tickDurations == nullptr || beatSums == nullptr) return 0.0;
  if (step < 1) step = 1;

  StoreLength(&tickDurations[0], tickDurations[1]);
  beatSums[0] = 0.0;

  // Past the map the time goes on at the last tick's length.
  const int32_t end = std::min(tick, MapTicks);
  const double beyond =
      tick > MapTicks ? static_cast<double>(tick - MapTicks) * tickDurations[LastTick] : 0.0;
  // Any stride of MapTicks or more visits the start alone; the clamp keeps k from overflowing.
  const int32_t stride = std::min(step, MapTicks);
  const double weight = static_cast<double>(step);

  double sum = 0.0;
  int32_t k = 0;
  int32_t anchor = -1;  // no cached beat under the sum
  const bool goOn = running.valid && running.stride == stride && running.end <= end &&
                    end - running.end <= MaxRunningSumGap &&
                    beatSums[running.anchor] == running.anchorSum;
  // Between changes the next tick lies in the same beat, past its start: only additions.
  if (goOn && running.next % TicksPerBeat != 0 &&
      running.next / TicksPerBeat == end / TicksPerBeat) {
    for (k = running.next; k < end; k += stride)
      running.sum = running.sum + weight * tickDurations[k];
    running.end = end;
    running.next = k;
    return running.sum + beyond;
  }
  if (goOn) {
    sum = running.sum;
    k = running.next;
    anchor = running.anchor;
  } else {
    for (int32_t b = std::min(end / TicksPerBeat, LastBeat); b >= 0; --b) {
      if (IsBeatSumCached(beatSums[b])) {
        sum = beatSums[b];
        anchor = b;
        // The cached beat itself only adds up.
        const int32_t beatEnd = std::min(end, TicksPerBeat * (b + 1));
        for (k = TicksPerBeat * b; k < beatEnd; k += stride) sum = sum + weight * tickDurations[k];
        break;
      }
    }
  }

  while (k < end) {
    const int32_t beat = k / TicksPerBeat;
    const int32_t beatStart = beat * TicksPerBeat;
    const int32_t beatEnd = std::min(end, beatStart + TicksPerBeat);
    double& beatSum = beatSums[beat];
    if (k == beatStart) {
      // A beat cached since the walk began holds what a walk from it would start with.
      if (IsBeatSumCached(beatSum)) sum = beatSum;
      if (IsBeatSumEmpty(beatSum)) {
        beatSum = sum;
        sum = sum + weight * tickDurations[k];
        k += stride;
      }
      // A later call may go on from here only if a walk from the latest cached beat would start
      // at this beat's start with this sum; an entry cached further into the beat would not.
      anchor = IsBeatSumCached(beatSum) ? beat : -1;
    }
    // Each visited tick caches its sum while the beat's entry is still empty; once it is not,
    // nothing else in this beat writes it, so the rest of the beat only adds up.
    for (; k < beatEnd && IsBeatSumEmpty(beatSum); k += stride) {
      beatSum = sum;
      sum = sum + weight * tickDurations[k];
    }
    for (; k < beatEnd; k += stride) sum = sum + weight * tickDurations[k];
  }
  // The walk may have cached every beat it entered, the one holding tick end - 1 the last.
  if (end > 0) highestCachedBeat = std::max(highestCachedBeat, (end - 1) / TicksPerBeat);
  // A tick at a cached beat's start is that beat's sum.
  const int32_t endBeat = end / TicksPerBeat;
  if (end > 0 && end % TicksPerBeat == 0 && endBeat <= LastBeat &&
      IsBeatSumCached(beatSums[endBeat])) {
    sum = beatSums[endBeat];
    anchor = endBeat;
  }

  // Strides that divide a beat visit every beat's start, which the walk relies on.
  running.valid = end > 0 && anchor > 0 && TicksPerBeat % stride == 0;
  running.stride = stride;
  running.end = end;
  running.next = k;
  running.anchor = anchor;
  running.anchorSum = anchor > 0 ? beatSums[anchor] : 0.0;
  running.sum = sum;
  return sum + beyond;
}

void TimelineEngine::InvalidateBeatSums(int32_t beat) {
  DropRunningSum();
  if (beatSums == nullptr || beat >= LastBeat) return;
  const int32_t first = beat < 0 ? 0 : beat + 1;
  std::fill(beatSums + first, beatSums + MapBeats, 0.0);
  highestCachedBeat = std::min(highestCachedBeat, std::max(beat, 0));
}

void TimelineEngine::ClearLaterBeatSums(int32_t beat) {
  if (beatSums == nullptr || highestCachedBeat <= beat) return;
  std::fill(beatSums + beat + 1, beatSums + highestCachedBeat + 1, 0.0);
  highestCachedBeat = beat;
}

void TimelineEngine::StoreDrift(int32_t tick, double seconds) {
  StoreLength(&tickDurations[tick], seconds);
  // The running sum holds on while it has not summed this tick yet, which is how a playing song
  // finds it: a ramp then costs one addition a tick, as a held tempo does.
  if (tick < running.end) DropRunningSum();
  ClearLaterBeatSums(tick / TicksPerBeat);
}

void TimelineEngine::ResetState() {
  DropRunningSum();
  highestCachedBeat = 0;
  if (tickDurations != nullptr)
    for (int32_t i = 0; i < MapTicks; ++i) StoreLength(&tickDurations[i], 0.0);
  if (beatSums != nullptr) std::fill(beatSums, beatSums + MapBeats, 0.0);
  options = {};
}

void TimelineEngine::RefreshDisplayTime() {
  if (playing == 0) currentTick = TickFromPosition(songPosition);
  if (paintedTick != currentTick) {
    displaySeconds = ElapsedSeconds(currentTick, options.optimise);
    paintedTick = currentTick;
  }
}

void TimelineEngine::OnTransport(int32_t value) {
  playing = value == TransportPlaying ? 1 : 0;
  playStarted = 0;
  recentChange = 0;
}

void TimelineEngine::OnSongPosition(double position) {
  songPosition = position;
  currentTick = TickFromPosition(position);
  DropRunningSum();
}

bool TimelineEngine::RecordTick(double position) {
  songPosition = position;
  const double tickSeconds = MeasureTickSeconds(songPosition, hostTime[0]);
  // Not-a-number fails this test as well as infinity and lengths of zero or below.
  const bool usable = std::isfinite(tickSeconds) && tickSeconds > 0.0;
  if (playing != 1 || tickDurations == nullptr) return false;

  if (playStarted == 0) {
    playStarted = 1;
    currentTick = TickFromPosition(songPosition);
    DropRunningSum();
    // Freeze keeps the map as it is, the empty stretch before the start included.
    if (options.lookahead != 0 && options.freeze == 0 && usable && currentTick > 0) {
      const int32_t top = currentTick > MapTicks ? LastTick : currentTick - 1;
      int32_t lowestFilled = -1;
      for (int32_t i = top; i >= 0; --i) {
        if (std::fabs(tickDurations[i]) < TickEmptyThreshold) {
          StoreLength(&tickDurations[i], tickSeconds);
          lowestFilled = i;
        }
      }
      // A sum cached past a filled tick left that tick out.
      if (lowestFilled >= 0) ClearLaterBeatSums(lowestFilled / TicksPerBeat);
    }
  }

  bool changed = false;
  if (options.freeze == 0 && usable && currentTick >= 0 && currentTick < MapTicks) {
    const double old = tickDurations[currentTick];
    if (tickSeconds + TickChangeThreshold < old || tickSeconds - TickChangeThreshold > old) {
      StoreLength(&tickDurations[currentTick], tickSeconds);
      DropRunningSum();
      if (options.lookahead != 0) {
        const double shift = tickSeconds - old;
        for (int32_t i = currentTick + 1; i < MapTicks; ++i)
          StoreLength(&tickDurations[i], tickDurations[i] + shift);
      }
      ClearLaterBeatSums(currentTick / TicksPerBeat);
      recentChange = RecentChangeTicks;
      changed = true;
    } else if (tickSeconds + TickDriftThreshold < old || tickSeconds - TickDriftThreshold > old) {
      StoreDrift(currentTick, tickSeconds);
    }
  }

  if (currentTick < INT32_MAX) ++currentTick;
  if (recentChange != 0) --recentChange;
  return changed;
}

}  // namespace tempotally
