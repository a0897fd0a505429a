// A host for black-box tests and tools, built the way a host from another compiler would be: a
// C-layout object whose first word points to a table of 38 stdcall entry points filled by hand,
// followed by 47 words of public data. It never uses the project's own interface declarations, so
// a wrong declaration there cannot pass its own tests. Every call the plug-in makes is recorded in
// order; the answers come from state that the test sets.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <map>
#include <vector>

namespace tempotally::song {
class SongSimulator;
}

namespace tempotally::testhost {

constexpr int HostSlots = 38;
constexpr int HostPublicDataWords = 47;
constexpr int HostRecordBytes = 16;

constexpr int HostDispatchSlot = 0;
constexpr int HostSongPositionSlot = 17;

// Host dispatch ids that this host answers from its own state.
constexpr int32_t IdEditorResized = 2;
constexpr int32_t IdCreated = 29;
constexpr int32_t IdSongTime = 36;
constexpr int32_t IdSelection = 38;
constexpr int32_t IdTickInfo = 39;

// One call received from the plug-in. Slot 0 fills tag, id, index and value; every other slot
// fills `words` with its arguments as they lay on the stack (floats as their bit patterns).
struct HostCall {
  int slot = 0;
  int32_t tag = 0;
  int32_t id = 0;
  int32_t index = 0;
  uintptr_t value = 0;
  std::vector<uint32_t> words;
  // For ids 36, 38 and 39 with a non-null value: the 16 bytes as they arrived, before the answer.
  bool hasRecord = false;
  std::array<uint8_t, HostRecordBytes> arrived{};
};

class TestHost;

// The object handed to CreatePlugInstance. Only `table` and `publicData` are the interface; the
// owner pointer behind them is this host's own and lies past anything a plug-in may read.
struct RawHostObject {
  const void* const* table;
  int32_t publicData[HostPublicDataWords];
  TestHost* owner;
};
static_assert(offsetof(RawHostObject, publicData) == 4, "public data follows the table pointer");

class TestHost {
 public:
  TestHost();
  TestHost(const TestHost&) = delete;
  TestHost& operator=(const TestHost&) = delete;

  // The host object to give to a plug-in's CreatePlugInstance.
  void* Object() { return &object_; }
  int32_t& PublicWord(int index) { return object_.publicData[index]; }

  const std::vector<HostCall>& Calls() const { return calls_; }
  size_t CallCount() const { return calls_.size(); }
  // The calls recorded from position `mark` on.
  std::vector<HostCall> CallsSince(size_t mark) const;
  // The dispatch calls with this id, in order.
  std::vector<HostCall> DispatchesWithId(int32_t id) const;
  void ClearCalls() { calls_.clear(); }

  // Answers. Slot 17 and id 36 follow the simulator when one is set, else the fixed values.
  void FollowSong(const song::SongSimulator* song) { song_ = song; }
  void SetSongPosition(double ticks) { songPosition_ = ticks; }
  void SetHostTimeMs(double ms) { hostTimeMs_ = ms; }
  // Off: calls are answered but not logged, for long runs. Then the plug-in may call from two
  // threads at once, while the answers are set from one of them only.
  void SetRecording(bool on) { recording_ = on; }
  // When set, id 36 also writes the record's second double.
  void SetSongTimeTail(double value) {
    songTimeTail_ = value;
    hasSongTimeTail_ = true;
  }
  void SetSelection(double startBeats, double endBeats) { selection_ = {startBeats, endBeats}; }
  void SetTickInfo(const std::array<uint8_t, HostRecordBytes>& record) { tickInfo_ = record; }
  // Result of a dispatch id that has no other answer, and of ids 2, 29, 36, 38, 39 too.
  void SetDispatchResult(int32_t id, int32_t result) { dispatchResults_[id] = result; }
  // Result of an int or truth-valued slot (non-zero is true), or of the double slot 18.
  void SetSlotResult(int slot, int32_t result) { slotResults_[slot] = result; }
  void SetSlot18Result(double value) { slot18Result_ = value; }

  double CurrentSongPosition() const;
  double CurrentHostTimeMs() const;

  // Entry points' share: record a call and produce its answer.
  int32_t OnDispatch(int32_t tag, int32_t id, int32_t index, uintptr_t value);
  void OnSlot(int slot, const uint32_t* words, size_t count);
  int32_t SlotResult(int slot) const { return slotResults_[slot]; }
  double Slot18Result() const { return slot18Result_; }

 private:
  RawHostObject object_;
  bool recording_ = true;
  std::vector<HostCall> calls_;
  const song::SongSimulator* song_ = nullptr;
  double songPosition_ = 0.0;
  double hostTimeMs_ = 0.0;
  double songTimeTail_ = 0.0;
  bool hasSongTimeTail_ = false;
  std::array<double, 2> selection_{0.0, 0.0};
  std::array<uint8_t, HostRecordBytes> tickInfo_{};
  std::map<int32_t, int32_t> dispatchResults_;
  std::array<int32_t, HostSlots> slotResults_{};
  double slot18Result_ = 0.0;
};

}  // namespace tempotally::testhost
