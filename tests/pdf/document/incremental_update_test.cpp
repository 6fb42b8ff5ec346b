// SPDX-License-Identifier: GPL-3.0-or-later
// Incremental updates checked by independent tools: documents of several
// kinds signed by pdfsig get thumbnails as an update, and then the source's
// bytes are still the output's first bytes, pdfsig finds every signature
// valid, qpdf --check is clean and Poppler reads every page's thumbnail; a
// second update on top (in place) does the same. Sources that cannot take
// an update say why, and certified or signed fields are named in warnings.
#include <gtest/gtest.h>
#include <poppler-qt6.h>

#include <filesystem>
#include <fstream>
#include <functional>
#include <memory>
#include <regex>

#include "pdf/document/pdf_document.h"
#include "pdf/document/test_signer.h"
#include "pdf/objects/pdf_exceptions.h"
#include "pdf/security/encryption_settings.h"
#include "pdf/reader/pdf_test_builder.h"
#include "picture/graphic.h"

namespace pagemint {
namespace {

using testing::PdfBuilder;
using testing::QpdfCheckProblems;
using testing::ReadFile;
using testing::RunCommand;
using testing::ShellQuote;
using testing::TempDir;
using testing::TestSigner;

// Three pages with text, so that rendering draws something on each.
std::string ThreePages() {
  PdfBuilder b;
  b.Add(1, "<< /Type /Catalog /Pages 2 0 R >>");
  b.Add(2, "<< /Type /Pages /Kids [4 0 R 5 0 R 6 0 R] /Count 3 /MediaBox [0 0 300 400] >>");
  b.Add(3, "<< /Type /Font /Subtype /Type1 /BaseFont /Helvetica >>");
  for (int i = 0; i < 3; ++i) {
    b.Add(4 + i, "<< /Type /Page /Parent 2 0 R /Resources << /Font << /F1 3 0 R >> >> /Contents " +
                     std::to_string(7 + i) + " 0 R >>");
    b.AddStream(7 + i, "",
                "0.8 0.2 0.2 rg 30 30 200 " + std::to_string(100 + 80 * i) +
                    " re f BT /F1 30 Tf 40 350 Td (Page " + std::to_string(i + 1) + ") Tj ET");
  }
  b.Add(10, "<< /Title (Contract) /Producer (builder) >>");
  return b.Build("/Root 1 0 R /Info 10 0 R");
}

std::unique_ptr<TBitmap> Picture(int width, int height) {
  auto bitmap = std::make_unique<TBitmap>();
  bitmap->SetSize(width, height);
  return bitmap;
}

// Poppler's reading of every page's thumbnail (null images for none).
int PagesWithThumbnails(const std::string& file) {
  const std::unique_ptr<Poppler::Document> document =
      Poppler::Document::load(QString::fromStdString(file));
  if (!document || document->isLocked()) return -1;
  int count = 0;
  for (int i = 0; i < document->numPages(); ++i)
    if (!document->page(i)->thumbnail().isNull()) ++count;
  return count;
}

struct Kind {
  const char* name;
  const char* qpdf_options;  // how the unsigned source is made; nullptr: as built
  int signatures;
  bool stream_section;  // the signed source ends in a cross-reference stream
};

class IncrementalUpdate : public ::testing::TestWithParam<Kind> {
 protected:
  static void SetUpTestSuite() { signer_ = new TestSigner(); }
  static void TearDownTestSuite() {
    delete signer_;
    signer_ = nullptr;
  }
  static TestSigner* signer_;
};
TestSigner* IncrementalUpdate::signer_ = nullptr;

TEST_P(IncrementalUpdate, SignaturesStayValidThroughTwoUpdates) {
  const Kind& kind = GetParam();
  if (!signer_->Ready()) GTEST_SKIP() << "certutil or pdfsig cannot make a signer here";
  TempDir dir;
  std::string source = dir.Write("built.pdf", ThreePages());
  if (kind.qpdf_options) {
    int status = 0;
    const std::string made = dir.File("made.pdf");
    const std::string log = RunCommand(std::string("qpdf ") + kind.qpdf_options + " " +
                                           ShellQuote(source) + " " + ShellQuote(made) + " 2>&1",
                                       &status);
    ASSERT_EQ(status, 0) << log;
    source = made;
  }
  for (int i = 1; i <= kind.signatures; ++i) {
    const std::string signed_file = dir.File("signed" + std::to_string(i) + ".pdf");
    ASSERT_TRUE(signer_->Sign(source, signed_file, "Signer" + std::to_string(i)));
    source = signed_file;
  }
  ASSERT_EQ(signer_->Verify(source).valid, kind.signatures) << signer_->Verify(source).log;
  const std::string signed_bytes = ReadFile(source);

  const std::string first = dir.File("first.pdf");
  {
    TgtPDFDocument document;
    std::vector<std::string> warnings;
    document.OnWarning = [&](TgtCustomPDFDocument&, const std::string& w) { warnings.push_back(w); };
    ASSERT_TRUE(document.LoadFromFile(source));
    EXPECT_TRUE(document.HasSignatures());
    EXPECT_EQ(document.IncrementalUpdateBlocker(), "");
    EXPECT_EQ(document.RenderThumbnails({}, 48, 1), 3);
    const std::unique_ptr<TBitmap> picture = Picture(30, 40);
    document.SetThumbnail(2, *picture);
    document.SaveIncremental(first);
    // One warning per signed field, naming it.
    ASSERT_EQ(warnings.size(), static_cast<size_t>(kind.signatures));
    EXPECT_NE(warnings[0].find("\"Signer"), std::string::npos) << warnings[0];
  }
  const std::string first_bytes = ReadFile(first);
  ASSERT_GT(first_bytes.size(), signed_bytes.size());
  EXPECT_EQ(first_bytes.compare(0, signed_bytes.size(), signed_bytes), 0);
  // The new section is of the source's kind, and the changed page keeps
  // its place in the source's page tree.
  EXPECT_EQ(first_bytes.find("/Type /XRef", signed_bytes.size()) != std::string::npos,
            kind.stream_section);
  EXPECT_NE(first_bytes.find("/Parent ", signed_bytes.size()), std::string::npos);
  TestSigner::Verdict verdict = signer_->Verify(first);
  EXPECT_EQ(verdict.signatures, kind.signatures) << verdict.log;
  EXPECT_EQ(verdict.valid, kind.signatures) << verdict.log;
  EXPECT_EQ(QpdfCheckProblems(first), "");
  EXPECT_EQ(PagesWithThumbnails(first), 3);

  // A second update on top, appended to the file itself, of the document
  // read only as far as an update needs (not what its pages refer to).
  {
    TgtPDFDocument document;
    document.SetReadForUpdate(true);
    ASSERT_TRUE(document.LoadFromFile(first));
    ASSERT_TRUE(document.ReadForUpdate());
    EXPECT_THROW(document.SaveToFile(dir.File("whole.pdf")), EPDFException);
    EXPECT_FALSE(std::filesystem::exists(dir.File("whole.pdf")));
    const std::unique_ptr<TBitmap> picture = Picture(20, 20);
    document.SetThumbnail(1, *picture);
    document.RemoveThumbnail(3);
    document.SetPageMode(pmUseThumbs);
    document.SaveIncremental(first);
    // The file is no longer what was read: a further update needs it read
    // again.
    EXPECT_NE(document.IncrementalUpdateBlocker(), "");
  }
  const std::string second_bytes = ReadFile(first);
  EXPECT_EQ(second_bytes.compare(0, first_bytes.size(), first_bytes), 0);
  verdict = signer_->Verify(first);
  EXPECT_EQ(verdict.valid, kind.signatures) << verdict.log;
  EXPECT_EQ(QpdfCheckProblems(first), "");
  EXPECT_EQ(PagesWithThumbnails(first), 2);
  TgtPDFDocument reread;
  ASSERT_TRUE(reread.LoadFromFile(first));
  EXPECT_EQ(reread.PageMode(), pmUseThumbs);
  EXPECT_EQ(reread.Thumbnail(1).width, 20);
}

INSTANTIATE_TEST_SUITE_P(
    Kinds, IncrementalUpdate,
    ::testing::Values(Kind{"ClassicTable", nullptr, 1, false},
                      Kind{"ObjectStreams", "--object-streams=generate", 1, true},
                      Kind{"Rc4", "--allow-weak-crypto --encrypt '' owner 128 --use-aes=n --", 1,
                           false},
                      Kind{"Aes256", "--encrypt '' owner 256 --", 1, false},
                      Kind{"SignedTwice", nullptr, 2, false}),
    [](const ::testing::TestParamInfo<Kind>& info) { return std::string(info.param.name); });

// A file whose cross-reference data had to be rebuilt, one whose security
// settings were changed and one changed on disk since it was read cannot
// take an update; nothing is written.
TEST(IncrementalUpdateRefused, SaysWhyAndWritesNothing) {
  TempDir dir;
  std::string damaged = ThreePages();
  damaged.replace(damaged.rfind("startxref") + 10, 3, "999");
  const std::string rebuilt = dir.Write("rebuilt.pdf", damaged);
  const std::string plain = dir.Write("plain.pdf", ThreePages());
  const std::string touched = dir.Write("touched.pdf", ThreePages());
  struct Case {
    std::string file;
    std::function<void(TgtPDFDocument&)> change;
    const char* reason;
  };
  const Case cases[] = {
      {rebuilt, [](TgtPDFDocument&) {}, "rebuilt"},
      {plain, [](TgtPDFDocument& d) { d.Encryption().SetEnabled(true); }, "security"},
      {touched, [&](TgtPDFDocument&) { std::ofstream(touched, std::ios::app) << "\n%more\n"; },
       "changed since"},
  };
  for (const Case& c : cases) {
    TgtPDFDocument document;
    document.OnWarning = [](TgtCustomPDFDocument&, const std::string&) {};
    // A rebuilt source is read whole even when read for an update.
    document.SetReadForUpdate(true);
    ASSERT_TRUE(document.LoadFromFile(c.file));
    EXPECT_EQ(document.ReadForUpdate(), c.file != rebuilt);
    c.change(document);
    EXPECT_NE(document.IncrementalUpdateBlocker().find(c.reason), std::string::npos)
        << document.IncrementalUpdateBlocker();
    const std::string before = ReadFile(c.file);
    EXPECT_THROW(document.SaveIncremental(c.file), EPDFException);
    EXPECT_THROW(document.SaveIncremental(dir.File("other.pdf")), EPDFException);
    EXPECT_EQ(ReadFile(c.file), before);
    EXPECT_FALSE(std::filesystem::exists(dir.File("other.pdf")));
  }
}

// A page in an article thread keeps its /B when an update rewrites it,
// and when the whole document is written again.
TEST(IncrementalUpdate, ChangedPageKeepsItsArticleBeads) {
  PdfBuilder b;
  b.Add(1, "<< /Type /Catalog /Pages 2 0 R /Threads [4 0 R] >>");
  b.Add(2, "<< /Type /Pages /Kids [3 0 R] /Count 1 /MediaBox [0 0 200 200] >>");
  b.Add(3, "<< /Type /Page /Parent 2 0 R /B [5 0 R] >>");
  b.Add(4, "<< /Type /Thread /F 5 0 R >>");
  b.Add(5, "<< /Type /Bead /T 4 0 R /N 5 0 R /V 5 0 R /P 3 0 R /R [0 0 100 100] >>");
  TempDir dir;
  const std::string file = dir.Write("threads.pdf", b.Build());
  TgtPDFDocument document;
  ASSERT_TRUE(document.LoadFromFile(file));
  const std::unique_ptr<TBitmap> picture = Picture(10, 10);
  document.SetThumbnail(1, *picture);
  document.SaveIncremental(dir.File("update.pdf"));
  const std::string update = ReadFile(dir.File("update.pdf"));
  const size_t section = ReadFile(file).size();
  ASSERT_NE(update.find("/Thumb", section), std::string::npos);
  EXPECT_NE(update.find("/B [ 5 0 R ]", section), std::string::npos) << update.substr(section);
  EXPECT_EQ(QpdfCheckProblems(dir.File("update.pdf")), "");

  // Written whole, the objects are renumbered: the page's /B names the
  // bead whose /P names the page.
  document.SaveToFile(dir.File("whole.pdf"));
  EXPECT_EQ(QpdfCheckProblems(dir.File("whole.pdf")), "");
  const std::string json = RunCommand("qpdf --json=2 --json-key=qpdf " +
                                      ShellQuote(dir.File("whole.pdf")));
  const std::regex page_entry(R"("obj:(\d+) 0 R": \{\s*"value": \{[^{}]*"/B": \[\s*"(\d+) 0 R")");
  std::smatch page;
  ASSERT_TRUE(std::regex_search(json, page, page_entry)) << json;
  const std::regex bead_entry("\"obj:" + page[2].str() + R"( 0 R": \{\s*"value": \{[^{}]*"/P": ")" +
                              page[1].str() + " 0 R\"");
  EXPECT_TRUE(std::regex_search(json, bead_entry)) << json;
}

// A certified document: /Perms /DocMDP names the certifying signature,
// whose permission decides the warning; a second signed field is warned
// about as changed after signing. Both name their fields.

TEST(IncrementalUpdateWarnings, NameTheSignedFields) {
  struct Case {
    int permission;
    const char* certify_warning;
  };
  for (const Case c : {Case{1, "no changes allowed"}, Case{2, "changed after it was signed"}}) {
    PdfBuilder b;
    b.Add(1,
          "<< /Type /Catalog /Pages 2 0 R /AcroForm << /Fields [5 0 R 7 0 R] /SigFlags 3 >> "
          "/Perms << /DocMDP 6 0 R >> >>");
    b.Add(2, "<< /Type /Pages /Kids [3 0 R] /Count 1 /MediaBox [0 0 200 200] >>");
    b.Add(3, "<< /Type /Page /Parent 2 0 R /Annots [5 0 R 7 0 R] >>");
    b.Add(5, "<< /FT /Sig /T (Certifier) /V 6 0 R /Subtype /Widget /Rect [0 0 0 0] /P 3 0 R >>");
    b.Add(6, "<< /Type /Sig /Filter /Adobe.PPKLite /ByteRange [0 0 0 0] /Contents <00> "
             "/Reference [<< /Type /SigRef /TransformMethod /DocMDP /TransformParams << /P " +
                 std::to_string(c.permission) + " /V /1.2 >> >>] >>");
    b.Add(7, "<< /FT /Sig /T (Witness) /V 8 0 R /Subtype /Widget /Rect [0 0 0 0] /P 3 0 R >>");
    b.Add(8, "<< /Type /Sig /Filter /Adobe.PPKLite /ByteRange [0 0 0 0] /Contents <00> >>");
    TempDir dir;
    const std::string file = dir.Write("certified.pdf", b.Build());
    TgtPDFDocument document;
    std::vector<std::string> warnings;
    document.OnWarning = [&](TgtCustomPDFDocument&, const std::string& w) { warnings.push_back(w); };
    ASSERT_TRUE(document.LoadFromFile(file));
    ASSERT_TRUE(document.HasSignatures());
    const std::unique_ptr<TBitmap> picture = Picture(10, 10);
    document.SetThumbnail(1, *picture);
    warnings.clear();
    document.SaveIncremental(dir.File("out.pdf"));
    ASSERT_EQ(warnings.size(), 2u);
    EXPECT_NE(warnings[0].find("\"Certifier\""), std::string::npos) << warnings[0];
    EXPECT_NE(warnings[0].find(c.certify_warning), std::string::npos) << warnings[0];
    EXPECT_NE(warnings[1].find("\"Witness\""), std::string::npos) << warnings[1];
    EXPECT_NE(warnings[1].find("changed after it was signed"), std::string::npos) << warnings[1];
    EXPECT_EQ(QpdfCheckProblems(dir.File("out.pdf")), "");
  }
}

}  // namespace
}  // namespace pagemint
