// SPDX-License-Identifier: GPL-3.0-or-later
// Which files pagemint-cli reads and writes: a SOURCE is the file named
// when it exists (".pdf" is added only to a name that does not), extracted
// thumbnails never go through a link and replace nothing without --force,
// and a command that would do nothing useful is refused before any work.
#include <gtest/gtest.h>

#include <QImage>
#include <filesystem>

#include "cli/cli_test_util.h"

namespace pagemint::testing {
namespace {

namespace fs = std::filesystem;

// Four pages, the first and third with a thumbnail; mode is the page mode
// --info reports.
std::string FourPages(const std::string& mode) {
  return FourPagesWithThumbs(PdfBuilder(), " /PageMode /" + mode, "[0 0 612 792]",
                             "0 0 1 rg 100 100 300 300 re f");
}

TEST(CliFiles, TheNameAsGivenWinsOverTheNameWithPdf) {
  TempDir dir;
  const std::string doc = dir.Write("doc", FourPages("UseOutlines"));
  const std::string doc_pdf = dir.Write("doc.pdf", FourPages("FullScreen"));
  const std::string other_pdf = dir.Write("other.pdf", FourPages("UseThumbs"));

  EXPECT_NE(RunCli({"--info", doc}).out.find("page_mode: UseOutlines"), std::string::npos);
  // Completed only when the name itself does not exist.
  EXPECT_NE(RunCli({"--info", dir.File("other")}).out.find("page_mode: UseThumbs"),
            std::string::npos);

  const std::string before = ReadFile(doc_pdf);
  const CliResult r = RunCli({"--in-place", doc, "--remove-thumbs"});
  ASSERT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(ReadFile(doc_pdf), before);
  EXPECT_NE(RunCli({"--info", doc}).out.find("thumbnails: none"), std::string::npos);
  EXPECT_TRUE(CheckWithQpdf(doc).clean) << CheckWithQpdf(doc).log;
}

// page-1.png already in the folder as a file, a link to a file outside,
// or a dangling link outside: left alone (the outside untouched) without
// --force; with it, replaced by a plain file and the link's target still
// untouched.
TEST(CliFiles, ExtractedThumbnailsNeverGoThroughLinksNorReplaceWithoutForce) {
  enum class Kind { File, Link, Dangling };
  for (const Kind kind : {Kind::File, Kind::Link, Kind::Dangling}) {
    for (const bool force : {false, true}) {
      SCOPED_TRACE(std::to_string(static_cast<int>(kind)) + (force ? " --force" : ""));
      TempDir dir;
      const std::string source = dir.Write("in.pdf", FourPages("UseNone"));
      const std::string out_dir = dir.File("thumbs");
      fs::create_directory(out_dir);
      const std::string outside = dir.File("outside.txt");
      const std::string target = out_dir + "/page-1.png";
      if (kind == Kind::File) dir.Write("thumbs/page-1.png", "old");
      if (kind == Kind::Link) dir.Write("outside.txt", "secret");
      if (kind != Kind::File) fs::create_symlink(outside, target);

      std::vector<std::string> args = {source, "--extract-thumbs", out_dir};
      if (force) args.push_back("--force");
      const CliResult r = RunCli(args);
      // Page 3 is written either way.
      EXPECT_TRUE(fs::is_regular_file(out_dir + "/page-3.png"));
      if (kind == Kind::Link) {
        EXPECT_EQ(ReadFile(outside), "secret");
      }
      if (kind == Kind::Dangling) {
        EXPECT_FALSE(fs::exists(outside));
      }
      if (force) {
        EXPECT_EQ(r.status, 0) << r.err;
        EXPECT_FALSE(fs::is_symlink(target));
        EXPECT_FALSE(QImage(QString::fromStdString(target)).isNull());
      } else {
        EXPECT_EQ(r.status, 1);
        EXPECT_NE(r.err.find(target + " exists"), std::string::npos) << r.err;
        EXPECT_EQ(fs::is_symlink(target), kind != Kind::File);
        if (kind == Kind::File) {
          EXPECT_EQ(ReadFile(target), "old");
        }
      }
    }
  }
}

TEST(CliFiles, NothingUsefulToDoIsRefusedBeforeAnyWork) {
  TempDir dir;
  const std::string source = dir.Write("in.pdf", FourPages("UseNone"));
  const struct {
    std::vector<std::string> args;
    int status;
    const char* message;
  } cases[] = {
      {{source, "", "--render-thumbs"}, 2, "an empty file name"},
      {{source, "--extract-thumbs", dir.File("x"), ""}, 2, "an empty file name"},
      {{source, dir.File("out.pdf"), "--render-thumbs=5-"}, 1, "Invalid page number (5)"},
      {{source, dir.File("out.pdf"), "--remove-thumbs=2,9-"}, 1, "Invalid page number (9)"},
  };
  for (const auto& c : cases) {
    const CliResult r = RunCli(c.args);
    EXPECT_EQ(r.status, c.status) << r.err;
    EXPECT_NE(r.err.find(c.message), std::string::npos) << r.err;
    EXPECT_FALSE(fs::exists(dir.File("out.pdf")));
    EXPECT_FALSE(fs::exists(dir.File("x")));
  }
}

}  // namespace
}  // namespace pagemint::testing
