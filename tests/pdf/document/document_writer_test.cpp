// SPDX-License-Identifier: GPL-3.0-or-later
// Saving documents: the written file byte for byte, numbering, names,
// form appearances, lengths, kept catalog entries, outlines, encryption,
// and saves that fail without harming what is on disk.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>

#include "pdf/document/document_internals.h"
#include "pdf/document/pdf_document.h"
#include "pdf/objects/object_text.h"
#include "pdf/reader/pdf_test_builder.h"
#include "pdf/security/security.h"
#include "platform/version.h"

namespace pagemint::testing {
namespace {

std::string Save(TgtPDFDocument& document) {
  TMemoryStream out;
  document.SaveToStream(out);
  return out.Bytes();
}

// Two saves of one document: the same bytes but for the second /ID
// string, which is new at every save.
void ExpectSameButSecondID(const std::string& one, const std::string& two,
                           const std::string& what = "") {
  const size_t second = one.rfind("/ID [ ") + 40;  // "/ID [ <32 hex digits> "
  ASSERT_EQ(one.size(), two.size()) << what;
  ASSERT_NE(one.rfind("/ID [ "), std::string::npos) << what;
  EXPECT_TRUE(one.substr(0, second) == two.substr(0, second)) << what;
  EXPECT_NE(one.substr(second, 34), two.substr(second, 34)) << what;
  EXPECT_TRUE(one.substr(second + 34) == two.substr(second + 34)) << what;
}

void Load(TgtPDFDocument& document, const std::string& bytes) {
  ASSERT_TRUE(document.LoadFromBytes(bytes));
}

// Random bytes that are the same at every call, for exact file text.
class FixedRandom final : public RandomSource {
 public:
  std::string Bytes(size_t n) override { return std::string(n, '\x5A'); }
};

TEST(DocumentWriter, WritesTheWholeFileInItsExactForm) {
  PdfBuilder b;
  b.Add(1, "<< /Type /Catalog /Pages 2 0 R >>");
  b.Add(2, "<< /Type /Pages /Kids [7 0 R] /Count 1 >>");
  b.Add(7, "<< /Type /Page /Parent 2 0 R /MediaBox [0 0 612 792] /Contents 12 0 R >>");
  b.AddStream(12, "", "BT ET");
  b.Add(20, "<< /Title (T) >>");
  TgtPDFDocument document;
  Load(document, b.Build("/Root 1 0 R /Info 20 0 R"));
  document.SetRandomSource(std::make_unique<FixedRandom>());
  const std::string written = Save(document);

  // UTF-16 with its byte-order mark; literal strings carry NUL bytes as
  // they are.
  std::string producer = "(\xFE\xFF";
  for (const char c : std::string("Pagemint PDF engine " PAGEMINT_VERSION)) producer += std::string(1, '\0') + c;
  producer += ")";
  std::string expected =
      "%PDF-1.4\r\n%\xE2\xE3\xCF\xD3\r\n"
      "\r\n1 0 obj\r\n<<\r\n/Type /Catalog\r\n/Pages 3 0 R\r\n>>\r\nendobj\r\n"
      "\r\n2 0 obj\r\n<<\r\n/Title (T)\r\n/Producer " +
      producer +
      "\r\n>>\r\nendobj\r\n"
      "\r\n3 0 obj\r\n<<\r\n/Type /Pages\r\n/Count 1\r\n/Kids [ 4 0 R ]\r\n>>\r\nendobj\r\n"
      "\r\n4 0 obj\r\n<<\r\n/Type /Page\r\n/MediaBox [ 0 0 612 792 ]\r\n/Contents 5 0 R\r\n"
      "/Parent 3 0 R\r\n>>\r\nendobj\r\n"
      "\r\n5 0 obj\r\n<<\r\n/Length 5\r\n>>\r\nstream\r\nBT ET\r\nendstream\r\nendobj\r\n";
  // Offsets: each object line starts two bytes after the end of what
  // precedes it.
  std::vector<size_t> offsets;
  for (size_t at = expected.find(" 0 obj\r\n"); at != std::string::npos;
       at = expected.find(" 0 obj\r\n", at + 1))
    offsets.push_back(expected.rfind("\r\n", at) + 2);
  const size_t xref = expected.size();
  expected += "xref\r\n0 6\r\n0000000000 65535 f\r\n";
  for (const size_t offset : offsets) {
    char entry[32];
    std::snprintf(entry, sizeof entry, "%010zu 00000 n\r\n", offset);
    expected += entry;
  }
  // A source without /ID gets a random first identifier; the second is
  // new at every save.
  std::string fixed_id = "<";
  for (int i = 0; i < 16; ++i) fixed_id += "5A";
  fixed_id += ">";
  expected += "trailer\r\n<<\r\n/Size 6\r\n/Root 1 0 R\r\n/Info 2 0 R\r\n/ID [ " + fixed_id +
              " " + fixed_id + " ]\r\n>>\r\nstartxref\r\n" + std::to_string(xref) +
              "\r\n%%EOF\r\n";
  EXPECT_EQ(written, expected);
}

// The value of key in the written object number (qpdf's view of it).
std::string QpdfObject(const std::string& file, int number, const std::string& password = "") {
  const std::string password_option = password.empty() ? "" : " --password='" + password + "'";
  return RunCommand("qpdf" + password_option + " --show-object=" + std::to_string(number) + " '" +
                    file + "' 2>&1");
}

TEST(DocumentWriter, CompletesTheFileName) {
  struct Case {
    const char* given;
    const char* written;
  };
  const Case cases[] = {{"out.PDF", "out.PDF"},
                        {"out", "out.pdf"},
                        {"out.pdf.bak", "out.pdf.bak.pdf"},
                        {"report.txt", "report.txt.pdf"},
                        {"a.b.pdf", "a.b.pdf"}};
  for (const Case& c : cases) {
    TempDir dir;
    TgtPDFDocument document;
    document.SetShowSetupDialog(false);
    Load(document, SimpleDocument(1).Build());
    std::vector<std::string> statuses;
    document.OnStatusMessage = [&](TgtCustomPDFDocument&, const std::string& m) {
      statuses.push_back(m);
    };
    document.SaveToFile(dir.File(c.given));
    EXPECT_TRUE(std::filesystem::exists(dir.File(c.written))) << c.given;
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir.File("")),
                            std::filesystem::directory_iterator()),
              1)
        << "only the written file is left in the folder";
    ASSERT_FALSE(statuses.empty());
    EXPECT_EQ(statuses.front(), "Saving File " + dir.File(c.written));
    EXPECT_EQ(statuses.back(), "Save Complete");
    const std::vector<std::string> middle(statuses.begin() + 1, statuses.end() - 1);
    EXPECT_EQ(middle, (std::vector<std::string>{"Building Outlines...", "Building Objects...",
                                                "Writing Pages", "Writing Cross-Reference Table"}));
  }
}

