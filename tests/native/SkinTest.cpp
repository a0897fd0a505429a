// The committed skin sheet: the generator still draws exactly these bytes, and the panels, frames
// and LED cells sit where the paint expects them.
#include <gtest/gtest.h>

#include <cstdint>
#include <fstream>
#include <iterator>
#include <vector>

#include "tools/skin/SkinArt.h"

namespace {

struct Rgb {
  int r, g, b;
  bool operator==(const Rgb& o) const { return r == o.r && g == o.g && b == o.b; }
};
std::ostream& operator<<(std::ostream& out, const Rgb& c) {
  return out << "RGB(" << c.r << "," << c.g << "," << c.b << ")";
}

class SkinSheet : public ::testing::Test {
 protected:
  void SetUp() override {
    std::ifstream file(TEMPOTALLY_SKIN_PATH, std::ios::binary);
    bytes.assign(std::istreambuf_iterator<char>(file), {});
    ASSERT_GT(bytes.size(), 54u);
  }
  uint32_t Word(size_t at, int size) const {
    uint32_t v = 0;
    for (int i = size - 1; i >= 0; --i) v = v << 8 | bytes[at + i];
    return v;
  }
  Rgb At(int x, int y) const {
    const size_t row = (tempotally::skin::SheetSize * 3 + 3) / 4 * 4;
    const size_t at = Word(10, 4) + (tempotally::skin::SheetSize - 1 - y) * row + x * 3;
    return {bytes[at + 2], bytes[at + 1], bytes[at]};
  }
  std::vector<uint8_t> bytes;
};

TEST_F(SkinSheet, RegeneratingGivesTheCommittedBytes) {
  EXPECT_TRUE(tempotally::skin::DrawSkinBitmapFile() == bytes)
      << "run skin_gen to update resources/skin.bmp";
  EXPECT_EQ(bytes[0], 'B');
  EXPECT_EQ(bytes[1], 'M');
  EXPECT_EQ(Word(18, 4), 480u);  // width
  EXPECT_EQ(Word(22, 4), 480u);  // height, rows bottom-up
  EXPECT_EQ(Word(28, 2), 24u);   // bits per pixel
  EXPECT_EQ(Word(30, 4), 0u);    // uncompressed
}

TEST_F(SkinSheet, PanelsFramesAndLedCellsSitAtTheirCoordinates) {
  const Rgb window{49, 55, 59};
  for (auto [x, y] : {std::pair{0, 0}, {239, 293}, {2, 150}, {236, 150}, {120, 103}, {120, 199},
                      {120, 291}, {4, 6}, {234, 289}}) {
    EXPECT_EQ(At(x, y), window) << x << "," << y;
  }
  const struct {
    int left, top, right, bottom;
    Rgb fill, frame;
    std::pair<int, int> fillPoints[3];
  } panels[] = {
      {5, 7, 233, 99, {54, 60, 64}, {39, 45, 49}, {{200, 20}, {120, 80}, {230, 95}}},
      {5, 107, 233, 195, {33, 39, 43}, {25, 31, 35}, {{9, 120}, {120, 190}, {232, 108}}},
      {5, 203, 233, 288, {29, 34, 38}, {25, 31, 35}, {{20, 280}, {100, 230}, {6, 204}}},
  };
  for (const auto& p : panels) {
    for (int x = p.left; x <= p.right; ++x) {
      ASSERT_EQ(At(x, p.top), p.frame) << x << "," << p.top;
      ASSERT_EQ(At(x, p.bottom), p.frame) << x << "," << p.bottom;
    }
    for (int y = p.top; y <= p.bottom; ++y) {
      ASSERT_EQ(At(p.left, y), p.frame) << p.left << "," << y;
      ASSERT_EQ(At(p.right, y), p.frame) << p.right << "," << y;
    }
    for (auto [x, y] : p.fillPoints) EXPECT_EQ(At(x, y), p.fill) << x << "," << y;
  }
  // The LED cells blend into the top panel at their corners; off is a grey disc, on an orange one.
  const Rgb topFill{54, 60, 64};
  for (int left : {375, 385}) {
    for (auto [dx, dy] : {std::pair{0, 0}, {9, 0}, {0, 9}, {9, 9}}) {
      EXPECT_EQ(At(left + dx, 195 + dy), topFill) << left + dx << "," << 195 + dy;
    }
  }
  const Rgb off = At(380, 200), on = At(390, 200);
  EXPECT_LE(std::abs(off.r - off.g) + std::abs(off.g - off.b), 12) << off;
  EXPECT_GT(off.r, 80) << off;
  EXPECT_GT(on.r, 200) << on;
  EXPECT_GT(on.r - on.g, 60) << on;
  EXPECT_GT(on.g - on.b, 60) << on;
}

}  // namespace
