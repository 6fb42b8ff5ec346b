// SPDX-License-Identifier: GPL-3.0-or-later
// Parsing speed of the lexer over ~50 MB of generated objects in memory,
// with `qpdf --check` on the same objects as a PDF file as the peer (when
// qpdf is installed). The peer's time includes its start-up and its own
// checks, so the ratio is only a rough guide.
#include <time.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <random>
#include <string>
#include <vector>

#include "pdf/parser/stream_reader.h"

using namespace pagemint;

namespace {

size_t target_bytes = 50u << 20;

// One indirect object with a mix of every kind the lexer reads.
std::string MakeObject(int number, std::mt19937& rng) {
  std::string s = std::to_string(number) + " 0 obj\n<< /Type /Annot /Subtype /Link";
  s += " /Rect [ " + std::to_string(rng() % 600) + " " + std::to_string(rng() % 800) +
       " 12.5 -3.25 ]";
  s += " /P " + std::to_string(rng() % 1000 + 1) + " 0 R";
  s += " /T (Literal text with \\(escapes\\) and \\101\\102 octal)";
  s += " /ID <0123456789ABCDEF0123456789abcdef>";
  s += " /Border [ 0 0 1 ] /F 4 /Open false /Parent null";
  s += " /Kids [ ";
  for (int i = 0; i < 8; ++i) s += std::to_string(rng() % 100000) + " 0 R ";
  s += "]";
  s += " /Widths [ ";
  for (int i = 0; i < 24; ++i) s += std::to_string(rng() % 1000) + " ";
  s += "]";
  s += " /Matrix [ 1.0 0.0 0.0 1.0 " + std::to_string(rng() % 100) + ".75 0.5 ]";
  s += " /A << /S /URI /URI (http://example.invalid/page) /Name#20Escaped /N#23 >> >>\nendobj\n";
  return s;
}

std::vector<std::string> MakeObjects() {
  std::mt19937 rng(1);
  std::vector<std::string> objects;
  size_t total = 0;
  for (int n = 3; total < target_bytes; ++n) {
    objects.push_back(MakeObject(n, rng));
    total += objects.back().size();
  }
  return objects;
}

// CPU time of this process: on a machine shared with other work the wall
// clock says more about the neighbours than about the parser.
double CpuSeconds() {
  timespec t{};
  clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &t);
  return static_cast<double>(t.tv_sec) + static_cast<double>(t.tv_nsec) * 1e-9;
}

double ParseSeconds(const std::string& text, size_t& count, double& cpu) {
  TMemoryStream source(text);
  const double cpu_start = CpuSeconds();
  const auto start = std::chrono::steady_clock::now();
  TgtPDFStreamReader reader(1, &source);
  count = 0;
  const int64_t size = reader.Size();
  for (;;) {
    reader.SkipWhitespace();
    if (reader.Pos() >= size) break;
    const TgtPDFObjectPtr object = reader.ReadObject();
    if (!object || !object->IsIndirect()) std::abort();
    reader.ReadToken();  // endobj
    ++count;
  }
  cpu = CpuSeconds() - cpu_start;
  return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

// The same objects as a PDF file that qpdf reaches whole: the catalog
// refers to every object.
std::string WritePdf(const std::vector<std::string>& objects) {
  std::string pdf = "%PDF-1.4\n";
  std::vector<size_t> offsets;
  std::string refs;
  for (size_t i = 0; i < objects.size(); ++i) refs += std::to_string(i + 3) + " 0 R ";
  offsets.push_back(pdf.size());
  pdf += "1 0 obj\n<< /Type /Catalog /Pages 2 0 R /Extra [ " + refs + "] >>\nendobj\n";
  offsets.push_back(pdf.size());
  pdf += "2 0 obj\n<< /Type /Pages /Kids [ ] /Count 0 >>\nendobj\n";
  for (const std::string& o : objects) {
    offsets.push_back(pdf.size());
    pdf += o;
  }
  const size_t xref = pdf.size();
  pdf += "xref\n0 " + std::to_string(offsets.size() + 1) + "\n0000000000 65535 f \n";
  char line[32];
  for (const size_t off : offsets) {
    std::snprintf(line, sizeof line, "%010zu 00000 n \n", off);
    pdf += line;
  }
  pdf += "trailer\n<< /Size " + std::to_string(offsets.size() + 1) +
         " /Root 1 0 R >>\nstartxref\n" + std::to_string(xref) + "\n%%EOF\n";
  const std::string path =
      (std::filesystem::temp_directory_path() / "pagemint_bench_parse.pdf").string();
  std::ofstream(path, std::ios::binary) << pdf;
  return path;
}

}  // namespace

int main(int argc, char** argv) {
  // --no-peer skips the qpdf run (it takes far longer than ours).
  // A second argument sets the size in MB (for runs under a profiler).
  const bool peer_wanted = !(argc > 1 && std::string(argv[1]) == "--no-peer");
  if (argc > 2) target_bytes = std::strtoul(argv[2], nullptr, 10) << 20;
  const std::vector<std::string> objects = MakeObjects();
  std::string text;
  for (const std::string& o : objects) text += o;
  double best = 1e9;
  double best_cpu = 1e9;
  size_t count = 0;
  for (int round = 0; round < 3; ++round) {
    double cpu = 0;
    best = std::min(best, ParseSeconds(text, count, cpu));
    best_cpu = std::min(best_cpu, cpu);
  }
  const double mb = static_cast<double>(text.size()) / 1e6;
  std::printf("%-32s %8.1f MB in %zu objects\n", "generated", mb, count);
  std::printf("%-32s %8.1f MB/s (%.3f s wall)\n", "ReadObject", mb / best, best);
  std::printf("%-32s %8.1f MB/s (%.3f s CPU)\n", "ReadObject, CPU time", mb / best_cpu, best_cpu);

  if (!peer_wanted || std::system("qpdf --version > /dev/null 2>&1") != 0) return 0;
  const std::string path = WritePdf(objects);
  const auto start = std::chrono::steady_clock::now();
  const int rc = std::system(("qpdf --check '" + path + "' > /dev/null 2>&1").c_str());
  const double peer =
      std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  std::filesystem::remove(path);
  std::printf("%-32s %8.1f MB/s (%.3f s, exit %d)\n", "qpdf --check (whole file)", mb / peer, peer,
              rc);
  std::printf("%-32s %8.2f\n", "ratio (our time / qpdf time)", best / peer);
  return 0;
}
