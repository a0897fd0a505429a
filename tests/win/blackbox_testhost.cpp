// The test host itself, called the way a plug-in from another compiler calls its host: every slot
// must take exactly its arguments off the stack, record them unchanged (floats bit for bit) and
// give the answer the test set. Every other black-box test stands on this.
#include <gtest/gtest.h>

#include <cstring>
#include <vector>

#include "devhost/TestHost.h"
#include "devhost/SongSimulator.h"
#include "tests/win/support/RawStdcall.h"

namespace tempotally::testhost {
namespace {

using testsupport::RawAnswer;
using testsupport::RawStdcall;

enum class Result { None, Int, Truth, Double };

struct SlotShape {
  int words;  // after the object
  Result result;
};

// The host interface's slots: argument words after the object, and the kind of result.
// clang-format off
constexpr SlotShape Shapes[HostSlots] = {
    {4, Result::Int},     // 0: dispatch: tag, id, index, value
    {3, Result::None},    // 1
    {2, Result::None},    // 2
    {4, Result::None},    // 3: 3 words, 1 float
    {1, Result::None},    // 4
    {2, Result::None},    // 5
    {4, Result::Int},     // 6
    {0, Result::None},    // 7
    {0, Result::None},    // 8
    {2, Result::None},    // 9
    {2, Result::None},    // 10
    {7, Result::None},    // 11: 3 words, 2 floats, 2 words
    {7, Result::None},    // 12: 3 words, 2 floats, 2 words
    {4, Result::Truth},   // 13
    {2, Result::Int},     // 14
    {1, Result::None},    // 15
    {0, Result::Int},     // 16
    {0, Result::Double},  // 17: song position
    {0, Result::Double},  // 18
    {3, Result::None},    // 19
    {1, Result::Int},     // 20
    {2, Result::None},    // 21
    {2, Result::None},    // 22
    {2, Result::None},    // 23
    {7, Result::None},    // 24: 4 words, 3 floats
    {1, Result::Int},     // 25
    {2, Result::Int},     // 26
    {5, Result::Truth},   // 27
    {0, Result::None},    // 28
    {0, Result::None},    // 29
    {3, Result::None},    // 30
    {4, Result::None},    // 31: 2 words, 2 floats
    {1, Result::None},    // 32
    {1, Result::None},    // 33
    {0, Result::None},    // 34
    {0, Result::None},    // 35
    {3, Result::None},    // 36
    {0, Result::None},    // 37: arguments left open; this host takes none
};
// clang-format on

constexpr uint32_t SignallingNanBase = 0x7FA00000;

RawAnswer CallHost(TestHost& host, int slot, const std::vector<uint32_t>& args, bool wantDouble) {
  auto* object = static_cast<RawHostObject*>(host.Object());
  std::vector<uint32_t> words = {static_cast<uint32_t>(reinterpret_cast<uintptr_t>(object))};
  words.insert(words.end(), args.begin(), args.end());
  RawAnswer answer;
  answer.wantDouble = wantDouble ? 1 : 0;
  RawStdcall(object->table[slot], words.data(), static_cast<int32_t>(words.size()), &answer);
  return answer;
}

TEST(TestHostTable, EverySlotTakesItsArgumentsAndRecordsThem) {
  TestHost host;
  host.SetSongPosition(1234.5);
  host.SetSlot18Result(-0.25);
  for (int slot = 1; slot < HostSlots; ++slot) {
    const SlotShape shape = Shapes[slot];
    host.SetSlotResult(slot, 0x100 + slot);
    std::vector<uint32_t> args;
    // Distinct words that are all signalling NaNs as floats, so float arguments show any change.
    for (int i = 0; i < shape.words; ++i) args.push_back(SignallingNanBase | slot << 8 | i);
    host.ClearCalls();
    const RawAnswer answer = CallHost(host, slot, args, shape.result == Result::Double);
    EXPECT_EQ(answer.popped, 4u * (1 + args.size())) << "slot " << slot;
    ASSERT_EQ(host.CallCount(), 1u) << "slot " << slot;
    EXPECT_EQ(host.Calls()[0].slot, slot);
    EXPECT_EQ(host.Calls()[0].words, args) << "slot " << slot;
    switch (shape.result) {
      case Result::Int:
        EXPECT_EQ(answer.eax, 0x100u + slot) << "slot " << slot;
        break;
      case Result::Truth:
        EXPECT_EQ(answer.eax & 0xFF, 1u) << "slot " << slot;
        break;
      case Result::Double:
        EXPECT_EQ(answer.st0, slot == HostSongPositionSlot ? 1234.5 : -0.25) << "slot " << slot;
        break;
      case Result::None:
        break;
    }
  }
}

TEST(TestHostTable, DispatchFillsRecordsAndRecordsWhatArrived) {
  TestHost host;
  host.SetHostTimeMs(2500.0);
  host.SetSelection(4.0, 8.5);
  std::array<uint8_t, HostRecordBytes> info;
  info.fill(0x39);
  host.SetTickInfo(info);
  host.SetDispatchResult(IdSongTime, 77);

  double record[2] = {-1.0, -2.0};
  const uint32_t address = static_cast<uint32_t>(reinterpret_cast<uintptr_t>(record));
  RawAnswer answer = CallHost(host, HostDispatchSlot, {5, IdSongTime, 1, address}, false);
  EXPECT_EQ(answer.popped, 20u);
  EXPECT_EQ(answer.eax, 77u);
  EXPECT_EQ(record[0], 2500.0);
  EXPECT_EQ(record[1], -2.0);  // untouched unless a tail is set
  const HostCall& call = host.Calls()[0];
  EXPECT_EQ(call.tag, 5);
  EXPECT_EQ(call.index, 1);
  EXPECT_EQ(call.value, address);
  ASSERT_TRUE(call.hasRecord);
  double arrived[2];
  std::memcpy(arrived, call.arrived.data(), sizeof arrived);
  EXPECT_EQ(arrived[0], -1.0);
  EXPECT_EQ(arrived[1], -2.0);

  CallHost(host, HostDispatchSlot, {5, IdSelection, 0, address}, false);
  EXPECT_EQ(record[0], 4.0);
  EXPECT_EQ(record[1], 8.5);
  CallHost(host, HostDispatchSlot, {5, IdTickInfo, 1, address}, false);
  EXPECT_EQ(std::memcmp(record, info.data(), sizeof record), 0);

  // A null record is only recorded; other ids answer their set result.
  EXPECT_EQ(CallHost(host, HostDispatchSlot, {5, IdSongTime, 1, 0}, false).eax, 77u);
  EXPECT_FALSE(host.Calls().back().hasRecord);
  host.SetDispatchResult(-3, -9);
  EXPECT_EQ(
      static_cast<int32_t>(CallHost(host, HostDispatchSlot, {5, 0xFFFFFFFDu, 0, 0}, false).eax),
      -9);
  EXPECT_EQ(host.DispatchesWithId(IdSongTime).size(), 2u);
}

TEST(TestHostTable, FollowsTheSongWhenGivenOne) {
  TestHost host;
  song::SongSimulator song(song::TempoAutomation::DefaultSong());
  song.JumpTo(96.0 * 40);
  host.FollowSong(&song);
  EXPECT_EQ(CallHost(host, HostSongPositionSlot, {}, true).st0, 96.0 * 40);
  double record[2] = {};
  CallHost(host, HostDispatchSlot,
           {1, IdSongTime, 1, static_cast<uint32_t>(reinterpret_cast<uintptr_t>(record))}, false);
  EXPECT_EQ(record[0], song.HostTimeMs());
  host.FollowSong(nullptr);
  EXPECT_EQ(CallHost(host, HostSongPositionSlot, {}, true).st0, 0.0);
}

TEST(TestHostTable, PublicDataFollowsTheTablePointer) {
  TestHost host;
  const auto* bytes = static_cast<const uint8_t*>(host.Object());
  host.PublicWord(0) = 11001000;
  host.PublicWord(HostPublicDataWords - 1) = -7;
  int32_t first, last;
  std::memcpy(&first, bytes + 4, sizeof first);
  std::memcpy(&last, bytes + 4 * HostPublicDataWords, sizeof last);
  EXPECT_EQ(first, 11001000);
  EXPECT_EQ(last, -7);
}

}  // namespace
}  // namespace tempotally::testhost
