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
// The run value before tick 0, which opens the first run whatever its own value.
constexpr double StateRunSentinel = -12345.0;

constexpr uint32_t StatePairBytes = 8;
constexpr uint32_t StateTerminatorBytes = 4;
// The longest saved state: a pair for every tick.
constexpr uint32_t MaxSavedStateBytes =
    StateKeySectionBytes + MapTicks * StatePairBytes + StateTerminatorBytes;

// A piece size for writers that go piece by piece; any size that holds the key section will do.
constexpr uint32_t SavePieceBytes = 4096;
static_assert(SavePieceBytes >= StateKeySectionBytes, "the key section goes out in one piece");

// Produces the saved state in pieces, so a caller can take each piece under a lock and hand it
// to a stream without the lock; one piece of MaxSavedStateBytes holds all of it.
class StateEncoder {
 public:
  // Appends whole fields to `out` while they fit and returns the number of bytes written, 0 once
  // everything is out. `capacity` must hold at least the key section.
  uint32_t Encode(const TimelineEngine& engine, uint8_t* out, uint32_t capacity);
  bool Done() const { return stage_ == Stage::Done; }

 private:
  enum class Stage { Keys, Map, Done };
  Stage stage_ = Stage::Keys;
  int32_t tick_ = 0;
  double last_ = StateRunSentinel;
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
