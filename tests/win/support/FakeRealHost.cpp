// The fake real host's slots, generated from the arity table.
#include "tests/win/support/FakeRealHost.h"

#include <cstring>
#include <utility>

namespace tempotally::testsupport {

namespace {

template <size_t>
using Word = uint32_t;

uint64_t WordAnswer(int slot) {
  const uint32_t low =
      FakeSlotReturnsBool(slot) ? 1u : FakeResultBase + static_cast<uint32_t>(slot);
  return (static_cast<uint64_t>(FakeResultHigh) << 32) | low;
}

template <int Slot, size_t... I>
uint64_t __stdcall WordSlot(FakeHostObject* self, Word<I>... words) {
  self->owner->Record(Slot, self, {words...});
  return WordAnswer(Slot);
}

template <int Slot>
double __stdcall DoubleSlot(FakeHostObject* self) {
  self->owner->Record(Slot, self, {});
  return FakeDoubleResult(Slot);
}

// Slot 0: fills an id-36 record with the host's own answer.
uint64_t __stdcall DispatchSlot(FakeHostObject* self, uint32_t tag, uint32_t id, uint32_t index,
                                uint32_t value) {
  self->owner->Record(0, self, {tag, id, index, value});
  if (id == 36 && value) {
    uint8_t* record = reinterpret_cast<uint8_t*>(static_cast<uintptr_t>(value));
    std::memcpy(record, &FakeSongTime, sizeof FakeSongTime);
    for (int i = 8; i < FakeSongTimeBytes; ++i)
      record[i] = static_cast<uint8_t>(FakeSongTimeTail + i);
  }
  return (static_cast<uint64_t>(FakeResultHigh) << 32) | (FakeDispatchBase + id);
}

template <int Slot, size_t... I>
void* WordSlotAddress(std::index_sequence<I...>) {
  return reinterpret_cast<void*>(&WordSlot<Slot, I...>);
}

template <int Slot>
void* SlotAddress() {
  if constexpr (Slot == 0) {
    return reinterpret_cast<void*>(&DispatchSlot);
  } else if constexpr (Slot == 17 || Slot == 18) {
    return reinterpret_cast<void*>(&DoubleSlot<Slot>);
  } else {
    return WordSlotAddress<Slot>(std::make_index_sequence<FakeHostArity[Slot]>{});
  }
}

template <size_t... S>
void FillTable(void** table, std::index_sequence<S...>) {
  ((table[S] = SlotAddress<static_cast<int>(S)>()), ...);
}

}  // namespace

bool FakeSlotReturnsBool(int slot) { return slot == 13 || slot == 27; }
bool FakeSlotReturnsDouble(int slot) { return slot == 17 || slot == 18; }
double FakeDoubleResult(int slot) { return 1000.125 + slot; }

void* Slot37ReturningDouble() { return reinterpret_cast<void*>(&DoubleSlot<37>); }

FakeRealHost::FakeRealHost() {
  FillTable(slots_, std::make_index_sequence<FakeHostSlots>{});
  object_.table = slots_;
  for (int i = 0; i < FakeHostPublicWords; ++i) object_.publicData[i] = FakePublicBase + i;
  object_.owner = this;
}

std::vector<FakeHostCall> FakeRealHost::CallsOf(int slot) const {
  std::vector<FakeHostCall> result;
  for (const FakeHostCall& call : calls_) {
    if (call.slot == slot) result.push_back(call);
  }
  return result;
}

void FakeRealHost::Record(int slot, const void* object, std::vector<uint32_t> words) {
  calls_.push_back({slot, object, std::move(words)});
}

}  // namespace tempotally::testsupport
