// SPDX-License-Identifier: GPL-3.0-or-later
// Runs every stream decoder over the input, and checks that what each
// encoder writes decodes back to the input.
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>

#include "pdf/streams/filter_chain.h"
#include "pdf/streams/filters.h"
#include "pdf/streams/zlib_streams.h"

using namespace pagemint;

namespace {

// Small enough that a decompression bomb costs the fuzzer little.
constexpr int64_t kFuzzDecodedLimit = 16 << 20;

void Decode(TgtDecodeFilter filter, std::string_view data) {
  try {
    DecodeStringWithFilter(filter, data, kFuzzDecodedLimit);
  } catch (const Exception&) {
  }
  try {
    DecodeWithFilter(filter, std::make_unique<TMemoryStream>(std::string(data)), kFuzzDecodedLimit);
  } catch (const Exception&) {
  }
}

void RoundTrip(TgtFilter& filter, std::string_view data, bool compress) {
  const std::string encoded =
      compress ? filter.CompressString(data, clFastest) : filter.EncodeString(data);
  if (filter.DecodeString(encoded) != data) std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* bytes, size_t size) {
  const std::string_view data(reinterpret_cast<const char*>(bytes), size);
  for (const TgtDecodeFilter f :
       {ftASCIIHexDecode, ftASCII85Decode, ftFlateDecode, ftRunLengthDecode, ftLZWDecode})
    Decode(f, data);
  // The zlib stream on its own, as the Flate filter does not use its seeks.
  try {
    TMemoryStream source{std::string(data)};
    TDecompressionStream z(source);
    z.Seek(static_cast<int64_t>(size), TSeekOrigin::soBeginning);
    z.Seek(0, TSeekOrigin::soBeginning);
    char chunk[4096];
    int64_t total = 0;
    for (int64_t n; (n = z.Read(chunk, sizeof chunk)) > 0 && total < kFuzzDecodedLimit;) total += n;
  } catch (const Exception&) {
  }
  if (size <= 4096) {
    TgtAsciiHexFilter hex;
    TgtAscii85Filter a85;
    TgtRLEFilter rle;
    TgtFlateFilter flate;
    RoundTrip(hex, data, false);
    RoundTrip(a85, data, false);
    RoundTrip(rle, data, false);
    RoundTrip(flate, data, true);
  }
  return 0;
}
