// The counters and the proof that each one moves.
#include "tools/validate/Counters.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <initializer_list>
#include <vector>

namespace tempotally::validate {

namespace {

constexpr ULONG SystemHandleInformation = 16;
constexpr LONG StatusInfoLengthMismatch = static_cast<LONG>(0xC0000004);
constexpr int ProbeObjects = 100;
constexpr uintptr_t GdiHandleIndices = 0x10000;

struct HandleEntry {
  ULONG ownerPid;
  BYTE objectType;
  BYTE flags;
  USHORT value;
  PVOID object;
  ULONG access;
};

using QueryFn = LONG(WINAPI*)(ULONG, PVOID, ULONG, PULONG);
BOOL CALLBACK CountChild(HWND, LPARAM count) {
  ++*reinterpret_cast<long*>(count);
  return TRUE;
}

BOOL CALLBACK CountTopLevel(HWND window, LPARAM count) {
  ++*reinterpret_cast<long*>(count);
  EnumChildWindows(window, CountChild, count);
  return TRUE;
}

}  // namespace

long ThreadWindows() {
  long count = 0;
  EnumThreadWindows(GetCurrentThreadId(), CountTopLevel, reinterpret_cast<LPARAM>(&count));
  return count;
}

long ProcessHandles() {
  static const auto query = reinterpret_cast<QueryFn>(reinterpret_cast<void (*)()>(
      GetProcAddress(GetModuleHandleA("ntdll.dll"), "NtQuerySystemInformation")));
  if (!query) return -1;
  static std::vector<uint8_t> buffer(1u << 20);
  for (;;) {
    ULONG needed = 0;
    const LONG status =
        query(SystemHandleInformation, buffer.data(), static_cast<ULONG>(buffer.size()), &needed);
    if (status == StatusInfoLengthMismatch) {
      buffer.resize(buffer.size() * 2);
      continue;
    }
    if (status < 0) return -1;
    break;
  }
  const ULONG entries = *reinterpret_cast<const ULONG*>(buffer.data());
  const auto* entry = reinterpret_cast<const HandleEntry*>(buffer.data() + sizeof(ULONG_PTR));
  const DWORD self = GetCurrentProcessId();
  long count = 0;
  for (ULONG i = 0; i < entries; ++i) count += entry[i].ownerPid == self ? 1 : 0;
  return count;
}

long long CommittedBytes() {
  SYSTEM_INFO system{};
  GetSystemInfo(&system);
  const auto end = reinterpret_cast<uintptr_t>(system.lpMaximumApplicationAddress);
  long long total = 0;
  uintptr_t at = reinterpret_cast<uintptr_t>(system.lpMinimumApplicationAddress);
  MEMORY_BASIC_INFORMATION region;
  while (at < end &&
         VirtualQuery(reinterpret_cast<void*>(at), &region, sizeof region) == sizeof region) {
    if (region.State == MEM_COMMIT && region.Type == MEM_PRIVATE) {
      total += static_cast<long long>(region.RegionSize);
    }
    const uintptr_t next = reinterpret_cast<uintptr_t>(region.BaseAddress) + region.RegionSize;
    if (next <= at) break;
    at = next;
  }
  return total > 0 ? total : -1;
}

long Counters::GdiObjects() const {
  if (gdiWay_ == GdiWay::GuiResources) {
    return static_cast<long>(GetGuiResources(GetCurrentProcess(), GR_GDIOBJECTS));
  }
  // Wine takes a handle without its generation word as the live object at that index; the
  // table the PEB should point to is not published by every Wine build.
  long count = 0;
  for (uintptr_t index = 1; index < GdiHandleIndices; ++index) {
    count += GetObjectType(reinterpret_cast<HGDIOBJ>(index)) != 0 ? 1 : 0;
  }
  return count;
}

Counts Counters::Now() const {
  return {ProcessHandles(), GdiObjects(), ThreadWindows(), CommittedBytes()};
}

bool Counters::Prove(std::string& report) {
  char line[200];
  bool ok = true;

  // Handles: 100 events.
  {
    const long before = ProcessHandles();
    std::vector<HANDLE> events;
    for (int i = 0; i < ProbeObjects; ++i)
      events.push_back(CreateEventA(nullptr, TRUE, FALSE, nullptr));
    const long during = ProcessHandles();
    for (HANDLE event : events) CloseHandle(event);
    const long after = ProcessHandles();
    const bool moved = before >= 0 && during - before == ProbeObjects && after == before;
    ok = ok && moved;
    std::snprintf(line, sizeof line,
                  "%s counter handles (system handle list): %ld, +100 events %ld, closed %ld\n",
                  moved ? "PASS" : "FAIL", before, during, after);
    report += line;
  }

  // GDI objects: the first way of counting that follows 100 brushes there and back.
  {
    bool found = false;
    for (GdiWay way : {GdiWay::GuiResources, GdiWay::HandleIndices}) {
      gdiWay_ = way;
      const long before = GdiObjects();
      std::vector<HBRUSH> brushes;
      for (int i = 0; i < ProbeObjects; ++i) brushes.push_back(CreateSolidBrush(RGB(i, 1, 2)));
      const long during = GdiObjects();
      for (HBRUSH brush : brushes) DeleteObject(brush);
      const long after = GdiObjects();
      if (during - before == ProbeObjects && after == before) {
        found = true;
        std::snprintf(line, sizeof line,
                      "PASS counter GDI objects (%s): %ld, +100 brushes %ld, deleted %ld\n",
                      way == GdiWay::GuiResources ? "GetGuiResources"
                                                  : "live entries of the 16-bit handle space",
                      before, during, after);
        report += line;
        break;
      }
    }
    if (!found) {
      report += "FAIL counter GDI objects: no way of counting follows 100 brushes\n";
      ok = false;
    }
  }

  // Windows: 10 top-level windows and 10 children of the first, beside one that keeps the
  // thread's own helper windows alive throughout.
  {
    HWND keeper =
        CreateWindowExA(0, "STATIC", "", 0, 0, 0, 10, 10, nullptr, nullptr, nullptr, nullptr);
    const long before = ThreadWindows();
    std::vector<HWND> windows;
    for (int i = 0; i < 10; ++i) {
      windows.push_back(
          CreateWindowExA(0, "STATIC", "", 0, 0, 0, 10, 10, nullptr, nullptr, nullptr, nullptr));
    }
    for (int i = 0; i < 10; ++i) {
      CreateWindowExA(0, "STATIC", "", WS_CHILD, 0, 0, 5, 5, windows[0], nullptr, nullptr, nullptr);
    }
    const long during = ThreadWindows();
    for (HWND window : windows) DestroyWindow(window);
    const long after = ThreadWindows();
    DestroyWindow(keeper);
    const bool moved = during - before == 20 && after == before;
    ok = ok && moved;
    std::snprintf(
        line, sizeof line,
        "%s counter windows (the thread's, children included): %ld, +20 %ld, destroyed %ld\n",
        moved ? "PASS" : "FAIL", before, during, after);
    report += line;
  }

  // Memory: the smallest leak the cycles must catch, 20 KB a cycle from a heap, touched; the
  // heap's own, so that destroying it gives every page back and leaves no free heap space in which
  // a later leak would hide.
  {
    const long long before = CommittedBytes();
    HANDLE heap = HeapCreate(0, 0, 0);
    for (int i = 0; heap && i < LeakCycles; ++i) {
      if (void* block = HeapAlloc(heap, 0, LeakPerCycleBytes))
        std::memset(block, 1, LeakPerCycleBytes);
    }
    const long long during = CommittedBytes();
    if (heap) HeapDestroy(heap);
    const long long after = CommittedBytes();
    const long long leaked = static_cast<long long>(LeakPerCycleBytes) * LeakCycles;
    const bool moved = before > 0 && heap && during - before >= leaked * 9 / 10 &&
                       during - before > MemoryTolerance && after - before <= leaked / 10;
    ok = ok && moved;
    std::snprintf(line, sizeof line,
                  "%s counter memory (committed private regions): %.2f MB, +%d x %zu KB leaked "
                  "%.2f MB, freed %.2f MB\n",
                  moved ? "PASS" : "FAIL", before / 1048576.0, LeakCycles, LeakPerCycleBytes >> 10,
                  during / 1048576.0, after / 1048576.0);
    report += line;
  }
  return ok;
}

}  // namespace tempotally::validate
