// SPDX-License-Identifier: GPL-3.0-or-later
// Writes the seed inputs of fuzz/filters_fuzz.cpp: a small valid sample of
// every codec, so the fuzzer starts from inputs that get past the markers.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

#include "pdf/streams/filters.h"
#include "pdf/streams/lzw_encoder.h"

namespace pagemint {
namespace {

TEST(FuzzSeeds, WritesOneSampleOfEachCodec) {
  namespace fs = std::filesystem;
  const fs::path dir = fs::path(PAGEMINT_BINARY_DIR) / "fuzz_seeds" / "filters";
  fs::create_directories(dir);
  const std::string text =
      "BT /F1 12 Tf 72 712 Td (Hello, hello, hello) Tj ET\n0000000000 65535 f \n";
  const std::pair<const char*, std::string> seeds[] = {
      {"hex", TgtAsciiHexFilter().EncodeString(text)},
      {"a85", TgtAscii85Filter().EncodeString(text + std::string(8, '\0'))},
      {"rle", TgtRLEFilter().EncodeString(text + std::string(300, ' '))},
      {"flate", TgtFlateFilter().CompressString(text, clNormal)},
      {"lzw", testing::LzwEncoder().Encode(text + text + text)},
  };
  for (const auto& [name, bytes] : seeds) {
    std::ofstream(dir / name, std::ios::binary) << bytes;
    EXPECT_EQ(fs::file_size(dir / name), bytes.size());
  }
}

}  // namespace
}  // namespace pagemint
