// The engine's saved state: the named options and placement values, then the tick map as runs,
// written to and read from a plain byte sequence. The bytes that follow belong to the video player.
#pragma once

#include <cstdint>
#include <string_view>

#include "timeline/TimelineEngine.h"

namespace tempotally {

// Where saved bytes go. Results are not reported: a sink that fails simply loses bytes.
struct StateWriter {
  virtual void Write(const void* data, uint32_t size) = 0;

 protected:
  ~StateWriter() = default;
};

// Where saved bytes come from, strictly in order. A read may deliver fewer bytes than asked and
// returns how many it did; one that delivers none marks the end of the stream.
struct StateReader {
  virtual uint32_t Read(void* data, uint32_t size) = 0;

 protected:
  ~StateReader() = default;
};

constexpr uint16_t StateKeyCount = OptionCount;

// Bytes of the key section as written: the count, then per key its name length, name and value.
constexpr uint32_t StateKeySectionSize() {
  uint32_t bytes = 2;
  for (const OptionRow& row : OptionTable) bytes += 2 + std::string_view(row.key).size() + 4;
  return bytes;
}
constexpr uint32_t StateKeySectionBytes = StateKeySectionSize();

// The index that ends the map; no value follows it.
constexpr int32_t StateMapTerminator = MapTicks;

// What the saved runs may cost the map, in seconds. The running time of the restored map (tick 0
// counted as tick 1, as ElapsedSeconds counts it) stays this close to the saved map's at every
// tick, a quarter of a millisecond; and every restored tick stays within TickChangeThreshold of its
// saved length, so the graph shows what was recorded.
constexpr double SavedTimeTolerance = 0.25e-3;

constexpr uint32_t StatePairBytes = 8;
constexpr uint32_t StateTerminatorBytes = 4;
// The longest saved state: a pair for every tick.
constexpr uint32_t MaxSavedStateBytes =
    StateKeySectionBytes + MapTicks * StatePairBytes + StateTerminatorBytes;

// A piece size for writers that go piece by piece; any size that holds the key section will do.
constexpr uint32_t SavePieceBytes = 4096;
static_assert(SavePieceBytes >= StateKeySectionBytes, "the key section goes out in one piece");

// One run of the saved map: ticks from `first` up to the next run's first tick hold `seconds`.
struct SavedRun {
  int32_t first = 0;
  float seconds = 0.0f;
};

// Chooses the map's runs one after the other, each as long as a single value can stand for all of
// its ticks within both bounds of SavedTimeTolerance, given the time error the earlier runs left;
// that value then leans against the error, bringing it back toward zero at the run's end. A map
// that holds one value saves as one run of it.
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

// Produces the saved state in pieces, so a caller can take each piece under a lock and hand it
// to a stream without the lock; one piece of MaxSavedStateBytes holds all of it.
class StateEncoder {
 public:
  // Appends whole fields to `out` while they fit and returns the number of bytes written, 0 once
  // everything is out. `capacity` must hold at least the key section. Every call of one encoding
  // gets the same engine, unchanged.
  uint32_t Encode(const TimelineEngine& engine, uint8_t* out, uint32_t capacity);
  bool Done() const { return stage_ == Stage::Done; }

 private:
  enum class Stage { Keys, Map, Done };
  Stage stage_ = Stage::Keys;
  RunChooser runs_{nullptr};
  bool pending_ = false;  // run_ was chosen but did not fit the last piece
  SavedRun run_;
};

// Writes the options, the placement and the map. Arrays that were never allocated save as empty.
void SaveState(const TimelineEngine& engine, StateWriter& writer);

// Resets the engine, then applies the saved options and map; each option's row says what a
// restored value becomes. Leaves the transport, the
// current tick and the display as they were. Returns right after the map's terminator, so the
// reader is positioned at the video player's bytes; a stream that ends early stops the restore
// there, with the options and the pairs read so far.
void RestoreState(TimelineEngine& engine, StateReader& reader);

}  // namespace tempotally
