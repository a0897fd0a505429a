// The module's entry points: the load notification and the one export the host calls.
#include <windows.h>

#include "plugin/ORVAVSTExprPlug.h"

extern "C" BOOL WINAPI DllMain(HINSTANCE instance, DWORD reason, LPVOID) {
  if (reason == DLL_PROCESS_ATTACH) DisableThreadLibraryCalls(instance);
  return TRUE;
}

// Exported undecorated through abi/exports.def.
extern "C" tempotally::TFruityPlug* __stdcall CreatePlugInstance(tempotally::TFruityPlugHost* host,
                                                                 int32_t tag) {
  return tempotally::ORVAVSTExprPlug::Create(host, tag);
}
