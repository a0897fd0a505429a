// The demo song's sync report as a picture: the tempo over the song's beats, and below it how far
// the host's own time and the time told to the video player stray from the true time, on a log
// scale (the host errs by seconds, the told time by about a millisecond on the ramp), the told
// time both while the song is recorded and after the project is saved and reopened.
#pragma once

#include <string>
#include <vector>

namespace tempotally::demo {

// One tick of the song. Errors are absolute, in seconds; a not-a-number error is left out.
struct SyncPoint {
  double beat;
  double bpm;
  double hostError;
  double toldError;
  double restoredError;  // the told time when the song is played again from the reopened project
};

// The largest error of each series. The time told after the song's first tick cannot hold that
// tick's length, which the host's figures give only from the second tick on: left out.
struct LargestErrors {
  double host = 0.0, told = 0.0, restored = 0.0;
};
LargestErrors Largest(const std::vector<SyncPoint>& points);

// Draws the chart and writes it as a PNG file; false when it could not.
bool WriteSyncChart(const std::string& path, const std::vector<SyncPoint>& points);

}  // namespace tempotally::demo
