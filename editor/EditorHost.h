// What the editor asks of the object it edits, as intents; it never reaches the engine itself.
// The plug-in object carries them out on its shared engine (plugin/EditorSide.h).
#pragma once

#include <cstdint>

#include "timeline/EngineSnapshot.h"

namespace tempotally {

struct ToggleRow;

// Every call comes on the editor's thread, the host's window thread, and never from inside a
// tick. The changes go through the engine's non-tick side, between two ticks.
class EditorHost {
 public:
  // What the paint shows, with the readout brought up to date; no lock unless that is stale.
  virtual EngineSnapshot PaintSnapshot() = 0;
  // The fold level as it stands; no lock.
  virtual uint8_t FoldLevel() = 0;
  // Moves the fold level on (NextFoldLevel).
  virtual void Fold() = 0;
  // Flips `toggle`'s option between its off and on values, and brings the parts of the video
  // window that follow the option to it.
  virtual void Flip(const ToggleRow& toggle) = 0;
  // Clears the cached sums after the current beat, so the time is summed from the map again.
  virtual void ClearSumsAfterCurrentBeat() = 0;
  // Has the host write its selection, start and end in beats, into `beats`. A host that ignores
  // the call leaves it as it was.
  virtual void AskSelection(double* beats) = 0;
  virtual void EditorResized() = 0;

 protected:
  ~EditorHost() = default;
};

}  // namespace tempotally
