// SPDX-License-Identifier: GPL-3.0-or-later
// The thumbnail life cycle on the component: pages rendered into
// thumbnails that agree with pdftoppm and that Poppler reads back from the
// written file, the same result whatever the number of workers, cancelling,
// bad arguments, encrypted and in-memory sources; removal and replacement
// writing no image that nothing uses; thumbnails read back in the forms
// producers write them; and pictures attached from files.
#include <gtest/gtest.h>
#include <poppler-qt6.h>

#include <QImage>
#include <algorithm>
#include <cstdlib>
#include <filesystem>

#include "pdf/document/document_internals.h"
#include "pdf/document/pdf_document.h"
#include "pdf/document/thumbnail.h"
#include "pdf/objects/pdf_exceptions.h"
#include "pdf/reader/pdf_test_builder.h"
#include "picture/graphic.h"
#include "render/page_renderer.h"

namespace pagemint {
namespace {

using testing::PdfBuilder;
using testing::QpdfCheckProblems;
using testing::RunCommand;
using testing::ShellQuote;
using testing::TempDir;

// Three pages: a landscape one with text and shapes, a portrait one turned
// by /Rotate 90, and one whose crop box shows a part of it.
std::string Pages() {
  PdfBuilder b;
  b.Add(1, "<< /Type /Catalog /Pages 2 0 R >>");
  b.Add(2,
        "<< /Type /Pages /Kids [5 0 R 6 0 R 7 0 R] /Count 3 /Resources << /Font << /F1 4 0 R "
        ">> >> >>");
  b.AddStream(3, "",
              "0.2 0.4 0.8 rg 20 20 200 120 re f 1 0 0 RG 4 w 10 10 m 400 250 l S "
              "BT /F1 36 Tf 40 160 Td (Thumbnails) Tj ET");
  b.Add(4, "<< /Type /Font /Subtype /Type1 /BaseFont /Helvetica >>");
  b.Add(5, "<< /Type /Page /Parent 2 0 R /MediaBox [0 0 420 280] /Contents 3 0 R >>");
  b.Add(6, "<< /Type /Page /Parent 2 0 R /MediaBox [0 0 300 400] /Rotate 90 /Contents 3 0 R >>");
  b.Add(7,
        "<< /Type /Page /Parent 2 0 R /MediaBox [0 0 420 280] /CropBox [0 0 250 200] "
        "/Contents 3 0 R >>");
  return b.Build();
}

QImage Rgb(const TgtThumbnailImage& thumb) {
  return QImage(reinterpret_cast<const uchar*>(thumb.rgb.data()), thumb.width, thumb.height,
                thumb.width * 3, QImage::Format_RGB888)
      .copy();
}

// Mean absolute difference per sample over the area both images cover.
double MeanDifference(const QImage& a, const QImage& b) {
  const QImage x = a.convertToFormat(QImage::Format_RGB888);
  const QImage y = b.convertToFormat(QImage::Format_RGB888);
  const int w = std::min(x.width(), y.width());
  const int h = std::min(x.height(), y.height());
  double total = 0;
  for (int row = 0; row < h; ++row)
    for (int i = 0; i < w * 3; ++i)
      total += std::abs(int(x.constScanLine(row)[i]) - int(y.constScanLine(row)[i]));
  return total / (double(w) * h * 3);
}

TEST(RenderThumbnails, AgreeWithPdftoppmAndPopplerReadsThemBack) {
  TempDir dir;
  const std::string source = dir.Write("in.pdf", Pages());
  TgtPDFDocument doc;
  ASSERT_TRUE(doc.LoadFromFile(source));
  EXPECT_EQ(doc.RenderThumbnails({}, 128, 2), 3);
  const std::string out = dir.File("out.pdf");
  doc.SaveToFile(out);
  EXPECT_EQ(QpdfCheckProblems(out), "");

  const std::unique_ptr<Poppler::Document> written =
      Poppler::Document::load(QString::fromStdString(out));
  ASSERT_TRUE(written);
  for (int page = 1; page <= 3; ++page) {
    SCOPED_TRACE(page);
    const TgtThumbnailImage ours = doc.Thumbnail(page, true);
    ASSERT_FALSE(ours.Empty());
    EXPECT_EQ(std::max(ours.width, ours.height), 128);
    // Poppler decodes the written image to exactly our samples.
    const QImage read = written->page(page - 1)->thumbnail();
    ASSERT_EQ(read.size(), QSize(ours.width, ours.height));
    EXPECT_EQ(MeanDifference(read, Rgb(ours)), 0.0);
    // pdftoppm draws the same page alike (crop box, rotation).
    const std::string prefix = dir.File("ref" + std::to_string(page));
    RunCommand("pdftoppm -scale-to 128 -png -cropbox -singlefile -f " + std::to_string(page) +
               " -l " + std::to_string(page) + " " + ShellQuote(source) + " " + ShellQuote(prefix));
    const QImage reference(QString::fromStdString(prefix + ".png"));
    ASSERT_FALSE(reference.isNull());
    EXPECT_LE(std::abs(reference.width() - ours.width), 1);
    EXPECT_LE(std::abs(reference.height() - ours.height), 1);
    EXPECT_LE(MeanDifference(reference, Rgb(ours)), 4.0);
  }
}

TEST(RenderThumbnails, SameResultWhateverTheWorkersAndTheOrderAsked) {
  std::vector<std::string> samples[2];
  std::vector<int32_t> numbers[2];
  const std::vector<int32_t> asked[2] = {{}, {3, 1, 2, 3}};
  for (int run = 0; run < 2; ++run) {
    TgtPDFDocument doc;
    ASSERT_TRUE(doc.LoadFromBytes(Pages()));
    EXPECT_EQ(doc.RenderThumbnails(asked[run], 40, run == 0 ? 1 : 3), 3);
    for (int page = 1; page <= 3; ++page) {
      samples[run].push_back(doc.Thumbnail(page, true).rgb);
      numbers[run].push_back(TgtDocumentInternals::State(doc)
                                 .pages[static_cast<size_t>(page - 1)]
                                 ->Content()
                                 ->AsDictionary()
                                 .Lookup("/Thumb")
                                 ->AsReference()
                                 .Number());
    }
  }
  EXPECT_EQ(samples[0], samples[1]);
  EXPECT_EQ(numbers[0], numbers[1]);
  EXPECT_TRUE(std::is_sorted(numbers[0].begin(), numbers[0].end()));
}

TEST(RenderThumbnails, CancellingOrBadArgumentsLeaveEveryPageAsItWas) {
  TgtPDFDocument doc;
  ASSERT_TRUE(doc.LoadFromBytes(Pages()));
  const int32_t stored = TgtDocumentInternals::State(doc).store->Count();
  int events = 0;
  doc.OnWorkProgress = [&](TgtCustomPDFDocument&, TgtWorkStep step, double fraction, bool& cancel) {
    EXPECT_EQ(step, TgtWorkStep::Render);
    EXPECT_GE(fraction, 0.0);
    EXPECT_LE(fraction, 1.0);
    cancel = ++events == 1;
  };
  EXPECT_THROW(doc.RenderThumbnails({}, 128, 2), EOperationCancelled);
  doc.OnWorkProgress = nullptr;
  EXPECT_THROW(doc.RenderThumbnails({}, 15), EThumbnailError);
  EXPECT_THROW(doc.RenderThumbnails({}, 1025), EThumbnailError);
  EXPECT_THROW(doc.RenderThumbnails({1, 4}), EInvalidPageError);
  EXPECT_THROW(doc.RenderThumbnails({0}), EInvalidPageError);
  EXPECT_EQ(TgtDocumentInternals::State(doc).store->Count(), stored);
  for (int page = 1; page <= 3; ++page) EXPECT_TRUE(doc.Thumbnail(page).Empty());
  // No document: no pages to render.
  TgtPDFDocument empty;
  EXPECT_EQ(empty.RenderThumbnails({}), 0);
}

TEST(RenderThumbnails, EncryptedSourcesRenderWithThePasswordThatOpenedThem) {
  TempDir dir;
  const std::string plain = dir.Write("plain.pdf", Pages());
  const std::string locked = dir.File("locked.pdf");
  int status = 0;
  RunCommand("qpdf --allow-weak-crypto --encrypt user owner 128 --use-aes=n -- " +
                 ShellQuote(plain) + " " + ShellQuote(locked),
             &status);
  ASSERT_EQ(status, 0);
  TgtPDFDocument doc;
  doc.OnPassword = [](TgtCustomPDFDocument&, std::string& password, bool&, int32_t) {
    password = "user";
  };
  ASSERT_TRUE(doc.LoadFromFile(locked));
  EXPECT_EQ(doc.RenderThumbnails({2}, 64), 1);
  EXPECT_EQ(doc.Thumbnail(2).width, 64);  // turned: landscape
  // The same bytes from memory, with the password.
  TgtPDFDocument from_bytes;
  from_bytes.OnPassword = doc.OnPassword;
  ASSERT_TRUE(from_bytes.LoadFromBytes(testing::ReadFile(locked)));
  EXPECT_EQ(from_bytes.RenderThumbnails({2}, 64), 1);
  EXPECT_EQ(from_bytes.Thumbnail(2, true).rgb, doc.Thumbnail(2, true).rgb);
}

// A source the renderer cannot read as this engine read it (gone, or now
// another document) is rendered as this engine writes the document: the
// thumbnails are those of the document's own pages.
TEST(RenderThumbnails, SourceTheRendererCannotReadAsLoaded) {
  TempDir dir;
  const std::string file = dir.Write("in.pdf", Pages());
  TgtPDFDocument reference;
  ASSERT_TRUE(reference.LoadFromFile(file));
  ASSERT_EQ(reference.RenderThumbnails({}, 32), 3);
  for (const std::string& replacement : {std::string("gone"), testing::SimpleDocument(3).Build()}) {
    dir.Write("in.pdf", Pages());
    TgtPDFDocument doc;
    ASSERT_TRUE(doc.LoadFromFile(file));
    // Replaced after loading by a new file of that name, as a program that
    // saves safely replaces it; the document keeps reading the file it
    // opened, the renderer finds another one.
    std::filesystem::rename(dir.Write("new.pdf", replacement), file);
    EXPECT_EQ(doc.RenderThumbnails({}, 32), 3);
    for (int page = 1; page <= 3; ++page)
      EXPECT_LE(MeanDifference(Rgb(doc.Thumbnail(page, true)), Rgb(reference.Thumbnail(page, true))),
                1.0)
          << page;
  }
}

// A page tree with page dictionaries written in place of references, which
// the renderer refuses: the pages are rendered from the written document.
TEST(RenderThumbnails, PagesTheRendererRefusesAreRenderedAsWritten) {
  PdfBuilder b;
  b.Add(1, "<< /Type /Catalog /Pages 2 0 R >>");
  b.Add(2, "<< /Type /Pages /Count 2 /MediaBox [0 0 100 50] /Kids [<< /Type /Page /Parent 2 0 R "
           "/Contents 3 0 R >> << /Type /Page /Parent 2 0 R >>] >>");
  b.AddStream(3, "", "1 0 0 rg 0 0 50 50 re f");
  TgtPDFDocument doc;
  ASSERT_TRUE(doc.LoadFromBytes(b.Build()));
  ASSERT_EQ(doc.PageCount(), 2);
  std::vector<std::string> warnings;
  doc.OnWarning = [&](TgtCustomPDFDocument&, const std::string& w) { warnings.push_back(w); };
  EXPECT_EQ(doc.RenderThumbnails({}, 20), 2);
  EXPECT_TRUE(warnings.empty()) << warnings[0];
  const TgtThumbnailImage first = doc.Thumbnail(1, true);
  ASSERT_EQ(first.width, 20);
  EXPECT_EQ(first.rgb.substr(0, 3), std::string("\xFF\x00\x00", 3));  // red left half
}

// Pages whose content the renderer reads past damage in are still drawn;
// one warning names them all, as ranges, the first twenty only.
TEST(RenderThumbnails, PagesDrawnDespiteDamageAreNamedInOneWarning) {
  const struct {
    int pages;
    std::vector<int> damaged;
    const char* named;
  } cases[] = {
      {6, {2, 3, 5}, "pages 2-3, 5 ("},
      {44, {1, 3, 5, 7, 9, 11, 13, 15, 17, 19, 21, 23, 25, 27, 29, 31, 33, 35, 37, 39, 41, 43},
       "pages 1, 3, 5, 7, 9, 11, 13, 15, 17, 19, 21, 23, 25, 27, 29, 31, 33, 35, 37, 39, ... ("},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.pages);
    PdfBuilder b;
    b.Add(1, "<< /Type /Catalog /Pages 2 0 R >>");
    b.AddStream(3, "", "0 0 1 rg 0 0 50 50 re f");
    b.AddStream(4, "/Filter /FlateDecode", "not deflated at all");
    std::string kids;
    for (int page = 1; page <= c.pages; ++page) {
      const bool damaged = std::count(c.damaged.begin(), c.damaged.end(), page) > 0;
      b.Add(4 + page, "<< /Type /Page /Parent 2 0 R /Contents " + std::string(damaged ? "4" : "3") +
                          " 0 R >>");
      kids += std::to_string(4 + page) + " 0 R ";
    }
    b.Add(2, "<< /Type /Pages /Count " + std::to_string(c.pages) + " /MediaBox [0 0 50 50] /Kids [" +
                 kids + "] >>");
    TgtPDFDocument doc;
    ASSERT_TRUE(doc.LoadFromBytes(b.Build()));
    std::vector<std::string> warnings;
    doc.OnWarning = [&](TgtCustomPDFDocument&, const std::string& w) { warnings.push_back(w); };
    EXPECT_EQ(doc.RenderThumbnails({}, 16, 2), c.pages);
    ASSERT_EQ(warnings.size(), 1u);
    EXPECT_NE(warnings[0].find(c.named), std::string::npos) << warnings[0];
  }
}

// A document of 300 pages and about 9,000 objects, drawn a part at a time
// from copies of its pages: each page still gets its own picture (a grey
// of its own on the left, and on the right a form from the resources and
// the media box the page inherits from the page tree), and no warning of
// damage comes of each page linking to the next (the last to the first),
// which a part holds or not. A copy of one page holds that page's objects
// only, its link to a page it lacks written as one to itself, and the
// catalog's optional-content settings.
TEST(RenderThumbnails, LargeDocumentDrawnInPartsGivesEachPageItsOwn) {
  constexpr int kPages = 300;
  constexpr int kPadding = 28;  // objects each page reaches, for the count
  PdfBuilder b;
  b.Add(1, "<< /Type /Catalog /Pages 2 0 R /OCProperties << /OCGs [] /D << /Order [] >> >> >>");
  b.AddStream(3, "/Type /XObject /Subtype /Form /BBox [0 0 64 64]", "0 g 32 0 32 64 re f");
  std::string kids;
  int next = 4;
  for (int page = 1; page <= kPages; ++page) {
    const int number = next;
    const int first_pad = number + 2;
    std::string pads;
    for (int k = 0; k < kPadding; ++k) {
      b.Add(first_pad + k, std::to_string(page * 100 + k));
      pads += std::to_string(first_pad + k) + " 0 R ";
    }
    const int following = number + 2 + kPadding;
    const std::string grey = std::to_string((page * 37 % 200 + 40) / 255.0);
    b.AddStream(number + 1, "", grey + " g 0 0 32 64 re f /Fm0 Do");
    b.Add(number, "<< /Type /Page /Parent 2 0 R /Contents " + std::to_string(number + 1) +
                      " 0 R /Annots [<< /Type /Annot /Subtype /Link /Rect [0 0 8 8] /Dest [" +
                      std::to_string(page < kPages ? following : 4) + " 0 R" +
                      " /Fit] >>] /PieceInfo << /Pagemint << /Private [" + pads + "] >> >> >>");
    kids += std::to_string(number) + " 0 R ";
    next = following;
  }
  b.Add(2, "<< /Type /Pages /Count " + std::to_string(kPages) +
               " /MediaBox [0 0 64 64] /Resources << /XObject << /Fm0 3 0 R >> >> /Kids [" + kids +
               "] >>");
  TgtPDFDocument doc;
  ASSERT_TRUE(doc.LoadFromBytes(b.Build()));
  ASSERT_GE(TgtDocumentInternals::State(doc).store->Count(), 8192);

  TMemoryStream copy;
  doc.SavePagesForRenderer({2}, copy);
  TgtPDFDocument part;
  ASSERT_TRUE(part.LoadFromBytes(std::string(static_cast<const char*>(copy.Memory()),
                                             static_cast<size_t>(copy.Size()))));
  EXPECT_EQ(part.PageCount(), 1);
  EXPECT_LT(TgtDocumentInternals::State(part).store->Count(), 2 * kPadding);
  const TgtPDFIndirectObject& kept = *TgtDocumentInternals::State(part).pages[0];
  const TgtPDFObject* link = kept.Content()->AsDictionary().Lookup("/Annots")->AsArray().ItemAt(0);
  EXPECT_EQ(link->AsDictionary().Lookup("/Dest")->AsArray().ItemAt(0)->AsReference().Number(),
            kept.Number());
  EXPECT_NE(std::string(static_cast<const char*>(copy.Memory()), static_cast<size_t>(copy.Size()))
                .find("/OCProperties"),
            std::string::npos);

  std::vector<std::string> warnings;
  doc.OnWarning = [&](TgtCustomPDFDocument&, const std::string& w) { warnings.push_back(w); };
  EXPECT_EQ(doc.RenderThumbnails({}, 16, 2), kPages);
  EXPECT_TRUE(warnings.empty()) << warnings[0];
  for (int page = 1; page <= kPages; ++page) {
    SCOPED_TRACE(page);
    const TgtThumbnailImage thumb = doc.Thumbnail(page, true);
    ASSERT_EQ(thumb.width, 16);
    ASSERT_EQ(thumb.height, 16);
    const auto at = [&](int x) { return static_cast<uint8_t>(thumb.rgb[(8 * 16 + x) * 3]); };
    EXPECT_NEAR(at(3), page * 37 % 200 + 40, 3);
    EXPECT_LE(at(12), 3);
  }
}

// Pages 1 and 2 share one source thumbnail; page 3 has an indexed one
// whose palette is an object of its own.
std::string WithThumbs() {
  PdfBuilder b;
  b.Add(1, "<< /Type /Catalog /Pages 2 0 R >>");
  b.Add(2, "<< /Type /Pages /Kids [3 0 R 4 0 R 5 0 R] /Count 3 /MediaBox [0 0 200 100] >>");
  b.Add(3, "<< /Type /Page /Parent 2 0 R /Thumb 6 0 R >>");
  b.Add(4, "<< /Type /Page /Parent 2 0 R /Thumb 6 0 R >>");
  b.Add(5, "<< /Type /Page /Parent 2 0 R /Thumb 7 0 R >>");
  b.AddStream(6, "/Width 2 /Height 1 /ColorSpace /DeviceGray /BitsPerComponent 8",
              std::string("\x00\xFF", 2));
  b.AddStream(7, "/Width 3 /Height 1 /ColorSpace [/Indexed /DeviceRGB 1 8 0 R] /BitsPerComponent 1",
              std::string("\x40", 1));
  b.AddStream(8, "", std::string("\xFF\x00\x00\x00\x00\xFF", 6));
  return b.Build();
}

int CountInQdf(const std::string& file, const std::string& what) {
  const std::string text =
      RunCommand("qpdf --qdf --object-streams=disable " + ShellQuote(file) + " -");
  int count = 0;
  for (size_t at = text.find(what); at != std::string::npos; at = text.find(what, at + 1)) ++count;
  return count;
}

TEST(RemoveThumbnail, NoThumbAndNoImageLeftBehind) {
  TempDir dir;
  TgtPDFDocument doc;
  ASSERT_TRUE(doc.LoadFromBytes(WithThumbs()));
  const std::string kept = dir.File("kept.pdf");
  doc.SaveToFile(kept);
  doc.RemoveThumbnail(1);
  const std::string one = dir.File("one.pdf");
  doc.SaveToFile(one);  // page 2 still shows the shared image
  for (int page = 1; page <= 3; ++page) doc.RemoveThumbnail(page);
  doc.RemoveThumbnail(3);  // none left: nothing happens
  const std::string none = dir.File("none.pdf");
  doc.SaveToFile(none);
  for (const std::string& file : {kept, one, none}) EXPECT_EQ(QpdfCheckProblems(file), "") << file;
  EXPECT_EQ(CountInQdf(kept, "/Thumb"), 3);
  EXPECT_EQ(CountInQdf(one, "/Thumb"), 2);
  EXPECT_EQ(CountInQdf(one, "/BitsPerComponent"), 2);
  EXPECT_EQ(CountInQdf(none, "/Thumb"), 0);
  EXPECT_EQ(CountInQdf(none, "/BitsPerComponent"), 0);
  // The two images and the palette are gone: three objects fewer in the
  // files as we wrote them.
  auto objects = [](const std::string& file) {
    const std::string text = testing::ReadFile(file);
    int count = 0;
    for (size_t at = text.find(" 0 obj"); at != std::string::npos; at = text.find(" 0 obj", at + 1))
      ++count;
    return count;
  };
  EXPECT_EQ(objects(none), objects(kept) - 3);
  EXPECT_LT(testing::ReadFile(none).size(), testing::ReadFile(kept).size());
}

TEST(ReplaceThumbnail, TheReplacedImageIsNotWritten) {
  TempDir dir;
  TgtPDFDocument doc;
  ASSERT_TRUE(doc.LoadFromBytes(WithThumbs()));
  TBitmap white;
  white.SetSize(2, 2);
  doc.SetThumbnail(3, white);                      // replaces the indexed image and its palette
  doc.SetThumbnail(3, white);                      // replaces our own first image
  EXPECT_EQ(doc.RenderThumbnails({1, 2}, 16), 2);  // the shared image goes too
  const std::string out = dir.File("out.pdf");
  doc.SaveToFile(out);
  EXPECT_EQ(QpdfCheckProblems(out), "");
  EXPECT_EQ(CountInQdf(out, "/Thumb"), 3);
  EXPECT_EQ(CountInQdf(out, "/BitsPerComponent"), 3);
}

TEST(Thumbnail, ReadsBackTheFormsProducersWrite) {
  TgtPDFDocument doc;
  ASSERT_TRUE(doc.LoadFromBytes(WithThumbs()));
  const TgtThumbnailImage gray = doc.Thumbnail(2, true);
  EXPECT_EQ(gray.rgb, std::string("\x00\x00\x00\xFF\xFF\xFF", 6));
  const TgtThumbnailImage indexed = doc.Thumbnail(3, true);
  EXPECT_EQ(indexed.rgb, std::string("\xFF\x00\x00\x00\x00\xFF\xFF\x00\x00", 9));
  const TgtThumbnailImage size_only = doc.Thumbnail(3);
  EXPECT_EQ(size_only.width, 3);
  EXPECT_TRUE(size_only.rgb.empty());
  EXPECT_THROW(doc.Thumbnail(4), EInvalidPageError);
}

TEST(SetThumbnailFromFile, AnyPictureScaledWhenAskedAndLargeOnesWarned) {
  TempDir dir;
  QImage large(1500, 300, QImage::Format_RGB32);
  large.fill(qRgb(0, 128, 0));
  const std::string file = dir.File("large.jpg");  // a PNG, whatever its name
  ASSERT_TRUE(large.save(QString::fromStdString(file), "PNG"));
  TgtPDFDocument doc;
  ASSERT_TRUE(doc.LoadFromBytes(WithThumbs()));
  std::vector<std::string> warnings;
  doc.OnWarning = [&](TgtCustomPDFDocument&, const std::string& w) { warnings.push_back(w); };
  doc.SetThumbnailFromFile(1, file, 100);
  EXPECT_EQ(doc.Thumbnail(1).width, 100);
  EXPECT_EQ(doc.Thumbnail(1).height, 20);
  EXPECT_TRUE(warnings.empty());
  doc.SetThumbnailFromFile(2, file);
  EXPECT_EQ(doc.Thumbnail(2).width, 1500);
  ASSERT_EQ(warnings.size(), 1u);
  EXPECT_NE(warnings[0].find(file), std::string::npos) << warnings[0];
  // The page is checked before the picture is read.
  EXPECT_THROW(doc.SetThumbnailFromFile(9, dir.File("missing.png")), EInvalidPageError);
  EXPECT_THROW(doc.SetThumbnailFromFile(3, dir.File("missing.png")), EInvalidGraphic);
  EXPECT_EQ(doc.Thumbnail(3).width, 3);
}

}  // namespace
}  // namespace pagemint
