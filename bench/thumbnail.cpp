// SPDX-License-Identifier: GPL-3.0-or-later
// Attaching a picture as a page thumbnail, from the picture file to the
// compressed image object, against the floor of a minimal program that
// does the least the job needs: libjpeg decoding the JPEG to RGB (or the
// bitmap's rows read as they are) and zlib's compress2 at level 6 over the
// packed samples.
//
// The pictures are made at start in a temporary folder: a 4000 x 3000 JPEG
// and a 2000 x 1500 24-bit bitmap with photo-like content (smooth shapes,
// texture and sensor noise), so that deflate sees what it sees in real
// photos rather than flat colour it would compress for free.
//
// "bench_thumbnail jpeg|bmp|floor-jpeg|floor-bmp N" runs one side N times
// on the generated files (for a profiler).
#include <malloc.h>
#include <stdlib.h>
#include <time.h>
#include <zlib.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <functional>
#include <iterator>
#include <memory>
#include <random>
#include <string>
#include <vector>
// jpeglib.h needs size_t and FILE declared first.
#include <jpeglib.h>

#include "pdf/document/pdf_document.h"
#include "picture/graphic.h"
#include "picture/jpeg_image.h"

using namespace pagemint;

namespace {

constexpr int kJpegWidth = 4000, kJpegHeight = 3000;
constexpr int kBmpWidth = 2000, kBmpHeight = 1500;
constexpr double kGoal = 1.25;

// Packed RGB rows, top to bottom, with content deflate cannot shortcut:
// a few soft gradients and discs, a fine texture and per-pixel noise.
std::vector<uint8_t> PhotoLike(int width, int height, unsigned seed) {
  std::vector<uint8_t> rgb(static_cast<size_t>(width) * height * 3);
  std::mt19937 rng(seed);
  std::normal_distribution<float> noise(0.0f, 4.0f);
  struct Disc {
    float x, y, r, c[3];
  };
  std::vector<Disc> discs;
  std::uniform_real_distribution<float> unit(0.0f, 1.0f);
  for (int i = 0; i < 24; ++i)
    discs.push_back({unit(rng) * width,
                     unit(rng) * height,
                     (0.05f + 0.2f * unit(rng)) * width,
                     {unit(rng) * 255, unit(rng) * 255, unit(rng) * 255}});
  for (int y = 0; y < height; ++y) {
    uint8_t* row = rgb.data() + static_cast<size_t>(y) * width * 3;
    for (int x = 0; x < width; ++x) {
      const float fx = static_cast<float>(x) / width, fy = static_cast<float>(y) / height;
      float c[3] = {60 + 120 * fy, 90 + 80 * fx, 150 - 60 * fy + 30 * std::sin(9 * fx)};
      for (const Disc& d : discs) {
        const float dx = x - d.x, dy = y - d.y;
        if (dx * dx + dy * dy < d.r * d.r)
          for (int k = 0; k < 3; ++k) c[k] = 0.6f * c[k] + 0.4f * d.c[k];
      }
      const float texture =
          10 * std::sin(x * 0.31f + 3 * std::sin(y * 0.07f)) * std::cos(y * 0.23f);
      for (int k = 0; k < 3; ++k) {
        const float v = c[k] + texture + noise(rng);
        row[x * 3 + k] = static_cast<uint8_t>(std::clamp(v, 0.0f, 255.0f));
      }
    }
  }
  return rgb;
}

std::string EncodeJpeg(const std::vector<uint8_t>& rgb, int width, int height) {
  jpeg_compress_struct c{};
  jpeg_error_mgr err{};
  c.err = jpeg_std_error(&err);
  jpeg_create_compress(&c);
  unsigned char* out = nullptr;
  unsigned long size = 0;
  jpeg_mem_dest(&c, &out, &size);
  c.image_width = width;
  c.image_height = height;
  c.input_components = 3;
  c.in_color_space = JCS_RGB;
  jpeg_set_defaults(&c);
  jpeg_set_quality(&c, 90, TRUE);
  jpeg_start_compress(&c, TRUE);
  while (c.next_scanline < c.image_height) {
    JSAMPROW row =
        const_cast<uint8_t*>(rgb.data()) + static_cast<size_t>(c.next_scanline) * width * 3;
    jpeg_write_scanlines(&c, &row, 1);
  }
  jpeg_finish_compress(&c);
  std::string bytes(reinterpret_cast<char*>(out), size);
  jpeg_destroy_compress(&c);
  std::free(out);
  return bytes;
}

void Put16(std::string& s, unsigned v) {
  s += static_cast<char>(v & 0xFF);
  s += static_cast<char>((v >> 8) & 0xFF);
}
void Put32(std::string& s, uint32_t v) {
  Put16(s, v & 0xFFFF);
  Put16(s, v >> 16);
}

// A bottom-up 24-bit bitmap file with a BITMAPINFOHEADER.
std::string EncodeBmp(const std::vector<uint8_t>& rgb, int width, int height) {
  const uint32_t stride = (static_cast<uint32_t>(width) * 3 + 3) & ~3u;
  std::string s = "BM";
  Put32(s, 54 + stride * height);
  Put32(s, 0);
  Put32(s, 54);
  Put32(s, 40);
  Put32(s, width);
  Put32(s, height);
  Put16(s, 1);
  Put16(s, 24);
  Put32(s, 0);
  Put32(s, stride * height);
  Put32(s, 3780);
  Put32(s, 3780);
  Put32(s, 0);
  Put32(s, 0);
  std::string row(stride, '\0');
  for (int y = height - 1; y >= 0; --y) {
    const uint8_t* src = rgb.data() + static_cast<size_t>(y) * width * 3;
    for (int x = 0; x < width; ++x) {
      row[x * 3] = static_cast<char>(src[x * 3 + 2]);
      row[x * 3 + 1] = static_cast<char>(src[x * 3 + 1]);
      row[x * 3 + 2] = static_cast<char>(src[x * 3]);
    }
    s += row;
  }
  return s;
}

// One page, enough for SetThumbnail.
std::string SmallPdf() {
  const char* objects[] = {"<< /Type /Catalog /Pages 2 0 R >>",
                           "<< /Type /Pages /Kids [3 0 R] /Count 1 >>",
                           "<< /Type /Page /Parent 2 0 R /MediaBox [0 0 612 792] >>"};
  std::string out = "%PDF-1.4\n";
  std::vector<size_t> offsets;
  for (int i = 0; i < 3; ++i) {
    offsets.push_back(out.size());
    out += std::to_string(i + 1) + " 0 obj\n" + objects[i] + "\nendobj\n";
  }
  const size_t xref = out.size();
  out += "xref\n0 4\n0000000000 65535 f\r\n";
  char entry[32];
  for (size_t offset : offsets) {
    std::snprintf(entry, sizeof entry, "%010zu 00000 n\r\n", offset);
    out += entry;
  }
  out += "trailer\n<< /Size 4 /Root 1 0 R >>\nstartxref\n" + std::to_string(xref) + "\n%%EOF\n";
  return out;
}

std::string ReadFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

// What each side produced. zlib's output depends only on its input and
// settings, so equal sizes on both sides mean equal samples as well.
struct Result {
  int64_t compressed = 0;
};

// ---- our side: load the picture file, attach it to page 1 ----------------

Result Attach(const std::string& file, bool jpeg) {
  TgtPDFDocument doc;
  if (!doc.LoadFromBytes(SmallPdf())) std::abort();
  std::unique_ptr<TGraphic> picture;
  if (jpeg)
    picture = std::make_unique<TJPEGImage>();
  else
    picture = std::make_unique<TBitmap>();
  picture->LoadFromFile(file);
  doc.SetThumbnail(1, *picture);
  const TgtPDFObject* thumb = doc.Resolve(doc.PageDict(1).Lookup("/Thumb"));
  return {thumb->AsStream().Data()->Size()};
}

// ---- the floor -------------------------------------------------------------

int64_t Compress(const std::vector<uint8_t>& samples) {
  std::vector<uint8_t> out(compressBound(samples.size()));
  uLongf n = out.size();
  if (compress2(out.data(), &n, samples.data(), samples.size(), 6) != Z_OK) std::abort();
  return static_cast<int64_t>(n);
}

Result FloorJpeg(const std::string& file) {
  const std::string bytes = ReadFile(file);
  jpeg_decompress_struct c{};
  jpeg_error_mgr err{};
  c.err = jpeg_std_error(&err);
  jpeg_create_decompress(&c);
  jpeg_mem_src(&c, reinterpret_cast<const unsigned char*>(bytes.data()), bytes.size());
  jpeg_read_header(&c, TRUE);
  c.out_color_space = JCS_RGB;
  jpeg_start_decompress(&c);
  const size_t stride = static_cast<size_t>(c.output_width) * 3;
  std::vector<uint8_t> samples(stride * c.output_height);
  while (c.output_scanline < c.output_height) {
    JSAMPROW row = samples.data() + stride * c.output_scanline;
    jpeg_read_scanlines(&c, &row, 1);
  }
  jpeg_finish_decompress(&c);
  jpeg_destroy_decompress(&c);
  return {Compress(samples)};
}

Result FloorBmp(const std::string& file) {
  const std::string bytes = ReadFile(file);
  const auto* p = reinterpret_cast<const uint8_t*>(bytes.data());
  const uint32_t offset = p[10] | p[11] << 8 | p[12] << 16 | static_cast<uint32_t>(p[13]) << 24;
  const int width = p[18] | p[19] << 8 | p[20] << 16 | p[21] << 24;
  const int height = p[22] | p[23] << 8 | p[24] << 16 | p[25] << 24;
  const size_t stride = (static_cast<size_t>(width) * 3 + 3) & ~size_t{3};
  std::vector<uint8_t> samples(static_cast<size_t>(width) * height * 3);
  for (int y = 0; y < height; ++y) {
    const uint8_t* src = p + offset + stride * (height - 1 - y);
    uint8_t* dst = samples.data() + static_cast<size_t>(y) * width * 3;
    for (int x = 0; x < width * 3; x += 3) {
      dst[x] = src[x + 2];
      dst[x + 1] = src[x + 1];
      dst[x + 2] = src[x];
    }
  }
  return {Compress(samples)};
}

// ---- timing ------------------------------------------------------------------

// Processor time of the whole process (every thread Qt may use included)
// rather than wall time: on a shared machine other work stretches the wall
// time of the two sides unevenly.
double CpuSeconds() {
  timespec t{};
  clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &t);
  return static_cast<double>(t.tv_sec) + static_cast<double>(t.tv_nsec) * 1e-9;
}

