// SPDX-License-Identifier: GPL-3.0-or-later
// Documents written by an independent producer (qpdf): classic tables,
// object streams, RC4 at 40 and 128 bits, opened with the user, the owner
// and empty passwords. Page counts, information, page mode and layout,
// and decrypted strings and streams are checked against qpdf.
#include <gtest/gtest.h>

#include "pdf/document/document_internals.h"
#include "pdf/document/pdf_document.h"
#include "pdf/reader/pdf_test_builder.h"
#include "pdf/streams/filter_chain.h"

namespace pagemint::testing {
namespace {

// Five pages under two levels of page-tree nodes, each page with its own
// content text, an outline, information in plain and UTF-16 strings, and
// catalog entries the holder has no slot for.
std::string SourceDocument() {
  PdfBuilder b;
  b.Add(1,
        "<< /Type /Catalog /Pages 2 0 R /PageMode /UseOutlines /PageLayout /TwoColumnLeft "
        "/Outlines 30 0 R /Lang (en-GB) /PageLabels << /Nums [0 << /S /r >>] >> >>");
  b.Add(2, "<< /Type /Pages /Kids [3 0 R 9 0 R] /Count 5 /MediaBox [0 0 612 792] >>");
  b.Add(3, "<< /Type /Pages /Parent 2 0 R /Kids [4 0 R 5 0 R 6 0 R] /Count 3 /Rotate 90 >>");
  for (int i = 0; i < 5; ++i) {
    const int page = i < 3 ? 4 + i : 10 + (i - 3);
    const int parent = i < 3 ? 3 : 9;
    b.Add(page, "<< /Type /Page /Parent " + std::to_string(parent) + " 0 R /Contents " +
                    std::to_string(20 + i) + " 0 R >>");
    b.AddStream(20 + i, "",
                "BT /F1 12 Tf 72 720 Td (Page " + std::to_string(i + 1) + " text) Tj ET");
  }
  b.Add(9, "<< /Type /Pages /Parent 2 0 R /Kids [10 0 R 11 0 R] /Count 2 >>");
  b.Add(30, "<< /Type /Outlines /First 31 0 R /Last 32 0 R /Count 2 >>");
  b.Add(31, "<< /Title (Start) /Parent 30 0 R /Next 32 0 R /Dest [4 0 R /Fit] >>");
  b.Add(32, "<< /Title (End) /Parent 30 0 R /Prev 31 0 R /Dest [11 0 R /Fit] >>");
  b.Add(40, "<< /Title (Quarterly Report) /Author <FEFF004A006F00EB006C> /Producer (builder) >>");
  return b.Build("/Root 1 0 R /Info 40 0 R");
}

struct Variant {
  const char* name;
  const char* qpdf_options;
  const char* password;  // given to the password event; nullptr: no handler
  bool owner;
};

std::string PageText(TgtPDFDocument& document, int index) {
  const TgtPDFDictObject& page = TgtDocumentInternals::State(document).pages.at(index)->Content()->AsDictionary();
  const TgtPDFIndirectObject* contents =
      TgtDocumentInternals::State(document).store->Find(page.Lookup("/Contents")->AsReference());
  const TgtPDFStreamObject& stream = contents->Content()->AsStream();
  TgtPDFObject* filter = TgtDocumentInternals::State(document).store->Follow(stream.Dictionary().Lookup("/Filter"));
  return DecodeStreamData(*stream.Data(), filter)->Bytes();
}

class QpdfInterop : public ::testing::TestWithParam<Variant> {};

TEST_P(QpdfInterop, LoadsLikeQpdfReadsIt) {
  const Variant& v = GetParam();
  TempDir dir;
  const std::string source = dir.Write("source.pdf", SourceDocument());
  const std::string file = dir.File("out.pdf");
  int status = 0;
  const std::string log = RunCommand(
      std::string("qpdf ") + v.qpdf_options + " '" + source + "' '" + file + "' 2>&1", &status);
  ASSERT_EQ(status, 0) << log;
  const std::string password_option =
      v.password ? std::string(" --password='") + v.password + "'" : "";
  const int qpdf_pages =
      std::stoi(RunCommand("qpdf --show-npages" + password_option + " '" + file + "'"));

  TgtPDFDocument document;
  std::vector<std::string> warnings;
  document.OnWarning = [&](TgtCustomPDFDocument&, const std::string& w) { warnings.push_back(w); };
  if (v.password)
    document.OnPassword = [&](TgtCustomPDFDocument&, std::string& password, bool& go_on,
                              int32_t tries) {
      password = v.password;
      go_on = tries == 0;
    };
  ASSERT_TRUE(document.LoadFromFile(file));
  EXPECT_TRUE(warnings.empty()) << warnings.front();
  int32_t packed = 0;
  const TgtXRefStmTable& table = TgtDocumentInternals::State(document).stream_table;
  for (int32_t n = 0; n < table.SlotCount(); ++n) packed += table.At(n) && table.At(n)->type == 2;
  EXPECT_EQ(packed > 0, std::string(v.qpdf_options).find("generate") != std::string::npos);
  EXPECT_EQ(document.PageCount(), qpdf_pages);
  EXPECT_EQ(document.PageCount(), 5);
  EXPECT_EQ(document.IsOwner(), v.owner);
  EXPECT_EQ(document.PageMode(), pmUseOutlines);
  EXPECT_EQ(document.PageLayout(), plTwoColumnLeft);
  EXPECT_EQ(document.DocumentInfo().Title(), u"Quarterly Report");
  EXPECT_EQ(document.DocumentInfo().Author(), u"Jo\u00EBl");

  // Decrypted and decoded content, compared with what qpdf gives for the
  // same objects.
  for (int i = 0; i < 5; ++i) {
    const std::string text = PageText(document, i);
    EXPECT_NE(text.find("(Page " + std::to_string(i + 1) + " text)"), std::string::npos) << text;
    const TgtPDFDictObject& page = TgtDocumentInternals::State(document).pages.at(i)->Content()->AsDictionary();
    const int contents = page.Lookup("/Contents")->AsReference().Number();
    EXPECT_EQ(text,
              RunCommand("qpdf" + password_option + " --show-object=" + std::to_string(contents) +
                         " --filtered-stream-data '" + file + "'"));
    EXPECT_EQ(page.Lookup("/Rotate") != nullptr, i < 3);
  }
  ASSERT_NE(TgtDocumentInternals::State(document).outline_root, nullptr);
  EXPECT_EQ(TgtDocumentInternals::State(document)
                .outline_root->FirstChild()
                ->Dictionary()
                ->Lookup("/Title")
                ->AsString()
                .Value(),
            "Start");
  const TgtPDFDictObject& kept = *TgtDocumentInternals::State(document).catalog->other_entries;
  ASSERT_NE(kept.Lookup("/Lang"), nullptr);
  EXPECT_EQ(kept.Lookup("/Lang")->AsString().Value(), "en-GB");
  EXPECT_NE(kept.Lookup("/PageLabels"), nullptr);
}

INSTANTIATE_TEST_SUITE_P(
    Producers, QpdfInterop,
    ::testing::Values(
        Variant{"classic", "--object-streams=disable", nullptr, true},
        Variant{"objstm", "--object-streams=generate", nullptr, true},
        Variant{"rc40_user", "--allow-weak-crypto --encrypt user owner 40 --", "user", false},
        Variant{"rc40_owner", "--allow-weak-crypto --encrypt user owner 40 --", "owner", true},
        Variant{"rc128_user", "--allow-weak-crypto --encrypt user owner 128 --use-aes=n --", "user",
                false},
        Variant{"rc128_owner", "--allow-weak-crypto --encrypt user owner 128 --use-aes=n --",
                "owner", true},
        Variant{"rc40_empty_user", "--allow-weak-crypto --encrypt '' owner 40 --", nullptr, false},
        Variant{"rc128_empty_user", "--allow-weak-crypto --encrypt '' owner 128 --use-aes=n --",
                nullptr, false},
        Variant{"rc128_empty_owner", "--allow-weak-crypto --encrypt user '' 128 --use-aes=n --",
                "user", true},
        Variant{"rc40_empty_both", "--allow-weak-crypto --encrypt '' '' 40 --", nullptr, true},
        Variant{
            "rc128_objstm_user",
            "--object-streams=generate --allow-weak-crypto --encrypt user owner 128 --use-aes=n --",
            "user", false},
        Variant{"rc40_objstm_owner",
                "--object-streams=generate --allow-weak-crypto --encrypt user owner 40 --", "owner",
                true}),
    [](const ::testing::TestParamInfo<Variant>& info) { return std::string(info.param.name); });

// qpdf puts the catalog and the page tree into object streams; they stay
// reachable through the store, and the catalog is not marked for writing.
TEST(QpdfObjectStreams, CatalogAndPagesInsideObjectStreams) {
  TempDir dir;
  const std::string source = dir.Write("source.pdf", SourceDocument());
  const std::string file = dir.File("out.pdf");
  RunCommand("qpdf --object-streams=generate '" + source + "' '" + file + "'");
  TgtPDFDocument document;
  ASSERT_TRUE(document.LoadFromFile(file));
  const TgtPDFDocumentState& state = TgtDocumentInternals::State(document);
  ASSERT_NE(state.stream_table.At(state.trailer.root_number), nullptr);
  EXPECT_EQ(state.stream_table.At(state.trailer.root_number)->type, 2);
  const TgtPDFIndirectObject* catalog =
      state.store->Find(state.serial, state.trailer.root_number, 0);
  ASSERT_NE(catalog, nullptr);
  EXPECT_EQ(document.PageCount(), 5);
}

}  // namespace
}  // namespace pagemint::testing
