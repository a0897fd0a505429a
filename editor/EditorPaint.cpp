// The editor's paint, on the window thread: the readout is refreshed when it is stale, the engine's
// snapshot and map are read without a lock (timeline/SharedEngine.h), the host is asked for its
// selection, and the editor's canvas then brings its back buffer to the model alone and copies it
// to the window in one transfer.
#include <new>

#include "editor/Editor.h"
#include "editor/EditorCanvas.h"
#include "editor/EditorGdi.h"
#include "editor/PaintModel.h"
#include "timeline/SharedEngine.h"

namespace tempotally {

void Editor::Paint(bool frameTimer) {
  if (!shown) return;
  SharedEngine& engine = host_.Engine();
  engine.Refresh();
  const EngineSnapshot snapshot = engine.Snapshot();
  const bool askSelection = snapshot.options.selection != 0;

  // The host fills the selection in beats; one that ignores the call leaves (0, 0).
  if (askSelection) {
    hostSelection[0] = hostSelection[1] = 0.0;
    host_.AskSelection(hostSelection);
    hostSelection[0] *= TicksPerBeat;
    hostSelection[1] *= TicksPerBeat;
  }

  PaintModel model;
  const GraphView view{graphSpan, graphMargin, {hostSelection[0], hostSelection[1]}};
  BuildPaintModel(snapshot, view, model);

  PaintSession paint(window_,
                     frameTimer ? PaintSession::WholeWindowNow : PaintSession::UpdateRegion);
  RECT client{};
  GetClientRect(window_, &client);
  if (!canvas) canvas.reset(new (std::nothrow) EditorCanvas);
  if (canvas) canvas->Paint(paint.Dc(), client.right, client.bottom, model);
}

}  // namespace tempotally
