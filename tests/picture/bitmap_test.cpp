// SPDX-License-Identifier: GPL-3.0-or-later
// Designated initializers leave the other fields at their defaults on purpose.
#pragma GCC diagnostic ignored "-Wmissing-field-initializers"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <string>
#include <vector>

#include "dib_builder.h"
#include "picture/dib.h"
#include "picture/graphic.h"
#include "picture/picture_limits.h"
#include "picture_test_util.h"

namespace pagemint {
namespace {

using test::BuildBmp;
using test::BuildInfo;
using test::Bytes;
using test::Dib;
using test::Rows;

constexpr QRgb kRed = 0xFFFF0000, kGreen = 0xFF00FF00, kBlue = 0xFF0000FF, kWhite = 0xFFFFFFFF,
               kBlack = 0xFF000000, kClear = 0x00000000;

std::vector<QRgb> Pixels(const QImage& image) {
  std::vector<QRgb> out;
  for (int y = 0; y < image.height(); ++y)
    for (int x = 0; x < image.width(); ++x) out.push_back(image.pixel(x, y));
  return out;
}

QImage Decode(const std::string& bmp, bool icon = false) {
  const auto* p = reinterpret_cast<const uint8_t*>(bmp.data()) + 14;
  const size_t n = bmp.size() - 14;
  const size_t offset = DibBitsOffset(p, n);
  return DecodeDib({p, n, p + offset, n - offset, icon});
}

struct Case {
  const char* name;
  Dib dib;
  int width;
  std::vector<QRgb> pixels;  // top row first, as DecodeDib gives them
};

// The tables keep one case to a line or two.
// clang-format off
const std::vector<Case>& Cases() {
  static const std::vector<Case> cases = {
      {"core 1 bit, bottom-up",
       {.header_size = 12, .width = 3, .height = 2, .bit_count = 1, .palette = {0xFF0000, 0x0000FF},
        .bits = Rows({{0xA0}, {0x40}})},
       3, {kRed, kBlue, kRed, kBlue, kRed, kBlue}},
      {"core 24 bit",
       {.header_size = 12, .width = 1, .height = 1, .bit_count = 24, .bits = Rows({{1, 2, 3}})},
       1, {0xFF030201}},
      {"info 1 bit with two colours used",
       {.width = 9, .height = 1, .bit_count = 1, .colors_used = 2, .palette = {0x000000, 0xFFFFFF},
        .bits = Rows({{0x81, 0x80}})},
       9, {kWhite, kBlack, kBlack, kBlack, kBlack, kBlack, kBlack, kWhite, kWhite}},
      {"2 bit, index past the table is black",
       {.width = 4, .height = 1, .bit_count = 2, .colors_used = 3,
        .palette = {0xFF0000, 0x00FF00, 0x0000FF}, .bits = Rows({{0x1B}})},
       4, {kRed, kGreen, kBlue, kBlack}},
      {"4 bit, top-down, full table",
       {.width = 3, .height = -2, .bit_count = 4,
        .palette = {0xFF0000, 0x00FF00, 0x0000FF, 0xFFFFFF, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0x123456},
        .bits = Rows({{0x01, 0x20}, {0x3F, 0x00}})},
       3, {kRed, kGreen, kBlue, kWhite, 0xFF123456, kRed}},
      {"8 bit, four colours used",
       {.width = 3, .height = 1, .bit_count = 8, .colors_used = 4,
        .palette = {0xFF0000, 0x00FF00, 0x0000FF, 0x808080}, .bits = Rows({{3, 0, 255}})},
       3, {0xFF808080, kRed, kBlack}},
      {"16 bit 5-5-5",
       {.width = 4, .height = 1, .bit_count = 16, .bits = Rows({{0x00, 0x7C, 0xE0, 0x03, 0x1F, 0x00, 0x10, 0x42}})},
       4, {kRed, kGreen, kBlue, 0xFF848484}},
      {"16 bit 5-6-5 bit fields after the header",
       {.width = 4, .height = 1, .bit_count = 16, .compression = 3, .masks = {0xF800, 0x07E0, 0x001F},
        .stored_masks = 3, .bits = Rows({{0x00, 0xF8, 0xE0, 0x07, 0x1F, 0x00, 0x10, 0x84}})},
       4, {kRed, kGreen, kBlue, 0xFF848284}},
      {"16 bit 4-4-4-4 with alpha, V5",
       {.header_size = 124, .width = 2, .height = 1, .bit_count = 16, .compression = 3,
        .masks = {0x0F00, 0x00F0, 0x000F, 0xF000}, .bits = Rows({{0x00, 0xFF, 0x0F, 0x80}})},
       2, {kRed, 0x880000FF}},
      {"24 bit rows padded, bottom-up",
       {.width = 3, .height = 2, .bit_count = 24,
        .bits = Rows({{0, 0, 255, 0, 255, 0, 255, 0, 0}, {255, 255, 255, 0, 0, 0, 1, 2, 3}})},
       3, {kWhite, kBlack, 0xFF030201, kRed, kGreen, kBlue}},
      {"24 bit, V4 header",
       {.header_size = 108, .width = 1, .height = 1, .bit_count = 24, .bits = Rows({{10, 20, 30}})},
       1, {0xFF1E140A}},
      {"32 bit, fourth byte is not alpha",
       {.width = 2, .height = 1, .bit_count = 32, .bits = Rows({{0, 0, 255, 0, 255, 0, 0, 7}})},
       2, {kRed, kBlue}},
      {"32 bit bit fields in BGR order",
       {.width = 1, .height = 1, .bit_count = 32, .compression = 3,
        .masks = {0x000000FF, 0x0000FF00, 0x00FF0000}, .stored_masks = 3, .bits = Rows({{0x11, 0x22, 0x33, 0}})},
       1, {0xFF112233}},
      {"32 bit alpha bit fields, V5",
       {.header_size = 124, .width = 2, .height = 1, .bit_count = 32, .compression = 3,
        .masks = {0x00FF0000, 0x0000FF00, 0x000000FF, 0xFF000000}, .bits = Rows({{0, 0, 255, 128, 0, 255, 0, 255}})},
       2, {0x80FF0000, kGreen}},
      {"32 bit alpha mask, all alpha zero means opaque",
       {.header_size = 56, .width = 1, .height = 1, .bit_count = 32, .compression = 3,
        .masks = {0x00FF0000, 0x0000FF00, 0x000000FF, 0xFF000000}, .bits = Rows({{0, 0, 255, 0}})},
       1, {kRed}},
      {"alpha bit fields with four masks after the header",
       {.width = 1, .height = 1, .bit_count = 32, .compression = 6,
        .masks = {0x00FF0000, 0x0000FF00, 0x000000FF, 0xFF000000}, .stored_masks = 4,
        .bits = Rows({{0, 255, 0, 64}})},
       1, {0x4000FF00}},
      {"OS/2 2.x 16-byte header, 8 bit",
       {.header_size = 16, .width = 2, .height = 1, .bit_count = 8,
        .palette = std::vector<uint32_t>(256, 0x00FF00), .bits = Rows({{0, 255}})},
       2, {kGreen, kGreen}},
      {"OS/2 2.x 64-byte header, 24 bit",
       {.header_size = 64, .width = 1, .height = 1, .bit_count = 24, .bits = Rows({{255, 0, 0}})},
       1, {kBlue}},
      // Row 0 (bottom): 2 x index 1, literal 2 3 1, end of line. Row 1:
      // index 2 once, delta right 3 and up 1 to (4, 2), index 3, end of
      // bitmap. Skipped pixels stay transparent.
      {"RLE8 with runs, literals, delta and end of bitmap",
       {.width = 5, .height = 3, .bit_count = 8, .compression = 1, .colors_used = 4,
        .palette = {0, 0xFF0000, 0x00FF00, 0x0000FF},
        .bits = std::string("\x02\x01\x00\x03\x02\x03\x01\x00\x00\x00\x01\x02\x00\x02\x03\x01\x01\x03\x00\x01", 20)},
       5, {kClear, kClear, kClear, kClear, kBlue,
           kGreen, kClear, kClear, kClear, kClear,
           kRed, kRed, kGreen, kBlue, kRed}},
      {"RLE4 with alternating runs and a literal",
       {.width = 5, .height = 2, .bit_count = 4, .compression = 2, .colors_used = 8,
        .palette = {0, 0xFF0000, 0x00FF00, 0x0000FF, 0xFFFFFF, 0x010101, 0x020202, 0x030303},
        .bits = std::string("\x05\x12\x00\x00\x00\x05\x34\x56\x70\x00\x00\x01", 12)},
       5, {kBlue, kWhite, 0xFF010101, 0xFF020202, 0xFF030303, kRed, kGreen, kRed, kGreen, kRed}},
      {"RLE8 run past the right edge is clipped, data without end of bitmap",
       {.width = 2, .height = 1, .bit_count = 8, .compression = 1, .colors_used = 2,
        .palette = {0, 0xFF0000}, .bits = std::string("\x09\x01", 2)},
       2, {kRed, kRed}},
      {"RLE8 delta past the last row ends the picture",
       {.width = 2, .height = 2, .bit_count = 8, .compression = 1, .colors_used = 2,
        .palette = {0, 0xFF0000}, .bits = std::string("\x01\x01\x00\x02\x00\x05", 6)},
       2, {kClear, kClear, kRed, kClear}},
  };
  return cases;
}

// clang-format on

TEST(DecodeDib, EveryVariantGivesExactPixels) {
  for (const Case& c : Cases()) {
    SCOPED_TRACE(c.name);
    test::SaveSeed("bmp", c.name, BuildBmp(c.dib));
    const QImage image = Decode(BuildBmp(c.dib));
    ASSERT_EQ(image.width(), c.width);
    EXPECT_EQ(image.format(), QImage::Format_ARGB32);
    EXPECT_EQ(Pixels(image), c.pixels);
  }
}

// A pixel of straight alpha drawn over white, rounded.
QRgb OverWhite(QRgb p) {
  const int a = qAlpha(p);
  auto over = [a](int c) { return (c * a + 255 * (255 - a) + 127) / 255; };
  return qRgb(over(qRed(p)), over(qGreen(p)), over(qBlue(p)));
}

// Loaded bitmaps are opaque: what the picture leaves transparent (gaps in
// RLE data, an alpha channel) is white, as over the thumbnail's canvas.
TEST(TBitmap, LoadsEveryVariantOverWhite) {
  for (const Case& c : Cases()) {
    SCOPED_TRACE(c.name);
    TBitmap bitmap;
    bitmap.LoadFromBytes(BuildBmp(c.dib), "case.bmp");
    EXPECT_EQ(bitmap.Image().format(), QImage::Format_RGB32);
    std::vector<QRgb> opaque;
    for (QRgb p : c.pixels) opaque.push_back(OverWhite(p));
    EXPECT_EQ(Pixels(bitmap.Image()), opaque);
  }
}

TEST(TBitmap, DataOffsetZeroOrInsideTheHeaderFallsBackToThePackedLayout) {
  const Dib d{.width = 1, .height = 1, .bit_count = 24, .bits = Rows({{0, 0, 255}})};
  for (uint32_t offset : {0u, 20u}) {
    TBitmap bitmap;
    bitmap.LoadFromBytes(BuildBmp(d, offset), "x.bmp");
    EXPECT_EQ(bitmap.Image().pixel(0, 0), kRed);
  }
}

TEST(TBitmap, BareDibAsTheClipboardSavesIt) {
  const Dib d{.width = 3,
              .height = 1,
              .bit_count = 32,
              .compression = 3,
              .masks = {0xFF0000, 0xFF00, 0xFF},
              .stored_masks = 3,
              .bits = Rows({{0, 255, 0, 0, 255, 0, 0, 255, 0, 0, 255, 3}})};
  // Three masks and no alpha mask: the fourth byte of each pixel is unused
  // even where it is not 0 (convert's flattening takes it for inverted
  // alpha and whitens such pixels), so the colours stay as stored.
  TBitmap bitmap;
  bitmap.LoadFromBytes(BuildInfo(d) + d.bits, "clip.dib");
  EXPECT_EQ(Pixels(bitmap.Image()), (std::vector<QRgb>{kGreen, kBlue, kRed}));
}

// Mean of the factor x factor squares of a whole decode, premultiplied.
QImage BoxMeans(const QImage& whole, int factor) {
  const int w = (whole.width() + factor - 1) / factor, h = (whole.height() + factor - 1) / factor;
  QImage out(w, h, QImage::Format_ARGB32_Premultiplied);
  for (int ty = 0; ty < h; ++ty)
    for (int tx = 0; tx < w; ++tx) {
      double sum[4] = {};
      int area = 0;
      for (int y = ty * factor; y < std::min(whole.height(), (ty + 1) * factor); ++y)
        for (int x = tx * factor; x < std::min(whole.width(), (tx + 1) * factor); ++x, ++area) {
          const QRgb p = whole.pixel(x, y);
          const double a = qAlpha(p);
          sum[0] += qRed(p) * a / 255;
          sum[1] += qGreen(p) * a / 255;
          sum[2] += qBlue(p) * a / 255;
          sum[3] += a;
        }
      auto mean = [area](double v) { return static_cast<int>(v / area + 0.5); };
      out.setPixel(tx, ty, qRgba(mean(sum[0]), mean(sum[1]), mean(sum[2]), mean(sum[3])));
    }
  return out;
}

// Asked for at most max_side, a DIB is decoded by rows into a picture
// reduced by the largest whole factor that keeps the longer side at least
// max_side: every pixel the mean of its square, whatever the row order,
// the compression or the gaps.
TEST(DecodeDib, ReducedByRowsToTheMeansOfSquares) {
  std::string rgb;
  for (int y = 0; y < 7; ++y) {
    for (int x = 0; x < 9; ++x) rgb += {static_cast<char>(x * 28), static_cast<char>(y * 40), '\x50'};
    rgb += std::string(1, '\0');  // 27 bytes, padded to 28
  }
  const Dib tall{.width = 9, .height = 7, .bit_count = 24, .bits = rgb};
  Dib top_down = tall;
  top_down.height = -7;
  const Dib alpha{.width = 3, .height = 2, .bit_count = 32, .compression = 3,
                  .masks = {0xFF0000, 0xFF00, 0xFF, 0xFF000000}, .stored_masks = 4,
                  .bits = Rows({{255, 0, 0, 255, 0, 0, 255, 0, 0, 255, 0, 128},
                                {9, 9, 9, 0, 0, 255, 0, 255, 90, 90, 90, 10}})};
  const Dib rle = std::find_if(Cases().begin(), Cases().end(), [](const Case& c) {
                    return std::string(c.name).starts_with("RLE8 with runs");
                  })->dib;  // 5 x 3, with gaps
  const struct {
    const char* name;
    Dib dib;
    int max_side, factor;
  } cases[] = {
      {"own size asked", tall, 0, 1},      {"longer side under twice", tall, 5, 1},
      {"factor 2", tall, 4, 2},            {"factor 3 from 9 / 3", tall, 3, 3},
      {"factor 9, one pixel", tall, 1, 9}, {"top-down", top_down, 2, 4},
      {"alpha bit field", alpha, 1, 3},    {"RLE8 with gaps", rle, 2, 2},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    const std::string bmp = BuildBmp(c.dib);
    const auto* p = reinterpret_cast<const uint8_t*>(bmp.data()) + 14;
    const size_t n = bmp.size() - 14, offset = DibBitsOffset(p, n);
    const QImage whole = DecodeDib({p, n, p + offset, n - offset, false});
    const QImage reduced = DecodeDib({p, n, p + offset, n - offset, false}, c.max_side);
    if (c.factor == 1) {
      EXPECT_EQ(reduced, whole);
      continue;
    }
    const QImage expected = BoxMeans(whole, c.factor);
    ASSERT_EQ(reduced.size(), expected.size());
    for (int y = 0; y < expected.height(); ++y)
      for (int x = 0; x < expected.width(); ++x) {
        const QRgb a = reduced.pixel(x, y), b = expected.pixel(x, y);
        EXPECT_LE(std::abs(qRed(a) - qRed(b)) + std::abs(qGreen(a) - qGreen(b)) +
                      std::abs(qBlue(a) - qBlue(b)) + std::abs(qAlpha(a) - qAlpha(b)), 4)
            << x << "," << y;
      }
  }
}

// A tiny RLE file claiming more pixels than may be held whole: refused at
// its own size with the file's name, read reduced when a size is asked for.
TEST(TBitmap, HugeRleBitmapLoadsOnlyReduced) {
  constexpr int kWidth = 8192, kHeight = 4097;  // just over the whole-picture limit
  // A red first row, then the end of the bitmap; the rest is transparent.
  std::string bits;
  for (int i = 0; i < kWidth / 256; ++i) bits += std::string("\xFF\x01", 2) + std::string("\x01\x01", 2);
  bits += std::string("\x00\x01", 2);
  const Dib d{.width = kWidth, .height = -kHeight, .bit_count = 8, .compression = 1,
              .colors_used = 2, .palette = {0, 0xFF0000}, .bits = bits};
  const std::string bmp = BuildBmp(d);
  ASSERT_LT(bmp.size(), 200u);
  TBitmap whole;
  try {
    whole.LoadFromBytes(bmp, "huge.bmp");
    ADD_FAILURE() << "loaded whole";
  } catch (const EInvalidGraphic& e) {
    EXPECT_NE(std::string(e.what()).find("\"huge.bmp\""), std::string::npos) << e.what();
    EXPECT_NE(std::string(e.what()).find("too large"), std::string::npos) << e.what();
  }
  TBitmap reduced;
  reduced.SetLoadMaxSide(128);
  reduced.LoadFromBytes(bmp, "huge.bmp");
  EXPECT_EQ(reduced.Width(), 128);
  EXPECT_EQ(reduced.Height(), 65);
  // The top left square is one red row in 64: nearly white, a little red.
  const QRgb corner = reduced.Image().pixel(0, 0);
  EXPECT_EQ(qRed(corner), 255);
  EXPECT_NEAR(qGreen(corner), 251, 1);
  EXPECT_EQ(reduced.Image().pixel(127, 64), kWhite);
}

struct Bad {
  const char* name;
  std::string bytes;
  const char* reason;
};

// clang-format off
std::vector<Bad> BadFiles() {
  const Dib ok24{.width = 3, .height = 2, .bit_count = 24, .bits = Rows({{0, 0, 0, 0, 0, 0, 0, 0, 0}, {0, 0, 0, 0, 0, 0, 0, 0, 0}})};
  auto with = [&](auto change) {
    Dib d = ok24;
    change(d);
    return BuildBmp(d);
  };
  const std::string good = BuildBmp(ok24);
  std::string offset_past_end = good;
  offset_past_end[10] = '\x00';
  offset_past_end[11] = '\x10';
  const Dib rle{.width = 2, .height = 2, .bit_count = 8, .compression = 1, .colors_used = 1, .palette = {0}};
  auto rle_with = [&](std::string bits) {
    Dib d = rle;
    d.bits = std::move(bits);
    return BuildBmp(d);
  };
  return {
      {"empty", "", "neither a bitmap file header nor a bitmap information header"},
      {"other signature", "GIF89a\x01\x00\x01\x00", "neither a bitmap file header"},
      {"header cut", good.substr(0, 30), "the bitmap header is truncated"},
      {"header size 14", with([](Dib& d) { d.header_size = 14; }), "unsupported bitmap header size 14"},
      {"zero width", with([](Dib& d) { d.width = 0; }), "impossible size (0 x 2 pixels)"},
      {"negative width", with([](Dib& d) { d.width = -127; }), "impossible size (-127 x 2 pixels)"},
      {"zero height", with([](Dib& d) { d.height = 0; }), "impossible size"},
      {"three million wide", with([](Dib& d) { d.width = 3000000; d.height = 2000000; }), "too large (3000000 x 2000000"},
      {"too many pixels", with([](Dib& d) { d.width = 40000; d.height = 40000; }), "too large (40000 x 40000"},
      {"most negative height", with([](Dib& d) { d.height = INT32_MIN; }), "too large (3 x 2147483648"},
      {"3 bits per pixel", with([](Dib& d) { d.bit_count = 3; }), "unsupported bit count 3"},
      {"RLE8 at 4 bits", with([](Dib& d) { d.compression = 1; d.bit_count = 4; }), "compression RLE8 does not go with 4 bits per pixel"},
      {"bit fields at 24 bits", with([](Dib& d) { d.compression = 3; d.stored_masks = 3; }), "compression BITFIELDS does not go with 24"},
      {"embedded JPEG", with([](Dib& d) { d.compression = 4; }), "unsupported compression (JPEG)"},
      {"embedded PNG", with([](Dib& d) { d.compression = 5; }), "unsupported compression (PNG)"},
      {"pixels cut", good.substr(0, good.size() - 4), "the pixel data is truncated (20 of 21 bytes)"},
      {"colour table cut", with([](Dib& d) { d.bit_count = 8; d.palette = {0, 0, 0, 0}; d.bits = "xxxxxxxx"; }), "the colour table is truncated"},
      {"offset past the end", offset_past_end, "the pixel data offset 4096 lies past the end of the file (78 bytes)"},
      {"RLE without end before the last row", rle_with(std::string("\x02\x00\x00\x00", 4)), "RLE data ends before the end"},
      {"RLE literal past the end", rle_with(std::string("\x00\x04\x00", 3)), "RLE data ends before the end"},
      {"RLE delta cut", rle_with(std::string("\x00\x02\x01", 3)), "RLE data ends before the end"},
      {"RLE empty", rle_with(""), "RLE data ends before the end"},
  };
}

// clang-format on

TEST(TBitmap, DamagedFilesGiveAClearErrorNamingTheFile) {
  for (const Bad& bad : BadFiles()) {
    SCOPED_TRACE(bad.name);
    test::SaveSeed("bmp", bad.name, bad.bytes);
    TBitmap bitmap;
    bitmap.SetSize(2, 3);
    try {
      bitmap.LoadFromBytes(bad.bytes, "damaged.bmp");
      ADD_FAILURE() << "loaded";
    } catch (const EInvalidGraphic& e) {
      const std::string m = e.what();
      EXPECT_EQ(m.rfind("Bitmap image \"damaged.bmp\" is not valid: ", 0), 0u) << m;
      EXPECT_NE(m.find(bad.reason), std::string::npos) << m;
    }
    // A failed load leaves the picture as it was.
    EXPECT_EQ(bitmap.Width(), 2);
    EXPECT_EQ(bitmap.Height(), 3);
  }
}

TEST(TBitmap, LoweredPixelLimitRefusesLargerBitmaps) {
  const Dib d{.width = 4,
              .height = 4,
              .bit_count = 8,
              .compression = 1,
              .colors_used = 1,
              .palette = {0},
              .bits = std::string("\x00\x01", 2)};
  SetPicturePixelLimit(15);
  TBitmap bitmap;
  EXPECT_THROW(bitmap.LoadFromBytes(BuildBmp(d), "x.bmp"), EInvalidGraphic);
  EXPECT_THROW(bitmap.SetSize(4, 4), EInvalidGraphic);
  SetPicturePixelLimit(16);
  EXPECT_NO_THROW(bitmap.LoadFromBytes(BuildBmp(d), "x.bmp"));
  SetPicturePixelLimit(kMaxPicturePixels);
}

TEST(TBitmap, IconMaskMakesPixelsTransparent) {
  // 2 x 2 at 24 bits, then the AND mask (rows of 4 bytes): bottom row
  // left transparent, top row right transparent.
  const Dib d{
      .width = 2,
      .height = 4,
      .bit_count = 24,
      .bits = Rows({{0, 0, 255, 0, 255, 0}, {255, 0, 0, 255, 255, 255}}) + Rows({{0x80}, {0x40}})};
  EXPECT_EQ(Pixels(Decode(BuildBmp(d), true)), (std::vector<QRgb>{kBlue, kClear, kClear, kGreen}));
  Dib cut = d;
  cut.bits.resize(cut.bits.size() - 4);
  EXPECT_THROW(Decode(BuildBmp(cut), true), EInvalidDib);
}

TEST(TBitmap, LoadFromFileNamesAMissingFile) {
  TBitmap bitmap;
  try {
    bitmap.LoadFromFile("/nonexistent/picture.bmp");
    ADD_FAILURE();
  } catch (const EInvalidGraphic& e) {
    EXPECT_NE(std::string(e.what()).find("/nonexistent/picture.bmp"), std::string::npos);
  }
}

TEST(TBitmap, WidthThenHeightMakesAWhiteBitmap) {
  TBitmap bitmap;
  bitmap.SetWidth(3);
  EXPECT_EQ(bitmap.Width(), 3);
  bitmap.SetHeight(2);
  ASSERT_EQ(bitmap.Image().size(), QSize(3, 2));
  EXPECT_EQ(bitmap.Image().format(), QImage::Format_RGB32);
  EXPECT_EQ(Pixels(bitmap.Image()), std::vector<QRgb>(6, kWhite));
}

TEST(TBitmap, ConvertTo24BitGivesPackedBlueGreenRedRows) {
  TBitmap bitmap;
  bitmap.SetSize(3, 2);
  bitmap.Image().setPixel(0, 0, kBlue);
  bitmap.Image().setPixel(2, 1, qRgb(1, 2, 3));
  TBitmap copy;
  copy.Assign(bitmap);
  copy.ConvertTo24Bit();
  ASSERT_TRUE(copy.Is24Bit());
  EXPECT_FALSE(bitmap.Is24Bit());
  const uint8_t* top = copy.ScanLine(0);
  EXPECT_EQ(std::vector<uint8_t>(top, top + 9),
            (std::vector<uint8_t>{255, 0, 0, 255, 255, 255, 255, 255, 255}));
  const uint8_t* bottom = copy.ScanLine(1);
  EXPECT_EQ(std::vector<uint8_t>(bottom + 6, bottom + 9), (std::vector<uint8_t>{3, 2, 1}));
}

TEST(TBitmap, PaletteBitmapConvertsTo24Bit) {
  const Dib d{.width = 2,
              .height = 1,
              .bit_count = 1,
              .palette = {0x102030, 0xFFFFFF},
              .bits = Rows({{0x40}})};
  TBitmap bitmap;
  bitmap.LoadFromBytes(BuildBmp(d), "p.bmp");
  bitmap.ConvertTo24Bit();
  const uint8_t* row = bitmap.ScanLine(0);
  EXPECT_EQ(std::vector<uint8_t>(row, row + 6),
            (std::vector<uint8_t>{0x30, 0x20, 0x10, 255, 255, 255}));
}

TEST(TBitmap, DrawCopiesPixelsAtThePosition) {
  TBitmap source;
  source.SetSize(2, 1);
  source.Image().fill(kRed);
  TBitmap canvas;
  canvas.SetSize(4, 2);
  source.Draw(canvas, 1, 1);
  EXPECT_EQ(Pixels(canvas.Image()),
            (std::vector<QRgb>{kWhite, kWhite, kWhite, kWhite, kWhite, kRed, kRed, kWhite}));
}

}  // namespace
}  // namespace pagemint
