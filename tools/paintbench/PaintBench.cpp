// The cost of one editor paint through the built module, next to one block transfer of the
// editor's client area: the floor that any double-buffered paint pays for its final copy.
//
//   paint_bench [PLUGIN_DLL] [PAINTS]
#include <objidl.h>
#include <windows.h>

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
constexpr double PositionTicks = 5000.0;
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

double Seconds(LARGE_INTEGER from, LARGE_INTEGER to, LARGE_INTEGER frequency) {
  return static_cast<double>(to.QuadPart - from.QuadPart) / static_cast<double>(frequency.QuadPart);
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

  LARGE_INTEGER frequency, start, end;
  QueryPerformanceFrequency(&frequency);
  for (int i = 0; i < WarmUp; ++i)
    RedrawWindow(editor, nullptr, nullptr, RDW_INVALIDATE | RDW_UPDATENOW);
  QueryPerformanceCounter(&start);
  for (int i = 0; i < paints; ++i)
    RedrawWindow(editor, nullptr, nullptr, RDW_INVALIDATE | RDW_UPDATENOW);
  GdiFlush();
  QueryPerformanceCounter(&end);
  const double paint = Seconds(start, end, frequency) / paints;

  HDC window = GetDC(editor);
  HDC memory = CreateCompatibleDC(window);
  HBITMAP bitmap = CreateCompatibleBitmap(window, client.right, client.bottom);
  HGDIOBJ old = SelectObject(memory, bitmap);
  for (int i = 0; i < WarmUp; ++i) {
    BitBlt(window, 0, 0, client.right, client.bottom, memory, 0, 0, SRCCOPY);
  }
  QueryPerformanceCounter(&start);
  for (int i = 0; i < paints; ++i) {
    BitBlt(window, 0, 0, client.right, client.bottom, memory, 0, 0, SRCCOPY);
  }
  GdiFlush();
  QueryPerformanceCounter(&end);
  const double blit = Seconds(start, end, frequency) / paints;
  SelectObject(memory, old);
  DeleteObject(bitmap);
  DeleteDC(memory);
  ReleaseDC(editor, window);

  std::printf("paint %.1f us, BitBlt of the %ldx%ld client area %.1f us, ratio %.1f (%d each)\n",
              paint * 1e6, client.right, client.bottom, blit * 1e6, paint / blit, paints);
  plug.Release();
  DestroyWindow(frame);
  return 0;
}
