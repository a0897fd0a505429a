// The editor as it paints through the built module: shown in a host window, its pixels read back
// and compared with the skin and with the paint model of the same state, which the test gets by
// restoring the same saved bytes into an engine of its own.
#include <gtest/gtest.h>
#include <windows.h>

#include <cstring>
#include <string>
#include <vector>

#include "BlackboxPaths.h"
#include "devhost/RawPlug.h"
#include "devhost/TestHost.h"
#include "devhost/WindowPixels.h"
#include "devhost/WorkingFolder.h"
#include "editor/PaintModel.h"
#include "tests/win/blackbox_state.h"
#include "timeline/StateCodec.h"

namespace tempotally::testhost {
namespace {

constexpr int32_t Tag = 0x7A1;
constexpr int SkinBitmap = 101;
constexpr int32_t GraphSpan = 1536;
constexpr float GraphMargin = 0.01f;
constexpr uint32_t White = Rgb(255, 255, 255);
constexpr uint32_t LightGray = Rgb(192, 192, 192);
constexpr uint32_t DarkGray = Rgb(64, 64, 64);
constexpr uint32_t TextColour = Rgb(188, 187, 182);
constexpr uint32_t Tint = Rgb(198, 137, 132);
constexpr uint32_t WindowColour = Rgb(49, 55, 59);
constexpr RECT ReadoutArea = {48, 10, 230, 60};
constexpr RECT LabelArea = {10, 64, 230, 93};
// Each LED's top-left corner, in the order of PaintModel::leds.
constexpr POINT Leds[ToggleCount] = {{10, 66}, {55, 66}, {123, 66}, {178, 66}, {10, 82}, {103, 82}};

struct BytesReader final : StateReader {
  explicit BytesReader(const std::vector<uint8_t>& b) : bytes(b) {}
  uint32_t Read(void* data, uint32_t size) override {
    const size_t n = std::min<size_t>(size, bytes.size() - at);
    std::memcpy(data, bytes.data() + at, n);
    at += n;
    return static_cast<uint32_t>(n);
  }
  const std::vector<uint8_t>& bytes;
  size_t at = 0;
};

// A map of steps whose lengths fall and rise again, so the bars differ from column to column.
std::vector<state::MapPair> SteppedMap() {
  std::vector<state::MapPair> pairs;
  for (int32_t run = 0; run < 60; ++run) {
    const double seconds = 0.0052 - (run % 20) * 0.00012 + (run % 3) * 0.00005;
    pairs.push_back({run * 160, state::SingleBits(seconds)});
  }
  return pairs;
}

// Live entries of this process's GDI handle table. Wine 8 answers 0 to GetGuiResources and does
// not publish the table through the PEB here, but it takes a handle without the upper word as
// naming whatever object lives at that index; so every index is asked for its object's type.
constexpr uintptr_t GdiHandleIndices = 0x10000;
int LiveGdiObjects() {
  int live = 0;
  for (uintptr_t index = 1; index < GdiHandleIndices; ++index) {
    live += GetObjectType(reinterpret_cast<HGDIOBJ>(index)) != 0;
  }
  return live;
}

int Count(const Pixels& pixels, const RECT& area, uint32_t colour) {
  int n = 0;
  for (int y = area.top; y < area.bottom; ++y) {
    for (int x = area.left; x < area.right; ++x) n += pixels.At(x, y) == colour;
  }
  return n;
}

class EditorPaint : public ::testing::Test {
 protected:
  EditorPaint() : folder_("blackbox-paint"), module_(WindowsPath(TEMPOTALLY_DLL_PATH)) {}

  void SetUp() override {
    ASSERT_TRUE(folder_.Ready());
    ASSERT_TRUE(module_.HasFactory()) << "LoadLibrary error " << module_.LoadError();
    plug_ = module_.Create(host_, Tag);
    ASSERT_TRUE(plug_.Valid());
    frame_ = CreateWindowExA(0, "STATIC", "host frame", WS_POPUP | WS_VISIBLE | WS_CLIPCHILDREN, 0, 0,
                             300, 340,
                             nullptr, nullptr, nullptr, nullptr);
    ASSERT_NE(frame_, nullptr);
    plug_.Dispatch(PlugIdShowEditor, 0, reinterpret_cast<uintptr_t>(frame_));
    HBITMAP skin = LoadBitmapA(module_.Handle(), MAKEINTRESOURCEA(SkinBitmap));
    skin_ = BitmapPixels(skin);
    DeleteObject(skin);
    ASSERT_EQ(skin_.width, 480);
    ASSERT_TRUE(mirror_.Allocate());
    mirror_.ResetState();
  }
  void TearDown() override {
    if (plug_.Valid()) plug_.Release();
    if (frame_) DestroyWindow(frame_);
  }

