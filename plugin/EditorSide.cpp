#include "plugin/EditorSide.h"

#include "editor/EditorInputModel.h"

namespace tempotally {

EngineSnapshot EditorSide::PaintSnapshot() {
  engine_.Refresh();
  return engine_.Snapshot();
}

uint8_t EditorSide::FoldLevel() { return engine_.Options().minimised; }

void EditorSide::Fold() {
  engine_.Change(
      [](TimelineEngine& t) { t.options.minimised = NextFoldLevel(t.options.minimised); });
}

void EditorSide::Flip(const ToggleRow& toggle) {
  OptionByte EngineOptions::*field = OptionTable[toggle.option].byteField;
  EngineOptions after;
  engine_.Change([&](TimelineEngine& t) {
    OptionByte& value = t.options.*field;
    value = value == toggle.off ? toggle.on : toggle.off;
    // The step changes the shown time: the next paint recomputes it.
    if (field == &EngineOptions::optimise) t.paintedTick = -1;
    after = t.options;
  });
  if (toggle.video != VideoPartNone) ApplyVideoOptions(after, toggle.video);
}

void EditorSide::ClearSumsAfterCurrentBeat() {
  engine_.Change([](TimelineEngine& t) {
    t.InvalidateBeatSums(t.currentTick / TicksPerBeat);
    t.paintedTick = -1;  // the next paint recomputes the shown time
  });
}

}  // namespace tempotally
