// SPDX-License-Identifier: GPL-3.0-or-later
#include "pdf/reader/structure_reader.h"

#include <gtest/gtest.h>

#include "pdf/objects/pdf_exceptions.h"
#include "pdf/reader/pdf_test_builder.h"
#include "pdf/reader/reader_exceptions.h"
#include "pdf/reader/reader_harness.h"

namespace pagemint::testing {
namespace {

std::string LoadError(const std::string& file) {
  ReaderHarness h;
  try {
    h.ReadAll(file);
  } catch (const Exception& e) {
    return e.what();
  }
  return "no error";
}

std::string NumbersOf(const TgtPDFArrayObject& array) {
  std::string text;
  for (int32_t i = 0; i < array.Count(); ++i)
    text += std::to_string(static_cast<int>(NumberValue(array.ItemAt(i)))) + " ";
  return text;
}

TEST(ReadPageTree, InheritedAttributes) {
  PdfBuilder b;
  b.Add(1, "<< /Type /Catalog /Pages 2 0 R >>");
  b.Add(2, "<< /Type /Pages /Kids [3 0 R 6 0 R] /Count 99 /MediaBox [0 0 612 792] /Rotate 0 >>");
  b.Add(3, "<< /Type /Pages /Parent 2 0 R /Kids [4 0 R 5 0 R] /MediaBox [0 0 595 842] >>");
  b.Add(4, "<< /Type /Page /Parent 3 0 R /Rotate 90 /B [9 0 R] >>");
  b.Add(5, "<< /Type /Page /Parent 3 0 R /MediaBox [0 0 100 100] >>");
  b.Add(6, "<< /Type /Page /Parent 2 0 R >>");
  ReaderHarness h;
  h.ReadAll(b.Build());
  ASSERT_EQ(h.state->PageCount(), 3);
  EXPECT_EQ(NumbersOf(h.Page(0).Lookup("/MediaBox")->AsArray()), "0 0 595 842 ");
  EXPECT_EQ(NumbersOf(h.Page(1).Lookup("/MediaBox")->AsArray()), "0 0 100 100 ");
  EXPECT_EQ(NumbersOf(h.Page(2).Lookup("/MediaBox")->AsArray()), "0 0 612 792 ");
  EXPECT_EQ(h.Page(0).Lookup("/Rotate")->AsInteger().Value(), 90);
  // An inherited value comes after the page's own entries.
  EXPECT_EQ(h.Page(1).KeyAt(h.Page(1).Count() - 1)->Text(), "/Rotate");
  for (int i = 0; i < 3; ++i) {
    EXPECT_EQ(h.Page(i).Lookup("/Parent"), nullptr);
    EXPECT_EQ(h.Page(i).Lookup("/B"), nullptr);
    EXPECT_EQ(h.state->store->Find(*h.state->pages[i]), h.state->pages[i]);
  }
  // Intermediate nodes are neither registered nor kept.
  EXPECT_EQ(h.Registered(2), nullptr);
  EXPECT_EQ(h.Registered(3), nullptr);
  EXPECT_EQ(h.state->pages[0]->Number(), 4);
}

TEST(ReadPageTree, DamagedTrees) {
  struct Case {
    const char* catalog;
    const char* pages;
    const char* message;
  } cases[] = {
      {"<< /Type /Catalog >>", "<< /Type /Pages /Kids [] >>",
       "File is corrupted: the catalog has no page tree (/Pages)"},
      {"<< /Type /Catalog /Pages 2 0 R >>", "<< /Type /Pages /Kids [2 0 R] >>",
       "File is corrupted: the page tree reaches node 2 more than once"},
      {"<< /Type /Catalog /Pages 2 0 R >>", "<< /Type /Pages /Kids [50 0 R] >>",
       "File is corrupted: page tree node 50 cannot be found"},
      {"<< /Type /Catalog /Pages 2 0 R >>", "<< /Type /Catalog /Kids [] >>", "Unexpected Error"},
      {"<< /Type /Catalog /Pages 2 0 R >>", "<< /Type /Pages /Kids [3 0 R] >>", "Unexpected Error"},
  };
  for (const Case& c : cases) {
    PdfBuilder b;
    b.Add(1, c.catalog).Add(2, c.pages).Add(3, "<< /Type /Foo >>");
    EXPECT_EQ(LoadError(b.Build()), c.message) << c.pages;
  }
  PdfBuilder no_root = SimpleDocument(1);
  EXPECT_EQ(LoadError(no_root.Build("/Info 1 0 R")),
            "File is corrupted: the trailer names no catalog (/Root)");
  EXPECT_EQ(LoadError(no_root.Build("/Root 40 0 R")),
            "File is corrupted: the catalog (object 40) cannot be found");
}

// Nodes without /Type are told apart by their kids; kids given as direct
// dictionaries become objects of their own.
TEST(ReadPageTree, UntypedAndDirectNodes) {
  PdfBuilder b;
  b.Add(1, "<< /Type /Catalog /Pages 2 0 R >>");
  b.Add(2,
        "<< /Kids [3 0 R << /Type /Page /Rotate 90 >> << /Kids [<< /MediaBox [0 0 5 5] >>] >>] >>");
  b.Add(3, "<< /Parent 2 0 R /MediaBox [0 0 1 1] >>");
  ReaderHarness h;
  h.ReadAll(b.Build());
  ASSERT_EQ(h.state->PageCount(), 3);
  EXPECT_EQ(h.state->pages[0]->Number(), 3);
  EXPECT_EQ(h.Page(1).Lookup("/Rotate")->AsInteger().Value(), 90);
  for (int i = 1; i < 3; ++i) {
    EXPECT_GT(h.state->pages[i]->Number(), 3);
    EXPECT_EQ(h.state->store->Find(*h.state->pages[i]), h.state->pages[i]);
  }
}

TEST(ReadObjectAt, EmptyObjectIsNull) {
  PdfBuilder b = SimpleDocument(1, "/X 9 0 R");
  b.Add(9, "   ");
  ReaderHarness h;
  h.ReadAll(b.Build());
  ASSERT_NE(h.Registered(9), nullptr);
  EXPECT_TRUE(h.Registered(9)->Content()->IsNull());
}

TEST(ReadCatalog, ProgressStatusAndViewSettings) {
  struct Case {
    const char* entries;
    TgtPageMode mode;
    TgtPageLayout layout;
  } cases[] = {
      {"", pmNone, plNone},
      {"/PageMode /UseThumbs /PageLayout /OneColumn", pmUseThumbs, plOneColumn},
      {"/PageMode /UseAttachments /PageLayout /TwoColumnRight", pmUseAttachments, plTwoColumnRight},
      {"/PageMode /UseOC /PageLayout /TwoPageLeft", pmNone, plNone},
  };
  for (const Case& c : cases) {
    ReaderHarness h;
    h.ReadAll(SimpleDocument(1, c.entries).Build());
    EXPECT_EQ(h.state->page_mode, c.mode) << c.entries;
    EXPECT_EQ(h.state->page_layout, c.layout) << c.entries;
    EXPECT_EQ(h.reporter.progress, (std::vector<int32_t>{10, 75, 30, 90, 60, 100}));
  }
  PdfBuilder b = SimpleDocument(1,
                                "/Dests 30 0 R /AcroForm << /Fields [] >> /Names << >> "
                                "/ViewerPreferences << /FitWindow true >>");
  b.Add(30, "<< >>");
  ReaderHarness h;
  h.ReadAll(b.Build());
  EXPECT_EQ(h.reporter.statuses,
            (std::vector<std::string>{"Reading Cross-Reference Table", "Traversing Pages...",
                                      "Processing Destinations", "Processing Annotations...",
                                      "AcroForms Processed", "Processing Name Tree...",
                                      "Reading Outlines..."}));
  EXPECT_TRUE(h.state->catalog->viewer_preferences->FitWindow());
  // A direct form dictionary is wrapped in a new registered object.
  const TgtPDFObject* form = h.state->catalog->acro_form.get();
  ASSERT_TRUE(form && form->IsReference());
  EXPECT_GT(form->AsReference().Number(), 30);
  EXPECT_NE(h.state->store->Find(form->AsReference()), nullptr);
}

TEST(ReadCatalog, OtherEntriesAreKeptWithWhatTheyReach) {
  PdfBuilder b = SimpleDocument(
      1, "/Lang (de) /PageLabels 30 0 R /MarkInfo << /Marked true >> /StructTreeRoot 31 0 R");
  b.Add(30, "<< /Nums [0 << /S /D >>] >>");
  b.Add(31, "<< /Type /StructTreeRoot /K 32 0 R >>");
  b.Add(32, "<< /S /Document /P 31 0 R /Pg 4 0 R >>");
  ReaderHarness h;
  h.ReadAll(b.Build());
  const TgtPDFDictObject& kept = *h.state->catalog->other_entries;
  ASSERT_EQ(kept.Count(), 4);
  EXPECT_EQ(kept.KeyAt(0)->Text(), "/Lang");
  EXPECT_EQ(kept.KeyAt(1)->Text(), "/PageLabels");
  EXPECT_EQ(kept.KeyAt(2)->Text(), "/MarkInfo");
  EXPECT_EQ(kept.KeyAt(3)->Text(), "/StructTreeRoot");
  for (int n : {30, 31, 32}) ASSERT_NE(h.Registered(n), nullptr) << n;
  // The catalog itself is rebuilt on save and is not kept as an object.
  EXPECT_EQ(h.Registered(1), nullptr);
}

// Named destinations from the destinations dictionary replace a link's
// name; those of the name tree reach outline items only.
TEST(NamedDestinations, LinksAndOutlines) {
  for (const bool in_dests : {true, false}) {
    PdfBuilder b = SimpleDocument(
        1, in_dests ? "/Dests 30 0 R /Outlines 40 0 R" : "/Names 31 0 R /Outlines 40 0 R");
    b.Add(4, "<< /Type /Page /Parent 2 0 R /Annots [20 0 R] >>");
    b.Add(20, "<< /Type /Annot /Subtype /Link /Dest (Chapter1) >>");
    b.Add(30, "<< /Chapter1 [4 0 R /Fit] /Other 33 0 R >>");
    b.Add(33, "<< /D [4 0 R /XYZ 0 0 0] >>");
    b.Add(31, "<< /Dests 32 0 R >>");
    b.Add(32, "<< /Names [(Chapter1) [4 0 R /Fit] (Other) 33 0 R] >>");
    b.Add(40, "<< /Type /Outlines /First 41 0 R /Last 42 0 R /Count 2 >>");
    b.Add(41, "<< /Title (One) /Parent 40 0 R /Next 42 0 R /Dest (Chapter1) >>");
    b.Add(42, "<< /Title (Two) /Parent 40 0 R /Prev 41 0 R /A << /S /GoTo /D /Other >> >>");
    ReaderHarness h;
    h.ReadAll(b.Build());
    const TgtPDFObject* dest = h.Registered(20)->Content()->AsDictionary().Lookup("/Dest");
    EXPECT_EQ(dest->IsArray(), in_dests);
    ASSERT_EQ(h.state->destinations->Count(), 2);
    const TgtPDFOutline* first = h.state->outline_root->FirstChild();
    ASSERT_NE(first, nullptr);
    EXPECT_TRUE(first->Dictionary()->Lookup("/Dest")->IsArray());
    const TgtPDFDictObject& action = first->Next()->Dictionary()->Lookup("/A")->AsDictionary();
    EXPECT_TRUE(action.Lookup("/D")->IsArray());
    EXPECT_EQ(first->Next()->Previous(), first);
    EXPECT_EQ(h.state->outline_count, 3);
  }
}

TEST(ReadOutlineItem, ItemsAndLoops) {
  PdfBuilder b = SimpleDocument(1, "/Outlines 40 0 R");
  b.Add(40, "<< /Type /Outlines /First 41 0 R /Count 2 >>");
  b.Add(41, "<< /Title (One) /Parent 40 0 R /Next 42 0 R /First 43 0 R /Count -3 >>");
  b.Add(42, "<< /Title (Two) /Parent 40 0 R /Next 41 0 R /Count 3 >>");  // loops back
  b.Add(43, "<< /Title 44 0 R /Parent 41 0 R /Dest (Nowhere) >>");
  b.Add(44, "(Indirect title)");
  ReaderHarness h;
  h.ReadAll(b.Build());
  const TgtPDFOutline* root = h.state->outline_root.get();
  ASSERT_NE(root, nullptr);
  EXPECT_EQ(root->Dictionary()->Count(), 1);  // only /Type is left
  const TgtPDFOutline* one = root->FirstChild();
  EXPECT_TRUE(one->Closed());
  EXPECT_EQ(one->Dictionary()->Count(), 1);
  EXPECT_EQ(one->Dictionary()->KeyAt(0)->Text(), "/Title");
  EXPECT_FALSE(one->Next()->Closed());
  EXPECT_EQ(one->Next()->Next(), nullptr);
  const TgtPDFOutline* child = one->FirstChild();
  EXPECT_EQ(child->Parent(), one);
  EXPECT_EQ(child->Dictionary()->Lookup("/Title")->AsString().Value(), "Indirect title");
  EXPECT_EQ(child->Dictionary()->Lookup("/Dest")->AsString().Value(), "Nowhere");
  EXPECT_EQ(h.reporter.warnings.back(),
            "Outline item 41 is reached more than once; the outline is cut there");
}

TEST(ReadOutlineItem, LongSiblingChain) {
  constexpr int kItems = 20000;
  PdfBuilder b = SimpleDocument(1, "/Outlines 40 0 R");
  b.Add(40, "<< /First 100 0 R >>");
  for (int i = 0; i < kItems; ++i)
    b.Add(100 + i,
          "<< /Title (x) " +
              (i + 1 < kItems ? "/Next " + std::to_string(101 + i) + " 0 R" : std::string()) +
              " >>");
  ReaderHarness h;
  h.ReadAll(b.Build());
  EXPECT_EQ(h.state->outline_count, kItems + 1);
}

TEST(ReadNameTree, LoopIsAnError) {
  PdfBuilder b = SimpleDocument(1, "/Names << /Dests 31 0 R >>");
  b.Add(31, "<< /Kids [32 0 R] >>");
  b.Add(32, "<< /Kids [32 0 R] >>");
  EXPECT_EQ(LoadError(b.Build()),
            "File is corrupted: the name tree reaches node 32 more than once");
}

TEST(ReadFormFields, FieldsAndWhatTheyReach) {
  PdfBuilder b = SimpleDocument(1, "/AcroForm 30 0 R");
  b.Add(30, "<< /Fields [31 0 R] /DA (/Helv 0 Tf 0 g) /DR << /Font << /Helv 35 0 R >> >> >>");
  b.Add(31, "<< /T (parent) /Kids [32 0 R 33 0 R] >>");
  b.Add(32, "<< /T (a) /FT /Tx /Parent 31 0 R /AP << /N 34 0 R >> >>");
  b.Add(33, "<< /T (b) /FT /Btn /Parent 31 0 R >>");
  b.AddStream(34, "/Subtype /Form", "q Q");
  b.Add(35, "<< /Type /Font /Subtype /Type1 /BaseFont /Helvetica >>");
  ReaderHarness h;
  h.ReadAll(b.Build());
  ASSERT_TRUE(h.state->form_fields);
  ASSERT_EQ(h.state->form_fields->size(), 2u);
  EXPECT_EQ((*h.state->form_fields)[0].qualified_name, "parent.a");
  EXPECT_EQ((*h.state->form_fields)[1].field_type, "Btn");
  EXPECT_EQ((*h.state->form_fields)[0].default_appearance, "/Helv 0 Tf 0 g");
  for (int n : {30, 31, 32, 33, 34, 35}) EXPECT_NE(h.Registered(n), nullptr) << n;
}

TEST(TgtPDFInfo, GettersAndSetters) {
  PdfBuilder b = SimpleDocument(1);
  b.Add(9,
        "<< /Title (Report) /Author <FEFF00410042> /Subject (\\376\\377\\000X\\000\\\\) /Keywords "
        "10 0 R "
        "/CreationDate (D:20240102) /ModDate <443A32> >>");
  b.Add(10, "(indirect)");
  ReaderHarness h;
  h.ReadAll(b.Build("/Root 1 0 R /Info 9 0 R"));
  TgtPDFInfo& info = *h.state->info;
  EXPECT_EQ(info.Title(), u"Report");
  EXPECT_EQ(info.Author(), u"AB");
  EXPECT_EQ(info.Subject(), u"X\\");
  EXPECT_EQ(info.Keywords(), u"");       // not a string
  EXPECT_NE(h.Registered(10), nullptr);  // still loaded: the dictionary is written as it is
  EXPECT_EQ(info.CreationDate(), "D:20240102");
  EXPECT_EQ(info.ModDate(), "D:2");
  info.SetTitle(u"A(b)");
  EXPECT_EQ(info.Title(), u"A(b)");
  EXPECT_EQ(info.Dictionary().Lookup("/Title")->AsName().Text(),
            std::string("(\xFE\xFF\0A\0\\(\0b\0\\))", 14));
  info.SetModDate("D:2025");
  EXPECT_EQ(info.ModDate(), "D:2025");
}

}  // namespace
}  // namespace pagemint::testing
