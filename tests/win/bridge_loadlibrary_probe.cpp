// Loads the module at the relative path given as the first argument and writes the full path of
// the file that was loaded (or "none") to the file given as the second.
#include <windows.h>

#include <cstdio>

int main(int argc, char** argv) {
  if (argc < 3) return 2;
  char loaded[MAX_PATH] = "none";
  if (HMODULE module = LoadLibraryA(argv[1])) GetModuleFileNameA(module, loaded, MAX_PATH);
  std::FILE* out = std::fopen(argv[2], "wb");
  if (!out) return 3;
  std::fputs(loaded, out);
  std::fclose(out);
  return 0;
}
