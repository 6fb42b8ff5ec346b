#include "pdf/document/thumbnail.h"

#include <gtest/gtest.h>
#include <zlib.h>

#include <QPainter>

#include "pdf/document/pdf_document.h"
#include "pdf/reader/pdf_test_builder.h"
#include "picture/graphic.h"

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

std::string Inflate(const std::string& data, size_t expected) {
  std::string out(expected + 16, '\0');
  uLongf n = static_cast<uLongf>(out.size());
  EXPECT_EQ(uncompress(reinterpret_cast<Bytef*>(out.data()), &n,
                       reinterpret_cast<const Bytef*>(data.data()), static_cast<uLong>(data.size())),
            Z_OK);
  out.resize(n);
  return out;
}

TgtPDFStreamObject& ThumbOf(TgtPDFDocument& doc, int page) {
  const auto* ref = doc.State().pages[static_cast<size_t>(page - 1)]->Content()->AsDictionary().Lookup("/Thumb");
  EXPECT_NE(ref, nullptr);
  return doc.State().store->Find(ref->AsReference())->Content()->AsStream();
}

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
  const char* keys[] = {"/Type", "/Subtype", "/Width", "/Height", "/BitsPerComponent",
                        "/ColorSpace", "/Filter", "/Length"};
  ASSERT_EQ(d.Count(), 8);
  for (int i = 0; i < 8; ++i) EXPECT_EQ(d.KeyAt(i)->Text(), keys[i]);
  EXPECT_EQ(d.Lookup("/Width")->AsInteger().Value(), 3);
  EXPECT_EQ(d.Lookup("/Height")->AsInteger().Value(), 2);
  ASSERT_TRUE(d.Lookup("/Length")->IsInt64());
  EXPECT_EQ(d.Lookup("/Length")->AsInt64().Value(), image.Data()->Size());
  const std::string samples = Inflate(image.Data()->Bytes(), 18);
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
  const auto& first = doc.State().pages[0]->Content()->AsDictionary();
  const auto& third = doc.State().pages[2]->Content()->AsDictionary();
  EXPECT_EQ(first.IndexOfKey("/Thumb"), 1);  // where the source had it
  EXPECT_EQ(third.IndexOfKey("/Thumb"), third.Count() - 1);
  const std::string samples = Inflate(ThumbOf(doc, 1).Data()->Bytes(), 3);
  EXPECT_EQ(samples, "\xFF\xFF\xFF");
  // Two attachments of one picture are two objects with two numbers.
  EXPECT_NE(first.Lookup("/Thumb")->AsReference().Number(), third.Lookup("/Thumb")->AsReference().Number());
}

TEST(Thumbnail, FailuresLeaveThePageAndTheStoreUnchanged) {
  TgtPDFDocument doc;
  ASSERT_TRUE(doc.LoadFromBytes(ThreePages()));
  TBitmap white;
  white.SetSize(1, 1);
  const int32_t stored = doc.State().store->Count();
  struct Case {
    int page;
    const char* message;
  } pages[] = {{0, "Invalid page number (0)"}, {-1, "Invalid page number (-1)"}, {4, "Invalid page number (4)"}};
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
  EXPECT_EQ(doc.State().store->Count(), stored);
  EXPECT_EQ(doc.State().pages[1]->Content()->AsDictionary().Lookup("/Thumb"), nullptr);
  EXPECT_EQ(doc.State().pages[0]->Content()->AsDictionary().Lookup("/Thumb")->AsReference().Number(), 6);
}

TEST(Thumbnail, DrawnPicturesKeepUnpaintedPartsWhite) {
  TgtPDFDocument doc;
  ASSERT_TRUE(doc.LoadFromBytes(ThreePages()));
  Painted icon;
  doc.SetThumbnail(1, icon);
  const std::string samples = Inflate(ThumbOf(doc, 1).Data()->Bytes(), 18);
  const std::string row = std::string("\xFF\xFF\xFF\x0A\x14\x1E\xFF\xFF\xFF", 9);
  EXPECT_EQ(samples, row + row);
}

TEST(Thumbnail, NoDocumentMeansNoPages) {
  TgtPDFDocument doc;
  TBitmap white;
  white.SetSize(1, 1);
  EXPECT_THROW(doc.SetThumbnail(1, white), EInvalidPageError);
}

}  // namespace
}  // namespace pagemint
