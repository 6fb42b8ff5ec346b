// How pagemint-cli chooses between an update and a full rewrite: a signed
// source is updated by default and keeps its signature (pdfsig says so),
// --full-rewrite rewrites it with the warning, --incremental updates any
// source, --in-place --incremental appends to the file itself, and a
// source whose table was rebuilt is written in full with a warning.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "cli/cli_test_util.h"
#include "pdf/document/test_signer.h"

namespace pagemint::testing {
namespace {

std::string TwoPages(bool damaged) {
  PdfBuilder b;
  b.Add(1, "<< /Type /Catalog /Pages 2 0 R >>");
  b.Add(2, "<< /Type /Pages /Kids [3 0 R 4 0 R] /Count 2 /MediaBox [0 0 200 300] >>");
  b.Add(3, "<< /Type /Page /Parent 2 0 R /Contents 5 0 R >>");
  b.Add(4, "<< /Type /Page /Parent 2 0 R /Contents 5 0 R >>");
  b.AddStream(5, "", "0 0 1 rg 20 20 100 200 re f");
  std::string pdf = b.Build();
  if (damaged) pdf.replace(pdf.rfind("startxref") + 10, 3, "999");
  return pdf;
}

struct Case {
  const char* name;
  bool sign;
  bool damaged;
  std::vector<std::string> flags;
  bool in_place;
  bool update;             // the output starts with the source's bytes
  int valid;               // signatures pdfsig finds valid afterwards
  const char* warning;     // expected on standard error ("" for none)
  const char* no_warning;  // must not be there
};

TEST(CliIncremental, ChoosesTheSaveMode) {
  const TestSigner signer;
  if (!signer.Ready()) GTEST_SKIP() << "certutil or pdfsig cannot make a signer here";
  const Case cases[] = {
      {"signed, default", true, false, {"--render-thumbs"}, false, true, 1, "stays valid",
       "no longer verify"},
      {"signed, full rewrite", true, false, {"--render-thumbs", "--full-rewrite"}, false, false, 0,
       "no longer verify", "stays valid"},
      {"signed, in place", true, false, {"--render-thumbs=2", "--incremental"}, true, true, 1,
       "stays valid", "no longer verify"},
      {"unsigned, default", false, false, {"--render-thumbs"}, false, false, 0, "", "stays valid"},
      {"unsigned, incremental", false, false, {"--render-thumbs", "--incremental"}, false, true, 0,
       "", "in full"},
      {"rebuilt, incremental", false, true, {"--render-thumbs", "--incremental"}, false, false, 0,
       "had to be rebuilt, so an update", "stays valid"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    TempDir dir;
    std::string source = dir.Write("source.pdf", TwoPages(c.damaged));
    if (c.sign) {
      ASSERT_TRUE(signer.Sign(source, dir.File("signed.pdf"), "Approval"));
      source = dir.File("signed.pdf");
    }
    const std::string before = ReadFile(source);
    std::vector<std::string> args;
    std::string output = source;
    if (c.in_place) {
      args = {"--in-place", source};
    } else {
      output = dir.File("out.pdf");
      args = {source, output};
    }
    args.insert(args.end(), c.flags.begin(), c.flags.end());
    const CliResult result = RunCli(args);
    ASSERT_EQ(result.status, 0) << result.err;
    if (c.damaged) {
      EXPECT_NE(result.err.find("saving it in full instead"), std::string::npos);
    }
    if (*c.warning) {
      EXPECT_NE(result.err.find(c.warning), std::string::npos) << result.err;
    }
    if (*c.no_warning) {
      EXPECT_EQ(result.err.find(c.no_warning), std::string::npos) << result.err;
    }
    if (c.sign && c.update) {
      EXPECT_NE(result.err.find("\"Approval\""), std::string::npos) << result.err;
    }
    const std::string after = ReadFile(output);
    EXPECT_EQ(after.size() > before.size() && after.compare(0, before.size(), before) == 0,
              c.update);
    const QpdfCheck check = CheckWithQpdf(output);
    EXPECT_TRUE(check.clean) << check.log;
    if (c.sign) {
      EXPECT_EQ(signer.Verify(output).valid, c.valid) << signer.Verify(output).log;
    }
  }
}

TEST(CliIncremental, FlagsExcludeEachOther) {
  const CliResult result = RunCli({"a.pdf", "b.pdf", "--incremental", "--full-rewrite"});
  EXPECT_EQ(result.status, 2);
  EXPECT_NE(result.err.find("--full-rewrite"), std::string::npos) << result.err;
}

}  // namespace
}  // namespace pagemint::testing
