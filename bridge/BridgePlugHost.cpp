// The bridge: construction (loading the player and creating its instance), the host slots that
// the wrapped player calls, the plug-in calls passed on to it, and its release.
#include "bridge/BridgePlugHost.h"

#include <cstring>

#include "bridge/VideoWindow.h"

namespace tempotally {

#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Winvalid-offsetof"
static_assert(offsetof(TFruityBridgePlugHost, realHost) == RealHostOffset,
              "the slot-37 thunk reads realHost at a fixed offset");
#pragma GCC diagnostic pop
static_assert(RealHostOffset == sizeof(void*) + HostPublicWords * sizeof(int32_t), "layout");
static_assert(HostSlot37Offset == 148, "the slot-37 thunk jumps through a fixed table entry");

namespace {

// The player's export, looked up by name. The detour through a parameterless function type is
// how a looked-up address may be converted without a warning.
CreatePlugInstanceFn FindCreatePlugInstance(HMODULE module) {
  FARPROC address = GetProcAddress(module, PlayerExportName);
  return reinterpret_cast<CreatePlugInstanceFn>(reinterpret_cast<void (*)()>(address));
}

}  // namespace

TFruityBridgePlugHost::TFruityBridgePlugHost(TFruityPlugHost* host, const char* playerModulePath,
                                             int32_t tag)
    : hostTag(tag) {
  std::memset(hostPublic, 0, sizeof hostPublic);
  hostPublic[0] = DefaultHostPublic0;
  hostPublic[2] = static_cast<int32_t>(reinterpret_cast<intptr_t>(GetModuleHandleA(nullptr)));
  if (host) {
    std::memcpy(hostPublic, host->hostPublic, sizeof hostPublic);
    realHost = host;
  }

  // A path that doesn't fit is not loaded at all: a cut-off path could name another file.
  if (!playerModulePath) return;
  const size_t length = strnlen(playerModulePath, PlayerPathChars);
  if (length >= PlayerPathChars) return;
  std::memcpy(playerPath, playerModulePath, length + 1);

  wrappedModule = LoadLibraryA(playerPath);
  if (!wrappedModule) return;

  holdsClass = AcquireVideoClass(wrappedModule);
  videoWindow = CreateVideoWindow(wrappedModule);
  captionWindow = videoWindow;

  CreatePlugInstanceFn create = FindCreatePlugInstance(wrappedModule);
  if (!create) return;
  wrappedPlug = create(this, hostTag);
  if (!wrappedPlug) return;

  if (videoWindow) SetWindowLongPtrA(videoWindow, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(this));
  wrappedPlug->Dispatch(PlugId::ShowEditor, 0, reinterpret_cast<TWord>(videoWindow));

  wrappedEditor = wrappedPlug->editorWindow;
  RECT editorClient = {};
  if (wrappedEditor && videoWindow && GetClientRect(wrappedEditor, &editorClient)) {
    // Outer size, frame included; the WM_SIZE this causes fits the editor into the client area.
    SetWindowPos(videoWindow, HWND_TOP, 0, 0, editorClient.right, editorClient.bottom, SWP_NOMOVE);
  }

  const PluginInfo* info = wrappedPlug->pluginInfo;
  if (info && (info->flags & PluginFlagWantsTick)) wantsTick = 1;
}

void TFruityBridgePlugHost::ReleaseWrapped() {
  if (!wrappedPlug) return;
  // Cleared before the call, so nothing that runs during the release reaches the instance.
  TFruityPlug* plug = wrappedPlug;
  wrappedPlug = nullptr;
  wrappedEditor = nullptr;
  plug->Release();
  // The module stays loaded until DestroyVideoWindow: a player whose release leaves its editor
  // alive still has that window, and its procedure, inside the video window.
}

void DeleteBridge(TFruityBridgePlugHost* bridge) {
  if (!bridge) return;
  bridge->DestroyVideoWindow();
  delete bridge;
}

// Plug-in calls passed on to the wrapped instance.

int32_t TFruityBridgePlugHost::ForwardToWrapped1(int32_t id, int32_t index, TWord value) {
  if (!wrappedPlug || id == PlugId::ShowEditor || id == PlugId::Withheld5) return 0;
  return wrappedPlug->Dispatch(id, index, value);
}

void TFruityBridgePlugHost::ForwardToWrapped2() {
  if (wrappedPlug && slot2Enabled) wrappedPlug->Call2();
}

void TFruityBridgePlugHost::ForwardToWrapped3(IStream* stream, int32_t save) {
  if (wrappedPlug) wrappedPlug->SaveRestoreState(stream, save);
}

void TFruityBridgePlugHost::ForwardToWrapped4(TWord a, TWord b, TWord c, TWord d) {
  if (wrappedPlug) wrappedPlug->Call4(a, b, c, d);
}

int32_t TFruityBridgePlugHost::ForwardToWrapped5(TWord a, TWord b, TWord c) {
  return wrappedPlug ? wrappedPlug->Call5(a, b, c) : 0;
}

int32_t TFruityBridgePlugHost::ForwardToWrapped6(TWord a, TWord b, TWord c) {
  return wrappedPlug ? wrappedPlug->Call6(a, b, c) : 0;
}

void TFruityBridgePlugHost::ForwardToWrapped7(TWord a, TWord b, TWord c) {
  if (wrappedPlug) wrappedPlug->Call7(a, b, c);
}

void TFruityBridgePlugHost::ForwardToWrapped8(TWord a, TWord b) {
  if (wrappedPlug) wrappedPlug->Call8(a, b);
}

int32_t TFruityBridgePlugHost::ForwardToWrapped9(TWord a, TWord b) {
  return wrappedPlug ? wrappedPlug->Call9(a, b) : 0;
}

void TFruityBridgePlugHost::ForwardToWrapped10(TWord a) {
  if (wrappedPlug) wrappedPlug->Call10(a);
}

void TFruityBridgePlugHost::ForwardToWrapped11(TWord a) {
  if (wrappedPlug) wrappedPlug->Call11(a);
}

int32_t TFruityBridgePlugHost::ForwardToWrapped12(TWord a, TWord b, TWord c, TWord d) {
  return wrappedPlug ? wrappedPlug->Call12(a, b, c, d) : 0;
}

int32_t TFruityBridgePlugHost::ForwardToWrapped13(TWord word, float* buffer, int32_t* frameCount) {
  return wrappedPlug ? wrappedPlug->Render(word, buffer, frameCount) : 0;
}

void TFruityBridgePlugHost::ForwardToWrapped14() {
  if (wrappedPlug && wantsTick) wrappedPlug->Tick();
}

void TFruityBridgePlugHost::ForwardToWrapped15() {
  if (wrappedPlug) wrappedPlug->Call15();
}

void TFruityBridgePlugHost::ForwardToWrapped16(TWord a) {
  if (wrappedPlug) wrappedPlug->Call16(a);
}

void TFruityBridgePlugHost::ForwardToWrapped17(TWord a) {
  if (wrappedPlug) wrappedPlug->Call17(a);
}

// Host slots called by the wrapped instance.

int32_t __stdcall TFruityBridgePlugHost::HostDispatch(int32_t /*tag*/, int32_t id, int32_t index,
                                                      TWord value) {
  switch (id) {
    case HostId::EditorResized:
    case HostId::Consumed23:
      return 0;
    case HostId::SetCaption:
      if (!captionWindow || !value) return 0;
      return SetWindowTextA(captionWindow, reinterpret_cast<const char*>(value));
    case HostId::EnableSlot2:
      slot2Enabled = value == 1 ? 1 : 0;
      return 0;
    case HostId::SongTime: {
      const int32_t result = realHost ? realHost->HostDispatch(hostTag, id, index, value) : 0;
      if (value) std::memcpy(reinterpret_cast<void*>(value), &videoTime, sizeof videoTime);
      return result;
    }
    default:
      return realHost ? realHost->HostDispatch(hostTag, id, index, value) : 0;
  }
}

void __stdcall TFruityBridgePlugHost::HostCall1(TWord a, TWord b, TWord c) {
  if (realHost) realHost->HostCall1(a, b, c);
}

void __stdcall TFruityBridgePlugHost::HostCall2(TWord a, TWord b) {
  if (realHost) realHost->HostCall2(a, b);
}

void __stdcall TFruityBridgePlugHost::HostCall3(TWord a, TWord b, TWord c, float d) {
  if (realHost) realHost->HostCall3(a, b, c, d);
}

void __stdcall TFruityBridgePlugHost::HostCall4(TWord a) {
  if (realHost) realHost->HostCall4(a);
}

void __stdcall TFruityBridgePlugHost::HostCall5(TWord a, TWord b) {
  if (realHost) realHost->HostCall5(a, b);
}

int32_t __stdcall TFruityBridgePlugHost::HostCall6(TWord a, TWord b, TWord c, TWord d) {
  return realHost ? realHost->HostCall6(a, b, c, d) : 0;
}

void __stdcall TFruityBridgePlugHost::HostCall7() {
  if (realHost) realHost->HostCall7();
}

void __stdcall TFruityBridgePlugHost::HostCall8() {
  if (realHost) realHost->HostCall8();
}

void __stdcall TFruityBridgePlugHost::HostCall9(TWord a, TWord b) {
  if (realHost) realHost->HostCall9(a, b);
}

void __stdcall TFruityBridgePlugHost::HostCall10(TWord a, TWord b) {
  if (realHost) realHost->HostCall10(a, b);
}

void __stdcall TFruityBridgePlugHost::HostCall11(TWord a, TWord b, TWord c, float d, float e,
                                                 TWord f, TWord g) {
  if (realHost) realHost->HostCall11(a, b, c, d, e, f, g);
}

void __stdcall TFruityBridgePlugHost::HostCall12(TWord a, TWord b, TWord c, float d, float e,
                                                 TWord f, TWord g) {
  if (realHost) realHost->HostCall12(a, b, c, d, e, f, g);
}

bool __stdcall TFruityBridgePlugHost::HostCall13(TWord a, TWord b, TWord c, TWord d) {
  return realHost ? realHost->HostCall13(a, b, c, d) : false;
}

int32_t __stdcall TFruityBridgePlugHost::HostCall14(TWord a, TWord b) {
  return realHost ? realHost->HostCall14(a, b) : 0;
}

void __stdcall TFruityBridgePlugHost::HostCall15(TWord a) {
  if (realHost) realHost->HostCall15(a);
}

int32_t __stdcall TFruityBridgePlugHost::HostCall16() {
  return realHost ? realHost->HostCall16() : 0;
}

double __stdcall TFruityBridgePlugHost::SongPosition() {
  return realHost ? realHost->SongPosition() : 0.0;
}

double __stdcall TFruityBridgePlugHost::HostCall18() {
  return realHost ? realHost->HostCall18() : 0.0;
}

void __stdcall TFruityBridgePlugHost::HostCall19(TWord a, TWord b, TWord c) {
  if (realHost) realHost->HostCall19(a, b, c);
}

int32_t __stdcall TFruityBridgePlugHost::HostCall20(TWord a) {
  return realHost ? realHost->HostCall20(a) : 0;
}

void __stdcall TFruityBridgePlugHost::HostCall21(TWord a, TWord b) {
  if (realHost) realHost->HostCall21(a, b);
}

void __stdcall TFruityBridgePlugHost::HostCall22(TWord a, TWord b) {
  if (realHost) realHost->HostCall22(a, b);
}

void __stdcall TFruityBridgePlugHost::HostCall23(TWord a, TWord b) {
  if (realHost) realHost->HostCall23(a, b);
}

void __stdcall TFruityBridgePlugHost::HostCall24(TWord a, TWord b, TWord c, TWord d, float e,
                                                 float f, float g) {
  if (realHost) realHost->HostCall24(a, b, c, d, e, f, g);
}

int32_t __stdcall TFruityBridgePlugHost::HostCall25(TWord a) {
  return realHost ? realHost->HostCall25(a) : 0;
}

int32_t __stdcall TFruityBridgePlugHost::HostCall26(TWord a, TWord b) {
  return realHost ? realHost->HostCall26(a, b) : 0;
}

bool __stdcall TFruityBridgePlugHost::HostCall27(TWord a, TWord b, TWord c, TWord d, TWord e) {
  return realHost ? realHost->HostCall27(a, b, c, d, e) : false;
}

void __stdcall TFruityBridgePlugHost::HostCall28() {
  if (realHost) realHost->HostCall28();
}

void __stdcall TFruityBridgePlugHost::HostCall29() {
  if (realHost) realHost->HostCall29();
}

void __stdcall TFruityBridgePlugHost::HostCall30(TWord a, TWord b, TWord c) {
  if (realHost) realHost->HostCall30(a, b, c);
}

void __stdcall TFruityBridgePlugHost::HostCall31(TWord a, TWord b, float c, float d) {
  if (realHost) realHost->HostCall31(a, b, c, d);
}

void __stdcall TFruityBridgePlugHost::HostCall32(TWord a) {
  if (realHost) realHost->HostCall32(a);
}

void __stdcall TFruityBridgePlugHost::HostCall33(TWord a) {
  if (realHost) realHost->HostCall33(a);
}

void __stdcall TFruityBridgePlugHost::HostCall34() {
  if (realHost) realHost->HostCall34();
}

void __stdcall TFruityBridgePlugHost::HostCall35() {
  if (realHost) realHost->HostCall35();
}

void __stdcall TFruityBridgePlugHost::HostCall36(TWord a, TWord b, TWord c) {
  if (realHost) realHost->HostCall36(a, b, c);
}

// The object on the stack becomes the real host and control jumps to its slot 37, so whatever
// the caller pushed and whatever the real host returns pass untouched; the real host's slot
// removes the arguments. Without a real host: remove the object only and return 0 (eax and edx).
__attribute__((naked)) void __stdcall TFruityBridgePlugHost::HostCall37() {
  asm("movl 4(%esp), %eax\n\t"
      "movl 192(%eax), %eax\n\t"  // realHost (RealHostOffset)
      "testl %eax, %eax\n\t"
      "jz 1f\n\t"
      "movl %eax, 4(%esp)\n\t"
      "movl (%eax), %eax\n\t"
      "jmp *148(%eax)\n"  // slot 37 (HostSlot37Offset)
      "1:\n\t"
      "xorl %edx, %edx\n\t"
      "ret $4");
}

}  // namespace tempotally
