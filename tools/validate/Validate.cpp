// Checks a built plug-in module beyond what the black-box suite checks, one group per process:
// create/release cycles with the process's handles, GDI objects, windows and memory counted around
// them, and ticks on a mixing thread against a window thread that is suspended at random while it
// saves, restores, paints and clicks. Prints one line per check, "PASS name: ..." or
// "FAIL name: ...", and exits non-zero when any failed.
//   validate.exe GROUP LEVEL PLUGIN_DLL PLAYER_DLL  (GROUP: lifecycle, threads or three; LEVEL:
//   short or full)
#include <objidl.h>
#include <windows.h>

#include <algorithm>
#include <atomic>
#include <cmath>
#include <cstdarg>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <memory>
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
constexpr int IdTimeSignature = 14;
// How far a told time or a save may stray from one thread's: what the format keeps of a running
// time, once for the restored map and once for the save, and a little for the sums' rounding.
constexpr double SavedToleranceMs = 2 * SavedTimeTolerance * MillisecondsPerSecond + 1e-6;
// A tick that waited for the suspended window thread would last a whole suspension; the machine's
// own preemptions of the mixing thread stay well below this.
constexpr DWORD LongSuspensionMs = 100;
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

// The host's figures for each tick of the demo song, from its start.
struct SongTable {
  std::vector<double> positions, hostTimes;
  explicit SongTable(int32_t ticks) : positions(ticks), hostTimes(ticks) {
    song::SongSimulator song(song::TempoAutomation::DefaultSong());
    song.Start();
    for (int32_t t = 0; t < ticks; ++t) {
      positions[t] = song.PositionTicks();
      hostTimes[t] = song.HostTimeMs();
      song.AdvanceTick();
    }
  }
};

// Suspends the thread that makes it at random moments until `stop`, wherever it is (inside the
// engine's gate too), as the machine's preemptions would: every `longEvery`-th suspension lasts
// LongSuspensionMs to LongSuspensionMs + 50 ms, the others 5 to 24 ms.
class Suspender {
 public:
  Suspender(uint32_t seed, DWORD longestPauseMs, int longEvery, const std::atomic<bool>& stop) {
    DuplicateHandle(GetCurrentProcess(), GetCurrentThread(), GetCurrentProcess(), &target_,
                    THREAD_SUSPEND_RESUME, FALSE, 0);
    thread_ = std::thread([=, &stop] {
      std::mt19937 random(seed);
      for (int n = 0; !stop; ++n) {
        Sleep(random() % longestPauseMs);
        if (stop || SuspendThread(target_) == static_cast<DWORD>(-1)) break;
        const bool longOne = n % longEvery == 0;
        Sleep(longOne ? LongSuspensionMs + random() % 51 : 5 + random() % 20);
        ResumeThread(target_);
        longOnes_ += longOne;
      }
    });
  }
  ~Suspender() {
    thread_.join();
    CloseHandle(target_);
  }
  int LongOnes() const { return longOnes_; }

 private:
  HANDLE target_ = nullptr;
  std::atomic<int> longOnes_{0};
  std::thread thread_;
};

// A plug-in object as a host sets one up to play: its editor shown in a parent window, the
// transport playing. Released, with its editor closed, when it goes.
struct PlayingPlug {
  TestHost host;
  RawPlug plug;
  HWND parent = MakeParent();
  PlayingPlug(PluginModule& module, int tag)
      : plug([&] {
          host.SetRecording(false);
          return module.Create(host, tag);
        }()) {
    plug.Dispatch(IdShowEditor, 0, reinterpret_cast<uintptr_t>(parent));
    plug.Dispatch(IdTransport, 0, 1);
    PumpMessages();
  }
  ~PlayingPlug() {
    plug.Dispatch(IdShowEditor, 0, 0);
    plug.Release();
    DestroyWindow(parent);
  }
  // One tick of the song, on the mixing thread; returns how long the call took.
  double Tick(const SongTable& song, int32_t t, const Clock& clock) {
    host.SetSongPosition(song.positions[t]);
    host.SetHostTimeMs(song.hostTimes[t]);
    const double before = clock.NowMs();
    plug.Tick();
    return clock.NowMs() - before;
  }
  // Paints the editor at once and, when asked, clicks the selection toggle; false without an
  // editor.
  bool PaintAndClick(bool click) {
    HWND editor = plug.EditorWindow();
    if (!editor) return false;
    RedrawWindow(editor, nullptr, nullptr, RDW_INVALIDATE | RDW_UPDATENOW);
    if (click) {
      const LPARAM selection = MAKELPARAM(210, 70);
      SendMessageA(editor, WM_LBUTTONDOWN, MK_LBUTTON, selection);
      SendMessageA(editor, WM_LBUTTONUP, 0, selection);
    }
    return true;
  }
};

