// PNG files of screenshots and charts, written by stb_image_write.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "devhost/WindowPixels.h"

namespace tempotally::demo {

// Writes a `width` x `height` picture given as rows of RGB bytes, top row first; false when the
// picture or the file can't be had.
bool WritePng(const std::string& path, int width, int height, const std::vector<uint8_t>& rgb);
bool WritePng(const std::string& path, const testhost::Pixels& pixels);

}  // namespace tempotally::demo
