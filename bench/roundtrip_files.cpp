// SPDX-License-Identifier: GPL-3.0-or-later
// Writes the source documents of bench/roundtrip.sh into a folder:
//
//   many.pdf    100,000 pages, each a page dictionary, a content stream and
//               a link annotation with a text string: about 300,000 small
//               objects under a balanced page tree, about 50 MB;
//   images.pdf  200 pages, each showing its own 500 x 500 RGB image of
//               incompressible samples (Flate, about 750 KB each), about
//               150 MB;
//   jpeg.pdf    300 pages, each showing its own photograph-like JPEG
//               (DCTDecode, about 130 KB each), about 38 MB, as scanners
//               and cameras make them;
//   many-10k.pdf  many.pdf with a tenth of its pages, for linearity.
//
// Both have a classic cross-reference table; the benchmark has qpdf make
// the encrypted copy. The samples come from a fixed pseudo-random
// sequence, so every run writes the same bytes.
//
//   bench_roundtrip_files FOLDER [PAGES IMAGE_PAGES]
#include <zlib.h>

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

constexpr size_t kFanOut = 64;  // kids per page-tree node, as large producers write them

class PdfWriter {
 public:
  explicit PdfWriter(const std::string& path) : out_(path, std::ios::binary) {
    Put("%PDF-1.4\n%\xE2\xE3\xCF\xD3\n");
  }

  // Numbers are handed out before the objects are written, so objects can
  // refer forward; every number must be written exactly once.
  int Reserve() {
    offsets_.push_back(-1);
    return static_cast<int>(offsets_.size());
  }
  void Object(int number, const std::string& body) {
    offsets_[static_cast<size_t>(number) - 1] = position_;
    Put(std::to_string(number) + " 0 obj\n" + body + "\nendobj\n");
  }
  void Stream(int number, const std::string& dict_entries, const std::string& data) {
    Object(number, "<< " + dict_entries + (dict_entries.empty() ? "" : " ") + "/Length " +
                       std::to_string(data.size()) + " >>\nstream\n" + data + "\nendstream");
  }
  // The table, the trailer and the end; false when writing failed.
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

// A balanced page tree: levels[0] holds the nodes right above the pages,
// the last level only the root. Node j of level l has the kids j * kFanOut
// up to (j + 1) * kFanOut of the level below (the pages for level 0).
struct PageTree {
  std::vector<std::vector<int>> levels;

  // Reserves a number for every node but the root, which has one already.
  PageTree(PdfWriter& pdf, int root, size_t pages) {
    size_t n = pages;
    do {
      n = (n + kFanOut - 1) / kFanOut;
      levels.emplace_back(n);
    } while (n > 1);
    for (size_t l = 0; l + 1 < levels.size(); ++l)
      for (int& number : levels[l]) number = pdf.Reserve();
    levels.back()[0] = root;
  }

  int ParentOfPage(size_t page) const { return levels[0][page / kFanOut]; }

