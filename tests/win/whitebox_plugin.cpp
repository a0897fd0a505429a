// The plug-in object from the inside: construction and release, the shared editor resources, the
// editor's parenting, the dispatch ids the plug-in handles itself, and running out of memory.
#include <gtest/gtest.h>
#include <windows.h>

#include <cstdlib>
#include <cstring>
#include <new>
#include <vector>

#include "devhost/WindowPixels.h"
#include "editor/Editor.h"
#include "plugin/ORVAVSTExprPlug.h"

using namespace tempotally;

// Allocation accounting for this test program, with an optional failure of the n-th allocation.
namespace {
int liveAllocations = 0;
int allocationsUntilFailure = -1;  // -1: never fail
}  // namespace

void* CountedAllocation(std::size_t size) {
  void* p = std::malloc(size ? size : 1);
  if (p) {
    ++liveAllocations;
    std::memset(p, 0xCD, size);  // so that a field left unset shows
  }
  return p;
}
// Only the non-throwing form fails on request: the plug-in allocates with it alone.
void* operator new(std::size_t size) {
  void* p = CountedAllocation(size);
  if (!p) std::abort();
  return p;
}
void* operator new(std::size_t size, const std::nothrow_t&) noexcept {
  if (allocationsUntilFailure == 0) return nullptr;
  if (allocationsUntilFailure > 0) --allocationsUntilFailure;
  return CountedAllocation(size);
}
void* operator new[](std::size_t size) { return operator new(size); }
void* operator new[](std::size_t size, const std::nothrow_t& t) noexcept {
  return operator new(size, t);
}
void CountedFree(void* p) {
  if (p) --liveAllocations;
  std::free(p);
}
void operator delete(void* p) noexcept { CountedFree(p); }
void operator delete(void* p, std::size_t) noexcept { CountedFree(p); }
void operator delete[](void* p) noexcept { CountedFree(p); }
void operator delete[](void* p, std::size_t) noexcept { CountedFree(p); }

namespace {

// A host that records the dispatch ids it sees and answers the song position.
class FakeHost final : public TFruityPlugHost {
 public:
  struct Call {
    int32_t tag, id, index;
    TWord value;
  };
  std::vector<Call> dispatches;
  int songPositionCalls = 0;
  double position = 0.0;
  double timeMs = 0.0;

