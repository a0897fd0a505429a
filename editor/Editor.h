// The editor: a control-less dialog that the plug-in parents into the host's window, and the
// process-wide drawing resources that all live editors share.
#pragma once

#include <windows.h>

namespace tempotally {

class ORVAVSTExprPlug;

constexpr int EditorDialogTemplate = 100;

// The editor's size: always this wide; this high unfolded, and a panel's worth less per fold level.
constexpr int EditorWidth = 240;
constexpr int EditorFullHeight = 294;
constexpr int EditorFoldStep = 94;

// Drawing resources shared by every live plug-in object; see editorInstanceCount.
struct SharedGdi {
  HBITMAP skinBitmap = nullptr;
  HFONT titleFont = nullptr;
  HFONT readoutFont = nullptr;
  HFONT labelFont = nullptr;
  bool created = false;
};
extern SharedGdi sharedGdi;
extern int sharedGdiCreations;  // how many times the set was made, for the lifecycle tests

// Registers the editor's typeface, then makes the three fonts and loads the skin from the module.
// A failure leaves that handle null.
void CreateSharedGdi(HINSTANCE moduleInstance);
void DeleteSharedGdi();

// Creates the hidden editor dialog; the dialog sets plug->editorWindow while it is being created.
void CreateEditorDialog(ORVAVSTExprPlug* plug);
// Ends the editor at release, on any thread: the drag given back, the dialog unbound from the
// object so no later message reaches it, then destroyed here or by the thread that owns it.
void DestroyEditorDialog(ORVAVSTExprPlug* plug);
// Parents and shows the editor in `parent`, or hides and unparents it when `parent` is null.
void ShowEditor(ORVAVSTExprPlug* plug, HWND parent);
// Sizes the editor for its fold level and tells the host, unless it already has that height.
// Reads the level from the engine on the non-tick side: never call it from inside a tick.
void ApplyFoldHeight(ORVAVSTExprPlug* plug);
// Asks a shown editor to repaint; any thread. On the editor's own thread it invalidates at once;
// from any other (the host's mixing thread) it only sets a flag, which the editor's frame timer
// turns into one paint per display frame at most. Never waits and makes no window call then.
void RequestRepaint(ORVAVSTExprPlug* plug);

INT_PTR CALLBACK EditorDialogProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);

}  // namespace tempotally
