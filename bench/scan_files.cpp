// SPDX-License-Identifier: GPL-3.0-or-later
// Writes the scanned document of bench/thumbs.sh:
//
//   scans.pdf   PAGES pages (default 300), each a US Letter page scanned at
//               300 dpi (2550 x 3300 pixels) as one JPEG drawn over the
//               whole page, with the page's words as invisible text
//               (render mode 3) on top, as OCR leaves them. Odd pages are
//               grey (DeviceGray), even pages colour (DeviceRGB) with a
//               photograph in the upper half and tinted paper.
//
// The paper has grain and a shading, the lines of print are words of
// strokes; the samples come from a fixed pseudo-random sequence, so every
// run writes the same bytes.
//
//   bench_scan_files FOLDER [PAGES]
#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <string>
#include <vector>

// jpeglib.h needs size_t and FILE declared before it.
#include <jpeglib.h>

namespace {

constexpr int kWidth = 2550, kHeight = 3300;  // 8.5 x 11 inches at 300 dpi
constexpr int kMargin = 300, kLinePitch = 50, kLineHeight = 30;

uint64_t Next(uint64_t& state) {  // xorshift64
  state ^= state << 13;
  state ^= state >> 7;
  state ^= state << 17;
  return state;
}

// Where the words of each line lie: [start, end) pairs in pixels.
using Line = std::vector<std::pair<int, int>>;

std::vector<Line> LayOut(uint64_t& state) {
  std::vector<Line> lines;
  for (int top = kMargin; top + kLineHeight < kHeight - kMargin; top += kLinePitch) {
    Line words;
    // Paragraph ends: some lines are short.
    const int end = Next(state) % 7 == 0 ? kMargin + 400 + static_cast<int>(Next(state) % 1200)
                                         : kWidth - kMargin;
    for (int x = kMargin; x < end;) {
      const int length = 60 + static_cast<int>(Next(state) % 200);
      words.emplace_back(x, std::min(end, x + length));
      x += length + 25;
    }
    lines.push_back(std::move(words));
  }
  return lines;
}

std::string ScanJpeg(const std::vector<Line>& lines, bool colour, uint64_t& state) {
  jpeg_compress_struct cinfo{};
  jpeg_error_mgr jerr{};
  cinfo.err = jpeg_std_error(&jerr);
  jpeg_create_compress(&cinfo);
  unsigned char* buffer = nullptr;
  unsigned long size = 0;
  jpeg_mem_dest(&cinfo, &buffer, &size);
  cinfo.image_width = kWidth;
  cinfo.image_height = kHeight;
  cinfo.input_components = colour ? 3 : 1;
  cinfo.in_color_space = colour ? JCS_RGB : JCS_GRAYSCALE;
  jpeg_set_defaults(&cinfo);
  jpeg_set_quality(&cinfo, 75, TRUE);
  jpeg_start_compress(&cinfo, TRUE);
  const int channels = colour ? 3 : 1;
  std::vector<unsigned char> row(static_cast<size_t>(kWidth) * channels);
  const int photo_bottom = colour ? 1500 : 0;
  for (int y = 0; y < kHeight; ++y) {
    const int line = (y - kMargin) / kLinePitch;
    const bool in_line = y >= kMargin && (y - kMargin) % kLinePitch < kLineHeight &&
                         line < static_cast<int>(lines.size()) && y >= photo_bottom;
    for (int x = 0; x < kWidth; ++x) {
      const int grain = static_cast<int>(Next(state) >> 61) - 4;
      int v = 236 - y / 300 + grain;  // paper, a little darker towards the foot
      bool ink = false;
      if (in_line) {
        for (const auto& [from, to] : lines[static_cast<size_t>(line)])
          if (x >= from && x < to) {
            ink = (x / 7 + y / 11) % 3 != 0 && (x * 7 + y * 3) % 17 > 4;
            break;
          }
      }
      if (ink) v = 40 + grain * 3;
      unsigned char* p = &row[static_cast<size_t>(x) * channels];
      if (!colour) {
        p[0] = static_cast<unsigned char>(std::clamp(v, 0, 255));
        continue;
      }
      int r = v, g = v - 4, b = v - 14;  // cream paper
      if (ink) {
        r = v;
        g = v + 8;
        b = v + 50;  // blue-black ink
      } else if (y >= kMargin && y < photo_bottom - 100 && x >= kMargin && x < kWidth - kMargin) {
        // A photograph: smooth light and colour, then grain.
        r = 60 + (x - kMargin) * 150 / (kWidth - 2 * kMargin) + grain * 2;
        g = 80 + (y - kMargin) * 120 / 1100 + grain * 2;
        b = 150 - ((x + y) % 400) / 4 + grain * 2;
      }
      p[0] = static_cast<unsigned char>(std::clamp(r, 0, 255));
      p[1] = static_cast<unsigned char>(std::clamp(g, 0, 255));
      p[2] = static_cast<unsigned char>(std::clamp(b, 0, 255));
    }
    JSAMPROW rows[1] = {row.data()};
    jpeg_write_scanlines(&cinfo, rows, 1);
  }
  jpeg_finish_compress(&cinfo);
  jpeg_destroy_compress(&cinfo);
  std::string out(reinterpret_cast<const char*>(buffer), size);
  std::free(buffer);
  return out;
}

// The words as OCR text: one line of text per line of print, in render
// mode 3 (neither filled nor stroked).
std::string OcrText(const std::vector<Line>& lines, size_t page, int photo_bottom) {
  std::string text = "BT 3 Tr /F1 7 Tf\n";
  for (size_t l = 0; l < lines.size(); ++l) {
    const int top = kMargin + static_cast<int>(l) * kLinePitch;
    if (top < photo_bottom || lines[l].empty()) continue;
    const double x = lines[l].front().first * 72.0 / 300;
    const double y = (kHeight - top - kLineHeight) * 72.0 / 300;
    text += "1 0 0 1 " + std::to_string(x) + " " + std::to_string(y) + " Tm (";
    for (size_t w = 0; w < lines[l].size(); ++w)
      text += (w ? " word" : "page") + std::to_string(page + 1) + "-" + std::to_string(w);
    text += ") Tj\n";
  }
  return text + "ET";
}

class PdfWriter {
 public:
  explicit PdfWriter(const std::string& path) : out_(path, std::ios::binary) {
    Put("%PDF-1.4\n%\xE2\xE3\xCF\xD3\n");
  }
  int Reserve() {
    offsets_.push_back(-1);
    return static_cast<int>(offsets_.size());
  }
  void Object(int number, const std::string& body) {
    offsets_[static_cast<size_t>(number) - 1] = position_;
    Put(std::to_string(number) + " 0 obj\n" + body + "\nendobj\n");
  }
  void Stream(int number, const std::string& dict_entries, const std::string& data) {
    Object(number, "<< " + dict_entries + " /Length " + std::to_string(data.size()) +
                       " >>\nstream\n" + data + "\nendstream");
  }
  bool Finish() {
    const int64_t table = position_;
    Put("xref\n0 " + std::to_string(offsets_.size() + 1) + "\n0000000000 65535 f \n");
    char entry[32];
    for (const int64_t offset : offsets_) {
      if (offset < 0) return false;
      std::snprintf(entry, sizeof entry, "%010lld 00000 n \n", static_cast<long long>(offset));
      Put(entry);
    }
    Put("trailer\n<< /Size " + std::to_string(offsets_.size() + 1) +
        " /Root 1 0 R >>\nstartxref\n" + std::to_string(table) + "\n%%EOF\n");
    out_.close();
    return static_cast<bool>(out_);
  }

