// Checks a built plug-in module the way plug-in validators check other formats, one group of
// checks per process: lifecycle and resources, random host-call sequences, damaged and chunked
// state streams, and ticks against paints and restores on two threads. Prints one line per check,
// "PASS name: ..." or "FAIL name: ...", and exits non-zero when any failed.
//   validate.exe GROUP LEVEL PLUGIN_DLL PLAYER_DLL     (LEVEL: short or full)
#include <objidl.h>
#include <windows.h>

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

// Ticks on one thread while this, the window thread, paints and restores.
void Threads(Environment& env, PluginModule& module) {
  env.UsePlayer(false);
  TestHost host;
  host.SetRecording(false);
  RawPlug plug = module.Create(host, 4);
  PlaySong(host, plug, 8);
  const std::vector<uint8_t> state = Save(plug);
  HWND parent = MakeParent();
  plug.Dispatch(IdShowEditor, 0, reinterpret_cast<uintptr_t>(parent));
  plug.Dispatch(IdTransport, 0, 1);

  std::atomic<bool> stop{false};
  std::atomic<long> ticks{0};
  std::thread mixer([&] {
    double position = 0.0;
    while (!stop) {
      host.SetSongPosition(position);
      host.SetHostTimeMs(position * (ticks % 3000 < 1500 ? 5.0 : 4.0));
      plug.Tick();
      position = position >= 20000.0 ? 0.0 : position + 1.0;
      ++ticks;
    }
  });
  const DWORD seconds = env.Full() ? 5 : 2;
  const DWORD until = GetTickCount() + seconds * 1000;
  long paints = 0;
  long restores = 0;
  while (static_cast<LONG>(GetTickCount() - until) < 0) {
    HWND editor = plug.EditorWindow();
    if (editor) RedrawWindow(editor, nullptr, nullptr, RDW_INVALIDATE | RDW_UPDATENOW);
    ++paints;
    if (paints % 10 == 0) {
      RestoreInChunks(plug, state, static_cast<ULONG>(paints % 5));
      ++restores;
    }
    PumpMessages();
  }
  stop = true;
  mixer.join();
  plug.Dispatch(IdShowEditor, 0, 0);
  const StateView view = Inspect(Save(plug));
  Check(view.complete && view.sane, "ticks against paints and restores",
        Format("%lu s: %ld ticks, %ld paints, %ld restores", seconds, ticks.load(), paints,
               restores));
  plug.Release();
  DestroyWindow(parent);
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
  else Check(false, "group", group);
  return failures == 0 ? 0 : 1;
}
