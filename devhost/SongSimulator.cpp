// Tempo automation with its exact elapsed time, and the host transport that reports it per tick.
#include "devhost/SongSimulator.h"

#include <algorithm>
#include <cmath>
#include <utility>

namespace tempotally::song {

namespace {

constexpr double SecondsPerMinute = 60.0;
constexpr double MillisecondsPerSecond = 1000.0;
// Tempo of a song given no points at all.
constexpr double FallbackBpm = 120.0;
// A ramp flatter than this (BPM per beat) is integrated as a held tempo.
constexpr double FlatRampSlope = 1e-12;

}  // namespace

TempoAutomation::TempoAutomation(std::vector<TempoPoint> points) : points_(std::move(points)) {
  if (points_.empty()) points_.push_back({0.0, FallbackBpm, false});
  std::stable_sort(points_.begin(), points_.end(),
                   [](const TempoPoint& a, const TempoPoint& b) { return a.beat < b.beat; });
  secondsAtPoint_.resize(points_.size());
  // Before the first point its tempo holds, so beat 0 may lie on either side of it.
  secondsAtPoint_[0] = points_[0].beat * SecondsPerMinute / points_[0].bpm;
  for (std::size_t i = 0; i + 1 < points_.size(); ++i) {
    secondsAtPoint_[i + 1] = secondsAtPoint_[i] + SecondsIntoSegment(i, points_[i + 1].beat);
  }
}

TempoAutomation TempoAutomation::DefaultSong() {
  return TempoAutomation({
      {0.0, 120.0, false},
      {32.0, 90.0, false},
      {64.0, 90.0, true},
      {128.0, 160.0, false},
      {128.0, 140.0, false},
  });
}

TempoAutomation TempoAutomation::StepSong() {
  return TempoAutomation({
      {0.0, 120.0, false},
      {32.0, 90.0, false},
      {64.0, 160.0, false},
      {128.0, 140.0, false},
  });
}

TempoAutomation TempoAutomation::SlowRamp() {
  return TempoAutomation({
      {0.0, 60.0, false},
      {16.0, 60.0, true},
      {316.0, 240.0, false},
  });
}

std::vector<NamedSong> SyncSongs() {
  return {{"step song", TempoAutomation::StepSong(), TempoAutomation::DefaultSongEndBeat},
          {"demo ramp, 90 to 160 BPM over 64 beats", TempoAutomation::DefaultSong(),
           TempoAutomation::DefaultSongEndBeat},
          {"slow ramp, 60 to 240 BPM over 300 beats", TempoAutomation::SlowRamp(),
           TempoAutomation::SlowRampEndBeat}};
}

std::size_t TempoAutomation::SegmentAt(double beat) const {
  auto after = std::upper_bound(points_.begin(), points_.end(), beat,
                                [](double b, const TempoPoint& p) { return b < p.beat; });
  if (after == points_.begin()) return 0;
  return static_cast<std::size_t>(after - points_.begin()) - 1;
}

double TempoAutomation::BpmAt(double beat) const {
  if (beat < points_[0].beat) return points_[0].bpm;
  const std::size_t i = SegmentAt(beat);
  const TempoPoint& p = points_[i];
  if (!p.rampToNext || i + 1 >= points_.size()) return p.bpm;
  const TempoPoint& next = points_[i + 1];
  const double fraction = (beat - p.beat) / (next.beat - p.beat);
  return p.bpm + (next.bpm - p.bpm) * fraction;
}

double TempoAutomation::SecondsIntoSegment(std::size_t i, double beat) const {
  const TempoPoint& p = points_[i];
  const double beats = beat - p.beat;
  if (p.rampToNext && i + 1 < points_.size() && points_[i + 1].beat > p.beat) {
    const TempoPoint& next = points_[i + 1];
    const double slope = (next.bpm - p.bpm) / (next.beat - p.beat);
    if (std::fabs(slope) > FlatRampSlope) {
      // The integral of 60 / (bpm0 + slope·x) over x in [0, beats].
      return SecondsPerMinute / slope * std::log1p(slope * beats / p.bpm);
    }
  }
  return beats * SecondsPerMinute / p.bpm;
}

double TempoAutomation::SecondsAt(double beat) const {
  if (beat < points_[0].beat) {
    return secondsAtPoint_[0] - (points_[0].beat - beat) * SecondsPerMinute / points_[0].bpm;
  }
  const std::size_t i = SegmentAt(beat);
  return secondsAtPoint_[i] + SecondsIntoSegment(i, beat);
}

SongSimulator::SongSimulator(TempoAutomation automation) : automation_(std::move(automation)) {}

double SongSimulator::TickSecondsAt(double ticks) const {
  return SecondsPerMinute / (automation_.BpmAt(ticks / TicksPerBeat) * TicksPerBeat);
}

double SongSimulator::HostTimeMs() const {
  return position_ * TickSecondsAt(position_) * MillisecondsPerSecond;
}

double SongSimulator::TrueSeconds() const {
  return automation_.SecondsAt(position_ / TicksPerBeat);
}

void SongSimulator::AdvanceTick() {
  if (playing_) position_ += 1.0;
}

}  // namespace tempotally::song
