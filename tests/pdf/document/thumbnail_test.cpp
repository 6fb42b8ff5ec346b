// SPDX-License-Identifier: GPL-3.0-or-later
// Designated initializers leave the other fields at their defaults on purpose.
#pragma GCC diagnostic ignored "-Wmissing-field-initializers"

#include "pdf/document/document_internals.h"
#include "pdf/document/thumbnail.h"

#include <gtest/gtest.h>

#include <QPainter>
#include <array>
#include <bit>
#include <cstring>
#include <utility>
#include <vector>

#include "pdf/document/pdf_document.h"
#include "pdf/reader/pdf_test_builder.h"
#include "pdf/streams/filters.h"
#include "picture/dib_builder.h"
#include "picture/graphic.h"
#include "picture/jpeg_image.h"
#include "picture/picture_test_util.h"

namespace pagemint {
namespace {

std::string ThreePages() {
  testing::PdfBuilder b;
  b.Add(1, "<< /Type /Catalog /Pages 2 0 R >>");
  b.Add(2, "<< /Type /Pages /Kids [3 0 R 4 0 R 5 0 R] /Count 3 /MediaBox [0 0 200 100] >>");
  b.Add(3, "<< /Type /Page /Parent 2 0 R /Thumb 6 0 R /Rotate 0 >>");
  b.Add(4, "<< /Type /Page /Parent 2 0 R >>");
  b.Add(5, "<< /Type /Page /Parent 2 0 R >>");
  b.AddStream(6, "/Width 1 /Height 1 /BitsPerComponent 8 /ColorSpace /DeviceGray", "\x7F");
  return b.Build();
}

TgtPDFStreamObject& ThumbOf(TgtPDFDocument& doc, int page) {
  const auto* ref =
      TgtDocumentInternals::State(doc).pages[static_cast<size_t>(page - 1)]->Content()->AsDictionary().Lookup("/Thumb");
  EXPECT_NE(ref, nullptr);
  return TgtDocumentInternals::State(doc).store->Find(ref->AsReference())->Content()->AsStream();
}


// The thumbnail's samples as RGB, read back from whatever exact form it
// was stored in.
std::string Samples(TgtPDFDocument& doc, int page) { return doc.Thumbnail(page, true).rgb; }

// A bitmap whose corners are blue (top left) and red (bottom right).
void PaintCorners(TBitmap& bmp, int width, int height) {
  bmp.SetSize(width, height);
  bmp.Image().setPixelColor(0, 0, QColor(0, 0, 255));
  bmp.Image().setPixelColor(width - 1, height - 1, QColor(255, 0, 0));
}

class Unsupported final : public TGraphic {
 public:
  int Width() const override { return 4; }
  int Height() const override { return 4; }
  const char* ClassName() const override { return "TPngImage"; }
  void LoadFromBytes(std::string_view, const std::string&) override {}
  void Draw(TBitmap&, int, int) const override {}
};

// Stands for a picture that fails while it is drawn (a damaged file).
class FailingMetafile final : public TGraphic {
 public:
  int Width() const override { return 4; }
  int Height() const override { return 4; }
  const char* ClassName() const override { return "TMetafile"; }
  void LoadFromBytes(std::string_view, const std::string&) override {}
  void Draw(TBitmap&, int, int) const override { throw EInvalidGraphic("damaged"); }
};

class Painted final : public TGraphic {
 public:
  int Width() const override { return 3; }
  int Height() const override { return 2; }
  const char* ClassName() const override { return "TIcon"; }
  void LoadFromBytes(std::string_view, const std::string&) override {}
  // Paints only the middle column: the rest must stay white.
  void Draw(TBitmap& canvas, int x, int y) const override {
    QPainter p(&canvas.Image());
    p.fillRect(x + 1, y, 1, 2, QColor(10, 20, 30));
  }
};

TEST(Thumbnail, ImageObjectHasTheExactDictionaryAndPackedRows) {
  TgtPDFDocument doc;
  ASSERT_TRUE(doc.LoadFromBytes(ThreePages()));
  TBitmap bmp;
  PaintCorners(bmp, 3, 2);
  doc.SetThumbnail(2, bmp);
  TgtPDFStreamObject& image = ThumbOf(doc, 2);
  const TgtPDFDictObject& d = image.Dictionary();
  const char* keys[] = {"/Type",       "/Subtype", "/Width", "/Height", "/BitsPerComponent",
                        "/ColorSpace", "/Filter",  "/Length"};
  ASSERT_EQ(d.Count(), 8);
  for (int i = 0; i < 8; ++i) EXPECT_EQ(d.KeyAt(i)->Text(), keys[i]);
  EXPECT_EQ(d.Lookup("/Width")->AsInteger().Value(), 3);
  EXPECT_EQ(d.Lookup("/Height")->AsInteger().Value(), 2);
  ASSERT_TRUE(d.Lookup("/Length")->IsInt64());
  EXPECT_EQ(d.Lookup("/Length")->AsInt64().Value(), image.Data()->Size());
  const std::string samples = Samples(doc, 2);
  ASSERT_EQ(samples.size(), 18u);  // 3 pixels x 3 bytes per row, no padding
  EXPECT_EQ(samples.substr(0, 3), std::string("\x00\x00\xFF", 3));
  EXPECT_EQ(samples.substr(3, 3), "\xFF\xFF\xFF");
  EXPECT_EQ(samples.substr(15, 3), std::string("\xFF\x00\x00", 3));
}

TEST(Thumbnail, ReplacingKeepsTheKeyInPlaceAndAppendingGoesLast) {
  TgtPDFDocument doc;
  ASSERT_TRUE(doc.LoadFromBytes(ThreePages()));
  TBitmap white;
  white.SetSize(1, 1);
  doc.SetThumbnail(1, white);
  doc.SetThumbnail(3, white);
  const auto& first = TgtDocumentInternals::State(doc).pages[0]->Content()->AsDictionary();
  const auto& third = TgtDocumentInternals::State(doc).pages[2]->Content()->AsDictionary();
  EXPECT_EQ(first.IndexOfKey("/Thumb"), 1);  // where the source had it
  EXPECT_EQ(third.IndexOfKey("/Thumb"), third.Count() - 1);
  const std::string samples = Samples(doc, 1);
  EXPECT_EQ(samples, "\xFF\xFF\xFF");
  // Two attachments of one picture are two objects with two numbers.
  EXPECT_NE(first.Lookup("/Thumb")->AsReference().Number(),
            third.Lookup("/Thumb")->AsReference().Number());
}

TEST(Thumbnail, FailuresLeaveThePageAndTheStoreUnchanged) {
  TgtPDFDocument doc;
  ASSERT_TRUE(doc.LoadFromBytes(ThreePages()));
  TBitmap white;
  white.SetSize(1, 1);
  const int32_t stored = TgtDocumentInternals::State(doc).store->Count();
  struct Case {
    int page;
    const char* message;
  } pages[] = {{0, "Invalid page number (0)"},
               {-1, "Invalid page number (-1)"},
               {4, "Invalid page number (4)"}};
  for (const auto& c : pages) {
    try {
      doc.SetThumbnail(c.page, white);
      ADD_FAILURE() << c.page;
    } catch (const EInvalidPageError& e) {
      EXPECT_STREQ(e.what(), c.message);
    }
  }
  Unsupported png;
  try {
    doc.SetThumbnail(1, png);
    ADD_FAILURE();
  } catch (const EUnsupportedImageError& e) {
    EXPECT_STREQ(e.what(), "Unsupported image format (TPngImage)");
  }
  FailingMetafile broken;
  EXPECT_THROW(doc.SetThumbnail(2, broken), EInvalidGraphic);
  EXPECT_EQ(TgtDocumentInternals::State(doc).store->Count(), stored);
  EXPECT_EQ(TgtDocumentInternals::State(doc).pages[1]->Content()->AsDictionary().Lookup("/Thumb"), nullptr);
  EXPECT_EQ(
      TgtDocumentInternals::State(doc).pages[0]->Content()->AsDictionary().Lookup("/Thumb")->AsReference().Number(), 6);
}

TEST(Thumbnail, DrawnPicturesKeepUnpaintedPartsWhite) {
  TgtPDFDocument doc;
  ASSERT_TRUE(doc.LoadFromBytes(ThreePages()));
  Painted icon;
  doc.SetThumbnail(1, icon);
  const std::string samples = Samples(doc, 1);
  const std::string row = std::string("\xFF\xFF\xFF\x0A\x14\x1E\xFF\xFF\xFF", 9);
  EXPECT_EQ(samples, row + row);
}

TEST(Thumbnail, NoDocumentMeansNoPages) {
  TgtPDFDocument doc;
  TBitmap white;
  white.SetSize(1, 1);
  EXPECT_THROW(doc.SetThumbnail(1, white), EInvalidPageError);
}

// A bitmap holds the display's format unless a caller converted it (24
// bits) or put another image in; every format gives the same samples, and
// the bitmap itself is left as it was.
TEST(Thumbnail, BitmapToRGBGivesTheSameSamplesFromEveryPixelFormat) {
  QImage source(3, 2, QImage::Format_RGB32);
  const QRgb pixels[] = {qRgb(255, 0, 0), qRgb(0, 255, 0),     qRgb(0, 0, 255),
                         qRgb(1, 2, 3),   qRgb(255, 255, 255), qRgb(0, 0, 0)};
  for (int i = 0; i < 6; ++i) source.setPixel(i % 3, i / 3, pixels[i]);
  const std::string expected("\xFF\0\0\0\xFF\0\0\0\xFF\x01\x02\x03\xFF\xFF\xFF\0\0\0", 18);
  const QImage::Format formats[] = {QImage::Format_RGB32, QImage::Format_ARGB32,
                                    QImage::Format_BGR888, QImage::Format_RGB888,
                                    QImage::Format_Indexed8};
  for (QImage::Format format : formats) {
    SCOPED_TRACE(format);
    TBitmap bitmap;
    bitmap.SetImage(source.convertToFormat(format));
    const QImage before = bitmap.Image();
    EXPECT_EQ(BitmapToRGB(bitmap)->Bytes(), expected);
    EXPECT_EQ(bitmap.Image().format(), format);
    EXPECT_EQ(bitmap.Image(), before);
  }
  TBitmap converted;
  converted.SetImage(source);
  converted.ConvertTo24Bit();
  EXPECT_EQ(BitmapToRGB(converted)->Bytes(), expected);
}

// ---- read back: every bitmap variant and JPEG, from file to samples -------

// The picture each bitmap variant stores: 5 x 3 pixels, an odd width so
// that every depth pads its rows. Columns 0 and 1 repeat (runs for the RLE
// encoders), columns 2 to 4 differ (literals).
constexpr int kW = 5, kH = 3;

int IndexAt(int x, int y, int colours) { return x < 2 ? y % colours : (x + 3 * y) % colours; }

// Colours every palette depth and 24 or 32 bits hold exactly, and the pure
// ones that 16-bit channels of 5 or 6 bits also hold exactly.
const std::vector<uint32_t> kAnyColours = {0x000000, 0xFFFFFF, 0xFF0000, 0x00FF00,
                                           0x0000FF, 0x123456, 0xFEDCBA, 0x808080};
const std::vector<uint32_t> kPureColours = {0x000000, 0xFFFFFF, 0xFF0000, 0x00FF00,
                                            0x0000FF, 0xFFFF00, 0x00FFFF, 0xFF00FF};

struct Variant {
  const char* name;
  test::Dib dib;  // header, depth, compression and masks; Encode adds the rest
  const std::vector<uint32_t>* colours;
  int count;  // colours used, from the start of *colours
};

uint32_t Pack(uint32_t rgb, uint8_t alpha, const std::array<uint32_t, 4>& masks) {
  const uint8_t channel[4] = {static_cast<uint8_t>(rgb >> 16), static_cast<uint8_t>(rgb >> 8),
                              static_cast<uint8_t>(rgb), alpha};
  uint32_t v = 0;
  for (int i = 0; i < 4; ++i) {
    if (masks[i] == 0) continue;
    const int bits = std::popcount(masks[i]);
    v |= (static_cast<uint32_t>(channel[i] >> (8 - bits)) << std::countr_zero(masks[i])) & masks[i];
  }
  return v;
}

// One row of palette indices as RLE8 or RLE4: a run of two or more equal
// pixels as an encoded run, three or more differing ones as an absolute
// run, anything shorter pixel by pixel.
std::string EncodeRleRow(const std::vector<int>& idx, bool four) {
  std::string out;
  auto put = [&](int v) { out += static_cast<char>(v); };
  const int n = static_cast<int>(idx.size());
  for (int i = 0; i < n;) {
    int run = 1;
    while (i + run < n && idx[i + run] == idx[i]) ++run;
    if (run >= 2) {
      put(run);
      put(four ? idx[i] << 4 | idx[i] : idx[i]);
      i += run;
      continue;
    }
    int j = i;
    while (j < n && !(j + 1 < n && idx[j + 1] == idx[j])) ++j;
    const int len = j - i;
    if (len >= 3) {
      put(0);
      put(len);
      std::string literal;
      for (int k = i; k < j; ++k) {
        if (!four)
          literal += static_cast<char>(idx[k]);
        else if ((k - i) % 2 == 0)
          literal += static_cast<char>(idx[k] << 4);
        else
          literal.back() = static_cast<char>(literal.back() | idx[k]);
      }
      if (literal.size() % 2) literal += '\0';
      out += literal;
    } else {
      for (int k = i; k < j; ++k) {
        put(1);
        put(four ? idx[k] << 4 : idx[k]);
      }
    }
    i = j;
  }
  return out;
}

// The variant's file with the picture above, and the picture as packed
// RGB samples, top row first.
std::pair<std::string, std::string> Encode(const Variant& v) {
  test::Dib d = v.dib;
  const std::vector<uint32_t>& colours = *v.colours;
  const bool indexed = d.bit_count <= 8;
  const bool top_down = d.height < 0;
  d.width = kW;
  if (indexed) {
    // A core header has no count of colours used: its table is full.
    d.palette.assign(colours.begin(), colours.begin() + v.count);
    if (d.header_size == 12)
      d.palette.resize(size_t{1} << d.bit_count, 0);
    else
      d.colors_used = static_cast<uint32_t>(v.count);
  }
  std::array<uint32_t, 4> masks = d.masks;
  if (d.compression == 0 && d.bit_count == 16) masks = {0x7C00, 0x03E0, 0x001F, 0};
  if (d.compression == 0 && d.bit_count == 32) masks = {0xFF0000, 0xFF00, 0xFF, 0};
  // A picture with an alpha channel is drawn over white, as the alpha the
  // file stores (40 + 50x, at the mask's precision) leaves it.
  const uint32_t alpha_mask = d.compression == 3 ? masks[3] : 0;
  std::string expected;
  for (int y = 0; y < kH; ++y)
    for (int x = 0; x < kW; ++x) {
      const uint32_t c = colours[IndexAt(x, y, v.count)];
      int a = 255;
      if (alpha_mask == 0xF000) a = ((40 + 50 * x) & 0xFF) >> 4 << 4 | (((40 + 50 * x) & 0xFF) >> 4);
      if (alpha_mask == 0xFF000000) a = (40 + 50 * x) & 0xFF;
      for (const int shift : {16, 8, 0}) {
        const int channel = static_cast<int>(c >> shift) & 0xFF;
        expected += static_cast<char>((channel * a + 255 * (255 - a) + 127) / 255);
      }
    }
  for (int stored = 0; stored < kH; ++stored) {
    const int y = top_down ? stored : kH - 1 - stored;
    std::vector<int> idx;
    for (int x = 0; x < kW; ++x) idx.push_back(IndexAt(x, y, v.count));
    if (d.compression == 1 || d.compression == 2) {
      d.bits += EncodeRleRow(idx, d.compression == 2);
      d.bits += stored == kH - 1 ? std::string("\x00\x01", 2) : std::string("\x00\x00", 2);
      continue;
    }
    std::string row;
    if (indexed) {
      row.assign((kW * d.bit_count + 7) / 8, '\0');
      for (int x = 0; x < kW; ++x) {
        const int bit = x * d.bit_count;
        row[bit / 8] = static_cast<char>(row[bit / 8] | idx[x] << (8 - d.bit_count - bit % 8));
      }
    } else {
      for (int x = 0; x < kW; ++x) {
        const uint32_t c = colours[idx[x]];
        if (d.bit_count == 24) {
          row += {static_cast<char>(c), static_cast<char>(c >> 8), static_cast<char>(c >> 16)};
          continue;
        }
        const uint32_t packed = Pack(c, static_cast<uint8_t>(40 + 50 * x), masks);
        for (int b = 0; b < d.bit_count / 8; ++b) row += static_cast<char>(packed >> (8 * b));
      }
    }
    row.resize((row.size() + 3) / 4 * 4, '\0');
    d.bits += row;
  }
  return {test::BuildBmp(d), expected};
}

TEST(ThumbnailReadBack, EveryBitmapVariantGivesItsPixels) {
  const Variant variants[] = {
      {"core header, 1 bit", {.header_size = 12, .height = kH, .bit_count = 1}, &kAnyColours, 2},
      {"1 bit, top-down", {.height = -kH, .bit_count = 1}, &kAnyColours, 2},
      {"4 bit", {.height = kH, .bit_count = 4}, &kAnyColours, 8},
      {"core header, 8 bit", {.header_size = 12, .height = kH, .bit_count = 8}, &kAnyColours, 8},
      {"8 bit, V5 header, top-down",
       {.header_size = 124, .height = -kH, .bit_count = 8},
       &kAnyColours,
       8},
      {"RLE4", {.height = kH, .bit_count = 4, .compression = 2}, &kAnyColours, 8},
      {"RLE8", {.height = kH, .bit_count = 8, .compression = 1}, &kAnyColours, 8},
      {"16 bit 5-5-5", {.height = kH, .bit_count = 16}, &kPureColours, 8},
      {"16 bit 5-6-5 bit fields",
       {.height = kH,
        .bit_count = 16,
        .compression = 3,
        .masks = {0xF800, 0x07E0, 0x001F},
        .stored_masks = 3},
       &kPureColours,
       8},
      {"16 bit 4-4-4-4 with alpha, V4 header",
       {.header_size = 108,
        .height = kH,
        .bit_count = 16,
        .compression = 3,
        .masks = {0x0F00, 0x00F0, 0x000F, 0xF000}},
       &kPureColours,
       8},
      {"24 bit", {.height = kH, .bit_count = 24}, &kAnyColours, 8},
      {"24 bit, top-down", {.height = -kH, .bit_count = 24}, &kAnyColours, 8},
      {"32 bit", {.height = kH, .bit_count = 32}, &kAnyColours, 8},
      {"32 bit bit fields in BGR order",
       {.height = kH,
        .bit_count = 32,
        .compression = 3,
        .masks = {0xFF, 0xFF00, 0xFF0000},
        .stored_masks = 3},
       &kAnyColours,
       8},
      {"32 bit with alpha, V5 header, top-down",
       {.header_size = 124,
        .height = -kH,
        .bit_count = 32,
        .compression = 3,
        .masks = {0xFF0000, 0xFF00, 0xFF, 0xFF000000}},
       &kAnyColours,
       8},
  };
  test::TempDir dir;
  for (const Variant& v : variants) {
    SCOPED_TRACE(v.name);
    const auto [bytes, expected] = Encode(v);
    const std::string file = dir / "variant.bmp";
    test::WriteFile(file, bytes);
    TBitmap bitmap;
    TgtPDFDocument doc;
    ASSERT_TRUE(doc.LoadFromBytes(ThreePages()));
    try {
      bitmap.LoadFromFile(file);
      doc.SetThumbnail(2, bitmap);
    } catch (const Exception& e) {
      ADD_FAILURE() << e.what();
      continue;
    }
    const TgtPDFDictObject& d = ThumbOf(doc, 2).Dictionary();
    EXPECT_EQ(d.Lookup("/Width")->AsInteger().Value(), kW);
    EXPECT_EQ(d.Lookup("/Height")->AsInteger().Value(), kH);
    // Within a level of the rounding of the drawing over white.
    const std::string samples = Samples(doc, 2);
    ASSERT_EQ(samples.size(), expected.size());
    for (size_t i = 0; i < samples.size(); ++i)
      ASSERT_LE(std::abs(static_cast<uint8_t>(samples[i]) - static_cast<uint8_t>(expected[i])), 1)
          << "sample " << i;
  }
}

// Thumbnails written by other programs: /Decode maps the stored samples
// (an inverted range flips them), and data that inflates far beyond
// width x height x components is not decoded past that size.
TEST(ThumbnailReadBack, DecodeArraysAndOversizedData) {
  const std::string deflated_zeros =
      TgtFlateFilter().CompressString(std::string(size_t{48} << 20, '\0'), 3);
  const struct {
    const char* name;
    std::string dict;
    std::string data;
    std::string expected;  // empty: no samples
  } cases[] = {
      {"gray", "/ColorSpace /DeviceGray /BitsPerComponent 8", std::string("\x00\xff", 2),
       std::string("\x00\x00\x00\xff\xff\xff", 6)},
      {"gray inverted", "/ColorSpace /DeviceGray /BitsPerComponent 8 /Decode [1 0]",
       std::string("\x00\xff", 2), std::string("\xff\xff\xff\x00\x00\x00", 6)},
      {"1 bit inverted", "/ColorSpace /DeviceGray /BitsPerComponent 1 /Decode [1 0]", "\x80",
       std::string("\x00\x00\x00\xff\xff\xff", 6)},
      {"rgb, red inverted", "/ColorSpace /DeviceRGB /BitsPerComponent 8 /Decode [1 0 0 1 0 1]",
       std::string("\x00\x10\x20\xff\x30\x40", 6), std::string("\xff\x10\x20\x00\x30\x40", 6)},
      {"indexed inverted",
       "/ColorSpace [/Indexed /DeviceRGB 1 <0000ff00ff00>] /BitsPerComponent 1 /Decode [1 0]",
       "\x40", std::string("\x00\xff\x00\x00\x00\xff", 6)},
      {"48 MB of inflated zeros for 2 samples",
       "/ColorSpace /DeviceGray /BitsPerComponent 8 /Filter /FlateDecode", deflated_zeros, ""},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    const std::string file =
        pagemint::testing::PdfBuilder()
            .Add(1, "<< /Type /Catalog /Pages 2 0 R >>")
            .Add(2, "<< /Type /Pages /Kids [3 0 R] /Count 1 >>")
            .Add(3, "<< /Type /Page /Parent 2 0 R /MediaBox [0 0 10 10] /Thumb 4 0 R >>")
            .AddStream(4, "/Width 2 /Height 1 " + c.dict, c.data)
            .Build();
    TgtPDFDocument doc;
    ASSERT_TRUE(doc.LoadFromBytes(file));
    const TgtThumbnailImage image = doc.Thumbnail(1, true);
    EXPECT_EQ(image.rgb, c.expected);
  }
}

// Packed RGB samples as an image, for comparing with convert's decode.
QImage SamplesImage(const std::string& samples, int width, int height) {
  QImage image(width, height, QImage::Format_RGB888);
  if (samples.size() != static_cast<size_t>(width) * height * 3) return {};
  for (int y = 0; y < height; ++y)
    std::memcpy(image.scanLine(y), samples.data() + static_cast<size_t>(y) * width * 3,
                static_cast<size_t>(width) * 3);
  return image;
}

TEST(ThumbnailReadBack, JpegSamplesMatchConvertsDecode) {
  if (!test::HaveConvert()) GTEST_SKIP() << "ImageMagick convert is not installed";
  test::TempDir dir;
  // Smooth ramps, hard-edged blocks and every hue, 67 x 45 (neither side a
  // multiple of the 8 or 16 pixel blocks).
  const int w = 67, h = 45;
  std::string ppm = "P6\n" + std::to_string(w) + " " + std::to_string(h) + "\n255\n";
  for (int y = 0; y < h; ++y)
    for (int x = 0; x < w; ++x)
      ppm += {static_cast<char>(x * 255 / (w - 1)),
              static_cast<char>((x / 16 + y / 16) % 2 ? 20 : 230),
              static_cast<char>(y * 255 / (h - 1))};
  test::WriteFile(dir / "source.ppm", ppm);
  // A baseline JPEG in grey or YCbCr keeps its own data; the others are
  // stored as exact samples.
  const struct {
    const char* name;
    const char* options;
    const char* filter;
  } variants[] = {
      {"baseline", "-quality 90", "/DCTDecode"},
      {"baseline 4:2:0", "-quality 75 -sampling-factor 2x2", "/DCTDecode"},
      {"progressive", "-quality 90 -interlace Plane", "/FlateDecode"},
      {"greyscale", "-colorspace Gray -quality 90", "/DCTDecode"},
      {"CMYK", "-colorspace CMYK -quality 95", "/FlateDecode"},
  };
  for (const auto& v : variants) {
    SCOPED_TRACE(v.name);
    const std::string file = dir / "v.jpg";
    ASSERT_TRUE(test::Convert("'" + (dir / "source.ppm") + "' " + v.options + " '" + file + "'"));
    TJPEGImage jpeg;
    jpeg.LoadFromFile(file);
    TgtPDFDocument doc;
    ASSERT_TRUE(doc.LoadFromBytes(ThreePages()));
    doc.SetThumbnail(3, jpeg);
    const TgtPDFDictObject& d = ThumbOf(doc, 3).Dictionary();
    EXPECT_EQ(d.Lookup("/Width")->AsInteger().Value(), w);
    EXPECT_EQ(d.Lookup("/Height")->AsInteger().Value(), h);
    EXPECT_EQ(d.Lookup("/Filter")->AsName().Text(), v.filter);
    const QImage ours = SamplesImage(Samples(doc, 3), w, h);
    ASSERT_FALSE(ours.isNull());
    const QImage theirs = test::ConvertToRgb(file, dir / "v.ppm");
    ASSERT_FALSE(theirs.isNull());
    // Both decoders are libjpeg; the CMYK conversion may round one step
    // differently.
    const test::Difference diff = test::Compare(ours, theirs);
    EXPECT_LE(diff.max, 1);
    EXPECT_LT(diff.mean, 0.05);
  }
}

}  // namespace
}  // namespace pagemint
