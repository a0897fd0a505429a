// What the editor needs of the object it edits, and nothing more: the engine, the host's
// selection and resize calls, and the video window's show and on-top state. The plug-in object
// implements it; the editor tests use a small fake.
#pragma once

#include <cstdint>

#include "timeline/SharedEngine.h"

namespace tempotally {

// Every call comes on the editor's thread, the host's window thread.
class EditorHost {
 public:
  // Reached from the non-tick side only (timeline/SharedEngine.h).
  virtual SharedEngine& Engine() = 0;
  // Has the host write its selection, start and end in beats, into `beats`. A host that ignores
  // the call leaves it as it was.
  virtual void AskSelection(double* beats) = 0;
  // Tells the host that the editor window changed its size.
  virtual void EditorResized() = 0;
  // Brings the video window's `parts` (VideoPart bits, editor/Toggles.h) to `options`.
  virtual void ApplyVideoOptions(const EngineOptions& options, uint8_t parts) = 0;

 protected:
  ~EditorHost() = default;
};

}  // namespace tempotally