double Seconds(const std::function<Result()>& action, Result& result) {
  const double start = CpuSeconds();
  result = action();
  return CpuSeconds() - start;
}

struct Pair {
  double ours = 1e9, floor = 1e9;
  Result ours_result, floor_result;
};

// Alternates the two sides and keeps the best of each, so that a busy
// machine distorts the ratio less.
Pair Measure(const std::function<Result()>& ours, const std::function<Result()>& floor,
             int rounds) {
  Pair p;
  for (int i = 0; i < rounds; ++i) {
    p.floor = std::min(p.floor, Seconds(floor, p.floor_result));
    p.ours = std::min(p.ours, Seconds(ours, p.ours_result));
  }
  return p;
}

void Report(const char* name, const Pair& p) {
  const double ratio = p.ours / p.floor;
  std::printf("%-26s attach %8.1f ms   floor %8.1f ms   ratio %.3f  %s\n", name, p.ours * 1000,
              p.floor * 1000, ratio, ratio <= kGoal ? "(within goal)" : "(OVER GOAL)");
  if (p.ours_result.compressed != p.floor_result.compressed)
    std::printf("%-26s compressed sizes differ: %lld against %lld\n", "",
                static_cast<long long>(p.ours_result.compressed),
                static_cast<long long>(p.floor_result.compressed));
}

}  // namespace

