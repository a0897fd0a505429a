// The plug-in's saved state as a host handles it: bytes moved through an in-memory IStream, and
// the byte layout (named keys, then the tick map as runs) built and read independently of the
// plug-in's own reader and writer.
#pragma once

#include <objidl.h>
#include <windows.h>

#include <cstdint>
#include <cstring>
#include <string>
#include <utility>
#include <vector>

#include "devhost/PlugState.h"
#include "devhost/RawPlug.h"

namespace tempotally::testhost::state {

constexpr int32_t MapEnd = 96000;
constexpr double RunTolerance = 1e-5;
constexpr double RunSentinel = -12345.0;

struct Key {
  std::string name;
  int32_t value;
};

struct MapPair {
  int32_t index;
  uint32_t valueBits;  // single precision
  bool operator==(const MapPair& o) const { return index == o.index && valueBits == o.valueBits; }
};

inline std::vector<Key> DefaultKeys() {
  return {{"video", 0},    {"videoontop", 0}, {"freeze", 0},     {"lookahead", 1},
          {"optimise", 1}, {"selection", 0},  {"minimised", 0},  {"winleft", 0},
          {"wintop", 0},   {"winwidth", 640}, {"winheight", 480}};
}

inline void Put16(std::vector<uint8_t>& out, uint16_t v) {
  out.push_back(static_cast<uint8_t>(v));
  out.push_back(static_cast<uint8_t>(v >> 8));
}
inline void Put32(std::vector<uint8_t>& out, uint32_t v) {
  for (int i = 0; i < 4; ++i) out.push_back(static_cast<uint8_t>(v >> (8 * i)));
}
inline uint32_t Get32(const std::vector<uint8_t>& in, size_t at) {
  uint32_t v = 0;
  for (int i = 3; i >= 0; --i) v = v << 8 | in[at + static_cast<size_t>(i)];
  return v;
}

inline uint32_t SingleBits(double value) {
  const float single = static_cast<float>(value);
  uint32_t bits;
  std::memcpy(&bits, &single, sizeof bits);
  return bits;
}

// The saved runs' bounds against the map they were saved from: the running time (tick 0 counted
// as tick 1) within this at every tick, and every tick within RunTolerance of its length.
constexpr double RunTimeTolerance = 0.25e-3;

// Runs of a tick map as the first writer chose them: a new run wherever a tick leaves the band
// around its run's first value. Today's writer needs no more pairs than this.
inline std::vector<MapPair> EncodeMap(const double* ticks) {
  std::vector<MapPair> pairs;
  double last = RunSentinel;
  for (int32_t i = 0; i < MapEnd; ++i) {
    if (ticks[i] < last - RunTolerance || ticks[i] > last + RunTolerance) {
      pairs.push_back({i, SingleBits(ticks[i])});
      last = ticks[i];
    }
  }
  return pairs;
}

inline std::vector<uint8_t> Encode(const std::vector<Key>& keys, const std::vector<MapPair>& map) {
  std::vector<uint8_t> out;
  Put16(out, static_cast<uint16_t>(keys.size()));
  for (const Key& key : keys) {
    Put16(out, static_cast<uint16_t>(key.name.size()));
    out.insert(out.end(), key.name.begin(), key.name.end());
    Put32(out, static_cast<uint32_t>(key.value));
  }
  for (const MapPair& pair : map) {
    Put32(out, static_cast<uint32_t>(pair.index));
    Put32(out, pair.valueBits);
  }
  Put32(out, static_cast<uint32_t>(MapEnd));
  return out;
}

// The map that pairs in increasing order restore: each value from its pair's index to the next.
inline std::vector<double> MapOf(const std::vector<MapPair>& pairs) {
  std::vector<double> ticks(MapEnd, 0.0);
  for (size_t p = 0; p < pairs.size(); ++p) {
    float single;
    std::memcpy(&single, &pairs[p].valueBits, sizeof single);
    const int32_t end = p + 1 < pairs.size() ? pairs[p + 1].index : MapEnd;
    for (int32_t i = pairs[p].index; i < end; ++i) ticks[i] = single;
  }
  return ticks;
}

// Splits a saved state into its keys and map pairs; false when it is cut short.
inline bool Decode(const std::vector<uint8_t>& in, std::vector<Key>* keys,
                   std::vector<MapPair>* map, size_t* end) {
  size_t at = 0;
  if (in.size() < 2) return false;
  const uint16_t count = static_cast<uint16_t>(in[0] | in[1] << 8);
  at = 2;
  for (uint16_t k = 0; k < count; ++k) {
    if (at + 2 > in.size()) return false;
    const size_t length = static_cast<size_t>(in[at] | in[at + 1] << 8);
    at += 2;
    if (at + length + 4 > in.size()) return false;
    Key key{std::string(in.begin() + static_cast<std::ptrdiff_t>(at),
                        in.begin() + static_cast<std::ptrdiff_t>(at + length)),
            0};
    at += length;
    key.value = static_cast<int32_t>(Get32(in, at));
    at += 4;
    keys->push_back(key);
  }
  for (;;) {
    if (at + 4 > in.size()) return false;
    const int32_t index = static_cast<int32_t>(Get32(in, at));
    at += 4;
    if (index == MapEnd) break;
    if (at + 4 > in.size()) return false;
    map->push_back({index, Get32(in, at)});
    at += 4;
  }
  *end = at;
  return true;
}

// The plug-in's state call with an in-memory stream.
inline std::vector<uint8_t> Save(RawPlug& plug) { return SavePlugState(plug); }

inline void Restore(RawPlug& plug, const std::vector<uint8_t>& bytes) {
  RestorePlugState(plug, bytes);
}

// Default keys with some replaced.
inline std::vector<Key> KeysWith(std::vector<std::pair<std::string, int32_t>> changes) {
  std::vector<Key> keys = DefaultKeys();
  for (const auto& change : changes) {
    for (Key& key : keys) {
      if (key.name == change.first) key.value = change.second;
    }
  }
  return keys;
}

}  // namespace tempotally::testhost::state
