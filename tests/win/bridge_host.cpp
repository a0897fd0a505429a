// The bridge as host of the wrapped player: its public data, the host dispatch ids it answers,
// alters or passes on, and host slots 1 to 37, all called by raw slot index and byte offset. The
// bridges here load no player; a raw fake stands in for the real host.
#include <gtest/gtest.h>
#include <windows.h>

#include <atomic>
#include <cstring>
#include <new>
#include <string>
#include <thread>
#include <vector>

#include "bridge/TFruityBridgePlugHost.h"
#include "tests/win/support/FakeRealHost.h"
#include "tests/win/support/RawStdcall.h"

namespace tempotally {
namespace {

using testsupport::BitsFloat;
using testsupport::CallDoubleSlot;
using testsupport::CallSlot;
using testsupport::FakeHostArity;
using testsupport::FakeHostCall;
using testsupport::FakeRealHost;
using testsupport::RawAnswer;

constexpr wchar_t NoPlayer[] = L"No Such Folder\\No Such Player.dll";
constexpr int32_t Tag = 0x7A6;
constexpr int32_t OtherTag = 0x1234;
constexpr size_t PublicDataOffset = 4;
constexpr int HostSlotTotal = 38;
constexpr int Slot37 = 37;

// Float argument positions (0-based, after the object) by host slot.
std::vector<int> FloatPositions(int slot) {
  switch (slot) {
    case 3:
      return {3};
    case 11:
    case 12:
      return {3, 4};
    case 24:
      return {4, 5, 6};
    case 31:
      return {2, 3};
    default:
      return {};
  }
}

// Signalling NaNs and other patterns an x87 load would alter.
constexpr uint32_t FloatPatterns[] = {0x7F800001u, 0xFFA00005u, 0x7FBFFFFFu, 0x00000001u};

uint32_t Word(const void* pointer) {
  return static_cast<uint32_t>(reinterpret_cast<uintptr_t>(pointer));
}

uint32_t RawWordAt(const void* object, size_t offset) {
  uint32_t word;
  std::memcpy(&word, static_cast<const char*>(object) + offset, sizeof word);
  return word;
}

class BridgeHost : public ::testing::Test {
 protected:
  void SetUp() override {
    bridge = new (std::nothrow) TFruityBridgePlugHost(host.As<TFruityPlugHost>(), NoPlayer, Tag);
    ASSERT_NE(bridge, nullptr);
    bare = new (std::nothrow) TFruityBridgePlugHost(nullptr, NoPlayer, Tag);
    ASSERT_NE(bare, nullptr);
  }
  void TearDown() override {
    delete bridge;
    delete bare;
  }

  // Host dispatch on a bridge by raw slot 0 with a caller tag the bridge must not pass on.
  static int32_t Dispatch(TFruityBridgePlugHost* target, int32_t id, int32_t index,
                          uintptr_t value) {
    return static_cast<int32_t>(
        CallSlot(target, 0,
                 {static_cast<uint32_t>(OtherTag), static_cast<uint32_t>(id),
                  static_cast<uint32_t>(index), static_cast<uint32_t>(value)})
            .eax);
  }

