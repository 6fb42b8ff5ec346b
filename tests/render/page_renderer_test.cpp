// SPDX-License-Identifier: GPL-3.0-or-later
// The renderer behind its interface: page size and orientation as a viewer
// shows the page, the same pixels from bytes and from the file, encrypted
// sources with the password that opens them, damaged sources and pages,
// and renderers on one source in several threads at once; the renderer
// process that crashes, hangs, runs out of memory or meets a decompression
// bomb costs one page and is replaced.
#include "render/page_renderer.h"

#include <gtest/gtest.h>
#include <zlib.h>

#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <thread>
#include <vector>

#include "render/render_protocol.h"

#include "pdf/reader/pdf_test_builder.h"

namespace pagemint {
namespace {

using testing::PdfBuilder;
using testing::RunCommand;
using testing::ShellQuote;
using testing::TempDir;

// Pages of 200 x 100 points: white with a red square in the top left
// quarter; the second page is turned by /Rotate 90, the third shows only
// the right half through its crop box.
std::string Document() {
  PdfBuilder b;
  b.Add(1, "<< /Type /Catalog /Pages 2 0 R >>");
  b.Add(2, "<< /Type /Pages /Kids [4 0 R 5 0 R 6 0 R] /Count 3 /MediaBox [0 0 200 100] >>");
  b.AddStream(3, "", "1 0 0 rg 0 50 100 50 re f");
  b.Add(4, "<< /Type /Page /Parent 2 0 R /Contents 3 0 R >>");
  b.Add(5, "<< /Type /Page /Parent 2 0 R /Contents 3 0 R /Rotate 90 >>");
  b.Add(6, "<< /Type /Page /Parent 2 0 R /Contents 3 0 R /CropBox [100 0 200 100] >>");
  return b.Build();
}

struct Rgb {
  int r, g, b;
};
Rgb At(const TRenderedPage& page, int x, int y) {
  const auto* p = reinterpret_cast<const uint8_t*>(page.rgb.data()) +
                  (static_cast<size_t>(y) * page.width + x) * 3;
  return {p[0], p[1], p[2]};
}
bool IsRed(Rgb c) { return c.r > 200 && c.g < 60 && c.b < 60; }
bool IsWhite(Rgb c) { return c.r > 240 && c.g > 240 && c.b > 240; }

TEST(PageRenderer, DrawsEachPageAsAViewerShowsIt) {
  const std::string bytes = Document();
  const std::unique_ptr<TPageRenderer> renderer = OpenPageRenderer({"", bytes, ""});
  ASSERT_EQ(renderer->PageCount(), 3);
  const struct {
    int index, size, width, height;
    int red_x, red_y, white_x, white_y;  // a red and a white pixel
  } cases[] = {
      {0, 128, 128, 64, 10, 10, 100, 50},  // red square top left
      {1, 128, 64, 128, 50, 10, 10, 100},  // turned clockwise: red top right
      {2, 64, 64, 64, 60, 60, 10, 10},     // crop box: only the white right half
      {0, 16, 16, 8, 2, 2, 14, 6},         // the smallest thumbnail
  };
  // Each case's page is asked for ahead (Prefetch) while the one before
  // is checked, except the last: another page is, whose answer must not
  // be taken for it.
  for (size_t k = 0; k < std::size(cases); ++k) {
    const auto& c = cases[k];
    SCOPED_TRACE(c.index);
    TRenderedPage page;
    ASSERT_TRUE(renderer->Render(c.index, c.size, page)) << renderer->LastError();
    if (k + 2 < std::size(cases)) renderer->Prefetch(cases[k + 1].index, cases[k + 1].size);
    if (k + 2 == std::size(cases)) renderer->Prefetch(1, 99);
    EXPECT_EQ(page.width, c.width);
    EXPECT_EQ(page.height, c.height);
    ASSERT_EQ(page.rgb.size(), static_cast<size_t>(page.width) * page.height * 3);
    if (c.index != 2) {
      EXPECT_TRUE(IsRed(At(page, c.red_x, c.red_y)));
    }
    EXPECT_TRUE(IsWhite(At(page, c.white_x, c.white_y)));
  }
  TRenderedPage page;
  EXPECT_FALSE(renderer->Render(3, 128, page));  // past the last page
  EXPECT_FALSE(renderer->LastError().empty());
  EXPECT_FALSE(renderer->Render(-1, 128, page));
}

TEST(PageRenderer, FileAndBytesGiveTheSamePixels) {
  TempDir dir;
  const std::string bytes = Document();
  const std::string file = dir.Write("a.pdf", bytes);
  TRenderedPage from_file, from_bytes;
  ASSERT_TRUE(OpenPageRenderer({file, {}, ""})->Render(0, 100, from_file));
  ASSERT_TRUE(OpenPageRenderer({"", bytes, ""})->Render(0, 100, from_bytes));
  EXPECT_EQ(from_file.rgb, from_bytes.rgb);
}

TEST(PageRenderer, EncryptedSourceOpensWithItsPasswordOnly) {
  TempDir dir;
  const std::string plain = dir.Write("plain.pdf", Document());
  const std::string locked = dir.File("locked.pdf");
  int status = 0;
  RunCommand("qpdf --allow-weak-crypto --encrypt user owner 128 --use-aes=n -- " +
                 ShellQuote(plain) + " " + ShellQuote(locked) + " 2>&1",
             &status);
  ASSERT_EQ(status, 0);
  for (const char* password : {"user", "owner"}) {
    TRenderedPage page;
    ASSERT_TRUE(OpenPageRenderer({locked, {}, password})->Render(0, 64, page)) << password;
    EXPECT_TRUE(IsRed(At(page, 5, 5)));
  }
  EXPECT_THROW(OpenPageRenderer({locked, {}, "wrong"}), ERenderError);
  EXPECT_THROW(OpenPageRenderer({locked, {}, ""}), ERenderError);
}

TEST(PageRenderer, UnreadableSourcesRaise) {
  TempDir dir;
  EXPECT_THROW(OpenPageRenderer({dir.File("missing.pdf"), {}, ""}), ERenderError);
  const std::string garbage = "this is no PDF file at all";
  EXPECT_THROW(OpenPageRenderer({"", garbage, ""}), ERenderError);
}

// A page whose content is damaged still gives a picture of what could be
// drawn, with the renderer's reports about it; nothing goes to standard
// error (checked by the command-line tests, which capture it). The reports
// belong to the page and the thread that drew it: a sound page drawn on
// another thread at the same time has none.
TEST(PageRenderer, DamagedContentDrawsWhatItCanAndSaysSo) {
  PdfBuilder b;
  b.Add(1, "<< /Type /Catalog /Pages 2 0 R >>");
  b.Add(2, "<< /Type /Pages /Kids [4 0 R 5 0 R] /Count 2 /MediaBox [0 0 100 100] >>");
  b.AddStream(3, "/Filter /FlateDecode", "not deflated at all");
  b.Add(4,
        "<< /Type /Page /Parent 2 0 R /Contents 3 0 R /Resources << /XObject << /X 9 0 R >> >> >>");
  b.AddStream(6, "", "0 0 1 rg 0 0 100 100 re f");
  b.Add(5, "<< /Type /Page /Parent 2 0 R /Contents 6 0 R >>");
  const std::string bytes = b.Build();
  TRenderedPage damaged[2], sound[2];
  auto draw = [&](int index, TRenderedPage* pages) {
    const std::unique_ptr<TPageRenderer> renderer = OpenPageRenderer({"", bytes, ""});
    for (int round = 0; round < 2; ++round) EXPECT_TRUE(renderer->Render(index, 32, pages[round]));
  };
  std::thread other(draw, 1, sound);
  draw(0, damaged);
  other.join();
  for (int round = 0; round < 2; ++round) {
    EXPECT_TRUE(IsWhite(At(damaged[round], 16, 16)));
    EXPECT_GT(damaged[round].trouble_count, 0);
    EXPECT_FALSE(damaged[round].trouble.empty());
    EXPECT_EQ(damaged[round].trouble_count, damaged[0].trouble_count);
    EXPECT_EQ(sound[round].trouble_count, 0) << sound[round].trouble;
  }
}

TEST(PageRenderer, OneRendererPerThreadOnTheSameSource) {
  const std::string bytes = Document();
  constexpr int kThreads = 4;
  std::vector<std::string> results(kThreads);
  std::vector<std::thread> threads;
  for (int t = 0; t < kThreads; ++t)
    threads.emplace_back([&, t] {
      const std::unique_ptr<TPageRenderer> renderer = OpenPageRenderer({"", bytes, ""});
      TRenderedPage page;
      for (int round = 0; round < 3; ++round)
        if (renderer->Render(round % 2, 48, page)) results[t] += page.rgb;
    });
  for (std::thread& thread : threads) thread.join();
  for (int t = 1; t < kThreads; ++t) EXPECT_EQ(results[t], results[0]);
  EXPECT_FALSE(results[0].empty());
}

// Sets an environment variable for the renderer processes a test starts.
class ScopedVariable {
 public:
  ScopedVariable(const char* name, const std::string& value) : name_(name) {
    setenv(name, value.c_str(), 1);
  }
  ~ScopedVariable() { unsetenv(name_); }

