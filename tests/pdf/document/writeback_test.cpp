// SPDX-License-Identifier: GPL-3.0-or-later
// What the source held and a save must write back: page modes and layouts
// outside the component's tables, every viewer preference, outline counts
// as readers expect them, and signature dictionaries (with a warning that
// the signatures will not verify after the rewrite).
#include <gtest/gtest.h>

#include <cstring>
#include <functional>

#include "pdf/document/pdf_document.h"
#include "pdf/reader/pdf_test_builder.h"
#include "platform/messages.h"

namespace pagemint::testing {
namespace {

std::string Save(TgtPDFDocument& document) {
  TMemoryStream out;
  document.SaveToStream(out);
  return out.Bytes();
}

// The written catalog's dictionary text (object 1).
std::string CatalogText(const std::string& written) {
  const size_t start = written.find("\r\n1 0 obj\r\n");
  return written.substr(start, written.find("endobj", start) - start);
}

// The text of key's value in qpdf's one-line view of a dictionary: an
// array or dictionary with its brackets balanced, a string to its closing
// delimiter, anything else to the next space.
std::string QpdfValue(const std::string& shown, const std::string& key) {
  const size_t found = shown.find(key + " ");
  if (found == std::string::npos) return "(absent)";
  const size_t at = found + key.size() + 1;
  size_t end = at;
  if (shown.compare(at, 2, "<<") == 0 || shown[at] == '[') {
    int depth = 0;
    do {
      if (shown.compare(end, 2, "<<") == 0 || shown.compare(end, 2, ">>") == 0) {
        depth += shown[end] == '<' ? 1 : -1;
        end += 2;
      } else {
        depth += shown[end] == '[' ? 1 : shown[end] == ']' ? -1 : 0;
        ++end;
      }
    } while (depth > 0 && end < shown.size());
  } else if (shown[at] == '<' || shown[at] == '(') {
    end = shown.find(shown[at] == '<' ? '>' : ')', at) + 1;
  } else {
    end = shown.find_first_of(" \n", at);
  }
  return shown.substr(at, end - at);
}

std::string QpdfCatalog(const std::string& file) {
  const std::string trailer = RunCommand("qpdf --show-object=trailer " + ShellQuote(file));
  const size_t root = trailer.find("/Root ");
  if (root == std::string::npos) return trailer;
  return RunCommand("qpdf --show-object=" + std::to_string(std::stoi(trailer.substr(root + 6))) +
                    " " + ShellQuote(file));
}

TEST(Writeback, PageModeAndLayoutOutsideTheTables) {
  struct Case {
    const char* catalog;
    std::function<void(TgtPDFDocument&)> change;
    const char* mode;    // the written /PageMode line's value, "" for none
    const char* layout;  // the same for /PageLayout
  };
  const auto none = [](TgtPDFDocument&) {};
  const Case cases[] = {
      {"/PageMode /UseOC /PageLayout /TwoPageLeft", none, "/UseOC", "/TwoPageLeft"},
      {"/PageMode /UseAttachments /PageLayout /TwoPageRight", none, "/UseAttachments",
       "/TwoPageRight"},
      {"/PageMode /UseOC /PageLayout /TwoPageRight",
       [](TgtPDFDocument& d) { d.SetPageMode(pmUseThumbs); }, "/UseThumbs", "/TwoPageRight"},
      {"/PageMode /UseOC /PageLayout /TwoPageLeft",
       [](TgtPDFDocument& d) {
         d.SetPageMode(pmNone);
         d.SetPageLayout(plOneColumn);
       },
       "", "/OneColumn"},
      {"/PageMode /UseNone /PageLayout /None", none, "", ""},
  };
  for (const Case& c : cases) {
    TgtPDFDocument document;
    ASSERT_TRUE(document.LoadFromBytes(SimpleDocument(1, c.catalog).Build()));
    c.change(document);
    const std::string catalog = CatalogText(Save(document));
    for (const auto& [key, value] : {std::pair{"/PageMode", c.mode}, {"/PageLayout", c.layout}}) {
      if (*value)
        EXPECT_NE(catalog.find(std::string(key) + " " + value + "\r\n"), std::string::npos)
            << c.catalog << "\n"
            << catalog;
      else
        EXPECT_EQ(catalog.find(key), std::string::npos) << c.catalog << "\n" << catalog;
    }
  }
}

// Every key of the source's viewer preferences comes back with its value,
// also from a catalog that qpdf put into an object stream; the setters'
// changes apply on top.
TEST(Writeback, EveryViewerPreferenceIsKept) {
  const std::string preferences =
      "<< /PrintScaling /None /Duplex /DuplexFlipLongEdge /PickTrayByPDFSize true "
      "/PrintPageRange [1 2 4 4] /NumCopies 3 /Direction /R2L /HideToolbar false "
      "/Enforce [/PrintScaling] /NonFullScreenPageMode /UseOC /CenterWindow true >>";
  struct Case {
    const char* name;
    bool object_streams;
    std::function<void(TgtPDFDocument&)> change;
    std::function<std::string(std::string)> expected;  // from qpdf's view of the source's
  };
  const Case cases[] = {
      {"as held", false, [](TgtPDFDocument&) {}, [](std::string s) { return s; }},
      {"from an object stream", true, [](TgtPDFDocument&) {}, [](std::string s) { return s; }},
      {"changed by the setters", false,
       [](TgtPDFDocument& d) {
         d.ViewerPreferences().SetCenterWindow(false);
         d.ViewerPreferences().SetFitWindow(true);
       },
       [](std::string s) {
         s.replace(s.find("/CenterWindow true "), 19, "");
         return s.replace(s.find("/HideToolbar"), 0, "/FitWindow true ");
       }},
  };
  for (const Case& c : cases) {
    TempDir dir;
    std::string source = dir.Write("in.pdf", SimpleDocument(1, "/ViewerPreferences 30 0 R")
                                                 .Add(30, preferences)
                                                 .Build());
    if (c.object_streams) {
      RunCommand("qpdf --object-streams=generate " + ShellQuote(source) + " " +
                 ShellQuote(dir.File("packed.pdf")));
      source = dir.File("packed.pdf");
    }
    TgtPDFDocument document;
    ASSERT_TRUE(document.LoadFromFile(source)) << c.name;
    c.change(document);
    const std::string out = dir.File("out.pdf");
    document.SaveToFile(out);
    EXPECT_EQ(QpdfCheckProblems(out), "") << c.name;
    const std::string held = RunCommand("qpdf --show-object=30 " + ShellQuote(dir.File("in.pdf")));
    EXPECT_EQ(QpdfValue(QpdfCatalog(out), "/ViewerPreferences"), c.expected(held.substr(0, held.rfind(">>") + 2)))
        << c.name;
  }
}

// ISO 32000's outline counts: an open item counts every descendant it
// shows (through its open children), a closed one the descendants it
// would show when opened, negated; the root counts every visible item.
TEST(Writeback, OutlineCountsCountVisibleDescendants) {
  PdfBuilder b = SimpleDocument(1, "/Outlines 30 0 R");
  b.Add(30, "<< /Type /Outlines /First 31 0 R /Last 33 0 R /Count 99 >>");
  const auto item = [&](int number, const char* title, int parent, int prev, int next,
                        std::pair<int, int> kids, int count) {
    std::string text = "<< /Title (" + std::string(title) + ") /Parent " +
                       std::to_string(parent) + " 0 R /Dest [4 0 R /Fit]";
    if (prev) text += " /Prev " + std::to_string(prev) + " 0 R";
    if (next) text += " /Next " + std::to_string(next) + " 0 R";
    if (kids.first)
      text += " /First " + std::to_string(kids.first) + " 0 R /Last " +
              std::to_string(kids.second) + " 0 R /Count " + std::to_string(count);
    b.Add(number, text + " >>");
  };
  // A (open): A1 (closed: A1a, A1b), A2 (open: A2a); B (closed): B1,
  // B2 (open: B2a); C.
  item(31, "A", 30, 0, 32, {40, 41}, 1);
  item(32, "B", 30, 31, 33, {50, 51}, -1);
  item(33, "C", 30, 32, 0, {0, 0}, 0);
  item(40, "A1", 31, 0, 41, {42, 43}, -7);
  item(41, "A2", 31, 40, 0, {44, 44}, 5);
  item(42, "A1a", 40, 0, 43, {0, 0}, 0);
  item(43, "A1b", 40, 42, 0, {0, 0}, 0);
  item(44, "A2a", 41, 0, 0, {0, 0}, 0);
  item(50, "B1", 32, 0, 51, {0, 0}, 0);
  item(51, "B2", 32, 50, 0, {52, 52}, 1);
  item(52, "B2a", 51, 0, 0, {0, 0}, 0);
  TgtPDFDocument document;
  ASSERT_TRUE(document.LoadFromBytes(b.Build()));
  const std::string written = Save(document);
  const auto count_of = [&](const std::string& marker) {
    const size_t at = written.find(marker);
    if (at == std::string::npos) return std::string("(no item)");
    const size_t end = written.find(">>", at);
    const size_t count = written.rfind("/Count ", end);
    if (count == std::string::npos || count < at) return std::string("(none)");
    return written.substr(count + 7, written.find("\r\n", count) - count - 7);
  };
  const std::pair<const char*, const char*> expected[] = {
      {"/Title (A)", "3"},   {"/Title (A1)", "-2"}, {"/Title (A2)", "1"}, {"/Title (B)", "-3"},
      {"/Title (B2)", "1"},  {"/Title (C)", "(none)"}, {"/Title (A1a)", "(none)"},
  };
  for (const auto& [marker, count] : expected) EXPECT_EQ(count_of(marker), count) << marker;
  // The root (rebuilt without /Type) is the dictionary with /First and no /Title.
  const size_t root = written.find("<<\r\n/First ");
  ASSERT_NE(root, std::string::npos);
  const size_t root_end = written.find(">>", root);
  EXPECT_NE(written.substr(root, root_end - root).find("/Count 6\r\n"), std::string::npos)
      << written.substr(root, root_end - root);
  TempDir dir;
  EXPECT_EQ(QpdfCheckProblems(dir.Write("out.pdf", written)), "");
}

// Reals keep the value they were read with: a form whose matrix scales by
// 6e-11 (written 0.0000000001 by ten decimals, 1.67 times larger) renders
// as its source does, and the page's odd box keeps its digits.
TEST(Writeback, RealsKeepTheirValueAndTheRender) {
  PdfBuilder b;
  b.Add(1, "<< /Type /Catalog /Pages 2 0 R >>");
  b.Add(2, "<< /Type /Pages /Kids [3 0 R] /Count 1 >>");
  b.Add(3,
        "<< /Type /Page /Parent 2 0 R /MediaBox [0 0 300 299.99999999975] /Contents 4 0 R "
        "/Resources << /XObject << /X1 5 0 R >> >> /Extra [.00048828125 -.5 5.]>>");
  b.AddStream(4, "", "q 1 0 0 1 20 20 cm /X1 Do Q");
  b.AddStream(5,
              "/Type /XObject /Subtype /Form /BBox [0 0 4000000000000 4000000000000] "
              "/Matrix [.00000000006 0 0 .00000000006 0 0]",
              "0 0 1 rg 0 0 2000000000000 2000000000000 re f");
  TempDir dir;
  const std::string source = dir.Write("in.pdf", b.Build());
  TgtPDFDocument document;
  ASSERT_TRUE(document.LoadFromFile(source));
  const std::string out = dir.File("out.pdf");
  document.SaveToFile(out);
  EXPECT_EQ(QpdfCheckProblems(out), "");
  const std::string written = ReadFile(out);
  for (const char* text : {"/Matrix [ 0.00000000006 0 0 0.00000000006 0 0 ]",
                           "/MediaBox [ 0 0 300 299.99999999975 ]",
                           "/Extra [ 0.00048828125 -0.5 5.0 ]"})
    EXPECT_NE(written.find(text), std::string::npos) << text;
  const auto render = [](const std::string& file) {
    return RunCommand("pdftoppm -r 36 " + ShellQuote(file) + " 2>/dev/null");
  };
  const std::string before = render(source);
  ASSERT_GT(before.size(), 1000u);
  EXPECT_TRUE(render(out) == before) << "renders differ";
}

// A signed source warns before anything is written; its signature
// dictionaries come back as they were.
TEST(Writeback, SignedDocumentsWarnAndKeepTheirSignatures) {
  const std::string signature =
      "<< /Type /Sig /Filter /Adobe.PPKLite /SubFilter /adbe.pkcs7.detached "
      "/ByteRange [0 840 1000 2000] /Contents <3082053E06092A864886F70D010702A0820000> "
      "/M (D:20190927205452+09'00') >>";
  struct Case {
    const char* form;   // "" for none
    const char* field;  // object 40
    bool warns;
  };
  const Case cases[] = {
      {"<< /Fields [40 0 R] /SigFlags 3 >>", "<< /FT /Sig /T (S) /V 41 0 R >>", true},
      {"<< /Fields [40 0 R] /SigFlags 1 >>", "<< /FT /Tx /T (S) >>", true},
      {"<< /Fields [40 0 R] >>", "<< /FT /Sig /T (S) /V 41 0 R >>", true},
      {"<< /Fields [40 0 R] /SigFlags 2 >>", "<< /FT /Sig /T (S) >>", false},
      {"<< /Fields [40 0 R] /SigFlags 50 0 R >>", "<< /FT /Sig /T (S) /V null >>", true},
      {"<< /Fields [40 0 R] /SigFlags (1) >>", "<< /FT /Tx /T (S) /V (1) >>", false},
      {"", "<< /FT /Sig /T (S) /V 41 0 R >>", false},
  };
  for (const Case& c : cases) {
    PdfBuilder b = SimpleDocument(1, *c.form ? "/AcroForm 60 0 R" : "");
    if (*c.form) b.Add(60, c.form);
    b.Add(40, c.field);
    b.Add(41, signature);
    b.Add(50, "3");
    TgtPDFDocument document;
    std::vector<std::string> events;
    document.OnWarning = [&](TgtCustomPDFDocument&, const std::string& w) { events.push_back(w); };
    document.OnStatusMessage = [&](TgtCustomPDFDocument&, const std::string& m) {
      events.push_back("status: " + m);
    };
    ASSERT_TRUE(document.LoadFromBytes(b.Build())) << c.form;
    events.clear();
    const std::string written = Save(document);
    ASSERT_FALSE(events.empty());
    EXPECT_EQ(events.front() == msg::kDocumentSigned, c.warns) << c.form << " " << c.field;
    if (!*c.form || !std::strstr(c.field, "/V 41 0 R")) continue;
    EXPECT_NE(written.find("/ByteRange [ 0 840 1000 2000 ]\r\n/Contents "
                           "<3082053E06092A864886F70D010702A0820000>\r\n"),
              std::string::npos)
        << c.form;
    TempDir dir;
    EXPECT_EQ(QpdfCheckProblems(dir.Write("out.pdf", written)), "") << c.form;
  }
}

// A real signed file from another producer (object streams, cross-reference
// stream): the signature dictionary comes back byte for byte.
TEST(Writeback, RealSignedFileKeepsItsSignatureDictionary) {
  const std::string source = std::string(PAGEMINT_CORPUS_DIR) + "/pdf/real/qpdf/digitally-signed.pdf";
  if (!std::filesystem::exists(source)) GTEST_SKIP() << "no corpus file " << source;
  TgtPDFDocument document;
  std::vector<std::string> warnings;
  document.OnWarning = [&](TgtCustomPDFDocument&, const std::string& w) { warnings.push_back(w); };
  ASSERT_TRUE(document.LoadFromFile(source));
  TempDir dir;
  const std::string out = dir.File("out.pdf");
  document.SaveToFile(out);
  EXPECT_EQ(warnings, std::vector<std::string>{msg::kDocumentSigned});
  EXPECT_EQ(QpdfCheckProblems(out), "");
  // The value of the first signature field, as qpdf shows it.
  const auto signature = [](const std::string& file) {
    const std::string json = RunCommand("qpdf --json --json-key=acroform " + ShellQuote(file));
    const size_t field = json.find("\"fieldtype\": \"/Sig\"");
    const size_t value = json.find("\"value\": \"", field);
    if (field == std::string::npos || value == std::string::npos) return json;
    return RunCommand("qpdf --show-object=" + std::to_string(std::stoi(json.substr(value + 10))) +
                      " " + ShellQuote(file));
  };
  const std::string before = signature(source);
  const std::string after = signature(out);
  ASSERT_NE(before.find("/Contents <3082"), std::string::npos) << before;
  for (const char* key : {"/Contents", "/ByteRange", "/SubFilter", "/M"})
    EXPECT_EQ(QpdfValue(after, key), QpdfValue(before, key)) << key;
}

}  // namespace
}  // namespace pagemint::testing