// The writer writes what the file reaches at save time, numbered in store
// order: an object the document no longer refers to (a replaced value) is
// left out, a reference to an object that does not exist is written null,
// a page listed twice is written twice and an untyped page gets its type,
// all without changing the document, so a second save writes the same but
// for the second identifier, which is new at every save.
TEST(DocumentWriter, WritesWhatIsReachableWithoutChangingTheDocument) {
  PdfBuilder b;
  b.Add(1, "<< /Type /Catalog /Pages 2 0 R >>");
  b.Add(2, "<< /Type /Pages /Kids [7 0 R 8 0 R 7 0 R] /Count 3 >>");
  b.Add(7, "<< /Type /Page /Parent 2 0 R /Contents 12 0 R /Extra 40 0 R /Gone 50 0 R >>");
  b.Add(8, "<< /Parent 2 0 R /Contents 12 0 R >>");
  b.AddStream(12, "", "BT ET");
  b.Add(40, "[ 1 2 3 ]");
  TgtPDFDocument document;
  Load(document, b.Build());
  TgtPDFDictObject& page = TgtDocumentInternals::State(document).pages.at(0)->Content()->AsDictionary();
  page.SetValue("/Extra", std::make_unique<TgtPDFIntegerObject>(9));
  const int32_t objects = TgtDocumentInternals::State(document).store->Count();
  const std::string written = Save(document);
  EXPECT_NE(written.find("\r\n4 0 obj\r\n<<\r\n/Type /Page\r\n/Contents 5 0 R\r\n/Extra 9\r\n"
                         "/Gone null\r\n"),
            std::string::npos)
      << written;
  EXPECT_EQ(written.find("[ 1 2 3 ]"), std::string::npos);
  EXPECT_NE(written.find("/Kids [ 4 0 R 6 0 R 7 0 R ]"), std::string::npos) << written;
  EXPECT_NE(written.find("\r\n6 0 obj\r\n<<\r\n/Contents 5 0 R\r\n/Type /Page\r\n/Parent 3 0 R"),
            std::string::npos);
  EXPECT_NE(written.find("xref\r\n0 8\r\n"), std::string::npos);
  EXPECT_EQ(TgtDocumentInternals::State(document).store->Count(), objects);
  EXPECT_EQ(document.PageCount(), 3);
  EXPECT_EQ(TgtDocumentInternals::State(document).pages.at(1)->Content()->AsDictionary().Lookup("/Type"), nullptr);
  ExpectSameButSecondID(written, Save(document));
  TempDir dir;
  EXPECT_EQ(QpdfCheckProblems(dir.Write("out.pdf", written)), "");
}

