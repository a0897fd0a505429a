// The bridge with the stand-in player laid out at the video player's paths: choosing and loading
// the module, the wrapped instance and its editor in the video window, the window's class, size,
// resizing and closing, teardown, and the plug-in calls passed on to the player with their guards.
#include <gtest/gtest.h>
#include <windows.h>

#include <algorithm>
#include <cstring>
#include <memory>
#include <new>
#include <string>
#include <vector>

#include "bridge/TFruityBridgePlugHost.h"
#include "devhost/PlayerLayout.h"
#include "devhost/WorkingFolder.h"
#include "tests/win/support/FakeRealHost.h"

namespace tempotally {
namespace {

using testhost::Utf8;
using testhost::WorkingFolder;
using testsupport::FakeRealHost;
using testsupport::InstallPlayer;
using testsupport::LoadedPlayer;
using testsupport::ModuleFileName;
using testsupport::PathUnder;
using testsupport::PlayerSlot;
using testsupport::RelativePath;
using testsupport::StandInHold;

constexpr int32_t Tag = 0x51A7;
constexpr int32_t IdWindowClosed = 53;
constexpr int32_t IdWindowResized = 55;
// A host folder this long puts the player's path past MAX_PATH.
constexpr size_t LongFolderChars = 200;

HWND EditorOf(void* instance) {
  HWND editor;
  std::memcpy(&editor, static_cast<char*>(instance) + 12, sizeof editor);
  return editor;
}

SIZE OuterSize(HWND window) {
  RECT r = {};
  GetWindowRect(window, &r);
  return {r.right - r.left, r.bottom - r.top};
}

SIZE ClientSize(HWND window) {
  RECT r = {};
  GetClientRect(window, &r);
  return {r.right, r.bottom};
}

bool ClassRegistered(HMODULE module) {
  WNDCLASSEXA info = {};
  info.cbSize = sizeof info;
  return GetClassInfoExA(module, VideoWindowClassName, &info) != 0;
}

class BridgePlayer : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(folder.Ready());
    ASSERT_EQ(videoClassCount, 0);
  }

  void TearDown() override {
    for (TFruityBridgePlugHost* bridge : bridges) delete bridge;
    bridges.clear();
    EXPECT_EQ(videoClassCount, 0);
  }

  // Lays the player out at `slot` and, with `hold`, keeps it loaded with a fresh record.
  void Install(PlayerSlot slot, bool holdIt = true) {
    ASSERT_TRUE(InstallPlayer(STANDIN_PLAYER_DLL, slot));
    if (!holdIt) return;
    hold = std::make_unique<StandInHold>(PathUnder("", RelativePath(slot)));
    ASSERT_TRUE(hold->Loaded());
    hold->Api().Reset();
  }

  // A bridge on `path` as given (plain ASCII), relative or full.
  TFruityBridgePlugHost* Open(const char* path, bool withHost = true) {
    const std::wstring widePath(path, path + std::strlen(path));
    auto* bridge = new (std::nothrow) TFruityBridgePlugHost(
        withHost ? host.As<TFruityPlugHost>() : nullptr, widePath.c_str(), Tag);
    if (bridge) bridges.push_back(bridge);
    return bridge;
  }

  // The bridge that the plug-in would open on the player's paths under the current directory.
  TFruityBridgePlugHost* OpenFound() {
    TFruityBridgePlugHost* bridge = nullptr;
    EXPECT_TRUE(OpenPlayerBridge(host.As<TFruityPlugHost>(), Tag, bridge));
    if (bridge) bridges.push_back(bridge);
    return bridge;
  }

  // The owner's teardown, in its order.
  void Close(TFruityBridgePlugHost* bridge) {
    bridge->ReleaseWrapped();
    delete bridge;
    bridges.erase(std::find(bridges.begin(), bridges.end(), bridge));
  }

  StandInRecord& Record() { return *hold->Record(); }

  // Plug-in dispatch calls the player received, as (id, index, value).
  std::vector<std::vector<uint32_t>> Dispatches() {
    std::vector<std::vector<uint32_t>> result;
    const int logged = std::min<int>(Record().callCount, StandInMaxCalls);
    for (int i = 0; i < logged; ++i) {
      const StandInCall& call = Record().calls[i];
      if (call.slot == 1) result.push_back({call.words[0], call.words[1], call.words[2]});
    }
    return result;
  }

  bool Received(int32_t id) {
    for (const auto& d : Dispatches()) {
      if (static_cast<int32_t>(d[0]) == id) return true;
    }
    return false;
  }

