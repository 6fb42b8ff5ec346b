// SPDX-License-Identifier: GPL-3.0-or-later
// Runs of many files: a file list, a kept folder tree, files side by side,
// the report (read back by jq, which also checks that every line is JSON),
// reruns that skip what is done; and --help, the manual page and the bash
// completion naming the same options.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <map>
#include <regex>
#include <set>

#include "cli/cli_test_util.h"
#include "platform/version.h"

namespace pagemint::testing {
namespace {

namespace fs = std::filesystem;

// A page the renderer draws without a word.
std::string Sound(int pages, bool thumbs = false) {
  PdfBuilder b = SimpleDocument(pages);
  b.AddStream(3, "", "0 0 1 rg 72 72 200 200 re f");
  if (thumbs) {
    for (int i = 0; i < pages; ++i)
      b.Add(4 + i, "<< /Type /Page /Parent 2 0 R /Contents 3 0 R /Thumb 20 0 R >>");
    b.AddStream(20, "/Width 1 /Height 1 /ColorSpace /DeviceRGB /BitsPerComponent 8",
                std::string("\xFF\x00\x00", 3));
  }
  return b.Build();
}

// The report as "name status added removed kept reason" per source name,
// through jq; a line that is not JSON makes jq fail the test.
std::map<std::string, std::string> ReportByName(const std::string& report) {
  int status = 0;
  const std::string text = RunCommand(
      "jq -r '[(.source | split(\"/\") | last), .status, .thumbnails_added, "
      ".thumbnails_removed, .thumbnails_kept, (.reason // \"-\" | .[0:24])] | join(\" \")' " +
          ShellQuote(report) + " 2>&1",
      &status);
  EXPECT_EQ(status, 0) << text;
  std::map<std::string, std::string> lines;
  std::istringstream in(text);
  for (std::string line; std::getline(in, line);)
    lines[line.substr(0, line.find(' '))] = line.substr(line.find(' ') + 1);
  return lines;
}

struct BatchRun {
  const char* name;
  // "ROOT", "OUT", "LIST" and "REPORT" are replaced by the test's paths.
  std::vector<std::string> args;
  int status;
  // By source name: the start of "status added removed kept reason",
  // the reason cut to 24 characters ("-" for none).
  std::map<std::string, std::string> report;
};

// One tree, run through in this order: each run sees what the ones before
// it left.
const BatchRun kRuns[] = {
    {"TreeFromNulList",
     {"--files-from", "LIST", "--null", "--output-dir", "OUT", "--keep-tree", "ROOT",
      "--render-thumbs", "--thumb-size", "16", "--jobs", "2", "--report", "REPORT"},
     1,
     {{"a.pdf", "written 2 0 0 -"},
      {"b.pdf", "written 1 0 0 -"},
      {"full.pdf", "written 2 0 0 -"},
      {"bad.pdf", "failed 0 0 0 "},  // the reason is the reader's
      {"locked.pdf", "failed 0 0 0 "},
      {"outside.pdf", "failed 0 0 0 not under the --keep-tre"},
      {"gone.pdf", "failed 0 0 0 no such file"}}},
    {"RerunSkipsWhatIsDone",
     {"--files-from", "LIST", "--null", "--output-dir", "OUT", "--keep-tree", "ROOT",
      "--render-thumbs", "--thumb-size", "16", "--skip-existing", "--report", "REPORT"},
     1,
     {{"a.pdf", "skipped 0 0 0 the destination is newer"},
      {"b.pdf", "skipped 0 0 0 the destination is newer"},
      {"full.pdf", "skipped 0 0 0 the destination is newer"},
      {"bad.pdf", "failed 0 0 0 "},
      {"locked.pdf", "failed 0 0 0 "},
      {"outside.pdf", "failed 0 0 0 not under the --keep-tre"},
      {"gone.pdf", "failed 0 0 0 no such file"}}},
    {"InPlaceSkipsCompleteFiles",
     {"--in-place", "--render-thumbs", "--thumb-size", "16", "--skip-existing", "--report",
      "REPORT", "ROOT/a.pdf", "ROOT/sub/deep/full.pdf"},
     0,
     {{"a.pdf", "written 2 0 0 -"}, {"full.pdf", "skipped 0 0 0 every page has a thumbn"}}},
    {"InPlaceNothingToChange",
     {"--in-place", "--remove-thumbs=1", "--report", "REPORT", "ROOT/sub/b.pdf",
      "ROOT/sub/deep/full.pdf"},
     0,
     {{"b.pdf", "unchanged 0 0 0 -"}, {"full.pdf", "written 0 1 1 -"}}},
};

TEST(CliBatch, RunsAndTheirReports) {
  TempDir dir;
  const std::string root = dir.File("root");
  fs::create_directories(root + "/sub/deep");
  dir.Write("root/a.pdf", Sound(2));
  dir.Write("root/sub/b.pdf", Sound(1));
  dir.Write("root/sub/deep/full.pdf", Sound(2, true));
  dir.Write("root/bad.pdf", "%PDF-1.4\nno PDF at all\n");
  const std::string plain = dir.Write("plain.pdf", Sound(1));
  RunCommand("qpdf --encrypt user owner 256 -- " + ShellQuote(plain) + " " +
             ShellQuote(root + "/sub/locked.pdf"));
  ASSERT_TRUE(fs::exists(root + "/sub/locked.pdf"));
  const std::string outside = dir.Write("outside.pdf", Sound(1));
  std::string list;
  for (const std::string& name : {root + "/a.pdf", root + "/sub/b.pdf", root + "/sub/deep/full.pdf",
                                  root + "/bad.pdf", root + "/sub/locked.pdf", outside,
                                  root + "/gone.pdf"})
    list += name + '\0';
  dir.Write("list", list);

  for (const BatchRun& run : kRuns) {
    SCOPED_TRACE(run.name);
    const fs::file_time_type b_time = fs::last_write_time(root + "/sub/b.pdf");
    std::vector<std::string> args;
    for (const std::string& arg : run.args) {
      std::string value = arg;
      for (const auto& [from, to] : {std::pair<std::string, std::string>{"ROOT", root},
                                     {"OUT", dir.File("out")},
                                     {"LIST", dir.File("list")},
                                     {"REPORT", dir.File("report")}})
        if (value.starts_with(from)) value = to + value.substr(from.size());
      args.push_back(value);
    }
    const CliResult r = RunCli(args);
    EXPECT_EQ(r.status, run.status) << r.err;
    // Every file once in the report, whatever its fate; a summary when many.
    std::map<std::string, std::string> report = ReportByName(dir.File("report"));
    for (const auto& [name, expected] : run.report)
      EXPECT_EQ(report[name].substr(0, expected.size()), expected) << name;
    EXPECT_EQ(report.size(), run.report.size());
    EXPECT_NE(r.err.find(std::to_string(run.report.size()) + " files in "), std::string::npos)
        << r.err;
    if (std::string(run.name) == "InPlaceNothingToChange") {
      EXPECT_EQ(fs::last_write_time(root + "/sub/b.pdf"), b_time);
    }
  }
  // The tree kept under OUT, each file sound.
  for (const char* written : {"a.pdf", "sub/b.pdf", "sub/deep/full.pdf"})
    EXPECT_EQ(QpdfCheckProblems(dir.File("out/") + written), "") << written;
  EXPECT_EQ(std::distance(fs::recursive_directory_iterator(dir.File("out")), {}), 5);
}

// Every option --help lists is in the manual page and the bash completion.
TEST(CliBatch, HelpManualPageAndCompletionAgree) {
  const CliResult help = RunCli({"--help"});
  const std::string manual = ReadFile(PAGEMINT_SOURCE_DIR "/packaging/man/pagemint-cli.1");
  const std::string completion = ReadFile(PAGEMINT_SOURCE_DIR "/packaging/completion/pagemint-cli");
  std::set<std::string> options;
  const std::regex option("--[a-z][a-z-]*");
  for (auto it = std::sregex_iterator(help.out.begin(), help.out.end(), option);
       it != std::sregex_iterator(); ++it)
    options.insert(it->str());
  EXPECT_GT(options.size(), 15u);
  // The manual page writes "-" as "\-".
  std::string plain_manual = manual;
  for (size_t at = plain_manual.find("\\-"); at != std::string::npos;
       at = plain_manual.find("\\-", at))
    plain_manual.erase(at, 1);
  for (const std::string& name : options) {
    EXPECT_TRUE(std::regex_search(plain_manual, std::regex(name + "\\b"))) << name;
    EXPECT_TRUE(std::regex_search(completion, std::regex(name + "\\b"))) << name;
  }
  const CliResult version = RunCli({"--version"});
  EXPECT_EQ(version.out, "pagemint-cli " PAGEMINT_VERSION "\n");
  EXPECT_EQ(version.status, 0);
}

}  // namespace
}  // namespace pagemint::testing
