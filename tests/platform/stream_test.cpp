// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/stream.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

#include "platform/codepage.h"
#include "platform/exception.h"

namespace pagemint {
namespace {

namespace fs = std::filesystem;

fs::path TempPath(const char* name) {
  return fs::temp_directory_path() / (std::string("pagemint-platform-") + name);
}

TEST(MemoryStream, WritesGrowAndReadsStopAtTheEnd) {
  TMemoryStream s;
  s.WriteString("hello");
  s.SetPosition(8);
  s.WriteString("!");  // writing past the end fills the gap with zeros
  EXPECT_EQ(s.Size(), 9);
  EXPECT_EQ(s.Bytes(), std::string("hello\0\0\0!", 9));
  s.SetPosition(7);
  char buf[8] = {};
  EXPECT_EQ(s.Read(buf, 8), 2);
  EXPECT_EQ(s.Read(buf, 8), 0);
  s.SetPosition(-5);
  EXPECT_EQ(s.Read(buf, 1), 0);
}

TEST(FileStream, LargeWritesAndSeeksLandWhereTheyShould) {
  const fs::path p = TempPath("write.bin");
  {
    TFileStream f(p.string(), TFileMode::fmCreate);
    std::string big(3 << 20, 'x');  // larger than the write buffer
    f.WriteString("head");
    f.WriteString(big);
    f.SetPosition(1);
    f.WriteString("E");
    f.Seek(0, TSeekOrigin::soEnd);
    f.WriteString("tail");
    EXPECT_EQ(f.Size(), 4 + (3 << 20) + 4);
    f.Close();
  }
  TFileStream r(p.string(), TFileMode::fmOpenRead);
  ASSERT_EQ(r.Size(), 4 + (3 << 20) + 4);
  const auto v = r.View();
  ASSERT_TRUE(v);
  EXPECT_EQ(std::string(reinterpret_cast<const char*>(v.data), 4), "hEad");
  EXPECT_EQ(std::string(reinterpret_cast<const char*>(v.data) + v.size - 4, 4), "tail");
  fs::remove(p);
}

// A range copied file to file lands after what the writer still buffered,
// stops at the source's end (a file that shrank), and a source that is not
// a file copies nothing, so the caller copies through a buffer.
TEST(FileStream, RangeCopiesLandAfterBufferedBytesAndStopAtTheSourceEnd) {
  const fs::path in = TempPath("range-in.bin"), out = TempPath("range-out.bin");
  std::string source;
  for (int i = 0; i < (3 << 20); ++i) source.push_back(static_cast<char>(i * 7));
  std::ofstream(in, std::ios::binary) << source;
  TFileStream from(in.string(), TFileMode::fmOpenRead);
  TMemoryStream memory(source);
  {
    TFileStream to(out.string(), TFileMode::fmCreate);
    to.WriteString("head");
    EXPECT_EQ(to.CopyRangeFrom(from, 5, 2 << 20), 2 << 20);
    EXPECT_EQ(to.CopyRangeFrom(from, (3 << 20) - 10, 100), 10);
    EXPECT_EQ(to.CopyRangeFrom(memory, 0, 100), 0);
    to.WriteString("tail");
    EXPECT_EQ(to.Size(), 4 + (2 << 20) + 10 + 4);
    to.Close();
  }
  std::ifstream written(out, std::ios::binary);
  const std::string bytes((std::istreambuf_iterator<char>(written)), std::istreambuf_iterator<char>());
  EXPECT_EQ(bytes, "head" + source.substr(5, 2 << 20) + source.substr((3 << 20) - 10) + "tail");
  fs::remove(in);
  fs::remove(out);
}

TEST(FileStream, MissingFilesAndFoldersFailClearly) {
  EXPECT_THROW(TFileStream("/nonexistent/pagemint/x.pdf", TFileMode::fmOpenRead), EFileError);
  EXPECT_THROW(TFileStream(fs::temp_directory_path().string(), TFileMode::fmOpenRead), EFileError);
  EXPECT_THROW(TFileStream("/nonexistent/pagemint/x.pdf", TFileMode::fmCreate), EFileError);
}

TEST(CodePage, Windows1252BothWays) {
  // Every byte survives the round trip through UTF-16.
  std::string all;
  for (int b = 0; b < 256; ++b) all.push_back(static_cast<char>(b));
  EXPECT_EQ(UnicodeToAnsi(AnsiToUnicode(all)), all);
  struct Case {
    char16_t unicode;
    char ansi;
  } cases[] = {{u'\u20AC', '\x80'}, {u'\u2019', '\x92'}, {u'\u00F4', '\xF4'},
               {u'\u0178', '\x9F'}, {u'\u4E2D', '?'},    {u'\u0100', '?'}};
  for (const auto& c : cases) EXPECT_EQ(UnicodeToAnsi(std::u16string(1, c.unicode)), std::string(1, c.ansi));
  // A character outside the basic plane is one "?", not two.
  EXPECT_EQ(UnicodeToAnsi(u"a\U0001F600b"), "a?b");
}

TEST(CodePage, Utf8FromTheTerminal) {
  EXPECT_EQ(Utf8ToAnsi("h\xC3\xB4tel"), "h\xF4tel");
  EXPECT_EQ(AnsiToUtf8("h\xF4tel"), "h\xC3\xB4tel");
  EXPECT_EQ(UnicodeToUtf8(Utf8ToUnicode("\xF0\x9F\x98\x80")), "\xF0\x9F\x98\x80");
  // Broken sequences become U+FFFD rather than reading past the end.
  EXPECT_EQ(Utf8ToUnicode("\xE2\x82"), std::u16string(u"\uFFFD\uFFFD"));
  EXPECT_EQ(LowerCase("A.BMP"), "a.bmp");
}

}  // namespace
}  // namespace pagemint
