// Resource counters of this process that work under Wine, where GetGuiResources,
// GetProcessHandleCount and the private-usage figure all read 0: the system handle list's entries
// for this process, live GDI handles, the thread's windows and the page-file usage. Each counter
// proves that it moves before it is trusted.
#pragma once

#include <windows.h>

#include <cstdint>
#include <string>

namespace tempotally::validate {

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
long long CommittedBytes();

}  // namespace tempotally::validate
