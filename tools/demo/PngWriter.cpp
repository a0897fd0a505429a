// PNG chunks, CRC32, Adler32 and stored deflate blocks.
#include "tools/demo/PngWriter.h"

#include <algorithm>
#include <array>
#include <cstdio>
#include <iterator>

namespace tempotally::demo {

namespace {

constexpr uint32_t CrcPolynomial = 0xEDB88320u;  // reflected
constexpr uint32_t AdlerModulus = 65521u;
constexpr size_t StoredBlockMax = 65535;
constexpr uint8_t ZlibMethodDeflate32K = 0x78;
constexpr uint8_t ZlibFlagsNoDictionary = 0x01;  // makes the two header bytes a multiple of 31
constexpr uint8_t PngBitDepth = 8;
constexpr uint8_t PngColourRgb = 2;
constexpr uint8_t PngFilterNone = 0;
constexpr int BytesPerPixel = 3;
constexpr uint8_t PngSignature[] = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'};

std::array<uint32_t, 256> MakeCrcTable() {
  std::array<uint32_t, 256> table{};
  for (uint32_t n = 0; n < 256; ++n) {
    uint32_t c = n;
    for (int k = 0; k < 8; ++k) c = (c & 1) ? CrcPolynomial ^ (c >> 1) : c >> 1;
    table[n] = c;
  }
  return table;
}

void PutBigEndian32(std::vector<uint8_t>& out, uint32_t v) {
  for (int shift = 24; shift >= 0; shift -= 8) out.push_back(static_cast<uint8_t>(v >> shift));
}

void PutChunk(std::vector<uint8_t>& out, const char type[4], const std::vector<uint8_t>& data) {
  PutBigEndian32(out, static_cast<uint32_t>(data.size()));
  const size_t typeAt = out.size();
  out.insert(out.end(), type, type + 4);
  out.insert(out.end(), data.begin(), data.end());
  PutBigEndian32(out, Crc32(out.data() + typeAt, out.size() - typeAt));
}

}  // namespace

uint32_t Crc32(const uint8_t* data, size_t size, uint32_t crc) {
  static const std::array<uint32_t, 256> table = MakeCrcTable();
  uint32_t c = crc ^ 0xFFFFFFFFu;
  for (size_t i = 0; i < size; ++i) c = table[(c ^ data[i]) & 0xFF] ^ (c >> 8);
  return c ^ 0xFFFFFFFFu;
}

uint32_t Adler32(const uint8_t* data, size_t size, uint32_t adler) {
  uint32_t a = adler & 0xFFFF;
  uint32_t b = adler >> 16;
  for (size_t i = 0; i < size; ++i) {
    a = (a + data[i]) % AdlerModulus;
    b = (b + a) % AdlerModulus;
  }
  return b << 16 | a;
}

std::vector<uint8_t> StoredZlib(const std::vector<uint8_t>& data) {
  std::vector<uint8_t> out = {ZlibMethodDeflate32K, ZlibFlagsNoDictionary};
  size_t at = 0;
  do {
    const size_t length = std::min(StoredBlockMax, data.size() - at);
    const bool last = at + length == data.size();
    out.push_back(last ? 1 : 0);  // BFINAL, block type 00 (stored)
    const uint16_t len = static_cast<uint16_t>(length);
    const uint16_t nlen = static_cast<uint16_t>(~len);
    out.push_back(static_cast<uint8_t>(len));
    out.push_back(static_cast<uint8_t>(len >> 8));
    out.push_back(static_cast<uint8_t>(nlen));
    out.push_back(static_cast<uint8_t>(nlen >> 8));
    out.insert(out.end(), data.begin() + static_cast<std::ptrdiff_t>(at),
               data.begin() + static_cast<std::ptrdiff_t>(at + length));
    at += length;
  } while (at < data.size());
  PutBigEndian32(out, Adler32(data.data(), data.size()));
  return out;
}

std::vector<uint8_t> EncodePng(int width, int height, const std::vector<uint8_t>& rgb) {
  if (width <= 0 || height <= 0) return {};
  const size_t rowBytes = static_cast<size_t>(width) * BytesPerPixel;
  if (rgb.size() != rowBytes * static_cast<size_t>(height)) return {};

  std::vector<uint8_t> header;
  PutBigEndian32(header, static_cast<uint32_t>(width));
  PutBigEndian32(header, static_cast<uint32_t>(height));
  header.insert(header.end(), {PngBitDepth, PngColourRgb, 0, 0, 0});

  std::vector<uint8_t> rows;
  rows.reserve((rowBytes + 1) * static_cast<size_t>(height));
  for (int y = 0; y < height; ++y) {
    rows.push_back(PngFilterNone);
    const auto row = rgb.begin() + static_cast<std::ptrdiff_t>(rowBytes * static_cast<size_t>(y));
    rows.insert(rows.end(), row, row + static_cast<std::ptrdiff_t>(rowBytes));
  }

  std::vector<uint8_t> png(std::begin(PngSignature), std::end(PngSignature));
  PutChunk(png, "IHDR", header);
  PutChunk(png, "IDAT", StoredZlib(rows));
  PutChunk(png, "IEND", {});
  return png;
}

bool WritePng(const std::string& path, int width, int height, const std::vector<uint8_t>& rgb) {
  const std::vector<uint8_t> png = EncodePng(width, height, rgb);
  if (png.empty()) return false;
  FILE* file = std::fopen(path.c_str(), "wb");
  if (file == nullptr) return false;
  const bool written = std::fwrite(png.data(), 1, png.size(), file) == png.size();
  return std::fclose(file) == 0 && written;
}

}  // namespace tempotally::demo
