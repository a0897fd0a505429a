// The editor's mouse handling: presses, releases and clicks on its zones, and the zoom drag on the
// graph, which hides the cursor and holds it at the press point while the travel zooms the graph.
#pragma once

#include <windows.h>

#include "editor/EditorInputModel.h"

namespace tempotally {

class ORVAVSTExprPlug;

// A message's client position: the two signed 16-bit halves of lParam.
EditorPoint MessagePosition(LPARAM lParam);

void EditorLeftPress(ORVAVSTExprPlug* plug, EditorPoint point);
void EditorMouseMove(ORVAVSTExprPlug* plug, EditorPoint point);
void EditorLeftRelease(ORVAVSTExprPlug* plug, EditorPoint point);
// Right and middle buttons: positions only, never a click.
void EditorOtherPress(ORVAVSTExprPlug* plug, EditorPoint point);
void EditorOtherRelease(ORVAVSTExprPlug* plug, EditorPoint point);

bool EditorDragging(const ORVAVSTExprPlug* plug);
// Gives the cursor back, shown and unclipped; the zoom reached so far stays. No-op without a drag.
void EndEditorDrag(ORVAVSTExprPlug* plug);

// Acts on a left click at plug->mousePos: folds, or flips the toggle there.
void HandleEditorClick(ORVAVSTExprPlug* plug);

}  // namespace tempotally
