// The one file that builds stb_image_write.
#include "tools/demo/PngWriter.h"

#define STB_IMAGE_WRITE_IMPLEMENTATION
#include <stb_image_write.h>

namespace tempotally::demo {

constexpr int RgbChannels = 3;

bool WritePng(const std::string& path, const testhost::Pixels& pixels) {
  if (pixels.width <= 0 || pixels.height <= 0 ||
      pixels.rgb.size() != static_cast<size_t>(pixels.width) * static_cast<size_t>(pixels.height)) {
    return false;
  }
  std::vector<uint8_t> rgb;
  rgb.reserve(pixels.rgb.size() * RgbChannels);
  for (uint32_t p : pixels.rgb) {
    rgb.insert(rgb.end(), {static_cast<uint8_t>(p >> 16), static_cast<uint8_t>(p >> 8),
                           static_cast<uint8_t>(p)});
  }
  return stbi_write_png(path.c_str(), pixels.width, pixels.height, RgbChannels, rgb.data(),
                        pixels.width * RgbChannels) != 0;
}

}  // namespace tempotally::demo
