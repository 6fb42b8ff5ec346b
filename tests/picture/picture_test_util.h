// SPDX-License-Identifier: GPL-3.0-or-later
// Helpers shared by the picture tests: little-endian byte building, a
// temporary folder, and ImageMagick's convert as a second decoder.
#pragma once

#include <QImage>
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <random>
#include <string>
#include <vector>

namespace pagemint::test {

class Bytes {
 public:
  Bytes& u8(unsigned v) {
    s_.push_back(static_cast<char>(v & 0xFF));
    return *this;
  }
  Bytes& u16(unsigned v) { return u8(v).u8(v >> 8); }
  Bytes& u32(uint32_t v) { return u16(v & 0xFFFF).u16(v >> 16); }
  Bytes& i32(int32_t v) { return u32(static_cast<uint32_t>(v)); }
  Bytes& raw(const std::string& b) {
    s_ += b;
    return *this;
  }
  Bytes& zeros(size_t n) {
    s_.append(n, '\0');
    return *this;
  }
  const std::string& str() const { return s_; }
  size_t size() const { return s_.size(); }

 private:
  std::string s_;
};

// A fresh folder under the system's temporary folder, removed afterwards.
class TempDir {
 public:
  TempDir() {
    std::random_device rd;
    path_ = std::filesystem::temp_directory_path() /
            ("pagemint-picture-" + std::to_string(rd()) + std::to_string(rd()));
    std::filesystem::create_directories(path_);
  }
  ~TempDir() {
    std::error_code ec;
    std::filesystem::remove_all(path_, ec);
  }
  std::string operator/(const std::string& name) const { return (path_ / name).string(); }

 private:
  std::filesystem::path path_;
};

inline std::string ReadFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

inline void WriteFile(const std::string& path, const std::string& bytes) {
  std::ofstream(path, std::ios::binary) << bytes;
}

// When PAGEMINT_SEED_DIR is set, keeps a file the test built as a fuzzing
// seed in <dir>/<kind>/, so the fuzz targets start from every variant.
inline void SaveSeed(const std::string& kind, const std::string& name, const std::string& bytes) {
  const char* root = std::getenv("PAGEMINT_SEED_DIR");
  if (root == nullptr || *root == '\0') return;
  const std::filesystem::path dir = std::filesystem::path(root) / kind;
  std::filesystem::create_directories(dir);
  std::string file;
  for (char c : name) {
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
    file += (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') ? c : '-';
  }
  // No leading dash, which tools would take for an option.
  file.erase(0, file.find_first_not_of('-'));
  WriteFile((dir / file).string(), bytes);
}

// png with the length of its first chunk of type raised by more (the
// chunk then claims bytes past its own).
inline std::string WithLongerChunk(std::string png, const std::string& type, uint32_t more) {
  const size_t at = png.find(type) - 4;
  uint32_t length = 0;
  for (size_t i = 0; i < 4; ++i) length = (length << 8) | static_cast<uint8_t>(png[at + i]);
  length += more;
  for (size_t i = 0; i < 4; ++i) png[at + i] = static_cast<char>(length >> (24 - 8 * i));
  return png;
}

inline bool HaveConvert() { return std::system("convert -version >/dev/null 2>&1") == 0; }

// Runs ImageMagick's convert with the given arguments (already quoted).
inline bool Convert(const std::string& args) {
  return std::system(("convert " + args + " 2>/dev/null").c_str()) == 0;
}

// Reads an 8-bit binary PPM (P6) into an RGB888 image; null on failure.
inline QImage ReadPpm(const std::string& path) {
  const std::string data = ReadFile(path);
  size_t pos = 0;
  auto token = [&]() {
    while (pos < data.size()) {
      if (data[pos] == '#') {
        while (pos < data.size() && data[pos] != '\n') ++pos;
      } else if (data[pos] == ' ' || data[pos] == '\n' || data[pos] == '\r' || data[pos] == '\t') {
        ++pos;
      } else {
        break;
      }
    }
    std::string t;
    while (pos < data.size() && data[pos] > ' ') t += data[pos++];
    return t;
  };
  if (token() != "P6") return {};
  const int w = std::atoi(token().c_str());
  const int h = std::atoi(token().c_str());
  const int maxval = std::atoi(token().c_str());
  ++pos;
  if (w <= 0 || h <= 0 || maxval != 255 || data.size() - pos < size_t(w) * h * 3) return {};
  QImage image(w, h, QImage::Format_RGB888);
  for (int y = 0; y < h; ++y)
    std::copy_n(data.data() + pos + size_t(y) * w * 3, size_t(w) * 3,
                reinterpret_cast<char*>(image.scanLine(y)));
  return image;
}

// convert's decode of a picture file as 8-bit RGB; null when it fails.
inline QImage ConvertToRgb(const std::string& source, const std::string& ppm) {
  if (!Convert("'" + source + "' -depth 8 'ppm:" + ppm + "'")) return {};
  return ReadPpm(ppm);
}

struct Difference {
  int max = 0;
  double mean = 0;
};

// Per-component difference of two same-sized images, alpha ignored.
inline Difference Compare(const QImage& a, const QImage& b) {
  const QImage x = a.convertToFormat(QImage::Format_RGB888);
  const QImage y = b.convertToFormat(QImage::Format_RGB888);
  Difference d;
  if (x.size() != y.size()) return {1 << 20, 1e9};
  double total = 0;
  for (int row = 0; row < x.height(); ++row) {
    const uint8_t* p = x.constScanLine(row);
    const uint8_t* q = y.constScanLine(row);
    for (int i = 0; i < x.width() * 3; ++i) {
      const int diff = std::abs(int(p[i]) - int(q[i]));
      d.max = std::max(d.max, diff);
      total += diff;
    }
  }
  d.mean = total / (double(x.width()) * x.height() * 3);
  return d;
}

}  // namespace pagemint::test
