// The editor used through the built module with real input: the editor parented into a host frame
// that has the focus, driven by injected mouse moves, presses and releases and Ctrl key events.
// Options are read back from outside, through the state call.
#include <gtest/gtest.h>
#include <windows.h>

#include <cstdlib>
#include <iterator>
#include <map>
#include <string>
#include <vector>

#include "BlackboxPaths.h"
#include "devhost/PlayerLayout.h"
#include "devhost/RawPlug.h"
#include "devhost/TestHost.h"
#include "devhost/WindowPixels.h"
#include "devhost/WorkingFolder.h"
#include "tests/win/blackbox_state.h"
#include "tests/win/support/RealInput.h"

namespace tempotally::testhost {
namespace {

using testsupport::Button;
using testsupport::PlayerSlot;

constexpr int32_t Tag = 0x1A9E;
constexpr char VideoClass[] = "Tempotally_Plugin";
constexpr int EditorWidth = 240;
// Clear of the video window, which opens at 0, 0 and 640 x 480.
constexpr int FrameLeft = 700, FrameTop = 150, FrameSize = 420;
constexpr POINT FreezeLabel = {30, 70};
constexpr POINT OptimiseLabel = {150, 70};
constexpr POINT Readout = {100, 30};
constexpr POINT ShowVideoLabel = {40, 85};
constexpr POINT OnTopLabel = {130, 85};
constexpr POINT GraphPoint = {120, 130};
constexpr const char* Toggles[] = {"freeze",    "lookahead", "optimise",
                                   "selection", "video",     "videoontop"};
// Each toggle's LED in the editor, top-left, in the order above; the skin's off and on sprites.
constexpr POINT Leds[] = {{10, 66}, {55, 66}, {123, 66}, {178, 66}, {10, 82}, {103, 82}};
constexpr POINT LedSpriteOff = {375, 195}, LedSpriteOn = {385, 195};
constexpr int LedCentre = 5;
constexpr int SkinBitmap = 101;

using Options = std::map<std::string, int32_t>;

bool LedOn(const std::string& key, int32_t value) {
  return key == "optimise" ? value != 1 : value != 0;
}

int32_t Flipped(const std::string& key, int32_t value) {
  if (key == "optimise") return value == 1 ? 4 : 1;
  return value ? 0 : 1;
}

bool IsTopmost(HWND window) { return (GetWindowLongA(window, GWL_EXSTYLE) & WS_EX_TOPMOST) != 0; }

RECT ClipRect() {
  RECT rect{};
  GetClipCursor(&rect);
  return rect;
}

bool SameRect(const RECT& a, const RECT& b) {
  return a.left == b.left && a.top == b.top && a.right == b.right && a.bottom == b.bottom;
}

RECT WholeScreen() { return {0, 0, GetSystemMetrics(SM_CXSCREEN), GetSystemMetrics(SM_CYSCREEN)}; }

bool Near(POINT a, POINT b) { return std::abs(a.x - b.x) <= 1 && std::abs(a.y - b.y) <= 1; }

class EditorInput : public ::testing::Test {
 protected:
  EditorInput()
      : folder_("blackbox-input"),
        installed_(
            folder_.Ready() &&
            testsupport::InstallPlayer(TEMPOTALLY_PLAYER_PATH, PlayerSlot::Path1, folder_.Path())),
        frame_(FrameLeft, FrameTop, FrameSize, FrameSize),
        module_(WindowsPath(TEMPOTALLY_DLL_PATH)) {}

