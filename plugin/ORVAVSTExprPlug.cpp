#include "plugin/ORVAVSTExprPlug.h"

#include <cstring>
#include <new>

namespace tempotally {

constexpr int32_t InfoVersion = 1;
// Wants the per-tick call (0x20), plus the host's flag bits for this kind of plug-in.
constexpr int32_t InfoFlags = 0x00200061;
static_assert(InfoFlags & PluginFlagWantsTick, "the engine needs every tick");

const PluginInfo TempotallyInfo = {
    InfoVersion, "Velquor Tempotally", "ORVA Tempotally", InfoFlags, {}};

namespace {

constexpr ULONG UnreportedCount = ~ULONG{0};

// The state call's stream as the codec writes and reads it.
struct StreamWriter final : StateWriter {
  explicit StreamWriter(IStream* s) : stream(s) {}
  void Write(const void* data, uint32_t size) override { stream->Write(data, size, nullptr); }
  IStream* stream;
};

// The count the stream reports tells its end. A stream that leaves the count untouched is taken
// to have delivered everything asked for, as streams were taken before the count was read.
struct StreamReader final : StateReader {
  explicit StreamReader(IStream* s) : stream(s) {}
  uint32_t Read(void* data, uint32_t size) override {
    ULONG got = UnreportedCount;
    stream->Read(data, size, &got);
    return got == UnreportedCount ? size : static_cast<uint32_t>(got);
  }
  IStream* stream;
};

}  // namespace

// The linker's symbol at the start of this module's image, whose address is its handle.
extern "C" IMAGE_DOS_HEADER __ImageBase;

ORVAVSTExprPlug::ORVAVSTExprPlug(TFruityPlugHost* hostObject, int32_t tag)
    : TCPPFruityPlug(hostObject, tag), moduleInstance(reinterpret_cast<HINSTANCE>(&__ImageBase)) {
  pluginInfo = &TempotallyInfo;
}

ORVAVSTExprPlug::~ORVAVSTExprPlug() {
  if (videoBridge) videoBridge->ReleaseWrapped();
}

ORVAVSTExprPlug* ORVAVSTExprPlug::Create(TFruityPlugHost* hostObject, int32_t tag) {
  auto* plug = new (std::nothrow) ORVAVSTExprPlug(hostObject, tag);
  if (!plug) return nullptr;
  // From here on release undoes whatever was made, so every failure ends through it.
  // The video options start off, as a new video window does: hidden and not on top.
  TFruityBridgePlugHost* bridge = nullptr;
  bool made = plug->timeline.Allocate();
  if (made) {
    plug->timeline.ResetState();
    plug->editor.Create(plug->moduleInstance);
    made = OpenPlayerBridge(hostObject, tag, bridge);  // false only when memory runs out
  }
  if (made) {
    plug->videoBridge.reset(bridge);  // null without a player, which is a normal state
    return plug;
  }
  plug->Release();
  return nullptr;
}

TFruityPlug* __stdcall ORVAVSTExprPlug::Destroy(uint32_t flags) {
  // Without release too, the whole teardown: the editor must not outlive the object it points at.
  this->~ORVAVSTExprPlug();
  if (flags & DestroyFreesMemory) ::operator delete(static_cast<void*>(this));
  return this;
}

int32_t __stdcall ORVAVSTExprPlug::Dispatch(int32_t id, int32_t index, TWord value) {
  switch (id) {
    case PlugId::ShowEditor:
      editor.Show(reinterpret_cast<HWND>(value));
      break;
    case PlugId::Transport:
      timeline.Transport(static_cast<int32_t>(value));
      editor.RequestRepaint();
      break;
    case PlugId::SongPosition:
      if (double position = 0.0; host.SongPosition(position)) timeline.SongPosition(position);
      break;
    case PlugId::TimeSignature:
      // A null address carries no signature; the last one stays.
      if (value) {
        int32_t signature[3];
        std::memcpy(signature, reinterpret_cast<const void*>(value), sizeof signature);
        timeline.TimeSignature(signature);
        editor.RequestRepaint();
      }
      break;
    default:
      break;
  }
  if (videoBridge) videoBridge->Dispatch(id, index, value);
  return 0;
}

void __stdcall ORVAVSTExprPlug::Tick() {
  // Mixing thread. The engine takes the host's figures without waiting, outside every call out.
  HostTickReport report;
  std::memset(hostInfo39, 0, sizeof hostInfo39);
  report.fromHost = host.SongPosition(report.position);
  host.SongTime(report.hostTime);
  host.TickInfo(hostInfo39);
  const TickOutcome outcome = timeline.Tick(report, videoBridge != nullptr);
  if (videoBridge) videoBridge->SetVideoTime(outcome.videoTimeMs);
  if (outcome.repaint) editor.RequestRepaint();
  if (videoBridge) videoBridge->Tick();
}

int32_t __stdcall ORVAVSTExprPlug::Render(TWord word, float* buffer, int32_t* frameCount) {
  // The count is read again before every frame: the host owns it.
  for (int32_t i = 0; buffer && frameCount && i < *frameCount; ++i)
    buffer[2 * i] = buffer[2 * i + 1] = 0.0f;
  if (videoBridge) videoBridge->Render(word, buffer, frameCount);
  return 0;
}

void __stdcall ORVAVSTExprPlug::SaveRestoreState(IStream* stream, int32_t save) {
  if (!stream) return;
  HWND videoWindow = videoBridge ? videoBridge->videoWindow : nullptr;
  if (save) {
    if (videoWindow) {
      WINDOWPLACEMENT placement{};
      placement.length = sizeof placement;
      GetWindowPlacement(videoWindow, &placement);
      const RECT& normal = placement.rcNormalPosition;
      timeline.Change([&](TimelineEngine& engine) {
        engine.options.winleft = normal.left;
        engine.options.wintop = normal.top;
        engine.options.winwidth = normal.right - normal.left;
        engine.options.winheight = normal.bottom - normal.top;
      });
    }
    StreamWriter writer(stream);
    timeline.Save(writer);  // copied at one tick boundary, written with nothing held
  } else {
    StreamReader reader(stream);
    const EngineOptions options = timeline.Restore(reader);  // read, then swapped in
    editor.ApplyFoldHeight();
    ApplyVideoOptions(options, VideoPartsBoth);
    editor.RequestRepaint();
    if (videoWindow) {
      SetWindowPos(videoWindow, HWND_TOP, options.winleft, options.wintop, options.winwidth,
                   options.winheight, 0);
    }
  }
  if (videoBridge) videoBridge->SaveRestoreState(stream, save);
}

void ORVAVSTExprPlug::ApplyVideoOptions(const EngineOptions& options, uint8_t parts) {
  HWND window = videoBridge ? videoBridge->videoWindow : nullptr;
  if (!window) return;
  if (parts & VideoPartShown) ShowWindow(window, options.video ? SW_SHOW : SW_HIDE);
  if (parts & VideoPartOnTop) {
    SetWindowPos(window, options.videoontop ? HWND_TOPMOST : HWND_NOTOPMOST, 0, 0, 0, 0,
                 SWP_NOMOVE | SWP_NOSIZE);
  }
}

}  // namespace tempotally