 private:
  const char* name_;
};

// A process that crashes, never answers, or allocates past its limit on
// page 2 costs page 2 with a reason naming what happened; page 2 fails the
// same way again (the fault is the page's), and the pages around it are
// drawn by the processes that replace the failed one.
TEST(PageRenderer, FailingProcessCostsOnePageAndIsReplaced) {
  const std::string bytes = Document();
  const struct {
    const char* fault;
    const char* reason;
    bool timed_out;
  } cases[] = {
      {"crash:2", "killed by signal 11", false},
      {"hang:2", "took longer than 1 s", true},
      {"memory:2", "memory limit of 512 MB", false},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.fault);
    const ScopedVariable fault(render_protocol::kFaultVariable, c.fault);
    TRenderSource source{"", bytes, ""};
    source.timeout_ms = 1000;
    source.memory_limit = int64_t{512} << 20;
    const std::unique_ptr<TPageRenderer> renderer = OpenPageRenderer(source);
    TRenderedPage page;
    // The second round asks for the failing page ahead, as a run does.
    for (int round = 0; round < 2; ++round) {
      EXPECT_TRUE(renderer->Render(0, 32, page)) << renderer->LastError();
      const auto start = std::chrono::steady_clock::now();
      if (round == 1) renderer->Prefetch(1, 32);
      EXPECT_FALSE(renderer->Render(1, 32, page));
      EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(5));
      EXPECT_NE(renderer->LastError().find(c.reason), std::string::npos) << renderer->LastError();
      EXPECT_EQ(renderer->LastFailureTimedOut(), c.timed_out);
      EXPECT_TRUE(page.rgb.empty());
      EXPECT_TRUE(renderer->Render(2, 32, page)) << renderer->LastError();
    }
    // Asked for ahead, then not taken: the next page is drawn all the same.
    if (!c.timed_out) {
      renderer->Prefetch(1, 32);
      EXPECT_TRUE(renderer->Render(0, 32, page)) << renderer->LastError();
      EXPECT_TRUE(IsRed(At(page, 4, 4)));
    }
  }
}

