// The video bridge as the plug-in object drives it: opening the player at construction (or running
// without one), the class count across instances, the guards on calls passed on to the player, and
// the order of teardown on release. Calls go through the plug-in's raw slots.
#include <gtest/gtest.h>
#include <windows.h>

#include <algorithm>
#include <memory>
#include <string>
#include <vector>

#include "bridge/TFruityBridgePlugHost.h"
#include "devhost/PlayerLayout.h"
#include "devhost/WorkingFolder.h"
#include "plugin/ORVAVSTExprPlug.h"
#include "tests/win/support/FakeRealHost.h"
#include "tests/win/support/RawStdcall.h"

namespace tempotally {
namespace {

using testhost::WorkingFolder;
using testsupport::CallSlot;
using testsupport::FakeRealHost;
using testsupport::InstallPlayer;
using testsupport::LoadedPlayer;
using testsupport::PathUnder;
using testsupport::PlayerSlot;
using testsupport::RelativePath;
using testsupport::StandInHold;

constexpr int32_t Tag = 0x0C0FFEE;
constexpr int SlotRelease = 0;
constexpr int SlotDispatch = 1;
constexpr int SlotTick = 14;

bool ClassRegistered(HMODULE module) {
  WNDCLASSEXA info = {};
  info.cbSize = sizeof info;
  return GetClassInfoExA(module, VideoWindowClassName, &info) != 0;
}

class PluginBridge : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(folder.Ready());
    ASSERT_EQ(videoClassCount, 0);
  }

  void TearDown() override {
    for (ORVAVSTExprPlug* plug : plugs) CallSlot(plug, SlotRelease, {});
    plugs.clear();
    EXPECT_EQ(videoClassCount, 0);
  }

  void InstallAndHold() {
    ASSERT_TRUE(InstallPlayer(STANDIN_PLAYER_DLL, PlayerSlot::Path1));
    hold = std::make_unique<StandInHold>(PathUnder("", RelativePath(PlayerSlot::Path1)));
    ASSERT_TRUE(hold->Loaded());
    hold->Api().Reset();
  }

  ORVAVSTExprPlug* Create() {
    ORVAVSTExprPlug* plug = ORVAVSTExprPlug::Create(host.As<TFruityPlugHost>(), Tag);
    if (plug) plugs.push_back(plug);
    return plug;
  }

  void ReleasePlug(ORVAVSTExprPlug* plug) {
    CallSlot(plug, SlotRelease, {});
    plugs.erase(std::find(plugs.begin(), plugs.end(), plug));
  }

  StandInRecord& Record() { return *hold->Record(); }

  std::vector<int32_t> DispatchIdsSeen() {
    std::vector<int32_t> ids;
    for (int i = 0; i < std::min<int>(Record().callCount, StandInMaxCalls); ++i) {
      if (Record().calls[i].slot == SlotDispatch)
        ids.push_back(static_cast<int32_t>(Record().calls[i].words[0]));
    }
    return ids;
  }

  WorkingFolder folder{"bridge_plugin.work"};
  std::unique_ptr<StandInHold> hold;
  FakeRealHost host;
  std::vector<ORVAVSTExprPlug*> plugs;
};

TEST_F(PluginBridge, WithoutPlayerThereIsNoBridgeNorWindow) {
  ORVAVSTExprPlug* plug = Create();
  ASSERT_NE(plug, nullptr);
  EXPECT_EQ(plug->videoBridge, nullptr);
  EXPECT_EQ(videoClassCount, 0);
  EXPECT_EQ(testsupport::FindOwnWindow(VideoWindowClassName), nullptr);
  EXPECT_EQ(CallSlot(plug, 6, {1, 2, 3}).eax, 2u) << "slot 6 answers its second argument";
}

TEST_F(PluginBridge, PlayerWithoutInstanceIsDiscardedAndUnloaded) {
  InstallAndHold();
  Record().failCreate = 1;
  ORVAVSTExprPlug* plug = Create();
  ASSERT_NE(plug, nullptr);
  EXPECT_EQ(Record().createCalls, 1);
  EXPECT_EQ(plug->videoBridge, nullptr);
  EXPECT_EQ(videoClassCount, 0);
  EXPECT_FALSE(ClassRegistered(hold->Module()));
  EXPECT_EQ(testsupport::FindOwnWindow(VideoWindowClassName), nullptr);
  hold.reset();
  EXPECT_EQ(LoadedPlayer(PlayerSlot::Path1), nullptr)
      << "the discarded bridge gave its module back";
}

TEST_F(PluginBridge, DispatchReachesPlayerAfterOwnHandlingExceptIdsZeroAndFive) {
  InstallAndHold();
  ORVAVSTExprPlug* plug = Create();
  ASSERT_NE(plug, nullptr);
  ASSERT_NE(plug->videoBridge, nullptr);
  HWND parent = CreateWindowExA(0, "STATIC", "", WS_POPUP, 0, 0, 300, 300, nullptr, nullptr,
                                nullptr, nullptr);
  hold->Api().Reset();
  const uint32_t parentWord = static_cast<uint32_t>(reinterpret_cast<uintptr_t>(parent));
  EXPECT_EQ(CallSlot(plug, SlotDispatch, {0, 0, parentWord}).eax, 0u);
  EXPECT_EQ(CallSlot(plug, SlotDispatch, {5, 0, 0}).eax, 0u);
  EXPECT_EQ(CallSlot(plug, SlotDispatch, {7, 1, 2}).eax, 0u) << "the player's answer is dropped";
  EXPECT_EQ(CallSlot(plug, SlotDispatch, {0, 0, 0}).eax, 0u);
  EXPECT_EQ(DispatchIdsSeen(), (std::vector<int32_t>{7}));
  DestroyWindow(parent);
}

