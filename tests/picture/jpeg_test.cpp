// SPDX-License-Identifier: GPL-3.0-or-later
#include <gtest/gtest.h>

#include <cstdio>
#include <string>
#include <vector>
// jpeglib.h needs size_t and FILE declared first.
#include <jpeglib.h>

#include "picture/graphic.h"
#include "picture/jpeg_image.h"
#include "picture/picture_limits.h"
#include "picture_test_util.h"

namespace pagemint {
namespace {

using test::TempDir;

// A picture with smooth areas, hard edges and every hue, as a PPM for
// convert to encode.
std::string SourcePpm(int w, int h) {
  std::string out = "P6\n" + std::to_string(w) + " " + std::to_string(h) + "\n255\n";
  for (int y = 0; y < h; ++y) {
    for (int x = 0; x < w; ++x) {
      const bool block = (x / 16 + y / 16) % 2 == 0;
      out += static_cast<char>(x * 255 / (w - 1));
      out += static_cast<char>(block ? 230 : 20);
      out += static_cast<char>(y * 255 / (h - 1));
    }
  }
  return out;
}

// Encodes flat samples of the given colour space with libjpeg itself, for
// the cases convert cannot be told to write.
std::string EncodeFlat(J_COLOR_SPACE in, J_COLOR_SPACE stored, bool adobe_marker,
                       const std::vector<uint8_t>& pixel, int size = 16) {
  jpeg_compress_struct c{};
  jpeg_error_mgr err{};
  c.err = jpeg_std_error(&err);
  jpeg_create_compress(&c);
  unsigned char* buffer = nullptr;
  unsigned long length = 0;
  jpeg_mem_dest(&c, &buffer, &length);
  c.image_width = size;
  c.image_height = size;
  c.input_components = static_cast<int>(pixel.size());
  c.in_color_space = in;
  jpeg_set_defaults(&c);
  jpeg_set_colorspace(&c, stored);
  c.write_Adobe_marker = adobe_marker;
  jpeg_set_quality(&c, 100, TRUE);
  jpeg_start_compress(&c, TRUE);
  std::vector<uint8_t> row;
  for (int x = 0; x < size; ++x) row.insert(row.end(), pixel.begin(), pixel.end());
  while (c.next_scanline < c.image_height) {
    JSAMPROW r = row.data();
    jpeg_write_scanlines(&c, &r, 1);
  }
  jpeg_finish_compress(&c);
  jpeg_destroy_compress(&c);
  std::string out(reinterpret_cast<char*>(buffer), length);
  std::free(buffer);
  return out;
}

class JpegTest : public ::testing::Test {
 protected:
  void SetUp() override {
    if (!test::HaveConvert()) GTEST_SKIP() << "ImageMagick convert is not installed";
    test::WriteFile(dir_ / "source.ppm", SourcePpm(67, 45));
  }
  // convert's JPEG of the source picture, written with the given options.
  std::string Make(const std::string& name, const std::string& options) {
    const std::string path = dir_ / name;
    EXPECT_TRUE(test::Convert("'" + (dir_ / "source.ppm") + "' " + options + " '" + path + "'"));
    test::SaveSeed("jpeg", options, test::ReadFile(path));
    return path;
  }