  void SetUp() override {
    ASSERT_TRUE(installed_);
    ASSERT_TRUE(module_.HasFactory()) << "LoadLibrary error " << module_.LoadError();
    plug_ = module_.Create(host_, Tag);
    ASSERT_TRUE(plug_.Valid());
    editor_ = plug_.EditorWindow();
    ASSERT_NE(editor_, nullptr);
    video_ = testsupport::FindOwnWindow(VideoClass);
    ASSERT_NE(video_, nullptr);
    plug_.Dispatch(PlugIdShowEditor, 0, reinterpret_cast<uintptr_t>(frame_.Window()));
    state::Restore(plug_, state::Encode(state::DefaultKeys(), {{0, 0}}));  // full height
    HBITMAP skin = LoadBitmapA(module_.Handle(), MAKEINTRESOURCEA(SkinBitmap));
    skin_ = BitmapPixels(skin);
    DeleteObject(skin);
    ASSERT_TRUE(skin_.Contains(LedSpriteOn.x + LedCentre, LedSpriteOn.y + LedCentre));
    ASSERT_NE(skin_.At(LedSpriteOn.x + LedCentre, LedSpriteOn.y + LedCentre),
              skin_.At(LedSpriteOff.x + LedCentre, LedSpriteOff.y + LedCentre));
    frame_.Focus();
    testsupport::Pump(300);  // lets the platform settle the keyboard state after the focus change
  }
  void TearDown() override {
    if (plug_.Valid()) plug_.Release();
    ClipCursor(nullptr);
  }

  POINT At(POINT client) const { return testsupport::ScreenPoint(editor_, client.x, client.y); }
  void Click(POINT client, Button button = Button::Left) {
    testsupport::ClickAt(At(client), button);
  }

  Options Read() {
    Options options;
    std::vector<state::Key> keys;
    std::vector<state::MapPair> map;
    size_t end = 0;
    EXPECT_TRUE(state::Decode(state::Save(plug_), &keys, &map, &end));
    for (const state::Key& key : keys) options[key.name] = key.value;
    return options;
  }
  int EditorHeight() const {
    RECT rect{};
    GetWindowRect(editor_, &rect);
    return rect.bottom - rect.top;
  }
  int EditorWidthNow() const {
    RECT rect{};
    GetWindowRect(editor_, &rect);
    return rect.right - rect.left;
  }

