// The saved state's bytes, what restoring them does to the engine, and how damaged streams end.
#include <cmath>
#include <cstdint>
#include <cstring>
#include <limits>
#include <string>
#include <utility>
#include <vector>

#include <random>

#include "devhost/SongSimulator.h"
#include "tests/native/EngineFixture.h"
#include "timeline/StateCodec.h"

namespace tempotally::testing {
namespace {

constexpr size_t KeySectionBytes = 154;
constexpr size_t PairBytes = 8;
constexpr size_t TerminatorBytes = 4;
constexpr double RunBand = 1e-5;
// The run value the writer of old projects started from, before tick 0.
constexpr double OldWriterSentinel = -12345.0;

using Bytes = std::vector<uint8_t>;

struct ByteWriter final : StateWriter {
  void Write(const void* data, uint32_t size) override {
    const auto* p = static_cast<const uint8_t*>(data);
    bytes.insert(bytes.end(), p, p + size);
  }
  Bytes bytes;
};

// Delivers what it holds, then nothing, as a host stream does at its end.
struct ByteReader final : StateReader {
  explicit ByteReader(Bytes b) : bytes(std::move(b)) {}
  ByteReader(Bytes b, size_t chunk) : bytes(std::move(b)), most(chunk) {}
  uint32_t Read(void* data, uint32_t size) override {
    ++reads;
    const size_t n = std::min({static_cast<size_t>(size), bytes.size() - at, most});
    if (n > 0) std::memcpy(data, bytes.data() + at, n);
    at += n;
    return static_cast<uint32_t>(n);
  }
  Bytes bytes;
  size_t at = 0;
  size_t reads = 0;
  size_t most = SIZE_MAX;  // bytes delivered per read at most
};

// The layout built by hand, independently of the codec.
void Put16(Bytes& out, uint16_t v) {
  out.push_back(static_cast<uint8_t>(v));
  out.push_back(static_cast<uint8_t>(v >> 8));
}
void Put32(Bytes& out, uint32_t v) {
  for (int i = 0; i < 4; ++i) out.push_back(static_cast<uint8_t>(v >> (8 * i)));
}
uint32_t Bits(float f) {
  uint32_t b;
  std::memcpy(&b, &f, sizeof b);
  return b;
}
void PutKey(Bytes& out, const std::string& name, int32_t value) {
  Put16(out, static_cast<uint16_t>(name.size()));
  out.insert(out.end(), name.begin(), name.end());
  Put32(out, static_cast<uint32_t>(value));
}
void PutPair(Bytes& out, int32_t index, float value) {
  Put32(out, static_cast<uint32_t>(index));
  Put32(out, Bits(value));
}
void PutEnd(Bytes& out) { Put32(out, static_cast<uint32_t>(MapTicks)); }

Bytes KeySection(std::vector<std::pair<std::string, int32_t>> keys) {
  Bytes out;
  Put16(out, static_cast<uint16_t>(keys.size()));
  for (const auto& key : keys) PutKey(out, key.first, key.second);
  return out;
}

Bytes DefaultKeySection() {
  return KeySection({{"video", 0}, {"videoontop", 0}, {"freeze", 0}, {"lookahead", 1},
                     {"optimise", 1}, {"selection", 0}, {"minimised", 0}, {"winleft", 0},
                     {"wintop", 0}, {"winwidth", 640}, {"winheight", 480}});
}

class StateCodecTest : public EngineTest {
 protected:
  Bytes Save() {
    ByteWriter writer;
    SaveState(engine, writer);
    return writer.bytes;
  }
  // Restores and returns how far the reader got.
  size_t Restore(const Bytes& bytes) {
    ByteReader reader(bytes);
    RestoreState(engine, reader);
    return reader.at;
  }
  void ExpectTicks(int32_t first, int32_t last, double value) {
    for (int32_t i = first; i <= last; ++i) {
      ASSERT_EQ(engine.tickDurations[i], value) << "tick " << i;
    }
  }
  // Options away from their defaults, so that a restore visibly resets them.
  void Disturb() {
    engine.options.video = engine.options.videoontop = engine.options.freeze =
        engine.options.selection = 1;
    engine.options.lookahead = 0;
    engine.options.optimise = StepOptimised;
    engine.options.minimised = 2;
    engine.options.winleft = engine.options.wintop = engine.options.winwidth =
        engine.options.winheight = 7;
    FillMap(Tick90);
    std::fill(engine.beatSums, engine.beatSums + MapBeats, 1.0);
  }
  void ExpectDefaultOptions() {
    EXPECT_EQ(engine.options.video, 0);
    EXPECT_EQ(engine.options.videoontop, 0);
    EXPECT_EQ(engine.options.freeze, 0);
    EXPECT_EQ(engine.options.lookahead, 1);
    EXPECT_EQ(engine.options.optimise, 1);
    EXPECT_EQ(engine.options.selection, 0);
    EXPECT_EQ(engine.options.minimised, 0);
    EXPECT_EQ(engine.options.winleft, 0);
    EXPECT_EQ(engine.options.wintop, 0);
    EXPECT_EQ(engine.options.winwidth, 640);
    EXPECT_EQ(engine.options.winheight, 480);
  }
};

TEST_F(StateCodecTest, FreshEngineSavesDefaultKeysAndOnePair) {
  Bytes expected = DefaultKeySection();
  ASSERT_EQ(expected.size(), KeySectionBytes);
  PutPair(expected, 0, 0.0f);
  PutEnd(expected);
  EXPECT_EQ(Save(), expected);
  EXPECT_EQ(expected.size(), KeySectionBytes + PairBytes + TerminatorBytes);
}

TEST_F(StateCodecTest, OptionsAndPlacementAreWrittenInKeyOrder) {
  engine.options.video = 1;
  engine.options.freeze = 1;
  engine.options.optimise = StepOptimised;
  engine.options.minimised = 2;
  engine.options.winleft = -20;
  engine.options.wintop = 40;
  engine.options.winwidth = 1024;
  engine.options.winheight = 77;
  Bytes expected =
      KeySection({{"video", 1}, {"videoontop", 0}, {"freeze", 1}, {"lookahead", 1},
                  {"optimise", 4}, {"selection", 0}, {"minimised", 2}, {"winleft", -20},
                  {"wintop", 40}, {"winwidth", 1024}, {"winheight", 77}});
  PutPair(expected, 0, 0.0f);
  PutEnd(expected);
  EXPECT_EQ(Save(), expected);
}

TEST_F(StateCodecTest, MapIsSavedAsRunsAndRestoredTickForTick) {
  const double a = Tick120;
  const double b = Tick120 + 2 * RunBand;
  std::fill(engine.tickDurations, engine.tickDurations + 10, a);
  std::fill(engine.tickDurations + 10, engine.tickDurations + MapTicks, b);
  Bytes expected = DefaultKeySection();
  PutPair(expected, 0, static_cast<float>(a));
  PutPair(expected, 10, static_cast<float>(b));
  PutEnd(expected);
  const Bytes saved = Save();
  EXPECT_EQ(saved, expected);

  Disturb();
  EXPECT_EQ(Restore(saved), saved.size());
  ExpectTicks(0, 9, static_cast<float>(a));
  ExpectTicks(10, MapTicks - 1, static_cast<float>(b));
  for (int32_t beat = 0; beat < MapBeats; ++beat) ASSERT_EQ(engine.beatSums[beat], 0.0);
}

// The format's reader as it is written down, with nothing of the codec's: the key records, then
// pairs until the index 96000. Returns where it stopped; the map it read goes to `map`.
size_t LiteralRead(const Bytes& bytes, std::vector<double>& map) {
  size_t at = 0;
  auto take = [&](size_t n) {
    uint32_t v = 0;
    for (size_t i = 0; i < n && at < bytes.size(); ++i) v |= uint32_t{bytes[at++]} << (8 * i);
    return v;
  };
  for (uint32_t keys = take(2); keys > 0; --keys) {
    at += take(2);
    take(4);
  }
  map.assign(MapTicks, 0.0);
  double value = 0.0;
  uint32_t start = 0;
  for (uint32_t index = take(4); index != static_cast<uint32_t>(MapTicks); index = take(4)) {
    const uint32_t bits = take(4);
    for (uint32_t i = start; i <= index && i < static_cast<uint32_t>(MapTicks); ++i) map[i] = value;
    float single;
    std::memcpy(&single, &bits, sizeof single);
    value = single;
    start = index;
  }
  for (uint32_t i = start; i < static_cast<uint32_t>(MapTicks); ++i) map[i] = value;
  return at;
}

// Whatever the map, both the codec's reader and the format's literal one stop at the video player's
// first byte and read the same map; a map that changes on every tick takes the most pairs the
// format allows, its terminator included.
TEST_F(StateCodecTest, EveryReaderStopsAtThePlayersFirstByte) {
  struct Case {
    const char* name;
    double (*length)(int32_t tick);
    size_t pairs;  // 0: not checked
  };
  const Case cases[] = {
      {"empty", [](int32_t) { return 0.0; }, 1},
      {"every tick", [](int32_t i) { return (i % 2) ? Tick90 : Tick120; }, MapTicks},
      {"ramp", [](int32_t i) { return 60.0 / ((60.0 + i / 160.0) * TicksPerBeat); }, 0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    for (int32_t i = 0; i < MapTicks; ++i) engine.tickDurations[i] = c.length(i);
    const Bytes saved = Save();
    if (c.pairs != 0) {
      EXPECT_EQ(saved.size(), KeySectionBytes + c.pairs * PairBytes + TerminatorBytes);
    }
    Bytes stream = saved;
    for (uint8_t byte : {0xDE, 0xAD, 0xBE, 0xEF}) stream.push_back(byte);  // the player's bytes

    std::vector<double> literal;
    EXPECT_EQ(LiteralRead(stream, literal), saved.size());
    EXPECT_EQ(Restore(stream), saved.size());
    EXPECT_EQ(Map(), literal);
    EXPECT_EQ(Save(), saved);
  }
}

// What the old writer wrote for a map: a pair wherever a tick left the 1e-5 s band around the run's
// first value.
size_t OldWriterPairs(const double* map) {
  size_t pairs = 0;
  double last = OldWriterSentinel;
  for (int32_t i = 0; i < MapTicks; ++i) {
    if (i == 0 || map[i] < last - RunBand || map[i] > last + RunBand) {
      ++pairs;
      last = map[i];
    }
  }
  return pairs;
}

// Seconds from tick 0 to every tick, as ElapsedSeconds adds them: tick 0 counted as tick 1.
std::vector<double> RunningTimes(const double* map) {
  std::vector<double> times(MapTicks + 1, 0.0);
  for (int32_t i = 0; i < MapTicks; ++i) times[i + 1] = times[i] + map[i == 0 ? 1 : i];
  return times;
}

struct SaveReport {
  size_t pairs = 0;
  size_t oldPairs = 0;
  double worstTime = 0.0;  // seconds
  double worstTick = 0.0;
};

// Saves the engine's map, restores it elsewhere and compares the two maps as the reader leaves
// them; the restore must also stop at the terminator, and the restored map, saved again unplayed,
// must give the same bytes.
SaveReport SaveAndCompare(const TimelineEngine& live) {
  ByteWriter writer;
  SaveState(live, writer);
  TimelineEngine restored;
  EXPECT_TRUE(restored.Allocate());
  ByteReader reader(writer.bytes);
  RestoreState(restored, reader);
  EXPECT_EQ(reader.at, writer.bytes.size());
  ByteWriter again;
  SaveState(restored, again);
  EXPECT_EQ(again.bytes, writer.bytes);

  SaveReport report;
  report.pairs = (writer.bytes.size() - KeySectionBytes - TerminatorBytes) / PairBytes;
  report.oldPairs = OldWriterPairs(live.tickDurations);
  const std::vector<double> before = RunningTimes(live.tickDurations);
  const std::vector<double> after = RunningTimes(restored.tickDurations);
  for (int32_t i = 0; i < MapTicks; ++i) {
    report.worstTick =
        std::max(report.worstTick, std::fabs(restored.tickDurations[i] - live.tickDurations[i]));
    report.worstTime = std::max(report.worstTime, std::fabs(after[i + 1] - before[i + 1]));
  }
  return report;
}

void ExpectWithinBounds(const SaveReport& report) {
  EXPECT_LE(report.worstTime, SavedTimeTolerance);
  EXPECT_LE(report.worstTick, RunBand);
  EXPECT_LE(report.pairs, report.oldPairs);
}

// Tick lengths (seconds) of a tempo given in BPM per tick.
template <typename Bpm>
void FillFromTempo(double* map, Bpm bpm) {
  for (int32_t i = 0; i < MapTicks; ++i) map[i] = 60.0 / (bpm(i) * TicksPerBeat);
}

// The songs as the engine records them, with Look ahead on and off.
TEST_F(StateCodecTest, RecordedSongsSaveTheirTimeWithinBoundsInNoMorePairs) {
  for (const song::NamedSong& named : song::SyncSongs()) {
    for (uint8_t lookahead : {1, 0}) {
      SCOPED_TRACE(named.name);
      SCOPED_TRACE(int(lookahead));
      engine.ResetState();
      engine.options.lookahead = lookahead;
      song::SongSimulator sim(named.tempo);
      sim.Start();
      engine.OnTransport(TransportPlaying);
      for (int32_t tick = 0; tick < named.endBeat * TicksPerBeat; ++tick) {
        engine.hostTime[0] = sim.HostTimeMs();
        engine.RecordTick(sim.PositionTicks());
        sim.AdvanceTick();
      }
      engine.ElapsedSeconds(1, StepEveryTick);  // settles tick 0, as any sum does
      ExpectWithinBounds(SaveAndCompare(engine));
    }
  }
}

// Random songs over the whole map: held tempos, steps, ramps at the rates songs use (from a few BPM
// over a bar to 1 BPM over 16 beats), and the jitter of a host whose clock wavers by up to 20 us a
// tick, or none.
TEST_F(StateCodecTest, RandomMapsSaveTheirTimeWithinBoundsInNoMorePairs) {
  std::mt19937 rng(20);
  auto uniform = [&](double lo, double hi) { return std::uniform_real_distribution<>(lo, hi)(rng); };
  for (int map = 0; map < 12; ++map) {
    SCOPED_TRACE(map);
    const double jitter = map % 3 == 0 ? 0.0 : uniform(0.0, 2e-5);
    double bpm = uniform(60, 200);
    double slope = 0.0;  // BPM per tick
    int32_t segmentEnd = 0;
    for (int32_t i = 0; i < MapTicks; ++i) {
      if (i == segmentEnd) {
        segmentEnd = i + static_cast<int32_t>(uniform(4, 128)) * TicksPerBeat;
        const double kind = uniform(0, 3);
        if (kind < 1) slope = 0.0;
        if (kind >= 1 && kind < 2) {
          slope = 0.0;
          bpm = uniform(60, 200);
        }
        if (kind >= 2) slope = uniform(1.0 / 16, 2.0) / TicksPerBeat * (uniform(0, 1) < 0.5 ? -1 : 1);
      }
      bpm = std::clamp(bpm + slope, 40.0, 240.0);
      engine.tickDurations[i] = 60.0 / (bpm * TicksPerBeat) + uniform(-jitter, jitter);
    }
    ExpectWithinBounds(SaveAndCompare(engine));
  }
}

// The map as the old writer's runs restore it: each run's first value, in single precision.
std::vector<double> OldWriterRestores(const double* map) {
  std::vector<double> restored(map, map + MapTicks);
  double last = OldWriterSentinel;
  float value = 0.0f;
  for (int32_t i = 0; i < MapTicks; ++i) {
    if (i == 0 || map[i] < last - RunBand || map[i] > last + RunBand) {
      last = map[i];
      value = static_cast<float>(map[i]);
    }
    restored[i] = value;
  }
  return restored;
}

// A ramp so gentle (120 to 122 BPM over the whole map) that the old band let one value stand for
// ten thousand ticks, losing tens of milliseconds: the time bound takes more runs than that.
TEST_F(StateCodecTest, GentleDriftKeepsTheTimeBoundAtTheCostOfRuns) {
  FillFromTempo(engine.tickDurations, [](int32_t i) { return 120.0 + 2.0 * i / MapTicks; });
  const SaveReport report = SaveAndCompare(engine);
  EXPECT_LE(report.worstTime, SavedTimeTolerance);
  EXPECT_LE(report.worstTick, RunBand);
  EXPECT_GT(report.pairs, report.oldPairs);
  EXPECT_LT(report.pairs, static_cast<size_t>(MapTicks / 1000));  // still runs of 1000 ticks
  const std::vector<double> old = OldWriterRestores(engine.tickDurations);
  const double oldError = RunningTimes(old.data()).back() - RunningTimes(engine.tickDurations).back();
  EXPECT_GT(std::fabs(oldError), 40 * SavedTimeTolerance);
}

TEST_F(StateCodecTest, RecordedSongSurvivesRoundTripAtSinglePrecision) {
  // A song that speeds up and slows down, recorded the way the host's ticks would record it.
  engine.OnTransport(TransportPlaying);
  double tempo = 120.0;
  for (int32_t tick = 0; tick < 5000; ++tick) {
    if (tick % 500 == 0) tempo += (tick / 500) % 2 ? -7.5 : 11.0;
    Tick(tick, 60.0 / (tempo * TicksPerBeat));
  }
  const std::vector<double> recorded = Map();
  const Bytes saved = Save();

  TimelineEngine other;
  ASSERT_TRUE(other.Allocate());
  ByteReader reader(saved);
  RestoreState(other, reader);
  // Every restored tick is within the band of what was recorded, and is a single-precision value.
  for (int32_t i = 0; i < MapTicks; ++i) {
    ASSERT_NEAR(other.tickDurations[i], recorded[i], RunBand + 1e-7) << "tick " << i;
    ASSERT_EQ(other.tickDurations[i], static_cast<float>(other.tickDurations[i])) << i;
  }
  // Saving the restored map writes the same single-precision values again.
  ByteWriter again;
  SaveState(other, again);
  EXPECT_EQ(again.bytes, saved);
  EXPECT_NEAR(other.ElapsedSeconds(4000, 1), engine.ElapsedSeconds(4000, 1), 4000 * RunBand);
}

TEST_F(StateCodecTest, RestoreTakesKeysInAnyOrderAndCase) {
  Bytes bytes = KeySection({{"WINHEIGHT", 300}, {"unknown", 9}, {"Video", 1}, {"FrEeZe", 1},
                            {"optimise", 4}, {"lookahead", 0}, {"winleft", -20}, {"wintop", 40},
                            {"winwidth", 320}, {"selection", 1}, {"videoontop", 1},
                            {"minimised", 1}});
  PutPair(bytes, 0, 0.5f);
  PutEnd(bytes);
  Restore(bytes);
  EXPECT_EQ(engine.options.video, 1);
  EXPECT_EQ(engine.options.videoontop, 1);
  EXPECT_EQ(engine.options.freeze, 1);
  EXPECT_EQ(engine.options.lookahead, 0);
  EXPECT_EQ(engine.options.optimise, 4);
  EXPECT_EQ(engine.options.selection, 1);
  EXPECT_EQ(engine.options.minimised, 1);
  EXPECT_EQ(engine.options.winleft, -20);
  EXPECT_EQ(engine.options.wintop, 40);
  EXPECT_EQ(engine.options.winwidth, 320);
  EXPECT_EQ(engine.options.winheight, 300);
  ExpectTicks(0, MapTicks - 1, 0.5);
}

TEST_F(StateCodecTest, RestoreResetsWhatTheStreamLacks) {
  engine.currentTick = 1234;
  engine.paintedTick = 1200;
  engine.displaySeconds = 3.5;
  engine.playing = 1;
  engine.playStarted = 1;
  Disturb();
  // No keys at all: the map pairs follow the count at once.
  Bytes bytes = KeySection({});
  PutPair(bytes, 0, 0.25f);
  PutEnd(bytes);
  EXPECT_EQ(Restore(bytes), bytes.size());
  ExpectDefaultOptions();
  ExpectTicks(0, MapTicks - 1, 0.25);
  // The transport and the display are not part of the saved state.
  EXPECT_EQ(engine.currentTick, 1234);
  EXPECT_EQ(engine.paintedTick, 1200);
  EXPECT_EQ(engine.displaySeconds, 3.5);
  EXPECT_EQ(engine.playing, 1);
  EXPECT_EQ(engine.playStarted, 1);
}

TEST_F(StateCodecTest, StoredValuesAreNarrowedAndClampedAsOptions) {
  Bytes bytes = KeySection({{"video", 256},       // low byte 0
                            {"freeze", 0x1FF},    // low byte 0xFF
                            {"selection", 1},     // overridden below: the later one wins
                            {"selection", 0},
                            {"minimised", 7},     // deeper than the deepest fold
                            {"winwidth", -5},     // placement keeps all 32 bits
                            {"winheight", std::numeric_limits<int32_t>::min()}});
  PutPair(bytes, 0, 0.0f);
  PutEnd(bytes);
  Restore(bytes);
  EXPECT_EQ(engine.options.video, 0);
  EXPECT_EQ(engine.options.freeze, 0xFF);
  EXPECT_EQ(engine.options.selection, 0);
  EXPECT_EQ(engine.options.minimised, DeepestFoldLevel);
  EXPECT_EQ(engine.options.winwidth, -5);
  EXPECT_EQ(engine.options.winheight, std::numeric_limits<int32_t>::min());
}

TEST_F(StateCodecTest, NamesMatchOnlyInFullAndLongNamesAreReadPast) {
  const std::string longName(300, 'x');
  Bytes bytes;
  Put16(bytes, 5);
  PutKey(bytes, std::string("video\0", 6), 1);  // a trailing zero byte is part of the name
  PutKey(bytes, "vide", 1);
  PutKey(bytes, "videoontopx", 1);
  PutKey(bytes, longName, 1);
  PutKey(bytes, "freeze", 1);  // still found after the long name
  PutPair(bytes, 0, 0.125f);
  PutEnd(bytes);
  EXPECT_EQ(Restore(bytes), bytes.size());
  EXPECT_EQ(engine.options.video, 0);
  EXPECT_EQ(engine.options.videoontop, 0);
  EXPECT_EQ(engine.options.freeze, 1);
  ExpectTicks(0, MapTicks - 1, 0.125);
}

TEST_F(StateCodecTest, PairsFollowTheFillRuleInAnyOrder) {
  Bytes bytes = KeySection({});
  PutPair(bytes, 100, 1.0f);  // ticks before the first pair stay empty
  PutPair(bytes, 300, 2.0f);
  PutPair(bytes, 200, 3.0f);  // behind the previous start: fills nothing, but starts the next run
  PutEnd(bytes);
  Restore(bytes);
  ExpectTicks(0, 99, 0.0);
  ExpectTicks(100, 199, 1.0);
  ExpectTicks(200, MapTicks - 1, 3.0);
}

TEST_F(StateCodecTest, RestoreStopsAtTheTerminatorAndCopiesWhatItReads) {
  Bytes bytes = KeySection({{"optimise", 4}});
  PutPair(bytes, 0, 0.5f);
  PutPair(bytes, 95999, 0.75f);
  PutEnd(bytes);
  const size_t ours = bytes.size();
  // The video player's bytes follow; they must stay unread.
  for (uint8_t byte : {0xDE, 0xAD, 0xBE, 0xEF}) bytes.push_back(byte);

  ByteReader reader(bytes);
  RestoreState(engine, reader);
  EXPECT_EQ(reader.at, ours);
  std::fill(reader.bytes.begin(), reader.bytes.end(), 0xFF);
  EXPECT_EQ(engine.options.optimise, 4);
  ExpectTicks(0, 95998, 0.5);
  EXPECT_EQ(engine.tickDurations[95999], 0.75);
}

// A stream cut anywhere still ends the restore, keeps every pair read before the cut and runs the
// last one to the end of the map.
TEST_F(StateCodecTest, CutStreamEndsAndKeepsWhatWasRead) {
  Bytes whole = DefaultKeySection();
  PutPair(whole, 0, 0.5f);
  PutPair(whole, 40, 0.25f);
  PutPair(whole, 90, 0.125f);
  PutEnd(whole);

  const size_t afterSecondPair = KeySectionBytes + 2 * PairBytes;
  Restore(Bytes(whole.begin(), whole.begin() + afterSecondPair));
  ExpectTicks(0, 39, 0.5);
  ExpectTicks(40, MapTicks - 1, 0.25);

  const size_t afterFirstPair = KeySectionBytes + PairBytes;
  Restore(Bytes(whole.begin(), whole.begin() + afterFirstPair));
  ExpectTicks(0, MapTicks - 1, 0.5);

  for (size_t cut = 0; cut < whole.size(); ++cut) {
    ByteReader reader(Bytes(whole.begin(), whole.begin() + cut));
    RestoreState(engine, reader);
    EXPECT_EQ(reader.at, cut);
    EXPECT_LE(engine.options.minimised, DeepestFoldLevel);
  }
}

TEST_F(StateCodecTest, EmptyOrDryStreamsRestoreTheDefaults) {
  Disturb();
  Restore({});
  ExpectDefaultOptions();
  ExpectTicks(0, MapTicks - 1, 0.0);

  // A count that promises more records than the stream holds.
  Bytes bytes;
  Put16(bytes, 0xFFFF);
  PutKey(bytes, "video", 1);
  Disturb();
  Restore(bytes);
  EXPECT_EQ(engine.options.video, 1);
  EXPECT_EQ(engine.options.freeze, 0);
  ExpectTicks(0, MapTicks - 1, 0.0);
}

// A reader that never runs out and never sends the terminator.
struct EndlessReader final : StateReader {
  uint32_t Read(void* data, uint32_t size) override {
    ++reads;
    std::memset(data, 0, size);  // a key count of 0
    if (size == sizeof(int32_t)) {
      const uint32_t word = (reads % 2) ? Bits(0.5f) : 7u;  // index 7, then 0.5
      std::memcpy(data, &word, sizeof word);
    }
    return size;
  }
  size_t reads = 0;
};

TEST_F(StateCodecTest, StreamWithoutTerminatorEndsAfterAsManyPairsAsTicks) {
  EndlessReader reader;
  RestoreState(engine, reader);
  // The count, then at most one pair per tick, then the index where the terminator belongs.
  EXPECT_LE(reader.reads, 2u + 2u * MapTicks);
  ExpectTicks(0, 6, 0.0);
}

TEST_F(StateCodecTest, PairsOutsideTheMapAreDropped) {
  Bytes bytes = KeySection({});
  PutPair(bytes, 0, 0.5f);
  PutPair(bytes, MapTicks + 1, 9.0f);
  PutPair(bytes, std::numeric_limits<int32_t>::max(), 9.0f);
  PutPair(bytes, -1, 9.0f);
  PutPair(bytes, std::numeric_limits<int32_t>::min(), 9.0f);
  PutPair(bytes, 500, 0.25f);
  PutEnd(bytes);
  EXPECT_EQ(Restore(bytes), bytes.size());
  ExpectTicks(0, 499, 0.5);
  ExpectTicks(500, MapTicks - 1, 0.25);
}

TEST_F(StateCodecTest, NonFiniteLengthsRestoreAsUnrecorded) {
  Bytes bytes = KeySection({});
  PutPair(bytes, 0, 0.5f);
  PutPair(bytes, 10, std::numeric_limits<float>::quiet_NaN());
  PutPair(bytes, 20, std::numeric_limits<float>::infinity());
  PutPair(bytes, 30, -std::numeric_limits<float>::infinity());
  PutPair(bytes, 40, 0.25f);
  PutEnd(bytes);
  Restore(bytes);
  ExpectTicks(0, 9, 0.5);
  ExpectTicks(10, 39, 0.0);
  ExpectTicks(40, MapTicks - 1, 0.25);
  EXPECT_TRUE(std::isfinite(engine.ElapsedSeconds(MapTicks - 1, 1)));
}

TEST_F(StateCodecTest, OnlyStepsOneAndFourAreRestored) {
  struct Case {
    int32_t stored;
    uint8_t restored;
  };
  for (const Case c : {Case{1, 1}, Case{4, 4}, Case{0, 1}, Case{2, 1}, Case{5, 1}, Case{255, 1},
                       Case{0x104, 4}}) {
    SCOPED_TRACE(c.stored);
    Bytes bytes = KeySection({{"optimise", c.stored}});
    PutPair(bytes, 0, 0.25f);
    PutPair(bytes, 2, 0.5f);
    PutEnd(bytes);
    Restore(bytes);
    ASSERT_EQ(engine.options.optimise, c.restored);
    // The time at a tick does not depend on what was asked before.
    const double cold = engine.ElapsedSeconds(3, engine.options.optimise);
    engine.ElapsedSeconds(960, engine.options.optimise);
    EXPECT_EQ(engine.ElapsedSeconds(3, engine.options.optimise), cold);
  }
}

// However the stream hands its bytes over, the same state comes of it and the player's bytes stay
// unread; and saving what was restored gives the same bytes again, tick 0 holding the writer's
// run sentinel included.
TEST_F(StateCodecTest, ChunkedStreamsRestoreAsWholeOnesAndRoundTrip) {
  engine.options.optimise = StepOptimised;
  engine.options.minimised = 1;
  engine.options.winleft = -300;
  for (int32_t i = 0; i < MapTicks; ++i) engine.tickDurations[i] = Tick120 + (i / 700) * 1e-4;
  const Bytes recorded = Save();
  engine.tickDurations[0] = OldWriterSentinel;
  engine.tickDurations[1] = OldWriterSentinel;
  const Bytes sentinel = Save();
  Bytes opening;
  PutPair(opening, 0, static_cast<float>(OldWriterSentinel));
  EXPECT_TRUE(std::equal(opening.begin(), opening.end(), sentinel.begin() + KeySectionBytes));

  for (const Bytes& saved : {recorded, sentinel}) {
    Bytes stream = saved;
    for (uint8_t byte : {0x01, 0x02, 0x03}) stream.push_back(byte);  // the player's bytes
    for (size_t chunk : {size_t{1}, size_t{2}, size_t{3}, size_t{5}, size_t{7}, SIZE_MAX}) {
      SCOPED_TRACE(chunk);
      Disturb();
      ByteReader reader(stream, chunk);
      RestoreState(engine, reader);
      EXPECT_EQ(reader.at, saved.size());
      EXPECT_EQ(engine.options.optimise, StepOptimised);
      EXPECT_EQ(engine.options.winleft, -300);
      ASSERT_EQ(Save(), saved);
    }
  }
}

}  // namespace
}  // namespace tempotally::testing