TEST(DocumentWriter, VersionPageModeLayoutAndPreferences) {
  struct Case {
    TgtPDFVersion version;
    TgtPageMode mode;
    TgtPageLayout layout;
    const char* first_line;
    std::string catalog;
  };
  // The viewer preferences come back whole, in their source order, false
  // values and keys of later standards included.
  const std::string preferences =
      "/ViewerPreferences <<\r\n/HideToolbar false\r\n/FitWindow true\r\n/Direction "
      "/R2L\r\n/Unknown true\r\n>>\r\n>>";
  const Case cases[] = {
      {pvPDF17, pmUseThumbs, plOneColumn, "%PDF-1.7\r\n",
       "<<\r\n/Type /Catalog\r\n/Pages 3 0 R\r\n/PageMode /UseThumbs\r\n/PageLayout /OneColumn\r\n" +
           preferences},
      {pvPDF20, pmNone, plNone, "%PDF-2.0\r\n",
       "<<\r\n/Type /Catalog\r\n/Pages 3 0 R\r\n" + preferences},
      {pvPDF14, pmUseOutlines, plTwoColumnRight, "%PDF-1.4\r\n",
       "<<\r\n/Type /Catalog\r\n/Pages 3 0 R\r\n/PageMode /UseOutlines\r\n/PageLayout "
       "/TwoColumnRight\r\n" +
           preferences},
  };
  for (const Case& c : cases) {
    TgtPDFDocument document;
    Load(document, SimpleDocument(1,
                                  "/ViewerPreferences << /HideToolbar false /FitWindow true "
                                  "/Direction /R2L /Unknown true >>")
                       .Build());
    document.SetPDFVersion(c.version);
    document.SetPageMode(c.mode);
    document.SetPageLayout(c.layout);
    const std::string written = Save(document);
    EXPECT_EQ(written.substr(0, 10), c.first_line);
    EXPECT_NE(written.find(std::string("1 0 obj\r\n") + c.catalog + "\r\nendobj"),
              std::string::npos)
        << written.substr(0, 300);
  }
}

TEST(DocumentWriter, KeepsCatalogEntriesAndFlattensThePageTree) {
  TempDir dir;
  PdfBuilder b;
  b.Add(1,
        "<< /Type /Catalog /Pages 2 0 R /Lang (en-GB) /PageLabels 50 0 R "
        "/MarkInfo << /Marked true >> >>");
  b.Add(2, "<< /Type /Pages /Kids [3 0 R 6 0 R] /Count 5 /MediaBox [0 0 200 100] >>");
  b.Add(3, "<< /Type /Pages /Parent 2 0 R /Kids [4 0 R 5 0 R 9 0 R] /Count 3 /Rotate 90 >>");
  b.Add(6, "<< /Type /Pages /Parent 2 0 R /Kids [7 0 R 8 0 R] /Count 2 >>");
  for (int page : {4, 5, 9, 7, 8}) b.Add(page, "<< /Type /Page /Parent 2 0 R >>");
  b.Add(50, "<< /Nums [ 0 << /S /r >> ] >>");
  TgtPDFDocument document;
  Load(document, b.Build());
  document.SaveToFile(dir.File("out.pdf"));
  const std::string file = dir.File("out.pdf");
  EXPECT_EQ(QpdfCheckProblems(file), "");
  const std::string catalog = QpdfObject(file, 1);
  EXPECT_NE(catalog.find("/Lang (en-GB)"), std::string::npos) << catalog;
  EXPECT_NE(catalog.find("/MarkInfo << /Marked true >>"), std::string::npos) << catalog;
  EXPECT_NE(catalog.find("/PageLabels"), std::string::npos) << catalog;
  const std::string root = QpdfObject(file, 3);
  EXPECT_NE(root.find("/Count 5"), std::string::npos) << root;
  EXPECT_NE(root.find("/Kids [ 4 0 R 5 0 R 6 0 R 7 0 R 8 0 R ]"), std::string::npos) << root;
  // Attributes inherited from the inner nodes were copied into the pages.
  EXPECT_NE(QpdfObject(file, 6).find("/Rotate 90"), std::string::npos);
  EXPECT_EQ(QpdfObject(file, 7).find("/Rotate"), std::string::npos);
  EXPECT_NE(QpdfObject(file, 7).find("/Parent 3 0 R"), std::string::npos);
  EXPECT_EQ(RunCommand("qpdf --show-npages '" + file + "'"), "5\n");
}

