// Writer and reader of the engine's saved state. All integers are little-endian and unpadded:
// key count (16 bits); per key its name length (16 bits), the name, the value (32 bits); then
// (index, single-precision length) pairs, one per run of the map; then the terminator index.
#include "timeline/StateCodec.h"

#include <algorithm>
#include <cmath>
#include <cstddef>
#include <cstring>

namespace tempotally {

namespace {

constexpr uint32_t LongestName() {
  uint32_t longest = 0;
  for (const OptionRow& row : OptionTable) {
    longest = std::max(longest, static_cast<uint32_t>(std::string_view(row.key).size()));
  }
  return longest;
}

// No key name is longer; a longer stored name is read past without being compared.
constexpr uint32_t LongestKeyName = LongestName();
// Bytes of a stored name consumed per read while skipping it.
constexpr uint32_t NameChunk = 64;
static_assert(NameChunk >= LongestKeyName, "a matching name must arrive in one read");

constexpr int32_t LastTick = MapTicks - 1;

uint8_t* Put16(uint8_t* at, uint16_t value) {
  at[0] = static_cast<uint8_t>(value);
  at[1] = static_cast<uint8_t>(value >> 8);
  return at + 2;
}

uint8_t* Put32(uint8_t* at, uint32_t value) {
  for (int i = 0; i < 4; ++i) at[i] = static_cast<uint8_t>(value >> (8 * i));
  return at + 4;
}

// Reads until `size` bytes have arrived or a read delivers nothing: a stream may hand over fewer
// bytes than asked and still have more. False when the stream ended first.
bool ReadFully(StateReader& reader, void* data, uint32_t size) {
  auto* at = static_cast<uint8_t*>(data);
  while (size > 0) {
    const uint32_t got = std::min(reader.Read(at, size), size);
    if (got == 0) return false;
    at += got;
    size -= got;
  }
  return true;
}

bool Read16(StateReader& reader, uint16_t& value) {
  uint8_t bytes[2] = {0, 0};
  if (!ReadFully(reader, bytes, sizeof bytes)) return false;
  value = static_cast<uint16_t>(bytes[0] | bytes[1] << 8);
  return true;
}

bool Read32(StateReader& reader, uint32_t& value) {
  uint8_t bytes[4] = {0, 0, 0, 0};
  if (!ReadFully(reader, bytes, sizeof bytes)) return false;
  value = static_cast<uint32_t>(bytes[0]) | static_cast<uint32_t>(bytes[1]) << 8 |
          static_cast<uint32_t>(bytes[2]) << 16 | static_cast<uint32_t>(bytes[3]) << 24;
  return true;
}

uint32_t SingleBits(double value) {
  const float single = static_cast<float>(value);
  uint32_t bits;
  std::memcpy(&bits, &single, sizeof bits);
  return bits;
}

double FromSingleBits(uint32_t bits) {
  float single;
  std::memcpy(&single, &bits, sizeof single);
  return static_cast<double>(single);
}

char LowerAscii(char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; }

// The option whose key equals the stored name, ASCII case ignored; null when none does.
const OptionRow* FindKey(const char* name, uint32_t length) {
  for (const OptionRow& row : OptionTable) {
    if (std::strlen(row.key) != length) continue;
    bool same = true;
    for (uint32_t i = 0; i < length && same; ++i) same = LowerAscii(name[i]) == row.key[i];
    if (same) return &row;
  }
  return nullptr;
}

// False when the stream ended inside the key section; the records before that point are applied.
bool ReadKeys(EngineOptions& options, StateReader& reader) {
  uint16_t count = 0;
  if (!Read16(reader, count)) return false;
  for (uint16_t record = 0; record < count; ++record) {
    uint16_t length = 0;
    if (!Read16(reader, length)) return false;
    // A name too long for any key is consumed chunk by chunk and never compared.
    char name[NameChunk] = {};
    for (uint32_t remaining = length; remaining > 0;) {
      const uint32_t part = std::min(remaining, NameChunk);
      if (!ReadFully(reader, name, part)) return false;
      remaining -= part;
    }
    uint32_t value = 0;
    if (!Read32(reader, value)) return false;
    const OptionRow* row = length <= LongestKeyName ? FindKey(name, length) : nullptr;
    if (row != nullptr) row->Set(options, static_cast<int32_t>(value));
  }
  return true;
}

void Fill(double* ticks, int32_t first, int32_t last, double value) {
  if (first > last) return;
  std::fill(ticks + first, ticks + last + 1, value);
}

// Each pair's value holds from its own index up to the next pair's index, inclusive, where the
// next pair takes over; the last value runs to the end of the map, also when the stream ends
// before the terminator.
void ReadMap(TimelineEngine& engine, StateReader& reader) {
  double* ticks = engine.tickDurations;
  double value = 0.0;
  int32_t start = 0;
  // The writer stores at most one pair per tick, so a longer list is corrupt and ends there.
  for (int32_t pairs = 0; pairs < MapTicks; ++pairs) {
    uint32_t index = 0;
    if (!Read32(reader, index) || index == static_cast<uint32_t>(StateMapTerminator)) break;
    uint32_t bits = 0;
    if (!Read32(reader, bits)) break;
    // Indices outside the map cannot come from the writer: the pair is dropped.
    if (index > static_cast<uint32_t>(LastTick)) continue;
    const int32_t tick = static_cast<int32_t>(index);
    if (ticks != nullptr) Fill(ticks, start, tick, value);
    const double read = FromSingleBits(bits);
    // A stored length that is not a number counts as never recorded.
    value = std::isfinite(read) ? read : 0.0;
    start = tick;
  }
  if (ticks != nullptr) Fill(ticks, start, LastTick, value);
}

}  // namespace

uint32_t StateEncoder::Encode(const TimelineEngine& engine, uint8_t* out, uint32_t capacity) {
  uint8_t* at = out;
  uint8_t* const end = out + capacity;
  if (stage_ == Stage::Keys) {
    if (capacity < StateKeySectionBytes) return 0;
    at = Put16(at, StateKeyCount);
    for (const OptionRow& row : OptionTable) {
      const uint16_t length = static_cast<uint16_t>(std::strlen(row.key));
      at = Put16(at, length);
      std::memcpy(at, row.key, length);
      at += length;
      at = Put32(at, static_cast<uint32_t>(row.Get(engine.options)));
    }
    stage_ = Stage::Map;
  }
  if (stage_ == Stage::Map) {
    for (; tick_ < MapTicks; ++tick_) {
      const double seconds = engine.tickDurations != nullptr ? engine.tickDurations[tick_] : 0.0;
      // Tick 0 opens a run even when it holds the sentinel itself.
      if (tick_ == 0 || seconds < last_ - TickChangeThreshold ||
          seconds > last_ + TickChangeThreshold) {
        if (end - at < static_cast<std::ptrdiff_t>(StatePairBytes))
          return static_cast<uint32_t>(at - out);
        at = Put32(at, static_cast<uint32_t>(tick_));
        at = Put32(at, SingleBits(seconds));
        last_ = seconds;
      }
    }
    if (end - at < static_cast<std::ptrdiff_t>(StateTerminatorBytes)) {
      return static_cast<uint32_t>(at - out);
    }
    at = Put32(at, static_cast<uint32_t>(StateMapTerminator));
    stage_ = Stage::Done;
  }
  return static_cast<uint32_t>(at - out);
}

void SaveState(const TimelineEngine& engine, StateWriter& writer) {
  StateEncoder encoder;
  uint8_t piece[SavePieceBytes];
  while (const uint32_t size = encoder.Encode(engine, piece, sizeof piece)) {
    writer.Write(piece, size);
  }
}

void RestoreState(TimelineEngine& engine, StateReader& reader) {
  engine.ResetState();
  EngineOptions& options = engine.options;
  if (ReadKeys(options, reader)) ReadMap(engine, reader);
  for (const OptionRow& row : OptionTable) {
    if (row.restored != nullptr) row.Set(options, row.restored(row.Get(options)));
  }
}

}  // namespace tempotally
