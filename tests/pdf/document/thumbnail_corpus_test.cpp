// SPDX-License-Identifier: GPL-3.0-or-later
// Every picture of the shared corpus attached as a page thumbnail, the way
// the window and the command-line tool attach it: loaded from its file,
// then SetThumbnail. Rows marked ok attach at their own size with samples
// equal to the picture's pixels; rows marked reject fail with a message
// naming the file and leave the page and the object store as they were;
// rows marked either may do both, but a failure must be as clean. One line
// per file and a tally are printed as a record.
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
#include "pdf/document/document_internals.h"
#include "pdf/document/pdf_document.h"
#include "pdf/reader/pdf_test_builder.h"
#include "pdf/streams/filters.h"
#include "picture/graphic.h"
#include "picture/icon.h"
#include "picture/jpeg_image.h"
#include "picture/metafile.h"

// Metafile text loads fonts, and fontconfig keeps a few allocations for the
// life of the process.
extern "C" const char* __lsan_default_suppressions() { return "leak:libfontconfig.so\n"; }

namespace pagemint {
namespace {

struct Row {
  std::string path, kind, expect;
  int width = 0, height = 0;  // 0 when the manifest gives none
};

std::vector<Row> PictureRows() {
  std::vector<Row> rows;
  for (const corpus::Row& r : corpus::Rows({"bmp", "jpeg", "emf", "ico"}))
    rows.push_back({r["path"], r["kind"], r["expect"], r.Number("width"), r.Number("height")});
  return rows;
}

std::unique_ptr<TGraphic> NewPicture(const std::string& kind) {
  if (kind == "bmp") return std::make_unique<TBitmap>();
  if (kind == "jpeg") return std::make_unique<TJPEGImage>();
  if (kind == "emf") return std::make_unique<TMetafile>();
  return std::make_unique<TIcon>();
}

std::string TwoPages() {
  testing::PdfBuilder b;
  b.Add(1, "<< /Type /Catalog /Pages 2 0 R >>");
  b.Add(2, "<< /Type /Pages /Kids [3 0 R 4 0 R] /Count 2 >>");
  b.Add(3, "<< /Type /Page /Parent 2 0 R /MediaBox [0 0 612 792] >>");
  b.Add(4, "<< /Type /Page /Parent 2 0 R /MediaBox [0 0 612 792] >>");
  return b.Build();
}

// The pixels a thumbnail of a bitmap or JPEG must hold, as packed RGB;
// empty for the kinds drawn by a player (metafiles, icons), whose drawing
// the picture tests check.
std::string ExpectedSamples(const TGraphic& picture) {
  QImage image;
  if (const auto* b = dynamic_cast<const TBitmap*>(&picture)) image = b->Image();
  if (const auto* j = dynamic_cast<const TJPEGImage*>(&picture)) image = j->Image();
  if (image.isNull()) return {};
  image = image.convertToFormat(QImage::Format_RGB888);
  std::string out;
  for (int y = 0; y < image.height(); ++y)
    out.append(reinterpret_cast<const char*>(image.constScanLine(y)),
               static_cast<size_t>(image.width()) * 3);
  return out;
}

// Thumbnails up to this many pixels are inflated and compared; the few
// corpus metafiles of a hundred million pixels and more are checked for
// size only.
constexpr int64_t kCompareUpTo = int64_t{1} << 24;

TEST(ThumbnailCorpus, EveryPictureAttachesOrFailsClearly) {
  const std::string root = PAGEMINT_CORPUS_DIR;
  if (!std::filesystem::exists(root + "/MANIFEST.tsv")) GTEST_SKIP() << "no corpus at " << root;
  std::map<std::string, int> tally;
  for (const Row& row : PictureRows()) {
    SCOPED_TRACE(row.path);
    const std::string file = root + "/" + row.path;
    TgtPDFDocument doc;
    ASSERT_TRUE(doc.LoadFromBytes(TwoPages()));
    const TgtPDFDictObject& page = TgtDocumentInternals::State(doc).pages[0]->Content()->AsDictionary();
    const int32_t stored = TgtDocumentInternals::State(doc).store->Count();
    const int keys = page.Count();
    auto picture = NewPicture(row.kind);
    std::string error;
    try {
      picture->LoadFromFile(file);
      doc.SetThumbnail(1, *picture);
    } catch (const Exception& e) {
      error = e.what();
    }
    if (!error.empty()) {
      EXPECT_NE(row.expect, "ok") << error;
      EXPECT_NE(error.find(file), std::string::npos) << error;
      EXPECT_EQ(page.Lookup("/Thumb"), nullptr);
      EXPECT_EQ(page.Count(), keys);
      EXPECT_EQ(TgtDocumentInternals::State(doc).store->Count(), stored);
      std::printf("[thumb corpus] %-55s %-6s error: %s\n", row.path.c_str(), row.expect.c_str(),
                  error.c_str());
      ++tally[row.kind + " " + row.expect + " -> error"];
      continue;
    }
    EXPECT_NE(row.expect, "reject");
    EXPECT_EQ(TgtDocumentInternals::State(doc).store->Count(), stored + 1);
    const TgtPDFObject* ref = page.Lookup("/Thumb");
    ASSERT_NE(ref, nullptr);
    const TgtPDFStreamObject& image =
        TgtDocumentInternals::State(doc).store->Find(ref->AsReference())->Content()->AsStream();
    const int width = image.Dictionary().Lookup("/Width")->AsInteger().Value();
    const int height = image.Dictionary().Lookup("/Height")->AsInteger().Value();
    EXPECT_EQ(width, picture->Width());
    EXPECT_EQ(height, picture->Height());
    // The manifest's sizes are another program's reading; for a metafile
    // that reading is not the frame at 96 pixels per inch that ours is
    // (pinned by the metafile tests), so only the other kinds compare.
    if (row.expect == "ok" && row.width > 0 && row.kind != "emf") {
      EXPECT_EQ(width, row.width);
      EXPECT_EQ(height, row.height);
    }
    EXPECT_EQ(image.Dictionary().Lookup("/Length")->AsInt64().Value(), image.Data()->Size());
    std::string checked = "size only";
    if (int64_t{width} * height <= kCompareUpTo) {
      // Read back from whichever exact form the picture was stored in.
      const std::string samples = doc.Thumbnail(1, true).rgb;
      EXPECT_EQ(samples.size(), static_cast<size_t>(width) * height * 3);
      const std::string expected = ExpectedSamples(*picture);
      checked = "sample count";
      if (!expected.empty()) {
        EXPECT_TRUE(samples == expected) << "samples differ from the picture's pixels";
        checked = "samples exact";
      }
    }
    std::printf("[thumb corpus] %-55s %-6s attached %dx%d, %s\n", row.path.c_str(),
                row.expect.c_str(), width, height, checked.c_str());
    ++tally[row.kind + " " + row.expect + " -> attached"];
  }
  for (const auto& [what, count] : tally)
    std::printf("[thumb corpus] %s: %d\n", what.c_str(), count);
}

}  // namespace
}  // namespace pagemint
