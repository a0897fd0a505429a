// The editor's paint, on the window thread: the engine is read in two steps into a paint model
// (timeline/SharedEngine.h), the host is asked for its selection between them outside any engine
// access, and the editor's canvas then brings its back buffer to the model alone and copies it
// to the window in one transfer.
#include <new>

#include "editor/Editor.h"
#include "editor/EditorCanvas.h"
#include "editor/EditorGdi.h"
#include "editor/PaintModel.h"
#include "plugin/ORVAVSTExprPlug.h"
#include "timeline/SharedEngine.h"

namespace tempotally {

void PaintEditor(ORVAVSTExprPlug* plug, HWND window, bool frameTimer) {
  if (!plug->editorShown) return;
  plug->timeline.Refresh();
  const bool askSelection = plug->timeline.Options().selection != 0;

  // The host fills the selection in beats; one that ignores the call leaves (0, 0).
  if (askSelection) {
    plug->hostSelection[0] = plug->hostSelection[1] = 0.0;
    if (plug->host) {
      plug->host->HostDispatch(plug->instanceTag, HostId::Selection, 0,
                               reinterpret_cast<TWord>(plug->hostSelection));
    }
    plug->hostSelection[0] *= TicksPerBeat;
    plug->hostSelection[1] *= TicksPerBeat;
  }

  PaintModel model;
  const GraphView view{
      plug->graphSpan, plug->graphMargin, {plug->hostSelection[0], plug->hostSelection[1]}};
  plug->timeline.Read([&](const TimelineEngine& engine) { BuildPaintModel(engine, view, model); });

  PaintSession paint(window,
                     frameTimer ? PaintSession::WholeWindowNow : PaintSession::UpdateRegion);
  RECT client{};
  GetClientRect(window, &client);
  if (!plug->editorCanvas) plug->editorCanvas.reset(new (std::nothrow) EditorCanvas);
  if (plug->editorCanvas) plug->editorCanvas->Paint(paint.Dc(), client.right, client.bottom, model);
}

}  // namespace tempotally
