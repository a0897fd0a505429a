// The demo's interactive host: a window with the plug-in's editor in it and the video window beside
// it, and a transport on the keyboard that plays the demo songs in real time through the plug-in,
// so that a person can watch the readout, the LEDs and the graph and click and drag like a user.
#include <windows.h>

#include <cstdio>
#include <memory>
#include <string>
#include <vector>

#include "devhost/PlayerLayout.h"
#include "devhost/PlugState.h"
#include "devhost/RawPlug.h"
#include "devhost/SongDriver.h"
#include "devhost/SongSimulator.h"
#include "devhost/TestHost.h"
#include "devhost/WorkingFolder.h"
#include "tools/demo/Demo.h"

namespace tempotally::demo {
namespace {

using song::TempoPoint;

constexpr char HostClass[] = "TempotallyDemoHost";
constexpr char WorkFolderName[] = "tempotally-interactive-work";
constexpr int32_t InteractiveTag = 2;
constexpr int HostLeft = 600;
constexpr int HostTop = 40;
constexpr int ClientWidth = 600;
constexpr int ClientHeight = 300;
constexpr int HelpLeft = 252;
constexpr int HelpTop = 8;
constexpr int HelpLineHeight = 18;
constexpr UINT_PTR TransportTimer = 1;
constexpr UINT TimerMs = 10;
constexpr int MaxTicksPerTimer = 4000;  // catches up after a stall without freezing the window
constexpr double TicksPerBeat = 96.0;
constexpr double MsPerSecond = 1000.0;
constexpr double SongEndBeat = 200.0;
constexpr DWORD StatusEveryMs = 100;

struct DemoSong {
  const char* name;
  std::vector<TempoPoint> points;
};

std::vector<DemoSong> DemoSongs() {
  std::vector<TempoPoint> alternating;
  for (int beat = 0; beat < SongEndBeat; beat += 8) {
    alternating.push_back({static_cast<double>(beat), beat % 16 ? 130.0 : 100.0, false});
  }
  return {
      {"Steps and a ramp", song::TempoAutomation::DefaultSong().Points()},
      {"Steady 120 BPM", {{0.0, 120.0, false}}},
      {"Slowing from 150 to 70 BPM", {{0.0, 150.0, true}, {96.0, 70.0, false}}},
      {"100 and 130 BPM every 8 beats", alternating},
  };
}

// One plug-in instance played by a song; the window procedure reaches it through the user data.
struct Session {
  testhost::TestHost host;
  testhost::RawPlug plug;
  std::vector<DemoSong> songs = DemoSongs();
  size_t songIndex = 0;
  std::unique_ptr<song::SongSimulator> song;
  std::unique_ptr<testhost::SongDriver> driver;
  DWORD playStartMs = 0;          // wall clock when the transport started or jumped
  double playStartSeconds = 0.0;  // the song's true time then
  DWORD lastStatusMs = 0;
  HWND window = nullptr;

