// SPDX-License-Identifier: GPL-3.0-or-later
#include "pdf/reader/xref_rebuild.h"

#include <gtest/gtest.h>

#include "pdf/reader/pdf_test_builder.h"
#include "pdf/reader/reader_harness.h"
#include "platform/messages.h"

namespace pagemint::testing {
namespace {

TgtXRefScan Scan(const std::string& bytes) {
  return ScanForObjects(reinterpret_cast<const uint8_t*>(bytes.data()),
                        static_cast<int64_t>(bytes.size()));
}

TEST(ScanForObjects, HeadersAndMarks) {
  const struct {
    std::string bytes;
    std::string headers;  // "number generation offset" for each header found
  } cases[] = {
      {"1 0 obj", "1 0 0;"},
      {"x\n12 3 obj<<>>", "12 3 2;"},
      {"7\r\n0\r\nobj\n", "7 0 0;"},
      {"[5 0 obj]", "5 0 1;"},
      // Not headers: "endobj", a word before the number, no space, a
      // generation over 65535, a number over the largest allowed, "objx".
      {"1 0 endobj", ""},
      {"x1 0 obj", ""},
      {"1 0obj", ""},
      {"1 65536 obj", ""},
      {"8388608 0 obj", ""},
      {"1 0 objx", ""},
      {"1" + std::string(40, ' ') + "0 obj", ""},
      {"", ""},
      {"obj", ""},
  };
  for (const auto& c : cases) {
    std::string headers;
    for (const TgtScannedObject& o : Scan(c.bytes).objects)
      headers += std::to_string(o.number) + " " + std::to_string(o.generation) + " " +
                 std::to_string(o.offset) + ";";
    EXPECT_EQ(headers, c.headers) << c.bytes;
  }
  const TgtXRefScan scan = Scan(
      "/Catalog 1 0 obj <</Type/Catalog>> endobj 2 0 obj <</Type /XRef /Prev 1>> trailer<<>> "
      "3 0 obj <</Type /ObjStm /Catalogs 1>> xtrailer /XRefs 4 0 obj <</Filter/Standard>>");
  EXPECT_EQ(scan.objects.size(), 4u);
  EXPECT_EQ(scan.security_handlers, std::vector<size_t>{3});
  EXPECT_EQ(scan.catalogs, std::vector<size_t>{0});
  EXPECT_EQ(scan.xref_streams, std::vector<size_t>{1});
  EXPECT_EQ(scan.object_streams, std::vector<size_t>{2});
  EXPECT_EQ(scan.trailers.size(), 1u);
}

// The file as damage leaves it, and what a rebuild reads from it.
struct RebuildCase {
  const char* name;
  std::string file;
  int32_t pages;       // -1: the rebuild fails
  int32_t root;        // the catalog chosen
  size_t warnings;     // the rebuild's own and any damaged trailers
};

std::string WithoutTable(const std::string& file) {
  const size_t xref = file.rfind("\nxref\n") + 1;
  return file.substr(0, xref) + file.substr(file.find("trailer", xref));
}

TEST(RebuildFromStream, DamagedVariants) {
  const std::string sound = SimpleDocument(5).Build("/Root 1 0 R /Info 9 0 R");
  PdfBuilder update;
  update.Add(5, "<< /Type /Page /Parent 2 0 R /Rotate 90 >>");
  const std::string updated = update.BuildUpdate(sound, "/Root 1 0 R");
  std::string shifted = sound;
  shifted.insert(shifted.find("4 0 obj"), "% a line the table does not know\n");
  std::string bad_root = WithoutTable(sound);
  bad_root.replace(bad_root.find("/Root 1 0 R"), 11, "/Root 4 0 R");
  // A trailer whose syntax is repaired ("[" without its end) serves; one
  // cut off by the end of the file is ignored with a warning of its own.
  std::string repaired_trailer = WithoutTable(sound);
  repaired_trailer.replace(repaired_trailer.find("/Root 1 0 R"), 11, "/Root 1 0 R /X [>>");
  std::string bad_trailer = WithoutTable(sound);
  bad_trailer.replace(bad_trailer.find("/Root 1 0 R"), 11, "/Root 1 0 R /X (");
  // Damage inside objects: a page's dictionary without its end, a kid
  // that is missing, a page that is no dictionary, a node reached twice,
  // a damaged /Type, a header damaged beyond recognition.
  std::string cut_page = WithoutTable(sound);
  cut_page.replace(cut_page.find(">>", cut_page.find("5 0 obj")), 2, "");
  std::string missing_kid = WithoutTable(sound);
  missing_kid.replace(missing_kid.find("5 0 R"), 5, "77 0 R");
  std::string number_kid = WithoutTable(sound);
  const std::string first_page = "<< /Type /Page /Parent 2 0 R /Contents 3 0 R >>";
  number_kid.replace(number_kid.find(first_page), first_page.size(), "42");
  std::string loop_kid = WithoutTable(sound);
  loop_kid.replace(loop_kid.find("5 0 R"), 5, "2 0 R");
  std::string bad_type = WithoutTable(sound);
  bad_type.replace(bad_type.find("/Type /Page /"), 11, "/Type /P#xge");
  std::string direct_root = WithoutTable(sound);
  direct_root.replace(direct_root.find("/Type /Catalog"), 14, "/Type /Catxlog");
  direct_root.replace(direct_root.find("/Root 1 0 R"), 11, "/Root << /Pages 2 0 R >>");
  std::string bad_header = sound;
  bad_header.replace(0, 5, std::string("%U\xA0") + "F-");
  const RebuildCase cases[] = {
      {"sound", sound, 5, 1, 1},
      {"table removed", WithoutTable(sound), 5, 1, 1},
      {"objects shifted", shifted, 5, 1, 1},
      {"update without its table", WithoutTable(updated), 5, 1, 1},
      {"no trailer", sound.substr(0, sound.rfind("\nxref\n")), 5, 1, 1},
      {"root is not a catalog", bad_root, 5, 1, 1},
      {"repaired trailer", repaired_trailer, 5, 1, 1},
      {"damaged trailer", bad_trailer, 5, 1, 2},
      {"page dictionary cut", cut_page, 5, 1, 1},
      {"missing kid", missing_kid, 5, 1, 2},
      {"kid not a dictionary", number_kid, 5, 1, 2},
      {"node reached twice", loop_kid, 4, 1, 2},
      {"damaged type", bad_type, 5, 1, 1},
      {"damaged header", bad_header, 5, 1, 2},
      {"catalog inside the trailer", direct_root, 5, 10, 1},
      {"no objects", "%PDF-1.4\ntrailer << /Root 1 0 R >>\n", -1, -1, 0},
  };
  for (const RebuildCase& c : cases) {
    SCOPED_TRACE(c.name);
    ReaderHarness h;
    h.state->source = std::make_shared<TgtDocumentSource>(std::make_unique<TMemoryStream>(c.file));
    try {
      TgtXRefReader(*h.loader).RebuildFromStream(*h.state->source->Stream());
      TgtStructureReader(*h.loader).ReadCatalog();
      EXPECT_EQ(h.state->PageCount(), c.pages);
      EXPECT_EQ(h.state->trailer.root_number, c.root);
    } catch (const Exception& e) {
      EXPECT_EQ(c.pages, -1) << e.what();
    }
    ASSERT_EQ(h.reporter.warnings.size(), c.warnings);
    if (c.warnings > 0) {
      EXPECT_EQ(h.reporter.warnings[0], msg::kXRefRebuilt);
    }
  }
}

// The last definition of a number wins, and the newest trailer's values.
TEST(RebuildFromStream, NewestDefinitionsWin) {
  const std::string base = SimpleDocument(2).Build("/Root 1 0 R /Info 9 0 R");
  PdfBuilder update;
  update.Add(4, "<< /Type /Page /Parent 2 0 R /Rotate 90 >>");
  update.Add(10, "<< /Title (New) >>");
  const std::string file = WithoutTable(update.BuildUpdate(base, "/Root 1 0 R /Info 10 0 R"));
  ReaderHarness h;
  h.state->source = std::make_shared<TgtDocumentSource>(std::make_unique<TMemoryStream>(file));
  TgtXRefReader(*h.loader).RebuildFromStream(*h.state->source->Stream());
  TgtStructureReader(*h.loader).ReadCatalog();
  ASSERT_EQ(h.state->PageCount(), 2);
  EXPECT_NE(h.Page(0).Lookup("/Rotate"), nullptr);
  EXPECT_EQ(h.state->info->Title(), u"New");
}

}  // namespace
}  // namespace pagemint::testing
