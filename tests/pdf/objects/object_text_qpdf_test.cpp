// SPDX-License-Identifier: GPL-3.0-or-later
// A small file assembled from written object text, read back by qpdf: the
// syntax must pass its check, and every string byte and stream byte must
// come back as it was held.
#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <memory>

#include "pdf/objects/object_text.h"

namespace pagemint {
namespace {

namespace fs = std::filesystem;

std::string Output(const std::string& command) {
  std::string out;
  std::unique_ptr<FILE, int (*)(FILE*)> pipe(popen(command.c_str(), "r"), pclose);
  if (!pipe) return out;
  char buf[65536];
  for (size_t n; (n = fread(buf, 1, sizeof buf, pipe.get())) > 0;) out.append(buf, n);
  return out;
}

// Objects keep their numbers; the page tree root is object 2.
class SameNumbers : public TgtTextContext {
 public:
  int32_t TargetNumber(const TgtPDFIndirectReference& reference) const override {
    return reference.Number();
  }
  int32_t PageTreeRoot() const override { return 2; }
};

std::string AllBytes() {
  std::string bytes;
  for (int i = 0; i < 256; ++i) bytes.push_back(static_cast<char>(i));
  return bytes + "x\ty((\\";
}

std::string HexDecode(std::string_view hex) {
  std::string bytes;
  for (size_t i = 0; i + 1 < hex.size(); i += 2) {
    bytes.push_back(static_cast<char>(std::stoi(std::string(hex.substr(i, 2)), nullptr, 16)));
  }
  return bytes;
}

std::string BuildFile(const std::string& title, const std::string& data) {
  std::vector<std::unique_ptr<TgtPDFObject>> objects;
  auto catalog = std::make_unique<TgtPDFDictObject>();
  catalog->AddName("/Type", "/Catalog");
  catalog->AddValue("/Pages", std::make_unique<TgtPDFIndirectReference>(1, 2, 0));
  objects.push_back(std::move(catalog));

  auto pages = std::make_unique<TgtPDFDictObject>();
  pages->AddName("/Type", "/Pages");
  auto kids = std::make_unique<TgtPDFArrayObject>();
  kids->Add(std::make_unique<TgtPDFIndirectReference>(1, 3, 0));
  pages->AddValue("/Kids", std::move(kids));
  pages->AddInteger("/Count", 1);
  objects.push_back(std::move(pages));

  auto page = std::make_unique<TgtPDFDictObject>();
  page->AddName("/Type", "/Page");  // its /Parent comes from the context
  auto box = std::make_unique<TgtPDFArrayObject>();
  for (double v : {0.0, -0.0, 612.0, 791.999999999})
    box->Add(std::make_unique<TgtPDFRealObject>(v));
  page->AddValue("/MediaBox", std::move(box));
  page->AddValue("/Contents", std::make_unique<TgtPDFIndirectReference>(1, 5, 0));
  objects.push_back(std::move(page));

  auto info = std::make_unique<TgtPDFDictObject>();
  info->AddValue("/Title", std::make_unique<TgtPDFStringObject>("(" + title + ")"));
  info->AddInt64("/Big", 9007199254740993);
  info->AddReal("/Huge", 1.5e15);
  objects.push_back(std::move(info));

  auto stream_dict = std::make_unique<TgtPDFDictObject>();
  stream_dict->AddInteger("/Length", static_cast<int32_t>(data.size()));
  objects.push_back(std::make_unique<TgtPDFStreamObject>(std::move(stream_dict),
                                                         std::make_unique<TMemoryStream>(data)));

  SameNumbers context;
  std::string file = "%PDF-1.4\r\n%\xE2\xE3\xCF\xD3\r\n";
  std::vector<size_t> offsets;
  for (size_t i = 0; i < objects.size(); ++i) {
    offsets.push_back(file.size() + 2);
    AppendIndirectObjectText(file, static_cast<int32_t>(i + 1), objects[i].get(), &context);
  }
  const size_t xref = file.size();
  file += "xref\r\n0 6\r\n0000000000 65535 f\r\n";
  char entry[32];
  for (size_t offset : offsets) {
    std::snprintf(entry, sizeof entry, "%.10zu 00000 n\r\n", offset);
    file += entry;
  }
  file += "trailer\r\n<<\r\n/Size 6\r\n/Root 1 0 R\r\n/Info 4 0 R\r\n>>\r\nstartxref\r\n";
  file += std::to_string(xref) + "\r\n%%EOF\r\n";
  return file;
}

TEST(ObjectTextWithQpdf, ReadsBackEveryByte) {
  if (std::system("qpdf --version >/dev/null 2>&1") != 0) GTEST_SKIP() << "qpdf not installed";
  const std::string title = AllBytes();
  const std::string data = std::string("\r\nendstream\r\n\0\xFF", 16) + title;
  const fs::path path = fs::path(PAGEMINT_BINARY_DIR) / "object_text_qpdf_test.pdf";
  {
    std::ofstream out(path, std::ios::binary);
    out << BuildFile(title, data);
  }
  const std::string quoted = "'" + path.string() + "'";
  EXPECT_EQ(std::system(("qpdf --check " + quoted + " >/dev/null 2>&1").c_str()), 0);

  const std::string info = Output("qpdf --show-object=4 " + quoted + " 2>&1");
  const size_t start = info.find("/Title <");
  ASSERT_NE(start, std::string::npos) << info;
  const size_t end = info.find('>', start);
  EXPECT_TRUE(HexDecode(std::string_view(info).substr(start + 8, end - start - 8)) == title);
  EXPECT_NE(info.find("/Big 9007199254740993"), std::string::npos) << info;
  EXPECT_NE(info.find("/Huge 1500000000000000.0"), std::string::npos) << info;

  const std::string page = Output("qpdf --show-object=3 " + quoted + " 2>&1");
  EXPECT_NE(page.find("/Parent 2 0 R"), std::string::npos) << page;
  EXPECT_NE(page.find("[ 0.0 0.0 612.0 791.999999999 ]"),
            std::string::npos)
      << page;

  EXPECT_TRUE(Output("qpdf --show-object=5 --raw-stream-data " + quoted + " 2>/dev/null") == data);
  fs::remove(path);
}

}  // namespace
}  // namespace pagemint
