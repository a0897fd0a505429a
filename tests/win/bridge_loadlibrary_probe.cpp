// Loads the module at the relative path given as the first argument and writes the full path of
// the file that was loaded (or "none") to the file given as the second. Given a plug-in module as
// the third, it instead creates one instance of that plug-in, without a host, and writes every
// video-player file loaded in the process then, one a line. Paths are written in UTF-8, in their
// plain form: a "\\?\" prefix, with which the platform may name a long path, is left out.
#include <windows.h>
// After windows.h, which it needs.
#include <tlhelp32.h>

#include <cstdint>
#include <cstdio>
#include <cwchar>
#include <string>

namespace {

using CreateFn = void*(__stdcall*)(void* host, int32_t tag);
using ReleaseFn = void(__stdcall*)(void* object);

constexpr wchar_t LongPathPrefix[] = L"\\\\?\\";
constexpr DWORD PathChars = 32768;

std::string Utf8(const wchar_t* wide) {
  if (std::wcsncmp(wide, LongPathPrefix, std::wcslen(LongPathPrefix)) == 0) {
    wide += std::wcslen(LongPathPrefix);
  }
  const int length = WideCharToMultiByte(CP_UTF8, 0, wide, -1, nullptr, 0, nullptr, nullptr);
  std::string text(length > 0 ? length : 1, '\0');
  WideCharToMultiByte(CP_UTF8, 0, wide, -1, &text[0], length, nullptr, nullptr);
  text.resize(text.size() - 1);
  return text;
}

std::string FileOf(HMODULE module) {
  std::wstring name(PathChars, L'\0');
  const DWORD length = GetModuleFileNameW(module, &name[0], PathChars);
  name.resize(length < PathChars ? length : 0);
  return Utf8(name.c_str());
}

// Every module of this process whose file is named as one of the video player's.
std::string PlayersLoaded() {
  std::string loaded;
  HANDLE snapshot = CreateToolhelp32Snapshot(TH32CS_SNAPMODULE, GetCurrentProcessId());
  if (snapshot == INVALID_HANDLE_VALUE) return "no module list";
  MODULEENTRY32W entry = {};
  entry.dwSize = sizeof entry;
  for (BOOL more = Module32FirstW(snapshot, &entry); more; more = Module32NextW(snapshot, &entry)) {
    if (lstrcmpiW(entry.szModule, L"Fruity Video Player 2.dll") != 0 &&
        lstrcmpiW(entry.szModule, L"Fruity Video Player.dll") != 0) {
      continue;
    }
    if (!loaded.empty()) loaded += "\n";
    loaded += FileOf(entry.hModule);
  }
  CloseHandle(snapshot);
  return loaded;
}

std::string PlayersLoadedByPlugIn(const char* plugInPath) {
  HMODULE plugIn = LoadLibraryA(plugInPath);
  if (!plugIn) return "";
  auto create = reinterpret_cast<CreateFn>(
      reinterpret_cast<void (*)()>(GetProcAddress(plugIn, "CreatePlugInstance")));
  void* object = create ? create(nullptr, 1) : nullptr;
  if (!object) return "";
  const std::string loaded = PlayersLoaded();
  reinterpret_cast<ReleaseFn>((*static_cast<void***>(object))[0])(object);
  return loaded;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 3) return 2;
  std::string loaded;
  if (argc > 3) {
    loaded = PlayersLoadedByPlugIn(argv[3]);
  } else if (HMODULE module = LoadLibraryA(argv[1])) {
    loaded = FileOf(module);
  }
  if (loaded.empty()) loaded = "none";
  std::FILE* out = std::fopen(argv[2], "wb");
  if (!out) return 3;
  std::fputs(loaded.c_str(), out);
  std::fclose(out);
  return 0;
}
