// SPDX-License-Identifier: GPL-3.0-or-later
// Decoding speed of the stream filters, with zlib's own one-call
// uncompress as the peer for Flate.
#include "pdf/streams/filters.h"

#include <zlib.h>

#include <chrono>
#include <cstdio>
#include <random>
#include <string>

using namespace pagemint;

namespace {

std::string PageLikeText(size_t size) {
  std::mt19937 rng(1);
  static const char* words[] = {
      "BT ",  "/F1 12 Tf ",         "72 712 Td ",        "(Lorem ipsum) Tj ",
      "ET\n", "0 0 612 792 re f\n", "q 1 0 0 1 0 0 cm ", "Q\n"};
  std::string s;
  while (s.size() < size) {
    s += words[rng() % 8];
    s += std::to_string(rng() % 1000);
    s += ' ';
  }
  s.resize(size);
  return s;
}

template <class F>
double Seconds(int rounds, F&& f) {
  const auto start = std::chrono::steady_clock::now();
  for (int i = 0; i < rounds; ++i) f();
  return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count() / rounds;
}

void Report(const char* name, size_t bytes, double seconds) {
  std::printf("%-28s %8.1f MB/s of output\n", name, static_cast<double>(bytes) / seconds / 1e6);
}

}  // namespace

int main() {
  const std::string plain = PageLikeText(64 << 20);
  const std::string z = TgtFlateFilter().CompressString(plain, clNormal);
  // The peer knows the output size and allocates it once, as a caller
  // with the size at hand would.
  const double peer = Seconds(3, [&] {
    std::string out(plain.size(), '\0');
    uLongf n = out.size();
    uncompress(reinterpret_cast<Bytef*>(out.data()), &n, reinterpret_cast<const Bytef*>(z.data()),
               z.size());
  });
  TMemoryStream source(z);
  const double ours = Seconds(3, [&] { TgtFlateFilter().DecodeStream(source); });
  Report("zlib uncompress", plain.size(), peer);
  Report("Flate DecodeStream", plain.size(), ours);
  std::printf("%-28s %8.2f\n", "ratio (ours / zlib time)", ours / peer);

  const std::string rle = TgtRLEFilter().EncodeString(plain);
  Report("RunLength DecodeString", plain.size(),
         Seconds(3, [&] { TgtRLEFilter().DecodeString(rle); }));
  const std::string a85 = TgtAscii85Filter().EncodeString(plain);
  Report("ASCII85 DecodeString", plain.size(),
         Seconds(3, [&] { TgtAscii85Filter().DecodeString(a85); }));
  const std::string hex = TgtAsciiHexFilter().EncodeString(plain);
  Report("ASCIIHex DecodeString", plain.size(),
         Seconds(3, [&] { TgtAsciiHexFilter().DecodeString(hex); }));
  return 0;
}
