// Fuzz target of the saved-state reader: any byte sequence, handed over whole or in small pieces,
// must restore a sane engine (finite map, options in range), stop within the sequence, and give a
// state that saves, restores and saves again to the same bytes.
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "timeline/StateCodec.h"

namespace {

using tempotally::MapTicks;
using tempotally::StateReader;
using tempotally::StateWriter;
using tempotally::TimelineEngine;

struct Reader final : StateReader {
  Reader(const uint8_t* d, size_t s, size_t most) : data(d), size(s), chunk(most) {}
  uint32_t Read(void* out, uint32_t wanted) override {
    size_t n = wanted < size - at ? wanted : size - at;
    if (n > chunk) n = chunk;
    if (n > 0) std::memcpy(out, data + at, n);
    at += n;
    return static_cast<uint32_t>(n);
  }
  const uint8_t* data;
  size_t size;
  size_t chunk;
  size_t at = 0;
};

struct Writer final : StateWriter {
  void Write(const void* data, uint32_t size) override {
    const auto* p = static_cast<const uint8_t*>(data);
    bytes.insert(bytes.end(), p, p + size);
  }
  std::vector<uint8_t> bytes;
};

void Check(bool condition) {
  if (!condition) std::abort();
}

TimelineEngine& Engine() {
  static TimelineEngine engine;
  if (!engine.Allocate()) std::abort();
  return engine;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  TimelineEngine& engine = Engine();
  // The last byte picks how the stream hands its bytes over: whole, or 1 to 7 bytes a read.
  const size_t chunk = size > 0 && data[size - 1] % 8 != 0 ? data[size - 1] % 8 : SIZE_MAX;
  Reader reader(data, size, chunk);
  tempotally::RestoreState(engine, reader);
  Check(reader.at <= size);
  for (int32_t i = 0; i < MapTicks; ++i) Check(std::isfinite(engine.tickDurations[i]));
  Check(engine.options.optimise == tempotally::StepEveryTick ||
        engine.options.optimise == tempotally::StepOptimised);
  Check(engine.options.minimised <= tempotally::DeepestFoldLevel);

  Writer first;
  tempotally::SaveState(engine, first);
  Reader again(first.bytes.data(), first.bytes.size(), SIZE_MAX);
  tempotally::RestoreState(engine, again);
  Check(again.at == first.bytes.size());
  Writer second;
  tempotally::SaveState(engine, second);
  Check(first.bytes == second.bytes);
  return 0;
}
