// SPDX-License-Identifier: GPL-3.0-or-later
#include "picture/icon.h"

#include <gtest/gtest.h>

#include <QBuffer>
#include <string>
#include <vector>

#include "picture/graphic.h"
#include "picture/picture_limits.h"
#include "picture_test_util.h"

namespace pagemint {
namespace {

using test::Bytes;

constexpr QRgb kWhite = 0xFFFFFFFF;

// One image of an icon file: its directory fields and its bytes.
struct IconImage {
  int width;
  int height;
  int bit_count;
  std::string data;
};

std::string BuildIcon(const std::vector<IconImage>& images, uint16_t type = 1) {
  Bytes b;
  b.u16(0).u16(type).u16(static_cast<unsigned>(images.size()));
  size_t offset = 6 + 16 * images.size();
  for (const IconImage& i : images) {
    b.u8(i.width & 0xFF).u8(i.height & 0xFF).u8(0).u8(0).u16(1).u16(i.bit_count);
    b.u32(static_cast<uint32_t>(i.data.size())).u32(static_cast<uint32_t>(offset));
    offset += i.data.size();
  }
  for (const IconImage& i : images) b.raw(i.data);
  return b.str();
}

size_t Stride(int width, int bits) { return static_cast<size_t>((width * bits + 31) / 32) * 4; }

// A DIB image of one colour at 24 or 32 bits (alpha byte as given), with
// an AND mask whose set bits are where mask_at says.
template <typename MaskAt>
std::string SolidDib(int size, int bits, QRgb colour, uint8_t alpha, MaskAt mask_at) {
  Bytes b;
  b.u32(40).i32(size).i32(size * 2).u16(1).u16(bits).u32(0).u32(0).zeros(16);
  std::string rows;
  for (int y = 0; y < size; ++y) {
    std::string row;
    for (int x = 0; x < size; ++x) {
      row += static_cast<char>(qBlue(colour));
      row += static_cast<char>(qGreen(colour));
      row += static_cast<char>(qRed(colour));
      if (bits == 32) row += static_cast<char>(alpha);
    }
    row.resize(Stride(size, bits), '\0');
    rows += row;
  }
  std::string mask;
  for (int y = 0; y < size; ++y) {  // stored bottom-up
    std::string row(Stride(size, 1), '\0');
    for (int x = 0; x < size; ++x)
      if (mask_at(x, size - 1 - y)) row[x / 8] |= static_cast<char>(0x80 >> (x % 8));
    mask += row;
  }
  return b.raw(rows).raw(mask).str();
}

std::string SolidDib(int size, int bits, QRgb colour, uint8_t alpha = 0) {
  return SolidDib(size, bits, colour, alpha, [](int, int) { return false; });
}

// An 8-bit palette DIB of one colour (palette entry 0).
std::string PaletteDib(int size, QRgb colour) {
  Bytes b;
  b.u32(40).i32(size).i32(size * 2).u16(1).u16(8).u32(0).u32(0).zeros(8).u32(1).u32(0);
  b.u8(qBlue(colour)).u8(qGreen(colour)).u8(qRed(colour)).u8(0);
  return b.zeros(Stride(size, 8) * size + Stride(size, 1) * size).str();
}

std::string Png(int size, QRgb colour) {
  QImage image(size, size, QImage::Format_ARGB32);
  image.fill(colour);
  QByteArray bytes;
  QBuffer buffer(&bytes);
  buffer.open(QIODevice::WriteOnly);
  image.save(&buffer, "PNG");
  return bytes.toStdString();
}

QRgb Centre(const TIcon& icon) { return icon.Image().pixel(icon.Width() / 2, icon.Height() / 2); }

TEST(TIcon, PicksTheImageNearestTo32AndTheDeepestAmongEquals) {
  const QRgb a = qRgb(200, 0, 0), b = qRgb(0, 200, 0), c = qRgb(0, 0, 200), d = qRgb(9, 9, 9);
  const struct {
    const char* name;
    std::vector<IconImage> images;
    int size;
    QRgb colour;
  } cases[] = {
      {"exact size among others",
       {{16, 16, 32, SolidDib(16, 32, a, 255)},
        {32, 32, 24, SolidDib(32, 24, b)},
        {48, 48, 32, SolidDib(48, 32, c, 255)}},
       32,
       b},
      {"deepest of three 32 x 32",
       {{32, 32, 8, PaletteDib(32, a)},
        {32, 32, 32, SolidDib(32, 32, b, 255)},
        {32, 32, 24, SolidDib(32, 24, c)}},
       32,
       b},
      {"equally near 24 and 40: the deeper",
       {{24, 24, 8, PaletteDib(24, a)}, {40, 40, 24, SolidDib(40, 24, b)}},
       40,
       b},
      {"equally near and equally deep: the first",
       {{24, 24, 24, SolidDib(24, 24, a)}, {40, 40, 24, SolidDib(40, 24, b)}},
       24,
       a},
      {"only larger ones: the nearest",
       {{256, 256, 32, Png(256, d)}, {48, 48, 24, SolidDib(48, 24, c)}},
       48,
       c},
      {"PNG entry at 32", {{16, 16, 24, SolidDib(16, 24, a)}, {32, 32, 32, Png(32, d)}}, 32, d},
      {"depth read from the image when the directory says 0",
       {{32, 32, 0, PaletteDib(32, a)}, {32, 32, 0, SolidDib(32, 24, b)}},
       32,
       b},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    test::SaveSeed("ico", c.name, BuildIcon(c.images));
    TIcon icon;
    icon.LoadFromBytes(BuildIcon(c.images), "x.ico");
    EXPECT_EQ(icon.Width(), c.size);
    EXPECT_EQ(icon.Height(), c.size);
    EXPECT_EQ(Centre(icon), c.colour);
  }
}

// Drawn onto a white canvas, transparent parts stay white, whether the
// transparency comes from the AND mask, an alpha channel or a PNG.
TEST(TIcon, TransparentPartsKeepTheCanvas) {
  const QRgb red = qRgb(255, 0, 0);
  auto left_half = [](int x, int) { return x < 16; };
  QImage half_png(32, 32, QImage::Format_ARGB32);
  half_png.fill(red);
  for (int y = 0; y < 32; ++y)
    for (int x = 0; x < 16; ++x) half_png.setPixel(x, y, 0x00000000);
  QByteArray png_bytes;
  QBuffer buffer(&png_bytes);
  buffer.open(QIODevice::WriteOnly);
  half_png.save(&buffer, "PNG");
  std::string alpha_dib = SolidDib(32, 32, red, 255);
  for (int y = 0; y < 32; ++y)
    for (int x = 0; x < 16; ++x) alpha_dib[40 + y * 128 + x * 4 + 3] = 0;
  const struct {
    const char* name;
    IconImage image;
  } cases[] = {
      {"AND mask at 24 bits", {32, 32, 24, SolidDib(32, 24, red, 0, left_half)}},
      {"AND mask at 32 bits with an empty alpha channel",
       {32, 32, 32, SolidDib(32, 32, red, 0, left_half)}},
      {"alpha channel, mask ignored", {32, 32, 32, alpha_dib}},
      {"PNG with alpha", {32, 32, 32, png_bytes.toStdString()}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    test::SaveSeed("ico", c.name, BuildIcon({c.image}));
    TIcon icon;
    icon.LoadFromBytes(BuildIcon({c.image}), "t.ico");
    TBitmap canvas;
    canvas.SetSize(34, 34);
    icon.Draw(canvas, 1, 1);
    EXPECT_EQ(canvas.Image().pixel(0, 0), kWhite);
    EXPECT_EQ(canvas.Image().pixel(1, 1), kWhite);
    EXPECT_EQ(canvas.Image().pixel(16, 20), kWhite);
    EXPECT_EQ(canvas.Image().pixel(17, 20), red);
    EXPECT_EQ(canvas.Image().pixel(32, 32), red);
    EXPECT_EQ(canvas.Image().pixel(33, 33), kWhite);
  }
}

TEST(TIcon, HalfTransparentPixelsBlendWithTheCanvas) {
  TIcon icon;
  icon.LoadFromBytes(BuildIcon({{4, 4, 32, SolidDib(4, 32, qRgb(255, 0, 0), 128)}}), "h.ico");
  TBitmap canvas;
  canvas.SetSize(4, 4);
  icon.Draw(canvas, 0, 0);
  const QRgb p = canvas.Image().pixel(2, 2);
  EXPECT_EQ(qRed(p), 255);
  EXPECT_NEAR(qGreen(p), 127, 1);
  EXPECT_NEAR(qBlue(p), 127, 1);
}

TEST(TIcon, DamagedFilesGiveAClearErrorNamingTheFile) {
  const std::string good = BuildIcon({{16, 16, 24, SolidDib(16, 24, qRgb(1, 2, 3))}});
  std::string offset_past_end = good;
  offset_past_end[21] = '\x7F';
  std::string mask_cut = good.substr(0, good.size() - 10);
  std::string huge = BuildIcon({{16, 16, 24, SolidDib(16, 24, qRgb(1, 2, 3))}});
  huge[22 + 4] = huge[22 + 5] = '\xFF';  // DIB width 65535
  huge[22 + 8] = huge[22 + 9] = '\xFF';  // DIB height 65535 (two halves)
  std::string bad_png = BuildIcon({{32, 32, 32, Png(32, 0xFF000000).substr(0, 60)}});
  // IDAT claims its own bytes, the IEND chunk's and one more.
  std::string long_png = BuildIcon({{32, 32, 32, test::WithLongerChunk(Png(32, 0), "IDAT", 13)}});
  const struct {
    const char* name;
    std::string bytes;
    const char* reason;
  } cases[] = {
      {"empty", "", "does not start with an icon directory"},
      {"a bitmap", "BM\x10\x00\x00\x00\x00\x00", "does not start with an icon directory"},
      {"type 3", std::string("\0\0\3\0\1\0", 6), "does not start with an icon directory"},
      {"no images", std::string("\0\0\1\0\0\0", 6), "no image of the directory"},
      {"entries cut", good.substr(0, 15), "directory is truncated"},
      {"image past the end", offset_past_end, "no image of the directory lies inside the file"},
      {"mask cut", mask_cut, "transparency mask is truncated"},
      {"huge DIB", huge, "too large (65535 x 32767"},
      {"PNG cut", bad_png, "PNG image cannot be read"},
      {"PNG chunk past the end", long_png, "its IDAT chunk claims"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    TIcon icon;
    try {
      icon.LoadFromBytes(c.bytes, "bad.ico");
      ADD_FAILURE() << "loaded";
    } catch (const EInvalidGraphic& e) {
      const std::string m = e.what();
      EXPECT_EQ(m.rfind("Icon \"bad.ico\" is not valid: ", 0), 0u) << m;
      EXPECT_NE(m.find(c.reason), std::string::npos) << m;
    }
  }
}

TEST(TIcon, PngBeyondThePixelLimitIsRefused) {
  SetPicturePixelLimit(32 * 32 - 1);
  TIcon icon;
  EXPECT_THROW(icon.LoadFromBytes(BuildIcon({{32, 32, 32, Png(32, kWhite)}}), "p.ico"),
               EInvalidGraphic);
  SetPicturePixelLimit(kMaxPicturePixels);
  EXPECT_NO_THROW(icon.LoadFromBytes(BuildIcon({{32, 32, 32, Png(32, kWhite)}}), "p.ico"));
}

}  // namespace
}  // namespace pagemint