// Deflates data at the best level.
std::string Deflate(const std::string& data) {
  uLongf size = compressBound(static_cast<uLong>(data.size()));
  std::string out(size, '\0');
  compress2(reinterpret_cast<Bytef*>(out.data()), &size,
            reinterpret_cast<const Bytef*>(data.data()), static_cast<uLong>(data.size()), 9);
  out.resize(size);
  return out;
}

// The zlib stream of count MB of spaces, built from one flushed block
// repeated (the same bytes a deflater writes for it), without deflating
// them all.
std::string DeflatedSpaces(int count) {
  z_stream z{};
  deflateInit(&z, 9);
  const std::string chunk(1 << 20, ' ');
  std::string out(compressBound(chunk.size()) + 64, '\0');
  auto run = [&](const std::string& in, int flush) {
    z.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(in.data()));
    z.avail_in = static_cast<uInt>(in.size());
    z.next_out = reinterpret_cast<Bytef*>(out.data());
    z.avail_out = static_cast<uInt>(out.size());
    deflate(&z, flush);
    return out.substr(0, out.size() - z.avail_out);
  };
  std::string stream = run(chunk, Z_FULL_FLUSH);  // header and the first block
  const std::string block = run(chunk, Z_FULL_FLUSH);
  for (int i = 2; i < count; ++i) stream += block;
  stream += run(chunk, Z_FINISH);
  deflateEnd(&z);
  return stream;
}

// A page whose content is a 3-level Flate bomb (a few KB inflating to
// 2 GB of spaces, which the renderer's reader skips inside one operation,
// so only ending the process stops it) fails at its time budget; the
// other page is drawn.
TEST(PageRenderer, DecompressionBombStopsAtTheBudget) {
  const std::string bomb = Deflate(Deflate(DeflatedSpaces(2048)));
  ASSERT_LT(bomb.size(), 20000u);
  PdfBuilder b;
  b.Add(1, "<< /Type /Catalog /Pages 2 0 R >>");
  b.Add(2, "<< /Type /Pages /Kids [4 0 R 5 0 R] /Count 2 /MediaBox [0 0 100 100] >>");
  b.AddStream(3, "/Filter [/FlateDecode /FlateDecode /FlateDecode]", bomb);
  b.Add(4, "<< /Type /Page /Parent 2 0 R /Contents 3 0 R >>");
  b.AddStream(6, "", "1 0 0 rg 0 0 100 100 re f");
  b.Add(5, "<< /Type /Page /Parent 2 0 R /Contents 6 0 R >>");
  const std::string bytes = b.Build();
  TRenderSource source{"", bytes, ""};
  source.timeout_ms = 1000;
  const std::unique_ptr<TPageRenderer> renderer = OpenPageRenderer(source);
  TRenderedPage page;
  const auto start = std::chrono::steady_clock::now();
  EXPECT_FALSE(renderer->Render(0, 32, page));
  EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(4));
  EXPECT_NE(renderer->LastError().find("took longer than 1 s"), std::string::npos)
      << renderer->LastError();
  EXPECT_TRUE(renderer->LastFailureTimedOut());
  ASSERT_TRUE(renderer->Render(1, 32, page)) << renderer->LastError();
  EXPECT_FALSE(renderer->LastFailureTimedOut());
  EXPECT_TRUE(IsRed(At(page, 16, 16)));
}

