// SPDX-License-Identifier: GPL-3.0-or-later
// Damaged input ends with a clear error (or a sound load) quickly, never
// with a crash, a hang or a stack overflow.
#include <gtest/gtest.h>

#include <chrono>
#include <functional>
#include <vector>

#include "pdf/document/document_internals.h"
#include "pdf/document/pdf_document.h"
#include "pdf/reader/pdf_test_builder.h"
#include "platform/messages.h"

namespace pagemint::testing {
namespace {

struct Outcome {
  bool loaded = false;
  std::string error;
  double seconds = 0;
  int32_t pages = 0;
};

Outcome Load(const std::string& bytes) {
  Outcome outcome;
  const auto start = std::chrono::steady_clock::now();
  TgtPDFDocument document;
  try {
    outcome.loaded = document.LoadFromBytes(bytes);
    outcome.pages = document.PageCount();
  } catch (const Exception& e) {
    outcome.error = e.what();
    EXPECT_FALSE(document.IsLoaded());
  }
  outcome.seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  // A load that fails is tried a second time on a rebuilt table.
  EXPECT_LT(outcome.seconds, 2.0);
  return outcome;
}

std::string Qpdf(const std::string& source, const std::string& options) {
  TempDir dir;
  const std::string in = dir.Write("in.pdf", source);
  RunCommand("qpdf " + options + " '" + in + "' '" + dir.File("out.pdf") + "'");
  return ReadFile(dir.File("out.pdf"));
}

TEST(DamagedInput, TruncatedFiles) {
  const std::string plain = SimpleDocument(40).Build();
  for (const std::string& file :
       {plain, Qpdf(plain, "--object-streams=generate"),
        Qpdf(plain, "--allow-weak-crypto --encrypt '' o 128 --use-aes=n --")}) {
    // The table is rebuilt from what is left: a file cut after its last
    // page loads whole, one cut before fails with the error it always had.
    for (const double part : {0.1, 0.25, 0.5, 0.75, 0.9}) {
      const Outcome outcome = Load(file.substr(0, static_cast<size_t>(file.size() * part)));
      if (outcome.loaded) {
        EXPECT_EQ(outcome.pages, 40) << part;
      } else if (outcome.error != msg::kEncryptionTrailerLost) {
        EXPECT_EQ(outcome.error, "Invalid PDF File") << part;
      }
    }
    // Cut inside the last lines: an error or a load, but an answer.
    for (size_t cut = 1; cut < 40; cut += 3) Load(file.substr(0, file.size() - cut));
  }
}

// Damage to the cross-reference data of a plain, an object-stream and an
// encrypted file (made by qpdf): each loads with its pages from a table
// rebuilt by a scan, reported by one warning; the sound file gets none.
TEST(DamagedInput, RebuiltCrossReferenceData) {
  const std::string plain = SimpleDocument(12).Build();
  const struct {
    const char* kind;
    std::string file;
  } sources[] = {
      {"plain", plain},
      {"object streams", Qpdf(plain, "--object-streams=generate")},
      {"RC4", Qpdf(plain, "--allow-weak-crypto --encrypt '' o 128 --use-aes=n --")},
      {"RC4 and object streams", Qpdf(plain, "--object-streams=generate --allow-weak-crypto "
                                             "--encrypt '' o 128 --use-aes=n --")},
  };
  auto start_xref = [](const std::string& f) { return f.rfind("startxref") + 10; };
  const struct {
    const char* damage;
    std::function<std::string(std::string)> apply;
    size_t warnings;
  } damages[] = {
      {"none", [](std::string f) { return f; }, 0},
      {"startxref off by 5",
       [&](std::string f) {
         const size_t at = start_xref(f);
         const long value = std::stol(f.substr(at));
         return f.replace(at, std::to_string(value).size(), std::to_string(value + 5));
       },
       1},
      {"startxref at the header",
       [&](std::string f) {
         const size_t at = start_xref(f);
         return f.replace(at, std::to_string(std::stol(f.substr(at))).size(), "0");
       },
       1},
      {"objects shifted",
       [](std::string f) { return f.insert(f.find(" 0 obj", 40) - 2, "\n\n\n\n\n\n\n"); }, 1},
      {"end cut off", [&](std::string f) { return f.substr(0, f.rfind("startxref")); }, 1},
      {"junk before the header", [](std::string f) { return "From: scanner\r\n" + f; }, 1},
  };
  for (const auto& source : sources) {
    ASSERT_FALSE(source.file.empty()) << source.kind;
    for (const auto& damage : damages) {
      SCOPED_TRACE(std::string(source.kind) + ", " + damage.damage);
      TgtPDFDocument document;
      std::vector<std::string> warnings;
      document.OnWarning = [&](TgtCustomPDFDocument&, const std::string& w) {
        warnings.push_back(w);
      };
      try {
        document.LoadFromBytes(damage.apply(source.file));
      } catch (const Exception& e) {
        ADD_FAILURE() << e.what();
      }
      EXPECT_EQ(document.PageCount(), 12);
      EXPECT_EQ(warnings.size(), damage.warnings) << (warnings.empty() ? "" : warnings[0]);
      if (!warnings.empty()) {
        EXPECT_EQ(warnings[0], msg::kXRefRebuilt);
      }
    }
  }
}

// An encrypted file that has lost the trailer naming its encryption
// dictionary and identifier cannot be decrypted: it is refused, never read
// as if its encrypted bytes were plain. So is one cut before the encryption
// dictionary itself (its Flate streams do not start as zlib data), while
// the same file unencrypted and cut there loads.
TEST(DamagedInput, EncryptedFileWithoutItsTrailer) {
  PdfBuilder b = SimpleDocument(6);
  for (int i = 0; i < 6; ++i) {
    b.AddStream(10 + i, "", "BT /F1 12 Tf 72 720 Td (Page " + std::to_string(i) + ") Tj ET");
    b.Add(4 + i, "<< /Type /Page /Parent 2 0 R /Contents " + std::to_string(10 + i) + " 0 R >>");
  }
  const std::string options = "--object-streams=disable --compress-streams=y ";
  const std::string plain = Qpdf(b.Build(), options);
  const std::string rc4 =
      Qpdf(b.Build(), options + "--allow-weak-crypto --encrypt '' o 128 --use-aes=n --");
  const std::string aes = Qpdf(b.Build(), options + "--encrypt '' o 256 --");
  for (const std::string* file : {&rc4, &aes}) {
    for (const std::string& cut :
         {file->substr(0, file->rfind("trailer")), file->substr(0, file->rfind("/Filter /Standard")),
          file->substr(0, file->rfind("/Standard") - 40)}) {
      const Outcome outcome = Load(cut);
      EXPECT_FALSE(outcome.loaded) << cut.size();
      EXPECT_EQ(outcome.error, msg::kEncryptionTrailerLost) << cut.size();
    }
  }
  ASSERT_NE(rc4.rfind("/Standard"), std::string::npos);
  EXPECT_EQ(Load(plain.substr(0, plain.rfind("xref"))).pages, 6);
}

TEST(DamagedInput, PrevLoopBetweenTwoSections) {
  // The older trailer gets a /Prev of fixed width, filled in afterwards
  // with the offset of the newer section: each points at the other.
  const std::string base = SimpleDocument(2).Build("/Root 1 0 R /Prev 0000000000");
  PdfBuilder update;
  update.Add(5, "<< /Type /Page /Parent 2 0 R /Rotate 180 >>");
  std::string file = update.BuildUpdate(base, "/Root 1 0 R");
  const std::string newer = std::to_string(PdfBuilder::StartXRef(file));
  file.replace(file.find("/Prev 0000000000") + 6 + 10 - newer.size(), newer.size(), newer);
  const Outcome outcome = Load(file);
  EXPECT_TRUE(outcome.loaded) << outcome.error;
}

// A loop back to the root is passed over once the load is repaired: the
// pages on the way are kept.
TEST(DamagedInput, PageTreeBackToItsRoot) {
  PdfBuilder b = SimpleDocument(2);
  b.Add(2, "<< /Type /Pages /Kids [4 0 R 6 0 R] /Count 2 >>");
  b.Add(6, "<< /Type /Pages /Parent 2 0 R /Kids [5 0 R 2 0 R] >>");
  const Outcome outcome = Load(b.Build());
  EXPECT_TRUE(outcome.loaded) << outcome.error;
  EXPECT_EQ(outcome.pages, 2);
}

// Damage inside objects (the cross-reference data is sound or not): the
// load is repaired with warnings, keeps qpdf's page count where that is a
// count of real pages, and what is written passes qpdf --check.
TEST(DamagedInput, DamagedObjectsRepaired) {
  const std::string page = "<< /Type /Page /Parent 2 0 R /Contents 3 0 R >>";
  auto with = [](int number, const std::string& body) {
    PdfBuilder b = SimpleDocument(4);
    if (number > 0) b.Add(number, body);
    return b.Build();
  };
  auto replaced = [](std::string file, const std::string& from, const std::string& to) {
    return file.replace(file.find(from), from.size(), to);
  };
  PdfBuilder lost = SimpleDocument(4);
  lost.Add(2, "(gone)");
  for (int n = 4; n < 8; ++n) lost.Add(n, "<< /Parent 2 0 R /Contents 3 0 R >>");
  const std::string untyped_pages = lost.Build();
  const struct {
    const char* name;
    std::string file;
    int32_t pages;  // -1: refused
  } cases[] = {
      {"header damaged", replaced(with(0, ""), "%PDF-1.4", "%UPDF-1"), 4},
      {"header missing", with(0, "").substr(9), 4},
      {"key without value", with(5, "<< /Type /Page /Parent 2 0 R /Rotate >>"), 4},
      {"page dictionary cut", with(5, "<< /Type /Page /Parent 2 0 R /Contents 3 0 R"), 4},
      {"next object inside", replaced(with(0, ""), ">>\nendobj\n6 0 obj", "\n6 0 obj"), 4},
      {"hex string damaged", with(5, "<< /Type /Page /Parent 2 0 R /X <41x42> >>"), 4},
      {"name with raw bytes", with(5, "<< /Type /Page /Parent 2 0 R /F\xE9\x01x 1 >>"), 4},
      {"catalog key with raw bytes",
       with(1, "<< /Type /Catalog /Pages 2 0 R /K\xE9\x1C 1 /PageMode /U\x7F >>"), 4},
      {"node marked as a page", replaced(with(0, ""), "/Type /Pages", "/Type /Page"), 4},
      {"damaged words", with(5, "<< /Type /Page /Parent 2 0 R /A tru /B 1.2.3 /C x 0 R >>"), 4},
      {"kid missing", replaced(with(0, ""), "5 0 R", "77 0 R"), 4},
      {"kid not a dictionary", with(5, "[1 2]"), 4},
      {"kid type damaged", with(5, "<< /Type /P\xA9ge /Parent 2 0 R >>"), 4},
      {"content lost", with(3, "<< /Length 5 (x >>"), 4},
      // The page tree cannot be read: the pages in the file are gathered.
      {"page tree root lost", with(2, "(gone)"), 4},
      {"catalog lost", with(1, "(gone)"), 4},
      {"catalog without page tree", with(1, "<< /Type /Catalog >>"), 4},
      {"no page anywhere", untyped_pages, -1},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    TgtPDFDocument document;
    std::vector<std::string> warnings;
    document.OnWarning = [&](TgtCustomPDFDocument&, const std::string& w) {
      warnings.push_back(w);
    };
    try {
      document.LoadFromBytes(c.file);
    } catch (const Exception& e) {
      EXPECT_EQ(c.pages, -1) << e.what();
      continue;
    }
    ASSERT_EQ(document.PageCount(), c.pages);
    // Raw bytes in a name are read as they are (and escaped when written).
    EXPECT_EQ(warnings.empty(), std::string(c.name).find("raw bytes") != std::string::npos);
    TempDir dir;
    const std::string out = dir.File("out.pdf");
    document.SaveToFile(out);
    EXPECT_EQ(QpdfCheckProblems(out), "");
  }
}

TEST(DamagedInput, DeepPageTree) {
  PdfBuilder b;
  b.Add(1, "<< /Type /Catalog /Pages 2 0 R >>");
  constexpr int kDepth = 3000;
  for (int i = 0; i < kDepth; ++i)
    b.Add(2 + i, "<< /Type /Pages /Kids [" + std::to_string(3 + i) + " 0 R] >>");
  b.Add(2 + kDepth, "<< /Type /Page >>");
  // Refused as it is; the repaired load reaches the page by the nodes
  // below the depth bound, which stand as trees of their own.
  const Outcome outcome = Load(b.Build());
  EXPECT_EQ(outcome.pages, 1) << outcome.error;
}

// Pages gathered from a file whose page tree root is lost: the trees below
// surviving nodes keep their order and the attributes they pass down, the
// lone pages follow by object number, and a page whose media box is lost
// with its parent gets US Letter.
TEST(DamagedInput, GatheredPagesKeepOrderAndInheritance) {
  PdfBuilder b;
  b.Add(1, "<< /Type /Catalog /Pages 2 0 R >>");
  b.Add(2, "(lost root)");
  b.Add(3, "<< /Type /Pages /Parent 2 0 R /Kids [7 0 R 5 0 R] /MediaBox [0 0 100 100] >>");
  for (int n = 4; n <= 7; ++n)
    b.Add(n, "<< /Type /Page /Parent " + std::string(n % 2 ? "3" : "2") + " 0 R /N " +
                 std::to_string(n) + " >>");
  b.Add(8, "<< /Type /Page /Parent 9 0 R /N 8 >>");
  b.Add(9, "<< /Type /Pages /Parent 2 0 R /Kids [8 0 R] /Rotate 90 /MediaBox [0 0 5 5] >>");
  TgtPDFDocument document;
  ASSERT_TRUE(document.LoadFromBytes(b.Build()));
  std::string order, boxes;
  for (int32_t i = 1; i <= document.PageCount(); ++i) {
    const TgtPDFDictObject& page = document.PageDict(i);
    order += std::to_string(page.Lookup("/N")->AsInteger().Value()) + " ";
    boxes += std::to_string(page.Lookup("/MediaBox")->AsArray().ItemAt(2)->AsInteger().Value()) +
             (page.Lookup("/Rotate") ? "r " : " ");
  }
  // Nodes 3 and 9 name the lost root as their parent: each stands as a
  // tree of its own, in the order of their numbers.
  EXPECT_EQ(order, "7 5 8 4 6 ");
  EXPECT_EQ(boxes, "100 100 5r 612 612 ");
}

TEST(DamagedInput, HundredThousandNestedArrays) {
  PdfBuilder b = SimpleDocument(1);
  b.Add(4, "<< /Type /Page /Parent 2 0 R /Deep " + std::string(100000, '[') +
               std::string(100000, ']') + " >>");
  // The parse stops at the nesting bound; the repaired load reads the
  // page as lost and keeps an empty page in its place.
  const Outcome outcome = Load(b.Build());
  EXPECT_TRUE(outcome.loaded) << outcome.error;
  EXPECT_EQ(outcome.pages, 1);
}

TEST(DamagedInput, HugeLength) {
  PdfBuilder b = SimpleDocument(1);
  b.Add(3, "<< /Length 2147483000 >>\nstream\nq Q\nendstream");
  TgtPDFDocument document;
  const auto start = std::chrono::steady_clock::now();
  ASSERT_TRUE(document.LoadFromBytes(b.Build()));
  EXPECT_LT(std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count(), 1.0);
  const TgtPDFIndirectObject* contents =
      TgtDocumentInternals::State(document).store->Find(document.DocumentSerial(), 3, 0);
  EXPECT_EQ(contents->Content()->AsStream().Data()->Bytes(), "q Q\n");
}

TEST(DamagedInput, AbsurdNumbersAndOffsets) {
  const std::string good = SimpleDocument(1).Build();
  struct Case {
    std::string from, to;
    bool loads;  // the objects are where they were: a rebuilt table finds them
  } cases[] = {
      {"xref\n0 5", "xref\n2000000000 5", true},
      {"/Root 1 0 R", "/Root 1 0 R /Prev 4000000000", true},
      {"/Root 1 0 R", "/Root 1 0 R /Encrypt 99 0 R", false},
      {"/Root 1 0 R", "/Root 4 0 R", true},
      {"startxref\n", "startxref\n9", true},
  };
  for (const Case& c : cases) {
    std::string file = good;
    file.replace(file.rfind(c.from), c.from.size(), c.to);
    const Outcome outcome = Load(file);
    EXPECT_EQ(outcome.loaded, c.loads) << c.to << ": " << outcome.error;
    EXPECT_EQ(outcome.error.empty(), c.loads) << c.to;
    EXPECT_EQ(outcome.pages, c.loads ? 1 : 0) << c.to;
  }
}

}  // namespace
}  // namespace pagemint::testing
