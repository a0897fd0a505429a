// The timeline engine: the tick-duration map, its per-beat cache of running sums, the elapsed time
// over the map, and the recording of tick lengths on each tick. Platform-free.
#pragma once

#include <atomic>
#include <cstdint>
#include <string_view>

namespace tempotally {

constexpr int32_t TicksPerBeat = 96;
constexpr int32_t MapBeats = 1000;
constexpr int32_t MapTicks = TicksPerBeat * MapBeats;

// A tick length that moves by more than this, in seconds, is a change: stored, shifting later ticks
// with Look ahead, tinting the readout and repainting the editor.
constexpr double TickChangeThreshold = 1e-5;
// A smaller move above this is stored with nothing else: on a tempo ramp every tick moves by less
// than a change, and a map that kept the old lengths would lag the ramp. Below, it is noise.
constexpr double TickDriftThreshold = 1e-12;
// A beat sum of smaller magnitude counts as not cached.
constexpr double BeatSumCachedThreshold = 1e-8;
// A map entry of smaller magnitude counts as not recorded, for the look-ahead back-fill.
constexpr double TickEmptyThreshold = 1e-16;
// Ticks during which the readout stays tinted after a recorded change.
constexpr int32_t RecentChangeTicks = 96;

// Summation steps of ElapsedSeconds: every tick, or every fourth tick (Optimise).
constexpr uint8_t StepEveryTick = 1;
constexpr uint8_t StepOptimised = 4;

// The editor's fold levels run from 0 (unfolded) to this; the graph shows above it.
constexpr uint8_t DeepestFoldLevel = 2;

constexpr int32_t DefaultVideoWidth = 640;
constexpr int32_t DefaultVideoHeight = 480;

// Host transport value that means "playing"; every other value means stopped.
constexpr int32_t TransportPlaying = 1;

constexpr double MillisecondsPerSecond = 1000.0;
constexpr double SecondsPerMinute = 60.0;
constexpr double MillisecondsPerMinute = 60000.0;

// A value one side writes while another reads it: relaxed accesses, each whole. No reader here
// needs several values of one moment.
template <typename T>
class Relaxed {
 public:
  constexpr Relaxed(T value = T{}) : value_(value) {}
  Relaxed(const Relaxed& other) : value_(other.Load()) {}
  Relaxed& operator=(const Relaxed& other) { return *this = other.Load(); }
  Relaxed& operator=(T value) {
    Store(value);
    return *this;
  }
  operator T() const { return Load(); }
  T Load() const { return value_.load(std::memory_order_relaxed); }
  void Store(T value) { value_.store(value, std::memory_order_relaxed); }

 private:
  std::atomic<T> value_;
};

// A map entry as the paint reads it beside the writer, and as the engine writes it: one relaxed
// access of the whole double. The engine's own reads are plain, as only its holder writes.
inline double LoadLength(const double* entry) {
  double value;
  __atomic_load(entry, &value, __ATOMIC_RELAXED);
  return value;
}
inline void StoreLength(double* entry, double value) {
  __atomic_store(entry, &value, __ATOMIC_RELAXED);
}

// The options, named after their saved keys, and the video window's placement; each one's row of
// OptionTable gives the rest. The non-tick side writes them; the tick and the paint read them.
using OptionByte = Relaxed<uint8_t>;
using OptionWord = Relaxed<int32_t>;
struct EngineOptions {
  EngineOptions();  // every option at its starting value
  OptionByte freeze, video, videoontop, lookahead, selection;
  OptionByte optimise;   // the summation step: 1 or 4
  OptionByte minimised;  // the editor's fold level
  OptionWord winleft, wintop, winwidth, winheight;
};

// One option: its saved key, the byte or word it is kept in (a byte saves as a word and restores
// as its low byte), its starting value, and what a restored value becomes (null: itself).
struct OptionRow {
  const char* key;
  OptionByte EngineOptions::*byteField;
  OptionWord EngineOptions::*wordField;
  int32_t initial;
  int32_t (*restored)(int32_t value);

