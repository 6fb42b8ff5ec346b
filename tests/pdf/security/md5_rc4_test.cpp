// SPDX-License-Identifier: GPL-3.0-or-later
// MD5 and RC4 against their published test vectors.
#include <gtest/gtest.h>

#include <string>

#include "pdf/security/md5.h"
#include "pdf/security/rc4.h"
#include "platform/exception.h"

namespace pagemint {
namespace {

std::string Hex(const uint8_t* data, size_t size) {
  static constexpr char kDigits[] = "0123456789abcdef";
  std::string text;
  for (size_t i = 0; i < size; ++i) {
    text.push_back(kDigits[data[i] >> 4]);
    text.push_back(kDigits[data[i] & 15]);
  }
  return text;
}

std::string Hex(const std::string& bytes) {
  return Hex(reinterpret_cast<const uint8_t*>(bytes.data()), bytes.size());
}

std::string Unhex(std::string_view hex) {
  std::string bytes;
  for (size_t i = 0; i + 1 < hex.size(); i += 2) {
    bytes.push_back(static_cast<char>(std::stoi(std::string(hex.substr(i, 2)), nullptr, 16)));
  }
  return bytes;
}

// The test suite of RFC 1321, appendix A.5.
struct Md5Case {
  const char* message;
  const char* digest;
};
const Md5Case kMd5Cases[] = {
    {"", "d41d8cd98f00b204e9800998ecf8427e"},
    {"a", "0cc175b9c0f1b6a831c399e269772661"},
    {"abc", "900150983cd24fb0d6963f7d28e17f72"},
    {"message digest", "f96b697d7cb7938d525a2f31aaf161d0"},
    {"abcdefghijklmnopqrstuvwxyz", "c3fcd3d76192e4007dfb496cca67e13b"},
    {"ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789",
     "d174ab98d277d9f5a5611c2c9f419d9f"},
    {"12345678901234567890123456789012345678901234567890123456789012345678901234567890",
     "57edf4a22be3c955ac49da2e2107b67a"},
};

TEST(Md5Test, Rfc1321Suite) {
  for (const Md5Case& c : kMd5Cases) {
    const TMD5Digest digest = TMD5::Digest(c.message);
    EXPECT_EQ(Hex(digest.data(), digest.size()), c.digest) << '"' << c.message << '"';
  }
}

// Feeding the data in two pieces, split anywhere, gives the one-piece
// digest: covers the partial-block buffering around the 64-byte blocks
// and the padding that spills into a second block (lengths 56 to 63).
TEST(Md5Test, SplitUpdatesMatchOneUpdate) {
  std::string message;
  for (int i = 0; i < 200; ++i) message.push_back(static_cast<char>(i * 7 + 3));
  for (size_t length : {55u, 56u, 63u, 64u, 65u, 127u, 128u, 200u}) {
    const std::string_view whole(message.data(), length);
    const TMD5Digest expected = TMD5::Digest(whole);
    for (size_t split = 0; split <= length; split += 9) {
      TMD5 md5;
      md5.Update(whole.substr(0, split));
      md5.Update(whole.substr(split));
      EXPECT_EQ(md5.Final(), expected) << "length " << length << " split " << split;
    }
  }
}

TEST(Md5Test, FinalStartsOver) {
  TMD5 md5;
  md5.Update("garbage");
  md5.Final();
  md5.Update("abc");
  const TMD5Digest digest = md5.Final();
  EXPECT_EQ(Hex(digest.data(), digest.size()), "900150983cd24fb0d6963f7d28e17f72");
}

// Key stream excerpts from RFC 6229 (offsets 0, 16, 1520 and 4096) for
// keys of 40, 56, 64, 128 and 256 bits, and one of its 40-bit keys that
// is not a counting sequence.
struct Rc4Case {
  const char* key;
  size_t offset;
  const char* stream;
};
const Rc4Case kRc4Cases[] = {
    {"0102030405", 0, "b2396305f03dc027ccc3524a0a1118a8"},
    {"0102030405", 16, "6982944f18fc82d589c403a47a0d0919"},
    {"0102030405", 1520, "3294f744d8f9790507e70f62e5bbceea"},
    {"0102030405", 4096, "ff25b58995996707e51fbdf08b34d875"},
    {"01020304050607", 0, "293f02d47f37c9b633f2af5285feb46b"},
    {"01020304050607", 4096, "e74b0b9731227fd37c0ec08a47ddd8b8"},
    {"0102030405060708", 0, "97ab8a1bf0afb96132f2f67258da15a8"},
    {"0102030405060708", 1520, "1fe8986713f07c3d9ae1c163ff8cf9d3"},
    {"0102030405060708090a0b0c0d0e0f10", 0, "9ac7cc9a609d1ef7b2932899cde41b97"},
    {"0102030405060708090a0b0c0d0e0f10", 16, "5248c4959014126a6e8a84f11d1a9e1c"},
    {"0102030405060708090a0b0c0d0e0f10", 4096, "a36a4c301ae8ac13610ccbc12256cacc"},
    {"0102030405060708090a0b0c0d0e0f101112131415161718191a1b1c1d1e1f20", 0,
     "eaa6bd25880bf93d3f5d1e4ca2611d91"},
    {"833222772a", 0, "80ad97bdc973df8a2e879e92a497efda"},
    {"833222772a", 1520, "adb89cea9a15fbe617295bd04b8ca05c"},
};

TEST(Rc4Test, Rfc6229KeyStream) {
  for (const Rc4Case& c : kRc4Cases) {
    const std::string key = Unhex(c.key);
    std::string data(c.offset + 16, '\0');
    TRC4::Crypt(reinterpret_cast<const uint8_t*>(key.data()), key.size(),
                reinterpret_cast<uint8_t*>(data.data()), data.size());
    EXPECT_EQ(Hex(data.substr(c.offset)), c.stream) << "key " << c.key << " offset " << c.offset;
  }
}

// The widely quoted plaintext vectors.
TEST(Rc4Test, PlaintextVectors) {
  const struct {
    const char* key;
    const char* plain;
    const char* cipher;
  } cases[] = {
      {"Key", "Plaintext", "bbf316e8d940af0ad3"},
      {"Wiki", "pedia", "1021bf0420"},
      {"Secret", "Attack at dawn", "45a01f645fc35b383552544b9bf5"},
  };
  for (const auto& c : cases) {
    const std::string key = c.key;
    std::string data = c.plain;
    TRC4 rc4(reinterpret_cast<const uint8_t*>(key.data()), key.size());
    rc4.Apply(data);
    EXPECT_EQ(Hex(data), c.cipher) << c.key;
  }
}

TEST(Rc4Test, ApplyContinuesTheKeyStream) {
  const uint8_t key[] = {1, 2, 3, 4, 5};
  TRC4 rc4(key, sizeof key);
  std::string first(7, '\0');
  std::string second(9, '\0');
  rc4.Apply(first);
  rc4.Apply(second);
  EXPECT_EQ(Hex(first + second), "b2396305f03dc027ccc3524a0a1118a8");
}

TEST(Rc4Test, RejectsKeysOutsideOneTo256Bytes) {
  const std::string key(257, 'k');
  const auto* bytes = reinterpret_cast<const uint8_t*>(key.data());
  for (size_t length : {size_t{0}, size_t{257}}) {
    try {
      TRC4 rc4(bytes, length);
      ADD_FAILURE() << "accepted a key of " << length << " bytes";
    } catch (const Exception& e) {
      EXPECT_STREQ(e.what(), "RC4: Invalid key length");
    }
  }
  EXPECT_NO_THROW(TRC4(bytes, 256));
}

}  // namespace
}  // namespace pagemint
