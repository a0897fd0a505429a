// The engine's saved state: eleven named options and placement values, then the tick map as runs,
// written to and read from a plain byte sequence. The bytes that follow belong to the video player.
#pragma once

#include <cstdint>

#include "timeline/TimelineEngine.h"

namespace tempotally {

// Where saved bytes go. Results are not reported: a sink that fails simply loses bytes.
struct StateWriter {
  virtual void Write(const void* data, uint32_t size) = 0;

 protected:
  ~StateWriter() = default;
};

// Where saved bytes come from, strictly in order. A read that delivers nothing leaves the target
// as it was; the codec zeroes every target first, so a missing field reads as 0.
struct StateReader {
  virtual void Read(void* data, uint32_t size) = 0;

 protected:
  ~StateReader() = default;
};

constexpr uint16_t StateKeyCount = 11;
// The index that ends the map; no value follows it.
constexpr int32_t StateMapTerminator = MapTicks;
// Before the first tick every value starts a run.
constexpr double StateRunSentinel = -12345.0;
// The editor's fold levels run from 0 (unfolded) to this.
constexpr uint8_t DeepestFoldLevel = 2;

// Writes the options, the placement and the map. Arrays that were never allocated save as empty.
void SaveState(const TimelineEngine& engine, StateWriter& writer);

// Resets the engine, then applies the saved options and map; a fold level above the deepest one
// becomes the deepest. Leaves the transport, the current tick and the display as they were.
// Returns after the map's end (or the point where a cut-off stream ran dry), so the reader is
// positioned at the video player's bytes.
void RestoreState(TimelineEngine& engine, StateReader& reader);

}  // namespace tempotally
