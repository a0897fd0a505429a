// A stand-in for the host's transport in tests and tools: a song with tempo automation, its true
// elapsed time, and the position and time that the host reports on each tick.
// Platform-free and exception-free, for both the native and the Windows test programs.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

namespace tempotally::song {

constexpr int32_t TicksPerBeat = 96;

// From `beat` on, the tempo is `bpm`; it is held, or ramped linearly (in BPM over beats) to the
// next point's tempo.
struct TempoPoint {
  double beat;
  double bpm;
  bool rampToNext;
};

// Tempo as a function of the beat. Points are kept in beat order; two points at the same beat make
// a step there (a ramp may end on the first, the song goes on from the second). Before the first
// point its tempo holds.
class TempoAutomation {
 public:
  explicit TempoAutomation(std::vector<TempoPoint> points);

  // 120 BPM, a step to 90 at beat 32, a ramp from 90 to 160 over beats 64 to 128, then a step to
  // 140, held to the end of the song.
  static TempoAutomation DefaultSong();
  // Beat at which DefaultSong's transport is considered finished.
  static constexpr double DefaultSongEndBeat = 200.0;

  // DefaultSong with its ramp turned into a step to 160 BPM at beat 64: tempo steps only.
  static TempoAutomation StepSong();
  // 60 BPM for 16 beats, a slow ramp from 60 to 240 BPM over the next 300 beats, then 240 BPM.
  static TempoAutomation SlowRamp();
  static constexpr double SlowRampEndBeat = 340.0;

  double BpmAt(double beat) const;
  // Exact elapsed seconds from beat 0 to `beat`.
  double SecondsAt(double beat) const;

  const std::vector<TempoPoint>& Points() const { return points_; }

 private:
  // Index of the point that governs `beat`.
  std::size_t SegmentAt(double beat) const;
  // Seconds from the start of segment `i` to `beat` within it.
  double SecondsIntoSegment(std::size_t i, double beat) const;

  std::vector<TempoPoint> points_;
  std::vector<double> secondsAtPoint_;  // elapsed seconds at each point's beat
};

// A song of the set that the sync figures are measured on, with the beat its transport ends at.
struct NamedSong {
  const char* name;
  TempoAutomation tempo;
  double endBeat;
};
// The step song, DefaultSong (the demo's ramp) and the slow ramp, in that order.
std::vector<NamedSong> SyncSongs();

// The host's transport, driven one tick at a time.
class SongSimulator {
 public:
  explicit SongSimulator(TempoAutomation automation);

  void Start() { playing_ = true; }
  void Stop() { playing_ = false; }
  void JumpTo(double ticks) { position_ = ticks; }
  bool Playing() const { return playing_; }

  // The host's song position in ticks.
  double PositionTicks() const { return position_; }
  // The host's own time at the position, in ms: position times the current tick length, as if the
  // current tempo had held since the song began.
  double HostTimeMs() const;
  // The true elapsed seconds at the position.
  double TrueSeconds() const;
  // Length of the tick starting at `ticks` as the host sees it: from the tempo at its start.
  double TickSecondsAt(double ticks) const;

  // One tick of transport; does nothing while stopped.
  void AdvanceTick();

  const TempoAutomation& Automation() const { return automation_; }

 private:
  TempoAutomation automation_;
  double position_ = 0.0;
  bool playing_ = false;
};

}  // namespace tempotally::song