  TempDir dir_;
};

TEST_F(JpegTest, DecodesLikeConvertAcrossProcessesAndColourSpaces) {
  struct Variant {
    const char* name;
    const char* options;
    int max_difference;
  };
  // Both decoders are libjpeg with its default settings; allow one step of
  // rounding in the CMYK conversion.
  const Variant variants[] = {
      {"baseline", "-quality 90", 1},
      {"baseline 4:2:0", "-quality 75 -sampling-factor 2x2", 1},
      {"progressive", "-quality 90 -interlace Plane", 1},
      {"grey", "-colorspace Gray -quality 90", 1},
      {"grey progressive", "-colorspace Gray -interlace Plane", 1},
      {"cmyk", "-colorspace CMYK -quality 95", 1},
  };
  for (const Variant& v : variants) {
    SCOPED_TRACE(v.name);
    const std::string path = Make("v.jpg", v.options);
    TJPEGImage jpeg;
    jpeg.LoadFromFile(path);
    EXPECT_EQ(jpeg.Width(), 67);
    EXPECT_EQ(jpeg.Height(), 45);
    const QImage expected = test::ConvertToRgb(path, dir_ / "v.ppm");
    ASSERT_FALSE(expected.isNull());
    const test::Difference d = test::Compare(jpeg.Image(), expected);
    EXPECT_LE(d.max, v.max_difference);
    EXPECT_LT(d.mean, 0.05);
  }
}

TEST_F(JpegTest, GreyscaleGivesThreeEqualComponents) {
  TJPEGImage jpeg;
  jpeg.LoadFromFile(Make("grey.jpg", "-colorspace Gray"));
  for (int y = 0; y < jpeg.Height(); ++y)
    for (int x = 0; x < jpeg.Width(); ++x) {
      const QRgb p = jpeg.Image().pixel(x, y);
      ASSERT_TRUE(qRed(p) == qGreen(p) && qGreen(p) == qBlue(p)) << x << "," << y;
    }
}

TEST_F(JpegTest, DrawPaintsThePictureAtItsPositionAndSize) {
  TJPEGImage jpeg;
  jpeg.LoadFromFile(Make("d.jpg", "-quality 90"));
  TBitmap canvas;
  canvas.SetSize(70, 50);
  jpeg.Draw(canvas, 2, 3);
  EXPECT_EQ(canvas.Image().pixel(1, 3), qRgb(255, 255, 255));
  EXPECT_EQ(canvas.Image().pixel(2, 2), qRgb(255, 255, 255));
  EXPECT_EQ(canvas.Image().pixel(2, 3), jpeg.Image().pixel(0, 0));
  EXPECT_EQ(canvas.Image().pixel(68, 47), jpeg.Image().pixel(66, 44));
  EXPECT_EQ(canvas.Image().pixel(69, 47), qRgb(255, 255, 255));
}

TEST_F(JpegTest, TruncatedScanDataLoadsWithLibjpegsWarning) {
  const std::string whole = test::ReadFile(Make("t.jpg", "-quality 90"));
  TJPEGImage jpeg;
  jpeg.LoadFromBytes(whole.substr(0, whole.size() / 2), "half.jpg");
  EXPECT_EQ(jpeg.Width(), 67);
  EXPECT_NE(jpeg.Warning().find("Premature end of JPEG file"), std::string::npos) << jpeg.Warning();
}

// libjpeg's own message, behind the file's name, and never an exit.
TEST_F(JpegTest, DamagedFilesGiveLibjpegsMessageNamingTheFile) {
  const std::string good = test::ReadFile(Make("g.jpg", "-quality 90"));
  std::string sof_damaged = good;
  const size_t sof = sof_damaged.find("\xFF\xC0");
  ASSERT_NE(sof, std::string::npos);
  sof_damaged[sof + 4] = 0;  // precision 0
  const struct {
    const char* name;
    std::string bytes;
    const char* reason;
  } cases[] = {
      {"empty", "", "Empty input file"},
      {"not a JPEG", "GIF89a........", "Not a JPEG file: starts with 0x47 0x49"},
      {"header only", good.substr(0, 40), "no image"},
      {"bad precision", sof_damaged, "Unsupported JPEG data precision 0"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    TJPEGImage jpeg;
    jpeg.LoadFromBytes(good, "good.jpg");
    try {
      jpeg.LoadFromBytes(c.bytes, "broken.jpg");
      ADD_FAILURE() << "loaded";
    } catch (const EInvalidGraphic& e) {
      const std::string m = e.what();
      EXPECT_EQ(m.rfind("JPEG image \"broken.jpg\" is not valid: ", 0), 0u) << m;
      EXPECT_NE(m.find(c.reason), std::string::npos) << m;
    }
    EXPECT_EQ(jpeg.Width(), 67);  // the earlier picture stays
  }
}

TEST_F(JpegTest, SizeBeyondTheLimitIsRefusedBeforeDecoding) {
  std::string bytes = test::ReadFile(Make("big.jpg", "-quality 90"));
  const size_t sof = bytes.find("\xFF\xC0");
  ASSERT_NE(sof, std::string::npos);
  // Height and width 60000 each: 3.6e9 pixels.
  for (size_t i : {sof + 5, sof + 7}) {
    bytes[i] = static_cast<char>(60000 >> 8);
    bytes[i + 1] = static_cast<char>(60000 & 0xFF);
  }
  TJPEGImage jpeg;
  try {
    jpeg.LoadFromBytes(bytes, "big.jpg");
    ADD_FAILURE();
  } catch (const EInvalidGraphic& e) {
    EXPECT_NE(std::string(e.what()).find("too large (60000 x 60000 pixels"), std::string::npos)
        << e.what();
  }
}

// A progressive file whose first scan is repeated past the scan limit:
// libjpeg only warns about the repeated scans, so without the limit each
// one would be another pass.
TEST_F(JpegTest, TooManyProgressiveScansAreRefused) {
  const std::string bytes = test::ReadFile(Make("p.jpg", "-interlace Plane -quality 90"));
  const size_t sos = bytes.find("\xFF\xDA");
  ASSERT_NE(sos, std::string::npos);
  size_t end = sos + 2;
  while (end + 1 < bytes.size() &&
         !(bytes[end] == '\xFF' && bytes[end + 1] != '\0' &&
           (uint8_t(bytes[end + 1]) < 0xD0 || uint8_t(bytes[end + 1]) > 0xD7)))
    ++end;
  const std::string scan = bytes.substr(sos, end - sos);
  std::string repeated = bytes.substr(0, end);
  for (int i = 0; i < 1100; ++i) repeated += scan;
  repeated += bytes.substr(end);
  TJPEGImage jpeg;
  try {
    jpeg.LoadFromBytes(repeated, "scans.jpg");
    ADD_FAILURE();
  } catch (const EInvalidGraphic& e) {
    EXPECT_NE(std::string(e.what()).find("more than 1000 progressive scans"), std::string::npos)
        << e.what();
  }
}

TEST(Jpeg, CmykIsInvertedOnlyWhenTheAdobeMarkerSaysSo) {
  struct Case {
    const char* name;
    J_COLOR_SPACE stored;
    bool adobe;
    std::vector<uint8_t> cmyk;
    QRgb expected;
  };
  // Red is no cyan, full magenta and yellow, no black; Adobe's writers
  // store 255 - ink.
  const Case cases[] = {
      {"inverted CMYK with the marker", JCS_CMYK, true, {255, 0, 0, 255}, qRgb(255, 0, 0)},
      {"plain CMYK without it", JCS_CMYK, false, {0, 255, 255, 0}, qRgb(255, 0, 0)},
      {"inverted YCCK", JCS_YCCK, true, {255, 0, 0, 255}, qRgb(255, 0, 0)},
      {"half black, inverted", JCS_CMYK, true, {255, 255, 255, 128}, qRgb(128, 128, 128)},
      {"blue ink, plain", JCS_CMYK, false, {255, 255, 0, 0}, qRgb(0, 0, 255)},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    TJPEGImage jpeg;
    test::SaveSeed("jpeg", c.name, EncodeFlat(JCS_CMYK, c.stored, c.adobe, c.cmyk));
    jpeg.LoadFromBytes(EncodeFlat(JCS_CMYK, c.stored, c.adobe, c.cmyk), "cmyk.jpg");
    const QRgb p = jpeg.Image().pixel(5, 5);
    EXPECT_NEAR(qRed(p), qRed(c.expected), 2);
    EXPECT_NEAR(qGreen(p), qGreen(c.expected), 2);
    EXPECT_NEAR(qBlue(p), qBlue(c.expected), 2);
  }
}

TEST(Jpeg, LoweredPixelLimitApplies) {
  const std::string bytes = EncodeFlat(JCS_RGB, JCS_YCbCr, false, {1, 2, 3}, 16);
  SetPicturePixelLimit(255);
  TJPEGImage jpeg;
  EXPECT_THROW(jpeg.LoadFromBytes(bytes, "x.jpg"), EInvalidGraphic);
  SetPicturePixelLimit(256);
  EXPECT_NO_THROW(jpeg.LoadFromBytes(bytes, "x.jpg"));
  SetPicturePixelLimit(kMaxPicturePixels);
}

}  // namespace
}  // namespace pagemint
