// The recorded song that the benchmarks play: DefaultSong as the engine records it, and the steady
// stretch of it that the no-change cases play through, over and over.
#pragma once

#include <cstdint>
#include <vector>

#include "timeline/TimelineEngine.h"

namespace tempotally {

// DefaultSong's final 140 BPM, beats 130 to 190.
constexpr int32_t SteadyFirstTick = 130 * TicksPerBeat;
constexpr int32_t SteadyEndTick = 190 * TicksPerBeat;

// DefaultSong's ramp, beats 64 to 128.
constexpr int32_t RampFirstTick = 64 * TicksPerBeat;
constexpr int32_t RampEndTick = 128 * TicksPerBeat;

// DefaultSong as the engine records it with look-ahead on, beats 0 to 200, tick 0 settled.
const std::vector<double>& RecordedSong();
// The host's time (ms) at each tick of the steady stretch, from SteadyFirstTick on.
std::vector<double> SteadyHostTimes();
// The same for the ramp, from RampFirstTick on.
std::vector<double> RampHostTimes();

}  // namespace tempotally
