// The demo's PNG writer: checksums against published values, stored deflate blocks split at their
// size limit, and a PNG whose chunks and image data read back.
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "tools/demo/PngWriter.h"

namespace tempotally::demo {
namespace {

constexpr size_t StoredBlockMax = 65535;

const uint8_t* Bytes(const char* text) { return reinterpret_cast<const uint8_t*>(text); }

uint32_t BigEndian32(const std::vector<uint8_t>& in, size_t at) {
  return static_cast<uint32_t>(in[at]) << 24 | static_cast<uint32_t>(in[at + 1]) << 16 |
         static_cast<uint32_t>(in[at + 2]) << 8 | in[at + 3];
}

// Undoes StoredZlib, checking every block header and the trailing checksum.
bool Inflate(const std::vector<uint8_t>& z, std::vector<uint8_t>* out) {
  if (z.size() < 6 || ((z[0] << 8) | z[1]) % 31 != 0 || (z[0] & 0x0F) != 8) return false;
  size_t at = 2;
  for (bool last = false; !last;) {
    if (at + 5 > z.size() || (z[at] & 0x06) != 0) return false;
    last = (z[at] & 1) != 0;
    const uint16_t len = static_cast<uint16_t>(z[at + 1] | z[at + 2] << 8);
    const uint16_t nlen = static_cast<uint16_t>(z[at + 3] | z[at + 4] << 8);
    if (static_cast<uint16_t>(~len) != nlen || at + 5 + len > z.size()) return false;
    out->insert(out->end(), z.begin() + static_cast<std::ptrdiff_t>(at + 5),
                z.begin() + static_cast<std::ptrdiff_t>(at + 5 + len));
    at += 5 + len;
  }
  return at + 4 == z.size() && BigEndian32(z, at) == Adler32(out->data(), out->size());
}

TEST(Checksums, MatchPublishedValues) {
  EXPECT_EQ(Crc32(Bytes("123456789"), 9), 0xCBF43926u);
  EXPECT_EQ(Crc32(nullptr, 0), 0u);
  EXPECT_EQ(Adler32(Bytes("Wikipedia"), 9), 0x11E60398u);
  EXPECT_EQ(Adler32(nullptr, 0), 1u);
  // Running checksums continue where they left off.
  EXPECT_EQ(Crc32(Bytes("56789"), 5, Crc32(Bytes("1234"), 4)), 0xCBF43926u);
  EXPECT_EQ(Adler32(Bytes("pedia"), 5, Adler32(Bytes("Wiki"), 4)), 0x11E60398u);
}

TEST(StoredZlib, RoundTripsAcrossBlockLimits) {
  for (size_t size :
       {size_t{0}, size_t{1}, StoredBlockMax, StoredBlockMax + 1, 3 * StoredBlockMax + 17}) {
    std::vector<uint8_t> data(size);
    for (size_t i = 0; i < size; ++i) data[i] = static_cast<uint8_t>(i * 131 + 7);
    std::vector<uint8_t> back;
    ASSERT_TRUE(Inflate(StoredZlib(data), &back)) << size;
    EXPECT_EQ(back, data) << size;
  }
}

TEST(Png, ChunksAndRowsReadBack) {
  constexpr int Width = 3, Height = 2;
  const std::vector<uint8_t> rgb = {255, 0, 0, 0, 255, 0, 0, 0, 255, 1, 2, 3, 4, 5, 6, 7, 8, 9};
  const std::vector<uint8_t> png = EncodePng(Width, Height, rgb);
  ASSERT_GT(png.size(), 8u);
  EXPECT_EQ(std::memcmp(png.data(), "\x89PNG\r\n\x1a\n", 8), 0);

  std::vector<std::string> types;
  std::vector<uint8_t> header, idat;
  for (size_t at = 8; at < png.size();) {
    ASSERT_LE(at + 12, png.size());
    const uint32_t length = BigEndian32(png, at);
    ASSERT_LE(at + 12 + length, png.size());
    const std::string type(png.begin() + static_cast<std::ptrdiff_t>(at + 4),
                           png.begin() + static_cast<std::ptrdiff_t>(at + 8));
    EXPECT_EQ(BigEndian32(png, at + 8 + length), Crc32(png.data() + at + 4, 4 + length)) << type;
    const auto body = png.begin() + static_cast<std::ptrdiff_t>(at + 8);
    if (type == "IHDR") header.assign(body, body + length);
    if (type == "IDAT") idat.insert(idat.end(), body, body + length);
    types.push_back(type);
    at += 12 + length;
  }
  EXPECT_EQ(types, (std::vector<std::string>{"IHDR", "IDAT", "IEND"}));
  EXPECT_EQ(header, (std::vector<uint8_t>{0, 0, 0, 3, 0, 0, 0, 2, 8, 2, 0, 0, 0}));

  std::vector<uint8_t> rows;
  ASSERT_TRUE(Inflate(idat, &rows));
  std::vector<uint8_t> expected = {0};
  expected.insert(expected.end(), rgb.begin(), rgb.begin() + 9);
  expected.push_back(0);
  expected.insert(expected.end(), rgb.begin() + 9, rgb.end());
  EXPECT_EQ(rows, expected);
}

TEST(Png, RefusesAPictureOfTheWrongSize) {
  EXPECT_TRUE(EncodePng(0, 1, {}).empty());
  EXPECT_TRUE(EncodePng(2, 2, std::vector<uint8_t>(11)).empty());
  EXPECT_FALSE(WritePng("unused.png", 2, -1, {}));
}

}  // namespace
}  // namespace tempotally::demo
