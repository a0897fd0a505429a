// The cost of one editor paint through the built module, the song position moving on between
// paints, next to one block transfer of the editor's client area: the floor that any
// double-buffered paint pays for its final copy.
//
//   paint_bench [PLUGIN_DLL] [PAINTS]
#include <objidl.h>
#include <windows.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "devhost/PlugState.h"
#include "devhost/RawPlug.h"
#include "devhost/TestHost.h"
#include "devhost/WindowPixels.h"
#include "devhost/WorkingFolder.h"

#ifndef TEMPOTALLY_BENCH_PLUGIN
#define TEMPOTALLY_BENCH_PLUGIN "ORVA Tempotally.dll"
#endif

namespace {

using namespace tempotally::testhost;

constexpr int DefaultPaints = 2000;
constexpr int WarmUp = 50;
constexpr int Batches = 20;
constexpr double PositionTicks = 5000.0;
constexpr double TicksPerPaint = 3.0;  // 120 BPM at 60 paints a second: 3.2 ticks
constexpr int PositionCycle = 1000;
constexpr int32_t MapEndIndex = 96000;

void Put32(std::vector<uint8_t>& out, uint32_t v) {
  for (int i = 0; i < 4; ++i) out.push_back(static_cast<uint8_t>(v >> (8 * i)));
}

// A saved state with no options (all defaults) and a map of steps, so the graph has bars to draw.
std::vector<uint8_t> SteppedState() {
  std::vector<uint8_t> out = {0, 0};
  for (uint32_t run = 0; run < 60; ++run) {
    const float seconds = 0.0052f - static_cast<float>(run % 20) * 0.00012f;
    uint32_t bits;
    std::memcpy(&bits, &seconds, sizeof bits);
    Put32(out, run * 160);
    Put32(out, bits);
  }
  Put32(out, MapEndIndex);
  return out;
}

// Seconds per call of `call`, over `count` calls.
template <typename Call>
double TimePerCall(Call call, int count) {
  LARGE_INTEGER frequency, start, end;
  QueryPerformanceFrequency(&frequency);
  QueryPerformanceCounter(&start);
  for (int i = 0; i < count; ++i) call();
  GdiFlush();
  QueryPerformanceCounter(&end);
  return static_cast<double>(end.QuadPart - start.QuadPart) /
         static_cast<double>(frequency.QuadPart) / count;
}

// A window of the editor's size whose paint only marks it valid: what asking for a paint costs
// under this window system before anything is drawn.
LRESULT CALLBACK EmptyPaintProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  if (message == WM_PAINT) {
    ValidateRect(window, nullptr);
    return 0;
  }
  return DefWindowProcA(window, message, wParam, lParam);
}

HWND EmptyPaintWindow(HWND parent, const RECT& client) {
  WNDCLASSA windowClass{};
  windowClass.lpfnWndProc = EmptyPaintProc;
  windowClass.hInstance = GetModuleHandleA(nullptr);
  windowClass.lpszClassName = "paint bench empty paint";
  RegisterClassA(&windowClass);
  return CreateWindowExA(0, windowClass.lpszClassName, "", WS_CHILD | WS_VISIBLE, 0, 0,
                         client.right, client.bottom, parent, nullptr, windowClass.hInstance,
                         nullptr);
}

double Median(std::vector<double> values) {
  std::sort(values.begin(), values.end());
  return values[values.size() / 2];
}

}  // namespace

int main(int argc, char** argv) {
  const std::string pluginPath = WindowsPath(argc > 1 ? argv[1] : TEMPOTALLY_BENCH_PLUGIN);
  const int paints = argc > 2 ? std::atoi(argv[2]) : DefaultPaints;
  if (paints <= 0) return 2;
  PluginModule module(pluginPath);
  if (!module.HasFactory()) {
    std::printf("could not load %s (error %lu)\n", pluginPath.c_str(), module.LoadError());
    return 1;
  }
  WorkingFolder folder("paint-bench-work");
  TestHost host;
  RawPlug plug = module.Create(host, 1);
  if (!plug.Valid()) return 1;
  HWND frame = CreateWindowExA(0, "STATIC", "host frame", WS_POPUP | WS_VISIBLE | WS_CLIPCHILDREN,
                               0, 0, 300, 340, nullptr, nullptr, nullptr, nullptr);
  plug.Dispatch(PlugIdShowEditor, 0, reinterpret_cast<uintptr_t>(frame));
  RestorePlugState(plug, SteppedState());
  host.SetSongPosition(PositionTicks);
  plug.Dispatch(PlugIdSongPosition, 0, 0);
  const HWND editor = plug.EditorWindow();
  RECT client{};
  GetClientRect(editor, &client);
  PumpMessages();

  // Each paint a few ticks on, as from one display frame to the next while a song plays: the
  // readout, the graph and the marker all change.
  int painted = 0;
  auto paint = [&] {
    host.SetSongPosition(PositionTicks + TicksPerPaint * (painted++ % PositionCycle));
    plug.Dispatch(PlugIdSongPosition, 0, 0);
    RedrawWindow(editor, nullptr, nullptr, RDW_INVALIDATE | RDW_UPDATENOW);
  };
  HDC window = GetDC(editor);
  HDC memory = CreateCompatibleDC(window);
  HBITMAP bitmap = CreateCompatibleBitmap(window, client.right, client.bottom);
  HGDIOBJ old = SelectObject(memory, bitmap);
  auto blit = [&] { BitBlt(window, 0, 0, client.right, client.bottom, memory, 0, 0, SRCCOPY); };
  HWND emptyFrame = CreateWindowExA(0, "STATIC", "empty frame", WS_POPUP | WS_VISIBLE, 400, 0, 300,
                                    340, nullptr, nullptr, nullptr, nullptr);
  HWND empty = EmptyPaintWindow(emptyFrame, client);
  auto emptyPaint = [&] { RedrawWindow(empty, nullptr, nullptr, RDW_INVALIDATE | RDW_UPDATENOW); };

  // Batches of each in turn, so that a machine busy with other work slows both alike; the median
  // batch of each counts.
  const int perBatch = std::max(1, paints / Batches);
  std::vector<double> paintTimes, blitTimes, emptyTimes;
  for (int i = 0; i < WarmUp; ++i) {
    paint();
    blit();
    emptyPaint();
  }
  for (int batch = 0; batch < Batches; ++batch) {
    paintTimes.push_back(TimePerCall(paint, perBatch));
    blitTimes.push_back(TimePerCall(blit, perBatch));
    emptyTimes.push_back(TimePerCall(emptyPaint, perBatch));
  }
  SelectObject(memory, old);
  DeleteObject(bitmap);
  DeleteDC(memory);
  ReleaseDC(editor, window);

  const double paintTime = Median(paintTimes), blitTime = Median(blitTimes);
  const double emptyTime = Median(emptyTimes);
  std::printf(
      "paint %.1f us, BitBlt of the %ldx%ld client area %.1f us, ratio %.1f; of the paint, asking "
      "for it (a paint that draws nothing) %.1f us (medians of %d batches of %d)\n",
      paintTime * 1e6, client.right, client.bottom, blitTime * 1e6, paintTime / blitTime,
      emptyTime * 1e6, Batches, perBatch);
  plug.Release();
  DestroyWindow(emptyFrame);
  DestroyWindow(frame);
  return 0;
}
