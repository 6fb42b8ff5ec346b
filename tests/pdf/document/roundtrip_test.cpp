// SPDX-License-Identifier: GPL-3.0-or-later
// Round trips: documents by independent producers (qpdf in its several
// forms, Ghostscript) and the real-world corpus are loaded and saved
// whole. Every output must pass qpdf --check without a warning, keep its
// page count, render like its source and, when the source was encrypted,
// open with the same user password.
#include <gtest/gtest.h>

#include <fstream>
#include <iostream>
#include <sstream>

#include "corpus_manifest.h"
#include "pdf/document/pdf_document.h"
#include "pdf/reader/pdf_test_builder.h"
#include "platform/codepage.h"

namespace pagemint::testing {
namespace {

int QpdfPages(const std::string& file, const std::string& password) {
  const std::string option = password.empty() ? "" : " --password=" + ShellQuote(password);
  const std::string out =
      RunCommand("qpdf --show-npages" + option + " " + ShellQuote(file) + " 2>/dev/null");
  return out.empty() ? -1 : std::atoi(out.c_str());
}

// The pages first to last rendered at a low resolution, as one byte string
// of PPM images.
std::string Render(const std::string& file, const std::string& password, int first, int last) {
  const std::string option =
      password.empty() ? "" : " -opw " + ShellQuote(password) + " -upw " + ShellQuote(password);
  return RunCommand("pdftoppm -r 24 -f " + std::to_string(first) + " -l " + std::to_string(last) +
                    option + " " + ShellQuote(file) + " 2>/dev/null");
}

// The size of page 1 as the renderer's library sees it: "612 x 792".
std::string PageSizeText(const std::string& file, const std::string& password) {
  const std::string option =
      password.empty() ? "" : " -opw " + ShellQuote(password) + " -upw " + ShellQuote(password);
  const std::string info = RunCommand("pdfinfo" + option + " " + ShellQuote(file) + " 2>/dev/null");
  const size_t at = info.find("Page size:");
  if (at == std::string::npos) return {};
  const size_t start = info.find_first_not_of(' ', at + 10);
  const size_t end = info.find(" pts", start);
  return end == std::string::npos ? std::string() : info.substr(start, end - start);
}

// Loads source (answering the password event with password), saves it to
// target; the error text, or empty.
std::string RoundTrip(const std::string& source, const std::string& target,
                      const std::string& password, TgtPDFDocument& document) {
  document.OnPassword = [&](TgtCustomPDFDocument&, std::string& given, bool& go_on, int32_t tries) {
    given = Utf8ToAnsi(password);
    go_on = tries == 0;
  };
  try {
    if (!document.LoadFromFile(source)) return "not loaded";
    document.SaveToFile(target);
  } catch (const Exception& error) {
    return error.Message().empty() ? "an error without a message" : error.Message();
  }
  return {};
}

// Five pages with distinct drawings under a two-level page tree, with an
// outline and information in UTF-16.
std::string SourceDocument() {
  PdfBuilder b;
  b.Add(1, "<< /Type /Catalog /Pages 2 0 R /Outlines 30 0 R /PageMode /UseOutlines >>");
  b.Add(2, "<< /Type /Pages /Kids [3 0 R 9 0 R] /Count 5 /MediaBox [0 0 200 200] >>");
  b.Add(3, "<< /Type /Pages /Parent 2 0 R /Kids [4 0 R 5 0 R 6 0 R] /Count 3 >>");
  b.Add(9, "<< /Type /Pages /Parent 2 0 R /Kids [10 0 R 11 0 R] /Count 2 /Rotate 90 >>");
  const int pages[] = {4, 5, 6, 10, 11};
  for (int i = 0; i < 5; ++i) {
    b.Add(pages[i], "<< /Type /Page /Contents " + std::to_string(20 + i) + " 0 R >>");
    const std::string box = std::to_string(20 + 30 * i);
    b.AddStream(20 + i, "",
                "0." + std::to_string(2 * i) + " 0.3 0.6 rg " + box + " 20 60 " + box +
                    " re f 0 0 1 RG 4 w 10 190 m 190 " + box + " l S");
  }
  b.Add(30, "<< /Type /Outlines /First 31 0 R /Last 31 0 R /Count 1 >>");
  b.Add(31,
        "<< /Title <FEFF00DC0062006500720073006900630068007400> /Parent 30 0 R "
        "/Dest [6 0 R /Fit] >>");
  b.Add(40, "<< /Title <FEFF004A006F00EB006C> /Creator (builder) >>");
  return b.Build("/Root 1 0 R /Info 40 0 R");
}

struct Producer {
  const char* name;
  const char* command;        // %s: source, %t: target
  const char* open_with;      // the password we are given
  const char* user_password;  // the source's and the output's user password
  bool encrypted;
};

class IndependentProducers : public ::testing::TestWithParam<Producer> {};

TEST_P(IndependentProducers, RoundTripKeepsPagesRenderingAndPasswords) {
  const Producer& p = GetParam();
  TempDir dir;
  const std::string plain = dir.Write("plain.pdf", SourceDocument());
  const std::string source = dir.File("source.pdf");
  std::string command = p.command;
  command.replace(command.find("%s"), 2, ShellQuote(plain));
  command.replace(command.find("%t"), 2, ShellQuote(source));
  int status = 0;
  const std::string log = RunCommand(command + " 2>&1", &status);
  ASSERT_EQ(status, 0) << command << "\n" << log;

  const std::string password = p.open_with;
  const std::string target = dir.File("out.pdf");
  TgtPDFDocument document;
  ASSERT_EQ(RoundTrip(source, target, password, document), "");
  EXPECT_EQ(document.IsEncrypted(), p.encrypted);

  EXPECT_EQ(QpdfCheckProblems(target, p.user_password), "");
  const int pages = QpdfPages(source, password);
  EXPECT_EQ(pages, 5);
  EXPECT_EQ(QpdfPages(target, p.user_password), pages);
  const std::string before = Render(source, password, 1, pages);
  ASSERT_FALSE(before.empty());
  EXPECT_TRUE(before == Render(target, p.user_password, 1, pages)) << "renders differ";

  // Written encrypted again, opened by the same user password only.
  const std::string trailer =
      RunCommand("qpdf --show-encryption --password=" + ShellQuote(p.user_password) + " " +
                 ShellQuote(target) + " 2>&1");
  EXPECT_EQ(trailer.find("File is not encrypted") == std::string::npos, p.encrypted) << trailer;
  if (p.encrypted && *p.user_password) {
    EXPECT_NE(QpdfCheckProblems(target, "not the password"), "");
  }
}

const Producer kProducers[] = {
    {"qpdf_classic", "qpdf --object-streams=disable %s %t", "", "", false},
    {"qpdf_object_streams", "qpdf --object-streams=generate %s %t", "", "", false},
    {"qpdf_linearized", "qpdf --linearize %s %t", "", "", false},
    {"qpdf_rc4_40_user", "qpdf --allow-weak-crypto --encrypt user owner 40 -- %s %t", "user",
     "user", true},
    {"qpdf_rc4_40_owner", "qpdf --allow-weak-crypto --encrypt user owner 40 -- %s %t", "owner",
     "user", true},
    {"qpdf_rc4_40_no_user", "qpdf --allow-weak-crypto --encrypt '' owner 40 -- %s %t", "", "",
     true},
    {"qpdf_rc4_128_user", "qpdf --allow-weak-crypto --encrypt user owner 128 --use-aes=n -- %s %t",
     "user", "user", true},
    {"qpdf_rc4_128_owner", "qpdf --allow-weak-crypto --encrypt user owner 128 --use-aes=n -- %s %t",
     "owner", "user", true},
    {"qpdf_rc4_128_objstm",
     "qpdf --allow-weak-crypto --object-streams=generate --encrypt user owner 128 --use-aes=n -- "
     "%s %t",
     "user", "user", true},
    {"ghostscript", "gs -q -dNOPAUSE -dBATCH -dSAFER -sDEVICE=pdfwrite -sOutputFile=%t %s", "", "",
     false},
};

INSTANTIATE_TEST_SUITE_P(Writer, IndependentProducers, ::testing::ValuesIn(kProducers),
                         [](const ::testing::TestParamInfo<Producer>& info) {
                           return std::string(info.param.name);
                         });

// Whether every warning of a qpdf --check report is about stream data
// that cannot be decoded.
bool OnlyDamagedStreamData(const std::string& report) {
  std::istringstream lines(report);
  std::string line;
  bool any = false;
  while (std::getline(lines, line)) {
    if (line.rfind("WARNING", 0) != 0) continue;
    if (line.find("error decoding stream data") == std::string::npos &&
        line.find("re-processed without filtering") == std::string::npos)
      return false;
    any = true;
  }
  return any;
}

struct Row {
  std::string path, pages, user_password, owner_password, expect;
};

// The manifest marks AES files reject, from when the engine refused them;
// they open now and must be written back as cleanly as any other file.
std::string Expectation(const corpus::Row& r) {
  const bool aes = r["encrypted"].rfind("AES", 0) == 0;
  return aes && r["expect"] == "reject" ? "ok" : r["expect"];
}

std::vector<Row> PdfRows() {
  std::vector<Row> rows;
  for (const corpus::Row& r : corpus::Rows({"pdf"}))
    rows.push_back({r["path"], r["pages"], r["user_password"], r["owner_password"], Expectation(r)});
  return rows;
}

// Every corpus file that loads is written again; what is written must be
// clean for qpdf and keep the page count, and page 1 of an ok file must
// render as its source's does.
TEST(CorpusRoundTrip, EveryLoadableFileIsWrittenCleanly) {
  const std::vector<Row> rows = PdfRows();
  if (rows.empty()) GTEST_SKIP() << "no corpus at " << PAGEMINT_CORPUS_DIR;
  int ok_total = 0, ok_clean = 0, ok_rendered = 0, reject_total = 0, rejected = 0, written = 0,
      unrenderable = 0;
  for (const Row& row : rows) {
    TempDir dir;
    const std::string source = std::string(PAGEMINT_CORPUS_DIR) + "/" + row.path;
    const std::string target = dir.File("out.pdf");
    std::string password = row.user_password == "?" ? "" : row.user_password;
    if (password.empty() && row.owner_password != "?") password = row.owner_password;
    TgtPDFDocument document;
    const std::string error = RoundTrip(source, target, password, document);
    if (row.expect == "reject") {
      ++reject_total;
      rejected += !error.empty();
    }
    if (!error.empty()) {
      EXPECT_NE(row.expect, "ok") << row.path << ": " << error;
      std::cout << "  " << row.expect << " not written " << row.path << ": " << error << "\n";
      continue;
    }
    ++written;
    // The output opens with the user password the source had.
    const std::string user = row.user_password == "?" ? "" : row.user_password;
    std::string problems = QpdfCheckProblems(target, user);
    // Stream data the source already holds damaged is kept as it is.
    if (!problems.empty() && OnlyDamagedStreamData(problems) &&
        OnlyDamagedStreamData(QpdfCheckProblems(source, password)))
      problems.clear();
    if (row.expect == "ok") {
      EXPECT_EQ(problems, "") << row.path;
    } else {
      // Files that are damaged in their content may keep warnings about
      // it, but never an error.
      EXPECT_EQ(problems.find("ERROR"), std::string::npos) << row.path << "\n" << problems;
      EXPECT_NE(QpdfPages(target, user), -1) << row.path;
    }
    const int pages = QpdfPages(target, user);
    EXPECT_EQ(pages, document.PageCount()) << row.path;
    bool same_render = false;
    if (row.expect == "ok") {
      ++ok_total;
      ok_clean += problems.empty() && std::to_string(pages) == row.pages;
      EXPECT_EQ(std::to_string(pages), row.pages) << row.path;
      std::string before = Render(source, password, 1, 1);
      if (before.empty()) {
        // The renderer cannot show the source as it is (a page tree it
        // rejects, say): compare with qpdf's repaired copy instead.
        const std::string repaired = dir.File("repaired.pdf");
        RunCommand("qpdf --decrypt --password=" + ShellQuote(password) + " " + ShellQuote(source) +
                   " " + ShellQuote(repaired) + " 2>&1");
        before = Render(repaired, "", 1, 1);
      }
      const std::string after = Render(target, user, 1, 1);
      if (before.empty() || PageSizeText(source, password) == "0 x 0") {
        // Neither the source nor qpdf's copy of it renders: nothing to
        // compare with.
        ++unrenderable;
        same_render = after.size() >= 100;
      } else {
        same_render = before == after;
        if (!same_render) {
          // A source the renderer reads differently from qpdf (damaged
          // stream keywords, say): we must render as qpdf's repair does.
          const std::string repaired = dir.File("repaired.pdf");
          RunCommand("qpdf --decrypt --password=" + ShellQuote(password) + " " +
                     ShellQuote(source) + " " + ShellQuote(repaired) + " 2>&1");
          same_render = Render(repaired, "", 1, 1) == after;
        }
        EXPECT_TRUE(same_render) << row.path << ": page 1 renders differently";
        ok_rendered += same_render;
      }
    }
    std::cout << "  " << row.expect << " written " << row.path << " pages " << pages
              << (problems.empty() ? " clean" : " qpdf complains")
              << (row.expect == "ok" ? (same_render ? " same page 1" : " page 1 differs") : "")
              << "\n";
  }
  std::cout << "corpus round trip: ok " << ok_clean << "/" << ok_total
            << " written clean with their page counts, " << ok_rendered << "/" << ok_total
            << " render page 1 alike (" << unrenderable << " whose source does not render); reject "
            << rejected << "/" << reject_total << " refused; " << written
            << " files written in all\n";
}

}  // namespace
}  // namespace pagemint::testing
