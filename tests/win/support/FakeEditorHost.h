// A stand-in for the object the editor edits: an engine of its own, no host to ask, and a record
// of the resizes and video options the editor passes on. It makes the shared drawing set and the
// hidden editor dialog from the test program's own resources, as the plug-in object does.
#pragma once

#include <windows.h>

#include <cstdint>

#include "editor/Editor.h"
#include "editor/EditorGdi.h"
#include "editor/EditorHost.h"
#include "timeline/SharedEngine.h"

namespace tempotally::testsupport {

class FakeEditorHost final : public EditorHost {
 public:
  FakeEditorHost() {
    if (!engine.Allocate()) return;
    engine.ResetState();
    CreateSharedGdi(GetModuleHandleA(nullptr));
    editor.Create(GetModuleHandleA(nullptr));
  }
  ~FakeEditorHost() {
    editor.Destroy();
    DeleteSharedGdi();
    engine.Free();
  }
  FakeEditorHost(const FakeEditorHost&) = delete;
  FakeEditorHost& operator=(const FakeEditorHost&) = delete;

  SharedEngine& Engine() override { return engine; }
  void AskSelection(double*) override {}
  void EditorResized() override { ++resizes; }
  void ApplyVideoOptions(const EngineOptions& options, uint8_t parts) override {
    videoOptions = options;
    videoParts = parts;
  }

  SharedEngine engine;
  HWND window = nullptr;
  Editor editor{*this, window};
  int resizes = 0;
  EngineOptions videoOptions{};
  uint8_t videoParts = 0;
};

}  // namespace tempotally::testsupport
