// Checks a built plug-in module beyond what the black-box suite checks, one group per process:
// create/release cycles with the process's handles, GDI objects, windows and memory counted around
// them, and ticks on a mixing thread against a window thread that is suspended at random while it
// saves, restores, paints and clicks. Prints one line per check, "PASS name: ..." or
// "FAIL name: ...", and exits non-zero when any failed.
//   validate.exe GROUP LEVEL PLUGIN_DLL PLAYER_DLL     (GROUP: lifecycle or threads; LEVEL: short
//   or full)
#include <objidl.h>
#include <windows.h>

#include <algorithm>
#include <atomic>
#include <cstdarg>
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
#include "devhost/WindowPixels.h"
#include "devhost/WorkingFolder.h"
#include "timeline/SharedEngine.h"
#include "timeline/StateCodec.h"
#include "timeline/TimelineEngine.h"

namespace tempotally::validate {
namespace {

using testhost::ChunkStream;
using testhost::PluginModule;
using testhost::PumpMessages;
using testhost::RawPlug;
using testhost::TestHost;

constexpr int32_t TicksPerBeat = 96;
constexpr int IdShowEditor = 0;
constexpr int IdTransport = 12;
constexpr int IdSongPosition = 13;
// How far, in ms, a told time may differ from the one-thread time once a restore's boundary had to
// be read from told times.
constexpr double PlacementToleranceMs = 1e-3;
constexpr int IdTimeSignature = 14;
// Tolerances after the first cycle, which loads what a process loads once.
constexpr long HandleTolerance = 4;
constexpr long GdiTolerance = 4;
constexpr long long MemoryTolerance = 1 << 20;
// The smallest steady leak the cycles must catch, and the cycles the proof leaks it over.
constexpr size_t LeakPerCycleBytes = 20u << 10;
constexpr int LeakCycles = 100;
constexpr int ProbeObjects = 100;
constexpr uintptr_t GdiHandleIndices = 0x10000;
constexpr ULONG SystemHandleInformation = 16;
constexpr LONG StatusInfoLengthMismatch = static_cast<LONG>(0xC0000004);

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

// The process's resources, counted in ways that work under Wine, where GetGuiResources,
// GetProcessHandleCount and the private-usage figure all read 0.
struct Counts {
  long handles = 0;
  long gdiObjects = 0;
  long windows = 0;
  long long memoryBytes = 0;
};

// This process's entries in the system handle list.
long ProcessHandles() {
  struct HandleEntry {
    ULONG ownerPid;
    BYTE objectType;
    BYTE flags;
    USHORT value;
    PVOID object;
    ULONG access;
  };
  using QueryFn = LONG(WINAPI*)(ULONG, PVOID, ULONG, PULONG);
  static const auto query = reinterpret_cast<QueryFn>(reinterpret_cast<void (*)()>(
      GetProcAddress(GetModuleHandleA("ntdll.dll"), "NtQuerySystemInformation")));
  static std::vector<uint8_t> buffer(1u << 20);
  LONG status;
  while (query &&
         (status = query(SystemHandleInformation, buffer.data(), static_cast<ULONG>(buffer.size()),
                         nullptr)) == StatusInfoLengthMismatch) {
    buffer.resize(buffer.size() * 2);
  }
  if (!query || status < 0) return -1;
  const ULONG entries = *reinterpret_cast<const ULONG*>(buffer.data());
  const auto* entry = reinterpret_cast<const HandleEntry*>(buffer.data() + sizeof(ULONG_PTR));
  return static_cast<long>(std::count_if(entry, entry + entries, [](const HandleEntry& e) {
    return e.ownerPid == GetCurrentProcessId();
  }));
}

// Live GDI objects: Wine takes a handle without its generation word as the live object at that
// index, and does not publish the table that the PEB should point to.
long GdiObjects() {
  long count = 0;
  for (uintptr_t index = 1; index < GdiHandleIndices; ++index) {
    count += GetObjectType(reinterpret_cast<HGDIOBJ>(index)) != 0 ? 1 : 0;
  }
  return count;
}

BOOL CALLBACK CountChild(HWND, LPARAM count) {
  ++*reinterpret_cast<long*>(count);
  return TRUE;
}

BOOL CALLBACK CountTopLevel(HWND window, LPARAM count) {
  ++*reinterpret_cast<long*>(count);
  EnumChildWindows(window, CountChild, count);
  return TRUE;
}

// The thread's windows, children included.
long ThreadWindows() {
  long count = 0;
  EnumThreadWindows(GetCurrentThreadId(), CountTopLevel, reinterpret_cast<LPARAM>(&count));
  return count;
}

// Committed private memory, summed over the address space's regions. Page-file usage is not used:
// under an emulator it counts the emulator's own memory, which grows as new code runs.
long long CommittedBytes() {
  SYSTEM_INFO system{};
  GetSystemInfo(&system);
  const auto end = reinterpret_cast<uintptr_t>(system.lpMaximumApplicationAddress);
  long long total = 0;
  MEMORY_BASIC_INFORMATION region;
  for (auto at = reinterpret_cast<uintptr_t>(system.lpMinimumApplicationAddress);
       at < end &&
       VirtualQuery(reinterpret_cast<void*>(at), &region, sizeof region) == sizeof region;) {
    if (region.State == MEM_COMMIT && region.Type == MEM_PRIVATE) total += region.RegionSize;
    const uintptr_t next = reinterpret_cast<uintptr_t>(region.BaseAddress) + region.RegionSize;
    if (next <= at) break;
    at = next;
  }
  return total > 0 ? total : -1;
}

std::string Show(const Counts& c) {
  return Format("%ld, %ld, %ld, %.2f", c.handles, c.gdiObjects, c.windows,
                c.memoryBytes / 1048576.0);
}

Counts Now() { return {ProcessHandles(), GdiObjects(), ThreadWindows(), CommittedBytes()}; }

// Each counter must follow objects made and freed before it is trusted.
void ProveCounters() {
  auto report = [](const char* name, long long before, long long during, long long after,
                   bool moved) {
    Check(before >= 0 && moved, name,
          Format("%lld, with the objects %lld, freed %lld", before, during, after));
  };
  auto exactly = [&](const char* name, long long before, long long during, long long after,
                     long long objects) {
    report(name, before, during, after, during - before == objects && after == before);
  };
  std::vector<HANDLE> events(ProbeObjects);
  long long before = ProcessHandles();
  for (HANDLE& event : events) event = CreateEventA(nullptr, TRUE, FALSE, nullptr);
  long long during = ProcessHandles();
  for (HANDLE event : events) CloseHandle(event);
  exactly("counter handles (system handle list)", before, during, ProcessHandles(), ProbeObjects);

  std::vector<HBRUSH> brushes(ProbeObjects);
  before = GdiObjects();
  for (int i = 0; i < ProbeObjects; ++i) brushes[i] = CreateSolidBrush(RGB(i, 1, 2));
  during = GdiObjects();
  for (HBRUSH brush : brushes) DeleteObject(brush);
  exactly("counter GDI objects (live entries of the 16-bit handle space)", before, during,
          GdiObjects(), ProbeObjects);

  // 10 windows and 10 children of the first, beside one that keeps the thread's helper windows.
  auto window = [](DWORD style, HWND parent) {
    return CreateWindowExA(0, "STATIC", "", style, 0, 0, 10, 10, parent, nullptr, nullptr, nullptr);
  };
  HWND keeper = window(0, nullptr);
  std::vector<HWND> windows(10);
  before = ThreadWindows();
  for (HWND& w : windows) w = window(0, nullptr);
  for (size_t i = 0; i < windows.size(); ++i) window(WS_CHILD, windows[0]);
  during = ThreadWindows();
  for (HWND w : windows) DestroyWindow(w);
  exactly("counter windows (the thread's, children included)", before, during, ThreadWindows(), 20);
  DestroyWindow(keeper);

  // The smallest leak the cycles must catch, from a heap of its own, so that destroying it gives
  // every page back and leaves no free heap space in which a later leak would hide.
  before = CommittedBytes();
  HANDLE heap = HeapCreate(0, 0, 0);
  for (int i = 0; heap && i < LeakCycles; ++i) {
    if (void* block = HeapAlloc(heap, 0, LeakPerCycleBytes))
      std::memset(block, 1, LeakPerCycleBytes);
  }
  during = CommittedBytes();
  if (heap) HeapDestroy(heap);
  const long long after = CommittedBytes();
  const long long leaked = static_cast<long long>(LeakPerCycleBytes) * LeakCycles;
  report("counter memory (committed private regions, bytes)", before, during, after,
         during - before >= leaked * 9 / 10 && during - before > MemoryTolerance &&
             after - before <= leaked / 10);
}

// Where the plug-in's part of a saved state ends, read as the format says: the key records, then
// pairs up to the terminator; 0 when the bytes end first.
size_t SavedPartEnd(const std::vector<uint8_t>& bytes) {
  size_t at = 0;
  auto get = [&](size_t n) {
    uint32_t value = 0;
    for (size_t i = 0; i < n && at + i < bytes.size(); ++i) value |= bytes[at + i] << (8 * i);
    at += n;
    return value;
  };
  for (uint32_t keys = get(2); keys > 0 && at <= bytes.size(); --keys) at += get(2) + 4;
  while (at + 4 <= bytes.size()) {
    if (get(4) == static_cast<uint32_t>(StateMapTerminator)) return at;
    at += 4;
  }
  return 0;
}

std::vector<uint8_t> Save(RawPlug& plug) {
  ChunkStream stream;
  plug.SaveRestoreState(&stream, 1);
  return stream.Bytes();
}

size_t RestoreInChunks(RawPlug& plug, const std::vector<uint8_t>& bytes, ULONG chunk) {
  ChunkStream stream(bytes, chunk);
  plug.SaveRestoreState(&stream, 0);
  return stream.Position();
}

// Where the plug-in's part of a saved state ends: after the keys, (index, value) pairs up to the
// map's terminator; the player's bytes follow.
size_t PluginPartEnd(const std::vector<uint8_t>& bytes) {
  for (size_t at = StateKeySectionBytes; at + StateTerminatorBytes <= bytes.size();
       at += StatePairBytes) {
    int32_t index;
    std::memcpy(&index, bytes.data() + at, sizeof index);
    if (index == StateMapTerminator) return at + StateTerminatorBytes;
  }
  return bytes.size();
}

// A parent for the editor, as the host's window would be.
HWND MakeParent() {
  return CreateWindowExA(0, "STATIC", "validator host", WS_OVERLAPPEDWINDOW | WS_VISIBLE, 0, 0, 400,
                         400, nullptr, nullptr, nullptr, nullptr);
}

// The run's level and the stand-in player to lay out.
struct Environment {
  bool full;
  std::string playerPath;
  // Lays the stand-in player out in the current folder, or removes it.
  bool UsePlayer(bool on) const {
    using testsupport::PlayerSlot;
    return on ? testsupport::InstallPlayer(playerPath, PlayerSlot::Path1)
              : testsupport::RemovePlayer(PlayerSlot::Path1);
  }
};

// Create/release cycles, without and with the player; the counters come back.
void Lifecycle(const Environment& env, PluginModule& module) {
  const long long bare = CommittedBytes();
  ProveCounters();
  // The process's first windows and GDI objects load the display driver and its caches once;
  // the proofs above make them, so the cycles below measure the plug-in alone.
  std::printf(
      "INFO memory before any window or GDI object %.2f MB, after the proofs' first ones "
      "%.2f MB\n",
      bare / 1048576.0, CommittedBytes() / 1048576.0);
  const int cycles = env.full ? 1000 : 100;

  for (bool player : {false, true}) {
    const char* with = player ? "with the stand-in player" : "without a player";
    if (!env.UsePlayer(player)) {
      Check(false, "player layout", with);
      continue;
    }
    TestHost host;
    host.SetRecording(false);
    const Counts start = Now();
    auto cycle = [&] {
      RawPlug plug = module.Create(host, 1);
      plug.Release();
      PumpMessages();
    };
    cycle();
    const Counts warm = Now();
    for (int i = 1; i < cycles; ++i) cycle();
    const Counts end = Now();
    Check(end.handles - warm.handles <= HandleTolerance &&
              end.gdiObjects - warm.gdiObjects <= GdiTolerance && end.windows == start.windows &&
              end.memoryBytes - warm.memoryBytes <= MemoryTolerance,
          Format("%d create/release cycles %s", cycles, with).c_str(),
          "handles, GDI objects, windows, memory (MB) before / after the first / after all: " +
              Show(start) + " / " + Show(warm) + " / " + Show(end) +
              Format(" (tolerance %ld, %ld, 0, %.0f MB after the first)", HandleTolerance,
                     GdiTolerance, MemoryTolerance / 1048576.0));
  }
  env.UsePlayer(false);
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
void Threads(const Environment& env, PluginModule& module) {
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
  const double periodMs = env.full ? 1.0 : 0.4;
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
    save.bytes.resize(PluginPartEnd(save.bytes));
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
  double badBy = 0.0;
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
  // Where ticks found the engine held, the boundary a call landed at is read from told times, and
  // with step 4 two neighbouring boundaries may tell the same time: a save is then held to what the
  // format keeps of a map (every tick within the change threshold, the running time within the
  // saved tolerance) rather than to its bytes, which a length moved by far less can change.
  TimelineEngine restored;
  restored.Allocate();
  auto KeepsTheMap = [&](const std::vector<uint8_t>& bytes) {
    AdoptBytes(restored, bytes);
    double live = 0.0, kept = 0.0;
    for (int32_t k = 1; k < MapTicks; ++k) {
      const double a = single.tickDurations[k], b = restored.tickDurations[k];
      if (std::fabs(a - b) > TickChangeThreshold) return false;
      live += a;
      kept += b;
      if (std::fabs(live - kept) > SavedTimeTolerance) return false;
    }
    return true;
  };
  auto SavedAt = [&](const std::vector<uint8_t>& bytes) {
    if (MapSection(Encode(single)) == MapSection(bytes)) return true;
    CloneEngine(single, first);
    first.tickDurations[0] = first.tickDurations[1];
    return MapSection(Encode(first)) == MapSection(bytes) || (waited > 0 && KeepsTheMap(bytes));
  };
  // Told times match to the bit, but for a restore placed at one of two boundaries that the told
  // times do not tell apart, whose sums may differ in their last bits: far below a tick, which
  // is what a lost tick, jump or notification costs.
  auto SameTime = [&](double expected, double told) {
    return std::memcmp(&expected, &told, sizeof expected) == 0 ||
           (waited > 0 && std::fabs(expected - told) <= PlacementToleranceMs);
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
    if (!SameTime(expected, told[t])) {
      if (Advanced(t)) {
        ++waited;
      } else {
        ++mismatches;
        firstBad = t;
        badBy = told[t] - expected;
      }
    }
  }
  closeSave();
  Check(mismatches == 0 && unmatchedSaves == 0, "the player is told the one-thread time",
        Format("%d ticks, %d state calls: %d told otherwise (first at tick %d, by %.9g ms), %d saves "
               "matching no boundary of their span, %d ticks that found the engine held",
               songTicks, static_cast<int>(calls.size()), mismatches, firstBad, badBy, unmatchedSaves,
               waited));
}

// Three threads, as hosts use them: the mixing thread ticks a song over and over; this, the window
// thread, paints the shown editor and clicks a toggle while another thread suspends it at random
// moments (wherever it is, inside the engine's gate too); and a third thread saves, restores and
// sends the transport, position and time-signature notifications. Round after round: no crash, no
// hang, no tick that waits for the suspended window thread, and every save reads back whole.
void ThreeThreads(const Environment& env, PluginModule& module) {
  const int rounds = env.full ? 2000 : 300;
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
      const size_t end = SavedPartEnd(saved);
      incomplete += end == 0;
      if (end > 0) saved.resize(end);
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
    std::fprintf(stderr, "usage: validate lifecycle|threads|three short|full PLUGIN_DLL PLAYER_DLL\n");
    return 2;
  }
  const std::string group = argv[1];
  tempotally::testhost::WorkingFolder folder("validate-" + group);
  const Environment env{std::string(argv[2]) == "full", argv[4]};
  const std::string plugin = tempotally::testhost::WindowsPath(argv[3]);
  tempotally::testhost::PluginModule module(plugin);
  Check(module.HasFactory(), "module loads and exports CreatePlugInstance", plugin);
  if (!module.HasFactory() || !folder.Ready()) return 1;
  if (group == "lifecycle")
    Lifecycle(env, module);
  else if (group == "threads")
    Threads(env, module);
  else if (group == "three")
    ThreeThreads(env, module);
  else
    Check(false, "group", group);
  return failures == 0 ? 0 : 1;
}
