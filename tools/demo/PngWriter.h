// PNG files of screenshots and charts, written by stb_image_write.
#pragma once

#include <string>

#include "devhost/WindowPixels.h"

namespace tempotally::demo {

// Writes the picture as an RGB file; false when the picture or the file can't be had.
bool WritePng(const std::string& path, const testhost::Pixels& pixels);

}  // namespace tempotally::demo
