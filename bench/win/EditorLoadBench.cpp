// What an open editor costs the host's window thread while a song plays: a steady 120 BPM song is
// played in real time on a mixer thread of its own (two ticks per 10.4 ms buffer), while this
// thread, which made the plug-in and its editor, does nothing but its message loop. Prints the
// editor's paints per second (its WM_PAINT and frame-timer messages) and this thread's share of
// one core, one line each. The stand-in video player is laid out, as a host would have its own, so
// the ticks tell it the time as they do in use.
//
//   editor_load_bench [PLUGIN_DLL] [SECONDS]
#include <windows.h>

#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "devhost/PlayerLayout.h"
#include "devhost/RawPlug.h"
#include "devhost/SongDriver.h"
#include "devhost/SongSimulator.h"
#include "devhost/TestHost.h"
#include "devhost/WindowPixels.h"
#include "devhost/WorkingFolder.h"

#ifndef TEMPOTALLY_BENCH_PLUGIN
#define TEMPOTALLY_BENCH_PLUGIN "ORVA Tempotally.dll"
#endif
#ifndef TEMPOTALLY_BENCH_PLAYER
#define TEMPOTALLY_BENCH_PLAYER "StandInPlayer.dll"
#endif

namespace {

using namespace tempotally;
using namespace tempotally::testhost;

constexpr double DefaultSeconds = 6.0;
constexpr double Bpm = 120.0;
constexpr int TicksPerBuffer = 2;
constexpr double BufferSeconds = TicksPerBuffer * 60.0 / (Bpm * song::TicksPerBeat);
constexpr double FrameSeconds = 1.0 / 60.0;
constexpr double ShareGoal = 0.10;

double Now() {
  static const double frequency = [] {
    LARGE_INTEGER f;
    QueryPerformanceFrequency(&f);
    return static_cast<double>(f.QuadPart);
  }();
  LARGE_INTEGER count;
  QueryPerformanceCounter(&count);
  return static_cast<double>(count.QuadPart) / frequency;
}

// User and kernel time of the calling thread, in seconds.
double ThreadCpuSeconds() {
  FILETIME created, exited, kernel, user;
  GetThreadTimes(GetCurrentThread(), &created, &exited, &kernel, &user);
  auto seconds = [](const FILETIME& t) {
    return static_cast<double>(static_cast<uint64_t>(t.dwHighDateTime) << 32 | t.dwLowDateTime) *
           1e-7;
  };
  return seconds(kernel) + seconds(user);
}

struct Mixer {
  SongDriver* driver;
  double seconds;
  std::atomic<bool> done{false};
};

// The host's mixing thread: one buffer's ticks at each buffer's due time.
DWORD WINAPI MixerThread(void* argument) {
  auto* mixer = static_cast<Mixer*>(argument);
  const double start = Now();
  for (int buffer = 0; buffer * BufferSeconds < mixer->seconds; ++buffer) {
    const double due = start + buffer * BufferSeconds;
    while (Now() < due) Sleep(1);
    for (int i = 0; i < TicksPerBuffer; ++i) mixer->driver->Tick();
  }
  mixer->done = true;
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  const std::string pluginPath = WindowsPath(argc > 1 ? argv[1] : TEMPOTALLY_BENCH_PLUGIN);
  const double seconds = argc > 2 ? std::atof(argv[2]) : DefaultSeconds;
  if (!(seconds > 0.0)) return 2;
  PluginModule module(pluginPath);
  if (!module.HasFactory()) {
    std::printf("could not load %s (error %lu)\n", pluginPath.c_str(), module.LoadError());
    return 1;
  }
  WorkingFolder folder("editor-load-bench-work");
  if (!folder.Ready() ||
      !testsupport::InstallPlayer(TEMPOTALLY_BENCH_PLAYER, testsupport::PlayerSlot::Path1,
                                  folder.Path())) {
    std::printf("could not lay out the video player\n");
    return 1;
  }
  TestHost host;
  host.SetRecording(false);
  RawPlug plug = module.Create(host, 1);
  if (!plug.Valid()) return 1;
  HWND frame = CreateWindowExA(0, "STATIC", "host frame", WS_POPUP | WS_VISIBLE | WS_CLIPCHILDREN,
                               0, 0, 300, 340, nullptr, nullptr, nullptr, nullptr);
  plug.Dispatch(PlugIdShowEditor, 0, reinterpret_cast<uintptr_t>(frame));
  const HWND editor = plug.EditorWindow();
  song::SongSimulator song(song::TempoAutomation({{0.0, Bpm, false}}));
  SongDriver driver(host, plug, song);
  driver.JumpTo(0.0);
  driver.Start();
  PumpMessages();

  Mixer mixer{&driver, seconds};
  long paints = 0;
  const double cpuStart = ThreadCpuSeconds();
  const double start = Now();
  HANDLE thread = CreateThread(nullptr, 0, MixerThread, &mixer, 0, nullptr);
  while (!mixer.done) {
    MsgWaitForMultipleObjects(1, &thread, FALSE, INFINITE, QS_ALLINPUT);
    MSG msg;
    while (PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) {
      // The editor paints once per frame-timer tick: at 192 ticks a second every 16 ms frame
      // finds the shown tick moved on.
      if ((msg.message == WM_PAINT || msg.message == WM_TIMER) && msg.hwnd == editor) ++paints;
      TranslateMessage(&msg);
      DispatchMessageA(&msg);
    }
  }
  const double wall = Now() - start;
  const double cpu = ThreadCpuSeconds() - cpuStart;
  WaitForSingleObject(thread, INFINITE);
  CloseHandle(thread);

  const double rate = paints / wall;
  std::printf(
      "editor paints while the song plays: %.1f a second, %.2f a 60 Hz frame (%ld in %.1f s)\n",
      rate, rate * FrameSeconds, paints, wall);
  std::printf("window thread: %.1f%% of one core, %.2f of the 10%% goal (%.3f s of %.1f s)\n",
              100.0 * cpu / wall, cpu / wall / ShareGoal, cpu, wall);
  driver.Stop();
  plug.Dispatch(PlugIdShowEditor, 0, 0);
  plug.Release();
  DestroyWindow(frame);
  return 0;
}
