// The per-tick path (recording and summation) allocates nothing, with or without a change.
#include <gtest/gtest.h>

#include <atomic>
#include <cstdlib>
#include <new>

#include "timeline/TimelineEngine.h"

namespace {
std::atomic<long> allocations{0};
}

// Every allocation in this program is counted.
void* operator new(std::size_t size) {
  ++allocations;
  if (void* p = std::malloc(size == 0 ? 1 : size)) return p;
  throw std::bad_alloc();
}
void* operator new[](std::size_t size) { return ::operator new(size); }
void* operator new(std::size_t size, const std::nothrow_t&) noexcept {
  ++allocations;
  return std::malloc(size == 0 ? 1 : size);
}
void* operator new[](std::size_t size, const std::nothrow_t& tag) noexcept {
  return ::operator new(size, tag);
}
void operator delete(void* p) noexcept { std::free(p); }
void operator delete[](void* p) noexcept { std::free(p); }
void operator delete(void* p, std::size_t) noexcept { std::free(p); }
void operator delete[](void* p, std::size_t) noexcept { std::free(p); }

namespace tempotally {
namespace {

constexpr double Tick120 = 60.0 / (120.0 * TicksPerBeat);
constexpr double Tick90 = 60.0 / (90.0 * TicksPerBeat);

TEST(AllocationTest, PerTickPathAllocatesNothing) {
  TimelineEngine engine;
  ASSERT_TRUE(engine.Allocate());
  engine.ResetState();
  EXPECT_GT(allocations.load(), 0);  // the counter sees the map's own allocation

  const long before = allocations.load();
  engine.OnTransport(TransportPlaying);
  for (int32_t tick = 1000; tick < 3000; ++tick) {
    // A tempo change every 500 ticks: a recorded change with look-ahead shift and a cold cache.
    const double seconds = (tick / 500) % 2 == 0 ? Tick120 : Tick90;
    engine.hostTime[0] = tick * seconds * MillisecondsPerSecond;
    engine.RecordTick(tick);
    engine.ElapsedSeconds(engine.currentTick, StepEveryTick);
    engine.ElapsedSeconds(engine.currentTick, StepOptimised);
  }
  engine.InvalidateBeatSums(0);
  engine.ElapsedSeconds(MapTicks + 5, StepEveryTick);
  engine.OnSongPosition(200.0);
  engine.RefreshDisplayTime();
  EXPECT_EQ(allocations.load() - before, 0);
}

}  // namespace
}  // namespace tempotally