// A process started before the program was exec'd becomes the template
// the renderers' processes are copied from, ended when asked; entries that
// do not name a child of this process on a socket are ignored.
TEST(PageRenderer, PrestartedProcessIsTakenOnlyWhenItIsOurs) {
  TempDir dir;
  const std::string file = dir.Write("doc.pdf", Document());
  const std::string entry = PrestartPageRenderer();
  ASSERT_TRUE(entry.starts_with("PAGEMINT_RENDER_STARTED=")) << entry;
  const pid_t pid = static_cast<pid_t>(std::stol(entry.substr(entry.find('=') + 1)));
  const std::string socket_fd = entry.substr(entry.find(':') + 1);
  const std::string forged[] = {"1:" + socket_fd, "x", std::to_string(getpid()) + ":0",
                                std::to_string(pid) + ":2", entry.substr(entry.find('=') + 1)};
  for (const std::string& value : forged) {
    SCOPED_TRACE(value);
    setenv("PAGEMINT_RENDER_STARTED", value.c_str(), 1);
    AdoptPrestartedRenderer();
    EXPECT_EQ(std::getenv("PAGEMINT_RENDER_STARTED"), nullptr);
    {
      const std::unique_ptr<TPageRenderer> renderer = OpenPageRenderer({file, "", ""});
      TRenderedPage page;
      ASSERT_TRUE(renderer->Render(0, 32, page)) << renderer->LastError();
      EXPECT_TRUE(IsRed(At(page, 8, 4)));
    }
    EndIdleRenderer();
    const bool last = &value == &forged[std::size(forged) - 1];
    EXPECT_EQ(waitpid(pid, nullptr, WNOHANG) == -1 && errno == ECHILD, last);
  }
}

// This process's children running the renderer program.
std::vector<pid_t> RendererChildren() {
  std::vector<pid_t> found;
  for (const auto& entry : std::filesystem::directory_iterator("/proc")) {
    std::ifstream stat(entry.path() / "stat");
    std::string line;
    if (!std::getline(stat, line) || line.find("(pagemint-render)") == std::string::npos) continue;
    std::istringstream rest(line.substr(line.rfind(')') + 2));
    char state = 0;
    pid_t parent = 0;
    if (rest >> state >> parent && parent == getpid() && state != 'Z')
      found.push_back(static_cast<pid_t>(std::stol(entry.path().filename().string())));
  }
  return found;
}

// RendererChildren() once it counts count, or after two seconds: a process
// that was killed is gone a moment later.
std::vector<pid_t> RendererChildrenOnce(size_t count) {
  std::vector<pid_t> found = RendererChildren();
  for (int i = 0; i < 200 && found.size() != count; ++i) {
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
    found = RendererChildren();
  }
  return found;
}

// The renderers' processes are copies of one kept idle, children of this
// process like it (so they are ended and reaped here); a template that
// was killed is replaced by the next renderer.
TEST(PageRenderer, ProcessesAreCopiesOfAnIdleOneThatIsReplacedWhenKilled) {
  const std::string bytes = Document();
  EndIdleRenderer();
  for (int round = 0; round < 2; ++round) {
    SCOPED_TRACE(round);
    {
      const std::unique_ptr<TPageRenderer> renderer = OpenPageRenderer({"", bytes, ""});
      TRenderedPage page;
      ASSERT_TRUE(renderer->Render(0, 32, page)) << renderer->LastError();
      EXPECT_TRUE(IsRed(At(page, 8, 4)));
      EXPECT_EQ(RendererChildren().size(), 2u);
    }
    const std::vector<pid_t> idle = RendererChildrenOnce(1);
    ASSERT_EQ(idle.size(), 1u);
    kill(idle[0], SIGKILL);  // reaped by the next renderer opened
  }
  EXPECT_TRUE(RendererChildrenOnce(0).empty());
}

TEST(PageRenderer, MissingRendererProgramIsNamed) {
  const ScopedVariable program("PAGEMINT_RENDER_WORKER", "/nonexistent/pagemint-render");
  const std::string bytes = Document();
  try {
    OpenPageRenderer({"", bytes, ""});
    FAIL() << "opened without a renderer program";
  } catch (const ERenderError& e) {
    EXPECT_NE(e.Message().find("/nonexistent/pagemint-render"), std::string::npos) << e.Message();
  }
}

}  // namespace
}  // namespace pagemint