  FakeRealHost host;
  TFruityBridgePlugHost* bridge = nullptr;
  TFruityBridgePlugHost* bare = nullptr;
};

TEST_F(BridgeHost, WithoutPlayerHoldsNothing) {
  EXPECT_EQ(bridge->wrappedModule, nullptr);
  EXPECT_EQ(bridge->wrappedPlug, nullptr);
  EXPECT_EQ(bridge->videoWindow, nullptr);
  EXPECT_EQ(bridge->captionWindow, nullptr);
  EXPECT_FALSE(bridge->holdsClass);
  EXPECT_STREQ(bridge->playerPath, NoPlayer);
  EXPECT_EQ(bridge->VideoTime(), 0.0);
  EXPECT_EQ(bridge->slot2Enabled, 1);
  EXPECT_EQ(bridge->wantsTick, 0);
  EXPECT_TRUE(host.Calls().empty()) << "construction makes no host call of its own";
}

TEST_F(BridgeHost, PublicDataIsSnapshotOfRealHost) {
  EXPECT_EQ(RawWordAt(bridge, 192), Word(host.Object())) << "realHost at byte 192";
  for (int i = 0; i < HostPublicWords; ++i) {
    EXPECT_EQ(RawWordAt(bridge, PublicDataOffset + 4 * i), host.PublicWord(i)) << "word " << i;
  }
  host.PublicWord(0) = 1;
  EXPECT_EQ(RawWordAt(bridge, PublicDataOffset), testsupport::FakePublicBase) << "not kept in step";
}

TEST_F(BridgeHost, PublicDataDefaultsWithoutRealHost) {
  EXPECT_EQ(RawWordAt(bare, 192), 0u);
  EXPECT_EQ(RawWordAt(bare, PublicDataOffset), 11001000u);
  EXPECT_EQ(RawWordAt(bare, PublicDataOffset + 4), 0u);
  EXPECT_EQ(RawWordAt(bare, PublicDataOffset + 8), Word(GetModuleHandleA(nullptr)));
  for (int i = 3; i < HostPublicWords; ++i) {
    EXPECT_EQ(RawWordAt(bare, PublicDataOffset + 4 * i), 0u) << "word " << i;
  }
}

TEST_F(BridgeHost, ConsumedIdsNeverReachRealHost) {
  EXPECT_EQ(Dispatch(bridge, 2, 3, 4), 0);
  EXPECT_EQ(Dispatch(bridge, 23, 3, 4), 0);
  EXPECT_TRUE(host.Calls().empty());
}

TEST_F(BridgeHost, OtherIdsReachRealHostWithHostTag) {
  const int32_t ids[] = {0, 1, 3, 12, 35, 37, 38, 1000, -1, -36, INT32_MIN};
  for (int32_t id : ids) {
    host.Clear();
    const int32_t result = Dispatch(bridge, id, 0x55 + id, 0xABC0 + id);
    ASSERT_EQ(host.Calls().size(), 1u) << "id " << id;
    const FakeHostCall& call = host.Calls()[0];
    EXPECT_EQ(call.slot, 0);
    EXPECT_EQ(call.object, host.Object());
    EXPECT_EQ(call.words,
              (std::vector<uint32_t>{static_cast<uint32_t>(Tag), static_cast<uint32_t>(id),
                                     static_cast<uint32_t>(0x55 + id),
                                     static_cast<uint32_t>(0xABC0 + id)}))
        << "id " << id;
    EXPECT_EQ(result, static_cast<int32_t>(testsupport::FakeDispatchBase + id)) << "id " << id;
  }
}

TEST_F(BridgeHost, PassedOnIdsWithoutRealHostAnswerZero) {
  EXPECT_EQ(Dispatch(bare, 0, 1, 2), 0);
  EXPECT_EQ(Dispatch(bare, 37, 1, 2), 0);
  EXPECT_EQ(Dispatch(bare, -5, 1, 2), 0);
}

TEST_F(BridgeHost, Id13SetsSlot2EnabledOnlyForOne) {
  const struct {
    uintptr_t value;
    uint8_t expected;
  } cases[] = {{0, 0}, {1, 1}, {2, 0}, {1, 1}, {0xFFFFFFFFu, 0}, {0x101, 0}};
  for (const auto& c : cases) {
    EXPECT_EQ(Dispatch(bridge, 13, 0, c.value), 0);
    EXPECT_EQ(bridge->slot2Enabled, c.expected) << "value " << c.value;
  }
  EXPECT_TRUE(host.Calls().empty());
}

TEST_F(BridgeHost, Id36WithRealHostSubstitutesTimeOnly) {
  bridge->SetVideoTime(4321.75);
  for (int32_t index : {1, 0, 7}) {
    host.Clear();
    uint8_t record[16];
    std::memset(record, 0xCC, sizeof record);
    const int32_t result = Dispatch(bridge, 36, index, reinterpret_cast<uintptr_t>(record));
    ASSERT_EQ(host.Calls().size(), 1u);
    EXPECT_EQ(host.Calls()[0].words,
              (std::vector<uint32_t>{static_cast<uint32_t>(Tag), 36u, static_cast<uint32_t>(index),
                                     Word(record)}));
    EXPECT_EQ(result, static_cast<int32_t>(testsupport::FakeDispatchBase + 36));
    double time;
    std::memcpy(&time, record, sizeof time);
    EXPECT_EQ(time, 4321.75) << "index " << index;
    for (int i = 8; i < 16; ++i) {
      EXPECT_EQ(record[i], testsupport::FakeSongTimeTail + i) << "byte " << i << " is the host's";
    }
  }
}

TEST_F(BridgeHost, Id36WithoutRealHostWritesFirstDoubleOnly) {
  bare->SetVideoTime(-0.5);
  uint8_t record[16];
  std::memset(record, 0xCC, sizeof record);
  EXPECT_EQ(Dispatch(bare, 36, 1, reinterpret_cast<uintptr_t>(record)), 0);
  double time;
  std::memcpy(&time, record, sizeof time);
  EXPECT_EQ(time, -0.5);
  for (int i = 8; i < 16; ++i) EXPECT_EQ(record[i], 0xCC) << "byte " << i;
}

TEST_F(BridgeHost, Id36WithNullRecordWritesNothingButPassesOn) {
  bridge->SetVideoTime(1.0);
  EXPECT_EQ(Dispatch(bridge, 36, 1, 0), static_cast<int32_t>(testsupport::FakeDispatchBase + 36));
  ASSERT_EQ(host.Calls().size(), 1u);
  EXPECT_EQ(Dispatch(bare, 36, 1, 0), 0);
}

TEST_F(BridgeHost, Id36RecordNeedNotBeAligned) {
  alignas(8) uint8_t buffer[24] = {};
  bare->SetVideoTime(250.0);
  EXPECT_EQ(Dispatch(bare, 36, 1, reinterpret_cast<uintptr_t>(buffer + 3)), 0);
  double time;
  std::memcpy(&time, buffer + 3, sizeof time);
  EXPECT_EQ(time, 250.0);
}

// The mixing thread stores the time while the player asks for it on another thread: every answer
// is one of the times stored, never half of one and half of the other.
TEST_F(BridgeHost, Id36NeverTearsATimeStoredMeanwhile) {
  constexpr double A = 1.0;                  // words 0x3FF00000, 0x00000000
  constexpr double B = -2.0000000000000004;  // words 0xC0000000, 0x00000001: both differ
  constexpr int Queries = 1000000;
  bare->SetVideoTime(A);
  std::atomic<bool> stop{false};
  std::thread mixer([&] {
    for (bool a = true; !stop.load(std::memory_order_relaxed); a = !a) {
      bare->SetVideoTime(a ? A : B);
    }
  });
  int torn = 0;
  for (int i = 0; i < Queries && torn == 0; ++i) {
    double time = A;
    Dispatch(bare, 36, 1, reinterpret_cast<uintptr_t>(&time));
    torn += time != A && time != B;
  }
  stop = true;
  mixer.join();
  EXPECT_EQ(torn, 0);
}

TEST_F(BridgeHost, Id10SetsCaptionWindowTextAndIsConsumed) {
  HWND window = CreateWindowExA(0, "STATIC", "before", WS_POPUP, 0, 0, 10, 10, nullptr, nullptr,
                                nullptr, nullptr);
  ASSERT_NE(window, nullptr);
  char text[64];

  EXPECT_EQ(Dispatch(bridge, 10, 0, reinterpret_cast<uintptr_t>("ignored")), 0)
      << "no caption window: nothing set";

  bridge->captionWindow = window;
  EXPECT_NE(Dispatch(bridge, 10, 0, reinterpret_cast<uintptr_t>("Clip one")), 0);
  GetWindowTextA(window, text, sizeof text);
  EXPECT_STREQ(text, "Clip one");

  EXPECT_EQ(Dispatch(bridge, 10, 0, 0), 0) << "a null text pointer sets nothing";
  GetWindowTextA(window, text, sizeof text);
  EXPECT_STREQ(text, "Clip one");

  EXPECT_TRUE(host.Calls().empty());
  bridge->captionWindow = nullptr;
  DestroyWindow(window);
}

// Distinct argument words for a slot; floats get the awkward patterns.
std::vector<uint32_t> ArgumentsFor(int slot) {
  std::vector<uint32_t> words;
  for (int i = 0; i < FakeHostArity[slot]; ++i) words.push_back(0xA5000000u + slot * 0x100 + i);
  int next = 0;
  for (int position : FloatPositions(slot)) {
    words[position] = FloatPatterns[(slot + next++) % std::size(FloatPatterns)];
  }
  return words;
}

TEST_F(BridgeHost, Slots1To36PassArgumentsAndResultsUntouched) {
  for (int slot = 1; slot < Slot37; ++slot) {
    host.Clear();
    const std::vector<uint32_t> words = ArgumentsFor(slot);
    RawAnswer answer = testsupport::FakeSlotReturnsDouble(slot) ? CallDoubleSlot(bridge, slot)
                                                                : CallSlot(bridge, slot, words);
    EXPECT_EQ(answer.popped, 4u * (1 + words.size())) << "slot " << slot << " stack cleanup";
    ASSERT_EQ(host.Calls().size(), 1u) << "slot " << slot;
    const FakeHostCall& call = host.Calls()[0];
    EXPECT_EQ(call.slot, slot);
    EXPECT_EQ(call.object, host.Object()) << "slot " << slot;
    EXPECT_EQ(call.words, words) << "slot " << slot;
    if (testsupport::FakeSlotReturnsDouble(slot)) {
      EXPECT_EQ(answer.st0, testsupport::FakeDoubleResult(slot)) << "slot " << slot;
    } else if (testsupport::FakeSlotReturnsBool(slot)) {
      EXPECT_EQ(answer.eax & 0xFF, 1u) << "slot " << slot;
    }
  }
  const int intSlots[] = {6, 14, 16, 20, 25, 26};
  for (int slot : intSlots) {
    EXPECT_EQ(CallSlot(bridge, slot, ArgumentsFor(slot)).eax, testsupport::FakeResultBase + slot)
        << "slot " << slot;
  }
}

TEST_F(BridgeHost, FloatsStayThirtyTwoBitPatterns) {
  const uint32_t nan1 = 0x7F800001u, nan2 = 0xFFBFFFFEu, tiny = 0x00000003u;
  CallSlot(bridge, 3, {1, 2, 3, nan1});
  CallSlot(bridge, 11, {1, 2, 3, nan2, tiny, 6, 7});
  CallSlot(bridge, 24, {1, 2, 3, 4, nan1, nan2, tiny});
  CallSlot(bridge, 31, {1, 2, tiny, nan1});
  ASSERT_EQ(host.Calls().size(), 4u);
  EXPECT_EQ(host.Calls()[0].words[3], nan1);
  EXPECT_EQ(host.Calls()[1].words[3], nan2);
  EXPECT_EQ(host.Calls()[1].words[4], tiny);
  EXPECT_EQ(host.Calls()[2].words[4], nan1);
  EXPECT_EQ(host.Calls()[2].words[5], nan2);
  EXPECT_EQ(host.Calls()[2].words[6], tiny);
  EXPECT_EQ(host.Calls()[3].words[2], tiny);
  EXPECT_EQ(host.Calls()[3].words[3], nan1);
}

TEST_F(BridgeHost, SlotsWithoutRealHostReturnDefaultsAndCallNothing) {
  for (int slot = 1; slot < Slot37; ++slot) {
    const std::vector<uint32_t> words = ArgumentsFor(slot);
    RawAnswer answer = testsupport::FakeSlotReturnsDouble(slot) ? CallDoubleSlot(bare, slot)
                                                                : CallSlot(bare, slot, words);
    EXPECT_EQ(answer.popped, 4u * (1 + words.size())) << "slot " << slot << " stack cleanup";
    if (testsupport::FakeSlotReturnsDouble(slot)) {
      EXPECT_EQ(answer.st0, 0.0) << "slot " << slot;
    } else if (testsupport::FakeSlotReturnsBool(slot)) {
      EXPECT_EQ(answer.eax & 0xFF, 0u) << "slot " << slot;
    }
  }
  for (int slot : {6, 14, 16, 20, 25, 26}) {
    EXPECT_EQ(CallSlot(bare, slot, ArgumentsFor(slot)).eax, 0u) << "slot " << slot;
  }
  EXPECT_TRUE(host.Calls().empty());
}

TEST_F(BridgeHost, Slot37JumpsToRealHostWithAnyArguments) {
  const std::vector<uint32_t> words = {11, 22, 33, 0x7F800001u, 55};
  RawAnswer answer = CallSlot(bridge, Slot37, words);
  ASSERT_EQ(host.Calls().size(), 1u);
  EXPECT_EQ(host.Calls()[0].slot, Slot37);
  EXPECT_EQ(host.Calls()[0].object, host.Object()) << "the object becomes the real host";
  EXPECT_EQ(host.Calls()[0].words, words);
  EXPECT_EQ(answer.eax, testsupport::FakeResultBase + Slot37);
  EXPECT_EQ(answer.edx, testsupport::FakeResultHigh) << "a 64-bit result survives";
  EXPECT_EQ(answer.popped, 4u * (1 + words.size())) << "the real host's slot cleans the stack";

  host.Clear();
  host.SetSlot(Slot37, testsupport::Slot37ReturningDouble());
  answer = CallDoubleSlot(bridge, Slot37);
  ASSERT_EQ(host.Calls().size(), 1u);
  EXPECT_EQ(answer.st0, testsupport::FakeDoubleResult(Slot37));
  EXPECT_EQ(answer.popped, 4u);
}

TEST_F(BridgeHost, Slot37WithoutRealHostReturnsZeroTakingObjectOnly) {
  RawAnswer answer = CallSlot(bare, Slot37, {});
  EXPECT_EQ(answer.eax, 0u);
  EXPECT_EQ(answer.edx, 0u);
  EXPECT_EQ(answer.popped, 4u);
  EXPECT_TRUE(host.Calls().empty());
}

TEST_F(BridgeHost, TableHasEveryHostSlotInOrder) {
  // Slot n of the bridge's table reaches slot n of the real host, for every n.
  for (int slot = 0; slot < HostSlotTotal; ++slot) {
    host.Clear();
    if (testsupport::FakeSlotReturnsDouble(slot)) {
      CallDoubleSlot(bridge, slot);
    } else if (slot == 0) {
      CallSlot(bridge, 0, {0, 1, 0, 0});
    } else {
      CallSlot(bridge, slot, ArgumentsFor(slot));
    }
    ASSERT_EQ(host.Calls().size(), 1u) << "slot " << slot;
    EXPECT_EQ(host.Calls()[0].slot, slot);
  }
}

TEST(BridgePath, OverlongPathIsNotLoadedNorOverflowed) {
  const std::wstring longest(PlayerPathChars - 1, L'a');
  TFruityBridgePlugHost* fits =
      new (std::nothrow) TFruityBridgePlugHost(nullptr, longest.c_str(), 1);
  ASSERT_NE(fits, nullptr);
  EXPECT_EQ(std::wstring(fits->playerPath), longest);
  delete fits;

  const std::wstring tooLong(PlayerPathChars + 40, L'b');
  TFruityBridgePlugHost* refused =
      new (std::nothrow) TFruityBridgePlugHost(nullptr, tooLong.c_str(), 1);
  ASSERT_NE(refused, nullptr);
  EXPECT_EQ(refused->playerPath[0], L'\0');
  EXPECT_EQ(refused->wrappedModule, nullptr);
  EXPECT_EQ(refused->videoWindow, nullptr) << "the fields after the path are intact";
  EXPECT_EQ(refused->holdsClass, false);
  delete refused;

  TFruityBridgePlugHost* none = new (std::nothrow) TFruityBridgePlugHost(nullptr, nullptr, 1);
  ASSERT_NE(none, nullptr);
  EXPECT_EQ(none->wrappedModule, nullptr);
  delete none;
}

}  // namespace
}  // namespace tempotally
