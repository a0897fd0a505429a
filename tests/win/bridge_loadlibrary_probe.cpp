// Loads the module at the relative path given as the first argument and writes the full path of
// the file that was loaded (or "none") to the file given as the second. Given a plug-in module as
// the third, it instead creates one instance of that plug-in, without a host, and writes which
// video-player file the plug-in loaded.
#include <windows.h>

#include <cstdint>
#include <cstdio>
#include <initializer_list>

namespace {

using CreateFn = void*(__stdcall*)(void* host, int32_t tag);
using ReleaseFn = void(__stdcall*)(void* object);

void PlayerLoadedByPlugIn(const char* plugInPath, char (&loaded)[MAX_PATH]) {
  HMODULE plugIn = LoadLibraryA(plugInPath);
  if (!plugIn) return;
  auto create = reinterpret_cast<CreateFn>(
      reinterpret_cast<void (*)()>(GetProcAddress(plugIn, "CreatePlugInstance")));
  void* object = create ? create(nullptr, 1) : nullptr;
  if (!object) return;
  for (const char* name : {"Fruity Video Player 2.dll", "Fruity Video Player.dll"}) {
    if (HMODULE player = GetModuleHandleA(name)) {
      GetModuleFileNameA(player, loaded, MAX_PATH);
      break;
    }
  }
  reinterpret_cast<ReleaseFn>((*static_cast<void***>(object))[0])(object);
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 3) return 2;
  char loaded[MAX_PATH] = "none";
  if (argc > 3) {
    PlayerLoadedByPlugIn(argv[3], loaded);
  } else if (HMODULE module = LoadLibraryA(argv[1])) {
    GetModuleFileNameA(module, loaded, MAX_PATH);
  }
  std::FILE* out = std::fopen(argv[2], "wb");
  if (!out) return 3;
  std::fputs(loaded, out);
  std::fclose(out);
  return 0;
}