  WorkingFolder folder{"bridge_player.work"};
  std::unique_ptr<StandInHold> hold;
  FakeRealHost host;
  std::vector<TFruityBridgePlugHost*> bridges;
};

TEST_F(BridgePlayer, PathOneIsPreferred) {
  Install(PlayerSlot::Path1, false);
  Install(PlayerSlot::Path2, false);
  TFruityBridgePlugHost* bridge = OpenFound();
  ASSERT_NE(bridge, nullptr);
  EXPECT_EQ(Utf8(bridge->playerPath), PathUnder("", RelativePath(PlayerSlot::Path1)));
  EXPECT_EQ(ModuleFileName(bridge->wrappedModule), PathUnder("", RelativePath(PlayerSlot::Path1)));
  EXPECT_EQ(LoadedPlayer(PlayerSlot::Path2), nullptr);
  EXPECT_NE(bridge->wrappedPlug, nullptr);
}

// Each path is tried whatever became of the one before: missing, a folder of that name, or a
// file that gives no instance (not a module at all, or a player that refuses to create one).
TEST_F(BridgePlayer, PathTwoWhenPathOneGivesNoPlayer) {
  enum class PathOne { Missing, Folder, NotAModule, NoInstance };
  // The folders on the way to path 1, without its file.
  ASSERT_TRUE(InstallPlayer(STANDIN_PLAYER_DLL, PlayerSlot::Path1));
  ASSERT_TRUE(testsupport::RemovePlayer(PlayerSlot::Path1));
  for (PathOne one :
       {PathOne::Missing, PathOne::Folder, PathOne::NotAModule, PathOne::NoInstance}) {
    SCOPED_TRACE(static_cast<int>(one));
    const std::string pathOne = PathUnder("", RelativePath(PlayerSlot::Path1));
    std::unique_ptr<StandInHold> refusing;
    DeleteFileA(pathOne.c_str());
    ASSERT_TRUE(testhost::RemoveTree(pathOne));
    switch (one) {
      case PathOne::Missing:
        break;
      case PathOne::Folder:
        ASSERT_TRUE(CreateDirectoryA(pathOne.c_str(), nullptr));
        break;
      case PathOne::NotAModule: {
        HANDLE file =
            CreateFileA(pathOne.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
        ASSERT_NE(file, INVALID_HANDLE_VALUE);
        DWORD written = 0;
        WriteFile(file, "not a module", 12, &written, nullptr);
        CloseHandle(file);
        break;
      }
      case PathOne::NoInstance:
        ASSERT_TRUE(InstallPlayer(STANDIN_PLAYER_DLL, PlayerSlot::Path1));
        refusing = std::make_unique<StandInHold>(pathOne);
        ASSERT_TRUE(refusing->Loaded());
        refusing->Record()->failCreate = 1;
        break;
    }
    ASSERT_TRUE(InstallPlayer(STANDIN_PLAYER_DLL, PlayerSlot::Path2));
    TFruityBridgePlugHost* bridge = OpenFound();
    ASSERT_NE(bridge, nullptr);
    EXPECT_EQ(Utf8(bridge->playerPath), PathUnder("", RelativePath(PlayerSlot::Path2)));
    EXPECT_EQ(ModuleFileName(bridge->wrappedModule),
              PathUnder("", RelativePath(PlayerSlot::Path2)));
    EXPECT_NE(bridge->wrappedPlug, nullptr);
    EXPECT_EQ(videoClassCount, 1) << "the discarded bridge gave back its hold on the class";
    if (refusing) {
      EXPECT_EQ(refusing->Record()->createCalls, 1);
    }
    Close(bridge);
  }
}

// The full path that is probed and loaded: plain below MAX_PATH, in the long form from there on,
// with one separator after the folder whether or not it ends in one.
TEST_F(BridgePlayer, PlayerPathFormsUnderTheCurrentDirectory) {
  const std::wstring here = testhost::Wide(folder.Path());
  const std::wstring root = here.substr(0, 3);  // the drive's root, "X:\"
  const std::wstring relative(VideoPlayerPath1, VideoPlayerPath1 + std::strlen(VideoPlayerPath1));
  std::wstring longer = here + L"\\uni-\u03A9\u97F3-\u0416-";
  if (longer.size() < LongFolderChars) longer.append(LongFolderChars - longer.size(), L'x');
  ASSERT_GE(longer.size() + 1 + relative.size(), static_cast<size_t>(MAX_PATH));
  ASSERT_TRUE(CreateDirectoryW(longer.c_str(), nullptr));
  const struct {
    std::wstring current;
    std::wstring expected;
  } cases[] = {
      {here, here + L"\\" + relative},
      {root, root + relative},
      {longer, L"\\\\?\\" + longer + L"\\" + relative},
  };
  std::unique_ptr<wchar_t[]> path(new wchar_t[PlayerPathChars]);
  for (const auto& c : cases) {
    SCOPED_TRACE(Utf8(c.current));
    ASSERT_TRUE(SetCurrentDirectoryW(c.current.c_str()));
    EXPECT_TRUE(PlayerPathUnderCurrentDirectory(VideoPlayerPath1, path.get()));
    EXPECT_EQ(std::wstring(path.get()), c.expected);
  }
  SetCurrentDirectoryW(here.c_str());
}

TEST_F(BridgePlayer, NeitherPathLeavesNoTrace) {
  TFruityBridgePlugHost* bridge = reinterpret_cast<TFruityBridgePlugHost*>(1);
  ASSERT_TRUE(OpenPlayerBridge(host.As<TFruityPlugHost>(), Tag, bridge));
  EXPECT_EQ(bridge, nullptr);
  EXPECT_EQ(LoadedPlayer(PlayerSlot::Path1), nullptr);
  EXPECT_EQ(LoadedPlayer(PlayerSlot::Path2), nullptr);
  EXPECT_EQ(videoClassCount, 0);
  EXPECT_EQ(testsupport::FindOwnWindow(VideoWindowClassName), nullptr);
}

TEST_F(BridgePlayer, PlayerIsHostedWithItsEditorInTheVideoWindow) {
  Install(PlayerSlot::Path1);
  TFruityBridgePlugHost* bridge = Open(VideoPlayerPath1);
  ASSERT_NE(bridge, nullptr);
  ASSERT_NE(bridge->wrappedPlug, nullptr);
  HWND window = bridge->videoWindow;
  ASSERT_NE(window, nullptr);

  EXPECT_EQ(Record().createCalls, 1);
  EXPECT_EQ(Record().lastHost, static_cast<void*>(bridge));
  EXPECT_EQ(Record().lastTag, Tag);
  EXPECT_EQ(bridge->hostTag, Tag);
  EXPECT_EQ(static_cast<void*>(bridge->wrappedPlug), Record().lastInstance);
  ASSERT_FALSE(Dispatches().empty());
  EXPECT_EQ(Dispatches()[0], (std::vector<uint32_t>{
                                 0, 0, static_cast<uint32_t>(reinterpret_cast<uintptr_t>(window))}))
      << "the first call asks for the editor in the video window";

  EXPECT_EQ(bridge->wrappedEditor, EditorOf(Record().lastInstance));
  EXPECT_EQ(GetParent(bridge->wrappedEditor), window);
  EXPECT_EQ(bridge->captionWindow, window);
  EXPECT_EQ(reinterpret_cast<TFruityBridgePlugHost*>(GetWindowLongPtrA(window, GWLP_USERDATA)),
            bridge);

  char text[64];
  GetClassNameA(window, text, sizeof text);
  EXPECT_STREQ(text, VideoWindowClassName);
  GetWindowTextA(window, text, sizeof text);
  EXPECT_STREQ(text, VideoWindowCaption);
  const LONG style = GetWindowLongA(window, GWL_STYLE);
  EXPECT_EQ(style & (WS_CAPTION | WS_SYSMENU | WS_THICKFRAME | WS_MAXIMIZEBOX | WS_MINIMIZEBOX |
                     WS_CHILD | WS_POPUP),
            0xCD0000);
  EXPECT_EQ(GetWindowLongA(window, GWL_EXSTYLE) & 0x380, 0x380);
  EXPECT_FALSE(IsWindowVisible(window)) << "hidden until the option shows it";
  EXPECT_EQ(GetWindow(window, GW_OWNER), nullptr);
  EXPECT_EQ(reinterpret_cast<HMODULE>(GetWindowLongPtrA(window, GWLP_HINSTANCE)),
            bridge->wrappedModule);
  EXPECT_EQ(videoClassCount, 1);
  EXPECT_TRUE(bridge->holdsClass);
}

TEST_F(BridgePlayer, WindowSizeFollowsWrappedEditor) {
  Install(PlayerSlot::Path1);
  TFruityBridgePlugHost* bridge = Open(VideoPlayerPath1);
  ASSERT_NE(bridge, nullptr);
  ASSERT_NE(bridge->wrappedEditor, nullptr);
  const SIZE outer = OuterSize(bridge->videoWindow);
  EXPECT_EQ(outer.cx, StandInEditorWidth) << "outer size = the editor's client size";
  EXPECT_EQ(outer.cy, StandInEditorHeight);
  const SIZE client = ClientSize(bridge->videoWindow);
  EXPECT_LT(client.cx, StandInEditorWidth);
  EXPECT_EQ(FindWindowExA(bridge->videoWindow, nullptr, nullptr, nullptr), bridge->wrappedEditor);
  const SIZE child = OuterSize(bridge->wrappedEditor);
  EXPECT_EQ(child.cx, client.cx) << "the editor fills the client area";
  EXPECT_EQ(child.cy, client.cy);
  EXPECT_TRUE(Received(IdWindowResized)) << "the resize during load was announced";
}

TEST_F(BridgePlayer, WindowStartsAt512WithoutInstance) {
  Install(PlayerSlot::Path1);
  Record().failCreate = 1;
  TFruityBridgePlugHost* bridge = Open(VideoPlayerPath1);
  ASSERT_NE(bridge, nullptr);
  EXPECT_EQ(Record().createCalls, 1);
  EXPECT_EQ(bridge->wrappedPlug, nullptr);
  ASSERT_NE(bridge->videoWindow, nullptr);
  EXPECT_EQ(OuterSize(bridge->videoWindow).cx, 512);
  EXPECT_EQ(OuterSize(bridge->videoWindow).cy, 512);
  EXPECT_EQ(GetWindowLongPtrA(bridge->videoWindow, GWLP_USERDATA), 0) << "not bound";
  EXPECT_EQ(videoClassCount, 1) << "the class is held until the bridge is discarded";
}

TEST_F(BridgePlayer, ResizingFitsEditorAndTellsPlayer) {
  Install(PlayerSlot::Path1);
  TFruityBridgePlugHost* bridge = Open(VideoPlayerPath1);
  ASSERT_NE(bridge, nullptr);
  hold->Api().Reset();
  ASSERT_TRUE(
      SetWindowPos(bridge->videoWindow, nullptr, 0, 0, 700, 520, SWP_NOMOVE | SWP_NOZORDER));
  const SIZE client = ClientSize(bridge->videoWindow);
  const SIZE child = OuterSize(bridge->wrappedEditor);
  EXPECT_EQ(child.cx, client.cx);
  EXPECT_EQ(child.cy, client.cy);
  EXPECT_EQ(Dispatches(), (std::vector<std::vector<uint32_t>>{{IdWindowResized, 0, 0}}));
}

TEST_F(BridgePlayer, ClosingHidesAndTellsPlayer) {
  Install(PlayerSlot::Path1);
  TFruityBridgePlugHost* bridge = Open(VideoPlayerPath1);
  ASSERT_NE(bridge, nullptr);
  HWND window = bridge->videoWindow;
  ShowWindow(window, SW_SHOW);
  hold->Api().Reset();
  EXPECT_EQ(SendMessageA(window, WM_CLOSE, 0, 0), 0);
  EXPECT_TRUE(IsWindow(window));
  EXPECT_FALSE(IsWindowVisible(window));
  EXPECT_EQ(Dispatches(), (std::vector<std::vector<uint32_t>>{{IdWindowClosed, 0, 0}}));

  ShowWindow(window, SW_SHOW);
  EXPECT_TRUE(IsWindowVisible(window)) << "the same window shows again";
  SendMessageA(window, WM_SYSCOMMAND, SC_CLOSE, 0);
  EXPECT_TRUE(IsWindow(window)) << "the close box only hides";
  EXPECT_FALSE(IsWindowVisible(window));
  EXPECT_EQ(bridge->videoWindow, window);
}

TEST_F(BridgePlayer, PaintFillsUncoveredAreaWithWindowColour) {
  Install(PlayerSlot::Path1);
  TFruityBridgePlugHost* bridge = Open(VideoPlayerPath1);
  ASSERT_NE(bridge, nullptr);
  HWND window = bridge->videoWindow;
  WNDCLASSEXA info = {};
  info.cbSize = sizeof info;
  ASSERT_TRUE(GetClassInfoExA(bridge->wrappedModule, VideoWindowClassName, &info));
  EXPECT_EQ(info.hbrBackground, nullptr);
  EXPECT_EQ(info.style, 0u);
  EXPECT_EQ(info.hIcon, nullptr);
  EXPECT_EQ(info.hCursor, nullptr);

  ShowWindow(window, SW_SHOW);
  SetWindowPos(bridge->wrappedEditor, nullptr, 0, 0, 10, 10, SWP_NOMOVE | SWP_NOZORDER);
  RedrawWindow(window, nullptr, nullptr, RDW_INVALIDATE | RDW_ERASE | RDW_UPDATENOW);
  const SIZE client = ClientSize(window);
  HDC dc = GetDC(window);
  const COLORREF uncovered = GetPixel(dc, client.cx - 2, client.cy - 2);
  ReleaseDC(window, dc);
  EXPECT_EQ(uncovered, GetSysColor(COLOR_WINDOW));
}

TEST_F(BridgePlayer, MessagesBeforeBindingReachNoInstance) {
  Install(PlayerSlot::Path1);
  Record().failCreate = 1;
  TFruityBridgePlugHost* bridge = Open(VideoPlayerPath1);
  ASSERT_NE(bridge, nullptr);
  HWND window = bridge->videoWindow;
  ASSERT_NE(window, nullptr);
  ShowWindow(window, SW_SHOW);
  SetWindowPos(window, nullptr, 0, 0, 300, 200, SWP_NOMOVE | SWP_NOZORDER);
  EXPECT_EQ(SendMessageA(window, WM_CLOSE, 0, 0), 0);
  EXPECT_TRUE(IsWindow(window)) << "closing never destroys the window, bound or not";
  EXPECT_FALSE(IsWindowVisible(window));
  EXPECT_EQ(Record().callCount, 0);
}

TEST_F(BridgePlayer, AfterReleaseNothingReachesPlayer) {
  Install(PlayerSlot::Path1);
  TFruityBridgePlugHost* bridge = Open(VideoPlayerPath1);
  ASSERT_NE(bridge, nullptr);
  HWND window = bridge->videoWindow;
  bridge->ReleaseWrapped();
  EXPECT_EQ(Record().releases, 1);
  EXPECT_EQ(Record().liveInstances, 0);
  EXPECT_EQ(bridge->wrappedPlug, nullptr);
  EXPECT_NE(bridge->wrappedModule, nullptr) << "the module stays until the window is gone";
  EXPECT_TRUE(IsWindow(window)) << "the window stays until the bridge ends";

  hold->Api().Reset();
  bridge->ReleaseWrapped();
  SetWindowPos(window, nullptr, 0, 0, 333, 222, SWP_NOMOVE | SWP_NOZORDER);
  EXPECT_EQ(SendMessageA(window, WM_CLOSE, 0, 0), 0);
  EXPECT_EQ(bridge->Dispatch(7, 1, 2), 0);
  bridge->Call2();
  bridge->SaveRestoreState(nullptr, 1);
  bridge->Call4(1, 2, 3, 4);
  EXPECT_EQ(bridge->Call5(1, 2, 3), 0);
  EXPECT_EQ(bridge->Call6(1, 2, 3), 0);
  bridge->Call7(1, 2, 3);
  bridge->Call8(1, 2);
  EXPECT_EQ(bridge->Call9(1, 2), 0);
  bridge->Call10(1);
  bridge->Call11(1);
  EXPECT_EQ(bridge->Call12(1, 2, 3, 4), 0);
  int32_t frames = 0;
  EXPECT_EQ(bridge->Render(0, nullptr, &frames), 0);
  bridge->Tick();
  bridge->Call15();
  bridge->Call16(1);
  bridge->Call17(1);
  EXPECT_EQ(Record().callCount, 0);
}

TEST_F(BridgePlayer, ModuleIsUnloadedOnceTheVideoWindowIsGone) {
  Install(PlayerSlot::Path1, false);
  TFruityBridgePlugHost* bridge = Open(VideoPlayerPath1);
  ASSERT_NE(bridge, nullptr);
  ASSERT_NE(LoadedPlayer(PlayerSlot::Path1), nullptr);
  bridge->ReleaseWrapped();
  EXPECT_NE(LoadedPlayer(PlayerSlot::Path1), nullptr) << "its editor may still live in the window";
  EXPECT_EQ(videoClassCount, 1);
  Close(bridge);
  EXPECT_EQ(LoadedPlayer(PlayerSlot::Path1), nullptr);
  EXPECT_TRUE(testsupport::RemovePlayer(PlayerSlot::Path1)) << "the file is free again";
}

TEST_F(BridgePlayer, DiscardedBridgeUnloadsModule) {
  Install(PlayerSlot::Path1);
  Record().failCreate = 1;
  TFruityBridgePlugHost* bridge = Open(VideoPlayerPath1);
  ASSERT_NE(bridge, nullptr);
  ASSERT_EQ(bridge->wrappedPlug, nullptr);
  hold.reset();
  ASSERT_NE(LoadedPlayer(PlayerSlot::Path1), nullptr) << "the bridge holds the module";
  HMODULE module = bridge->wrappedModule;
  delete bridge;
  bridges.clear();
  EXPECT_EQ(LoadedPlayer(PlayerSlot::Path1), nullptr);
  EXPECT_EQ(videoClassCount, 0);
  EXPECT_FALSE(ClassRegistered(module));
}

TEST_F(BridgePlayer, DeletingBridgeReleasesInstanceStillAlive) {
  Install(PlayerSlot::Path1);
  TFruityBridgePlugHost* bridge = Open(VideoPlayerPath1);
  ASSERT_NE(bridge, nullptr);
  delete bridge;
  bridges.clear();
  EXPECT_EQ(Record().releases, 1);
  EXPECT_EQ(Record().liveInstances, 0);
  EXPECT_EQ(videoClassCount, 0);
}

TEST_F(BridgePlayer, ClassIsRegisteredOnceAndCounted) {
  Install(PlayerSlot::Path1);
  HMODULE module = hold->Module();
  TFruityBridgePlugHost* first = Open(VideoPlayerPath1);
  TFruityBridgePlugHost* second = Open(VideoPlayerPath1);
  ASSERT_TRUE(first && second && first->videoWindow && second->videoWindow);
  EXPECT_EQ(videoClassCount, 2);
  EXPECT_EQ(GetClassLongPtrA(first->videoWindow, GCW_ATOM),
            GetClassLongPtrA(second->videoWindow, GCW_ATOM));
  EXPECT_EQ(Record().liveInstances, 2);

  Close(first);
  EXPECT_EQ(videoClassCount, 1);
  EXPECT_TRUE(ClassRegistered(module));
  EXPECT_TRUE(IsWindowVisible(second->videoWindow) || IsWindow(second->videoWindow));

  Close(second);
  EXPECT_EQ(videoClassCount, 0);
  EXPECT_FALSE(ClassRegistered(module));

  TFruityBridgePlugHost* third = Open(VideoPlayerPath1);
  ASSERT_NE(third, nullptr);
  EXPECT_NE(third->videoWindow, nullptr) << "registered again";
  EXPECT_EQ(videoClassCount, 1);
  EXPECT_TRUE(ClassRegistered(module));
  Close(third);
  EXPECT_FALSE(ClassRegistered(module));
}

TEST_F(BridgePlayer, TickReachesPlayerOnlyWhenItAsks) {
  Install(PlayerSlot::Path1);
  TFruityBridgePlugHost* ticking = Open(VideoPlayerPath1);
  ASSERT_NE(ticking, nullptr);
  EXPECT_EQ(ticking->wantsTick, 1);
  Record().infoFlags = 0;
  TFruityBridgePlugHost* quiet = Open(VideoPlayerPath1);
  ASSERT_NE(quiet, nullptr);
  EXPECT_EQ(quiet->wantsTick, 0);

  ticking->Tick();
  EXPECT_EQ(Record().slotCounts[14], 1);
  quiet->Tick();
  EXPECT_EQ(Record().slotCounts[14], 1);

  // The quiet player's own time requests are still answered with the bridge's time.
  quiet->SetVideoTime(777.5);
  uint8_t answer[16] = {};
  hold->Api().hostDispatch(quiet->wrappedPlug, 36, 1, reinterpret_cast<intptr_t>(answer));
  double time;
  std::memcpy(&time, answer, sizeof time);
  EXPECT_EQ(time, 777.5);
}

TEST_F(BridgePlayer, PlayerIsToldVideoTimeOnTick) {
  Install(PlayerSlot::Path1);
  TFruityBridgePlugHost* bridge = Open(VideoPlayerPath1);
  ASSERT_NE(bridge, nullptr);
  host.Clear();
  const double times[] = {0.0, 1500.25, 61234.5};
  for (double t : times) {
    bridge->SetVideoTime(t);
    bridge->Tick();
  }
  ASSERT_EQ(Record().timeCount, 3);
  for (int i = 0; i < 3; ++i) EXPECT_EQ(Record().toldTimes[i], times[i]);
  for (int i = 8; i < 16; ++i) {
    EXPECT_EQ(Record().lastTimeRecord[i], testsupport::FakeSongTimeTail + i) << "byte " << i;
  }
  EXPECT_EQ(static_cast<uint32_t>(Record().lastTimeResult), testsupport::FakeDispatchBase + 36);
  const auto asked = host.CallsOf(0);
  ASSERT_EQ(asked.size(), 3u);
  EXPECT_EQ(asked[0].words[0], static_cast<uint32_t>(Tag));
  EXPECT_EQ(asked[0].words[1], 36u);
  EXPECT_EQ(asked[0].words[2], 1u);

  // The player's editor shows what it was told.
  ShowWindow(bridge->videoWindow, SW_SHOW);
  RedrawWindow(bridge->wrappedEditor, nullptr, nullptr, RDW_INVALIDATE | RDW_UPDATENOW);
  EXPECT_GT(Record().paints, 0);
  EXPECT_EQ(Record().paintedTime, 61234.5);
}

TEST_F(BridgePlayer, TimeWithoutRealHostKeepsRestOfRecord) {
  Install(PlayerSlot::Path1);
  TFruityBridgePlugHost* bridge = Open(VideoPlayerPath1, false);
  ASSERT_NE(bridge, nullptr);
  bridge->SetVideoTime(42.0);
  bridge->Tick();
  ASSERT_EQ(Record().timeCount, 1);
  EXPECT_EQ(Record().toldTimes[0], 42.0);
  EXPECT_EQ(Record().lastTimeResult, 0);
  for (int i = 8; i < 16; ++i) EXPECT_EQ(Record().lastTimeRecord[i], 0) << "byte " << i;
}

TEST_F(BridgePlayer, DispatchWithholdsIdsZeroAndFive) {
  Install(PlayerSlot::Path1);
  TFruityBridgePlugHost* bridge = Open(VideoPlayerPath1);
  ASSERT_NE(bridge, nullptr);
  hold->Api().Reset();
  EXPECT_EQ(bridge->Dispatch(0, 1, 2), 0);
  EXPECT_EQ(bridge->Dispatch(5, 1, 2), 0);
  const int32_t passed[] = {1, 2, 4, 6, 12, 13, 14, 53, -1, 1000};
  for (int32_t id : passed) {
    EXPECT_EQ(bridge->Dispatch(id, id + 1, 0x4000 + id), StandInResultBase + 1) << id;
  }
  const auto got = Dispatches();
  ASSERT_EQ(got.size(), std::size(passed));
  for (size_t i = 0; i < got.size(); ++i) {
    EXPECT_EQ(got[i], (std::vector<uint32_t>{static_cast<uint32_t>(passed[i]),
                                             static_cast<uint32_t>(passed[i] + 1),
                                             static_cast<uint32_t>(0x4000 + passed[i])}));
  }
}

TEST_F(BridgePlayer, OtherSlotsPassArgumentsAndResults) {
  Install(PlayerSlot::Path1);
  TFruityBridgePlugHost* bridge = Open(VideoPlayerPath1);
  ASSERT_NE(bridge, nullptr);
  hold->Api().Reset();
  float buffer[4] = {0.0f, 0.0f, 0.0f, 0.0f};
  int32_t frames = 2;
  IStream* stream = reinterpret_cast<IStream*>(0x3000);
  bridge->Call2();
  bridge->SaveRestoreState(stream, 1);
  bridge->Call4(41, 42, 43, 44);
  EXPECT_EQ(bridge->Call5(51, 52, 53), StandInResultBase + 5);
  EXPECT_EQ(bridge->Call6(61, 62, 63), StandInResultBase + 6);
  bridge->Call7(71, 72, 73);
  bridge->Call8(81, 82);
  EXPECT_EQ(bridge->Call9(91, 92), StandInResultBase + 9);
  bridge->Call10(101);
  bridge->Call11(111);
  EXPECT_EQ(bridge->Call12(121, 122, 123, 124), StandInResultBase + 12);
  EXPECT_EQ(bridge->Render(131, buffer, &frames), StandInResultBase + 13);
  bridge->Call15();
  bridge->Call16(161);
  bridge->Call17(171);

  const auto word = [](const void* p) {
    return static_cast<uint32_t>(reinterpret_cast<uintptr_t>(p));
  };
  const std::vector<std::vector<uint32_t>> expected = {
      {2, 0, 0, 0, 0},    {3, 0x3000, 1, 0, 0},     {4, 41, 42, 43, 44},
      {5, 51, 52, 53, 0}, {6, 61, 62, 63, 0},       {7, 71, 72, 73, 0},
      {8, 81, 82, 0, 0},  {9, 91, 92, 0, 0},        {10, 101, 0, 0, 0},
      {11, 111, 0, 0, 0}, {12, 121, 122, 123, 124}, {13, 131, word(buffer), word(&frames), 0},
      {15, 0, 0, 0, 0},   {16, 161, 0, 0, 0},       {17, 171, 0, 0, 0}};
  ASSERT_EQ(Record().callCount, static_cast<int32_t>(expected.size()));
  for (size_t i = 0; i < expected.size(); ++i) {
    const StandInCall& call = Record().calls[i];
    EXPECT_EQ(call.instance, static_cast<void*>(bridge->wrappedPlug));
    EXPECT_EQ((std::vector<uint32_t>{static_cast<uint32_t>(call.slot), call.words[0], call.words[1],
                                     call.words[2], call.words[3]}),
              expected[i]);
  }
  EXPECT_EQ(Record().renderFrames, 2);
}

TEST_F(BridgePlayer, PlayerGatesSlotTwoThroughHostDispatch) {
  Install(PlayerSlot::Path1);
  TFruityBridgePlugHost* bridge = Open(VideoPlayerPath1);
  ASSERT_NE(bridge, nullptr);
  void* player = bridge->wrappedPlug;
  const auto& api = hold->Api();
  host.Clear();

  EXPECT_EQ(api.hostDispatch(player, 13, 0, 0), 0);
  bridge->Call2();
  EXPECT_EQ(Record().slotCounts[2], 0);
  EXPECT_EQ(api.hostDispatch(player, 13, 0, 1), 0);
  bridge->Call2();
  EXPECT_EQ(Record().slotCounts[2], 1);
  EXPECT_EQ(api.hostDispatch(player, 13, 0, 2), 0);
  bridge->Call2();
  EXPECT_EQ(Record().slotCounts[2], 1);
  EXPECT_TRUE(host.Calls().empty()) << "id 13 stays with the bridge";
}

TEST_F(BridgePlayer, PlayerSetsCaptionOfVideoWindow) {
  Install(PlayerSlot::Path1);
  TFruityBridgePlugHost* bridge = Open(VideoPlayerPath1);
  ASSERT_NE(bridge, nullptr);
  host.Clear();
  static const char caption[] = "Clip 7.avi";
  EXPECT_NE(
      hold->Api().hostDispatch(bridge->wrappedPlug, 10, 0, reinterpret_cast<intptr_t>(caption)), 0);
  char text[64];
  GetWindowTextA(bridge->videoWindow, text, sizeof text);
  EXPECT_STREQ(text, caption);
  EXPECT_TRUE(host.Calls().empty());
}

TEST_F(BridgePlayer, PlayerHostCallsReachRealHostAcrossModules) {
  Install(PlayerSlot::Path1);
  TFruityBridgePlugHost* bridge = Open(VideoPlayerPath1);
  ASSERT_NE(bridge, nullptr);
  const auto& api = hold->Api();
  host.Clear();
  StandInHostAnswer answer;

  const uint32_t six[] = {1, 2, 3, 4};
  ASSERT_EQ(api.callHost(bridge->wrappedPlug, 6, six, 4, 0, &answer), 1);
  EXPECT_EQ(answer.eax, testsupport::FakeResultBase + 6);
  ASSERT_EQ(api.callHost(bridge->wrappedPlug, 17, nullptr, 0, 1, &answer), 1);
  EXPECT_EQ(answer.st0, testsupport::FakeDoubleResult(17));
  const uint32_t thirtySeven[] = {9, 8, 7, 6, 5};
  ASSERT_EQ(api.callHost(bridge->wrappedPlug, 37, thirtySeven, 5, 0, &answer), 1);
  EXPECT_EQ(answer.eax, testsupport::FakeResultBase + 37);
  EXPECT_EQ(answer.edx, testsupport::FakeResultHigh);

  ASSERT_EQ(host.Calls().size(), 3u);
  EXPECT_EQ(host.Calls()[0].words, (std::vector<uint32_t>{1, 2, 3, 4}));
  EXPECT_EQ(host.Calls()[1].slot, 17);
  EXPECT_EQ(host.Calls()[2].words, (std::vector<uint32_t>{9, 8, 7, 6, 5}));
  EXPECT_EQ(host.Calls()[2].object, host.Object());
}

}  // namespace
}  // namespace tempotally
