// Writes the editor's skin sheet, resources/skin.bmp, which the module carries as bitmap 101.
#include <cstdio>

#include "tools/skin/SkinArt.h"

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: skin_gen OUTPUT.bmp\n");
    return 2;
  }
  const std::vector<uint8_t> bytes = tempotally::skin::DrawSkinBitmapFile();
  std::FILE* file = std::fopen(argv[1], "wb");
  if (!file) {
    std::fprintf(stderr, "skin_gen: cannot write %s\n", argv[1]);
    return 1;
  }
  const bool ok = std::fwrite(bytes.data(), 1, bytes.size(), file) == bytes.size();
  return std::fclose(file) == 0 && ok ? 0 : 1;
}