  void ChooseSong(size_t index) {
    if (driver && song->Playing()) driver->Stop();
    driver.reset();
    songIndex = index;
    song = std::make_unique<song::SongSimulator>(song::TempoAutomation(songs[index].points));
    driver = std::make_unique<testhost::SongDriver>(host, plug, *song);
    driver->JumpTo(0.0);
    driver->IdleTicks(1);  // the readout follows the jump
  }
  void StartStop() {
    if (song->Playing()) {
      driver->Stop();
      return;
    }
    if (song->PositionTicks() >= SongEndBeat * TicksPerBeat) driver->JumpTo(0.0);
    driver->Start();
    playStartMs = GetTickCount();
    playStartSeconds = song->TrueSeconds();
  }
  void BackToStart() {
    driver->JumpTo(0.0);
    playStartMs = GetTickCount();
    playStartSeconds = 0.0;
    if (!song->Playing()) driver->IdleTicks(1);
  }
  // Ticks up to the wall clock's time into the song.
  void Advance() {
    if (!song->Playing()) return;
    const double due = playStartSeconds + (GetTickCount() - playStartMs) / MsPerSecond;
    for (int n = 0; n < MaxTicksPerTimer && song->TrueSeconds() < due; ++n) driver->Tick();
    if (song->PositionTicks() >= SongEndBeat * TicksPerBeat) driver->Stop();
  }
  // In the title and under the help: the song, the transport, the position and the tempo.
  void ShowStatus() {
    const double beat = song->PositionTicks() / TicksPerBeat;
    char text[200];
    std::snprintf(text, sizeof text, "Tempotally host: %s | %s | beat %.1f | %.1f BPM | %.2f s",
                  songs[songIndex].name, song->Playing() ? "playing" : "stopped", beat,
                  song->Automation().BpmAt(beat), song->TrueSeconds());
    SetWindowTextA(window, text);
    std::snprintf(text, sizeof text, "%s   beat %.1f   %.1f BPM   %.2f s",
                  song->Playing() ? "Playing" : "Stopped", beat, song->Automation().BpmAt(beat),
                  song->TrueSeconds());
    status = text;
    RECT help = {HelpLeft - 2, 0, ClientWidth, ClientHeight};
    InvalidateRect(window, &help, FALSE);
    lastStatusMs = GetTickCount();
  }
  std::string status;
};

void PaintHelp(Session* session, HWND window) {
  PAINTSTRUCT paint;
  HDC dc = BeginPaint(window, &paint);
  RECT client;
  GetClientRect(window, &client);
  client.left = HelpLeft - 2;
  FillRect(dc, &client, static_cast<HBRUSH>(GetStockObject(WHITE_BRUSH)));
  SetBkMode(dc, TRANSPARENT);
  std::vector<std::string> lines = {session->status,         "",
                                    "Space: play or stop",   "Home: back to the start",
                                    "1 to 4: choose a song", ""};
  for (size_t i = 0; i < session->songs.size(); ++i) {
    lines.push_back(std::string(i == session->songIndex ? "> " : "   ") + std::to_string(i + 1) +
                    "  " + session->songs[i].name);
  }
  lines.insert(lines.end(), {"", "Click the readout to fold the editor",
                             "and the labels to switch;", "Ctrl+click Optimise clears the sums;",
                             "drag on the graph to zoom", "(with Ctrl, finer)."});
  int y = HelpTop;
  for (const std::string& line : lines) {
    TextOutA(dc, HelpLeft, y, line.c_str(), static_cast<int>(line.size()));
    y += HelpLineHeight;
  }
  EndPaint(window, &paint);
}

LRESULT CALLBACK HostWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  auto* session = reinterpret_cast<Session*>(GetWindowLongPtrA(window, GWLP_USERDATA));
  if (session == nullptr) return DefWindowProcA(window, message, wParam, lParam);
  switch (message) {
    case WM_KEYDOWN:
      if (wParam == VK_SPACE) {
        session->StartStop();
      } else if (wParam == VK_HOME) {
        session->BackToStart();
      } else if (wParam >= '1' && wParam < '1' + session->songs.size()) {
        session->ChooseSong(wParam - '1');
        InvalidateRect(window, nullptr, FALSE);
      }
      session->ShowStatus();
      return 0;
    case WM_TIMER:
      session->Advance();
      if (GetTickCount() - session->lastStatusMs >= StatusEveryMs) session->ShowStatus();
      return 0;
    case WM_PAINT:
      PaintHelp(session, window);
      return 0;
    case WM_CLOSE:
      // The editor leaves the frame before the frame goes, as a host closes a plug-in's window.
      session->plug.Dispatch(testhost::PlugIdShowEditor, 0, 0);
      DestroyWindow(window);
      return 0;
    case WM_DESTROY:
      KillTimer(window, TransportTimer);
      PostQuitMessage(0);
      return 0;
    default:
      return DefWindowProcA(window, message, wParam, lParam);
  }
}

HWND CreateHostWindow(Session* session) {
  WNDCLASSA windowClass{};
  windowClass.lpfnWndProc = HostWindowProc;
  windowClass.hInstance = GetModuleHandleA(nullptr);
  windowClass.hCursor = LoadCursorA(nullptr, IDC_ARROW);
  windowClass.hbrBackground = static_cast<HBRUSH>(GetStockObject(WHITE_BRUSH));
  windowClass.lpszClassName = HostClass;
  RegisterClassA(&windowClass);
  RECT frame = {0, 0, ClientWidth, ClientHeight};
  const DWORD style = WS_OVERLAPPEDWINDOW & ~(WS_THICKFRAME | WS_MAXIMIZEBOX);
  AdjustWindowRect(&frame, style, FALSE);
  HWND window = CreateWindowExA(0, HostClass, "Tempotally host", style, HostLeft, HostTop,
                                frame.right - frame.left, frame.bottom - frame.top, nullptr,
                                nullptr, windowClass.hInstance, nullptr);
  if (window) SetWindowLongPtrA(window, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(session));
  return window;
}

}  // namespace

int RunInteractive(const testhost::PluginModule& module, const std::string& playerPath) {
  testhost::WorkingFolder folder(WorkFolderName);
  if (!LayOutPlayer(folder, playerPath)) return 1;
  Session session;
  session.plug = module.Create(session.host, InteractiveTag);
  if (!session.plug.Valid()) {
    std::printf("CreatePlugInstance returned null\n");
    return 1;
  }
  testhost::RestorePlugState(session.plug, ProjectStateWithVideoShown());
  session.window = CreateHostWindow(&session);
  if (!session.window) {
    std::printf("could not create the host window\n");
    session.plug.Release();
    return 1;
  }
  session.plug.Dispatch(testhost::PlugIdShowEditor, 0, reinterpret_cast<uintptr_t>(session.window));
  session.ChooseSong(0);
  session.ShowStatus();
  ShowWindow(session.window, SW_SHOW);
  SetForegroundWindow(session.window);
  SetFocus(session.window);
  SetTimer(session.window, TransportTimer, TimerMs, nullptr);
  std::printf(
      "Interactive host open: Space plays or stops, Home goes back, 1 to 4 choose a song;\n"
      "close the window to end.\n");

  MSG msg;
  while (GetMessageA(&msg, nullptr, 0, 0) > 0) {
    TranslateMessage(&msg);
    DispatchMessageA(&msg);
  }
  session.driver.reset();
  session.plug.Release();
  std::printf("Host window closed\n");
  return 0;
}

}  // namespace tempotally::demo
