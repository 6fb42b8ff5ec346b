// SPDX-License-Identifier: GPL-3.0-or-later
// AES-CBC as the security handler uses it (IV at the head, PKCS#7 padding
// checked by us), fed whole or in pieces; the crypt filter chosen for
// each kind of stream; and when a source's security is kept for saving.
#include "pdf/security/aes_cipher.h"

#include <gtest/gtest.h>

#include <functional>

#include "pdf/parser/stream_reader.h"
#include "pdf/security/rc4.h"
#include "pdf/security/security.h"
#include "pdf/security/stream_cipher.h"

namespace pagemint {
namespace {

const std::string kKey16 = "0123456789abcdef";
const std::string kKey32 = "0123456789abcdef0123456789ABCDEF";
const std::string kIv = "IVIVIVIVIVIVIVIV";

std::string Text(size_t size) {
  std::string text;
  for (size_t i = 0; i < size; ++i) text.push_back(static_cast<char>('a' + i % 26));
  return text;
}

std::string InPieces(TgtStreamCipher& cipher, const std::string& data, size_t piece,
                     bool* sound = nullptr) {
  std::string out;
  for (size_t at = 0; at < data.size(); at += piece)
    cipher.Update(std::string_view(data).substr(at, piece), out);
  const bool final = cipher.Final(out);
  if (sound) *sound = final;
  return out;
}

// Whole and piecewise encryption agree for every size around the block
// boundaries, and decryption in any piece size gives the text back.
TEST(AesCipher, PiecesAndWholeAgree) {
  for (const std::string& key : {kKey16, kKey32}) {
    for (const size_t size : {1u, 15u, 16u, 17u, 100u}) {
      const std::string text = Text(size);
      std::string whole = text;
      AesEncryptTail(key, kIv, whole, 0);
      ASSERT_EQ(whole.size(), AesEncryptedSize(size));
      EXPECT_EQ(whole.substr(0, 16), kIv);
      std::string plain;
      EXPECT_TRUE(AesDecryptData(key, whole, plain));
      EXPECT_EQ(plain, text);
      // The writer states /Length before the data from what the cipher
      // promises; decrypting cannot know the padding up front.
      EXPECT_EQ(MakeAesStreamCipher(key, true, kIv)->OutputSize(static_cast<int64_t>(size)),
                static_cast<int64_t>(whole.size()));
      const auto decrypt = MakeAesStreamCipher(key, false);
      EXPECT_EQ(decrypt->OutputSize(static_cast<int64_t>(whole.size())), -1);
      // ... but its last two blocks tell it; a damaged end tells nothing.
      const std::string end = whole.substr(whole.size() - 32);
      EXPECT_EQ(decrypt->OutputSizeFromEnd(static_cast<int64_t>(whole.size()), end),
                static_cast<int64_t>(size));
      std::string bad = end;
      bad[15] ^= 0x55;  // changes the last plain byte, the padding length
      EXPECT_EQ(decrypt->OutputSizeFromEnd(static_cast<int64_t>(whole.size()), bad), -1);
      EXPECT_EQ(decrypt->OutputSizeFromEnd(static_cast<int64_t>(whole.size()) + 1, end), -1);
      for (const size_t piece : {1u, 7u, 16u, 33u, 1000u}) {
        SCOPED_TRACE(std::to_string(key.size()) + " " + std::to_string(size) + " " +
                     std::to_string(piece));
        EXPECT_EQ(InPieces(*MakeAesStreamCipher(key, true, kIv), text, piece), whole);
        bool sound = false;
        EXPECT_EQ(InPieces(*MakeAesStreamCipher(key, false), whole, piece, &sound), text);
        EXPECT_TRUE(sound);
      }
    }
  }
  std::string rc4 = Text(100);
  TRC4::Crypt(reinterpret_cast<const uint8_t*>(kKey16.data()), 16,
              reinterpret_cast<uint8_t*>(rc4.data()), rc4.size());
  EXPECT_EQ(InPieces(*MakeRc4StreamCipher(kKey16), Text(100), 7), rc4);
  EXPECT_EQ(MakeRc4StreamCipher(kKey16)->OutputSize(100), 100);
}

// Damaged data: reported as unsound, never a crash, and what can be
// decrypted is kept.
TEST(AesCipher, DamagedDataIsReportedAndKept) {
  std::string good = Text(20);
  AesEncryptTail(kKey16, kIv, good, 0);  // IV + 2 blocks
  std::string bad_pad = good;
  bad_pad[good.size() - 17] ^= 0x20;  // flips the last plain byte (the padding)
  const struct {
    const char* name;
    std::string data;
    size_t kept;  // decrypted bytes kept
  } cases[] = {
      {"shorter than the IV", good.substr(0, 10), 0},
      {"IV only", good.substr(0, 16), 0},
      {"partial block", good.substr(0, 40), 16},
      {"bad padding", bad_pad, 32},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    std::string whole;
    const bool sound = AesDecryptData(kKey16, c.data, whole);
    EXPECT_EQ(sound, c.data.size() == 16) << "an IV alone is an empty string";
    EXPECT_EQ(whole.size(), c.kept);
    bool pieces_sound = true;
    EXPECT_EQ(InPieces(*MakeAesStreamCipher(kKey16, false), c.data, 5, &pieces_sound), whole);
    EXPECT_EQ(pieces_sound, sound);
  }
  EXPECT_THROW(MakeAesStreamCipher("short", false), Exception);
}

TgtPDFObjectPtr Parse(const std::string& text) {
  TMemoryStream stream(text);
  TgtPDFStreamReader reader(0, &stream);
  return reader.ReadObject();
}

TEST(CryptFilters, MethodOfEachStream) {
  const TgtPDFObjectPtr encrypt = Parse(
      "<< /V 4 /CF << /StdCF << /CFM /AESV2 >> /Plain << /CFM /None >> /Old << /CFM /V2 >> >> "
      "/StmF /StdCF /StrF /Old /EFF /Plain /EncryptMetadata false >>");
  const TgtCryptFilters filters = ReadCryptFilters(encrypt->AsDictionary(), 4);
  EXPECT_EQ(filters.strings, TgtCryptMethod::Rc4);
  const struct {
    const char* dictionary;
    TgtCryptMethod method;
  } cases[] = {
      {"<< >>", TgtCryptMethod::AesV2},
      {"<< /Type /Metadata >>", TgtCryptMethod::None},
      {"<< /Type /EmbeddedFile >>", TgtCryptMethod::None},
      {"<< /Filter /Crypt >>", TgtCryptMethod::None},  // /Identity unless named
      {"<< /Filter /Crypt /DecodeParms << /Name /Old >> >>", TgtCryptMethod::Rc4},
      {"<< /Filter [/Crypt /FlateDecode] /DecodeParms [<< /Name /Old >> null] >>",
       TgtCryptMethod::Rc4},
      {"<< /Filter [/FlateDecode] /DecodeParms [<< /Name /Old >>] >>", TgtCryptMethod::AesV2},
      {"<< /Filter /Crypt /DecodeParms << /Name /Unknown >> >>", TgtCryptMethod::AesV2},
  };
  for (const auto& c : cases) {
    const TgtPDFObjectPtr dictionary = Parse(c.dictionary);
    EXPECT_EQ(filters.ForStream(&dictionary->AsDictionary()), c.method) << c.dictionary;
  }
  const TgtPDFObjectPtr undefined = Parse("<< /V 4 /StmF /Nowhere >>");
  EXPECT_THROW(ReadCryptFilters(undefined->AsDictionary(), 4), Exception);
}

// A source's security is written back until a setter changes a value;
// setting a value to what it already is changes nothing.
TEST(KeptSecurity, UntilTheCallerChangesASetting) {
  TgtPDFEncryptionSettings made;
  made.SetEnabled(true);
  made.SetLevel(el128bit);
  made.SetUserPassword("user");
  made.SetOwnerPassword("owner");
  TgtPDFEncryption source(made, "some id");
  const struct {
    const char* name;
    std::function<void(TgtPDFEncryptionSettings&)> change;
    bool kept;
  } cases[] = {
      {"nothing", [](TgtPDFEncryptionSettings&) {}, true},
      {"same user password", [](TgtPDFEncryptionSettings& s) { s.SetUserPassword("user"); }, true},
      {"same level", [](TgtPDFEncryptionSettings& s) { s.SetLevel(el128bit); }, true},
      {"new user password", [](TgtPDFEncryptionSettings& s) { s.SetUserPassword("x"); }, false},
      {"40 bits", [](TgtPDFEncryptionSettings& s) { s.SetLevel(el40bit); }, false},
      {"disabled", [](TgtPDFEncryptionSettings& s) { s.SetEnabled(false); }, false},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    auto decrypt = MakeDecryptor(*source.BuildEncryptDictionary(), std::string("some id"));
    TgtPDFEncryptionSettings settings;
    ASSERT_TRUE(decrypt->Authenticate(settings, "owner"));
    c.change(settings);
    const TgtPDFSourceSecurity* kept = settings.KeptSecurity();
    ASSERT_EQ(kept != nullptr, c.kept);
    if (!kept) continue;
    EXPECT_EQ(kept->file_key, source.EncryptionKey());
    EXPECT_EQ(kept->file_id, "some id");
    EXPECT_EQ(TgtPDFEncryption(*kept).BuildEncryptDictionary()->Lookup("/O")->AsString().Bytes(),
              source.GetOwnerKey());
  }
}

// Only embedded files encrypted: any password opens the document in the
// user role; without the right one the embedded files stay as they are,
// and a save keeps them so.
TEST(KeptSecurity, EmbeddedFilesOnly) {
  TgtPDFEncryptionSettings made;
  made.SetEnabled(true);
  made.SetLevel(el128bit);
  made.SetUserPassword("user");
  made.SetOwnerPassword("owner");
  TgtPDFEncryption rc4(made, "id");
  auto dictionary = rc4.BuildEncryptDictionary();
  dictionary->SetInteger("/V", 4);
  dictionary->SetInteger("/R", 4);
  dictionary->SetValue("/CF", Parse("<< /StdCF << /CFM /AESV2 >> >>"));
  dictionary->SetName("/StmF", "/Identity");
  dictionary->SetName("/StrF", "/Identity");
  dictionary->SetName("/EFF", "/StdCF");
  const TgtPDFObjectPtr embedded = Parse("<< /Type /EmbeddedFile >>");
  for (const char* password : {"user", "wrong"}) {
    SCOPED_TRACE(password);
    const bool right = std::string(password) == "user";
    auto decrypt = MakeDecryptor(*dictionary, std::string("id"));
    TgtPDFEncryptionSettings settings;
    ASSERT_TRUE(decrypt->Authenticate(settings, password));
    EXPECT_FALSE(decrypt->IsOwner());
    EXPECT_EQ(decrypt->StreamDecryptor(&embedded->AsDictionary(), 5, 0) != nullptr, right);
    EXPECT_EQ(decrypt->StreamDecryptor(nullptr, 5, 0), nullptr);
    const TgtPDFSourceSecurity* kept = settings.KeptSecurity();
    ASSERT_TRUE(kept);
    EXPECT_EQ(kept->cipher, TgtPDFCipher::Aes128);
    EXPECT_EQ(TgtPDFEncryption(*kept).EncryptedSize(10, &embedded->AsDictionary()),
              right ? 32u : 10u);
  }
}

}  // namespace
}  // namespace pagemint