TEST(DocumentWriter, NoPagesGivesAnEmptyKidsArray) {
  TgtPDFDocument document;
  const std::string written = Save(document);
  EXPECT_NE(written.find("/Count 0\r\n/Kids [ ]\r\n"), std::string::npos) << written;
}

TEST(DocumentWriter, StreamLengthsStateTheBytesWritten) {
  struct Case {
    const char* name;
    std::string length_entry;  // as the source stream's dictionary holds it
    bool via_object;
    bool corrected;
  };
  const std::string data = "0123456789ABCDEF";
  const Case cases[] = {
      {"direct and right", "/Length 16", false, false},
      {"indirect and right", "/Length 30 0 R", true, false},
      {"indirect and wrong", "/Length 30 0 R", false, true},
      {"direct and too long", "/Length 400", false, true},
      {"direct and too short", "/Length 4", false, true},
  };
  for (const Case& c : cases) {
    TempDir dir;
    PdfBuilder b = SimpleDocument(1);
    b.Add(3, "<< " + c.length_entry + " >>\nstream\n" + data + "\nendstream");
    b.Add(30, c.via_object ? "16" : "3");
    TgtPDFDocument document;
    Load(document, b.Build());
    document.SaveToFile(dir.File("out.pdf"));
    const std::string file = dir.File("out.pdf");
    EXPECT_EQ(QpdfCheckProblems(file), "") << c.name;
    const std::string page = QpdfObject(file, 4);
    const size_t contents = page.find("/Contents ");
    ASSERT_NE(contents, std::string::npos) << page;
    const int number = std::stoi(page.substr(contents + 10));
    const std::string shown = RunCommand("qpdf --show-object=" + std::to_string(number) +
                                         " --raw-stream-data '" + file + "'");
    // A length the reader had to correct runs up to "endstream", so the
    // line end before it stays part of the data.
    EXPECT_EQ(shown, c.corrected ? data + "\n" : data) << c.name;
  }
}

TEST(DocumentWriter, NeedAppearances) {
  struct Case {
    const char* form;  // "" for a document without a form
    TgtNeedAppearances choice;
    const char* expected;  // the written form's entry, or "" for none
  };
  const Case cases[] = {
      {"<< /Fields [] /NeedAppearances false >>", naUnchanged, "/NeedAppearances false"},
      {"<< /Fields [] >>", naUnchanged, ""},
      {"<< /Fields [] >>", naTrue, "/NeedAppearances true"},
      {"<< /Fields [] /NeedAppearances true >>", naFalse, "/NeedAppearances false"},
      {"", naTrue, ""},
  };
  for (const Case& c : cases) {
    TempDir dir;
    PdfBuilder b = SimpleDocument(1, *c.form ? "/AcroForm 60 0 R" : "");
    if (*c.form) b.Add(60, c.form);
    TgtPDFDocument document;
    Load(document, b.Build());
    document.SaveToFile(dir.File("out.pdf"), c.choice);
    const std::string written = ReadFile(dir.File("out.pdf"));
    if (*c.expected) {
      EXPECT_NE(written.find(std::string(c.expected) + "\r\n"), std::string::npos) << c.form;
    } else {
      EXPECT_EQ(written.find("/NeedAppearances"), std::string::npos) << c.form;
    }
  }
}

