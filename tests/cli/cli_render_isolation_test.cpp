// SPDX-License-Identifier: GPL-3.0-or-later
// A renderer process that crashes, never answers or runs out of memory on
// one page costs that page only: the run goes on, the other pages get their
// thumbnails, the page keeps the one it had, a warning names the page and
// the reason, and the file written passes qpdf --check.
#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>

#include "cli/cli_test_util.h"
#include "render/render_protocol.h"

namespace pagemint::testing {
namespace {

std::string Line(const std::string& out, const std::string& key) {
  const size_t at = out.find(key + ": ");
  if (at == std::string::npos) return "(missing)";
  const size_t start = at + key.size() + 2;
  return out.substr(start, out.find('\n', start) - start);
}

TEST(CliRenderIsolation, FailingRendererCostsOnePage) {
  const struct {
    const char* fault;
    const char* reason;
  } cases[] = {
      {"crash:3", "the renderer stopped: killed by signal 11"},
      {"hang:3", "the renderer took longer than 1 s and was stopped"},
      {"memory:3", "the renderer stopped: it needed more than its memory limit of 2048 MB"},
  };
  TempDir dir;
  // Pages 1 and 3 have a 1 x 1 thumbnail already.
  const std::string source = dir.Write(
      "in.pdf",
      FourPagesWithThumbs(PdfBuilder(), "", "[0 0 612 792]", "0 0 1 rg 100 100 300 300 re f"));
  for (const auto& c : cases) {
    SCOPED_TRACE(c.fault);
    setenv(render_protocol::kFaultVariable, c.fault, 1);
    const std::string dest = dir.File(std::string(c.fault).substr(0, 4) + ".pdf");
    const auto start = std::chrono::steady_clock::now();
    const CliResult r = RunCli({source, dest, "--render-thumbs", "--thumb-size", "64", "--jobs",
                                "2", "--render-timeout", "1"});
    const auto took = std::chrono::steady_clock::now() - start;
    unsetenv(render_protocol::kFaultVariable);
    ASSERT_EQ(r.status, 0) << r.err;
    const size_t warning = r.err.find("warning: Page 3 cannot be rendered (" + std::string(c.reason));
    ASSERT_NE(warning, std::string::npos) << r.err;
    const std::string line = r.err.substr(warning, r.err.find('\n', warning) - warning);
    EXPECT_TRUE(line.ends_with("); it keeps its old thumbnail")) << line;
    // A crashed page is tried again from the document as the engine
    // writes it; one that ran out of time is not: twice the budget at
    // most, with room for a slow machine.
    EXPECT_LT(took, std::chrono::seconds(20));
    EXPECT_TRUE(CheckWithQpdf(dest).clean) << CheckWithQpdf(dest).log;
    const std::string info = RunCli({"--info", dest}).out;
    EXPECT_EQ(Line(info, "thumbnail_sizes"), "1=49x64 2=49x64 3=1x1 4=49x64") << info;
  }
}

}  // namespace
}  // namespace pagemint::testing