  // Restores the same saved state into the plug-in and into the test's own engine.
  void Restore(const std::vector<std::pair<std::string, int32_t>>& keys) {
    const std::vector<uint8_t> bytes = state::Encode(state::KeysWith(keys), SteppedMap());
    state::Restore(plug_, bytes);
    BytesReader reader(bytes);
    RestoreState(mirror_, reader);
  }
  void MoveTo(double ticks) {
    host_.SetSongPosition(ticks);
    plug_.Dispatch(PlugIdSongPosition, 0, 0);
    mirror_.OnSongPosition(ticks);
  }
  void SetTimeSignature(int32_t a, int32_t b) {
    int32_t signature[3] = {a, b, 0};
    plug_.Dispatch(PlugIdTimeSignature, 0, reinterpret_cast<uintptr_t>(signature));
    std::memcpy(mirror_.timeSignature, signature, sizeof signature);
  }
  // The model of what the plug-in should show now, with the host's selection in beats.
  PaintModel Expected(double selectionStart = 0.0, double selectionEnd = 0.0) {
    mirror_.RefreshDisplayTime();
    PaintModel model;
    GraphView view{GraphSpan, GraphMargin, {selectionStart * 96, selectionEnd * 96}};
    BuildPaintModel(SnapshotOf(mirror_), view, model);
    return model;
  }
  Pixels Editor() { return CaptureWindow(plug_.EditorWindow()); }

  void ExpectLeds(const Pixels& shown, const PaintModel& model) {
    for (int led = 0; led < ToggleCount; ++led) {
      const int spriteX = 375 + 10 * model.leds[led];
      for (int y = 0; y < 10; ++y) {
        for (int x = 0; x < 10; ++x) {
          ASSERT_EQ(shown.At(Leds[led].x + x, Leds[led].y + y), skin_.At(spriteX + x, 195 + y))
              << "LED " << led << " pixel " << x << "," << y;
        }
      }
    }
  }

  // Every graph column from the marker's top to the bar's foot: bar colour from 195 - h to 193,
  // the skin elsewhere; the marker column dark grey from 110 to 193.
  void ExpectGraph(const Pixels& shown, const PaintModel& model) {
    for (int i = 0; i < GraphColumns; ++i) {
      const int x = GraphLeft + i;
      const GraphColumn& column = model.columns[i];
      for (int y = MarkerTop; y <= GraphBaseline; ++y) {
        uint32_t expected = skin_.At(x, y);
        if (column.drawn && y >= GraphBaseline - column.height && y < GraphBaseline - 1) {
          expected = column.brush == BarBrush::White ? White : LightGray;
        }
        if (model.markerShown && x == model.markerX && y < GraphBaseline - 1) expected = DarkGray;
        ASSERT_EQ(shown.At(x, y), expected) << "column " << i << " y " << y << " tick "
                                            << column.tick << " height " << column.height;
      }
    }
  }

