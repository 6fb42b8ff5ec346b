// SPDX-License-Identifier: GPL-3.0-or-later
// Every bitmap, JPEG and icon of the shared corpus through our loaders:
// files marked ok load at the listed size and decode like convert; files
// marked reject fail with a message naming the file; files marked either
// may do both. One line per file is printed as a record.
#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <map>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

#include "corpus_manifest.h"
#include "picture/graphic.h"
#include "picture/icon.h"
#include "picture/jpeg_image.h"
#include "picture_test_util.h"

namespace pagemint {
namespace {

struct Row {
  std::string path, kind, expect;
  int width = 0, height = 0;
};

std::vector<Row> PictureRows() {
  std::vector<Row> rows;
  for (const corpus::Row& r : corpus::Rows({"bmp", "jpeg", "ico"}))
    rows.push_back({r["path"], r["kind"], r["expect"], r.Number("width"), r.Number("height")});
  return rows;
}

std::unique_ptr<TGraphic> Picture(const std::string& kind) {
  if (kind == "bmp") return std::make_unique<TBitmap>();
  if (kind == "jpeg") return std::make_unique<TJPEGImage>();
  return std::make_unique<TIcon>();
}

QImage Pixels(const TGraphic& g) {
  if (auto* b = dynamic_cast<const TBitmap*>(&g)) return b->Image();
  if (auto* j = dynamic_cast<const TJPEGImage*>(&g)) return j->Image();
  TBitmap canvas;
  canvas.SetSize(g.Width(), g.Height());
  g.Draw(canvas, 0, 0);
  return canvas.Image();
}

// True for a bitmap with an alpha mask (a header of 56 bytes or more with
// bit-field compression and a nonzero mask at 52), which we draw over
// white. Without one, convert may still take a 32-bit pixel's unused
// fourth byte for alpha, so only these are flattened for comparison.
bool BitmapHasAlphaMask(const std::string& file) {
  const std::string b = test::ReadFile(file);
  const size_t info = b.compare(0, 2, "BM") == 0 ? 14 : 0;
  auto u32 = [&](size_t at) {
    return at + 4 > b.size() ? 0u
                             : static_cast<uint32_t>(static_cast<uint8_t>(b[at])) |
                                   static_cast<uint32_t>(static_cast<uint8_t>(b[at + 1])) << 8 |
                                   static_cast<uint32_t>(static_cast<uint8_t>(b[at + 2])) << 16 |
                                   static_cast<uint32_t>(static_cast<uint8_t>(b[at + 3])) << 24;
  };
  const uint32_t compression = u32(info + 16);
  return u32(info) >= 56 && (compression == 3 || compression == 6) && u32(info + 52) != 0;
}

// convert's decode; for an icon, the first image of the same size as ours,
// flattened onto white as the thumbnail draws it; for a bitmap with an
// alpha mask, flattened onto white too.
QImage Oracle(const std::string& file, const std::string& kind, QSize size,
              const test::TempDir& dir) {
  if (kind == "bmp" && BitmapHasAlphaMask(file)) {
    if (!test::Convert("'" + file + "' -background white -flatten -depth 8 'ppm:" +
                       (dir / "c.ppm") + "'"))
      return {};
    return test::ReadPpm(dir / "c.ppm");
  }
  if (kind != "ico") return test::ConvertToRgb(file, dir / "c.ppm");
  for (int i = 0; i < 8; ++i) {
    const std::string frame = file + "[" + std::to_string(i) + "]";
    if (!test::Convert("'" + frame +
                       "' -background white -flatten -depth 8 'ppm:" + (dir / "c.ppm") + "'"))
      return {};
    const QImage image = test::ReadPpm(dir / "c.ppm");
    if (image.size() == size) return image;
  }
  return {};
}

// Largest difference to convert's decode that still counts as the same
// picture: bit-field scaling and JPEG upsampling may round differently.
constexpr int kMaxDifference = 2;

TEST(PictureCorpus, EveryPictureLoadsOrFailsClearly) {
  const std::string root = PAGEMINT_CORPUS_DIR;
  if (!std::filesystem::exists(root + "/MANIFEST.tsv")) GTEST_SKIP() << "no corpus at " << root;
  const bool oracle = test::HaveConvert();
  test::TempDir dir;
  std::map<std::string, int> tally;
  for (const Row& row : PictureRows()) {
    SCOPED_TRACE(row.path);
    const std::string file = root + "/" + row.path;
    auto picture = Picture(row.kind);
    std::string outcome;
    try {
      picture->LoadFromFile(file);
      outcome =
          "loaded " + std::to_string(picture->Width()) + "x" + std::to_string(picture->Height());
    } catch (const EInvalidGraphic& e) {
      const std::string m = e.what();
      EXPECT_NE(m.find(file), std::string::npos) << m;
      EXPECT_NE(row.expect, "ok") << m;
      std::printf("[corpus] %-55s %-6s error: %s\n", row.path.c_str(), row.expect.c_str(),
                  m.substr(m.find(": ") + 2).c_str());
      ++tally[row.kind + " " + row.expect + " -> error"];
      continue;
    }
    EXPECT_NE(row.expect, "reject") << outcome;
    if (row.expect == "ok") {
      EXPECT_EQ(picture->Width(), row.width);
      EXPECT_EQ(picture->Height(), row.height);
    }
    const QImage ours = Pixels(*picture);
    if (oracle && !ours.isNull()) {
      const QImage theirs = Oracle(file, row.kind, ours.size(), dir);
      if (theirs.isNull()) {
        outcome += ", convert cannot decode it";
      } else {
        const test::Difference d = test::Compare(ours, theirs);
        char text[80];
        std::snprintf(text, sizeof text, ", against convert max %d mean %.4f", d.max, d.mean);
        outcome += text;
        if (row.expect == "ok") {
          EXPECT_LE(d.max, kMaxDifference);
        }
      }
    }
    std::printf("[corpus] %-55s %-6s %s\n", row.path.c_str(), row.expect.c_str(), outcome.c_str());
    ++tally[row.kind + " " + row.expect + " -> loaded"];
  }
  for (const auto& [what, count] : tally) std::printf("[corpus] %s: %d\n", what.c_str(), count);
}

}  // namespace
}  // namespace pagemint