  FakeHost() { std::memset(hostPublic, 0, sizeof hostPublic); }
  int32_t __stdcall HostDispatch(int32_t tag, int32_t id, int32_t index, TWord value) override {
    dispatches.push_back({tag, id, index, value});
    if (id == HostId::SongTime && value) reinterpret_cast<double*>(value)[0] = timeMs;
    return 0;
  }
  void __stdcall HostCall1(TWord, TWord, TWord) override {}
  void __stdcall HostCall2(TWord, TWord) override {}
  void __stdcall HostCall3(TWord, TWord, TWord, float) override {}
  void __stdcall HostCall4(TWord) override {}
  void __stdcall HostCall5(TWord, TWord) override {}
  int32_t __stdcall HostCall6(TWord, TWord, TWord, TWord) override { return 0; }
  void __stdcall HostCall7() override {}
  void __stdcall HostCall8() override {}
  void __stdcall HostCall9(TWord, TWord) override {}
  void __stdcall HostCall10(TWord, TWord) override {}
  void __stdcall HostCall11(TWord, TWord, TWord, float, float, TWord, TWord) override {}
  void __stdcall HostCall12(TWord, TWord, TWord, float, float, TWord, TWord) override {}
  bool __stdcall HostCall13(TWord, TWord, TWord, TWord) override { return false; }
  int32_t __stdcall HostCall14(TWord, TWord) override { return 0; }
  void __stdcall HostCall15(TWord) override {}
  int32_t __stdcall HostCall16() override { return 0; }
  double __stdcall SongPosition() override {
    ++songPositionCalls;
    return position;
  }
  double __stdcall HostCall18() override { return 0.0; }
  void __stdcall HostCall19(TWord, TWord, TWord) override {}
  int32_t __stdcall HostCall20(TWord) override { return 0; }
  void __stdcall HostCall21(TWord, TWord) override {}
  void __stdcall HostCall22(TWord, TWord) override {}
  void __stdcall HostCall23(TWord, TWord) override {}
  void __stdcall HostCall24(TWord, TWord, TWord, TWord, float, float, float) override {}
  int32_t __stdcall HostCall25(TWord) override { return 0; }
  int32_t __stdcall HostCall26(TWord, TWord) override { return 0; }
  bool __stdcall HostCall27(TWord, TWord, TWord, TWord, TWord) override { return false; }
  void __stdcall HostCall28() override {}
  void __stdcall HostCall29() override {}
  void __stdcall HostCall30(TWord, TWord, TWord) override {}
  void __stdcall HostCall31(TWord, TWord, float, float) override {}
  void __stdcall HostCall32(TWord) override {}
  void __stdcall HostCall33(TWord) override {}
  void __stdcall HostCall34() override {}
  void __stdcall HostCall35() override {}
  void __stdcall HostCall36(TWord, TWord, TWord) override {}
  void __stdcall HostCall37() override {}
};

// These tests run in a folder without a video player, so every object is bridge-less.
class PluginObject : public ::testing::Test {
 protected:
  FakeHost host;
  ORVAVSTExprPlug* Make(int32_t tag = 7) {
    ORVAVSTExprPlug* plug = ORVAVSTExprPlug::Create(&host, tag);
    EXPECT_NE(plug, nullptr);
    return plug;
  }
};

TEST_F(PluginObject, ConstructionGivesEveryFieldItsStartingValue) {
  ORVAVSTExprPlug* plug = Make(42);
  EXPECT_EQ(plug->instanceTag, 42);
  EXPECT_EQ(plug->pluginInfo, &TempotallyInfo);
  EXPECT_EQ(plug->host.Object(), &host);
  ASSERT_EQ(host.dispatches.size(), 1u);
  EXPECT_EQ(host.dispatches[0].tag, 42);
  EXPECT_EQ(host.dispatches[0].id, HostId::Created);
  EXPECT_EQ(host.dispatches[0].index, 0);
  EXPECT_EQ(host.dispatches[0].value, 0);

  EXPECT_EQ(plug->editor.parent, nullptr);
  EXPECT_EQ(plug->editor.shown, 0);
  EXPECT_EQ(plug->editor.graphSpan, 1536);
  uint32_t marginBits;
  std::memcpy(&marginBits, &plug->editor.graphMargin, sizeof marginBits);
  EXPECT_EQ(marginBits, 0x3C23D70Au);
  EXPECT_EQ(plug->moduleInstance, GetModuleHandleA(nullptr));
  EXPECT_EQ(plug->videoBridge, nullptr);

  const TimelineEngine& t = plug->timeline.Unshared();
  EXPECT_EQ(t.options.freeze + t.options.video + t.options.videoontop + t.options.selection +
                t.options.minimised,
            0);
  EXPECT_EQ(t.options.lookahead, 1);
  EXPECT_EQ(t.options.optimise, 1) << "Optimise starts on, which is step 1";
  EXPECT_EQ(t.options.winwidth, 640);
  EXPECT_EQ(t.options.winheight, 480);
  ASSERT_NE(t.tickDurations, nullptr);
  ASSERT_NE(t.beatSums, nullptr);
  for (int i = 0; i < MapTicks; ++i) ASSERT_EQ(t.tickDurations[i], 0.0) << i;
  plug->Release();
}

TEST_F(PluginObject, EditorDialogIsBoundDuringCreationAndStaysHidden) {
  ORVAVSTExprPlug* plug = Make();
  HWND editor = plug->editorWindow;
  ASSERT_NE(editor, nullptr);
  EXPECT_EQ(GetWindowLongA(editor, GWL_USERDATA), reinterpret_cast<LONG>(&plug->editor));
  EXPECT_FALSE(IsWindowVisible(editor));
  EXPECT_EQ(GetAncestor(editor, GA_PARENT), GetDesktopWindow());
  plug->Release();
  EXPECT_FALSE(IsWindow(editor));
}

TEST_F(PluginObject, SharedResourcesFollowTheLiveInstanceCount) {
  ORVAVSTExprPlug* first = Make();
  EXPECT_EQ(editorInstanceCount, 1);
  const HFONT made = sharedGdi.titleFont;
  ASSERT_NE(made, nullptr);
  ORVAVSTExprPlug* second = Make();
  EXPECT_EQ(editorInstanceCount, 2);
  EXPECT_EQ(sharedGdi.titleFont, made) << "the second instance reuses the set";
  first->Release();
  EXPECT_EQ(editorInstanceCount, 1);
  EXPECT_EQ(sharedGdi.titleFont, made);
  second->Release();
  EXPECT_EQ(editorInstanceCount, 0);
  EXPECT_EQ(sharedGdi.titleFont, nullptr);
  ORVAVSTExprPlug* third = Make();
  EXPECT_NE(sharedGdi.titleFont, nullptr) << "a later instance makes the set again";
  third->Release();
}

TEST_F(PluginObject, EditorIsParentedShownHiddenAndUnparented) {
  HWND frame = CreateWindowExA(0, "STATIC", "frame", WS_OVERLAPPEDWINDOW, 0, 0, 400, 400, nullptr,
                               nullptr, nullptr, nullptr);
  ASSERT_NE(frame, nullptr);
  ORVAVSTExprPlug* plug = Make();
  EXPECT_EQ(plug->Dispatch(PlugId::ShowEditor, 0, reinterpret_cast<TWord>(frame)), 0);
  EXPECT_EQ(plug->editor.shown, 1);
  EXPECT_EQ(plug->editor.parent, frame);
  EXPECT_EQ(GetAncestor(plug->editorWindow, GA_PARENT), frame);
  EXPECT_TRUE(GetWindowLongA(plug->editorWindow, GWL_STYLE) & WS_VISIBLE);

  plug->Dispatch(PlugId::ShowEditor, 0, 0);
  EXPECT_EQ(plug->editor.shown, 0);
  EXPECT_EQ(plug->editor.parent, frame) << "the last parent is kept";
  EXPECT_EQ(GetAncestor(plug->editorWindow, GA_PARENT), GetDesktopWindow());
  EXPECT_FALSE(IsWindowVisible(plug->editorWindow));

  // Released while parented: the editor is destroyed inside the host's window.
  plug->Dispatch(PlugId::ShowEditor, 0, reinterpret_cast<TWord>(frame));
  HWND editor = plug->editorWindow;
  plug->Release();
  EXPECT_FALSE(IsWindow(editor));
  EXPECT_TRUE(IsWindow(frame));
  DestroyWindow(frame);
}

// A host that gave no object: every call the plug-in would make on it is skipped, and a tick
// keeps the last position.
TEST_F(PluginObject, WithoutAHostNothingIsAskedAndTheObjectStillWorks) {
  ORVAVSTExprPlug* plug = ORVAVSTExprPlug::Create(nullptr, 3);
  ASSERT_NE(plug, nullptr);
  EXPECT_EQ(plug->host.Object(), nullptr);
  double position = 12.5;
  EXPECT_FALSE(plug->host.SongPosition(position));
  EXPECT_EQ(position, 12.5);
  plug->timeline.Unshared().songPosition = 96.0;
  plug->Dispatch(PlugId::SongPosition, 0, 0);
  plug->Dispatch(PlugId::Transport, 0, 1);
  plug->Tick();
  EXPECT_EQ(plug->timeline.Unshared().songPosition, 96.0);
  plug->Release();
}

TEST_F(PluginObject, TransportPositionAndTimeSignatureReachTheEngine) {
  ORVAVSTExprPlug* plug = Make();
  plug->timeline.Unshared().recentChange = 50;
  plug->timeline.Unshared().playStarted = 1;
  plug->Dispatch(PlugId::Transport, 0, 1);
  EXPECT_EQ(plug->timeline.Unshared().playing, 1);
  EXPECT_EQ(plug->timeline.Unshared().playStarted, 0);
  EXPECT_EQ(plug->timeline.Unshared().recentChange, 0);
  plug->Dispatch(PlugId::Transport, 0, 2);
  EXPECT_EQ(plug->timeline.Unshared().playing, 0) << "only 1 means playing";

  host.position = 1234.75;
  plug->Dispatch(PlugId::SongPosition, 0, 0);
  EXPECT_EQ(plug->timeline.Unshared().songPosition, 1234.75);
  EXPECT_EQ(plug->timeline.Unshared().currentTick, 1234);

  int32_t signature[3] = {3, 4, 96};
  plug->Dispatch(PlugId::TimeSignature, 0, reinterpret_cast<TWord>(signature));
  EXPECT_EQ(std::memcmp(plug->timeline.Unshared().timeSignature, signature, sizeof signature), 0);
  EXPECT_EQ(plug->Dispatch(PlugId::TimeSignature, 0, 0), 0);  // a null address changes nothing
  EXPECT_EQ(std::memcmp(plug->timeline.Unshared().timeSignature, signature, sizeof signature), 0);
  plug->Release();
}

TEST_F(PluginObject, ATickAsksTheHostThenRecordsAndAdvances) {
  ORVAVSTExprPlug* plug = Make(9);
  host.dispatches.clear();
  plug->Dispatch(PlugId::Transport, 0, 1);
  host.position = 192.0;                      // beat 2
  host.timeMs = 192.0 * 1000.0 * 0.5 / 96.0;  // 120 BPM since the start
  plug->Tick();
  ASSERT_EQ(host.dispatches.size(), 2u);
  EXPECT_EQ(host.dispatches[0].id, HostId::SongTime);
  EXPECT_EQ(host.dispatches[0].index, 1);
  EXPECT_EQ(host.dispatches[0].tag, 9);
  // The host fills a record of the call's own; the engine takes it in the tick's own step.
  EXPECT_NE(host.dispatches[0].value, 0u);
  EXPECT_EQ(plug->timeline.Unshared().hostTime[0], host.timeMs);
  EXPECT_EQ(host.dispatches[1].id, HostId::TickInfo);
  EXPECT_EQ(host.dispatches[1].value, reinterpret_cast<TWord>(plug->hostInfo39));
  EXPECT_EQ(host.songPositionCalls, 1);
  EXPECT_EQ(plug->timeline.Unshared().currentTick, 193);
  EXPECT_EQ(plug->timeline.Unshared().recentChange, 95);
  const double tick = 0.5 / 96.0;
  EXPECT_NEAR(plug->timeline.Unshared().tickDurations[0], tick, 1e-15);
  EXPECT_NEAR(plug->timeline.Unshared().tickDurations[95999], tick, 1e-15);
  plug->Release();
}

TEST_F(PluginObject, DestructorSlotAloneTearsDownButKeepsTheObjectsMemory) {
  ORVAVSTExprPlug* plug = Make();
  ORVAVSTExprPlug* other = Make();
  const HWND editor = plug->editorWindow;
  ASSERT_TRUE(IsWindow(editor));
  for (int32_t word : plug->hostReserved) ASSERT_EQ(word, 0);  // the allocator fills with 0xCD
  // Slot 18 through the raw table, as a host would call it, without release and the free flag.
  using DestroyFn = void*(__stdcall*)(void*, uint32_t);
  void** table = *reinterpret_cast<void***>(plug);
  void* result = reinterpret_cast<DestroyFn>(table[18])(plug, 0);
  EXPECT_EQ(result, plug);
  // The editor went with the object, so no later message reaches freed memory, and the count
  // and the shared resources are as if release had run.
  EXPECT_FALSE(IsWindow(editor));
  EXPECT_EQ(editorInstanceCount, 1);
  EXPECT_NE(sharedGdi.titleFont, nullptr);
  ::operator delete(static_cast<void*>(plug));
  other->Release();
  EXPECT_EQ(editorInstanceCount, 0);
  EXPECT_EQ(sharedGdi.titleFont, nullptr);
}

TEST_F(PluginObject, RunningOutOfMemoryAnywhereInConstructionLeavesNothingBehind) {
  host.dispatches.reserve(64);  // the host's own record must not count as the plug-in's
  const int baseline = liveAllocations;
  int failures = 0;
  for (int n = 0; n < 16; ++n) {
    allocationsUntilFailure = n;
    ORVAVSTExprPlug* plug = ORVAVSTExprPlug::Create(&host, 1);
    allocationsUntilFailure = -1;
    if (plug) {
      plug->Release();
    } else {
      ++failures;
      EXPECT_EQ(editorInstanceCount, 0) << "failure at allocation " << n;
      EXPECT_EQ(sharedGdi.titleFont, nullptr);
    }
    EXPECT_EQ(liveAllocations, baseline) << "leak after failing allocation " << n;
  }
  EXPECT_GE(failures, 3) << "the object and both arrays can each fail";
}

TEST_F(PluginObject, WithoutTheSkinTheEditorDrawsNothing) {
  HWND frame = CreateWindowExA(0, "STATIC", "frame", WS_POPUP | WS_VISIBLE | WS_CLIPCHILDREN, 0, 0,
                               300, 340, nullptr, nullptr, nullptr, nullptr);
  ORVAVSTExprPlug* plug = Make();
  ASSERT_NE(sharedGdi.skinBitmap, nullptr) << "the skin is loaded from the module";
  plug->Dispatch(PlugId::ShowEditor, 0, reinterpret_cast<TWord>(frame));
  plug->editor.ApplyFoldHeight();
  const HBITMAP skin = sharedGdi.skinBitmap;
  sharedGdi.skinBitmap = nullptr;
  constexpr uint32_t Marker = testhost::Rgb(255, 0, 255);
  HDC dc = GetDC(plug->editorWindow);
  HBRUSH brush = CreateSolidBrush(RGB(255, 0, 255));
  RECT all{0, 0, 240, 294};
  FillRect(dc, &all, brush);
  DeleteObject(brush);
  ReleaseDC(plug->editorWindow, dc);
  const size_t dispatches = host.dispatches.size();
  testhost::Pixels shown = testhost::CaptureWindow(plug->editorWindow);
  ASSERT_EQ(shown.height, 294);
  for (uint32_t pixel : shown.rgb) ASSERT_EQ(pixel, Marker) << "nothing is drawn or erased";
  EXPECT_EQ(host.dispatches.size(), dispatches) << "nor is the host asked anything";

  sharedGdi.skinBitmap = skin;
  shown = testhost::CaptureWindow(plug->editorWindow);
  EXPECT_EQ(shown.At(0, 0), testhost::Rgb(49, 55, 59)) << "with the skin back, the paint covers it";
  plug->Release();
  DestroyWindow(frame);
}

}  // namespace