  WorkingFolder folder_;
  PluginModule module_;
  TestHost host_;
  RawPlug plug_;
  HWND frame_ = nullptr;
  Pixels skin_;
  TimelineEngine mirror_;
};

TEST_F(EditorPaint, LedsGraphAndMarkerMatchTheModel) {
  const struct {
    std::vector<std::pair<std::string, int32_t>> keys;
    double position;
    int32_t signature[2];
    double selection[2];  // beats, answered by the host when "selection" is on
    bool marker;
  } cases[] = {
      {{}, 4000.0, {0, 0}, {0, 0}, true},
      {{{"freeze", 1}, {"lookahead", 0}, {"optimise", 4}, {"video", 1}}, 2500.0, {4, 4}, {0, 0}, true},
      {{{"videoontop", 1}, {"optimise", 1}}, 9000.0, {8, 2}, {0, 0}, true},
      {{}, 0.0, {3, 4}, {0, 0}, false},  // window clamped at tick 1, marker left of it
      {{{"selection", 1}}, 3000.0, {4, 4}, {20, 50}, true},
      {{{"selection", 1}}, 3000.0, {4, 4}, {0, 0}, false},  // only tick 1 drawn
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.position);
    Restore(c.keys);
    MoveTo(c.position);
    SetTimeSignature(c.signature[0], c.signature[1]);
    host_.SetSelection(c.selection[0], c.selection[1]);
    const size_t mark = host_.CallCount();
    const PaintModel model = Expected(c.selection[0], c.selection[1]);
    const Pixels shown = Editor();
    ASSERT_EQ(shown.height, 294);
    ExpectLeds(shown, model);
    ExpectGraph(shown, model);
    EXPECT_EQ(model.markerShown, c.marker);
    // With "selection" on, every paint asks the host with a zeroed record.
    int asked = 0;
    for (const HostCall& call : host_.CallsSince(mark)) {
      if (call.slot != HostDispatchSlot || call.id != IdSelection) continue;
      ++asked;
      EXPECT_TRUE(call.tag == Tag && call.index == 0 && call.hasRecord);
      for (uint8_t byte : call.arrived) EXPECT_EQ(byte, 0);
    }
    EXPECT_EQ(asked > 0, c.keys.size() == 1 && c.keys[0].first == "selection");
  }
}

TEST_F(EditorPaint, ReadoutIsTintedOnlyWhileAChangeIsRecent) {
  Restore({});
  host_.SetSongPosition(0.0);
  plug_.Dispatch(PlugIdTransport, 0, 1);
  auto tick = [&](double position) {
    host_.SetSongPosition(position);
    host_.SetHostTimeMs(position * 0.004 * 1000.0);  // 4 ms ticks: a change on the first one
    plug_.Tick();
  };
  tick(960.0);
  Pixels shown = Editor();
  EXPECT_GT(Count(shown, ReadoutArea, Tint), 20);
  EXPECT_EQ(Count(shown, ReadoutArea, TextColour), 0);
  EXPECT_EQ(Count(shown, LabelArea, Tint), 0);
  EXPECT_GT(Count(shown, LabelArea, TextColour), 0);

  for (int i = 1; i <= 96; ++i) tick(960.0 + i);
  shown = Editor();
  EXPECT_EQ(Count(shown, ReadoutArea, Tint), 0);
  EXPECT_GT(Count(shown, ReadoutArea, TextColour), 20);
}

TEST_F(EditorPaint, FoldLevelsShowWholePanels) {
  const struct {
    int level, height, lastPanelRow;
  } levels[] = {{1, 200, 195}, {2, 106, 99}, {0, 294, 288}};
  for (const auto& level : levels) {
    Restore({{"minimised", level.level}});
    const Pixels shown = Editor();
    ASSERT_EQ(shown.height, level.height) << level.level;
    ASSERT_EQ(shown.width, 240);
    for (int x = 0; x < shown.width; ++x) {
      // The panel's bottom frame line, then window colour down to the bottom edge.
      if (x >= 5 && x <= 233) {
        ASSERT_EQ(shown.At(x, level.lastPanelRow), skin_.At(x, level.lastPanelRow)) << x;
      }
      for (int y = level.lastPanelRow + 1; y < level.height; ++y) {
        ASSERT_EQ(shown.At(x, y), WindowColour) << level.level << ": " << x << "," << y;
      }
    }
  }
}

TEST_F(EditorPaint, TenThousandPaintsLeaveNoGdiObjectBehind) {
  Restore({{"selection", 1}, {"optimise", 4}});
  host_.SetSelection(10.0, 40.0);
  MoveTo(2000.0);
  Editor();  // the first paint may make objects that live on (cached by the system)
  const int before = LiveGdiObjects();
  ASSERT_GT(before, 0);
  // The counter sees objects come and go.
  std::vector<HBRUSH> brushes;
  for (int i = 0; i < 100; ++i) brushes.push_back(CreateSolidBrush(RGB(i, 0, 0)));
  EXPECT_EQ(LiveGdiObjects(), before + 100);
  for (HBRUSH brush : brushes) DeleteObject(brush);
  ASSERT_EQ(LiveGdiObjects(), before);

  const HWND editor = plug_.EditorWindow();
  for (int i = 0; i < 10000; ++i) RedrawWindow(editor, nullptr, nullptr, RDW_INVALIDATE | RDW_UPDATENOW);
  EXPECT_EQ(LiveGdiObjects(), before);
}

}  // namespace
}  // namespace tempotally::testhost
