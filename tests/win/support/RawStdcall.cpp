// The raw stdcall caller: pushes the words right to left, calls, and measures the stack after.
#include "tests/win/support/RawStdcall.h"

#include <cstddef>
#include <cstring>

namespace tempotally::testsupport {

// Frame: 8(%ebp) function, 12 words, 16 count, 20 answer.
__attribute__((naked)) void RawStdcall(const void*, const uint32_t*, int32_t, RawAnswer*) {
  asm("pushl %ebp\n\t"
      "movl %esp, %ebp\n\t"
      "pushl %ebx\n\t"
      "pushl %esi\n\t"
      "pushl %edi\n\t"
      "movl 16(%ebp), %ecx\n\t"
      "movl 12(%ebp), %esi\n"
      "1:\n\t"
      "testl %ecx, %ecx\n\t"
      "jz 2f\n\t"
      "decl %ecx\n\t"
      "pushl (%esi,%ecx,4)\n\t"
      "jmp 1b\n"
      "2:\n\t"
      "movl %esp, %edi\n\t"
      "call *8(%ebp)\n\t"
      "movl 20(%ebp), %ebx\n\t"
      "movl %eax, 0(%ebx)\n\t"
      "movl %edx, 4(%ebx)\n\t"
      "movl %esp, %eax\n\t"
      "subl %edi, %eax\n\t"
      "movl %eax, 8(%ebx)\n\t"
      "cmpl $0, 12(%ebx)\n\t"
      "je 3f\n\t"
      "fstpl 16(%ebx)\n"
      "3:\n\t"
      "leal -12(%ebp), %esp\n\t"
      "popl %edi\n\t"
      "popl %esi\n\t"
      "popl %ebx\n\t"
      "popl %ebp\n\t"
      "ret");
}

static_assert(offsetof(RawAnswer, popped) == 8 && offsetof(RawAnswer, wantDouble) == 12 &&
                  offsetof(RawAnswer, st0) == 16,
              "offsets used by the assembly");

RawAnswer CallSlot(void* object, int slot, const std::vector<uint32_t>& args) {
  std::vector<uint32_t> words;
  words.push_back(static_cast<uint32_t>(reinterpret_cast<uintptr_t>(object)));
  words.insert(words.end(), args.begin(), args.end());
  void* const* table = *static_cast<void* const* const*>(object);
  RawAnswer answer;
  RawStdcall(table[slot], words.data(), static_cast<int32_t>(words.size()), &answer);
  return answer;
}

RawAnswer CallSlot(void* object, int slot, std::initializer_list<uint32_t> args) {
  return CallSlot(object, slot, std::vector<uint32_t>(args));
}

RawAnswer CallDoubleSlot(void* object, int slot) {
  const uint32_t word = static_cast<uint32_t>(reinterpret_cast<uintptr_t>(object));
  void* const* table = *static_cast<void* const* const*>(object);
  RawAnswer answer;
  answer.wantDouble = 1;
  RawStdcall(table[slot], &word, 1, &answer);
  return answer;
}

uint32_t FloatBits(float value) {
  uint32_t bits;
  std::memcpy(&bits, &value, sizeof bits);
  return bits;
}

float BitsFloat(uint32_t bits) {
  float value;
  std::memcpy(&value, &bits, sizeof value);
  return value;
}

}  // namespace tempotally::testsupport
