// The editor dialog's creation, parenting and message routing.
#include "editor/Editor.h"

#include "editor/EditorGdi.h"
#include "plugin/TempotallyPlug.h"

namespace tempotally {

void CreateEditorDialog(ORVAVSTExprPlug* plug) {
  CreateDialogParamA(plug->moduleInstance, MAKEINTRESOURCEA(EditorDialogTemplate), nullptr,
                     EditorDialogProc, reinterpret_cast<LPARAM>(plug));
}

void ShowEditor(ORVAVSTExprPlug* plug, HWND parent) {
  if (parent) {
    plug->editorParent = parent;
    plug->editorShown = 1;
    if (plug->editorWindow) {
      SetParent(plug->editorWindow, parent);
      ShowWindow(plug->editorWindow, SW_SHOW);
    }
  } else {
    plug->editorShown = 0;
    if (plug->editorWindow) {
      ShowWindow(plug->editorWindow, SW_HIDE);
      SetParent(plug->editorWindow, nullptr);
    }
  }
}

void ApplyFoldHeight(ORVAVSTExprPlug* plug) {
  if (!plug->editorWindow) return;
  const int target = EditorFullHeight - EditorFoldStep * plug->timeline.minimised;
  RECT rect{};
  GetWindowRect(plug->editorWindow, &rect);
  if (rect.bottom - rect.top == target) return;
  SetWindowPos(plug->editorWindow, nullptr, 0, 0, EditorWidth, target, SWP_NOMOVE);
  if (plug->host) plug->host->HostDispatch(plug->instanceTag, HostId::EditorResized, 0, 0);
}

void RequestRepaint(ORVAVSTExprPlug* plug) {
  if (plug->editorShown && plug->editorWindow) InvalidateRect(plug->editorWindow, nullptr, FALSE);
}

namespace {

INT_PTR EditorWindowProc(ORVAVSTExprPlug* plug, UINT message) {
  switch (message) {
    case WM_PAINT:
      if (sharedGdi.skinBitmap) PaintEditor(plug, plug->editorWindow);
      return 0;
    case WM_ERASEBKGND:
      return 1;  // the skin covers the whole surface; never erase
    default:
      return 0;
  }
}

}  // namespace

INT_PTR CALLBACK EditorDialogProc(HWND window, UINT message, WPARAM, LPARAM lParam) {
  if (message == WM_INITDIALOG) {
    auto* plug = reinterpret_cast<ORVAVSTExprPlug*>(lParam);
    SetWindowLongA(window, GWL_USERDATA, static_cast<LONG>(lParam));
    if (plug) plug->editorWindow = window;
    return 1;
  }
  auto* plug = reinterpret_cast<ORVAVSTExprPlug*>(GetWindowLongA(window, GWL_USERDATA));
  if (!plug) return 0;
  return EditorWindowProc(plug, message);
}

}  // namespace tempotally
