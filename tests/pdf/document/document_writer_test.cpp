// Saving documents: the written file byte for byte, numbering, names,
// form appearances, lengths, kept catalog entries, outlines, encryption,
// and saves that fail without harming what is on disk.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include "pdf/document/pdf_document.h"
#include "pdf/reader/pdf_test_builder.h"
#include "pdf/security/security.h"

namespace pagemint::testing {
namespace {

std::string Save(TgtPDFDocument& document) {
  TMemoryStream out;
  document.SaveToStream(out);
  return out.Bytes();
}

void Load(TgtPDFDocument& document, const std::string& bytes) {
  ASSERT_TRUE(document.LoadFromBytes(bytes));
}

// What qpdf --check says of a file; empty when it is clean.
[[maybe_unused]] std::string QpdfProblems(const std::string& file,
                                          const std::string& password = "") {
  int status = 0;
  const std::string password_option = password.empty() ? "" : " --password='" + password + "'";
  const std::string output =
      RunCommand("qpdf --check" + password_option + " '" + file + "' 2>&1", &status);
  if (status == 0 && output.find("WARNING") == std::string::npos &&
      output.find("No syntax or stream encoding errors found") != std::string::npos)
    return {};
  return output.empty() ? "qpdf failed" : output;
}

TEST(DocumentWriter, WritesTheWholeFileInItsExactForm) {
  PdfBuilder b;
  b.Add(1, "<< /Type /Catalog /Pages 2 0 R >>");
  b.Add(2, "<< /Type /Pages /Kids [7 0 R] /Count 1 >>");
  b.Add(7, "<< /Type /Page /Parent 2 0 R /MediaBox [0 0 612 792] /Contents 12 0 R >>");
  b.AddStream(12, "", "BT ET");
  b.Add(20, "<< /Title (T) >>");
  TgtPDFDocument document;
  Load(document, b.Build("/Root 1 0 R /Info 20 0 R"));
  const std::string written = Save(document);

  // UTF-16 with its byte-order mark; literal strings carry NUL bytes as
  // they are.
  std::string producer = "(\xFE\xFF";
  for (const char c : std::string("Pagemint PDF engine 1.21")) producer += std::string(1, '\0') + c;
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
  expected += "trailer\r\n<<\r\n/Size 6\r\n/Root 1 0 R\r\n/Info 2 0 R\r\n>>\r\nstartxref\r\n" +
              std::to_string(xref) + "\r\n%%EOF\r\n";
  EXPECT_EQ(written, expected);
}

}  // namespace
}  // namespace pagemint::testing