TEST(DocumentWriter, OutlinesSurviveARoundTrip) {
  PdfBuilder b = SimpleDocument(3, "/Outlines 30 0 R");
  b.Add(30, "<< /Type /Outlines /First 31 0 R /Last 33 0 R /Count 3 >>");
  b.Add(31,
        "<< /Title (One) /Parent 30 0 R /Next 32 0 R /Dest [4 0 R /Fit] /First 34 0 R "
        "/Last 36 0 R /Count -3 >>");
  b.Add(32,
        "<< /Title <FEFF00DC0062> /Parent 30 0 R /Prev 31 0 R /Next 33 0 R "
        "/Dest [5 0 R /XYZ 0 792 0] /C [1 0 0] /F 2 >>");
  b.Add(33,
        "<< /Title (Three) /Parent 30 0 R /Prev 32 0 R /A << /S /URI /URI (http://x.test/) "
        ">> >>");
  b.Add(34, "<< /Title (1.1) /Parent 31 0 R /Next 35 0 R /Dest [4 0 R /Fit] >>");
  b.Add(35, "<< /Title (1.2) /Parent 31 0 R /Prev 34 0 R /Next 36 0 R /Dest [5 0 R /Fit] >>");
  b.Add(36, "<< /Title (1.3) /Parent 31 0 R /Prev 35 0 R /Dest [6 0 R /Fit] >>");
  TgtPDFDocument first;
  Load(first, b.Build());
  const std::string once = Save(first);

  TgtPDFDocument second;
  Load(second, once);
  ASSERT_NE(TgtDocumentInternals::State(second).outline_root, nullptr);
  std::vector<std::u16string> titles;
  std::vector<bool> closed;
  for (const TgtPDFOutline* item = TgtDocumentInternals::State(second).outline_root->FirstChild(); item;
       item = item->Next()) {
    titles.push_back(item->Dictionary()->Lookup("/Title")->AsString().UnicodeText());
    closed.push_back(item->Closed());
    for (const TgtPDFOutline* child = item->FirstChild(); child; child = child->Next())
      titles.push_back(u"  " + child->Dictionary()->Lookup("/Title")->AsString().UnicodeText());
  }
  EXPECT_EQ(titles, (std::vector<std::u16string>{u"One", u"  1.1", u"  1.2", u"  1.3", u"\u00DCb",
                                                 u"Three"}));
  EXPECT_EQ(closed, (std::vector<bool>{true, false, false}));
  EXPECT_NE(once.find("/Count -3\r\n"), std::string::npos);
  EXPECT_NE(once.find("/C [ 1 0 0 ]\r\n"), std::string::npos);
  // The root counts its top-level items.
  EXPECT_NE(once.find("/Count 3\r\n>>"), std::string::npos);

  TempDir dir;
  const std::string file = dir.Write("out.pdf", once);
  EXPECT_EQ(QpdfCheckProblems(file), "");
  const std::string json = RunCommand("qpdf --json --json-key=outlines '" + file + "'");
  for (const char* fragment : {"\"title\": \"One\"", "\"title\": \"1.3\"", "\"title\": \"Three\"",
                               "\"destpageposfrom1\": 2"})
    EXPECT_NE(json.find(fragment), std::string::npos) << fragment << "\n" << json;
}

TEST(DocumentWriter, OutlineItemsOfRemovedPagesAreDropped) {
  PdfBuilder b = SimpleDocument(2, "/Outlines 30 0 R");
  b.Add(30, "<< /Type /Outlines /First 31 0 R /Last 33 0 R /Count 3 >>");
  b.Add(31, "<< /Title (A) /Parent 30 0 R /Next 32 0 R /Dest [4 0 R /Fit] >>");
  b.Add(32, "<< /Title (B) /Parent 30 0 R /Prev 31 0 R /Next 33 0 R /Dest [5 0 R /Fit] >>");
  b.Add(33, "<< /Title (C) /Parent 30 0 R /Prev 32 0 R /Dest [1 /Fit] >>");
  TgtPDFDocument document;
  std::vector<std::string> warnings;
  document.OnWarning = [&](TgtCustomPDFDocument&, const std::string& w) { warnings.push_back(w); };
  Load(document, b.Build());
  warnings.clear();
  TgtDocumentInternals::State(document).pages.pop_back();
  const std::string written = Save(document);
  EXPECT_NE(written.find("/Title (A)"), std::string::npos);
  EXPECT_EQ(written.find("/Title (B)"), std::string::npos);
  EXPECT_NE(written.find("/Title (C)"), std::string::npos);
  EXPECT_EQ(warnings,
            std::vector<std::string>{"Expected Page Indirect Reference in Outline Destination!"});
  TempDir dir;
  EXPECT_EQ(QpdfCheckProblems(dir.Write("out.pdf", written)), "");
}

