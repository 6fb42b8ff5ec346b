// SPDX-License-Identifier: GPL-3.0-or-later
// How pagemint-cli chooses between an update and a full rewrite: a signed
// source is updated by default and keeps its signature (pdfsig says so),
// --full-rewrite rewrites it with the warning, --incremental updates any
// source, --in-place --incremental appends to the file itself, and a
// source whose table was rebuilt is written in full with a warning.
#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "cli/cli_test_util.h"
#include "pdf/document/pdf_document.h"
#include "pdf/document/test_signer.h"
#include "picture/graphic.h"

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

// An update that fails part way leaves the file byte for byte as it was:
// the program run under a file-size limit just above the file's size
// (SIGXFSZ ignored, so the append fails with EFBIG after its first byte),
// and a save cancelled from the progress event at its first report or at
// its last one, after the update is written.
TEST(CliIncremental, FailedUpdateLeavesTheFileAsItWas) {
  struct Case {
    const char* name;
    double cancel_at;  // the fraction whose report cancels; below 0: the file-size limit
    bool in_place;     // else saved under another name, which must not appear
    const char* error;
  };
  const Case cases[] = {
      {"file-size limit", -1, true, "File too large); the file was cut back to its original length"},
      {"cancel at the start", 0.0, true, "Operation cancelled"},
      {"cancel at the end", 1.0, true, "Operation cancelled"},
      {"cancel at the end, other name", 1.0, false, "Operation cancelled"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    TempDir dir;
    const std::string source = dir.Write("source.pdf", TwoPages(false));
    const std::string before = ReadFile(source);
    std::string error;
    if (c.cancel_at < 0) {
      const std::string picture = dir.Write("picture.bmp", BitmapFile(2, 2, {0xFF0000, 0xFF, 0xFF00, 0}));
      const std::string command =
          "trap '' XFSZ; prlimit --fsize=" + std::to_string(before.size() + 1) + " " +
          ShellQuote(PAGEMINT_CLI) + " --in-place " + ShellQuote(source) + " --thumb 1=" +
          ShellQuote(picture) + " --incremental 2>&1 </dev/null";
      int status = 0;
      error = RunCommand(command, &status);
      EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 1) << status << error;
    } else {
      TgtPDFDocument document;
      ASSERT_TRUE(document.LoadFromFile(source));
      TBitmap picture;
      picture.SetSize(8, 8);
      document.SetThumbnail(1, picture);
      document.OnWorkProgress = [&c](TgtCustomPDFDocument&, TgtWorkStep step, double fraction,
                                     bool& cancel) {
        if (step == TgtWorkStep::Save && fraction >= c.cancel_at) cancel = true;
      };
      try {
        document.SaveIncremental(c.in_place ? source : dir.File("out.pdf"));
        ADD_FAILURE() << "saved";
      } catch (const EOperationCancelled& e) {
        error = e.what();
      }
    }
    EXPECT_NE(error.find(c.error), std::string::npos) << error;
    EXPECT_EQ(ReadFile(source), before);
    // Nothing else is left in the folder: no output, no temporary file.
    int files = 0;
    for (const auto& entry : std::filesystem::directory_iterator(dir.File("")))
      files += entry.path().filename() != "picture.bmp";
    EXPECT_EQ(files, 1);
  }
}

TEST(CliIncremental, FlagsExcludeEachOther) {
  const CliResult result = RunCli({"a.pdf", "b.pdf", "--incremental", "--full-rewrite"});
  EXPECT_EQ(result.status, 2);
  EXPECT_NE(result.err.find("--full-rewrite"), std::string::npos) << result.err;
}

}  // namespace
}  // namespace pagemint::testing
