// Writes 8-bit RGB pictures as PNG files with no compression library: the image data goes into
// stored (uncompressed) deflate blocks inside a zlib stream.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace tempotally::demo {

uint32_t Crc32(const uint8_t* data, size_t size, uint32_t crc = 0);
uint32_t Adler32(const uint8_t* data, size_t size, uint32_t adler = 1);

// A zlib stream of stored deflate blocks holding `data`.
std::vector<uint8_t> StoredZlib(const std::vector<uint8_t>& data);

// The PNG file of a `width` x `height` picture given as rows of RGB bytes, top row first.
std::vector<uint8_t> EncodePng(int width, int height, const std::vector<uint8_t>& rgb);

// Writes EncodePng's result to `path`; false when the picture or the file can't be had.
bool WritePng(const std::string& path, int width, int height, const std::vector<uint8_t>& rgb);

}  // namespace tempotally::demo