// Opening, encrypting and saving twice: the same first identifier and keys
// both times, strings encrypted as their own bytes (UTF-16 survives), and the
// user password still opens the result.
TEST(DocumentWriter, EncryptedSavesKeepTheirKeysAndTheirStrings) {
  struct Case {
    TgtPDFEncryptionLevel level;
    const char* expected_v;
  };
  for (const Case& c : {Case{el40bit, "/V 1"}, Case{el128bit, "/V 2"}}) {
    TempDir dir;
    PdfBuilder b = SimpleDocument(1);
    b.Add(40, "<< /Title <FEFF00C90074006500200263> /Author (plain\\tTab) >>");
    b.Add(4, "<< /Type /Page /Parent 2 0 R /Contents 3 0 R /PieceInfo 41 0 R >>");
    b.Add(41, "<< /Binary <00FF10E2> >>");
    TgtPDFDocument document;
    Load(document, b.Build("/Root 1 0 R /Info 40 0 R"));
    document.Encryption().SetEnabled(true);
    document.Encryption().SetLevel(c.level);
    document.Encryption().SetUserPassword("user");
    document.Encryption().SetOwnerPassword("owner");
    document.SaveToFile(dir.File("one.pdf"));
    document.Encryption().SetUserPassword("changed");  // read only when the keys are made
    document.SaveToFile(dir.File("two.pdf"));
    const std::string one = ReadFile(dir.File("one.pdf"));
    const std::string two = ReadFile(dir.File("two.pdf"));
    const auto id_of = [](const std::string& file) {
      const size_t at = file.rfind("/ID [ ");
      return at == std::string::npos ? std::string() : file.substr(at, 76);
    };
    // The same file but for the second identifier, which is new at every
    // save: the first one and the keys stay.
    ASSERT_EQ(id_of(one).size(), 76u);
    EXPECT_EQ(id_of(one).substr(0, 40), id_of(two).substr(0, 40));
    EXPECT_NE(id_of(one).substr(40), id_of(two).substr(40));
    EXPECT_NE(one.find(c.expected_v), std::string::npos);
    const size_t second = one.rfind("/ID [ ") + 40;
    EXPECT_EQ(one.substr(0, second), two.substr(0, second));
    EXPECT_EQ(one.substr(second + 34), two.substr(second + 34));

    // A value set after a save is stored for the next one.
    document.DocumentInfo().SetSubject(u"After");
    EXPECT_EQ(document.DocumentInfo().Subject(), u"After");

    const std::string file = dir.File("one.pdf");
    EXPECT_EQ(QpdfCheckProblems(file, "user"), "");
    EXPECT_NE(QpdfCheckProblems(file), "") << "no password must not open it";
    const std::string json =
        RunCommand("qpdf --password=user --json=2 --json-key=qpdf '" + file + "'");
    EXPECT_NE(json.find("u:\u00c9te \u0263"), std::string::npos) << json.substr(0, 2000);
    EXPECT_NE(json.find("u:plain\\tTab"), std::string::npos);
    EXPECT_NE(json.find("b:00ff10e2"), std::string::npos);
    EXPECT_NE(json.find("u:Pagemint PDF engine"), std::string::npos);

    // And we read our own file back with the same password.
    TgtPDFDocument again;
    again.OnPassword = [](TgtCustomPDFDocument&, std::string& password, bool& go_on, int32_t t) {
      password = "user";
      go_on = t == 0;
    };
    ASSERT_TRUE(again.LoadFromFile(file));
    EXPECT_EQ(again.DocumentInfo().Title(), u"\u00C9te \u0263");
  }
}

// A save that fails leaves no partial file and keeps what was there.
TEST(DocumentWriter, FailedSaveLeavesTheFolderAsItWas) {
  TempDir dir;
  const std::string target = dir.Write("out.pdf", "the earlier file");
  TgtPDFDocument document;
  Load(document, SimpleDocument(1).Build());
  // An object nested deeper than anything can be written.
  auto nested = std::make_unique<TgtPDFArrayObject>();
  for (int i = 0; i < 1100; ++i) {
    auto outer = std::make_unique<TgtPDFArrayObject>();
    outer->Add(std::move(nested));
    nested = std::move(outer);
  }
  TgtDocumentInternals::State(document).pages.at(0)->Content()->AsDictionary().AddValue("/Deep", std::move(nested));
  bool completed = false;
  document.OnStatusMessage = [&](TgtCustomPDFDocument&, const std::string& m) {
    completed |= m == "Save Complete";
  };
  EXPECT_THROW(document.SaveToFile(target), EObjectNestingError);
  EXPECT_FALSE(completed);
  EXPECT_EQ(ReadFile(target), "the earlier file");
  EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir.File("")),
                          std::filesystem::directory_iterator()),
            1);

  // A folder that does not exist: a clear error naming the file asked for.
  try {
    TgtDocumentInternals::State(document).pages.at(0)->Content()->AsDictionary().Remove("/Deep");
    document.SaveToFile(dir.File("missing/out.pdf"));
    ADD_FAILURE() << "saved into a missing folder";
  } catch (const EFileError& error) {
    EXPECT_EQ(error.Message(), "Cannot create file \"" + dir.File("missing/out.pdf") +
                                   "\". No such file or directory");
  }
}

