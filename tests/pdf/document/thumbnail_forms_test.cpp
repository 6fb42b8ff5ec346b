// SPDX-License-Identifier: GPL-3.0-or-later
// Rendered thumbnails in each storage form, and scans drawn from their
// image without the renderer, checked against outside readers: pdftoppm's
// drawing of the page, Poppler reading the written thumbnail back, qpdf
// --check. Also big JPEG pictures scaled as they are decoded.
#include <gtest/gtest.h>
#include <poppler-qt6.h>

#include <QImage>
#include <algorithm>
#include <filesystem>
#include <cstdint>
#include <string>
#include <vector>

#include "pdf/document/pdf_document.h"
#include "pdf/reader/pdf_test_builder.h"
#include "picture/graphic.h"
#include "picture/jpeg_image.h"

namespace pagemint {
namespace {

using testing::PdfBuilder;
using testing::QpdfCheckProblems;
using testing::RunCommand;
using testing::ShellQuote;
using testing::TempDir;

// A scan-like picture: shaded paper, grain, lines of dark strokes and, in
// colour, a smooth photograph in the upper half.
std::string ScanJpeg(int width, int height, bool colour) {
  const int channels = colour ? 3 : 1;
  std::string samples(static_cast<size_t>(width) * height * channels, '\0');
  uint32_t state = 12345;
  for (int y = 0; y < height; ++y)
    for (int x = 0; x < width; ++x) {
      state = state * 1103515245u + 12345u;
      const int grain = static_cast<int>(state >> 29) - 4;
      // Lines of words 40 pixels apart, the words of uneven length.
      const bool ink = y % 40 < 14 && (x + (y / 40) * 131) / 60 % 5 != 0;
      int v = ink ? 40 : 235 - y / 40 + grain;
      for (int c = 0; c < channels; ++c) {
        int s = v;
        if (colour && !ink && y < height / 2)
          s = (c == 0 ? x * 255 / width : c == 1 ? y * 2 * 255 / height : 120) + grain;
        samples[(static_cast<size_t>(y) * width + x) * channels + c] =
            static_cast<char>(std::clamp(s, 0, 255));
      }
    }
  return EncodeJpeg(reinterpret_cast<const uint8_t*>(samples.data()), width, height, channels, 80);
}

// A photograph with sharp colour edges under fine grain: chroma stored at
// half resolution misses the bound on it, so it tests the larger JPEGs.
std::string EdgyPhotoJpeg(int width, int height) {
  std::string samples(static_cast<size_t>(width) * height * 3, '\0');
  uint32_t state = 777;
  for (int y = 0; y < height; ++y)
    for (int x = 0; x < width; ++x) {
      state = state * 1103515245u + 12345u;
      const int grain = static_cast<int>(state >> 27) - 16;
      const int s[3] = {x * 255 / width + grain, y * 255 / height + grain,
                        ((x ^ y) & 255) / 2 + 64 + grain};
      for (int c = 0; c < 3; ++c)
        samples[(static_cast<size_t>(y) * width + x) * 3 + c] =
            static_cast<char>(std::clamp(s[c], 0, 255));
    }
  return EncodeJpeg(reinterpret_cast<const uint8_t*>(samples.data()), width, height, 3, 85);
}

struct PageCase {
  const char* name;
  const char* page_entries;  // beyond /Type, /Parent, /Resources, /Contents
  const char* content;
  int image;  // 0: the grey scan, 1: the colour scan
  const char* auto_form = nullptr;  // the form the automatic choice must take
};

const PageCase kPages[] = {
    {"grey scan, OCR text", "/MediaBox [0 0 612 792]",
     "q 612 0 0 792 0 0 cm /Im0 Do Q BT 3 Tr /F1 12 Tf 72 700 Td (invisible words) Tj ET", 0},
    {"colour scan placed inside the page", "/MediaBox [0 0 612 792]",
     "q 1 0 0 1 40 60 cm q 500 0 0 650 0 0 cm /Im1 Do Q Q", 1},
    {"scan turned by /Rotate", "/MediaBox [0 0 612 792] /Rotate 90",
     "q 612 0 0 792 0 0 cm /Im1 Do Q", 1},
    {"scan with visible text", "/MediaBox [0 0 612 792]",
     "q 612 0 0 792 0 0 cm /Im0 Do Q BT /F1 40 Tf 72 700 Td (Visible) Tj ET", 0},
    {"scan under a crop box", "/MediaBox [0 0 612 792] /CropBox [50 50 400 500]",
     "q 612 0 0 792 0 0 cm /Im0 Do Q", 0},
    {"text", "/MediaBox [0 0 612 792]",
     "BT /F1 24 Tf 72 700 Td (Quarterly figures) Tj 0 -40 Td (continued) Tj ET", 0},
    {"flat colour shapes", "/MediaBox [0 0 400 300]",
     "1 0 0 rg 20 20 150 100 re f 0 0 1 rg 200 150 150 100 re f", 0},
    {"photograph with sharp colour edges", "/MediaBox [0 0 612 792]",
     "q 576 0 0 432 18 180 cm /Im2 Do Q", 0, "JPEG"},
};

std::string Document() {
  PdfBuilder b;
  const int n = static_cast<int>(std::size(kPages));
  std::string kids;
  for (int i = 0; i < n; ++i) kids += std::to_string(10 + 2 * i) + " 0 R ";
  b.Add(1, "<< /Type /Catalog /Pages 2 0 R >>");
  b.Add(2, "<< /Type /Pages /Kids [" + kids + "] /Count " + std::to_string(n) + " >>");
  b.Add(3, "<< /Type /Font /Subtype /Type1 /BaseFont /Helvetica >>");
  b.AddStream(4,
              "/Type /XObject /Subtype /Image /Width 850 /Height 1100 /ColorSpace /DeviceGray "
              "/BitsPerComponent 8 /Filter /DCTDecode",
              ScanJpeg(850, 1100, false));
  b.AddStream(5,
              "/Type /XObject /Subtype /Image /Width 850 /Height 1100 /ColorSpace /DeviceRGB "
              "/BitsPerComponent 8 /Filter /DCTDecode",
              ScanJpeg(850, 1100, true));
  b.AddStream(6,
              "/Type /XObject /Subtype /Image /Width 1000 /Height 750 /ColorSpace /DeviceRGB "
              "/BitsPerComponent 8 /Filter /DCTDecode",
              EdgyPhotoJpeg(1000, 750));
  for (int i = 0; i < n; ++i) {
    const PageCase& p = kPages[i];
    b.Add(10 + 2 * i, std::string("<< /Type /Page /Parent 2 0 R ") + p.page_entries +
                          " /Resources << /Font << /F1 3 0 R >> /XObject << /Im0 4 0 R /Im1 5 "
                          "0 R /Im2 6 0 R >> >> /Contents " +
                          std::to_string(11 + 2 * i) + " 0 R >>");
    b.AddStream(11 + 2 * i, "", p.content);
  }
  return b.Build();
}

QImage Rgb(const TgtThumbnailImage& thumb) {
  return QImage(reinterpret_cast<const uchar*>(thumb.rgb.data()), thumb.width, thumb.height,
                thumb.width * 3, QImage::Format_RGB888)
      .copy();
}

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

// Each form against pdftoppm: exact forms within 2 levels (what drawing a
// scan from its image may differ by), the automatic choice within that and
// its own bound of 3, JPEG at quality 75 a little more.
TEST(ThumbnailForms, EveryFormAgreesWithPdftoppmAndReadsBackInPopplerAndQpdf) {
  TempDir dir;
  const std::string source = dir.Write("in.pdf", Document());
  const int n = static_cast<int>(std::size(kPages));
  std::vector<QImage> reference(static_cast<size_t>(n));
  for (int page = 1; page <= n; ++page) {
    const std::string prefix = dir.File("ref" + std::to_string(page));
    RunCommand("pdftoppm -scale-to 128 -png -cropbox -singlefile -f " + std::to_string(page) +
               " -l " + std::to_string(page) + " " + ShellQuote(source) + " " + ShellQuote(prefix));
    reference[static_cast<size_t>(page - 1)] = QImage(QString::fromStdString(prefix + ".png"));
    ASSERT_FALSE(reference[static_cast<size_t>(page - 1)].isNull());
  }
  const struct {
    TgtThumbnailFormat format;
    double bound;
  } formats[] = {{TgtThumbnailFormat::Lossless, 2.0},
                 {TgtThumbnailFormat::Auto, 5.0},
                 {TgtThumbnailFormat::Jpeg, 8.0}};
  int64_t lossless_bytes = 0;
  for (const auto& f : formats) {
    SCOPED_TRACE(static_cast<int>(f.format));
    TgtPDFDocument doc;
    ASSERT_TRUE(doc.LoadFromFile(source));
    doc.SetThumbnailEncoding({f.format, 75});
    ASSERT_EQ(doc.RenderThumbnails({}, 128, 2), n);
    const std::string out = dir.File("out" + std::to_string(static_cast<int>(f.format)) + ".pdf");
    doc.SaveToFile(out);
    EXPECT_EQ(QpdfCheckProblems(out), "");
    const int64_t bytes = static_cast<int64_t>(std::filesystem::file_size(out));
    if (f.format == TgtThumbnailFormat::Lossless) lossless_bytes = bytes;
    if (f.format == TgtThumbnailFormat::Auto) {
      EXPECT_LT(bytes, lossless_bytes);
    }

    const std::unique_ptr<Poppler::Document> written =
        Poppler::Document::load(QString::fromStdString(out));
    ASSERT_TRUE(written);
    TgtPDFDocument back;
    ASSERT_TRUE(back.LoadFromFile(out));
    for (int page = 1; page <= n; ++page) {
      SCOPED_TRACE(kPages[page - 1].name);
      const TgtThumbnailImage ours = back.Thumbnail(page, true);
      ASSERT_FALSE(ours.Empty());
      if (f.format == TgtThumbnailFormat::Jpeg) {
        EXPECT_EQ(ours.form, "JPEG");
      }
      if (f.format == TgtThumbnailFormat::Lossless) {
        EXPECT_NE(ours.form, "JPEG");
      }
      if (f.format == TgtThumbnailFormat::Auto && kPages[page - 1].auto_form) {
        EXPECT_EQ(ours.form, kPages[page - 1].auto_form);
      }
      const QImage& ref = reference[static_cast<size_t>(page - 1)];
      EXPECT_LE(std::abs(ref.width() - ours.width), 1);
      EXPECT_LE(std::abs(ref.height() - ours.height), 1);
      EXPECT_LE(MeanDifference(ref, Rgb(ours)), f.bound) << ours.form;
      // Poppler decodes the written image to our samples (its JPEG
      // decoder may round an odd sample differently).
      const QImage read = written->page(page - 1)->thumbnail();
      ASSERT_EQ(read.size(), QSize(ours.width, ours.height)) << ours.form;
      EXPECT_LE(MeanDifference(read, Rgb(ours)), 0.5) << ours.form;
    }
  }
}

// A JPEG claiming 16384 x 16384 pixels in a few hundred bytes: scaled as
// it is decoded when a thumbnail size is given, so it costs a 2048-pixel
// picture, not 3 GB; a progressive one, whose coefficients would all be
// held, is refused naming the file.
TEST(ThumbnailForms, HugeJpegPicturesDecodeScaledOrAreRefusedByName) {
  TempDir dir;
  std::string samples(16 * 16, '\x80');
  std::string jpeg = EncodeJpeg(reinterpret_cast<const uint8_t*>(samples.data()), 16, 16, 1, 75);
  ASSERT_FALSE(jpeg.empty());
  // The frame header's height and width, right after its length and
  // precision.
  const size_t sof = jpeg.find("\xFF\xC0");
  ASSERT_NE(sof, std::string::npos);
  jpeg.replace(sof + 5, 4, std::string("\x40\x00\x40\x00", 4));
  const std::string baseline = dir.Write("huge.jpg", jpeg);
  std::string progressive_bytes = jpeg;
  progressive_bytes[sof + 1] = '\xC2';
  const std::string progressive = dir.Write("huge-progressive.jpg", progressive_bytes);

  PdfBuilder b;
  b.Add(1, "<< /Type /Catalog /Pages 2 0 R >>");
  b.Add(2, "<< /Type /Pages /Kids [3 0 R] /Count 1 >>");
  b.Add(3, "<< /Type /Page /Parent 2 0 R /MediaBox [0 0 100 100] >>");
  TgtPDFDocument doc;
  ASSERT_TRUE(doc.LoadFromBytes(b.Build()));
  doc.SetThumbnailFromFile(1, baseline, 128);
  const TgtThumbnailImage thumb = doc.Thumbnail(1);
  EXPECT_EQ(thumb.width, 128);
  EXPECT_EQ(thumb.height, 128);
  try {
    doc.SetThumbnailFromFile(1, progressive, 128);
    ADD_FAILURE() << "a progressive 16384 x 16384 JPEG was decoded";
  } catch (const EInvalidGraphic& e) {
    EXPECT_NE(std::string(e.what()).find(progressive), std::string::npos) << e.what();
  }
}

}  // namespace
}  // namespace pagemint
