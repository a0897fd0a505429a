// Checks a built plug-in module the way plug-in validators check other formats, one group of
// checks per process: lifecycle and resources, random host-call sequences, damaged and chunked
// state streams, and ticks on a mixing thread against a window thread that is suspended at random
// while it saves, restores, paints and clicks. Prints one line per check,
// "PASS name: ..." or "FAIL name: ...", and exits non-zero when any failed.
//   validate.exe GROUP LEVEL PLUGIN_DLL PLAYER_DLL     (LEVEL: short or full)
#include <objidl.h>
#include <windows.h>

#include <algorithm>
#include <atomic>
#include <cstdarg>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <random>
#include <string>
#include <thread>
#include <vector>

#include "devhost/ChunkStream.h"
#include "devhost/PlayerLayout.h"
#include "devhost/RawPlug.h"
#include "devhost/SongSimulator.h"
#include "devhost/TestHost.h"
#include "devhost/WorkingFolder.h"
#include "timeline/SharedEngine.h"
#include "timeline/StateCodec.h"
#include "timeline/TimelineEngine.h"
#include "tools/validate/Counters.h"

namespace tempotally::validate {
namespace {

using testhost::ChunkStream;
using testhost::PluginModule;
using testhost::RawPlug;
using testhost::TestHost;

constexpr int32_t MapEnd = 96000;
constexpr int32_t TicksPerBeat = 96;
constexpr int IdShowEditor = 0;
constexpr int IdTransport = 12;
constexpr int IdSongPosition = 13;
constexpr int IdTimeSignature = 14;
constexpr int AliveAtOnce = 10;
// Tolerances after the first cycle, which loads what a process loads once.
constexpr long HandleTolerance = 4;
constexpr long GdiTolerance = 4;

int failures = 0;

void Check(bool ok, const char* name, const std::string& detail = "") {
  std::printf("%s %s%s%s\n", ok ? "PASS" : "FAIL", name, detail.empty() ? "" : ": ",
              detail.c_str());
  std::fflush(stdout);
  if (!ok) ++failures;
}

std::string Format(const char* format, ...) __attribute__((format(printf, 1, 2)));
std::string Format(const char* format, ...) {
  char text[512];
  va_list args;
  va_start(args, format);
  std::vsnprintf(text, sizeof text, format, args);
  va_end(args);
  return text;
}

void PumpMessages() {
  MSG message;
  while (PeekMessageA(&message, nullptr, 0, 0, PM_REMOVE)) {
    TranslateMessage(&message);
    DispatchMessageA(&message);
  }
}

// The plug-in's part of a saved state: whether it reads through to the terminator, whether every
// option and map value is sane, and where it ends.
struct StateView {
  bool complete = false;
  bool sane = true;
  size_t end = 0;
};

StateView Inspect(const std::vector<uint8_t>& bytes) {
  StateView view;
  size_t at = 0;
  auto get = [&](size_t n, uint32_t& value) {
    if (at + n > bytes.size()) return false;
    value = 0;
    for (size_t i = 0; i < n; ++i) value |= static_cast<uint32_t>(bytes[at + i]) << (8 * i);
    at += n;
    return true;
  };
  uint32_t count = 0;
  if (!get(2, count)) return view;
  for (uint32_t k = 0; k < count; ++k) {
    uint32_t length = 0;
    if (!get(2, length) || at + length > bytes.size()) return view;
    const std::string name(bytes.begin() + static_cast<long>(at),
                           bytes.begin() + static_cast<long>(at + length));
    at += length;
    uint32_t value = 0;
    if (!get(4, value)) return view;
    if (name == "optimise" && value != 1 && value != 4) view.sane = false;
    if (name == "minimised" && value > 2) view.sane = false;
  }
  for (;;) {
    uint32_t index = 0;
    if (!get(4, index)) return view;
    if (index == static_cast<uint32_t>(MapEnd)) break;
    uint32_t bits = 0;
    if (!get(4, bits)) return view;
    float value;
    std::memcpy(&value, &bits, sizeof value);
    if (!std::isfinite(value) || index >= static_cast<uint32_t>(MapEnd)) view.sane = false;
  }
  view.complete = true;
  view.end = at;
  return view;
}

std::vector<uint8_t> Save(RawPlug& plug) {
  ChunkStream stream;
  plug.SaveRestoreState(&stream, 1);
  return stream.Bytes();
}

// Restores through the platform's own memory stream; returns where it left the stream.
size_t RestoreThroughHGlobal(RawPlug& plug, const std::vector<uint8_t>& bytes) {
  IStream* stream = nullptr;
  if (FAILED(CreateStreamOnHGlobal(nullptr, TRUE, &stream))) return SIZE_MAX;
  if (!bytes.empty()) stream->Write(bytes.data(), static_cast<ULONG>(bytes.size()), nullptr);
  LARGE_INTEGER zero{};
  stream->Seek(zero, STREAM_SEEK_SET, nullptr);
  plug.SaveRestoreState(stream, 0);
  ULARGE_INTEGER at{};
  stream->Seek(zero, STREAM_SEEK_CUR, &at);
  stream->Release();
  return static_cast<size_t>(at.QuadPart);
}

size_t RestoreInChunks(RawPlug& plug, const std::vector<uint8_t>& bytes, ULONG chunk) {
  ChunkStream stream(bytes, chunk);
  plug.SaveRestoreState(&stream, 0);
  return stream.Position();
}

// A parent for the editor, as the host's window would be.
HWND MakeParent() {
  return CreateWindowExA(0, "STATIC", "validator host", WS_OVERLAPPEDWINDOW | WS_VISIBLE, 0, 0,
                         400, 400, nullptr, nullptr, nullptr, nullptr);
}

// Plays `beats` beats of a song with tempo steps and a ramp, so the map holds many runs.
void PlaySong(TestHost& host, RawPlug& plug, int beats) {
  song::SongSimulator song(song::TempoAutomation(
      {{0.0, 120.0, false}, {4.0, 95.0, false}, {8.0, 95.0, true}, {12.0, 150.0, false}}));
  host.FollowSong(&song);
  plug.Dispatch(IdTransport, 0, 1);
  song.Start();
  for (int t = 0; t < beats * TicksPerBeat; ++t) {
    plug.Tick();
    song.AdvanceTick();
  }
  plug.Dispatch(IdTransport, 0, 2);
  host.FollowSong(nullptr);
}

class Environment {
 public:
  Environment(bool full, const std::string& plugin, const std::string& player)
      : full_(full), pluginPath_(plugin), playerPath_(player) {}
  bool Full() const { return full_; }
  const std::string& Plugin() const { return pluginPath_; }
  // Lays the stand-in player out in the current folder, or removes it.
  bool UsePlayer(bool on) {
    using testsupport::PlayerSlot;
    if (!on) return testsupport::RemovePlayer(PlayerSlot::Path1);
    return testsupport::InstallPlayer(playerPath_, PlayerSlot::Path1);
  }