TEST(DocumentWriter, SavingOverTheSourceAndKeepingPermissions) {
  TempDir dir;
  const std::string file = dir.Write("doc.pdf", SimpleDocument(2).Build());
  ::chmod(file.c_str(), 0640);
  TgtPDFDocument document;
  ASSERT_TRUE(document.LoadFromFile(file));
  document.SetPageMode(pmUseThumbs);
  document.SaveToFile(file);
  EXPECT_EQ(QpdfCheckProblems(file), "");
  EXPECT_NE(ReadFile(file).find("/PageMode /UseThumbs"), std::string::npos);
  struct stat st {};
  ASSERT_EQ(::stat(file.c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 0777, 0640u);
}

// A document whose one page refers to a stream larger than the writer's
// copy buffer, so its data crosses chunk boundaries on the way.
std::string LargeStreamDocument(const std::string& data) {
  PdfBuilder b;
  b.Add(1, "<< /Type /Catalog /Pages 2 0 R >>");
  b.Add(2, "<< /Type /Pages /Kids [4 0 R] /Count 1 >>");
  b.AddStream(3, "", data);
  b.Add(4, "<< /Type /Page /Parent 2 0 R /MediaBox [0 0 612 792] /Blob 3 0 R >>");
  return b.Build();
}

std::string LargeStreamData() {
  // Pseudo-random bytes, which no compression shrinks below the buffer.
  std::string data(5 * 1024 * 1024 / 2 + 7, '\0');
  uint32_t x = 12345;
  for (char& c : data) {
    x = x * 1103515245u + 12345u;
    c = static_cast<char>(x >> 24);
  }
  return data;
}

// Stream data stays in the source file until the save copies it: over the
// source itself, twice (the document keeps reading the file it opened),
// plain and re-encrypted from RC4, AES-128 and AES-256 sources (each
// written back with its own security), with every byte arriving.
TEST(DocumentWriter, StreamDataIsCopiedFromTheSourceInChunks) {
  TempDir dir;
  const std::string data = LargeStreamData();
  const std::string plain = dir.Write("plain.pdf", LargeStreamDocument(data));
  RunCommand("qpdf --allow-weak-crypto --encrypt user owner 128 --use-aes=n -- '" + plain + "' '" +
             dir.File("rc4.pdf") + "'");
  RunCommand("qpdf --encrypt user owner 128 --use-aes=y -- '" + plain + "' '" +
             dir.File("aes128.pdf") + "'");
  RunCommand("qpdf --encrypt user owner 256 -- '" + plain + "' '" + dir.File("aes256.pdf") + "'");
  struct Case {
    const char* source;
    const char* password;
  };
  for (const Case c : {Case{"plain.pdf", ""}, Case{"rc4.pdf", "user"}, Case{"aes128.pdf", "user"},
                       Case{"aes256.pdf", "user"}}) {
    const std::string file = dir.File(c.source);
    TgtPDFDocument document;
    document.OnPassword = [&](TgtCustomPDFDocument&, std::string& pw, bool& go_on, int32_t t) {
      pw = c.password;
      go_on = t == 0;
    };
    ASSERT_TRUE(document.LoadFromFile(file)) << c.source;
    document.SaveToFile(file);
    document.SaveToFile(dir.File("again.pdf"));
    // AES draws a new IV for every stream and string at every save.
    if (std::string(c.source).find("aes") == std::string::npos)
      ExpectSameButSecondID(ReadFile(file), ReadFile(dir.File("again.pdf")), c.source);
    EXPECT_EQ(QpdfCheckProblems(file, c.password), "") << c.source;
    const std::string shown =
        RunCommand(std::string("qpdf --password='") + c.password +
                   "' --show-object=5 --filtered-stream-data '" + file + "'");
    EXPECT_TRUE(shown == data) << c.source << ": " << shown.size() << " bytes";
  }
}

// A source that shrinks under an open document: the save fails with an
// error naming the object, and the earlier file of the name stays.
TEST(DocumentWriter, ASourceThatShrankFailsTheSaveCleanly) {
  TempDir dir;
  const std::string file = dir.Write("doc.pdf", LargeStreamDocument(LargeStreamData()));
  const std::string target = dir.Write("out.pdf", "the earlier file");
  TgtPDFDocument document;
  ASSERT_TRUE(document.LoadFromFile(file));
  ASSERT_EQ(::truncate(file.c_str(), 4096), 0);
  try {
    document.SaveToFile(target);
    ADD_FAILURE() << "saved from a truncated source";
  } catch (const EFileError& error) {
    EXPECT_NE(error.Message().find("object 3"), std::string::npos) << error.Message();
  }
  EXPECT_EQ(ReadFile(target), "the earlier file");
}

// Progress of loading and saving: from 0 to 1, never backwards, and
// throttled; cancelling at any report stops the work, leaves a loading
// component empty and a destination as it was.
TEST(DocumentWriter, WorkProgressAndCancel) {
  TempDir dir;
  const std::string file = dir.Write("doc.pdf", SimpleDocument(2000).Build());
  struct Case {
    TgtWorkStep cancel_in;
    int cancel_at_report;  // 0: never
  };
  for (const Case c : {Case{TgtWorkStep::Load, 0}, Case{TgtWorkStep::Load, 1},
                       Case{TgtWorkStep::Load, 2}, Case{TgtWorkStep::Save, 1},
                       Case{TgtWorkStep::Save, 2}}) {
    const std::string target = dir.Write("out.pdf", "the earlier file");
    TgtPDFDocument document;
    std::vector<std::pair<TgtWorkStep, double>> reports;
    document.OnWorkProgress = [&](TgtCustomPDFDocument&, TgtWorkStep step, double f, bool& cancel) {
      reports.emplace_back(step, f);
      cancel = step == c.cancel_in &&
               std::count_if(reports.begin(), reports.end(), [&](const auto& r) {
                 return r.first == step;
               }) == c.cancel_at_report;
    };
    const auto start = std::chrono::steady_clock::now();
    bool cancelled = false;
    try {
      document.LoadFromFile(file);
      document.SaveToFile(target);
    } catch (const EOperationCancelled&) {
      cancelled = true;
    }
    const double seconds =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    EXPECT_EQ(cancelled, c.cancel_at_report > 0);
    EXPECT_LE(reports.size(), 4 + seconds * 30) << "throttled to a few dozen a second";
    for (const TgtWorkStep step : {TgtWorkStep::Load, TgtWorkStep::Save}) {
      std::vector<double> fractions;
      for (const auto& [s, f] : reports)
        if (s == step) fractions.push_back(f);
      EXPECT_TRUE(std::is_sorted(fractions.begin(), fractions.end()));
      if (fractions.empty()) continue;
      EXPECT_EQ(fractions.front(), 0.0);
      if (!cancelled) {
        EXPECT_EQ(fractions.back(), 1.0);
      }
    }
    if (c.cancel_in == TgtWorkStep::Load && cancelled) {
      EXPECT_FALSE(document.IsLoaded());
      EXPECT_EQ(document.PageCount(), 0);
    }
    if (cancelled) {
      EXPECT_EQ(ReadFile(target), "the earlier file");
      EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir.File("")),
                              std::filesystem::directory_iterator()),
                2)
          << "no temporary file left";
    } else {
      EXPECT_EQ(QpdfCheckProblems(target), "");
    }
  }
}

