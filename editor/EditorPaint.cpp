// The editor's paint: the engine is read in two short steps under its lock into a paint model, the
// host is asked for its selection between them with the lock free, and the editor's canvas then
// brings its back buffer to the model alone and copies it to the window in one transfer.
#include <new>

#include "editor/Editor.h"
#include "editor/EditorCanvas.h"
#include "editor/EditorGdi.h"
#include "editor/PaintModel.h"
#include "plugin/TempotallyPlug.h"
#include "timeline/EngineLock.h"

namespace tempotally {

void PaintEditor(ORVAVSTExprPlug* plug, HWND window, bool frameTimer) {
  if (!plug->editorShown) return;
  TimelineEngine& engine = plug->timeline;

  bool askSelection;
  {
    EngineGuard guard(plug->engineLock);
    engine.RefreshDisplayTime();
    askSelection = engine.selection != 0;
  }

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
  {
    EngineGuard guard(plug->engineLock);
    const GraphView view{
        plug->graphSpan, plug->graphMargin, {plug->hostSelection[0], plug->hostSelection[1]}};
    BuildPaintModel(engine, view, model);
  }

  PaintSession paint(window,
                     frameTimer ? PaintSession::WholeWindowNow : PaintSession::UpdateRegion);
  RECT client{};
  GetClientRect(window, &client);
  if (!plug->editorCanvas) plug->editorCanvas.reset(new (std::nothrow) EditorCanvas);
  if (plug->editorCanvas) plug->editorCanvas->Paint(paint.Dc(), client.right, client.bottom, model);
}

}  // namespace tempotally