// What one thread telling the player the time says after the host reported this tick.
double ToldAfterTick(TimelineEngine& engine, double position, double hostTimeMs) {
  engine.hostTime[0] = hostTimeMs;
  engine.hostTime[1] = 0.0;
  engine.RecordTick(position);
  return engine.ElapsedSeconds(engine.currentTick, engine.options.optimise) * MillisecondsPerSecond;
}

// The map a saved state holds; `running` gets its running sums, tick 0 counted as tick 1.
std::vector<double> SavedRunningSums(const std::vector<uint8_t>& bytes) {
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
  std::vector<double> running(MapTicks + 1, 0.0);
  for (int32_t k = 0; k < MapTicks; ++k)
    running[k + 1] = running[k] + restored.tickDurations[k == 0 ? 1 : k];
  return running;
}

// Ticks on a mixing thread through a song with ramps, while this, the window thread, saves,
// restores, paints and clicks in a loop, and another thread suspends it for 50 to 100 ms at random
// moments. No tick may wait for the suspended thread. Each restore brings back the whole song's map
// as a save after one play of it holds it, so that wherever between two ticks it lands, the player
// is told the one-thread time within what the format keeps of a map, and so is every save up to
// where it was made. A tick that found the engine held tells the last time advanced by its own
// length, which keeps that bound too; a lost, repeated or misplaced tick costs a whole tick.
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
  auto playing = std::make_unique<PlayingPlug>(module, 4);
  RawPlug& plug = playing->plug;

  // One thread's play of the song: the told times, and the map it leaves, saved with the
  // plug-in's own options.
  const int32_t songTicks =
      static_cast<int32_t>(song::TempoAutomation::DefaultSongEndBeat) * TicksPerBeat;
  const SongTable song(songTicks);
  std::vector<double> exact(songTicks), told(songTicks), tickMs(songTicks);
  TimelineEngine single;
  single.Allocate();
  single.ResetState();
  single.OnTransport(TransportPlaying);
  for (int32_t t = 0; t < songTicks; ++t)
    exact[t] = ToldAfterTick(single, song.positions[t], song.hostTimes[t]);
  std::vector<uint8_t> whole = Save(plug);
  whole.resize(StateKeySectionBytes);
  {
    std::vector<uint8_t> encoded(MaxSavedStateBytes);
    StateEncoder encoder;
    encoded.resize(encoder.Encode(single, encoded.data(), MaxSavedStateBytes));
    whole.insert(whole.end(), encoded.begin() + StateKeySectionBytes, encoded.end());
  }
  std::vector<double> truth(MapTicks + 1, 0.0);
  for (int32_t k = 0; k < MapTicks; ++k)
    truth[k + 1] = truth[k] + single.tickDurations[k == 0 ? 1 : k];

  // Faster than any audio buffer, so the ticks overlap everything; slower at the full level.
  const double periodMs = env.full ? 1.0 : 0.4;
  constexpr int MinSuspensions = 30;
  Clock clock;
  std::atomic<long> ticks{0};
  std::atomic<bool> mixerDone{false};
  std::thread mixer([&] {
    SetThreadPriority(GetCurrentThread(), THREAD_PRIORITY_TIME_CRITICAL);
    const double start = clock.NowMs();
    for (int32_t t = 0; t < songTicks; ++t) {
      while (clock.NowMs() < start + t * periodMs) SwitchToThread();
      tickMs[t] = playing->Tick(song, t, clock);
      std::memcpy(&told[t], record->lastTimeRecord, sizeof(double));
      ticks.store(t + 1);
    }
    mixerDone = true;
  });

  // Each save with the ticks counted before it began.
  std::vector<std::pair<long, std::vector<uint8_t>>> saves;
  long paints = 0;
  {
    const Suspender suspender(0x5B5B, 60, 1, mixerDone);
    while (!mixerDone) {
      const long before = ticks.load();
      saves.emplace_back(before, Save(plug));
      RestoreInChunks(plug, whole, 4096);
      paints += playing->PaintAndClick(true);
      PumpMessages();
    }
    mixer.join();
    const double longest = *std::max_element(tickMs.begin(), tickMs.end());
    Check(suspender.LongOnes() >= MinSuspensions && longest < LongSuspensionMs,
          "no tick waits for a suspended window thread",
          Format("%d suspensions of %lu to %lu ms, %d ticks: longest %.2f ms, %ld over 1 ms; %ld "
                 "saves and restores, %ld paints and clicks",
                 suspender.LongOnes(), LongSuspensionMs, LongSuspensionMs + 50, songTicks, longest,
                 static_cast<long>(std::count_if(
                     tickMs.begin(), tickMs.end(), [](double ms) { return ms > 1.0; })),
                 static_cast<long>(saves.size()), paints));
  }
  playing.reset();
  env.UsePlayer(false);

  // Tick 0 has no length of its own: its time is tick 1's length once anything knows it, as a
  // restore that lands before it does.
  int32_t farthestTick = 1;
  long farTicks = 0;
  for (int32_t t = 1; t < songTicks; ++t) {
    const double off = std::fabs(told[t] - exact[t]);
    farTicks += !(off <= SavedToleranceMs);
    if (!(off <= std::fabs(told[farthestTick] - exact[farthestTick]))) farthestTick = t;
  }
  Check(
      farTicks == 0, "the player is told the one-thread time",
      Format("%d ticks: %ld told otherwise by more than %.3f ms (farthest at tick %d, by %.6f ms)",
             songTicks, farTicks, SavedToleranceMs, farthestTick,
             told[farthestTick] - exact[farthestTick]));
  // A saved map counts tick 0 as tick 1: each save is compared from tick 1 on, up to the ticks
  // counted before it began.
  long farSaves = 0;
  double farthestSaveMs = 0.0;
  for (auto& [before, bytes] : saves) {
    const size_t end = SavedPartEnd(bytes);
    bytes.resize(end);
    const std::vector<double> running = SavedRunningSums(bytes);
    double farthest = end == 0 ? INFINITY : 0.0;
    for (long k = 2; k <= before; ++k)
      farthest = std::max(farthest, std::fabs(running[k] - truth[k]) * MillisecondsPerSecond);
    farthestSaveMs = std::max(farthestSaveMs, farthest);
    farSaves += !(farthest <= SavedToleranceMs);
  }
  Check(farSaves == 0, "every save holds the ticks before it",
        Format("%ld of %ld saves read back incomplete or strayed more than %.3f ms from the "
               "one-thread map; farthest %.6f ms",
               farSaves, static_cast<long>(saves.size()), SavedToleranceMs, farthestSaveMs));
}