 private:
  void Put(const std::string& text) {
    out_.write(text.data(), static_cast<std::streamsize>(text.size()));
    position_ += static_cast<int64_t>(text.size());
  }
  std::ofstream out_;
  int64_t position_ = 0;
  std::vector<int64_t> offsets_;
};

bool WriteScans(const std::string& path, size_t page_count) {
  PdfWriter pdf(path);
  const int catalog = pdf.Reserve();
  const int root = pdf.Reserve();
  const int font = pdf.Reserve();
  pdf.Object(catalog, "<< /Type /Catalog /Pages " + std::to_string(root) + " 0 R >>");
  pdf.Object(font, "<< /Type /Font /Subtype /Type1 /BaseFont /Helvetica >>");
  std::string kids;
  uint64_t state = 0x9E3779B97F4A7C15ULL;
  for (size_t i = 0; i < page_count; ++i) {
    const bool colour = i % 2 == 1;
    const std::vector<Line> lines = LayOut(state);
    const int page = pdf.Reserve();
    const int contents = pdf.Reserve();
    const int image = pdf.Reserve();
    pdf.Stream(image,
               "/Type /XObject /Subtype /Image /Width " + std::to_string(kWidth) + " /Height " +
                   std::to_string(kHeight) + " /ColorSpace " +
                   (colour ? "/DeviceRGB" : "/DeviceGray") +
                   " /BitsPerComponent 8 /Filter /DCTDecode",
               ScanJpeg(lines, colour, state));
    pdf.Stream(contents, "",
               "q 612 0 0 792 0 0 cm /Im1 Do Q\n" + OcrText(lines, i, colour ? 1500 : 0));
    pdf.Object(page, "<< /Type /Page /Parent " + std::to_string(root) +
                         " 0 R /MediaBox [0 0 612 792] /Resources << /XObject << /Im1 " +
                         std::to_string(image) + " 0 R >> /Font << /F1 " + std::to_string(font) +
                         " 0 R >> >> /Contents " + std::to_string(contents) + " 0 R >>");
    kids += std::to_string(page) + " 0 R ";
  }
  pdf.Object(root, "<< /Type /Pages /Kids [" + kids + "] /Count " + std::to_string(page_count) +
                       " >>");
  return pdf.Finish();
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 2 && argc != 3) {
    std::fprintf(stderr, "usage: %s FOLDER [PAGES]\n", argv[0]);
    return 2;
  }
  const size_t pages = argc == 3 ? std::strtoul(argv[2], nullptr, 10) : 300;
  if (pages == 0) {
    std::fprintf(stderr, "the page count must be at least 1\n");
    return 2;
  }
  if (!WriteScans(std::string(argv[1]) + "/scans.pdf", pages)) {
    std::fprintf(stderr, "cannot write %s/scans.pdf\n", argv[1]);
    return 1;
  }
  return 0;
}
