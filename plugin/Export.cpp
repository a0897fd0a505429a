// The module's entry points: the load notification and the one export the host calls.
#include <windows.h>

#include "plugin/ORVAVSTExprPlug.h"

using tempotally::ORVAVSTExprPlug;
using tempotally::TFruityPlug;
using tempotally::TFruityPlugHost;

extern "C" BOOL WINAPI DllMain(HINSTANCE instance, DWORD reason, LPVOID) {
  if (reason == DLL_PROCESS_ATTACH) DisableThreadLibraryCalls(instance);
  return TRUE;
}

// Exported undecorated through abi/exports.def.
extern "C" TFruityPlug* __stdcall CreatePlugInstance(TFruityPlugHost* host, int32_t tag) {
  return ORVAVSTExprPlug::Create(host, tag);
}
