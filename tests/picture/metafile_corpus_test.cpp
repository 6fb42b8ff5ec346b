// SPDX-License-Identifier: GPL-3.0-or-later
// Every metafile of the real-world corpus: those marked ok load and play
// without an error, those marked reject fail with a clear error. The
// renderings go to <build>/metafile_corpus/ for inspection (the contact
// sheet script picks them up from there).
#include <gtest/gtest.h>

#include <QImage>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "corpus_manifest.h"
#include "picture/metafile.h"

namespace pagemint {
namespace {

namespace fs = std::filesystem;

// Renderings are scaled to fit this box (a few corpus pictures are tens of
// thousands of pixels wide), and small ones enlarged up to kPreviewZoom
// times, which plays them through a scaled frame as well.
constexpr int kPreviewSide = 600;
constexpr double kPreviewZoom = 4;
// Pictures up to this many pixels are also drawn at their own size, the
// way the thumbnail path draws them.
constexpr int64_t kFullSizePixels = 1 << 21;

struct Entry {
  std::string path;
  std::string expect;
};

std::vector<Entry> CorpusMetafiles() {
  std::vector<Entry> out;
  for (const corpus::Row& r : corpus::Rows({"emf"})) out.push_back({r["path"], r["expect"]});
  return out;
}

std::string ReadAll(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), {});
}

// Loads and plays; returns the error message, or "" on success.
std::string LoadAndPlay(const std::string& bytes, const std::string& name, const fs::path& png) {
  TMetafile metafile;
  try {
    metafile.LoadFromBytes(bytes, name);
    const double fit = std::min(kPreviewZoom, static_cast<double>(kPreviewSide) /
                                                  std::max(metafile.Width(), metafile.Height()));
    const int w = std::max(1, static_cast<int>(metafile.Width() * fit + 0.5));
    const int h = std::max(1, static_cast<int>(metafile.Height() * fit + 0.5));
    TBitmap preview;
    preview.SetSize(w, h);
    metafile.StretchDraw(preview, QRect(0, 0, w, h));
    preview.Image().save(QString::fromStdString(png.string()), "PNG");
    if (int64_t{metafile.Width()} * metafile.Height() <= kFullSizePixels) {
      TBitmap full;
      full.SetWidth(metafile.Width());
      full.SetHeight(metafile.Height());
      metafile.Draw(full, 0, 0);
    }
  } catch (const EInvalidGraphic& e) {
    return e.what();
  }
  return "";
}

TEST(MetafileCorpus, EveryMetafilePlaysOrFailsClearly) {
  const std::vector<Entry> entries = CorpusMetafiles();
  if (entries.empty()) GTEST_SKIP() << "no corpus at " << PAGEMINT_CORPUS_DIR;
  const fs::path out = fs::path(PAGEMINT_BINARY_DIR) / "metafile_corpus";
  fs::create_directories(out);
  for (const Entry& e : entries) {
    SCOPED_TRACE(e.path);
    const fs::path file = fs::path(PAGEMINT_CORPUS_DIR) / e.path;
    const std::string name = file.filename().string();
    const auto start = std::chrono::steady_clock::now();
    const std::string error =
        LoadAndPlay(ReadAll(file), name, out / (file.stem().string() + ".png"));
    const auto ms = std::chrono::duration_cast<std::chrono::milliseconds>(
                        std::chrono::steady_clock::now() - start)
                        .count();
    std::printf("  %-50s %-6s %5lld ms  %s\n", name.c_str(), e.expect.c_str(),
                static_cast<long long>(ms), error.c_str());
    if (e.expect == "ok") {
      EXPECT_EQ(error, "");
    } else if (e.expect == "reject") {
      EXPECT_NE(error, "");
    }
    if (!error.empty()) {
      EXPECT_NE(error.find(name), std::string::npos) << error;
    }
  }
}

}  // namespace
}  // namespace pagemint
