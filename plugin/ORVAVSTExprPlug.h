// The plug-in object: the elapsed-time engine in front of the wrapped video player. It handles the
// editor, the transport and the per-tick call itself and passes every call on through the bridge.
#pragma once

#include <windows.h>

#include <cstdint>

#include "editor/Editor.h"
#include "plugin/EditorSide.h"
#include "plugin/TCPPFruityPlug.h"
#include "timeline/SharedEngine.h"
#include "timeline/TimelineEngine.h"

namespace tempotally {

extern const PluginInfo TempotallyInfo;

class ORVAVSTExprPlug final : public TCPPFruityPlug {
 public:
  // Builds a complete object, or returns null (holding nothing) when memory runs out.
  static ORVAVSTExprPlug* Create(TFruityPlugHost* hostObject, int32_t tag);

  int32_t __stdcall Dispatch(int32_t id, int32_t index, TWord value) override;
  // The slots handled before passing them on; each slot's meaning and thread: the interface.
  void __stdcall SaveRestoreState(IStream* stream, int32_t save) override;
  int32_t __stdcall Render(TWord word, float* buffer, int32_t* frameCount) override;
  void __stdcall Tick() override;
  TFruityPlug* __stdcall Destroy(uint32_t flags) override;

  // Made in this order and ended in reverse, after the wrapped player and before the bridge.
  HINSTANCE moduleInstance;
  SharedGdiUser drawing{moduleInstance};
  // Used by the mixing thread, the window thread and any other (timeline/SharedEngine.h).
  SharedEngine timeline;
  // The editor keeps its window handle in the public field, where the host reads it.
  Editor editor{editorSide_, editorWindow};
  uint8_t hostInfo39[HostRecordBytes] = {};

 private:
  // What the editor sees of this object: a member rather than a base, so the host's table keeps
  // exactly its slots. Window thread.
  class PlugEditorSide final : public EditorSide {
   public:
    explicit PlugEditorSide(ORVAVSTExprPlug& plug) : EditorSide(plug.timeline), plug_(plug) {}
    void AskSelection(double* beats) override { plug_.host.Selection(beats); }
    void EditorResized() override { plug_.host.EditorResized(); }
    void ApplyVideoOptions(const EngineOptions& options, uint8_t parts) override {
      plug_.ApplyVideoOptions(options, parts);
    }

   private:
    ORVAVSTExprPlug& plug_;
  };

  ORVAVSTExprPlug(TFruityPlugHost* hostObject, int32_t tag);
  // Releases the wrapped player first; the members and the bridge follow.
  ~ORVAVSTExprPlug();
  // Shows or hides the video window and puts it on top or not, as `options` say, for the parts
  // (VideoPart bits) asked for. Window thread; nothing without a video window.
  void ApplyVideoOptions(const EngineOptions& options, uint8_t parts);
  PlugEditorSide editorSide_{*this};
};

}  // namespace tempotally