class RecordingShell : public Shell {
 public:
  explicit RecordingShell(std::vector<std::string>& opened) : opened_(opened) {}
  void Open(const std::string& target) override { opened_.push_back(target); }

 private:
  std::vector<std::string>& opened_;
};

class CancellingDialog : public TgtBaseDlg {
 public:
  explicit CancellingDialog(bool ok) : ok_(ok) {}
  bool Execute(TgtCustomPDFDocument&) override { return ok_; }

 private:
  bool ok_;
};

TEST(DocumentWriter, SetupDialogAndOpenAfterSave) {
  for (const bool confirm : {true, false}) {
    TempDir dir;
    TgtPDFDocument document;
    Load(document, SimpleDocument(1).Build());
    std::vector<std::string> opened;
    document.SetShell(std::make_unique<RecordingShell>(opened));
    document.SetOpenAfterSave(true);
    CancellingDialog dialog(confirm);
    document.SetShowSetupDialog(true);
    document.SetSetupDialog(&dialog);
    std::vector<std::string> statuses;
    document.OnStatusMessage = [&](TgtCustomPDFDocument&, const std::string& m) {
      statuses.push_back(m);
    };
    document.SaveToFile(dir.File("out"));
    EXPECT_EQ(std::filesystem::exists(dir.File("out.pdf")), confirm);
    EXPECT_EQ(opened,
              confirm ? std::vector<std::string>{dir.File("out.pdf")} : std::vector<std::string>{});
    EXPECT_EQ(statuses.empty(), !confirm);
  }
}

}  // namespace
}  // namespace pagemint::testing
