// A real host for the bridge built from a raw table, as a host from another compiler would be: 38
// slots that record their object and argument words and answer with values of their own.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

namespace tempotally::testsupport {

constexpr int FakeHostSlots = 38;
constexpr int FakeHostPublicWords = 47;
// Argument words after the object, by slot; floats count as words. Slot 37 is the fake's choice.
constexpr int FakeHostArity[FakeHostSlots] = {4, 3, 2, 4, 1, 2, 4, 0, 0, 2, 2, 7, 7,
                                              4, 2, 1, 0, 0, 0, 3, 1, 2, 2, 2, 7, 1,
                                              2, 5, 0, 0, 3, 4, 1, 1, 0, 0, 3, 5};
constexpr uint32_t FakeResultBase = 0x7E570000;    // eax of slot n: this plus n
constexpr uint32_t FakeResultHigh = 0xEDC0FFEE;    // edx of every word-sized answer
constexpr uint32_t FakeDispatchBase = 0x0D150000;  // slot 0 answers this plus the id
constexpr uint32_t FakePublicBase = 0x50B10000;    // public word i: this plus i
constexpr double FakeSongTime = 98765.25;          // first double of an id-36 answer
constexpr uint8_t FakeSongTimeTail = 0xA0;         // bytes 8 to 15 of it: this plus the byte
constexpr int FakeSongTimeBytes = 16;

bool FakeSlotReturnsBool(int slot);
bool FakeSlotReturnsDouble(int slot);
double FakeDoubleResult(int slot);

class FakeRealHost;

// The object as the bridge sees it: the table, then the public data.
struct FakeHostObject {
  void* const* table;
  uint32_t publicData[FakeHostPublicWords];
  FakeRealHost* owner;
};
static_assert(offsetof(FakeHostObject, publicData) == 4, "public data follows the table");

struct FakeHostCall {
  int slot;
  const void* object;
  std::vector<uint32_t> words;
};

class FakeRealHost {
 public:
  FakeRealHost();
  FakeRealHost(const FakeRealHost&) = delete;
  FakeRealHost& operator=(const FakeRealHost&) = delete;

  void* Object() { return &object_; }
  template <typename T>
  T* As() {
    return reinterpret_cast<T*>(&object_);
  }

  const std::vector<FakeHostCall>& Calls() const { return calls_; }
  void Clear() { calls_.clear(); }
  // Calls of one slot, in order.
  std::vector<FakeHostCall> CallsOf(int slot) const;

  // Replaces slot 37 with another shape; see Slot37ReturningDouble.
  void SetSlot(int slot, void* function) { slots_[slot] = function; }
  uint32_t& PublicWord(int i) { return object_.publicData[i]; }

  // For the slot functions.
  void Record(int slot, const void* object, std::vector<uint32_t> words);

 private:
  FakeHostObject object_;
  void* slots_[FakeHostSlots];
  std::vector<FakeHostCall> calls_;
};

// A slot-37 shape without arguments that answers FakeDoubleResult(37) in st(0).
void* Slot37ReturningDouble();

}  // namespace tempotally::testsupport
