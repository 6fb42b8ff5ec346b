// SPDX-License-Identifier: GPL-3.0-or-later
#include "pdf/reader/xref_reader.h"

#include <gtest/gtest.h>

#include "pdf/objects/pdf_exceptions.h"
#include "pdf/reader/pdf_test_builder.h"
#include "pdf/reader/reader_exceptions.h"
#include "pdf/reader/reader_harness.h"

namespace pagemint::testing {
namespace {

template <class E>
std::string MessageOf(const std::function<void()>& action) {
  try {
    action();
  } catch (const E& e) {
    return e.what();
  } catch (const std::exception& e) {
    return std::string("wrong exception: ") + e.what();
  }
  return "no exception";
}

TEST(ReadHeader, Versions) {
  struct Case {
    const char* header;
    const char* error;  // nullptr: reads as version
    TgtPDFVersion version;
  } cases[] = {
      {"%PDF-1.0\n", nullptr, pvPDF10},
      {"%PDF-1.7\n", nullptr, pvPDF17},
      {"%PDF-2.0\n", nullptr, pvPDF20},
      {"%PDF-1.4%\xE2\xE3\n", nullptr, pvPDF14},
      {"%PDF-1.8\n", "Unsupported PDF Version (%PDF-1.8)", pvPDF10},
      {"\xEF\xBB\xBF%PDF-1.4\n", "Invalid PDF Header (\xEF\xBB\xBF%PDF)", pvPDF10},
      {"\n%PDF-1.4\n", "Invalid PDF Header (\n%PDF-1)", pvPDF10},
      {"%FDF-1.2\n", "Invalid PDF Header (%FDF-1.)", pvPDF10},
  };
  for (const Case& c : cases) {
    TMemoryStream bytes(c.header);
    TgtPDFStreamReader reader(1, &bytes);
    if (!c.error) {
      EXPECT_EQ(ReadHeader(reader), c.version) << c.header;
    } else {
      try {
        ReadHeader(reader);
        ADD_FAILURE() << c.header;
      } catch (const Exception& e) {
        EXPECT_EQ(e.Message(), c.error);
      }
    }
  }
}

TEST(FindStartXRef, LastWholeWordAndErrors) {
  struct Case {
    const char* tail;
    int32_t offset;  // -1: an error
    const char* error;
  } cases[] = {
      {"startxref\n123\n%%EOF\n", 123, nullptr},
      {"startxref\n1\n%%EOF\nSTARTXREF\r\n456\r\n%%EOF", 456, nullptr},
      {"startxref 99 mystartxref 5\n", 99, nullptr},
      {"no keyword here", -1, "Invalid PDF File"},
      {"startxref\n%%EOF\n", -1, "Error reading document. Unable to read offset"},
      {"startxref\n99999999999\n", -1, "Error reading document. Unable to read offset"},
  };
  for (const Case& c : cases) {
    TMemoryStream bytes(std::string("%PDF-1.4\n") + c.tail);
    TgtPDFStreamReader reader(1, &bytes);
    if (c.offset >= 0) {
      EXPECT_EQ(FindStartXRef(reader), c.offset) << c.tail;
    } else {
      EXPECT_EQ(MessageOf<Exception>([&] { FindStartXRef(reader); }), c.error) << c.tail;
    }
  }
}

TEST(ReadTrailer, NeedsKeywordAndDictionary) {
  for (const char* text : {"xref\n0 1\ntrail<< >>", "xref\n0 1\n", "trailer [1 2]"}) {
    TMemoryStream bytes(text);
    TgtPDFStreamReader reader(1, &bytes);
    EXPECT_EQ(MessageOf<ETrailerError>([&] { ReadTrailer(reader); }), "Error reading PDF trailer");
  }
}

TEST(DecodePNGRows, Filters) {
  struct Case {
    std::string data;
    int32_t columns;
    std::string decoded;
  } cases[] = {
      {std::string("\0\1\2\3", 4), 3, std::string("\1\2\3", 3)},
      // Up after None adds the row above.
      {std::string("\0\1\2\3\2\1\1\1", 8), 3, std::string("\1\2\3\2\3\4", 6)},
      // Sub adds the left neighbour.
      {std::string("\1\1\1\1", 4), 3, std::string("\1\2\3", 3)},
      // Average of left and above, rounded down.
      {std::string("\0\4\6\3\3\0\0\0", 8), 3, std::string("\4\6\3\2\4\3", 6)},
      // Paeth picks the neighbour nearest to left + above - above-left.
      {std::string("\0\10\20\4\10\10", 6), 2, std::string("\10\20\20\30", 4)},
      // A short last row decodes what it has.
      {std::string("\0\1\2\3\2\1", 6), 3, std::string("\1\2\3\2", 4)},
  };
  for (const Case& c : cases) EXPECT_EQ(DecodePNGRows(c.data, c.columns), c.decoded);
  EXPECT_EQ(MessageOf<EImproperPNGAlgorithm>([] { DecodePNGRows(std::string("\5\1", 2), 1); }),
            "Improper PNG algorithm tag in stream");
}

// Entries whose line end is one, two or three bytes are all read at the
// right offsets.
TEST(ReadXRefTable, EntryLineEnds) {
  for (const char* end : {"\r\n", " \n", " \r", "\n", "\r", " \r\n"}) {
    ReaderHarness h;
    const std::string file = SimpleDocument(4).Build("/Root 1 0 R", end);
    h.ReadAll(file);
    EXPECT_EQ(h.state->PageCount(), 4) << "line end of " << strlen(end) << " bytes";
    for (int n = 1; n <= 7; ++n) {
      const std::string head = std::to_string(n) + " 0 obj";
      EXPECT_EQ(file.compare(h.state->classic_table.At(n)->offset, head.size(), head), 0);
    }
  }
}

// Text after an entry's type letter and blank lines between entries (a
// producer's comments) are passed over.
TEST(ReadXRefTable, CommentsAfterEntries) {
  std::string file = SimpleDocument(2).Build("/Root 1 0 R", " \n");
  const size_t first = file.find("65535 f \n");
  file.replace(first, 9, "65535 f don't panic\n\n\n");
  ReaderHarness h;
  h.ReadAll(file);
  EXPECT_EQ(h.state->PageCount(), 2);
}

TEST(ReadXRefTable, StartXRefAtLineFeedBeforeKeyword) {
  std::string file = SimpleDocument(1).Build();
  const long xref = PdfBuilder::StartXRef(file);
  file.replace(file.rfind("startxref\n") + 10, std::to_string(xref).size(),
               std::to_string(xref - 1));
  ReaderHarness h;
  h.ReadAll(file);
  EXPECT_EQ(h.state->PageCount(), 1);
}

TEST(ReadXRefTable, NewerSectionsWin) {
  const std::string base = SimpleDocument(2).Build("/Root 1 0 R /Info 9 0 R");
  PdfBuilder update;
  update.Add(4, "<< /Type /Page /Parent 2 0 R /Rotate 90 >>");
  update.Add(10, "<< /Title (New) >>");
  const std::string file = update.BuildUpdate(base, "/Root 1 0 R /Info 10 0 R");
  ReaderHarness h;
  h.ReadAll(file);
  EXPECT_EQ(h.state->classic_table.At(4)->offset,
            static_cast<int32_t>(file.find("4 0 obj\n<< /Type /Page /Parent 2 0 R /Rotate")));
  EXPECT_EQ(h.state->trailer.info->Number(), 10);
  EXPECT_EQ(h.state->info->Title(), u"New");
  ASSERT_EQ(h.state->PageCount(), 2);
  EXPECT_NE(h.Page(0).Lookup("/Rotate"), nullptr);
  EXPECT_EQ(h.reporter.statuses[0], "Reading Cross-Reference Table");
  EXPECT_EQ(h.reporter.statuses[1], "Reading Cross-Reference Table");
}

TEST(ReadXRefTable, NewerFreeEntryKeepsOlderObject) {
  const std::string base = SimpleDocument(1).Build();
  std::string file = base;
  const long xref = static_cast<long>(file.size());
  file += "xref\n0 1\n" + PdfBuilder::Entry(0, 65535, 'f', "\r\n") + "3 1\n" +
          PdfBuilder::Entry(0, 1, 'f', "\r\n") + "trailer\n<< /Size 5 /Prev " +
          std::to_string(PdfBuilder::StartXRef(base)) + " >>\nstartxref\n" + std::to_string(xref) +
          "\n%%EOF\n";
  ReaderHarness h;
  h.ReadAll(file);
  ASSERT_NE(h.state->classic_table.At(3), nullptr);
  EXPECT_EQ(h.state->PageCount(), 1);
  EXPECT_EQ(h.state->trailer.root_number, 1);  // taken from the older trailer
}

TEST(ReadXRefTable, PrevLoopAndGarbageEnd) {
  std::string file = SimpleDocument(1).Build();
  const long xref = PdfBuilder::StartXRef(file);
  // /Prev pointing at the section itself, then at garbage.
  for (const std::string& prev :
       {std::to_string(xref), std::string("12"), std::string("-5"), std::string("999999")}) {
    std::string looped = file;
    looped.replace(looped.find("/Size"), 5, "/Prev " + prev + " /Size");
    ReaderHarness h;
    h.ReadAll(looped);
    EXPECT_EQ(h.state->PageCount(), 1) << prev;
  }
}

TEST(ReadXRefTable, OffsetsBeyondTwoGigabytes) {
  std::string file = SimpleDocument(1).Build();
  const size_t at =
      file.find(PdfBuilder::Entry(static_cast<long>(file.find("1 0 obj")), 0, 'n', "\r\n"));
  ASSERT_NE(at, std::string::npos);
  file.replace(at, 10, "2147483648");
  ReaderHarness h;
  EXPECT_EQ(MessageOf<EPDFException>([&] { h.ReadXRef(file); }),
            "Object 1 lies at or beyond 2 GB (offset 2147483648): such files cannot be read");
}

TEST(ReadXRefTable, DamagedSections) {
  struct Case {
    const char* from;
    const char* to;
    const char* message;
  } cases[] = {
      {"xref\n0 8", "xref\n0 x", "'x' is not a valid integer value"},
      {"xref\n0 8", "xref\n8388607 8",
       "File is corrupted: object number 8388614 in the cross-reference data is out of range"},
      {"trailer", "trai1er", "Error reading PDF trailer"},
      {"startxref\n", "startxref\n1", "File is corrupted"},
  };
  for (const Case& c : cases) {
    std::string file = SimpleDocument(4).Build();
    file.replace(file.rfind(c.from), strlen(c.from), c.to);
    ReaderHarness h;
    EXPECT_EQ(MessageOf<Exception>([&] { h.ReadXRef(file); }), c.message) << c.to;
  }
}

TEST(ReadXRefStream, TablesAndTrailer) {
  ReaderHarness h;
  const std::string file = SimpleDocument(3).BuildWithXRefStream(
      "/Root 1 0 R /ID [<00112233445566778899AABBCCDDEEFF> <00>]");
  h.ReadAll(file);
  EXPECT_EQ(h.state->PageCount(), 3);
  EXPECT_TRUE(h.state->classic_table.Empty());
  EXPECT_EQ(h.state->stream_table.SlotCount(), 8);
  EXPECT_EQ(h.state->stream_table.At(0)->type, 0);
  EXPECT_EQ(h.state->stream_table.At(4)->type, 1);
  ASSERT_TRUE(h.state->trailer.id);
  EXPECT_EQ(h.state->trailer.id->Count(), 2);
  EXPECT_EQ(h.reporter.statuses.at(0), "Reading Cross-Reference Stream Table");
  // The counter starts above the highest slot.
  EXPECT_EQ(h.state->store->NextObjectNumber(), 9);
}

// A hand-made stream: /W [1 2 1], subsections given by /Index.
std::string IndexedXRefStream(const std::string& index, const std::string& widths = "[1 2 1]") {
  std::string data;
  for (int i = 0; i < 5; ++i) data += std::string("\1\0", 2) + static_cast<char>(10 + i) + '\0';
  std::string file = "%PDF-1.5\n";
  const size_t offset = file.size();
  file += "20 0 obj\n<< /Type /XRef /W " + widths + " /Index " + index + " /Size 12 /Length " +
          std::to_string(data.size()) + " >>\nstream\n" + data + "\nendstream\nendobj\n";
  file += "startxref\n" + std::to_string(offset) + "\n%%EOF\n";
  return file;
}

TEST(ReadXRefStream, IndexSubsections) {
  {
    ReaderHarness h;
    h.ReadXRef(IndexedXRefStream("[0 3 10 2]"));
    const TgtXRefStmTable& table = h.state->stream_table;
    for (int n : {0, 1, 2, 10, 11}) EXPECT_NE(table.At(n), nullptr) << n;
    for (int n = 3; n < 10; ++n) EXPECT_EQ(table.At(n), nullptr) << n;
    EXPECT_EQ(table.At(10)->field2, 13);
  }
  {
    ReaderHarness h;
    h.ReadXRef(IndexedXRefStream("[0 0 5 2]"));
    EXPECT_TRUE(h.state->stream_table.Empty());
  }
  {
    // Without a type field every entry is an object at an offset.
    ReaderHarness h;
    h.ReadXRef(IndexedXRefStream("[0 4]", "[0 2 2]"));
    EXPECT_EQ(h.state->stream_table.At(0)->type, 1);
    EXPECT_EQ(h.state->stream_table.At(0)->field2, 256);
  }
  for (const char* widths : {"[1 9 1]", "[1 2]", "[1 -1 1]"}) {
    ReaderHarness h;
    EXPECT_EQ(
        MessageOf<EPDFFileCorruptedError>([&] { h.ReadXRef(IndexedXRefStream("[0 3]", widths)); }),
        "File is corrupted: invalid field widths (/W) in the cross-reference stream");
  }
}

// A hybrid file: the classic table lists the plain objects, a stream
// named by /XRefStm (without /Prev) the catalog packed in an object stream,
// which has no filter. The object stream is read even when its own /Type
// is lost, since the cross-reference stream says what it is (a warning).
TEST(ReadXRefStream, HybridFileWithUnfilteredObjectStream) {
  for (const std::string type : {"/Type /ObjStm", "/Tpe /ObjStm"}) {
    SCOPED_TRACE(type);
    std::string file = "%PDF-1.5\n";
    std::map<int, size_t> at;
    auto add = [&](int n, const std::string& body) {
      at[n] = file.size();
      file += std::to_string(n) + " 0 obj\n" + body + "\nendobj\n";
    };
    add(2, "<< /Type /Pages /Kids [3 0 R] /Count 1 >>");
    add(3, "<< /Type /Page /Parent 2 0 R >>");
    // The object stream also holds an old version of page 3, which the
    // classic table has replaced: it must not come back.
    const std::string catalog = "<< /Type /Catalog /Pages 2 0 R /PageMode /UseThumbs >> ";
    const std::string header = "1 0 3 " + std::to_string(catalog.size()) + " ";
    const std::string packed = header + catalog + "<< /Type /Page /Parent 2 0 R /Rotate 90 >>";
    add(10, "<< " + type + " /N 2 /First " + std::to_string(header.size()) + " /Length " +
                std::to_string(packed.size()) + " >>\nstream\n" + packed + "\nendstream");
    // Objects 1 and 3: type 2 in stream 10, indexes 0 and 1.
    std::string entries = std::string("\2\0\0\0\12\0\2\0\0\0\12\1", 12);
    add(11, "<< /Type /XRef /W [1 4 1] /Index [1 1 3 1] /Size 12 /Length 12 >>\nstream\n" +
                entries + "\nendstream");
    const size_t xref = file.size();
    file += "xref\n0 1\n" + PdfBuilder::Entry(0, 65535, 'f', "\r\n") + "2 2\n" +
            PdfBuilder::Entry(static_cast<long>(at[2]), 0, 'n', "\r\n") +
            PdfBuilder::Entry(static_cast<long>(at[3]), 0, 'n', "\r\n") + "10 2\n" +
            PdfBuilder::Entry(static_cast<long>(at[10]), 0, 'n', "\r\n") +
            PdfBuilder::Entry(static_cast<long>(at[11]), 0, 'n', "\r\n");
    file += "trailer\n<< /Size 12 /Root 1 0 R /XRefStm " + std::to_string(at[11]) +
            " >>\nstartxref\n" + std::to_string(xref) + "\n%%EOF\n";
    ReaderHarness h;
    h.ReadAll(file);
    EXPECT_EQ(h.state->PageCount(), 1);
    EXPECT_EQ(h.state->page_mode, pmUseThumbs);
    ASSERT_NE(h.Registered(1), nullptr);
    EXPECT_EQ(h.Page(0).Lookup("/Rotate"), nullptr);
    EXPECT_EQ(h.reporter.warnings.size(), type == "/Type /ObjStm" ? 0u : 1u);
  }
}

TEST(ReadXRefStream, WideOffsetsBeyondTwoGigabytes) {
  std::string data = std::string("\1\0\0\0\0\x80\0\0\0\0", 10);
  std::string file = "%PDF-1.5\n";
  const size_t offset = file.size();
  file += "2 0 obj\n<< /Type /XRef /W [1 8 1] /Size 1 /Length 10 >>\nstream\n" + data +
          "\nendstream\nendobj\nstartxref\n" + std::to_string(offset) + "\n%%EOF\n";
  ReaderHarness h;
  EXPECT_EQ(MessageOf<EPDFException>([&] { h.ReadXRef(file); }),
            "Object 0 lies at or beyond 2 GB (offset 2147483648): such files cannot be read");
}

}  // namespace
}  // namespace pagemint::testing