int main(int argc, char** argv) {
  // Freed memory stays in the process between rounds, so that the best
  // round measures the work and not the first touch of fresh pages.
  mallopt(M_TRIM_THRESHOLD, 1 << 30);
  mallopt(M_MMAP_THRESHOLD, 1 << 30);
  char pattern[] = "/tmp/pagemint-bench-thumbnail-XXXXXX";
  const std::filesystem::path dir = ::mkdtemp(pattern);
  const std::string jpeg = (dir / "photo.jpg").string();
  const std::string bmp = (dir / "photo.bmp").string();
  std::ofstream(jpeg, std::ios::binary)
      << EncodeJpeg(PhotoLike(kJpegWidth, kJpegHeight, 1), kJpegWidth, kJpegHeight);
  std::ofstream(bmp, std::ios::binary)
      << EncodeBmp(PhotoLike(kBmpWidth, kBmpHeight, 2), kBmpWidth, kBmpHeight);
  if (argc == 3) {
    const std::string side = argv[1];
    Result r;
    for (int i = 0, n = std::atoi(argv[2]); i < n; ++i) {
      if (side == "jpeg") r = Attach(jpeg, true);
      if (side == "bmp") r = Attach(bmp, false);
      if (side == "floor-jpeg") r = FloorJpeg(jpeg);
      if (side == "floor-bmp") r = FloorBmp(bmp);
    }
    std::printf("%lld bytes\n", static_cast<long long>(r.compressed));
  } else {
    std::printf("JPEG %dx%d: %lld bytes; bitmap %dx%d: %lld bytes\n", kJpegWidth, kJpegHeight,
                static_cast<long long>(std::filesystem::file_size(jpeg)), kBmpWidth, kBmpHeight,
                static_cast<long long>(std::filesystem::file_size(bmp)));
    const Pair j = Measure([&] { return Attach(jpeg, true); }, [&] { return FloorJpeg(jpeg); }, 3);
    const Pair b = Measure([&] { return Attach(bmp, false); }, [&] { return FloorBmp(bmp); }, 3);
    Report("JPEG 4000x3000", j);
    Report("bitmap 2000x1500 24-bit", b);
    Pair both;
    both.ours = j.ours + b.ours;
    both.floor = j.floor + b.floor;
    Report("both", both);
  }
  std::filesystem::remove_all(dir);
  return 0;
}
