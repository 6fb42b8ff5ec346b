// SPDX-License-Identifier: GPL-3.0-or-later
// Pictures recognised by their content: the kind each file's first bytes
// show (the name deciding only when they show none), PNG, GIF, TIFF and
// WebP files that convert makes decoded exactly where the format is
// lossless, transparency drawn over white, scaling to a thumbnail size,
// and damaged files failing with our message naming them and nothing on
// standard error. The corpus table records every picture of the shared
// corpus: the kind detected, our result and convert's.
#include "picture/picture_file.h"

#include <gtest/gtest.h>

#include <QBuffer>
#include <QByteArray>
#include <QImage>

#include <cstdio>
#include <filesystem>
#include <memory>

#include "corpus_manifest.h"
#include "picture/dib_builder.h"
#include "picture/picture_limits.h"
#include "picture_test_util.h"

namespace pagemint {
namespace {

// A 13 x 7 source picture of distinct colours, a gradient and, in the
// "alpha" variant, a transparent left half and a half-transparent band.
void WriteSource(const std::string& ppm_or_pam, bool alpha) {
  QImage image(13, 7, QImage::Format_ARGB32);
  for (int y = 0; y < 7; ++y)
    for (int x = 0; x < 13; ++x) {
      int a = 255;
      if (alpha) a = x < 4 ? 0 : (y == 3 ? 128 : 255);
      image.setPixel(x, y, qRgba(x * 19, y * 36, (x * y * 7) & 255, a));
    }
  ASSERT_TRUE(image.save(QString::fromStdString(ppm_or_pam), "PNG"));
}

struct MadeCase {
  const char* name;
  bool alpha;
  const char* convert_options;  // how convert writes the file
  const char* file;             // its name: the extension may lie
  const char* kind;             // what we must detect
  int max_difference;           // 0 lossless and opaque
};

const MadeCase kMade[] = {
    {"Png", false, "", "a.png", "PNG", 0},
    {"PngNamedJpg", false, "", "png:png-named.jpg", "PNG", 0},
    {"PngWithAlpha", true, "", "alpha.png", "PNG", 1},
    {"Png16Bit", false, "-depth 16", "deep.png", "PNG", 0},
    {"PngPalette", false, "-type Palette", "palette.png", "PNG", 0},
    {"Gif", false, "", "a.gif", "GIF", 0},
    {"GifTransparent", true, "", "alpha.gif", "GIF", 1},
    {"Tiff", false, "-compress lzw", "a.tiff", "TIFF", 0},
    {"TiffWithAlpha", true, "-compress zip", "alpha.tif", "TIFF", 1},
    {"TiffNamedPicture", false, "-compress none", "tiff:scan.picture", "TIFF", 0},
    {"WebPLossless", false, "-define webp:lossless=true", "a.webp", "WebP", 0},
    {"WebPLossy", false, "-quality 90", "lossy.webp", "WebP", 40},
    {"BitmapNamedDib", false, "", "bmp3:a.dib", "bitmap", 0},
    {"BitmapWithAlpha", true, "", "alpha.bmp", "bitmap", 1},
    {"JpegNamedJpeg2", false, "-quality 95", "jpg:a.jpeg2", "JPEG", 40},
};

class MadeByConvert : public ::testing::TestWithParam<MadeCase> {};

TEST_P(MadeByConvert, DetectedAndDecodedLikeConvertOverWhite) {
  if (!test::HaveConvert()) GTEST_SKIP() << "ImageMagick convert is not installed";
  const MadeCase& c = GetParam();
  test::TempDir dir;
  const std::string source = dir / "source.png";
  WriteSource(source, c.alpha);
  std::string file = c.file;
  std::string coder;
  if (const size_t colon = file.find(':'); colon != std::string::npos) {
    coder = file.substr(0, colon + 1);
    file = file.substr(colon + 1);
  }
  const std::string path = dir / file;
  ASSERT_TRUE(test::Convert("'" + source + "' " + c.convert_options + " '" + coder + path + "'"));

  TPictureKind kind = TPictureKind::Unknown;
  const std::unique_ptr<TGraphic> picture = LoadPictureFile(path, &kind);
  EXPECT_STREQ(PictureKindName(kind), c.kind);
  const std::unique_ptr<TBitmap> ours = PictureOnWhite(*picture, 0, path);
  ASSERT_TRUE(test::Convert(
      "'" + path + "[0]' -background white -flatten -depth 8 'ppm:" + (dir / "r.ppm") + "'"));
  const QImage theirs = test::ReadPpm(dir / "r.ppm");
  ASSERT_EQ(ours->Image().size(), theirs.size());
  const test::Difference d = test::Compare(ours->Image(), theirs);
  EXPECT_LE(d.max, c.max_difference) << "mean " << d.mean;
}

INSTANTIATE_TEST_SUITE_P(All, MadeByConvert, ::testing::ValuesIn(kMade),
                         [](const auto& info) { return std::string(info.param.name); });

// The kind from the first bytes, and from the name only when they say
// nothing.
TEST(PictureKind, ContentFirstThenTheName) {
  test::Dib one;
  one.width = one.height = 1;
  one.bits = std::string(4, '\0');
  const std::string bmp = test::BuildBmp(one);
  const std::string dib = test::BuildInfo(one) + one.bits;
  const struct {
    std::string bytes, name;
    TPictureKind kind;
  } cases[] = {
      {std::string("\x89PNG\r\n\x1A\n", 8), "x.jpg", TPictureKind::Png},
      {"\xFF\xD8\xFF\xE0", "x.png", TPictureKind::Jpeg},
      {"GIF89a", "x", TPictureKind::Gif},
      {std::string("MM\0*", 4), "x.bmp", TPictureKind::Tiff},
      {std::string("II*\0", 4), "x", TPictureKind::Tiff},
      {std::string("RIFF\x10\0\0\0WEBPVP8L", 16), "x", TPictureKind::WebP},
      {bmp, "x.ico", TPictureKind::Bitmap},
      {dib, "clipboard", TPictureKind::Bitmap},
      {std::string("\0\0\2\0\1\0", 6), "arrow.cur", TPictureKind::Icon},
      {std::string("\0\0\1\0\1\0", 6), "x.png", TPictureKind::Icon},
      {std::string("\0\0\1\0\0\0", 6), "x.gif", TPictureKind::Gif},  // no image: the name
      {"", "empty.PNG", TPictureKind::Png},
      {std::string("RIFF\x10\0\0\0WAVE", 12), "x.webp", TPictureKind::WebP},
      {"plain text", "x.tif", TPictureKind::Tiff},
      {"plain text", "notes.txt", TPictureKind::Unknown},
      {"plain text", "dir.png/notes", TPictureKind::Unknown},
  };
  for (const auto& c : cases) EXPECT_EQ(DetectPictureKind(c.bytes, c.name), c.kind) << c.name;
}

// Damaged files of each kind Qt reads: our message naming the file, and
// nothing from Qt or its libraries on standard error.
TEST(PictureFile, DamagedFilesFailWithOurMessageAndAreQuiet) {
  if (!test::HaveConvert()) GTEST_SKIP() << "ImageMagick convert is not installed";
  test::TempDir dir;
  const std::string source = dir / "source.png";
  WriteSource(source, false);
  std::vector<std::string> files;
  for (const char* made : {"png", "gif", "tiff", "webp"}) {
    const std::string whole = dir / (std::string("whole.") + made);
    ASSERT_TRUE(test::Convert("'" + source + "' '" + whole + "'"));
    const std::string bytes = test::ReadFile(whole);
    // Cut after the header, and with the middle of the data overwritten.
    files.push_back(dir / (std::string("cut.") + made));
    test::WriteFile(files.back(), bytes.substr(0, std::min<size_t>(bytes.size() / 2, 60)));
    std::string garbled = bytes;
    for (size_t i = garbled.size() / 3; i < garbled.size() * 2 / 3; ++i) garbled[i] = '\x5A';
    files.push_back(dir / (std::string("garbled.") + made));
    test::WriteFile(files.back(), garbled);
  }
  files.push_back(dir / "unknown.dat");
  test::WriteFile(files.back(), "nothing a picture starts with");
  for (const std::string& file : files) {
    SCOPED_TRACE(file);
    ::testing::internal::CaptureStderr();
    std::string message;
    try {
      const std::unique_ptr<TGraphic> picture = LoadPictureFile(file);
      PictureOnWhite(*picture, 0, file);  // some readers get past damage: fine
    } catch (const EInvalidGraphic& e) {
      message = e.what();
    }
    const std::string printed = ::testing::internal::GetCapturedStderr();
    EXPECT_EQ(printed, "");
    if (file.find("cut.") != std::string::npos || file.ends_with(".dat")) {
      EXPECT_NE(message.find("\"" + file + "\""), std::string::npos) << message;
    }
  }
}

// A PNG chunk claiming more bytes than the file holds is refused before
// Qt's reader allocates what it claims (a text chunk of a 272-byte file
// claiming 2 GB cost 2 GB); one that fits, text included, loads.
TEST(PictureFile, PngChunkPastTheEndIsRefusedBeforeItIsRead) {
  QImage image(8, 8, QImage::Format_RGB32);
  image.fill(qRgb(255, 0, 0));
  image.setText("Comment", "written by Qt as a tEXt chunk");
  QByteArray saved;
  QBuffer buffer(&saved);
  buffer.open(QIODevice::WriteOnly);
  ASSERT_TRUE(image.save(&buffer, "PNG"));
  const std::string png = saved.toStdString();
  ASSERT_NE(png.find("tEXt"), std::string::npos);
  const struct {
    const char* name;
    std::string bytes;
    const char* reason;  // empty: loads
  } cases[] = {
      {"whole", png, ""},
      {"text claims 2 GB", test::WithLongerChunk(png, "tEXt", 2000000000), "its tEXt chunk claims 20000000"},
      {"IDAT one byte past IEND", test::WithLongerChunk(png, "IDAT", 13), "its IDAT chunk claims"},
  };
  test::TempDir dir;
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    const std::string path = dir / "chunks.png";
    test::WriteFile(path, c.bytes);
    try {
      const std::unique_ptr<TGraphic> picture = LoadPictureFile(path);
      EXPECT_STREQ(c.reason, "");
      EXPECT_EQ(picture->Width(), 8);
    } catch (const EInvalidGraphic& e) {
      const std::string m = e.what();
      EXPECT_NE(std::string(c.reason), "") << m;
      EXPECT_NE(m.find(c.reason), std::string::npos) << m;
      EXPECT_NE(m.find(path), std::string::npos) << m;
    }
  }
}

// A canvas beyond the limits is refused before anything large is made, and
// the message names the picture file.
TEST(PictureFile, TooLargeNamesTheFile) {
  test::TempDir dir;
  // A PNG whose header claims 70000 x 10 pixels, more than a side may be.
  std::string png("\x89PNG\r\n\x1A\n\0\0\0\x0DIHDR\0\x01\x11\x70\0\0\0\x0A\x08\x02\0\0\0", 29);
  png += std::string("\0\0\0\0", 4);  // CRC, not checked before the size
  const std::string path = dir / "wide.png";
  test::WriteFile(path, png);
  try {
    LoadPictureFile(path);
    ADD_FAILURE() << "loaded";
  } catch (const EInvalidGraphic& e) {
    EXPECT_NE(std::string(e.what()).find(path), std::string::npos) << e.what();
  }
  // A picture that loads but whose canvas is over a lowered limit.
  const int64_t limit = PicturePixelLimit();
  SetPicturePixelLimit(100);
  struct Restore {
    int64_t limit;
    ~Restore() { SetPicturePixelLimit(limit); }
  } restore{limit};
  class Drawn final : public TGraphic {
   public:
    int Width() const override { return 40; }
    int Height() const override { return 40; }
    const char* ClassName() const override { return "TMetafile"; }
    void LoadFromBytes(std::string_view, const std::string&) override {}
    void Draw(TBitmap&, int, int) const override {}
  } drawn;
  try {
    PictureOnWhite(drawn, 16, "/pictures/plan.emf");
    ADD_FAILURE() << "drawn";
  } catch (const EInvalidGraphic& e) {
    EXPECT_NE(std::string(e.what()).find("/pictures/plan.emf"), std::string::npos) << e.what();
  }
}

TEST(PictureOnWhite, ScalesDownSmoothlyToFitAndNeverUp) {
  QImage image(300, 120, QImage::Format_RGB32);
  for (int y = 0; y < 120; ++y)
    for (int x = 0; x < 300; ++x)
      image.setPixel(x, y, (x + y) % 2 ? qRgb(0, 0, 0) : qRgb(255, 255, 255));
  TBitmap bitmap;
  bitmap.SetImage(image);
  const struct {
    int max_side, width, height;
  } cases[] = {{0, 300, 120}, {300, 300, 120}, {1024, 300, 120}, {100, 100, 40}, {16, 16, 6}};
  for (const auto& c : cases) {
    const std::unique_ptr<TBitmap> out = PictureOnWhite(bitmap, c.max_side, "checks.bmp");
    EXPECT_EQ(out->Width(), c.width) << c.max_side;
    EXPECT_EQ(out->Height(), c.height) << c.max_side;
    EXPECT_EQ(out->Image().format(), QImage::Format_RGB32);
    if (c.width < 300) {
      // A fine checkerboard averages to grey when filtered, not to a
      // pattern of black and white as dropping pixels would give.
      const int grey = qRed(out->Image().pixel(c.width / 2, c.height / 2));
      EXPECT_NEAR(grey, 128, 24) << c.max_side;
    }
  }
}

// The record of every picture in the shared corpus: detected kind, our
// result, and convert's decode of the same file compared with ours.
TEST(PictureCorpusTable, EveryPictureDetectedAsItsKind) {
  const std::string root = PAGEMINT_CORPUS_DIR;
  if (!std::filesystem::exists(root + "/MANIFEST.tsv")) GTEST_SKIP() << "no corpus at " << root;
  const bool oracle = test::HaveConvert();
  test::TempDir dir;
  const std::map<std::string, std::string> kinds = {
      {"bmp", "bitmap"}, {"jpeg", "JPEG"}, {"emf", "metafile"}, {"ico", "icon"}};
  std::printf("[pictures] %-50s %-8s %-28s %s\n", "file", "kind", "ours", "convert");
  for (const corpus::Row& row : corpus::Rows({"bmp", "jpeg", "emf", "ico"})) {
    const std::string file = root + "/" + row["path"];
    TPictureKind kind = TPictureKind::Unknown;
    std::string ours, theirs = "-";
    QImage pixels;
    try {
      const std::unique_ptr<TGraphic> picture = LoadPictureFile(file, &kind);
      const std::unique_ptr<TBitmap> bitmap = PictureOnWhite(*picture, 0, file);
      pixels = bitmap->Image();
      ours = std::to_string(bitmap->Width()) + "x" + std::to_string(bitmap->Height());
    } catch (const EInvalidGraphic& e) {
      ours = "error";
      EXPECT_NE(std::string(e.what()).find(file), std::string::npos) << e.what();
      EXPECT_NE(row["expect"], "ok") << file << ": " << e.what();
    }
    EXPECT_EQ(PictureKindName(kind), kinds.at(row["kind"])) << file;
    if (oracle && row["kind"] != "emf" && !pixels.isNull()) {
      const std::string ref = dir / "r.ppm";
      const std::string frame = row["kind"] == "ico" ? "" : "[0]";
      if (test::Convert("'" + file + frame + "' -background white -flatten -depth 8 'ppm:" + ref +
                        "'")) {
        const QImage image = test::ReadPpm(ref);
        char text[96];
        if (image.size() == pixels.size()) {
          const test::Difference d = test::Compare(pixels, image);
          std::snprintf(text, sizeof text, "%dx%d max %d mean %.3f", image.width(), image.height(),
                        d.max, d.mean);
        } else {
          std::snprintf(text, sizeof text, "%dx%d (another frame)", image.width(), image.height());
        }
        theirs = text;
      } else {
        theirs = "cannot decode it";
      }
    }
    std::printf("[pictures] %-50s %-8s %-28s %s\n", row["path"].c_str(), PictureKindName(kind),
                ours.c_str(), theirs.c_str());
  }
}

}  // namespace
}  // namespace pagemint
