// SPDX-License-Identifier: GPL-3.0-or-later
// The ASCIIHex, ASCII85 and RunLength codecs: decoding tables, exact
// encoder output, round trips, zero-byte input and the size limit.
#include "pdf/streams/filters.h"

#include <gtest/gtest.h>

#include <random>

#include "pdf/streams/filter_chain.h"

namespace pagemint {
namespace {

std::string Bytes(std::initializer_list<int> values) {
  std::string s;
  for (int v : values) s.push_back(static_cast<char>(v));
  return s;
}

// A decoding case: the input and either the output or the error message.
struct DecodeCase {
  std::string input;
  std::string output;
  const char* error = nullptr;
};

void RunDecodeCases(TgtFilter& filter, const std::vector<DecodeCase>& cases) {
  for (const DecodeCase& c : cases) {
    SCOPED_TRACE(::testing::PrintToString(c.input));
    if (c.error == nullptr) {
      EXPECT_EQ(filter.DecodeString(c.input), c.output);
      TMemoryStream source(c.input);
      source.SetPosition(
          static_cast<int64_t>(c.input.size()));  // decoding reads from the start anyway
      EXPECT_EQ(filter.DecodeStream(source)->Bytes(), c.output);
      EXPECT_EQ(source.Bytes(), c.input);
      continue;
    }
    try {
      filter.DecodeString(c.input);
      ADD_FAILURE() << "expected: " << c.error;
    } catch (const EDecodedSizeError&) {
      ADD_FAILURE() << "size error";
    } catch (const Exception& e) {
      EXPECT_STREQ(e.what(), c.error);
    }
  }
}

// Data with runs, repeats and noise, so that encoders meet every case.
std::string MixedData(size_t size, unsigned seed) {
  std::mt19937 rng(seed);
  std::string s;
  while (s.size() < size) {
    const unsigned kind = rng() % 4;
    const size_t len = 1 + rng() % (kind == 0 ? 300 : 6);
    const char c = static_cast<char>(rng());
    for (size_t i = 0; i < len && s.size() < size; ++i)
      s.push_back(kind == 0 || kind == 1 ? c : static_cast<char>(rng() % (kind == 2 ? 4 : 256)));
  }
  return s;
}

TEST(AsciiHexFilter, Decodes) {
  TgtAsciiHexFilter f;
  RunDecodeCases(f, {
                        {"41 42>", "AB"},
                        {"414>", Bytes({0x41, 0x40})},
                        {"4a4B\t\r\n 6f>", "JKo"},
                        {">", ""},
                        {"", ""},
                        {"41>4x>", "A"},  // decoding stops at the first ">"
                        {"4G>", "", "Illeagal character within stream"},
                        {"41\f42>", "", "Illeagal character within stream"},
                        {"4142", "", "EndOfData marker is wrong"},
                        {"41>\n", "", "EndOfData marker is wrong"},
                    });
}

TEST(AsciiHexFilter, EncodesUpperCaseWithoutSeparators) {
  TgtAsciiHexFilter f;
  EXPECT_EQ(f.EncodeString(Bytes({0x00, 0xAB, 0x7F, 0xFF})), "00AB7FFF>");
  EXPECT_EQ(f.EncodeString(""), ">");
}

TEST(Ascii85Filter, Decodes) {
  TgtAscii85Filter f;
  RunDecodeCases(f, {
                        {"87cURDZ~>", "Hello"},
                        {"87cURD_*#4DfTZ)+T~>", "Hello, World!"},
                        {"87cU RD\r\n_*#4\tDfTZ)+T~>", "Hello, World!"},
                        {"z~>", std::string(4, '\0')},
                        {"zz!!~>", std::string(9, '\0')},
                        {"s8W-!~>", Bytes({0xFF, 0xFF, 0xFF, 0xFF})},
                        {"uuuuu~>", Bytes({0x08, 0x78, 0x0E, 0xC4})},  // beyond 2^32: low 32 bits
                        {"!!~>", Bytes({0})},
                        {"~>", ""},
                        {"", ""},
                        {"!!z~>", "", "\"z\" found at inappropriate position"},
                        {"!~>", "", "Single Final Character"},
                        {"87cURD~>", "", "Single Final Character"},
                        {"87cURDZ", "", "EndOfData marker is wrong"},
                        {"~", "", "EndOfData marker is wrong"},
                        {"87~>>", "", "EndOfData marker is wrong"},
                        {"87~cURDZ~>", "", "Illeagal character within stream"},
                        {"87v~>", "", "Illeagal character within stream"},
                    });
}

TEST(Ascii85Filter, EncodesZeroGroupsAsZAndShortensTheLastGroup) {
  TgtAscii85Filter f;
  EXPECT_EQ(f.EncodeString(std::string(4, '\0')), "z~>");
  EXPECT_EQ(f.EncodeString(std::string(5, '\0')), "z!!~>");  // a partial zero group is not "z"
  EXPECT_EQ(f.EncodeString("Hello"), "87cURDZ~>");
  EXPECT_EQ(f.EncodeString(""), "~>");
}

TEST(RLEFilter, Decodes) {
  TgtRLEFilter f;
  RunDecodeCases(
      f, {
             {Bytes({0x02, 'a', 'b', 'c', 0xFE, 'x', 0x80}), "abcxxx"},
             {Bytes({0x81, 'z', 0x80}), std::string(128, 'z')},
             {Bytes({0x80}), ""},
             {"", ""},
             {Bytes({0x00, 'a'}), "", "EndOfData Marker is wrong"},
             {Bytes({0x80, 0x80}), "", "Premature EndOfData Marker found"},
             {Bytes({0x00, 'a', 0x80, 0x00, 'b', 0x80}), "", "Premature EndOfData Marker found"},
             {Bytes({0x02, 'a', 0x80}), "", "Unexpected EndOfFile found"},
             {Bytes({0xFE, 0x80}), "", "Unexpected EndOfFile found"},
             // A record may not swallow the closing marker.
             {Bytes({0x01, 'a', 0x80}), "", "Unexpected EndOfFile found"},
         });
}

TEST(RLEFilter, EncodesRunsPairsAndLiteralsExactly) {
  struct Case {
    std::string input;
    std::string encoded;
  };
  const Case cases[] = {
      {"", Bytes({0x80})},
      {"a", Bytes({0x00, 'a', 0x80})},
      {"aaa", Bytes({0xFE, 'a', 0x80})},
      {"ab", Bytes({0x00, 'a', 0x00, 'b', 0x80})},
      {"aab", Bytes({0xFF, 'a', 0x00, 'b', 0x80})},               // pair with no literals pending
      {"baab", Bytes({0x02, 'b', 'a', 'a', 0x00, 'b', 0x80})},    // pair joins the literals
      {"baacc", Bytes({0x00, 'b', 0xFF, 'a', 0xFF, 'c', 0x80})},  // pair before another run
      {"xyaaab", Bytes({0x01, 'x', 'y', 0xFE, 'a', 0x00, 'b', 0x80})},
      {std::string(128, 'a'), Bytes({0x81, 'a', 0x80})},
      {std::string(129, 'a'), Bytes({0x81, 'a', 0x00, 'a', 0x80})},
      {std::string(130, 'a'), Bytes({0x81, 'a', 0xFF, 'a', 0x80})},
  };
  TgtRLEFilter f;
  for (const Case& c : cases) {
    SCOPED_TRACE(::testing::PrintToString(c.input));
    EXPECT_EQ(f.EncodeString(c.input), c.encoded);
  }
}

TEST(RLEFilter, LongLiteralsSplitIntoRecordsOf128) {
  std::string input;
  for (int i = 0; i < 200; ++i) input.push_back(static_cast<char>(i));
  const std::string encoded = TgtRLEFilter().EncodeString(input);
  ASSERT_EQ(encoded.size(), 1 + 128 + 1 + 71 + 2 + 1);  // the last byte is a run of its own
  EXPECT_EQ(static_cast<uint8_t>(encoded[0]), 127);
  EXPECT_EQ(static_cast<uint8_t>(encoded[129]), 70);
}

TEST(Codecs, RoundTrip) {
  std::vector<std::string> inputs = {"", "a", "ab", std::string(1000, '\0'),
                                     std::string(3, '\xFF')};
  for (unsigned seed = 1; seed <= 8; ++seed) inputs.push_back(MixedData(seed * 997, seed));
  TgtAsciiHexFilter hex;
  TgtAscii85Filter a85;
  TgtRLEFilter rle;
  TgtFlateFilter flate;
  for (const std::string& in : inputs) {
    SCOPED_TRACE(in.size());
    EXPECT_EQ(hex.DecodeString(hex.EncodeString(in)), in);
    EXPECT_EQ(a85.DecodeString(a85.EncodeString(in)), in);
    EXPECT_EQ(rle.DecodeString(rle.EncodeString(in)), in);
    for (uint8_t level = 0; level <= 3; ++level)
      EXPECT_EQ(flate.DecodeString(flate.CompressString(in, level)), in);
    TMemoryStream source(in);
    EXPECT_EQ(rle.DecodeStream(*rle.EncodeStream(source))->Bytes(), in);
    EXPECT_EQ(a85.DecodeStream(*a85.EncodeStream(source))->Bytes(), in);
    EXPECT_EQ(flate.DecodeStream(*flate.CompressStream(source, clNormal))->Bytes(), in);
  }
}

TEST(RLEFilter, StopsAtTheSizeLimit) {
  // Two bytes per 128 output bytes: a small stream that asks for a lot.
  std::string bomb;
  for (int i = 0; i < 100; ++i) bomb += Bytes({0x81, 'x'});
  bomb.push_back(static_cast<char>(0x80));
  TgtRLEFilter f;
  f.SetMaxDecodedSize(128 * 100);
  EXPECT_EQ(f.DecodeString(bomb).size(), 128u * 100);  // exactly the limit is fine
  f.SetMaxDecodedSize(128 * 100 - 1);
  EXPECT_THROW(f.DecodeString(bomb), EDecodedSizeError);
  try {
    f.DecodeString(bomb);
  } catch (const EDecodedSizeError& e) {
    EXPECT_STREQ(e.what(), "Decoded stream exceeds the limit of 12799 bytes");
  }
}

}  // namespace
}  // namespace pagemint