TEST_F(PluginBridge, TickReachesOnlyAPlayerThatWantsIt) {
  InstallAndHold();
  ORVAVSTExprPlug* ticking = Create();
  Record().infoFlags = 0;
  ORVAVSTExprPlug* quiet = Create();
  ASSERT_TRUE(ticking && quiet && ticking->videoBridge && quiet->videoBridge);
  hold->Api().Reset();
  CallSlot(quiet, SlotTick, {});
  EXPECT_EQ(Record().slotCounts[SlotTick], 0);
  CallSlot(ticking, SlotTick, {});
  EXPECT_EQ(Record().slotCounts[SlotTick], 1);
  ASSERT_EQ(Record().timeCount, 1);
  EXPECT_EQ(Record().toldTimes[0], ticking->videoBridge->VideoTime());
}

TEST_F(PluginBridge, ClassIsCountedAcrossInstances) {
  InstallAndHold();
  HMODULE module = hold->Module();
  ORVAVSTExprPlug* first = Create();
  ORVAVSTExprPlug* second = Create();
  ASSERT_TRUE(first && second && first->videoBridge && second->videoBridge);
  EXPECT_EQ(videoClassCount, 2);
  EXPECT_TRUE(ClassRegistered(module));

  ReleasePlug(first);
  EXPECT_EQ(videoClassCount, 1);
  EXPECT_TRUE(ClassRegistered(module));
  ReleasePlug(second);
  EXPECT_EQ(videoClassCount, 0);
  EXPECT_FALSE(ClassRegistered(module));

  ORVAVSTExprPlug* third = Create();
  ASSERT_TRUE(third && third->videoBridge);
  EXPECT_EQ(videoClassCount, 1);
  EXPECT_TRUE(ClassRegistered(module));
  EXPECT_NE(third->videoBridge->videoWindow, nullptr);
}

TEST_F(PluginBridge, ReleaseEndsPlayerBeforeItsWindowAndUnloadsIt) {
  ASSERT_TRUE(InstallPlayer(STANDIN_PLAYER_DLL, PlayerSlot::Path1));
  ORVAVSTExprPlug* plug = Create();
  ASSERT_TRUE(plug && plug->videoBridge);
  HWND window = plug->videoBridge->videoWindow;
  ASSERT_NE(window, nullptr);
  ReleasePlug(plug);
  EXPECT_FALSE(IsWindow(window));
  EXPECT_EQ(LoadedPlayer(PlayerSlot::Path1), nullptr);
  EXPECT_EQ(testsupport::FindOwnWindow(VideoWindowClassName), nullptr);

  // The record goes with the module, so the order is watched on a held copy.
  InstallAndHold();
  ORVAVSTExprPlug* watched = Create();
  ASSERT_TRUE(watched && watched->videoBridge);
  ReleasePlug(watched);
  EXPECT_EQ(Record().releases, 1);
  EXPECT_EQ(Record().parentAliveAtRelease, 1) << "the video window outlives the player's editor";
  EXPECT_EQ(Record().liveInstances, 0);
}

// A player that appears at path 1 while an instance runs the one from path 2 is a second module.
// Each video window is made under its own module's registration of the class and shows its
// player, whichever instance goes first.
TEST_F(PluginBridge, PlayersFromBothPathsEachGetAWindow) {
  for (bool olderFirst : {true, false}) {
    SCOPED_TRACE(olderFirst ? "older released first" : "newer released first");
    ASSERT_TRUE(testsupport::RemovePlayer(PlayerSlot::Path1));
    ASSERT_TRUE(InstallPlayer(STANDIN_PLAYER_DLL, PlayerSlot::Path2));
    ORVAVSTExprPlug* older = Create();
    ASSERT_TRUE(InstallPlayer(STANDIN_PLAYER_DLL, PlayerSlot::Path1));
    ORVAVSTExprPlug* newer = Create();
    ASSERT_TRUE(older && newer && older->videoBridge && newer->videoBridge);
    ASSERT_NE(older->videoBridge->wrappedModule, newer->videoBridge->wrappedModule);
    EXPECT_EQ(videoClassCount, 2);
    for (ORVAVSTExprPlug* plug : {older, newer}) {
      const TFruityBridgePlugHost& bridge = *plug->videoBridge;
      ASSERT_NE(bridge.videoWindow, nullptr);
      EXPECT_NE(bridge.wrappedEditor, nullptr);
      EXPECT_EQ(FindWindowExA(bridge.videoWindow, nullptr, nullptr, nullptr), bridge.wrappedEditor);
      EXPECT_EQ(GetWindowLongPtrA(bridge.videoWindow, GWLP_HINSTANCE),
                reinterpret_cast<LONG_PTR>(bridge.wrappedModule));
    }
    ORVAVSTExprPlug* first = olderFirst ? older : newer;
    ORVAVSTExprPlug* second = olderFirst ? newer : older;
    const HMODULE firstModule = first->videoBridge->wrappedModule;
    const HMODULE secondModule = second->videoBridge->wrappedModule;
    ReleasePlug(first);
    EXPECT_FALSE(ClassRegistered(firstModule));
    EXPECT_TRUE(ClassRegistered(secondModule));
    EXPECT_TRUE(IsWindow(second->videoBridge->wrappedEditor));
    EXPECT_EQ(videoClassCount, 1);
    ReleasePlug(second);
    EXPECT_FALSE(ClassRegistered(secondModule));
    EXPECT_EQ(LoadedPlayer(PlayerSlot::Path1), nullptr);
    EXPECT_EQ(LoadedPlayer(PlayerSlot::Path2), nullptr);
  }
}

}  // namespace
}  // namespace tempotally
