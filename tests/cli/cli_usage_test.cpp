// SPDX-License-Identifier: GPL-3.0-or-later
// The command line itself: help, usage errors and their exit status, and
// engine failures reported as "pagemint-cli: MESSAGE" with status 1. No
// failing run may leave DEST behind or touch an earlier file of that name.
#include <gtest/gtest.h>

#include <filesystem>

#include "cli/cli_test_util.h"

namespace pagemint::testing {
namespace {

constexpr const char kUsageStart[] = "Usage: pagemint-cli SOURCE DEST";

TEST(CliHelp, PrintsUsageOnStandardOutput) {
  for (const std::vector<std::string>& args :
       std::vector<std::vector<std::string>>{{"--help"}, {"-h"}, {"in.pdf", "out.pdf", "--help"}}) {
    const CliResult r = RunCli(args);
    EXPECT_EQ(r.status, 0) << args[0];
    EXPECT_EQ(r.out.rfind(kUsageStart, 0), 0u) << r.out;
    EXPECT_NE(r.out.find("--thumb PAGE=PICTURE"), std::string::npos);
    EXPECT_EQ(r.err, "");
  }
}

struct UsageCase {
  const char* name;
  std::vector<std::string> args;  // "DIR/" is replaced by the test's folder
  const char* message;            // the first line of standard error
};

class CliUsage : public ::testing::TestWithParam<UsageCase> {};

TEST_P(CliUsage, ExitsTwoWithShortUsageAndWritesNothing) {
  const UsageCase& c = GetParam();
  TempDir dir;
  const std::string source = dir.Write("in.pdf", SimpleDocument(2).Build());
  std::vector<std::string> args;
  for (const std::string& arg : c.args)
    args.push_back(arg.starts_with("DIR/") ? dir.File(arg.substr(4)) : arg);

  const CliResult r = RunCli(args);
  EXPECT_EQ(r.status, 2);
  EXPECT_EQ(r.out, "");
  EXPECT_EQ(r.err.substr(0, r.err.find('\n')), std::string("pagemint-cli: ") + c.message);
  EXPECT_NE(r.err.find(kUsageStart), std::string::npos);
  EXPECT_EQ(r.err.find("Exit status"), std::string::npos) << "the short usage, not the help";
  EXPECT_FALSE(std::filesystem::exists(dir.File("out.pdf")));
  EXPECT_FALSE(std::filesystem::exists(dir.File("out.pdf.pdf")));
}

const UsageCase kUsageCases[] = {
    {"NoArguments", {}, "no SOURCE file given"},
    {"NoDest", {"DIR/in.pdf"}, "no DEST file given"},
    {"ThreeFiles", {"DIR/in.pdf", "DIR/out.pdf", "extra"}, "one file name too many (extra)"},
    {"UnknownOption", {"DIR/in.pdf", "DIR/out.pdf", "--bogus"}, "unknown option --bogus"},
    {"UnknownShortOption", {"-x", "DIR/in.pdf", "DIR/out.pdf"}, "unknown option -x"},
    {"PasswordWithoutValue",
     {"DIR/in.pdf", "DIR/out.pdf", "--password"},
     "--password needs a value"},
    {"ThumbWithoutValue", {"DIR/in.pdf", "DIR/out.pdf", "--thumb"}, "--thumb needs a value"},
    {"FlagWithValue",
     {"DIR/in.pdf", "DIR/out.pdf", "--show-thumbs=yes"},
     "--show-thumbs takes no value"},
    {"InfoWithDest", {"--info", "DIR/in.pdf", "other.pdf"}, "one file name too many (other.pdf)"},
    {"InfoWithoutSource", {"--info"}, "no SOURCE file given"},
    {"InfoWithThumb",
     {"--info", "DIR/in.pdf", "--thumb", "1=a.bmp"},
     "--thumb does not go with --info"},
    {"InfoWithShowThumbs",
     {"--info", "DIR/in.pdf", "--show-thumbs"},
     "--show-thumbs does not go with --info"},
    {"ThumbWithoutPage",
     {"DIR/in.pdf", "DIR/out.pdf", "--thumb", "a.bmp"},
     "--thumb wants PAGE=PICTURE with PAGE a page number, not \"a.bmp\""},
    {"ThumbNegativePage",
     {"DIR/in.pdf", "DIR/out.pdf", "--thumb", "-1=a.bmp"},
     "--thumb wants PAGE=PICTURE with PAGE a page number, not \"-1=a.bmp\""},
    {"ThumbPageNotDecimal",
     {"DIR/in.pdf", "DIR/out.pdf", "--thumb=0x2=a.bmp"},
     "--thumb wants PAGE=PICTURE with PAGE a page number, not \"0x2=a.bmp\""},
    {"ThumbPageBeyond32Bits",
     {"DIR/in.pdf", "DIR/out.pdf", "--thumb", "4294967297=a.bmp"},
     "--thumb wants PAGE=PICTURE with PAGE a page number, not \"4294967297=a.bmp\""},
    {"ThumbWithoutPicture",
     {"DIR/in.pdf", "DIR/out.pdf", "--thumb", "1="},
     "--thumb wants PAGE=PICTURE with PAGE a page number, not \"1=\""},
    {"RenderPagesNotANumber",
     {"DIR/in.pdf", "DIR/out.pdf", "--render-thumbs=1-x"},
     "--render-thumbs wants pages such as 1-5,8,10- (counted from 1), not \"1-x\""},
    {"RemovePagesBackwards",
     {"DIR/in.pdf", "DIR/out.pdf", "--remove-thumbs=5-2"},
     "--remove-thumbs wants pages such as 1-5,8,10- (counted from 1), not \"5-2\""},
    {"PagesWithAnEmptyItem",
     {"DIR/in.pdf", "DIR/out.pdf", "--render-thumbs=1,,3"},
     "--render-thumbs wants pages such as 1-5,8,10- (counted from 1), not \"1,,3\""},
    {"PageZeroInAList",
     {"DIR/in.pdf", "DIR/out.pdf", "--render-thumbs=0-2"},
     "--render-thumbs wants pages such as 1-5,8,10- (counted from 1), not \"0-2\""},
    {"ThumbSizeTooSmall",
     {"DIR/in.pdf", "DIR/out.pdf", "--thumb-size", "15"},
     "--thumb-size wants a number from 16 to 1024, not \"15\""},
    {"ThumbSizeTooLarge",
     {"DIR/in.pdf", "DIR/out.pdf", "--thumb-size=1025"},
     "--thumb-size wants a number from 16 to 1024, not \"1025\""},
    {"JobsZero",
     {"DIR/in.pdf", "DIR/out.pdf", "--jobs", "0"},
     "--jobs wants a number from 1 to 64, not \"0\""},
    {"InPlaceAndOutputDir",
     {"--in-place", "--output-dir", "DIR/o", "DIR/in.pdf"},
     "--in-place does not go with --output-dir"},
    {"ExtractWithSeveralFiles",
     {"--in-place", "--extract-thumbs", "DIR/x", "DIR/in.pdf"},
     "--extract-thumbs does not go with --in-place"},
    {"ExtractWithThreeFiles",
     {"DIR/in.pdf", "DIR/out.pdf", "extra", "--extract-thumbs", "DIR/x"},
     "one file name too many (extra)"},
    {"InfoWithRender",
     {"--info", "DIR/in.pdf", "--render-thumbs"},
     "--render-thumbs does not go with --info"},
    {"InPlaceWithoutFiles", {"--in-place"}, "no SOURCE file given"},
};

INSTANTIATE_TEST_SUITE_P(All, CliUsage, ::testing::ValuesIn(kUsageCases),
                         [](const auto& info) { return std::string(info.param.name); });

// A picture's kind comes from its content: text named .PNG is a damaged
// PNG picture, text named .txt no picture at all. Either message names the
// picture as given, and nothing else reaches standard error.
TEST(CliPictureKind, DecidedByContentAndNamedInTheMessage) {
  TempDir dir;
  const std::string source = dir.Write("in.pdf", SimpleDocument(2).Build());
  const struct {
    const char* name;
    const char* says;
  } cases[] = {{"cover.PNG", "PNG image \""}, {"notes.txt", "is not a bitmap, JPEG"}};
  for (const auto& c : cases) {
    const std::string picture = dir.Write(c.name, "not a picture");
    const CliResult r = RunCli({source, dir.File("out.pdf"), "--thumb", "1=" + picture});
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.err.find('\n'), r.err.size() - 1) << "one line: " << r.err;
    EXPECT_NE(r.err.find(c.says), std::string::npos) << r.err;
    EXPECT_NE(r.err.find("\"" + picture + "\""), std::string::npos) << r.err;
    EXPECT_FALSE(std::filesystem::exists(dir.File("out.pdf")));
  }
}

// Failures found while the files are read: status 1, one line naming the
// problem, no DEST, an earlier DEST left as it was.
struct FailureCase {
  const char* name;
  std::vector<std::string> extra;  // after SOURCE and DEST; "DIR/" as above
  const char* source;              // file name of the source inside DIR
  const char* message;             // expected standard error, "DIR/" replaced
};

class CliFailure : public ::testing::TestWithParam<FailureCase> {};

TEST_P(CliFailure, ExitsOneWithTheEngineMessage) {
  const FailureCase& c = GetParam();
  TempDir dir;
  dir.Write("in.pdf", SimpleDocument(3).Build());
  dir.Write("garbage.pdf", "%PDF-1.4\nthis is no PDF file at all\n");
  dir.Write("good.bmp", BitmapFile(2, 2, {0xFF0000, 0x00FF00, 0x0000FF, 0xFFFFFF}));
  dir.Write("cut.bmp", BitmapFile(8, 8, std::vector<uint32_t>(64, 0x808080)).substr(0, 80));
  dir.Write("empty.jpg", "");
  const std::string dest = dir.Write("out.pdf", "an earlier file");
  auto expand = [&dir](std::string text) {
    for (size_t at = text.find("DIR/"); at != std::string::npos; at = text.find("DIR/"))
      text.replace(at, 4, dir.File(""));
    return text;
  };
  std::vector<std::string> args = {dir.File(c.source), dest};
  for (const std::string& arg : c.extra) args.push_back(expand(arg));

  const CliResult r = RunCli(args);
  EXPECT_EQ(r.status, 1);
  EXPECT_EQ(r.out, "");
  EXPECT_EQ(r.err, "pagemint-cli: " + expand(c.message) + "\n");
  EXPECT_EQ(ReadFile(dest), "an earlier file");
  // Nothing else appeared in the folder (no temporary file left over).
  size_t files = 0;
  for ([[maybe_unused]] const auto& entry : std::filesystem::directory_iterator(dir.File("")))
    ++files;
  EXPECT_EQ(files, 6u);
}

const FailureCase kFailureCases[] = {
    {"MissingSource", {}, "missing.pdf", "DIR/missing.pdf File Not Found"},
    {"PageBeyondDocument", {"--thumb", "4=DIR/good.bmp"}, "in.pdf", "Invalid page number (4)"},
    {"PageZero", {"--thumb", "0=DIR/good.bmp"}, "in.pdf", "Invalid page number (0)"},
    {"LaterBadPage",
     {"--thumb", "1=DIR/good.bmp", "--thumb", "7=DIR/good.bmp"},
     "in.pdf",
     "Invalid page number (7)"},
};

INSTANTIATE_TEST_SUITE_P(All, CliFailure, ::testing::ValuesIn(kFailureCases),
                         [](const auto& info) { return std::string(info.param.name); });

// Failures whose wording belongs to another part of the engine: the line
// starts with the program's name and names the file.
TEST(CliFailureMessages, NameTheFileThatFailed) {
  TempDir dir;
  const std::string source = dir.Write("in.pdf", SimpleDocument(3).Build());
  dir.Write("garbage.pdf", "%PDF-1.4\nthis is no PDF file at all\n");
  dir.Write("cut.bmp", BitmapFile(8, 8, std::vector<uint32_t>(64, 0x808080)).substr(0, 80));
  dir.Write("empty.jpg", "");
  const std::string dest = dir.File("out.pdf");
  const struct {
    std::vector<std::string> args;
    std::string names;
  } cases[] = {
      {{source, dest, "--thumb", "1=" + dir.File("none.bmp")}, dir.File("none.bmp")},
      {{source, dest, "--thumb", "1=" + dir.File("cut.bmp")}, dir.File("cut.bmp")},
      {{source, dest, "--thumb", "1=" + dir.File("empty.jpg")}, dir.File("empty.jpg")},
      {{dir.File("garbage.pdf"), dest}, ""},
      {{"--info", dir.File("garbage.pdf")}, ""},
  };
  for (const auto& c : cases) {
    const CliResult r = RunCli(c.args);
    EXPECT_EQ(r.status, 1) << c.args[0];
    EXPECT_EQ(r.err.rfind("pagemint-cli: ", 0), 0u) << r.err;
    EXPECT_EQ(r.err.find('\n'), r.err.size() - 1) << "one line: " << r.err;
    EXPECT_NE(r.err.find(c.names), std::string::npos) << r.err;
    EXPECT_FALSE(std::filesystem::exists(dest));
  }
}

}  // namespace
}  // namespace pagemint::testing
