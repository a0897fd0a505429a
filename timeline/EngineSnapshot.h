// Everything the editor's paint shows of the engine, as a plain copy: what SharedEngine publishes
// for the paint, or what an engine that no other thread uses holds.
#pragma once

#include <algorithm>
#include <cstdint>

#include "timeline/TimelineEngine.h"

namespace tempotally {

struct EngineSnapshot {
  EngineOptions options;
  double displaySeconds = 0.0;
  int32_t recentChange = 0;
  double songPosition = 0.0;
  int32_t timeSignature[3] = {0, 0, 0};
  const double* map = nullptr;  // its entries read with LoadLength
};

// The snapshot of an engine that no other thread uses (tests, and mirrors of the engine).
inline EngineSnapshot SnapshotOf(const TimelineEngine& engine) {
  EngineSnapshot snapshot;
  snapshot.options = engine.options;
  snapshot.displaySeconds = engine.displaySeconds;
  snapshot.recentChange = engine.recentChange;
  snapshot.songPosition = engine.songPosition;
  std::copy(engine.timeSignature, engine.timeSignature + 3, snapshot.timeSignature);
  snapshot.map = engine.tickDurations;
  return snapshot;
}

}  // namespace tempotally
