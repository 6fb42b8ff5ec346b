// SPDX-License-Identifier: GPL-3.0-or-later
// Stream data from the real-world corpus, decoded by the filter chain and
// by qpdf: both must give the same bytes, and data qpdf finds broken must
// raise here too.
#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <memory>

#include "pdf/streams/filter_chain.h"

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

struct CorpusStream {
  const char* file;
  int object;
  std::vector<const char*> filters;
  bool broken;
};

TEST(FiltersOnTheCorpus, AgreeWithQpdf) {
  const fs::path corpus = fs::path(PAGEMINT_CORPUS_DIR) / "pdf/real/qpdf";
  if (!fs::exists(corpus)) GTEST_SKIP() << "no corpus";
  if (std::system("qpdf --version >/dev/null 2>&1") != 0) GTEST_SKIP() << "qpdf not installed";
  const CorpusStream streams[] = {
      {"lin5.pdf", 149, {"/ASCII85Decode", "/LZWDecode"}, false},
      {"lin5.pdf", 2, {"/FlateDecode"}, false},
      {"image-streams.pdf", 30, {"/RunLengthDecode"}, false},
      {"image-streams.pdf", 18, {"/RunLengthDecode"}, false},
      {"xref-with-short-size.pdf", 9, {"/FlateDecode"}, false},
      {"broken-lzw.pdf", 4, {"/LZWDecode"}, true},
      {"damaged-stream.pdf", 5, {"/LZWDecode"}, true},
  };
  for (const CorpusStream& s : streams) {
    SCOPED_TRACE(::testing::Message() << s.file << " object " << s.object);
    const std::string path = (corpus / s.file).string();
    const std::string show = "qpdf --show-object=" + std::to_string(s.object) + " ";
    const std::string raw = Output(show + "--raw-stream-data '" + path + "' 2>/dev/null");
    ASSERT_FALSE(raw.empty());
    auto data = std::make_unique<TMemoryStream>(raw);
    if (s.broken) {
      EXPECT_THROW(for (const char* name
                        : s.filters) data = DecodeWithFilter(FilterFromName(name), std::move(data)),
                   Exception);
      continue;
    }
    for (const char* name : s.filters)
      data = DecodeWithFilter(FilterFromName(name), std::move(data));
    const std::string expected = Output(show + "--filtered-stream-data '" + path + "' 2>/dev/null");
    EXPECT_GT(expected.size(), 0u);
    EXPECT_TRUE(data->Bytes() == expected)
        << data->Size() << " bytes against qpdf's " << expected.size();
  }
}

}  // namespace
}  // namespace pagemint