// Three threads, as hosts use them: the mixing thread ticks a song over and over; this, the window
// thread, paints the shown editor and clicks a toggle while another thread suspends it at random
// moments; and a third thread saves, restores and sends the transport, position and time-signature
// notifications. Round after round: no crash, no hang, no tick that waits for the suspended window
// thread, and every save reads back whole.
void ThreeThreads(const Environment& env, PluginModule& module) {
  const int rounds = env.full ? 2000 : 300;
  auto playing = std::make_unique<PlayingPlug>(module, 5);
  RawPlug& plug = playing->plug;

  const int32_t songTicks = 32 * TicksPerBeat;
  const SongTable song(songTicks);
  Clock clock;
  std::atomic<bool> stop{false};
  std::atomic<long> ticks{0};
  double longest = 0.0;
  std::thread mixer([&] {
    SetThreadPriority(GetCurrentThread(), THREAD_PRIORITY_TIME_CRITICAL);
    for (int32_t t = 0; !stop; t = (t + 1) % songTicks) {
      longest = std::max(longest, playing->Tick(song, t, clock));
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

  int suspensions = 0;
  {
    // Short suspensions often, to catch the window thread in the middle of a paint's reads while
    // the third thread restores; every fourth one long, to show that no tick waits for it.
    const Suspender suspender(0x5C5C, 4, 4, stop);
    for (int round = 0; round < rounds; ++round) {
      playing->PaintAndClick(round % 8 == 0);
      PumpMessages();
    }
    stop = true;
    suspensions = suspender.LongOnes();
  }
  third.join();
  mixer.join();
  playing.reset();

  Check(suspensions > 0 && longest < LongSuspensionMs,
        "three threads: no tick waits for a suspended window thread",
        Format("%d rounds of paints, %d suspensions of %lu to %lu ms, %ld ticks (longest %.2f ms), "
               "%ld saves, %ld restores, %ld notifications",
               rounds, suspensions, LongSuspensionMs, LongSuspensionMs + 50, ticks.load(), longest,
               saves.load(), restores.load(), notifications.load()));
  Check(incomplete == 0 && saves > 0, "three threads: every save reads back whole",
        Format("%ld of %ld saves incomplete", incomplete.load(), saves.load()));
}

}  // namespace
}  // namespace tempotally::validate

int main(int argc, char** argv) {
  using namespace tempotally::validate;
  if (argc < 5) {
    std::fprintf(stderr,
                 "usage: validate lifecycle|threads|three short|full PLUGIN_DLL PLAYER_DLL\n");
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
