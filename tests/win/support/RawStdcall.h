// Calls a stdcall function with a list of 32-bit words and reports what came back, including how
// many bytes the callee removed from the stack: the check that a slot takes exactly its arguments.
#pragma once

#include <cstdint>
#include <initializer_list>
#include <vector>

namespace tempotally::testsupport {

struct RawAnswer {
  uint32_t eax = 0;
  uint32_t edx = 0;
  uint32_t popped = 0;      // bytes the callee removed: 4 per word for a stdcall callee
  uint32_t wantDouble = 0;  // in: read st(0) after the call
  double st0 = 0.0;
};

// words[0] is the object. Declared in assembly; cdecl.
extern "C" void RawStdcall(const void* function, const uint32_t* words, int32_t count,
                           RawAnswer* answer);

// Slot `slot` of `object`'s table, called with the object and `args`.
RawAnswer CallSlot(void* object, int slot, std::initializer_list<uint32_t> args);
RawAnswer CallSlot(void* object, int slot, const std::vector<uint32_t>& args);
// The same for a slot that returns a double.
RawAnswer CallDoubleSlot(void* object, int slot);

// Bits of a float and back.
uint32_t FloatBits(float value);
float BitsFloat(uint32_t bits);

}  // namespace tempotally::testsupport
