// A stand-in for the object the editor edits: an engine of its own that the plug-in's editor side
// carries the editor's intents out on, and no host or video window behind it. It makes the shared
// drawing set and the hidden editor dialog from the test program's own resources, as the plug-in
// object does.
#pragma once

#include <windows.h>

#include <cstdint>

#include "editor/Editor.h"
#include "editor/EditorGdi.h"
#include "plugin/EditorSide.h"
#include "timeline/SharedEngine.h"

namespace tempotally::testsupport {

class FakeEditorHost final : public EditorSide {
 public:
  FakeEditorHost() : EditorSide(engine) {
    if (!engine.Allocate()) return;
    engine.ResetState();
    editor.Create(GetModuleHandleA(nullptr));
  }
  FakeEditorHost(const FakeEditorHost&) = delete;
  FakeEditorHost& operator=(const FakeEditorHost&) = delete;

  void AskSelection(double*) override {}
  void EditorResized() override {}
  void ApplyVideoOptions(const EngineOptions&, uint8_t) override {}

  SharedEngine engine;
  SharedGdiUser drawing{GetModuleHandleA(nullptr)};
  HWND window = nullptr;
  Editor editor{*this, window};
};

}  // namespace tempotally::testsupport
