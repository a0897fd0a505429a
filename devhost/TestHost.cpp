// The test host's table of entry points and its recorded answers.
#include "devhost/TestHost.h"

#include <cstring>

#include "devhost/SongSimulator.h"

namespace tempotally::testhost {

namespace {

// Recognisable public data, so that a copy of it can be told from zeros.
constexpr int32_t PublicDataPattern = 0x48500000;

RawHostObject* Self(void* object) { return static_cast<RawHostObject*>(object); }

int32_t __stdcall Dispatch(void* object, int32_t tag, int32_t id, int32_t index, uintptr_t value) {
  return Self(object)->owner->OnDispatch(tag, id, index, value);
}

// Every argument, word or float, is one 32-bit stack slot; taking floats as words keeps their bit
// patterns exactly as the caller pushed them.
template <int Slot, typename... Words>
void Record(void* object, Words... words) {
  const uint32_t list[] = {0u, static_cast<uint32_t>(words)...};
  Self(object)->owner->OnSlot(Slot, list + 1, sizeof...(Words));
}

template <int Slot, typename... Words>
void __stdcall NoResult(void* object, Words... words) {
  Record<Slot>(object, words...);
}

template <int Slot, typename... Words>
int32_t __stdcall IntResult(void* object, Words... words) {
  Record<Slot>(object, words...);
  return Self(object)->owner->SlotResult(Slot);
}

template <int Slot, typename... Words>
bool __stdcall TruthResult(void* object, Words... words) {
  Record<Slot>(object, words...);
  return Self(object)->owner->SlotResult(Slot) != 0;
}

double __stdcall SongPosition(void* object) {
  Record<HostSongPositionSlot>(object);
  return Self(object)->owner->CurrentSongPosition();
}

double __stdcall Slot18(void* object) {
  Record<18>(object);
  return Self(object)->owner->Slot18Result();
}

using W = uint32_t;

template <typename F>
const void* Entry(F f) {
  return reinterpret_cast<const void*>(f);
}

// Argument lists by slot, as the host interface defines them.
const void* const EntryTable[HostSlots] = {
    Entry(&Dispatch),
    Entry(&NoResult<1, W, W, W>),
    Entry(&NoResult<2, W, W>),
    Entry(&NoResult<3, W, W, W, W>),  // 3 words, 1 float
    Entry(&NoResult<4, W>),
    Entry(&NoResult<5, W, W>),
    Entry(&IntResult<6, W, W, W, W>),
    Entry(&NoResult<7>),
    Entry(&NoResult<8>),
    Entry(&NoResult<9, W, W>),
    Entry(&NoResult<10, W, W>),
    Entry(&NoResult<11, W, W, W, W, W, W, W>),  // 3 words, 2 floats, 2 words
    Entry(&NoResult<12, W, W, W, W, W, W, W>),  // 3 words, 2 floats, 2 words
    Entry(&TruthResult<13, W, W, W, W>),
    Entry(&IntResult<14, W, W>),
    Entry(&NoResult<15, W>),
    Entry(&IntResult<16>),
    Entry(&SongPosition),
    Entry(&Slot18),
    Entry(&NoResult<19, W, W, W>),
    Entry(&IntResult<20, W>),
    Entry(&NoResult<21, W, W>),
    Entry(&NoResult<22, W, W>),
    Entry(&NoResult<23, W, W>),
    Entry(&NoResult<24, W, W, W, W, W, W, W>),  // 4 words, 3 floats
    Entry(&IntResult<25, W>),
    Entry(&IntResult<26, W, W>),
    Entry(&TruthResult<27, W, W, W, W, W>),
    Entry(&NoResult<28>),
    Entry(&NoResult<29>),
    Entry(&NoResult<30, W, W, W>),
    Entry(&NoResult<31, W, W, W, W>),  // 2 words, 2 floats
    Entry(&NoResult<32, W>),
    Entry(&NoResult<33, W>),
    Entry(&NoResult<34>),
    Entry(&NoResult<35>),
    Entry(&NoResult<36, W, W, W>),
    // The interface leaves slot 37's arguments open; this host takes none.
    Entry(&NoResult<37>),
};

}  // namespace

TestHost::TestHost() {
  object_.table = EntryTable;
  for (int i = 0; i < HostPublicDataWords; ++i) object_.publicData[i] = PublicDataPattern + i;
  object_.owner = this;
}

std::vector<HostCall> TestHost::CallsSince(size_t mark) const {
  if (mark >= calls_.size()) return {};
  return std::vector<HostCall>(calls_.begin() + static_cast<std::ptrdiff_t>(mark), calls_.end());
}

std::vector<HostCall> TestHost::DispatchesWithId(int32_t id) const {
  std::vector<HostCall> found;
  for (const HostCall& call : calls_) {
    if (call.slot == HostDispatchSlot && call.id == id) found.push_back(call);
  }
  return found;
}

double TestHost::CurrentSongPosition() const {
  return song_ != nullptr ? song_->PositionTicks() : songPosition_;
}

double TestHost::CurrentHostTimeMs() const {
  return song_ != nullptr ? song_->HostTimeMs() : hostTimeMs_;
}

int32_t TestHost::OnDispatch(int32_t tag, int32_t id, int32_t index, uintptr_t value) {
  HostCall call;
  call.slot = HostDispatchSlot;
  call.tag = tag;
  call.id = id;
  call.index = index;
  call.value = value;
  auto* record = reinterpret_cast<uint8_t*>(value);
  const bool fillsRecord = id == IdSongTime || id == IdSelection || id == IdTickInfo;
  if (fillsRecord && record != nullptr) {
    call.hasRecord = true;
    std::memcpy(call.arrived.data(), record, HostRecordBytes);
  }
  if (recording_) calls_.push_back(call);

  if (record != nullptr) {
    if (id == IdSongTime) {
      const double now = CurrentHostTimeMs();
      std::memcpy(record, &now, sizeof now);
      if (hasSongTimeTail_) std::memcpy(record + sizeof now, &songTimeTail_, sizeof songTimeTail_);
    } else if (id == IdSelection) {
      std::memcpy(record, selection_.data(), sizeof selection_);
    } else if (id == IdTickInfo) {
      std::memcpy(record, tickInfo_.data(), tickInfo_.size());
    }
  }
  const auto result = dispatchResults_.find(id);
  return result != dispatchResults_.end() ? result->second : 0;
}

void TestHost::OnSlot(int slot, const uint32_t* words, size_t count) {
  if (!recording_) return;
  HostCall call;
  call.slot = slot;
  call.words.assign(words, words + count);
  calls_.push_back(call);
}

}  // namespace tempotally::testhost
