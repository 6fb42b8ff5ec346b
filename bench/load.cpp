// SPDX-License-Identifier: GPL-3.0-or-later
// Opening documents of 1,000, 10,000 and 100,000 pages, with a classic
// cross-reference table and with object streams (made by qpdf), and the
// ratios between the sizes; qpdf --check on the 10,000-page file is the
// peer, timed in the same run. Last, a 20,000-page document is loaded sound
// and with its cross-reference table removed (so that it is rebuilt).
#include <malloc.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "pdf/document/pdf_document.h"

using namespace pagemint;

namespace {

// A balanced page tree (up to 100 kids per node), every page with its own
// content stream and a shared font and resource dictionary, the way
// producers write long reports.
std::string MakeDocument(int pages) {
  std::vector<std::string> objects(3);  // 1 catalog, 2 root, 3 font
  objects[0] = "<< /Type /Catalog /Pages 2 0 R >>";
  objects[2] = "<< /Type /Font /Subtype /Type1 /BaseFont /Helvetica >>";
  auto add = [&](std::string body) {
    objects.push_back(std::move(body));
    return static_cast<int>(objects.size());
  };
  std::vector<int> level;
  for (int i = 0; i < pages; ++i) {
    const std::string text = "BT /F1 12 Tf 72 720 Td (Page " + std::to_string(i + 1) + ") Tj ET";
    const int contents =
        add("<< /Length " + std::to_string(text.size()) + " >>\nstream\n" + text + "\nendstream");
    level.push_back(
        add("<< /Type /Page /Parent PARENT /MediaBox [0 0 612 792] /Resources << /Font << /F1 3 0 "
            "R >> >> /Contents " +
            std::to_string(contents) + " 0 R >>"));
  }
  // Group into nodes of 100 until one node is left; it becomes object 2.
  while (true) {
    std::vector<int> parents;
    const bool last = level.size() <= 100;
    for (size_t i = 0; i < level.size(); i += 100) {
      std::string kids;
      size_t end = std::min(level.size(), i + 100);
      for (size_t k = i; k < end; ++k) kids += std::to_string(level[k]) + " 0 R ";
      const std::string body =
          "<< /Type /Pages /Kids [" + kids + "] /Count " + std::to_string(end - i) + " >>";
      const int node = last ? 2 : add(body);
      if (last) objects[1] = body;
      for (size_t k = i; k < end; ++k) {
        std::string& child = objects[static_cast<size_t>(level[k]) - 1];
        const size_t at = child.find("PARENT");
        if (at != std::string::npos) child.replace(at, 6, std::to_string(node) + " 0 R");
      }
      parents.push_back(node);
    }
    if (last) break;
    level = parents;
  }
  for (std::string& object : objects) {
    const size_t at = object.find("/Parent PARENT ");
    if (at != std::string::npos) object.erase(at, 15);
    const size_t parent = object.find("/Parent PARENT");
    if (parent != std::string::npos) object.erase(parent, 14);
  }
  std::string out = "%PDF-1.4\n";
  std::vector<size_t> offsets;
  for (size_t i = 0; i < objects.size(); ++i) {
    offsets.push_back(out.size());
    out += std::to_string(i + 1) + " 0 obj\n" + objects[i] + "\nendobj\n";
  }
  const size_t xref = out.size();
  out += "xref\n0 " + std::to_string(objects.size() + 1) + "\n0000000000 65535 f\r\n";
  char entry[32];
  for (size_t offset : offsets) {
    std::snprintf(entry, sizeof entry, "%010zu 00000 n\r\n", offset);
    out += entry;
  }
  out += "trailer\n<< /Size " + std::to_string(objects.size() + 1) +
         " /Root 1 0 R >>\nstartxref\n" + std::to_string(xref) + "\n%%EOF\n";
  return out;
}

double Seconds(const std::function<void()>& action) {
  const auto start = std::chrono::steady_clock::now();
  action();
  return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

// The best of a few runs, so that a busy machine distorts less.
double LoadSeconds(const std::string& file, int expected_pages, int rounds = 0) {
  double best = 1e9;
  if (rounds == 0) rounds = expected_pages >= 100000 ? 1 : expected_pages >= 10000 ? 4 : 20;
  for (int round = 0; round < rounds; ++round) {
    TgtPDFDocument document;
    const double seconds = Seconds([&] { document.LoadFromFile(file); });
    if (document.PageCount() != expected_pages) {
      std::fprintf(stderr, "%s: %d pages read, %d expected\n", file.c_str(), document.PageCount(),
                   expected_pages);
      std::exit(1);
    }
    best = std::min(best, seconds);
  }
  return best;
}

}  // namespace

// With arguments: "bench_load FILE PAGES" loads one file (for a
// profiler); "bench_load --write PAGES FILE" writes a generated document.
int main(int argc, char** argv) {
  // Freed memory stays in the process between rounds, so that the best
  // round measures the reader and not the first touch of fresh pages,
  // which on a virtual machine costs much and varies more. The first
  // (cold) load of each file is reported too.
  mallopt(M_TRIM_THRESHOLD, 1 << 30);
  mallopt(M_MMAP_THRESHOLD, 1 << 30);
  if (argc == 4 && std::string(argv[1]) == "--write") {
    std::ofstream(argv[3], std::ios::binary) << MakeDocument(std::atoi(argv[2]));
    return 0;
  }
  if (argc == 3) {
    std::printf("%.1f ms\n", LoadSeconds(argv[1], std::atoi(argv[2]), 5) * 1000);
    return 0;
  }
  char pattern[] = "/tmp/pagemint-bench-load-XXXXXX";
  const std::filesystem::path dir = ::mkdtemp(pattern);
  const int sizes[] = {1000, 10000, 100000};
  std::string files[2][3];
  for (int s = 0; s < 3; ++s) {
    files[0][s] = (dir / ("classic-" + std::to_string(sizes[s]) + ".pdf")).string();
    std::ofstream(files[0][s], std::ios::binary) << MakeDocument(sizes[s]);
    files[1][s] = (dir / ("objstm-" + std::to_string(sizes[s]) + ".pdf")).string();
    const std::string command =
        "qpdf --object-streams=generate '" + files[0][s] + "' '" + files[1][s] + "'";
    if (std::system(command.c_str()) != 0) return 1;
  }
  // Passes over every file in turn, keeping each file's best time, so
  // that a busy moment on a shared machine does not land on one size only.
  double times[2][3];
  for (auto& row : times)
    for (double& t : row) t = 1e9;
  double cold[2][3];
  for (int pass = 0; pass < 5; ++pass)
    for (int kind = 0; kind < 2; ++kind)
      for (int s = 0; s < 3; ++s) {
        const double seconds = LoadSeconds(files[kind][s], sizes[s], pass == 0 ? 1 : 0);
        if (pass == 0) cold[kind][s] = seconds;
        times[kind][s] = std::min(times[kind][s], seconds);
      }
  for (int kind = 0; kind < 2; ++kind)
    for (int s = 0; s < 3; ++s)
      std::printf("%-14s %7d pages  best %8.1f ms  first %8.1f ms  (%6.2f MB)\n",
                  kind ? "object streams" : "classic", sizes[s], times[kind][s] * 1000,
                  cold[kind][s] * 1000, std::filesystem::file_size(files[kind][s]) / 1e6);
  const std::string ten_thousand[2] = {files[0][1], files[1][1]};
  for (int kind = 0; kind < 2; ++kind)
    std::printf("%-14s ratios: 10,000/1,000 = %.2f, 100,000/10,000 = %.2f (linear: 10)\n",
                kind ? "object streams" : "classic", times[kind][1] / times[kind][0],
                times[kind][2] / times[kind][1]);
  for (int kind = 0; kind < 2; ++kind) {
    const std::string command = "qpdf --check '" + ten_thousand[kind] + "' >/dev/null 2>&1";
    const double qpdf = Seconds([&] {
      if (std::system(command.c_str()) != 0) std::exit(1);
    });
    std::printf("%-14s 10,000 pages: load %.1f ms, qpdf --check %.1f ms, load / qpdf = %.2f\n",
                kind ? "object streams" : "classic", times[kind][1] * 1000, qpdf * 1000,
                times[kind][1] / qpdf);
  }
  // A damaged copy of the 20,000-page document: its table removed, so the
  // load fails over to a table rebuilt by a scan of the whole file.
  const std::string sound = MakeDocument(20000);
  const size_t table = sound.rfind("\nxref\n") + 1;
  const std::string damaged = sound.substr(0, table) + sound.substr(sound.find("trailer", table));
  const std::string sound_file = (dir / "sound-20000.pdf").string();
  const std::string damaged_file = (dir / "no-table-20000.pdf").string();
  std::ofstream(sound_file, std::ios::binary) << sound;
  std::ofstream(damaged_file, std::ios::binary) << damaged;
  double sound_best = 1e9, damaged_best = 1e9;
  for (int pass = 0; pass < 3; ++pass) {
    sound_best = std::min(sound_best, LoadSeconds(sound_file, 20000));
    damaged_best = std::min(damaged_best, LoadSeconds(damaged_file, 20000));
  }
  std::printf("20,000 pages: sound %.1f ms, table removed (rebuilt) %.1f ms, rebuilt / sound = %.2f\n",
              sound_best * 1000, damaged_best * 1000, damaged_best / sound_best);
  std::filesystem::remove_all(dir);
  return 0;
}
