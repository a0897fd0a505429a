// The editor's intents carried out on a shared engine: the reads without a lock, every change on
// the non-tick side, between two ticks (timeline/SharedEngine.h). The host's calls and the video
// window belong to the object that owns the engine, which completes this class. Window thread.
#pragma once

#include <cstdint>

#include "editor/EditorHost.h"
#include "timeline/SharedEngine.h"

namespace tempotally {

class EditorSide : public EditorHost {
 public:
  explicit EditorSide(SharedEngine& engine) : engine_(engine) {}

  EngineSnapshot PaintSnapshot() override;
  uint8_t FoldLevel() override;
  void Fold() override;
  void Flip(const ToggleRow& toggle) override;
  void ClearSumsAfterCurrentBeat() override;

 protected:
  ~EditorSide() = default;
  // Brings the video window's `parts` (VideoPart bits, editor/EditorLayout.h) to `options`.
  virtual void ApplyVideoOptions(const EngineOptions& options, uint8_t parts) = 0;

 private:
  SharedEngine& engine_;
};

}  // namespace tempotally