  int32_t Get(const EngineOptions& options) const {
    return byteField != nullptr ? (options.*byteField).Load() : (options.*wordField).Load();
  }
  void Set(EngineOptions& options, int32_t value) const {
    if (byteField != nullptr)
      (options.*byteField).Store(static_cast<uint8_t>(value));
    else
      (options.*wordField).Store(value);
  }
};

constexpr int32_t KnownFoldLevel(int32_t level) {
  return level > DeepestFoldLevel ? DeepestFoldLevel : level;
}
// Any other step would cache sums at ticks that are not beat starts: it becomes every tick.
constexpr int32_t KnownStep(int32_t step) { return step == StepOptimised ? step : StepEveryTick; }

// Every option, in saved order, for the reset, the save and the restore. A new option is a field
// above and a row here; renaming or reordering rows changes saved projects.
inline constexpr OptionRow OptionTable[] = {
    {"video", &EngineOptions::video, nullptr, 0, nullptr},
    {"videoontop", &EngineOptions::videoontop, nullptr, 0, nullptr},
    {"freeze", &EngineOptions::freeze, nullptr, 0, nullptr},
    {"lookahead", &EngineOptions::lookahead, nullptr, 1, nullptr},
    {"optimise", &EngineOptions::optimise, nullptr, StepEveryTick, KnownStep},
    {"selection", &EngineOptions::selection, nullptr, 0, nullptr},
    {"minimised", &EngineOptions::minimised, nullptr, 0, KnownFoldLevel},
    {"winleft", nullptr, &EngineOptions::winleft, 0, nullptr},
    {"wintop", nullptr, &EngineOptions::wintop, 0, nullptr},
    {"winwidth", nullptr, &EngineOptions::winwidth, DefaultVideoWidth, nullptr},
    {"winheight", nullptr, &EngineOptions::winheight, DefaultVideoHeight, nullptr},
};

inline EngineOptions::EngineOptions() {
  for (const OptionRow& row : OptionTable) row.Set(*this, row.initial);
}

constexpr int OptionCount = static_cast<int>(sizeof OptionTable / sizeof OptionTable[0]);

// The position of the row saved under `key`, for tables that name an option; -1 when none is.
constexpr int OptionIndex(std::string_view key) {
  for (int i = 0; i < OptionCount; ++i)
    if (key == OptionTable[i].key) return i;
  return -1;
}

// Everything the engine reads and writes, in one object so that its users serialise access once.
struct TimelineEngine {
  EngineOptions options;

  // Transport and position, as last reported by the host.
  uint8_t playing = 0;
  uint8_t playStarted = 0;
  int32_t recentChange = 0;
  double songPosition = 0.0;        // in ticks
  double hostTime[2] = {0.0, 0.0};  // filled by the host each tick; [0] is its time in ms
  int32_t timeSignature[3] = {0, 0, 0};

  int32_t currentTick = 0;
  int32_t paintedTick = 0;  // -1 forces the next RefreshDisplayTime to recompute
  double displaySeconds = 0.0;

  // Owned; MapTicks and MapBeats entries; null until Allocate succeeds. Other writers of either
  // array call DropRunningSum after, raise highestCachedBeat for sums, and use StoreLength.
  double* tickDurations = nullptr;
  double* beatSums = nullptr;
  // No later beat holds a cached sum, so storing a length clears only up to here.
  int32_t highestCachedBeat = 0;

  // Where the last ElapsedSeconds walk ended, for a later call with the same step to go on from:
  // one addition per tick, in the order (so the bits) of a walk from the latest cached beat.
  struct RunningSum {
    bool valid = false;
    int32_t stride = 0;
    int32_t end = 0;     // ticks before this one are summed
    int32_t next = 0;    // the next tick the walk visits
    int32_t anchor = 0;  // the beat whose cached sum the walk builds on
    double anchorSum = 0.0;
    double sum = 0.0;
  };
  RunningSum running;

  TimelineEngine() = default;
  TimelineEngine(const TimelineEngine&) = delete;
  TimelineEngine& operator=(const TimelineEngine&) = delete;
  ~TimelineEngine() { Free(); }

  // Allocates both arrays without throwing; false (and nothing held) when memory runs out.
  bool Allocate();
  void Free();

  // Seconds from tick 0 to the start of `tick`, adding every `step`-th tick length times `step`.
  // Sets tickDurations[0] to tickDurations[1] and fills the beat cache on the way.
  double ElapsedSeconds(int32_t tick, int32_t step);
  // Clears the cached sums after `beat`, whatever highestCachedBeat says; drops the running sum.
  void InvalidateBeatSums(int32_t beat);
  // Makes the next ElapsedSeconds call walk from the latest cached beat.
  void DropRunningSum() { running.valid = false; }
  // Both arrays to zero, options and placement to their defaults.
  void ResetState();
  // Brings currentTick to the position while stopped; recomputes displaySeconds for a new tick.
  void RefreshDisplayTime();

  void OnTransport(int32_t value);
  void OnSongPosition(double position);
  // One per-tick call, after the host reported `position` (ticks) and hostTime: measures the tick,
  // stores its length when it moved, advances. True when a change was recorded.
  bool RecordTick(double position);

 private:
  // Clears the cached sums after `beat` up to highestCachedBeat; the running sum is kept.
  void ClearLaterBeatSums(int32_t beat);
  // tickDurations[tick] = seconds, with the map's sums kept true: a drift, not a change.
  void StoreDrift(int32_t tick, double seconds);
};

// Length of one tick in seconds from the host's position (ticks) and its time there (ms).
double MeasureTickSeconds(double position, double hostTimeMs);

// A position (ticks) as a tick: clamped to int32, truncated toward zero; not-a-number gives 0.
int32_t TickFromPosition(double position);

}  // namespace tempotally