 private:
  bool full_;
  std::string pluginPath_;
  std::string playerPath_;
};

// Create/release cycles, then instances alive at once; the counters come back.
void Lifecycle(Environment& env, PluginModule& module) {
  Counters counters;
  std::string proof;
  const long long bare = CommittedBytes();
  const bool proven = counters.Prove(proof);
  const long long warmed = CommittedBytes();
  std::fputs(proof.c_str(), stdout);
  if (!proven) ++failures;
  // The process's first windows and GDI objects load the display driver and its caches once;
  // the proofs above make them, so the cycles below measure the plug-in alone.
  std::printf("INFO memory before any window or GDI object %.2f MB, after the proofs' first ones "
              "%.2f MB\n", bare / 1048576.0, warmed / 1048576.0);
  const int cycles = env.Full() ? 1000 : 100;

  for (bool player : {false, true}) {
    const char* with = player ? "with the stand-in player" : "without a player";
    if (!env.UsePlayer(player)) {
      Check(false, "player layout", with);
      continue;
    }
    TestHost host;
    host.SetRecording(false);
    const Counts start = counters.Now();
    auto cycle = [&] {
      RawPlug plug = module.Create(host, 1);
      plug.Release();
      PumpMessages();
    };
    cycle();
    const Counts warm = counters.Now();
    for (int i = 1; i < cycles; ++i) cycle();
    const Counts end = counters.Now();
    Check(end.handles - warm.handles <= HandleTolerance && end.gdiObjects - warm.gdiObjects <= GdiTolerance &&
              end.windows == start.windows &&
              end.memoryBytes - warm.memoryBytes <= MemoryTolerance,
          Format("%d create/release cycles %s", cycles, with).c_str(),
          Format("handles %ld/%ld/%ld, GDI %ld/%ld/%ld, windows %ld/%ld/%ld, memory "
                 "%.2f/%.2f/%.2f MB (before/after the first/after all; tolerance %ld, %ld, 0, "
                 "%.0f MB after the first)",
                 start.handles, warm.handles, end.handles, start.gdiObjects, warm.gdiObjects,
                 end.gdiObjects, start.windows, warm.windows, end.windows,
                 start.memoryBytes / 1048576.0, warm.memoryBytes / 1048576.0,
                 end.memoryBytes / 1048576.0, HandleTolerance, GdiTolerance,
                 MemoryTolerance / 1048576.0));

    // Twice: the first round may grow caches that hold as many objects as windows were painted
    // at once; the second must give everything back.
    Counts rounds[2];
    Counts during{};
    bool created = true;
    for (Counts& round : rounds) {
      RawPlug alive[AliveAtOnce];
      for (RawPlug& plug : alive) {
        plug = module.Create(host, 2);
        created = created && plug.Valid();
      }
      PumpMessages();
      during = counters.Now();
      for (RawPlug& plug : alive) {
        if (plug.Valid()) plug.Release();
      }
      PumpMessages();
      round = counters.Now();
    }
    const Counts& first = rounds[0];
    const Counts& second = rounds[1];
    Check(created && second.handles - end.handles <= HandleTolerance &&
              second.gdiObjects - first.gdiObjects <= GdiTolerance &&
              second.windows == end.windows &&
              second.memoryBytes - end.memoryBytes <= MemoryTolerance &&
              during.windows > end.windows,
          Format("%d instances alive at once, twice, %s", AliveAtOnce, with).c_str(),
          Format("windows %ld while alive, %ld after; handles %ld/%ld, GDI %ld/%ld, memory "
                 "%.2f/%.2f MB after the first/second round",
                 during.windows, second.windows, first.handles, second.handles, first.gdiObjects,
                 second.gdiObjects, first.memoryBytes / 1048576.0,
                 second.memoryBytes / 1048576.0));
  }
  env.UsePlayer(false);
}

// Thousands of random host-call sequences.
void RandomCalls(Environment& env, PluginModule& module) {
  const int sequences = env.Full() ? 2000 : 100;
  constexpr int CallsPerSequence = 60;
  for (bool player : {false, true}) {
    const char* with = player ? "with the stand-in player" : "without a player";
    env.UsePlayer(player);
    std::mt19937 random(player ? 0x5EED2 : 0x5EED1);
    TestHost host;
    host.SetRecording(false);
    HWND parent = MakeParent();
    int bad = 0;
    int firstBad = -1;
    for (int s = 0; s < sequences; ++s) {
      RawPlug plug = module.Create(host, s);
      if (!plug.Valid()) {
        ++bad;
        continue;
      }
      double position = 0.0;
      std::vector<uint8_t> saved;
      for (int c = 0; c < CallsPerSequence; ++c) {
        const uint32_t pick = random() % 100;
        if (pick < 45) {  // ticks: the position moves on, jumps, stops or wraps
          const uint32_t how = random() % 20;
          if (how == 0) position = static_cast<double>(random() % 200000) - 50000.0;
          else if (how == 1) position = 0.0;
          else if (how < 16) position += 1.0;
          host.SetSongPosition(position);
          host.SetHostTimeMs(position * (0.002 + (random() % 1000) * 1e-5) *
                             ((random() % 50) == 0 ? -1.0 : 1.0));
          plug.Tick();
        } else if (pick < 60) {
          const int id = static_cast<int>(random() % 70) - 5;
          if (id == IdShowEditor) continue;
          int32_t signature[3] = {static_cast<int32_t>(random() % 9), 4, 96};
          const uintptr_t value = id == IdTimeSignature ? reinterpret_cast<uintptr_t>(signature)
                                                        : static_cast<uintptr_t>(random() % 4);
          plug.Dispatch(id, static_cast<int32_t>(random() % 4), value);
        } else if (pick < 68) {
          plug.Dispatch(IdTransport, 0, random() % 3);
        } else if (pick < 74) {
          host.SetSongPosition(static_cast<double>(random() % 96000));
          plug.Dispatch(IdSongPosition, 0, 0);
        } else if (pick < 82) {
          plug.Dispatch(IdShowEditor, 0, random() % 2 ? reinterpret_cast<uintptr_t>(parent) : 0);
          PumpMessages();
        } else if (pick < 90) {
          saved = Save(plug);
        } else if (pick < 96 && !saved.empty()) {
          RestoreInChunks(plug, saved, random() % 8);
        } else {
          int32_t frames = static_cast<int32_t>(random() % 64);
          std::vector<float> buffer(2 * 64, 1.0f);
          plug.Render(0, buffer.data(), &frames);
        }
      }
      const StateView view = Inspect(Save(plug));
      if (!view.complete || !view.sane) {
        ++bad;
        if (firstBad < 0) firstBad = s;
      }
      plug.Release();
      PumpMessages();
    }
    DestroyWindow(parent);
    Check(bad == 0, Format("%d random call sequences %s", sequences, with).c_str(),
          Format("%d calls each; %d with a crash-free but unsound end state (first: %d)",
                 CallsPerSequence, bad, firstBad));
  }
  env.UsePlayer(false);
}

// A real saved state, cut, flipped and fed in chunks, through both kinds of stream.
void Streams(Environment& env, PluginModule& module) {
  env.UsePlayer(false);
  TestHost host;
  host.SetRecording(false);
  RawPlug plug = module.Create(host, 3);
  PlaySong(host, plug, 24);
  const std::vector<uint8_t> real = Save(plug);
  const StateView realView = Inspect(real);
  Check(realView.complete && realView.sane && realView.end == real.size(), "a real saved state",
        Format("%lu bytes", static_cast<unsigned long>(real.size())));
  std::vector<uint8_t> withTail = real;
  for (int i = 0; i < 16; ++i) withTail.push_back(static_cast<uint8_t>(0xB0 + i));

  // Whole and chunked restores give the same state; the stream stops at the terminator.
  {
    bool same = true;
    bool positioned = RestoreThroughHGlobal(plug, withTail) == real.size();
    const std::vector<uint8_t> whole = Save(plug);
    for (ULONG chunk = 1; chunk <= 7; ++chunk) {
      positioned = positioned && RestoreInChunks(plug, withTail, chunk) == real.size();
      same = same && Save(plug) == whole;
    }
    Check(same && whole == real, "chunks of 1 to 7 bytes restore as the whole", "");
    Check(positioned, "the stream is left at the player's bytes",
          Format("after byte %lu of %lu", static_cast<unsigned long>(real.size()),
                 static_cast<unsigned long>(withTail.size())));
  }

  const size_t step = env.Full() ? 1 : 13;
  int unsound = 0;
  int misplaced = 0;
  int runs = 0;
  for (size_t cut = 0; cut < real.size(); cut += step) {
    const std::vector<uint8_t> part(real.begin(), real.begin() + static_cast<long>(cut));
    misplaced += RestoreThroughHGlobal(plug, part) != cut;
    unsound += !Inspect(Save(plug)).sane;
    misplaced += RestoreInChunks(plug, part, 1 + cut % 7) != cut;
    unsound += !Inspect(Save(plug)).sane;
    runs += 2;
  }
  Check(unsound == 0 && misplaced == 0, "cut at every byte offset",
        Format("%d restores, %d unsound, %d read past the end or stopped short", runs, unsound,
               misplaced));

  unsound = 0;
  runs = 0;
  for (size_t at = 0; at < real.size(); at += step) {
    for (uint8_t mask : {uint8_t{0x01}, uint8_t{0x80}, uint8_t{0xFF}}) {
      std::vector<uint8_t> flipped = withTail;
      flipped[at] ^= mask;
      RestoreThroughHGlobal(plug, flipped);
      const StateView after = Inspect(Save(plug));
      unsound += !after.complete || !after.sane;
      RestoreInChunks(plug, flipped, 1 + at % 7);
      unsound += !Inspect(Save(plug)).sane;
      runs += 2;
    }
  }
  Check(unsound == 0, "bytes flipped", Format("%d restores, %d unsound", runs, unsound));
  plug.Release();
}

// The saved bytes with the "optimise" key's value replaced; unchanged when there is none.
std::vector<uint8_t> WithOptimise(std::vector<uint8_t> bytes, uint8_t step) {
  size_t at = 2;
  const size_t count = bytes.size() >= 2 ? bytes[0] | (bytes[1] << 8) : 0;
  for (size_t k = 0; k < count && at + 2 <= bytes.size(); ++k) {
    const size_t length = bytes[at] | (bytes[at + 1] << 8);
    at += 2;
    if (at + length + 4 > bytes.size()) break;
    const bool found = std::string(bytes.begin() + static_cast<long>(at),
                                   bytes.begin() + static_cast<long>(at + length)) == "optimise";
    at += length;
    if (found) bytes[at] = step;
    at += 4;
  }
  return bytes;
}

// One state call on the window thread, with the completed ticks before and after it: it took
// effect at one of the boundaries from `before` to `after` + 1 (the tick counted last may have
// ended just before the call returned, its count not yet raised).
struct StateCall {
  bool restore;
  long before;
  long after;
  std::vector<uint8_t> bytes;  // restored, or saved (the plug-in's part)
};

class Clock {
 public:
  Clock() { QueryPerformanceFrequency(&frequency_); }
  double NowMs() const {
    LARGE_INTEGER now;
    QueryPerformanceCounter(&now);
    return 1000.0 * static_cast<double>(now.QuadPart) / static_cast<double>(frequency_.QuadPart);
  }

