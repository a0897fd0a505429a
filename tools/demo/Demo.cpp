// Shows what a host sees of the plug-in module: its info record, an instance created and released,
// then a song with tempo changes played through the module and the stand-in video player, with the
// true time, the host's own time and the time the player was told, and screenshots of the video
// window and of the plug-in's editor, and the sync table as a chart (sync.png).
// With --interactive, a host window to use by hand instead: the editor in it, the video window
// beside it, and a transport on the keyboard that plays the demo songs in real time.
//
//   tempotally_demo [PLUGIN_DLL [PLAYER_DLL [OUTPUT_FOLDER]]]
//   tempotally_demo --interactive [PLUGIN_DLL [PLAYER_DLL]]
#include <windows.h>

#include <cmath>
#include <cstdio>
#include <cstring>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "devhost/PlayerLayout.h"
#include "devhost/PlugState.h"
#include "devhost/RawPlug.h"
#include "devhost/SongDriver.h"
#include "devhost/SongSimulator.h"
#include "devhost/TestHost.h"
#include "devhost/WindowPixels.h"
#include "devhost/WorkingFolder.h"
#include "devhost/standin_player/StandInRecord.h"
#include "timeline/StateCodec.h"
#include "tools/demo/PngWriter.h"
#include "tools/demo/SyncChart.h"

