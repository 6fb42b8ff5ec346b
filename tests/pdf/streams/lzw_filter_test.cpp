// SPDX-License-Identifier: GPL-3.0-or-later
// LZW decoding of known code sequences and of data from a plain encoder
// (tests/pdf/streams/lzw_encoder.h) across every code width and table
// restart; qpdf, when present, confirms that the encoder is standard.
#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <random>
#include <sstream>

#include "pdf/streams/filters.h"
#include "pdf/streams/lzw_encoder.h"
#include "platform/messages.h"

namespace pagemint {
namespace {

using testing::LzwEncoder;

// Bytes from a small alphabet with some runs: the code table fills and
// restarts many times over a few hundred kilobytes.
std::string TableFiller(size_t size, unsigned seed) {
  std::mt19937 rng(seed);
  std::string s;
  while (s.size() < size) {
    if (rng() % 10 == 0)
      s.append(1 + rng() % 40, static_cast<char>(rng()));
    else
      s.push_back(static_cast<char>('a' + rng() % 16));
  }
  s.resize(size);
  return s;
}

TEST(LZWFilter, DecodesKnownCodeSequences) {
  struct Case {
    const char* name;
    std::vector<std::pair<int, int>> codes;  // (code, width)
    std::string output;
  };
  const Case cases[] = {
      {"repeat of an entry", {{256, 9}, {65, 9}, {66, 9}, {258, 9}, {257, 9}}, "ABAB"},
      {"code not yet in the table",
       {{256, 9}, {45, 9}, {258, 9}, {258, 9}, {65, 9}, {259, 9}, {66, 9}, {257, 9}},
       "-----A---B"},
      {"no leading clear", {{72, 9}, {105, 9}, {257, 9}}, "Hi"},
      {"no end code", {{256, 9}, {72, 9}, {105, 9}}, "Hi"},
      {"input after the end code is ignored", {{256, 9}, {72, 9}, {257, 9}, {105, 9}}, "H"},
      // After the clear, 258 is again the first real entry (257 is never
      // looked up), here not yet made: "C" and its own first byte.
      {"clear in the middle",
       {{256, 9}, {65, 9}, {66, 9}, {256, 9}, {67, 9}, {258, 9}, {257, 9}},
       "ABCCC"},
      {"only a clear", {{256, 9}}, ""},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    EXPECT_EQ(TgtLZWFilter().DecodeString(LzwEncoder::Pack(c.codes)), c.output);
  }
}

TEST(LZWFilter, ZeroBytesAndShortTailsDecodeToWhatIsComplete) {
  TgtLZWFilter f;
  EXPECT_EQ(f.DecodeString(""), "");
  TMemoryStream empty;
  EXPECT_EQ(f.DecodeStream(empty)->Size(), 0);
  // 8 bits are not a 9-bit code: nothing comes out.
  EXPECT_EQ(f.DecodeString("A"), "");
}

TEST(LZWFilter, ACodeWithNothingToRepeatIsAnError) {
  for (const int code : {300, 258}) {
    try {
      TgtLZWFilter().DecodeString(LzwEncoder::Pack({{256, 9}, {code, 9}}));
      ADD_FAILURE() << code;
    } catch (const Exception& e) {
      EXPECT_EQ(e.Message(), Format("Invalid LZW code (%d)", code));
    }
  }
}

TEST(LZWFilter, RoundTripsAcrossEveryWidthAndTableRestart) {
  struct Case {
    size_t size;
    int clear_at;
  };
  // 4096: the decoder restarts the table by itself and then meets the
  // encoder's clear code written 12 bits wide; 4095 and 4094: encoders
  // that clear a little early.
  const Case cases[] = {{1, 4096},      {2, 4096},      {600, 4096},    {5000, 4096},
                        {100000, 4096}, {100000, 4095}, {100000, 4094}, {300000, 4096}};
  TgtLZWFilter f;  // one filter for all: its table must start afresh each time
  for (const Case& c : cases) {
    SCOPED_TRACE(::testing::Message() << c.size << " bytes, clear at " << c.clear_at);
    const std::string data = TableFiller(c.size, static_cast<unsigned>(c.size));
    LzwEncoder enc(c.clear_at);
    const std::string encoded = enc.Encode(data);
    EXPECT_EQ(f.DecodeString(encoded), data);
    if (c.size >= 100000) {
      EXPECT_EQ(enc.Widths(), (std::set<int>{9, 10, 11, 12}));
      EXPECT_GE(enc.Clears(), 3);
    }
  }
}

TEST(LZWFilter, StopsAtTheSizeLimit) {
  // Long runs of one byte: each code stands for a longer string.
  const std::string encoded = LzwEncoder().Encode(std::string(2 << 20, 'x'));
  TgtLZWFilter f;
  f.SetMaxDecodedSize(1 << 20);
  EXPECT_THROW(f.DecodeString(encoded), EDecodedSizeError);
  f.SetMaxDecodedSize(2 << 20);
  EXPECT_EQ(f.DecodeString(encoded).size(), size_t{2} << 20);
}

// The decoder and the test encoder could agree with each other and both
// be wrong; qpdf decodes what the encoder wrote as a third opinion.
TEST(LZWFilter, QpdfReadsWhatTheTestEncoderWrites) {
  if (std::system("qpdf --version >/dev/null 2>&1") != 0) GTEST_SKIP() << "qpdf not installed";
  namespace fs = std::filesystem;
  const fs::path dir = fs::temp_directory_path() / "pagemint-streams-lzw";
  fs::create_directories(dir);
  for (const int clear_at : {4096, 4094}) {
    const std::string data = TableFiller(200000, 99);
    const std::string encoded = LzwEncoder(clear_at).Encode(data);
    std::ostringstream pdf;
    std::vector<size_t> offsets;
    pdf << "%PDF-1.4\n";
    offsets.push_back(pdf.tellp());
    pdf << "1 0 obj\n<< /Type /Catalog /Pages 2 0 R >>\nendobj\n";
    offsets.push_back(pdf.tellp());
    pdf << "2 0 obj\n<< /Type /Pages /Kids [] /Count 0 >>\nendobj\n";
    offsets.push_back(pdf.tellp());
    pdf << "3 0 obj\n<< /Length " << encoded.size() << " /Filter /LZWDecode >>\nstream\n"
        << encoded << "\nendstream\nendobj\n";
    const size_t xref = pdf.tellp();
    pdf << "xref\n0 4\n0000000000 65535 f \n";
    for (const size_t o : offsets) {
      char line[32];
      std::snprintf(line, sizeof line, "%010zu 00000 n \n", o);
      pdf << line;
    }
    pdf << "trailer\n<< /Size 4 /Root 1 0 R >>\nstartxref\n" << xref << "\n%%EOF\n";
    const fs::path in = dir / "lzw.pdf", out = dir / "lzw.out";
    std::ofstream(in, std::ios::binary) << pdf.str();
    const std::string cmd =
        "qpdf --show-object=3 --filtered-stream-data " + in.string() + " > " + out.string();
    ASSERT_EQ(std::system(cmd.c_str()), 0) << "clear at " << clear_at;
    std::ifstream result(out, std::ios::binary);
    const std::string decoded((std::istreambuf_iterator<char>(result)),
                              std::istreambuf_iterator<char>());
    EXPECT_EQ(decoded, data) << "clear at " << clear_at;
  }
  fs::remove_all(dir);
}

}  // namespace
}  // namespace pagemint