  void Write(PdfWriter& pdf, const std::vector<int>& pages) const {
    size_t span = kFanOut;  // pages under one node of the level
    for (size_t l = 0; l < levels.size(); ++l, span *= kFanOut) {
      const std::vector<int>& below = l == 0 ? pages : levels[l - 1];
      for (size_t j = 0; j < levels[l].size(); ++j) {
        std::string body = "<< /Type /Pages";
        if (l + 1 < levels.size())
          body += " /Parent " + std::to_string(levels[l + 1][j / kFanOut]) + " 0 R";
        body += " /Kids [";
        for (size_t k = j * kFanOut; k < std::min(below.size(), (j + 1) * kFanOut); ++k)
          body += std::to_string(below[k]) + " 0 R ";
        const size_t count = std::min(pages.size(), (j + 1) * span) - j * span;
        body += "] /Count " + std::to_string(count) + " >>";
        pdf.Object(levels[l][j], body);
      }
    }
  }
};

bool WriteManyObjects(const std::string& path, size_t page_count) {
  PdfWriter pdf(path);
  const int catalog = pdf.Reserve();
  const int root = pdf.Reserve();
  const int font = pdf.Reserve();
  pdf.Object(catalog, "<< /Type /Catalog /Pages " + std::to_string(root) + " 0 R >>");
  pdf.Object(font, "<< /Type /Font /Subtype /Type1 /BaseFont /Helvetica >>");
  const PageTree tree(pdf, root, page_count);
  std::vector<int> pages;
  for (size_t i = 0; i < page_count; ++i) {
    const std::string n = std::to_string(i + 1);
    const int page = pdf.Reserve();
    const int contents = pdf.Reserve();
    const int link = pdf.Reserve();
    pdf.Stream(contents, "",
               "BT /F1 18 Tf 72 720 Td (Page " + n + ") Tj ET\nBT /F1 10 Tf 72 690 Td " +
                   "(Quarterly figures, continued on page " + n + ".) Tj ET");
    pdf.Object(link,
               "<< /Type /Annot /Subtype /Link /Rect [72 680 300 700] /Border [0 0 0] /A << /S "
               "/URI /URI (https://example.org/report/" +
                   n + ") >> >>");
    pdf.Object(page, "<< /Type /Page /Parent " + std::to_string(tree.ParentOfPage(i)) +
                         " 0 R /MediaBox [0 0 612 792] /Resources << /Font << /F1 " +
                         std::to_string(font) + " 0 R >> >> /Contents " + std::to_string(contents) +
                         " 0 R /Annots [" + std::to_string(link) + " 0 R] >>");
    pages.push_back(page);
  }
  tree.Write(pdf, pages);
  return pdf.Finish();
}

// Reserves the catalog and the page tree's root and writes the catalog;
// returns the root's number.
int WriteCatalog(PdfWriter& pdf) {
  const int catalog = pdf.Reserve();
  const int root = pdf.Reserve();
  pdf.Object(catalog, "<< /Type /Catalog /Pages " + std::to_string(root) + " 0 R >>");
  return root;
}

// One page showing one RGB image of width x height, drawn by content; the
// page's object number.
int ImagePage(PdfWriter& pdf, const PageTree& tree, size_t i, int width, int height,
              const char* filter, const std::string& data, const char* content) {
  const int page = pdf.Reserve();
  const int contents = pdf.Reserve();
  const int image = pdf.Reserve();
  pdf.Stream(image,
             "/Type /XObject /Subtype /Image /Width " + std::to_string(width) + " /Height " +
                 std::to_string(height) + " /ColorSpace /DeviceRGB /BitsPerComponent 8 /Filter " +
                 filter,
             data);
  pdf.Stream(contents, "", content);
  pdf.Object(page, "<< /Type /Page /Parent " + std::to_string(tree.ParentOfPage(i)) +
                       " 0 R /MediaBox [0 0 612 792] /Resources << /XObject << /Im1 " +
                       std::to_string(image) + " 0 R >> >> /Contents " + std::to_string(contents) +
                       " 0 R >>");
  return page;
}

bool WriteLargeImages(const std::string& path, size_t page_count) {
  constexpr int kSide = 500;
  PdfWriter pdf(path);
  const PageTree tree(pdf, WriteCatalog(pdf), page_count);
  std::vector<int> pages;
  uint64_t state = 0x9E3779B97F4A7C15ULL;
  std::string samples(static_cast<size_t>(kSide) * kSide * 3, '\0');
  std::string packed(compressBound(samples.size()), '\0');
  for (size_t i = 0; i < page_count; ++i) {
    for (char& c : samples) {  // xorshift64
      state ^= state << 13;
      state ^= state >> 7;
      state ^= state << 17;
      c = static_cast<char>(state >> 56);
    }
    uLongf packed_size = static_cast<uLongf>(packed.size());
    if (compress2(reinterpret_cast<Bytef*>(packed.data()), &packed_size,
                  reinterpret_cast<const Bytef*>(samples.data()), samples.size(), 1) != Z_OK)
      return false;
    pages.push_back(ImagePage(pdf, tree, i, kSide, kSide, "/FlateDecode",
                              packed.substr(0, packed_size), "q 500 0 0 500 56 146 cm /Im1 Do Q"));
  }
  tree.Write(pdf, pages);
  return pdf.Finish();
}

// A photograph-like picture: smooth gradients under fine noise, which
// JPEG keeps at about the size of a scanned page.
std::string MakeJpeg(int width, int height, uint64_t& state) {
  jpeg_compress_struct cinfo{};
  jpeg_error_mgr jerr{};
  cinfo.err = jpeg_std_error(&jerr);
  jpeg_create_compress(&cinfo);
  unsigned char* buffer = nullptr;
  unsigned long size = 0;
  jpeg_mem_dest(&cinfo, &buffer, &size);
  cinfo.image_width = static_cast<JDIMENSION>(width);
  cinfo.image_height = static_cast<JDIMENSION>(height);
  cinfo.input_components = 3;
  cinfo.in_color_space = JCS_RGB;
  jpeg_set_defaults(&cinfo);
  jpeg_set_quality(&cinfo, 85, TRUE);
  jpeg_start_compress(&cinfo, TRUE);
  std::vector<unsigned char> row(static_cast<size_t>(width) * 3);
  const int shift = static_cast<int>(state % 97);
  for (int y = 0; y < height; ++y) {
    for (int x = 0; x < width; ++x) {
      state ^= state << 13;
      state ^= state >> 7;
      state ^= state << 17;
      const int noise = static_cast<int>(state >> 59) - 16;
      unsigned char* p = &row[static_cast<size_t>(x) * 3];
      p[0] = static_cast<unsigned char>(std::clamp((x + shift) * 255 / width + noise, 0, 255));
      p[1] = static_cast<unsigned char>(std::clamp(y * 255 / height + noise, 0, 255));
      p[2] = static_cast<unsigned char>(std::clamp(((x ^ y) & 255) / 2 + 64 + noise, 0, 255));
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

bool WriteJpegPages(const std::string& path, size_t page_count) {
  constexpr int kWidth = 1000, kHeight = 750;
  PdfWriter pdf(path);
  const PageTree tree(pdf, WriteCatalog(pdf), page_count);
  std::vector<int> pages;
  uint64_t state = 0x2545F4914F6CDD1DULL;
  for (size_t i = 0; i < page_count; ++i) {
    pages.push_back(ImagePage(pdf, tree, i, kWidth, kHeight, "/DCTDecode",
                              MakeJpeg(kWidth, kHeight, state), "q 576 0 0 432 18 180 cm /Im1 Do Q"));
  }
  tree.Write(pdf, pages);
  return pdf.Finish();
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 2 && argc != 4) {
    std::fprintf(stderr, "usage: %s FOLDER [PAGES IMAGE_PAGES]\n", argv[0]);
    return 2;
  }
  const std::string folder = argv[1];
  const size_t pages = argc == 4 ? std::strtoul(argv[2], nullptr, 10) : 100000;
  const size_t image_pages = argc == 4 ? std::strtoul(argv[3], nullptr, 10) : 200;
  if (pages == 0 || image_pages == 0) {
    std::fprintf(stderr, "page counts must be at least 1\n");
    return 2;
  }
  if (!WriteManyObjects(folder + "/many.pdf", pages) ||
      !WriteManyObjects(folder + "/many-10k.pdf", std::max<size_t>(1, pages / 10)) ||
      !WriteLargeImages(folder + "/images.pdf", image_pages) ||
      !WriteJpegPages(folder + "/jpeg.pdf", 300)) {
    std::fprintf(stderr, "cannot write the documents into %s\n", folder.c_str());
    return 1;
  }
  return 0;
}