 private:
  LARGE_INTEGER frequency_;
};

double ToldAfterTick(TimelineEngine& engine, double position, double hostTimeMs) {
  engine.hostTime[0] = hostTimeMs;
  engine.hostTime[1] = 0.0;
  engine.RecordTick(position);
  return engine.ElapsedSeconds(engine.currentTick, engine.options.optimise) * MillisecondsPerSecond;
}

// Every field of `from` except the two arrays, into `to`.
void CopyEngineFields(const TimelineEngine& from, TimelineEngine& to) {
  to.options = from.options;
  to.playing = from.playing;
  to.playStarted = from.playStarted;
  to.recentChange = from.recentChange;
  to.songPosition = from.songPosition;
  to.hostTime[0] = from.hostTime[0];
  to.hostTime[1] = from.hostTime[1];
  std::copy(from.timeSignature, from.timeSignature + 3, to.timeSignature);
  to.currentTick = from.currentTick;
  to.paintedTick = from.paintedTick;
  to.displaySeconds = from.displaySeconds;
  to.running = from.running;
  to.highestCachedBeat = from.highestCachedBeat;
}

void CloneEngine(const TimelineEngine& from, TimelineEngine& to) {
  CopyEngineFields(from, to);
  std::copy(from.tickDurations, from.tickDurations + MapTicks, to.tickDurations);
  std::copy(from.beatSums, from.beatSums + MapBeats, to.beatSums);
}

void AdoptBytes(TimelineEngine& engine, const std::vector<uint8_t>& bytes) {
  struct Reader final : StateReader {
    const std::vector<uint8_t>* bytes;
    size_t at = 0;
    uint32_t Read(void* data, uint32_t n) override {
      n = static_cast<uint32_t>(std::min<size_t>(n, bytes->size() - at));
      std::memcpy(data, bytes->data() + at, n);
      at += n;
      return n;
    }
  } reader;
  reader.bytes = &bytes;
  TimelineEngine restored;
  restored.Allocate();
  RestoreState(restored, reader);
  std::swap(engine.tickDurations, restored.tickDurations);
  engine.options = restored.options;
  engine.InvalidateBeatSums(-1);
}

std::vector<uint8_t> Encode(const TimelineEngine& engine) {
  std::vector<uint8_t> bytes(MaxSavedStateBytes);
  StateEncoder encoder;
  bytes.resize(encoder.Encode(engine, bytes.data(), MaxSavedStateBytes));
  return bytes;
}

// The map section of a saved state (after the keys, whose placement the window thread sets).
std::vector<uint8_t> MapSection(const std::vector<uint8_t>& bytes) {
  if (bytes.size() <= StateKeySectionBytes) return {};
  return std::vector<uint8_t>(bytes.begin() + StateKeySectionBytes, bytes.end());
}

// Ticks on a mixing thread through a song with ramps, while this, the window thread, saves,
// restores, paints and clicks in a loop, and a third thread suspends this one for 50 to 100 ms at
// random moments, as a preemption would. No tick may wait for the suspended thread, and the player
// must be told what one thread running the same ticks and state calls would tell it, each call
// taking effect at a tick boundary within its own span.
void Threads(Environment& env, PluginModule& module) {
  if (!env.UsePlayer(true)) {
    Check(false, "player layout for the thread group");
    return;
  }
  testsupport::StandInHold player(
      testsupport::PathUnder("", testsupport::RelativePath(testsupport::PlayerSlot::Path1)));
  StandInRecord* record = player.Record();
  if (!record) {
    Check(false, "stand-in player for the thread group");
    return;
  }
  TestHost host;
  host.SetRecording(false);
  RawPlug plug = module.Create(host, 4);
  HWND parent = MakeParent();
  plug.Dispatch(IdShowEditor, 0, reinterpret_cast<uintptr_t>(parent));
  plug.Dispatch(IdTransport, 0, 1);
  PumpMessages();

  // Faster than any audio buffer, so the ticks overlap everything; slower at the full level.
  const double periodMs = env.Full() ? 1.0 : 0.4;
  constexpr int MinSuspensions = 30;
  constexpr DWORD ShortestSuspensionMs = 50;
  const int32_t songTicks =
      static_cast<int32_t>(song::TempoAutomation::DefaultSongEndBeat) * TicksPerBeat;
  std::vector<double> positions(songTicks), hostTimes(songTicks), told(songTicks),
      tickMs(songTicks);
  {
    song::SongSimulator song(song::TempoAutomation::DefaultSong());
    song.Start();
    for (int32_t t = 0; t < songTicks; ++t) {
      positions[t] = song.PositionTicks();
      hostTimes[t] = song.HostTimeMs();
      song.AdvanceTick();
    }
  }

  Clock clock;
  std::atomic<long> ticks{0};
  std::atomic<bool> mixerDone{false};
  std::thread mixer([&] {
    SetThreadPriority(GetCurrentThread(), THREAD_PRIORITY_TIME_CRITICAL);
    const double start = clock.NowMs();
    for (int32_t t = 0; t < songTicks; ++t) {
      while (clock.NowMs() < start + t * periodMs) SwitchToThread();
      host.SetSongPosition(positions[t]);
      host.SetHostTimeMs(hostTimes[t]);
      const double before = clock.NowMs();
      plug.Tick();
      tickMs[t] = clock.NowMs() - before;
      std::memcpy(&told[t], record->lastTimeRecord, sizeof(double));
      ticks.store(t + 1);
    }
    mixerDone = true;
  });

  HANDLE window = nullptr;
  DuplicateHandle(GetCurrentProcess(), GetCurrentThread(), GetCurrentProcess(), &window,
                  THREAD_SUSPEND_RESUME, FALSE, 0);
  std::atomic<int> suspensions{0};
  std::thread suspender([&] {
    std::mt19937 random(0x5B5B);
    while (!mixerDone) {
      Sleep(20 + random() % 60);
      if (mixerDone) break;
      if (SuspendThread(window) == static_cast<DWORD>(-1)) break;
      Sleep(ShortestSuspensionMs + random() % 51);
      ResumeThread(window);
      ++suspensions;
    }
  });

  std::vector<StateCall> calls;
  long paints = 0;
  long clicks = 0;
  uint8_t step = StepOptimised;
  const LPARAM selectionLabel = MAKELPARAM(210, 70);
  while (!mixerDone) {
    StateCall save{false, ticks.load(), 0, {}};
    save.bytes = Save(plug);
    save.after = ticks.load();
    save.bytes.resize(std::min(save.bytes.size(), Inspect(save.bytes).end));
    StateCall restore{true, 0, 0, WithOptimise(save.bytes, step)};
    step = step == StepOptimised ? StepEveryTick : StepOptimised;
    calls.push_back(std::move(save));
    restore.before = ticks.load();
    RestoreInChunks(plug, restore.bytes, 4096);
    restore.after = ticks.load();
    calls.push_back(std::move(restore));
    if (HWND editor = plug.EditorWindow()) {
      RedrawWindow(editor, nullptr, nullptr, RDW_INVALIDATE | RDW_UPDATENOW);
      ++paints;
      SendMessageA(editor, WM_LBUTTONDOWN, MK_LBUTTON, selectionLabel);
      SendMessageA(editor, WM_LBUTTONUP, 0, selectionLabel);
      ++clicks;
    }
    PumpMessages();
  }
  mixer.join();
  suspender.join();
  CloseHandle(window);
  plug.Dispatch(IdShowEditor, 0, 0);
  plug.Release();
  DestroyWindow(parent);
  env.UsePlayer(false);

  const double longest = *std::max_element(tickMs.begin(), tickMs.end());
  const long overOneMs =
      std::count_if(tickMs.begin(), tickMs.end(), [](double ms) { return ms > 1.0; });
  Check(
      suspensions >= MinSuspensions && longest < ShortestSuspensionMs,
      "no tick waits for a suspended window thread",
      Format("%d suspensions of %lu to %lu ms, %d ticks: longest %.2f ms, %ld over 1 ms; %d state "
             "calls, %ld paints, %ld clicks",
             suspensions.load(), ShortestSuspensionMs, ShortestSuspensionMs + 50, songTicks,
             longest, overOneMs, static_cast<int>(calls.size()), paints, clicks));

  // One thread replays the ticks; each state call lands at the first boundary of its span where
  // the told time says it did (a restore switches the summation step, so its first tick shows it),
  // and a save must match the map at some boundary of its span.
  TimelineEngine single, trial;
  single.Allocate();
  trial.Allocate();
  single.ResetState();
  single.OnTransport(TransportPlaying);
  size_t next = 0;
  int mismatches = 0;
  int waited = 0;
  int unmatchedSaves = 0;
  int32_t firstBad = -1;
  // The save whose span is still open, compared at every boundary of it before anything later
  // lands there; it is over at the end of its span or once a later call has taken effect.
  const StateCall* save = nullptr;
  bool saveMatched = false;
  auto closeSave = [&] {
    if (save != nullptr) unmatchedSaves += !saveMatched;
    save = nullptr;
  };
  // A tick that found the engine held tells the last time advanced by its measured length, and the
  // engine replays it exactly later, so the ticks after it tell the one-thread time again.
  auto advanced = [&](int32_t t) {
    const double measured = MeasureTickSeconds(positions[t], hostTimes[t]);
    return (t > 0 ? told[t - 1] : 0.0) +
           (std::isfinite(measured) && measured > 0.0 ? measured * MillisecondsPerSecond : 0.0);
  };
  auto Advanced = [&](int32_t t) {
    const double estimate = advanced(t);
    return std::memcmp(&estimate, &told[t], sizeof estimate) == 0;
  };
  TimelineEngine first;
  first.Allocate();
  // A saved map is the one-thread map at this boundary; a paint's elapsed-time sum may have set
  // tick 0 to tick 1's length first, as every such sum does.
  auto SavedAt = [&](const std::vector<uint8_t>& bytes) {
    if (MapSection(Encode(single)) == MapSection(bytes)) return true;
    CloneEngine(single, first);
    first.tickDurations[0] = first.tickDurations[1];
    return MapSection(Encode(first)) == MapSection(bytes);
  };
  for (int32_t t = 0; t < songTicks && firstBad < 0; ++t) {
    if (save != nullptr)
      saveMatched = saveMatched || SavedAt(save->bytes);
    bool ticked = false;
    while (next < calls.size() && calls[next].before <= t) {
      const StateCall& call = calls[next];
      if (!call.restore) {
        closeSave();
        save = &call;
        saveMatched = SavedAt(call.bytes);
        ++next;
        continue;
      }
      if (t <= call.after) {
        CloneEngine(single, trial);
        const double notYet = ToldAfterTick(trial, positions[t], hostTimes[t]);
        bool later = std::memcmp(&notYet, &told[t], sizeof notYet) == 0;
        if (!later && Advanced(t)) {
          // The tick found the engine held and told an estimate. The restore came before it if
          // the later ticks that tell exact times, up to the next restore, agree; with step 4 one
          // of them alone may not tell two neighbouring boundaries apart.
          size_t following = next + 1;
          while (following < calls.size() && !calls[following].restore) ++following;
          const int32_t horizon = static_cast<int32_t>(std::min<long>(
              songTicks, following < calls.size() ? calls[following].before : songTicks));
          CloneEngine(single, first);
          AdoptBytes(first, call.bytes);
          bool agree = true;
          for (int32_t k = t; k < horizon && agree; ++k) {
            const double then = ToldAfterTick(first, positions[k], hostTimes[k]);
            agree = Advanced(k) || std::memcmp(&then, &told[k], sizeof then) == 0;
          }
          later = !agree;
        }
        if (later) {
          std::swap(single.tickDurations, trial.tickDurations);
          std::swap(single.beatSums, trial.beatSums);
          CopyEngineFields(trial, single);
          ticked = true;
          break;
        }
      }
      closeSave();
      AdoptBytes(single, call.bytes);
      ++next;
    }
    if (save != nullptr && t > save->after) closeSave();
    if (ticked) continue;
    const double expected = ToldAfterTick(single, positions[t], hostTimes[t]);
    if (std::memcmp(&expected, &told[t], sizeof expected) != 0) {
      if (Advanced(t)) {
        ++waited;
      } else {
        ++mismatches;
        firstBad = t;
      }
    }
  }
  closeSave();
  Check(mismatches == 0 && unmatchedSaves == 0, "the player is told the one-thread time",
        Format("%d ticks, %d state calls: %d told otherwise (first at tick %d), %d saves "
               "matching no boundary of their span, %d ticks that found the engine held",
               songTicks, static_cast<int>(calls.size()), mismatches, firstBad, unmatchedSaves,
               waited));
}

// Three threads, as hosts use them: the mixing thread ticks a song over and over; this, the window
// thread, paints the shown editor and clicks a toggle while another thread suspends it at random
// moments (wherever it is, inside the engine's gate too); and a third thread saves, restores and
// sends the transport, position and time-signature notifications. Round after round: no crash, no
// hang, no tick that waits for the suspended window thread, and every save reads back whole.
void ThreeThreads(Environment& env, PluginModule& module) {
  const int rounds = env.Full() ? 2000 : 300;
  // A tick that waited for the suspended window thread would last a whole suspension; the machine's
  // own preemptions of the mixing thread stay well below this.
  constexpr DWORD ShortestSuspensionMs = 50;
  constexpr DWORD SuspensionSpreadMs = 51;
  TestHost host;
  host.SetRecording(false);
  RawPlug plug = module.Create(host, 5);
  HWND parent = MakeParent();
  plug.Dispatch(IdShowEditor, 0, reinterpret_cast<uintptr_t>(parent));
  plug.Dispatch(IdTransport, 0, 1);
  PumpMessages();

  const int32_t songTicks = 32 * TicksPerBeat;
  std::vector<double> positions(songTicks), hostTimes(songTicks);
  {
    song::SongSimulator song(song::TempoAutomation::DefaultSong());
    song.Start();
    for (int32_t t = 0; t < songTicks; ++t) {
      positions[t] = song.PositionTicks();
      hostTimes[t] = song.HostTimeMs();
      song.AdvanceTick();
    }
  }

  Clock clock;
  std::atomic<bool> stop{false};
  std::atomic<long> ticks{0};
  double longest = 0.0;
  std::thread mixer([&] {
    SetThreadPriority(GetCurrentThread(), THREAD_PRIORITY_TIME_CRITICAL);
    for (int32_t t = 0; !stop; t = (t + 1) % songTicks) {
      host.SetSongPosition(positions[t]);
      host.SetHostTimeMs(hostTimes[t]);
      const double before = clock.NowMs();
      plug.Tick();
      longest = std::max(longest, clock.NowMs() - before);
      ++ticks;
      if (t % 64 == 0) SwitchToThread();
    }
  });

  std::atomic<long> saves{0}, incomplete{0}, restores{0}, notifications{0};
  std::thread third([&] {
    std::mt19937 random(0x3A3A);
    const int32_t signatures[2][3] = {{4, 4, 0}, {7, 8, 0}};
    while (!stop) {
      std::vector<uint8_t> saved = Save(plug);
      ++saves;
      const StateView view = Inspect(saved);
      incomplete += !view.complete;
      saved.resize(std::min(saved.size(), view.end));
      RestoreInChunks(plug, saved, 1 + random() % 8192);
      ++restores;
      plug.Dispatch(IdTimeSignature, 0, reinterpret_cast<uintptr_t>(signatures[random() % 2]));
      plug.Dispatch(IdTransport, 0, 1);
      if (random() % 4 == 0) plug.Dispatch(IdSongPosition, 0, 0);
      notifications += 3;
    }
  });

  HANDLE window = nullptr;
  DuplicateHandle(GetCurrentProcess(), GetCurrentThread(), GetCurrentProcess(), &window,
                  THREAD_SUSPEND_RESUME, FALSE, 0);
  std::atomic<int> suspensions{0};
  std::thread suspender([&] {
    std::mt19937 random(0x5C5C);
    // Short suspensions often, to catch the window thread in the middle of a paint's reads while
    // the third thread restores; every fourth one long, to show that no tick waits for it.
    for (int n = 0; !stop; ++n) {
      Sleep(random() % 4);
      if (stop) break;
      if (SuspendThread(window) == static_cast<DWORD>(-1)) break;
      const bool longOne = n % 4 == 0;
      Sleep(longOne ? ShortestSuspensionMs + random() % SuspensionSpreadMs : 5 + random() % 20);
      ResumeThread(window);
      suspensions += longOne;
    }
  });

  const LPARAM selectionLabel = MAKELPARAM(210, 70);
  for (int round = 0; round < rounds; ++round) {
    if (HWND editor = plug.EditorWindow()) {
      RedrawWindow(editor, nullptr, nullptr, RDW_INVALIDATE | RDW_UPDATENOW);
      if (round % 8 == 0) {
        SendMessageA(editor, WM_LBUTTONDOWN, MK_LBUTTON, selectionLabel);
        SendMessageA(editor, WM_LBUTTONUP, 0, selectionLabel);
      }
    }
    PumpMessages();
  }
  stop = true;
  suspender.join();
  third.join();
  mixer.join();
  CloseHandle(window);
  plug.Dispatch(IdShowEditor, 0, 0);
  plug.Release();
  DestroyWindow(parent);

  Check(suspensions > 0 && longest < ShortestSuspensionMs,
        "three threads: no tick waits for a suspended window thread",
        Format("%d rounds of paints, %d suspensions of %lu to %lu ms, %ld ticks (longest %.2f ms), "
               "%ld saves, %ld restores, %ld notifications",
               rounds, suspensions.load(), ShortestSuspensionMs,
               ShortestSuspensionMs + SuspensionSpreadMs - 1, ticks.load(), longest, saves.load(),
               restores.load(), notifications.load()));
  Check(incomplete == 0 && saves > 0, "three threads: every save reads back whole",
        Format("%ld of %ld saves incomplete", incomplete.load(), saves.load()));
}

}  // namespace
}  // namespace tempotally::validate

int main(int argc, char** argv) {
  using namespace tempotally::validate;
  if (argc < 5) {
    std::fprintf(stderr, "usage: validate GROUP short|full PLUGIN_DLL PLAYER_DLL\n");
    return 2;
  }
  const std::string group = argv[1];
  tempotally::testhost::WorkingFolder folder("validate-" + group);
  Environment env(std::string(argv[2]) == "full", tempotally::testhost::WindowsPath(argv[3]),
                  argv[4]);
  tempotally::testhost::PluginModule module(env.Plugin());
  Check(module.HasFactory(), "module loads and exports CreatePlugInstance", env.Plugin());
  if (!module.HasFactory() || !folder.Ready()) return 1;
  if (group == "lifecycle") Lifecycle(env, module);
  else if (group == "random") RandomCalls(env, module);
  else if (group == "streams") Streams(env, module);
  else if (group == "threads") Threads(env, module);
  else if (group == "three") ThreeThreads(env, module);
  else Check(false, "group", group);
  return failures == 0 ? 0 : 1;
}
