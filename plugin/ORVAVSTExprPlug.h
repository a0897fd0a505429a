// The plug-in object: the elapsed-time engine in front of the wrapped video player. It handles the
// editor, the transport and the per-tick call itself and passes every call on through the bridge.
#pragma once

#include <windows.h>

#include <atomic>
#include <cstdint>
#include <memory>

#include "editor/EditorCanvas.h"
#include "editor/EditorInputModel.h"
#include "plugin/TCPPFruityPlug.h"
#include "timeline/SharedEngine.h"
#include "timeline/TimelineEngine.h"

namespace tempotally {

class TFruityBridgePlugHost;

// Live plug-in objects in the process; the shared drawing resources exist while it is above 0.
extern int32_t editorInstanceCount;

extern const PluginInfo TempotallyInfo;

constexpr int32_t DefaultGraphSpan = 1536;   // ticks shown by the graph
constexpr float DefaultGraphMargin = 0.01f;  // seconds per tick
constexpr int HostRecordBytes = 16;          // the records the host fills for ids 36 and 39

class ORVAVSTExprPlug final : public TCPPFruityPlug {
 public:
  // Builds a complete object, or returns null (holding nothing) when memory runs out.
  static ORVAVSTExprPlug* Create(TFruityPlugHost* hostObject, int32_t tag);

  void __stdcall Release() override;
  int32_t __stdcall Dispatch(int32_t id, int32_t index, TWord value) override;
  void __stdcall Call2() override;
  void __stdcall SaveRestoreState(IStream* stream, int32_t save) override;
  void __stdcall Call4(TWord a, TWord b, TWord c, TWord d) override;
  int32_t __stdcall Call5(TWord a, TWord b, TWord c) override;
  int32_t __stdcall Call6(TWord a, TWord b, TWord c) override;
  void __stdcall Call7(TWord a, TWord b, TWord c) override;
  void __stdcall Call8(TWord a, TWord b) override;
  int32_t __stdcall Call9(TWord a, TWord b) override;
  void __stdcall Call10(TWord a) override;
  void __stdcall Call11(TWord a) override;
  int32_t __stdcall Call12(TWord a, TWord b, TWord c, TWord d) override;
  int32_t __stdcall Render(TWord word, float* buffer, int32_t* frameCount) override;
  void __stdcall Tick() override;
  void __stdcall Call15() override;
  void __stdcall Call16(TWord a) override;
  void __stdcall Call17(TWord a) override;
  TFruityPlug* __stdcall Destroy(uint32_t flags) override;

  HWND editorParent = nullptr;
  uint8_t editorShown = 0;
  DWORD editorThread = 0;  // the thread that made the editor and receives its messages
  // Set by a repaint asked for on another thread; the editor's frame timer clears it and paints.
  std::atomic<bool> repaintPending{false};
  std::unique_ptr<EditorCanvas> editorCanvas;  // from the first paint on
  // The editor's mouse state; see editor/EditorInput.h. The drag starts idle.
  EditorPoint buttonDownPos = NoPressPosition;
  EditorPoint mousePos = NoMousePosition;
  int32_t dragKind = DragKindNone;
  float dragStartMargin = 0.0f;
  int32_t dragStartSpan = 0;
  EditorPoint dragAnchor = NoDragAnchor;  // screen; measured after parking the cursor
  EditorPoint dragHome = {0, 0};          // screen; where the cursor is parked during a drag
  float dragAccumY = 0.0f;
  float dragAccumX = 0.0f;
  HCURSOR savedCursor = nullptr;
  bool injectingMove = false;
  bool dragActive = false;  // a zoom drag is in progress; dragAnchor may be any position then
  // The engine's state, options and map, used by the host's mixing thread and its window thread;
  // timeline/SharedEngine.h says how each side reaches it.
  SharedEngine timeline;
  // The thread of the latest per-tick call: dispatch on it takes the tick's own path.
  std::atomic<DWORD> tickThread{0};
  int32_t graphSpan = DefaultGraphSpan;
  float graphMargin = DefaultGraphMargin;
  HINSTANCE moduleInstance = nullptr;
  double hostSelection[2] = {0.0, 0.0};
  uint8_t hostInfo39[HostRecordBytes] = {};
  TFruityBridgePlugHost* videoBridge = nullptr;  // owned; null without a video player
  bool tornDown = false;

 private:
  ORVAVSTExprPlug(TFruityPlugHost* hostObject, int32_t tag);
  ~ORVAVSTExprPlug() = default;
  // Everything release does before the destructor: the wrapped player, the editor, the arrays and
  // this object's share of the shared drawing resources. Runs once, whichever slot comes first.
  void Teardown();
  // Loads the video player behind a bridge; false only when the bridge could not be allocated.
  bool OpenVideoPlayer();
  // The plug-in's part of the state call, in either direction. Window thread (or whichever thread
  // the host makes the state call on); never from inside a per-tick call.
  void SaveToStream(IStream* stream);
  EngineOptions RestoreFromStream(IStream* stream);
  // Applies a host notification to the engine: in place on the thread that ticks, so it keeps its
  // order among the ticks and never waits; at the next tick boundary from any other thread.
  template <typename F>
  void Notify(F&& change) {
    if (GetCurrentThreadId() == tickThread.load(std::memory_order_relaxed)) {
      timeline.InPlace(change);
    } else {
      timeline.Change(change);
    }
  }
};

}  // namespace tempotally
