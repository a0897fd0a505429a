// The one file that builds stb_image_write.
#include "tools/demo/PngWriter.h"

#define STB_IMAGE_WRITE_IMPLEMENTATION
#include <stb_image_write.h>

namespace tempotally::demo {

constexpr int RgbChannels = 3;

bool WritePng(const std::string& path, int width, int height, const std::vector<uint8_t>& rgb) {
  if (width <= 0 || height <= 0 ||
      rgb.size() != static_cast<size_t>(width) * static_cast<size_t>(height) * RgbChannels) {
    return false;
  }
  return stbi_write_png(path.c_str(), width, height, RgbChannels, rgb.data(),
                        width * RgbChannels) != 0;
}

bool WritePng(const std::string& path, const testhost::Pixels& pixels) {
  std::vector<uint8_t> rgb;
  rgb.reserve(pixels.rgb.size() * RgbChannels);
  for (uint32_t p : pixels.rgb) {
    rgb.insert(rgb.end(), {static_cast<uint8_t>(p >> 16), static_cast<uint8_t>(p >> 8),
                           static_cast<uint8_t>(p)});
  }
  return WritePng(path, pixels.width, pixels.height, rgb);
}

}  // namespace tempotally::demo
