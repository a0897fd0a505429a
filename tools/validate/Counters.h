// Resource counters of this process that work under Wine, where GetGuiResources,
// GetProcessHandleCount and the private-usage figure all read 0: the system handle list's entries
// for this process, live GDI handles, the thread's windows and the committed private memory of the
// address space. Each counter proves that it moves before it is trusted.
#pragma once

#include <windows.h>

#include <cstdint>
#include <string>

namespace tempotally::validate {

// Memory that create/release cycles may gain after the first cycle.
constexpr long long MemoryTolerance = 1 << 20;
// The smallest steady leak the cycles must catch, and the cycles the proof leaks it over.
constexpr size_t LeakPerCycleBytes = 20u << 10;
constexpr int LeakCycles = 100;

struct Counts {
  long handles = 0;
  long gdiObjects = 0;
  long windows = 0;
  long long memoryBytes = 0;
};

class Counters {
 public:
  // Finds a working way to count each resource; `report` gets one line per counter.
  bool Prove(std::string& report);
  Counts Now() const;

 private:
  enum class GdiWay { GuiResources, HandleIndices };
  long GdiObjects() const;
  GdiWay gdiWay_ = GdiWay::GuiResources;
};

long ThreadWindows();
long ProcessHandles();
// Committed private memory, summed over the address space's regions. Page-file usage is not used:
// under an emulator it counts the emulator's own memory, which grows as new code runs.
long long CommittedBytes();

}  // namespace tempotally::validate
