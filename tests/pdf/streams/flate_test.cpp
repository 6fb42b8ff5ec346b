// SPDX-License-Identifier: GPL-3.0-or-later
// Flate through the zlib streams: zlib itself is the oracle (compress2 and
// uncompress), damaged data keeps what inflated before the damage, and
// the zlib stream classes refuse the wrong direction.
#include <gtest/gtest.h>
#include <zlib.h>

#include <random>

#include "pdf/streams/filters.h"
#include "pdf/streams/stream_wrappers.h"
#include "pdf/streams/zlib_streams.h"

namespace pagemint {
namespace {

std::string ZCompress(const std::string& data, int level = Z_DEFAULT_COMPRESSION) {
  uLongf size = compressBound(data.size());
  std::string out(size, '\0');
  EXPECT_EQ(compress2(reinterpret_cast<Bytef*>(out.data()), &size,
                      reinterpret_cast<const Bytef*>(data.data()), data.size(), level),
            Z_OK);
  out.resize(size);
  return out;
}

std::string ZUncompress(const std::string& data, size_t size) {
  std::string out(size + 1, '\0');
  uLongf got = out.size();
  EXPECT_EQ(uncompress(reinterpret_cast<Bytef*>(out.data()), &got,
                       reinterpret_cast<const Bytef*>(data.data()), data.size()),
            Z_OK);
  out.resize(got);
  return out;
}

std::string Text(size_t size) {
  std::mt19937 rng(7);
  static const char* words[] = {"stream ", "endobj\n", "/Type ", "/Page ", "0 0 612 792 re f\n",
                                "BT ",     "ET\n"};
  std::string s;
  while (s.size() < size) s += words[rng() % 7];
  s.resize(size);
  return s;
}

TEST(FlateFilter, CompressesEachLevelIntoStandardZlibData) {
  const std::string data = Text(200000);
  size_t stored = 0, fastest = 0, maximum = 0;
  for (uint8_t level = clNone; level <= clMaximum; ++level) {
    const std::string z = TgtFlateFilter().CompressString(data, level);
    EXPECT_EQ(ZUncompress(z, data.size()), data);
    if (level == clNone) stored = z.size();
    if (level == clFastest) fastest = z.size();
    if (level == clMaximum) maximum = z.size();
  }
  EXPECT_GT(stored, data.size());  // level 0 stores
  EXPECT_LT(maximum, fastest);
}

TEST(FlateFilter, EmptyInputStillMakesACompleteStream) {
  const std::string z = TgtFlateFilter().CompressString("", clNormal);
  EXPECT_GE(z.size(), 8u);
  EXPECT_EQ(ZUncompress(z, 0), "");
  EXPECT_EQ(TgtFlateFilter().DecodeString(z), "");
}

TEST(FlateFilter, DecodesWhatZlibWrote) {
  for (const size_t size : {size_t{1}, size_t{10240}, size_t{65536}, size_t{3000000}}) {
    const std::string data = Text(size);
    EXPECT_EQ(TgtFlateFilter().DecodeString(ZCompress(data)), data) << size;
  }
}

TEST(FlateFilter, ZeroBytesDecodeToZeroBytes) {
  TMemoryStream empty;
  EXPECT_EQ(TgtFlateFilter().DecodeString(""), "");
  EXPECT_EQ(TgtFlateFilter().DecodeStream(empty)->Size(), 0);
}

// Real files carry Flate data cut short or with a wrong checksum; what
// inflated before the damage is kept, and only data that gives nothing
// raises, with zlib's message.
TEST(FlateFilter, DamagedDataKeepsWhatInflatedOrRaisesZlibsMessage) {
  const std::string data = Text(300000);
  const std::string z = ZCompress(data);

  const std::string truncated = TgtFlateFilter().DecodeString(z.substr(0, z.size() / 2));
  EXPECT_GT(truncated.size(), 0u);
  EXPECT_LT(truncated.size(), data.size());
  EXPECT_EQ(data.compare(0, truncated.size(), truncated), 0);

  std::string bad_checksum = z;
  bad_checksum.back() ^= 0x55;
  EXPECT_EQ(TgtFlateFilter().DecodeString(bad_checksum), data);

  struct Case {
    std::string input;
    const char* message;
  };
  const Case failures[] = {
      {"xx not zlib at all", "incorrect header check"},
      {z.substr(0, 2), "buffer error"},  // a header and nothing after it
      {std::string("\x78\x9c\xff\xff\xff", 5), "invalid block type"},
  };
  for (const Case& c : failures) {
    try {
      TgtFlateFilter().DecodeString(c.input);
      ADD_FAILURE() << "no exception for " << c.message;
    } catch (const EZDecompressionError& e) {
      EXPECT_STREQ(e.what(), c.message);
    }
  }
}

TEST(FlateFilter, StopsAtTheSizeLimit) {
  const std::string bomb = ZCompress(std::string(20 << 20, '\0'), 9);  // about 20 KB
  TgtFlateFilter f;
  f.SetMaxDecodedSize(1 << 20);
  EXPECT_THROW(f.DecodeString(bomb), EDecodedSizeError);
  f.SetMaxDecodedSize(20 << 20);
  EXPECT_EQ(f.DecodeString(bomb).size(), size_t{20} << 20);  // exactly the limit is fine
}

TEST(DecompressionStream, StopsRightAfterTheCompressedData) {
  const std::string z = ZCompress("payload");
  TMemoryStream source(z + "endstream");
  TDecompressionStream d(source);
  char buf[64];
  EXPECT_EQ(d.Read(buf, sizeof buf), 7);
  EXPECT_EQ(std::string(buf, 7), "payload");
  EXPECT_TRUE(d.StreamEnded());
  EXPECT_EQ(source.Position(), static_cast<int64_t>(z.size()));
  EXPECT_EQ(d.Read(buf, sizeof buf), 0);
}

TEST(DecompressionStream, RestoresTheSourcePositionSomebodyMoved) {
  const std::string data = Text(500000);
  TMemoryStream source(ZCompress(data));
  TDecompressionStream d(source);
  std::string out(data.size(), '\0');
  ASSERT_EQ(d.Read(out.data(), 1000), 1000);
  source.SetPosition(0);
  ASSERT_EQ(d.Read(out.data() + 1000, static_cast<int64_t>(data.size()) - 1000),
            static_cast<int64_t>(data.size()) - 1000);
  EXPECT_EQ(out, data);
}

TEST(DecompressionStream, SeeksForwardRestartsAndRefusesTheRest) {
  const std::string data = Text(100000);
  TMemoryStream source(ZCompress(data));
  TDecompressionStream d(source);
  EXPECT_EQ(d.Seek(5000, TSeekOrigin::soBeginning), 5000);
  EXPECT_EQ(d.Seek(100, TSeekOrigin::soCurrent), 5100);
  EXPECT_EQ(d.Position(), 5100);
  EXPECT_EQ(d.Seek(5100, TSeekOrigin::soBeginning), 5100);  // where it stands: nothing to do
  char c = 0;
  d.Read(&c, 1);
  EXPECT_EQ(c, data[5100]);
  EXPECT_EQ(d.Seek(0, TSeekOrigin::soEnd), 100000);
  EXPECT_EQ(d.Seek(0, TSeekOrigin::soBeginning), 0);
  d.Read(&c, 1);
  EXPECT_EQ(c, data[0]);
  struct Bad {
    int64_t offset;
    TSeekOrigin origin;
  };
  d.Seek(10, TSeekOrigin::soBeginning);
  for (const Bad b : {Bad{-1, TSeekOrigin::soCurrent}, Bad{3, TSeekOrigin::soBeginning},
                      Bad{-5, TSeekOrigin::soEnd}, Bad{10, TSeekOrigin::soEnd}}) {
    try {
      d.Seek(b.offset, b.origin);
      ADD_FAILURE() << b.offset;
    } catch (const EZDecompressionError& e) {
      EXPECT_STREQ(e.what(), "Invalid ZStream operation!");
    }
  }
}

TEST(ZStreams, RefuseTheWrongDirection) {
  TMemoryStream m;
  TCompressionStream c(clNormal, m);
  char buf[4];
  try {
    c.Read(buf, 4);
    ADD_FAILURE();
  } catch (const EZCompressionError& e) {
    EXPECT_STREQ(e.what(), "Invalid ZStream operation!");
  }
  c.WriteString("abc");
  EXPECT_EQ(c.Seek(0, TSeekOrigin::soCurrent), 3);
  EXPECT_THROW(c.Seek(0, TSeekOrigin::soBeginning), EZCompressionError);
  EXPECT_THROW(c.Seek(1, TSeekOrigin::soCurrent), EZCompressionError);
  c.Finish();
  EXPECT_THROW(c.WriteString("more"), EZCompressionError);

  TMemoryStream z(ZCompress("abc"));
  TDecompressionStream d(z);
  try {
    d.Write("x", 1);
    ADD_FAILURE();
  } catch (const EZDecompressionError& e) {
    EXPECT_STREQ(e.what(), "Invalid ZStream operation!");
  }
  EXPECT_THROW(d.Write("x", 1), EZLibError);
}

TEST(CompressionStream, WritesWholeBuffersAndKeepsItsPlaceInTheDestination) {
  const std::string data = Text(1 << 20);
  TMemoryStream dest;
  dest.WriteString("HEAD");
  int progress = 0;
  {
    TCompressionStream c(clNone, dest);  // stored: output as big as the input
    c.SetOnProgress([&](TCustomZStream&) { ++progress; });
    c.Write(data.data(), 1000);
    dest.SetPosition(0);  // somebody moves the destination between writes
    c.Write(data.data() + 1000, static_cast<int64_t>(data.size()) - 1000);
  }  // the destructor finishes the stream
  EXPECT_GE(progress, 16);
  EXPECT_EQ(dest.Bytes().substr(0, 4), "HEAD");
  EXPECT_EQ(ZUncompress(dest.Bytes().substr(4), data.size()), data);
}

TEST(DecompressionStream, AStreamThatNeedsADictionaryFailsInsteadOfLooping) {
  z_stream s{};
  ASSERT_EQ(deflateInit(&s, Z_DEFAULT_COMPRESSION), Z_OK);
  const std::string dict = "dictionary";
  deflateSetDictionary(&s, reinterpret_cast<const Bytef*>(dict.data()),
                       static_cast<uInt>(dict.size()));
  std::string in = "dictionary words", out(256, '\0');
  s.next_in = reinterpret_cast<Bytef*>(in.data());
  s.avail_in = static_cast<uInt>(in.size());
  s.next_out = reinterpret_cast<Bytef*>(out.data());
  s.avail_out = static_cast<uInt>(out.size());
  ASSERT_EQ(deflate(&s, Z_FINISH), Z_STREAM_END);
  out.resize(s.total_out);
  deflateEnd(&s);
  try {
    TgtFlateFilter().DecodeString(out);
    ADD_FAILURE();
  } catch (const EZDecompressionError& e) {
    EXPECT_STREQ(e.what(), "need dictionary");
  }
}

TEST(DecompressionStream, ReadsThroughAReadWrapper) {
  // A read wrapper refuses a seek to -1; stepping the source back after
  // the end of the data must not depend on one.
  const std::string z = ZCompress("x");
  TMemoryStream m(z + "Z");
  TgtReadOnlyFilter wrapper(&m);
  TDecompressionStream d(wrapper);
  char c = 0;
  EXPECT_EQ(d.Read(&c, 2), 1);
  EXPECT_EQ(m.Position(), static_cast<int64_t>(z.size()));
}

}  // namespace
}  // namespace pagemint
