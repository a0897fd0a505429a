// Writer and reader of the engine's saved state. All integers are little-endian and unpadded:
// key count (16 bits); per key its name length (16 bits), the name, the value (32 bits); then
// (index, single-precision length) pairs, one per run of the map; then the terminator index.
#include "timeline/StateCodec.h"

#include <algorithm>
#include <cmath>
#include <cstddef>
#include <cstring>
#include <limits>

namespace tempotally {

namespace {

// Bytes of a stored name read at a time; a longer name, which no key has, is never compared.
constexpr uint32_t NameChunk = 64;

constexpr int32_t LastTick = MapTicks - 1;

// Left for rounding: a reader's sums of up to MapTicks terms stray from the runs' own account by
// about 1e-8 s at worst; the per-tick test by far less.
constexpr double SumRoundingAllowance = 1e-7;
constexpr double TimeBudget = SavedTimeTolerance - SumRoundingAllowance;
constexpr double TickBand = TickChangeThreshold - 1e-14;

// Tick 0 is summed with tick 1's length (ElapsedSeconds copies it over): tick 1 counts twice.
int TimeTermsOf(int32_t tick) { return tick == 0 ? 0 : tick == 1 ? 2 : 1; }

bool InSingleRange(double value) {
  return value >= -std::numeric_limits<float>::max() && value <= std::numeric_limits<float>::max();
}

// A length that a saved pair holds exactly, as every length of a restored map does.
bool IsSingle(double value) {
  return InSingleRange(value) && static_cast<double>(static_cast<float>(value)) == value;
}

// The single-precision value in [low, high] nearest to `wanted`; false when no single lies there.
bool SingleWithin(double low, double high, double wanted, float& out) {
  if (!(low <= high) || !InSingleRange(low) || !InSingleRange(high)) return false;
  float single = static_cast<float>(std::clamp(wanted, low, high));
  if (single < low) single = std::nextafter(single, std::numeric_limits<float>::infinity());
  if (single > high) single = std::nextafter(single, -std::numeric_limits<float>::infinity());
  out = single;
  return single >= low && single <= high;
}

static_assert(__BYTE_ORDER__ == __ORDER_LITTLE_ENDIAN__, "the saved state is little-endian");

template <typename T>
uint8_t* Put(uint8_t* at, T value) {
  std::memcpy(at, &value, sizeof value);
  return at + sizeof value;
}

// Reads until `size` bytes arrived, as a read may deliver fewer; false when the stream ended first.
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

// A field of the stream; false when the stream ended first.
template <typename T>
bool Get(StateReader& reader, T& value) {
  return ReadFully(reader, &value, sizeof value);
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
  if (!Get(reader, count)) return false;
  for (uint16_t record = 0; record < count; ++record) {
    uint16_t length = 0;
    if (!Get(reader, length)) return false;
    // A name too long for any key is consumed chunk by chunk and never compared.
    char name[NameChunk] = {};
    for (uint32_t remaining = length; remaining > 0;) {
      const uint32_t part = std::min(remaining, NameChunk);
      if (!ReadFully(reader, name, part)) return false;
      remaining -= part;
    }
    uint32_t value = 0;
    if (!Get(reader, value)) return false;
    const OptionRow* row = length <= NameChunk ? FindKey(name, length) : nullptr;
    if (row != nullptr) row->Set(options, static_cast<int32_t>(value));
  }
  return true;
}

void Fill(double* ticks, int32_t first, int32_t last, double value) {
  for (int32_t i = first; i <= last; ++i) StoreLength(&ticks[i], value);
}

// Each pair's value holds from its index up to the next pair's, inclusive, where that one takes
// over; the last runs to the end of the map, also when the stream ends before the terminator.
void ReadMap(TimelineEngine& engine, StateReader& reader) {
  double* ticks = engine.tickDurations;
  double value = 0.0;
  int32_t start = 0;
  // At most one pair per tick, so a longer list is corrupt and ends there; a full list's
  // terminator still belongs to the map.
  for (int32_t pairs = 0; pairs <= MapTicks; ++pairs) {
    uint32_t index = 0;
    if (!Get(reader, index) || index == static_cast<uint32_t>(StateMapTerminator)) break;
    if (pairs == MapTicks) break;
    float single = 0.0f;
    if (!Get(reader, single)) break;
    // Indices outside the map cannot come from the writer: the pair is dropped.
    if (index > static_cast<uint32_t>(LastTick)) continue;
    const int32_t tick = static_cast<int32_t>(index);
    if (ticks != nullptr) Fill(ticks, start, tick, value);
    // A stored length that is not a number counts as never recorded.
    value = std::isfinite(single) ? single : 0.0;
    start = tick;
  }
  if (ticks != nullptr) Fill(ticks, start, LastTick, value);
}

}  // namespace

SavedRun RunChooser::Next() {
  constexpr double Unbounded = std::numeric_limits<double>::infinity();
  const int32_t first = next_;
  // A stretch of one single-precision value, as a restored map holds, is saved as it is, so that a
  // project saved again unplayed keeps its bytes. A recorded length is rarely a single.
  if (IsSingle(Tick(first)) && (first + 1 == MapTicks || IsSingle(Tick(first + 1)))) {
    int32_t end = first + 1;
    while (end < MapTicks && Tick(end) == Tick(first)) ++end;
    next_ = end;
    return {first, static_cast<float>(Tick(first))};
  }
  double lowest = Tick(first), highest = Tick(first);
  // Every value in [low, high] keeps both bounds so far; `sum` is the saved time of `terms` terms.
  double low = -Unbounded, high = Unbounded, sum = 0.0;
  int32_t terms = 0;
  int32_t end = first;
  for (int32_t i = first; i < MapTicks; ++i) {
    const double seconds = Tick(i);
    // A length no sum can use ends the run before it, or makes a run of its own.
    const bool usable = std::isfinite(seconds);
    const double nextLowest = std::min(lowest, seconds), nextHighest = std::max(highest, seconds);
    double nextLow = std::max(low, nextHighest - TickBand);
    double nextHigh = std::min(high, nextLowest + TickBand);
    double nextSum = sum;
    int32_t nextTerms = terms;
    for (int term = usable ? TimeTermsOf(i) : 0; term > 0; --term) {
      nextSum += seconds;
      ++nextTerms;
      nextLow = std::max(nextLow, (nextSum - TimeBudget - carried_) / nextTerms);
      nextHigh = std::min(nextHigh, (nextSum + TimeBudget - carried_) / nextTerms);
    }
    float probe = 0.0f;
    const bool fits = usable && SingleWithin(nextLow, nextHigh, nextLow, probe);
    if (!fits && i > first) break;
    lowest = nextLowest;
    highest = nextHighest;
    low = nextLow;
    high = nextHigh;
    sum = nextSum;
    terms = nextTerms;
    end = i + 1;
    if (!fits) break;  // a first tick that fits no bound is saved as it is, alone
  }

  SavedRun run;
  run.first = first;
  // The value that leaves no time error at the run's end, as near as the bounds allow.
  const double wanted = terms > 0 ? (sum - carried_) / terms : Tick(first);
  if (!SingleWithin(low, high, wanted, run.seconds)) {
    const double seconds = Tick(first);
    run.seconds = InSingleRange(seconds) || std::isnan(seconds)
                      ? static_cast<float>(seconds)
                      : std::copysign(std::numeric_limits<float>::infinity(), seconds);
  }
  carried_ += terms * static_cast<double>(run.seconds) - sum;
  if (!std::isfinite(carried_)) carried_ = 0.0;
  next_ = end;
  return run;
}

uint32_t StateEncoder::Encode(const TimelineEngine& engine, uint8_t* out, uint32_t capacity) {
  uint8_t* at = out;
  uint8_t* const end = out + capacity;
  const auto written = [&] { return static_cast<uint32_t>(at - out); };
  if (stage_ == Stage::Keys) {
    if (capacity < StateKeySectionBytes) return 0;
    at = Put<uint16_t>(at, OptionCount);
    for (const OptionRow& row : OptionTable) {
      const uint16_t length = static_cast<uint16_t>(std::strlen(row.key));
      at = Put(at, length);
      std::memcpy(at, row.key, length);
      at = Put(at + length, row.Get(engine.options));
    }
    stage_ = Stage::Map;
    runs_ = RunChooser(engine.tickDurations);
  }
  if (stage_ == Stage::Map) {
    while (pending_ || !runs_.Done()) {
      if (!pending_) {
        run_ = runs_.Next();
        pending_ = true;
      }
      if (end - at < static_cast<std::ptrdiff_t>(StatePairBytes)) return written();
      at = Put(Put(at, run_.first), run_.seconds);
      pending_ = false;
    }
    if (end - at < static_cast<std::ptrdiff_t>(StateTerminatorBytes)) return written();
    at = Put(at, StateMapTerminator);
    stage_ = Stage::Done;
  }
  return written();
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
