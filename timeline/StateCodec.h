// The engine's saved state: the named options, then the map as runs; the player's bytes follow.
#pragma once

#include <cstdint>
#include <string_view>

#include "timeline/TimelineEngine.h"

namespace tempotally {

// Where saved bytes go; a sink that fails simply loses bytes.
struct StateWriter {
  virtual void Write(const void* data, uint32_t size) = 0;

 protected:
  ~StateWriter() = default;
};

// Where saved bytes come from, in order. A read returns the bytes it delivered; none marks the end.
struct StateReader {
  virtual uint32_t Read(void* data, uint32_t size) = 0;

 protected:
  ~StateReader() = default;
};

// Bytes of the key section: the count, then per key its name length, name and value.
constexpr uint32_t StateKeySectionSize() {
  uint32_t bytes = 2;
  for (const OptionRow& row : OptionTable) bytes += 2 + std::string_view(row.key).size() + 4;
  return bytes;
}
constexpr uint32_t StateKeySectionBytes = StateKeySectionSize();

// The index that ends the map; no value follows it.
constexpr int32_t StateMapTerminator = MapTicks;

// What the saved runs may cost, in seconds: the restored map's running time (tick 0 counted as
// tick 1, as ElapsedSeconds does) stays this close to the saved map's at every tick, and every
// restored tick within TickChangeThreshold of its saved length.
constexpr double SavedTimeTolerance = 0.25e-3;

constexpr uint32_t StatePairBytes = 8;
constexpr uint32_t StateTerminatorBytes = 4;
// The longest saved state: a pair for every tick.
constexpr uint32_t MaxSavedStateBytes =
    StateKeySectionBytes + MapTicks * StatePairBytes + StateTerminatorBytes;

// A piece size for writers that go piece by piece; any that holds the key section will do.
constexpr uint32_t SavePieceBytes = 4096;
static_assert(SavePieceBytes >= StateKeySectionBytes);

// One run of the saved map: ticks from `first` up to the next run's first tick hold `seconds`.
struct SavedRun {
  int32_t first = 0;
  float seconds = 0.0f;
};

// Chooses the map's runs in turn, each as long as one value stands for all its ticks within both
// bounds of SavedTimeTolerance, given the error earlier runs left, which the value leans against.
class RunChooser {
 public:
  // `ticks`: MapTicks entries, or null for a map that was never allocated (saved as empty).
  explicit RunChooser(const double* ticks) : ticks_(ticks) {}
  bool Done() const { return next_ >= MapTicks; }
  // The next run; only while !Done().
  SavedRun Next();

 private:
  double Tick(int32_t i) const { return ticks_ != nullptr ? ticks_[i] : 0.0; }

  const double* ticks_;
  int32_t next_ = 0;
  double carried_ = 0.0;  // restored minus saved running time where the next run starts, seconds
};

// Produces the saved state in pieces; one piece of MaxSavedStateBytes holds all of it.
class StateEncoder {
 public:
  // Appends whole fields to `out` while they fit; returns the bytes written, 0 once all is out.
  // `capacity` holds at least the key section; every call gets the same engine, unchanged.
  uint32_t Encode(const TimelineEngine& engine, uint8_t* out, uint32_t capacity);

 private:
  enum class Stage { Keys, Map, Done };
  Stage stage_ = Stage::Keys;
  RunChooser runs_{nullptr};
  bool pending_ = false;  // run_ was chosen but did not fit the last piece
  SavedRun run_;
};

// Writes the options, the placement and the map. Arrays that were never allocated save as empty.
void SaveState(const TimelineEngine& engine, StateWriter& writer);

// Resets the engine's options, map and cache to the saved ones; the transport, current tick and
// display stay. Stops after the map's terminator, at the player's bytes, or where the stream ends.
void RestoreState(TimelineEngine& engine, StateReader& reader);

}  // namespace tempotally