  WorkingFolder folder_;
  bool installed_;
  testsupport::HostFrame frame_;
  PluginModule module_;
  TestHost host_;
  RawPlug plug_;
  HWND editor_ = nullptr;
  HWND video_ = nullptr;
  Pixels skin_;
};

TEST_F(EditorInput, EachClickFlipsOnlyItsOwnToggle) {
  constexpr Button L = Button::Left;
  const struct {
    const char* what;
    POINT press;
    int dx, dy;
    Button button;
    WORD ctrl;
    const char* flips;  // null: nothing changes
  } cases[] = {
      // First, on a fresh editor: a press in the host's frame released over a label.
      {"press outside", {300, 300}, 0, 0, L, 0, nullptr},
      {"Freeze", FreezeLabel, 0, 0, L, 0, "freeze"},
      {"Look ahead", {80, 70}, 0, 0, L, 0, "lookahead"},
      {"Look ahead LED", {56, 70}, 0, 0, L, 0, nullptr},
      {"Optimise", OptimiseLabel, 0, 0, L, 0, "optimise"},
      {"Ctrl+Optimise", OptimiseLabel, 0, 0, L, VK_LCONTROL, nullptr},
      {"right Ctrl+Optimise", OptimiseLabel, 0, 0, L, VK_RCONTROL, nullptr},
      {"Optimise again", {170, 75}, 0, 0, L, 0, "optimise"},
      {"Optimise LED", {127, 70}, 0, 0, L, 0, nullptr},
      {"Selection", {200, 70}, 0, 0, L, 0, "selection"},
      {"Selection LED", {182, 70}, 0, 0, L, 0, nullptr},
      {"5 px right", {20, 70}, 5, 0, L, 0, "freeze"},
      {"6 px right", {20, 70}, 6, 0, L, 0, nullptr},
      {"5 px down", {20, 65}, 0, 5, L, 0, "freeze"},
      {"6 px down", {20, 65}, 0, 6, L, 0, nullptr},
      {"released on Look ahead", {53, 70}, 5, 0, L, 0, "lookahead"},
      {"right", FreezeLabel, 0, 0, Button::Right, 0, nullptr},
      {"middle", FreezeLabel, 0, 0, Button::Middle, 0, nullptr},
      {"Show video player", ShowVideoLabel, 0, 0, L, 0, "video"},
      {"graph over Video on-top", {120, 91}, 0, 0, L, 0, "videoontop"},
      {"Video on-top", OnTopLabel, 0, 0, L, 0, "videoontop"},
      {"Show video player again", ShowVideoLabel, 0, 0, L, 0, "video"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    const Options before = Read();
    if (std::string(c.what) == "press outside") {
      // The frame does not capture the mouse, so the release reaches the editor.
      testsupport::MoveTo(testsupport::ScreenPoint(frame_.Window(), c.press.x, c.press.y));
      testsupport::Press(L);
      testsupport::MoveTo(At(FreezeLabel));
      testsupport::Release(L);
    } else {
      // Ctrl goes down once the pointer is over the editor: entering a window makes the platform
      // take the key state from the display, where no key is held.
      testsupport::MoveTo(At(c.press));
      if (c.ctrl) {
        testsupport::Key(c.ctrl, true);
        ASSERT_NE(GetKeyState(c.ctrl) & 0x8000, 0);
      }
      testsupport::PressMoveRelease(At(c.press), c.dx, c.dy, c.button);
      if (c.ctrl) testsupport::Key(c.ctrl, false);
    }
    const Options after = Read();
    for (const char* key : Toggles) {
      const int32_t expected =
          c.flips && std::string(key) == c.flips ? Flipped(key, before.at(key)) : before.at(key);
      EXPECT_EQ(after.at(key), expected) << key;
    }
    // Every LED shows its option.
    const Pixels shown = CaptureWindow(editor_);
    for (size_t i = 0; i < std::size(Toggles); ++i) {
      const POINT sprite = LedOn(Toggles[i], after.at(Toggles[i])) ? LedSpriteOn : LedSpriteOff;
      EXPECT_EQ(shown.At(Leds[i].x + LedCentre, Leds[i].y + LedCentre),
                skin_.At(sprite.x + LedCentre, sprite.y + LedCentre))
          << Toggles[i];
    }
    // The real video window follows its two options.
    EXPECT_EQ(IsWindowVisible(video_) != FALSE, after.at("video") != 0);
    EXPECT_EQ(IsTopmost(video_), after.at("videoontop") != 0);
    // Every click gives the focus back to the host's frame, except that showing or raising the
    // video window activates it.
    if (!c.flips || std::string(c.flips).rfind("video", 0) != 0) {
      EXPECT_EQ(GetFocus(), frame_.Window());
    }
  }
}

// A second press inside the double-click time arrives as a double-click message, which the editor
// does not act on: the release after it is judged against the first press. Released 6 px from that
// press (and 5 px from the second, 1 px away: the platform takes no more), it is no click; taken as
// a press, it would flip Freeze again.
TEST_F(EditorInput, DoubleClickPressIsNotAPress) {
  const UINT doubleClickMs = GetDoubleClickTime();
  SetDoubleClickTime(2000);  // room for the emulated platform's pace
  const int32_t before = Read().at("freeze");
  testsupport::ClickAt(At(FreezeLabel));
  testsupport::MoveTo(At({FreezeLabel.x + 1, FreezeLabel.y}));
  INPUT press{};
  press.type = INPUT_MOUSE;
  press.mi.dwFlags = MOUSEEVENTF_LEFTDOWN;
  SendInput(1, &press, sizeof press);
  testsupport::MoveTo(At({FreezeLabel.x + 6, FreezeLabel.y}));
  testsupport::Release(Button::Left);
  SetDoubleClickTime(doubleClickMs);
  EXPECT_EQ(Read().at("freeze"), Flipped("freeze", before));
}

TEST_F(EditorInput, ReadoutCyclesTheFoldAndTellsTheHostEachTime) {
  ASSERT_EQ(EditorHeight(), 294);
  for (int height : {200, 106, 294, 200}) {
    const size_t notices = host_.DispatchesWithId(IdEditorResized).size();
    Click(Readout);
    EXPECT_EQ(EditorHeight(), height);
    EXPECT_EQ(EditorWidthNow(), EditorWidth);
    EXPECT_EQ(host_.DispatchesWithId(IdEditorResized).size(), notices + 1);
  }
  // The fold level travels with the project.
  const std::vector<uint8_t> saved = state::Save(plug_);
  EXPECT_EQ(Read().at("minimised"), 1);
  state::Restore(plug_, state::Encode(state::DefaultKeys(), {{0, 0}}));
  ASSERT_EQ(EditorHeight(), 294);
  state::Restore(plug_, saved);
  EXPECT_EQ(EditorHeight(), 200);
}

// A host that closes its frame without hiding the editor first, then shows the editor in a new
// frame: the editor is made again there, as high as its fold, painted as it was, and bound to the
// same instance, whose options its clicks flip.
TEST_F(EditorInput, EditorComesBackInANewFrameAfterItsFrameWasClosed) {
  Click(Readout);
  ASSERT_EQ(EditorHeight(), 200);
  const Pixels before = CaptureWindow(editor_);
  frame_.Destroy();
  ASSERT_EQ(plug_.EditorWindow(), nullptr);

  testsupport::HostFrame second(FrameLeft, FrameTop, FrameSize, FrameSize);
  const size_t notices = host_.DispatchesWithId(IdEditorResized).size();
  plug_.Dispatch(PlugIdShowEditor, 0, reinterpret_cast<uintptr_t>(second.Window()));
  editor_ = plug_.EditorWindow();
  ASSERT_NE(editor_, nullptr);
  EXPECT_EQ(GetAncestor(editor_, GA_PARENT), second.Window());
  EXPECT_TRUE(IsWindowVisible(editor_));
  EXPECT_EQ(EditorWidthNow(), EditorWidth);
  EXPECT_EQ(EditorHeight(), 200);
  EXPECT_EQ(host_.DispatchesWithId(IdEditorResized).size(), notices + 1);
  testsupport::Pump(300);
  const Pixels shown = ShownPixels(editor_);  // as it painted itself
  ASSERT_EQ(shown.width, before.width);
  ASSERT_EQ(shown.height, before.height);
  EXPECT_TRUE(shown.rgb == before.rgb);

  second.Focus();
  const int32_t freeze = Read().at("freeze");
  Click(FreezeLabel);
  EXPECT_EQ(Read().at("freeze"), Flipped("freeze", freeze));
  const POINT led = {Leds[0].x + LedCentre, Leds[0].y + LedCentre};
  const POINT sprite = LedOn("freeze", Flipped("freeze", freeze)) ? LedSpriteOn : LedSpriteOff;
  EXPECT_EQ(CaptureWindow(editor_).At(led.x, led.y),
            skin_.At(sprite.x + LedCentre, sprite.y + LedCentre));

  // Hidden and shown again, it is the same window.
  plug_.Dispatch(PlugIdShowEditor, 0, 0);
  plug_.Dispatch(PlugIdShowEditor, 0, reinterpret_cast<uintptr_t>(second.Window()));
  EXPECT_EQ(plug_.EditorWindow(), editor_);
  plug_.Release();
}

// A handle that names no window (one destroyed, or never made) is refused: the editor stays
// hidden, off the desktop, and is not made again once its frame is gone.
TEST_F(EditorInput, ShowInAHandleThatNamesNoWindowShowsNothing) {
  HWND gone =
      CreateWindowExA(0, "STATIC", "", WS_POPUP, 0, 0, 10, 10, nullptr, nullptr, nullptr, nullptr);
  DestroyWindow(gone);
  const uintptr_t noWindows[] = {reinterpret_cast<uintptr_t>(gone), 0x7FFF0004u};
  plug_.Dispatch(PlugIdShowEditor, 0, 0);
  for (uintptr_t handle : noWindows) {
    plug_.Dispatch(PlugIdShowEditor, 0, handle);
    testsupport::Pump(100);
    EXPECT_EQ(plug_.EditorWindow(), editor_);
    EXPECT_FALSE(IsWindowVisible(editor_));
    EXPECT_EQ(GetAncestor(editor_, GA_PARENT), GetDesktopWindow());
  }
  plug_.Dispatch(PlugIdShowEditor, 0, reinterpret_cast<uintptr_t>(frame_.Window()));
  frame_.Destroy();
  ASSERT_EQ(plug_.EditorWindow(), nullptr);
  for (uintptr_t handle : noWindows) {
    plug_.Dispatch(PlugIdShowEditor, 0, handle);
    testsupport::Pump(100);
    EXPECT_EQ(plug_.EditorWindow(), nullptr);
  }
  // A real frame still takes it.
  testsupport::HostFrame second(FrameLeft, FrameTop, FrameSize, FrameSize);
  plug_.Dispatch(PlugIdShowEditor, 0, reinterpret_cast<uintptr_t>(second.Window()));
  ASSERT_NE(plug_.EditorWindow(), nullptr);
  EXPECT_TRUE(IsWindowVisible(plug_.EditorWindow()));
  plug_.Release();
}

// A zoom drag hides the cursor and holds it in a 10 x 20 box at the press point; however it ends,
// the cursor comes back, shown and free.
TEST_F(EditorInput, DragHoldsTheCursorAndEveryEndingGivesItBack) {
  enum class End { Release, OtherWindow, Hide, FrameClosed, PlugReleased };
  const struct {
    const char* what;
    End end;
  } cases[] = {
      {"release", End::Release},
      {"another window activated", End::OtherWindow},
      {"editor hidden", End::Hide},
      {"plug-in released", End::PlugReleased},
      {"host frame closed", End::FrameClosed},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    if (!plug_.Valid()) SetUp();
    if (c.end == End::OtherWindow) SetFocus(editor_);  // a host that hands its focus to the editor
    const POINT home = At(GraphPoint);
    testsupport::MoveTo(home);
    ASSERT_TRUE(Near(testsupport::CursorPosition(), home));
    testsupport::Press(Button::Left);
    EXPECT_EQ(GetCursor(), nullptr);
    const POINT start = testsupport::CursorPosition();
    EXPECT_TRUE(Near(start, home));
    const RECT box = {start.x - 5, start.y - 10, start.x + 5, start.y + 10};
    const RECT clip = ClipRect();
    EXPECT_TRUE(Near({clip.left, clip.top}, {box.left, box.top}) &&
                Near({clip.right, clip.bottom}, {box.right, box.bottom}))
        << clip.left << "," << clip.top << "," << clip.right << "," << clip.bottom;
    for (POINT step : {POINT{4, 0}, POINT{0, -4}, POINT{-4, 4}}) {
      testsupport::MoveBy(step.x, step.y);
      EXPECT_TRUE(Near(testsupport::CursorPosition(), home));
      EXPECT_EQ(GetCursor(), nullptr);
    }

    switch (c.end) {
      case End::Release:
        testsupport::Release(Button::Left);
        break;
      case End::OtherWindow: {
        testsupport::HostFrame other(FrameLeft, FrameTop + FrameSize, 200, 200);
        EXPECT_NE(GetFocus(), editor_);
        break;
      }
      case End::Hide:
        plug_.Dispatch(PlugIdShowEditor, 0, 0);
        break;
      case End::FrameClosed:
        frame_.Destroy();
        break;
      case End::PlugReleased:
        plug_.Release();
        break;
    }
    EXPECT_TRUE(SameRect(ClipRect(), WholeScreen()));
    EXPECT_NE(GetCursor(), nullptr);
    testsupport::Release(Button::Left);
    if (c.end == End::FrameClosed) {
      EXPECT_EQ(plug_.EditorWindow(), nullptr);  // gone with the frame, and forgotten
      plug_.Release();
      break;  // the frame is gone; the last case needs none of its own
    }
    if (c.end == End::Hide) {
      plug_.Dispatch(PlugIdShowEditor, 0, reinterpret_cast<uintptr_t>(frame_.Window()));
    }
    // Over the editor again, the cursor moves freely: no drag is left to park it.
    testsupport::MoveTo({home.x + 20, home.y});
    EXPECT_TRUE(Near(testsupport::CursorPosition(), {home.x + 20, home.y}));
    frame_.Focus();
  }
}

}  // namespace
}  // namespace tempotally::testhost
