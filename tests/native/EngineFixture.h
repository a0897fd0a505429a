// A freshly created engine, as the plug-in sets it up, and helpers that play the host's part.
#pragma once

#include <gtest/gtest.h>

#include <algorithm>
#include <vector>

#include "timeline/TimelineEngine.h"

namespace tempotally::testing {

// 120 BPM and 90 BPM, in seconds per tick.
constexpr double Tick120 = 60.0 / (120.0 * TicksPerBeat);
constexpr double Tick90 = 60.0 / (90.0 * TicksPerBeat);

class EngineTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(engine.Allocate());
    engine.ResetState();
  }

  void FillMap(double seconds) {
    std::fill(engine.tickDurations, engine.tickDurations + MapTicks, seconds);
  }
  std::vector<double> Map() const {
    return {engine.tickDurations, engine.tickDurations + MapTicks};
  }
  std::vector<double> BeatSums() const { return {engine.beatSums, engine.beatSums + MapBeats}; }

  // The host's time (ms) at `position` that makes the engine measure `tickSeconds` there.
  static double HostMsFor(double position, double tickSeconds) {
    return position * tickSeconds * MillisecondsPerSecond;
  }
  // One per-tick call as the plug-in makes it, with the host reporting `position` and a time there
  // that corresponds to `tickSeconds`.
  bool Tick(double position, double tickSeconds) {
    engine.hostTime[0] = HostMsFor(position, tickSeconds);
    return engine.RecordTick(position);
  }
  // What the engine will measure from those figures, rounding included.
  static double Measured(double position, double tickSeconds) {
    return MeasureTickSeconds(position, HostMsFor(position, tickSeconds));
  }

  TimelineEngine engine;
};

}  // namespace tempotally::testing