namespace tempotally::demo {
namespace {

using testhost::HostCall;
using testhost::PluginModule;
using testhost::PumpMessages;
using testhost::RawPlug;
using song::TempoPoint;
using testhost::TestHost;

constexpr int32_t DemoTag = 1;
constexpr double TicksPerBeat = 96.0;
constexpr int BeatsPerRow = 16;
constexpr double MsPerSecond = 1000.0;
constexpr int TicksPerMessagePump = 24;
constexpr int VideoLeft = 60;
constexpr int VideoTop = 40;
constexpr int VideoWidth = 520;
constexpr int VideoHeight = 400;
constexpr int HostWindowWidth = 300;
constexpr int HostWindowHeight = 340;
constexpr DWORD SettleMs = 300;
constexpr const char* DefaultOutputFolder = "out";
constexpr const char* WorkFolderName = "tempotally-demo-work";
// The beat at which the editor is shown mid-ramp, just after a recorded change.
constexpr double RampShotBeat = 100.0;
// The host's selection for the whole-song view of the graph, in beats.
constexpr double WholeSongBeats = 200.0;

// The interactive host's.
constexpr char HostClass[] = "TempotallyDemoHost";
constexpr char InteractiveFolderName[] = "tempotally-interactive-work";
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
constexpr double SongEndBeat = 200.0;
constexpr DWORD StatusEveryMs = 100;

// A project as a host would hand it back: the video window shown at a chosen place, an empty map.
std::vector<uint8_t> ProjectStateWithVideoShown() {
  struct Bytes final : StateWriter {
    std::vector<uint8_t> data;
    void Write(const void* p, uint32_t n) override {
      data.insert(data.end(), static_cast<const uint8_t*>(p), static_cast<const uint8_t*>(p) + n);
    }
  } out;
  TimelineEngine engine;  // its map never allocated: saved as one empty run
  engine.options.video.Store(1);
  engine.options.winleft.Store(VideoLeft);
  engine.options.wintop.Store(VideoTop);
  engine.options.winwidth.Store(VideoWidth);
  engine.options.winheight.Store(VideoHeight);
  SaveState(engine, out);
  return out.data;
}

// The window (its frame too when `wholeWindow`) as a PNG file in `folder`; says what it wrote.
bool Screenshot(HWND window, bool wholeWindow, const std::string& folder, const char* name,
                const char* what = "") {
  const std::string path = folder + "\\" + name;
  const DWORD settled = GetTickCount() + SettleMs;
  while (GetTickCount() < settled) {
    PumpMessages();
    Sleep(10);
  }
  const testhost::Pixels pixels = testhost::CaptureWindow(window, wholeWindow);
  if (pixels.rgb.empty() || !WritePng(path, pixels)) {
    std::printf("  could not write %s\n", path.c_str());
    return false;
  }
  std::printf("  %s (%d x %d)%s%s\n", path.c_str(), pixels.width, pixels.height, *what ? ": " : "",
              what);
  return true;
}

bool LayOutPlayer(const testhost::WorkingFolder& folder, const std::string& playerPath) {
  if (folder.Ready() &&
      testsupport::InstallPlayer(playerPath, testsupport::PlayerSlot::Path1, folder.Path())) {
    return true;
  }
  std::printf("could not lay out the video player under %s\n", folder.Path().c_str());
  return false;
}

std::string FullPath(const std::string& path) {
  char buffer[MAX_PATH] = {};
  const DWORD length = GetFullPathNameA(path.c_str(), MAX_PATH, buffer, nullptr);
  return length > 0 && length < MAX_PATH ? std::string(buffer, length) : path;
}

// Sets one option in a saved state, whose key section holds every option in the table's order.
void SetOption(std::vector<uint8_t>& state, std::string_view key, int32_t value) {
  size_t at = sizeof(uint16_t);  // the key count
  for (const OptionRow& row : OptionTable) {
    at += sizeof(uint16_t) + std::strlen(row.key);  // the name's length and the name
    if (key == row.key) {
      for (int i = 0; i < 4; ++i) state.at(at + i) = static_cast<uint8_t>(value >> (8 * i));
      return;
    }
    at += sizeof(int32_t);
  }
}

void ShowInfo(const PluginModule& module) {
  // An empty working folder: no video player to find.
  testhost::WorkingFolder folder(std::string(WorkFolderName) + "-bare");
  TestHost host;
  RawPlug plug = module.Create(host, DemoTag);
  if (!plug.Valid()) {
    std::printf("CreatePlugInstance returned null\n");
    return;
  }
  const testhost::InfoView info = plug.Info();
  std::printf("Info record\n  version     %d\n", info.version);
  std::printf("  long name   %s\n", info.longName ? info.longName : "(null)");
  std::printf("  short name  %s\n", info.shortName ? info.shortName : "(null)");
  std::printf("  flags       0x%08X%s\n", static_cast<unsigned>(info.flags),
              (info.flags & testhost::PlugFlagWantsTick) ? " (wants the per-tick call)" : "");
  std::printf("Instance created with tag %d: tag read back %d, editor window %s\n", DemoTag,
              plug.InstanceTag(), plug.EditorWindow() ? "present" : "missing");
  std::printf("Host calls during construction:");
  for (const HostCall& call : host.Calls()) {
    if (call.slot == testhost::HostDispatchSlot) {
      std::printf(" dispatch(tag %d, id %d, index %d, value %u)", call.tag, call.id, call.index,
                  static_cast<unsigned>(call.value));
    } else {
      std::printf(" slot %d", call.slot);
    }
  }
  std::printf("\n");
  plug.Release();
  std::printf("Instance released\n\n");
}

// The time the player was told last, in seconds.
double ToldSeconds(const StandInRecord& record) {
  double ms;
  std::memcpy(&ms, record.lastTimeRecord, sizeof ms);
  return ms / MsPerSecond;
}

int PlaySong(const PluginModule& module, const std::string& playerPath,
             const std::string& outputFolder) {
  testhost::WorkingFolder folder(WorkFolderName);
  if (!LayOutPlayer(folder, playerPath)) return 1;
  // Held loaded, so that its record can be read while the plug-in uses the same copy.
  testsupport::StandInHold player(testsupport::PathUnder(
      folder.Path(), testsupport::RelativePath(testsupport::PlayerSlot::Path1)));
  StandInRecord* record = player.Record();

  TestHost host;
  RawPlug plug = module.Create(host, DemoTag);
  if (!plug.Valid() || record == nullptr || record->liveInstances < 1) {
    std::printf("the plug-in did not load the video player\n");
    if (plug.Valid()) plug.Release();
    return 1;
  }
  std::printf("Video player loaded from %s\\%s\n", folder.Path().c_str(),
              testsupport::RelativePath(testsupport::PlayerSlot::Path1));

  testhost::RestorePlugState(plug, ProjectStateWithVideoShown());

  // The plug-in's editor in a host window of its own.
  const HWND hostWindow =
      CreateWindowExA(0, "STATIC", "Host: ORVA Tempotally", WS_OVERLAPPEDWINDOW | WS_VISIBLE,
                      VideoLeft + VideoWidth + 20, VideoTop, HostWindowWidth, HostWindowHeight,
                      nullptr, nullptr, nullptr, nullptr);
  plug.Dispatch(testhost::PlugIdShowEditor, 0, reinterpret_cast<uintptr_t>(hostWindow));

  song::SongSimulator song(song::TempoAutomation::DefaultSong());
  const song::TempoAutomation& tempo = song.Automation();
  testhost::SongDriver driver(host, plug, song);
  std::printf(
      "\nPlaying: 120 BPM, 90 BPM from beat 32, a ramp to 160 BPM over beats 64 to 128, "
      "then 140 BPM\n"
      "  true:   the song's real elapsed time\n"
      "  host:   the host's own time, the position times the current tick length\n"
      "  player: the time the video player was told on the tick that ended there\n\n");
  std::printf("%6s %8s %12s %12s %12s\n", "beat", "BPM", "true (s)", "host (s)", "player (s)");

  // A point at every tick's boundary, with the time told on the tick that ended there.
  std::vector<SyncPoint> chart;
  auto addPoint = [&](double told) {
    const double position = song.PositionTicks(), beat = position / TicksPerBeat;
    const double trueNow = tempo.SecondsAt(beat), hostNow = song.HostTimeMs() / MsPerSecond;
    chart.push_back({beat, tempo.BpmAt(beat), std::fabs(hostNow - trueNow),
                     std::fabs(told - trueNow), NAN});
    if (std::fmod(position, BeatsPerRow * TicksPerBeat) != 0.0) return;
    std::printf("%6.0f %8.2f %12.4f %12.4f ", beat, tempo.BpmAt(beat), trueNow, hostNow);
    if (position == 0.0) {
      std::printf("%12s\n", "-");
    } else {
      std::printf("%12.4f\n", told);
    }
  };
  CreateDirectoryA(outputFolder.c_str(), nullptr);
  int32_t toldCount = record->timeCount;
  bool everyTickTold = true, rampShot = false;
  long ticks = 0;
  driver.Start();
  addPoint(NAN);
  driver.PlayUntil(song::TempoAutomation::DefaultSongEndBeat * TicksPerBeat,
                   [&](const testhost::TickReport& tick) {
                     everyTickTold = everyTickTold && record->timeCount == toldCount + 1;
                     toldCount = record->timeCount;
                     addPoint(ToldSeconds(*record));
                     if (++ticks % TicksPerMessagePump == 0) PumpMessages();
                     if (tick.positionTicks == RampShotBeat * TicksPerBeat) {
                       rampShot =
                           Screenshot(plug.EditorWindow(), false, outputFolder, "editor-ramp.png",
                                      "mid-ramp, readout tinted after a recorded change");
                     }
                   });
  driver.Stop();

  const LargestErrors live = Largest(chart);
  std::printf("\n%ld ticks; the player was told the time on %s tick\n", ticks,
              everyTickTold ? "every" : "NOT every");
  std::printf("Largest error of the host's own time:     %10.4f s\n", live.host);
  std::printf("Largest error of the time the player got: %10.4f s after the first tick, "
              "%.4f s on it\n", live.told, chart.at(1).toldError);

  // The video window holds the player's editor.
  const HWND playerEditor =
      record->lastInstance != nullptr ? RawPlug(record->lastInstance).EditorWindow() : nullptr;
  const HWND videoWindow = playerEditor ? GetAncestor(playerEditor, GA_ROOT) : nullptr;
  int status = 0;
  std::printf("\nScreenshots\n");
  if (videoWindow != nullptr && IsWindowVisible(videoWindow)) {
    char caption[128] = {};
    GetWindowTextA(videoWindow, caption, sizeof caption);
    std::printf("  video window \"%s\"\n", caption);
    if (!Screenshot(videoWindow, true, outputFolder, "video-window.png")) status = 1;
  } else {
    std::printf("  the restored project did not show the video window\n");
    status = 1;
  }
  if (hostWindow != nullptr && !Screenshot(hostWindow, true, outputFolder, "editor.png")) {
    status = 1;
  }
  if (!rampShot) status = 1;
  // The same project with other options, as the host would restore it.
  const std::vector<uint8_t> saved = testhost::SavePlugState(plug);
  const struct {
    const char* name;
    const char* what;
    const char* option;
    int32_t value;
  } views[] = {
      {"editor-selection.png",
       "Selection on, the host selecting the whole song: its tempo history", "selection", 1},
      {"editor-fold0.png", "unfolded: readout, toggles, graph and about", "minimised", 0},
      {"editor-fold1.png", "folded once: readout, toggles and graph", "minimised", 1},
      {"editor-fold2.png", "folded twice: readout and toggles", "minimised", 2},
  };
  host.SetSelection(0.0, WholeSongBeats);
  for (const auto& view : views) {
    std::vector<uint8_t> state = saved;
    SetOption(state, view.option, view.value);
    testhost::RestorePlugState(plug, state);
    if (!Screenshot(plug.EditorWindow(), false, outputFolder, view.name, view.what)) status = 1;
  }

  // The project reopened, with Freeze on so that playing it changes nothing, and the song played
  // again: the time told from the saved map.
  std::vector<uint8_t> reopened = saved;
  SetOption(reopened, "freeze", 1);
  testhost::RestorePlugState(plug, reopened);
  driver.JumpTo(0.0);
  driver.Start();
  for (size_t point = 1; point < chart.size(); ++point) {
    driver.Tick();
    chart[point].restoredError =
        std::fabs(ToldSeconds(*record) - tempo.SecondsAt(chart[point].beat));
    if (point % TicksPerMessagePump == 0) PumpMessages();
  }
  driver.Stop();
  std::printf("\nPlayed again from the saved project, reopened with Freeze on:\n");
  std::printf("Largest error of the time the player got: %10.4f s after the first tick\n",
              Largest(chart).restored);
  const std::string chartPath = outputFolder + "\\sync.png";
  if (WriteSyncChart(chartPath, chart)) {
    std::printf("The sync report as a picture: %s\n", chartPath.c_str());
  } else {
    std::printf("could not write %s\n", chartPath.c_str());
    status = 1;
  }

  plug.Release();
  if (hostWindow != nullptr) DestroyWindow(hostWindow);
  if (!everyTickTold) status = 1;
  return status;
}

// The songs to choose from, each ending at SongEndBeat.
std::vector<song::NamedSong> DemoSongs() {
  using song::TempoAutomation;
  std::vector<TempoPoint> alternating;
  for (int beat = 0; beat < SongEndBeat; beat += 8) {
    alternating.push_back({static_cast<double>(beat), beat % 16 ? 130.0 : 100.0, false});
  }
  return {
      {"Steps and a ramp", TempoAutomation::DefaultSong(), SongEndBeat},
      {"Steady 120 BPM", TempoAutomation({{0.0, 120.0, false}}), SongEndBeat},
      {"Slowing from 150 to 70 BPM",
       TempoAutomation({{0.0, 150.0, true}, {96.0, 70.0, false}}), SongEndBeat},
      {"100 and 130 BPM every 8 beats", TempoAutomation(alternating), SongEndBeat},
  };
}

// One plug-in instance played by a song; the window procedure reaches it through the user data.
struct Session {
  testhost::TestHost host;
  testhost::RawPlug plug;
  std::vector<song::NamedSong> songs = DemoSongs();
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
    song = std::make_unique<song::SongSimulator>(songs[index].tempo);
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
  // Under the help: the transport, the position and the tempo; in the title the song too.
  void ShowStatus() {
    const double beat = song->PositionTicks() / TicksPerBeat;
    char text[200];
    std::snprintf(text, sizeof text, "%s | beat %.1f | %.1f BPM | %.2f s",
                  song->Playing() ? "playing" : "stopped", beat, song->Automation().BpmAt(beat),
                  song->TrueSeconds());
    status = text;
    std::snprintf(text, sizeof text, "Tempotally host: %s | %s", songs[songIndex].name,
                  status.c_str());
    SetWindowTextA(window, text);
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

int RunInteractive(const testhost::PluginModule& module, const std::string& playerPath) {
  testhost::WorkingFolder folder(InteractiveFolderName);
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

int Run(int argc, char** argv) {
  const bool interactive = argc > 1 && std::strcmp(argv[1], "--interactive") == 0;
  argc -= interactive;
  argv += interactive;
  const std::string pluginPath = testhost::WindowsPath(argc > 1 ? argv[1] : TEMPOTALLY_DEMO_PLUGIN);
  const std::string playerPath =
      FullPath(testhost::WindowsPath(argc > 2 ? argv[2] : TEMPOTALLY_DEMO_PLAYER));
  const std::string outputFolder =
      FullPath(testhost::WindowsPath(argc > 3 ? argv[3] : DefaultOutputFolder));

  PluginModule module(FullPath(pluginPath));
  if (!module.Loaded()) {
    std::printf("could not load %s (error %lu)\n", pluginPath.c_str(), module.LoadError());
    return 1;
  }
  if (!module.HasFactory()) {
    std::printf("%s has no CreatePlugInstance export\n", pluginPath.c_str());
    return 1;
  }
  std::printf("Loaded %s\n\n", pluginPath.c_str());
  if (interactive) return RunInteractive(module, playerPath);
  ShowInfo(module);
  return PlaySong(module, playerPath, outputFolder);
}

}  // namespace
}  // namespace tempotally::demo

int main(int argc, char** argv) {
  std::setvbuf(stdout, nullptr, _IONBF, 0);
  return tempotally::demo::Run(argc, argv);
}
