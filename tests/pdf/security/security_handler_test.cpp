// SPDX-License-Identifier: GPL-3.0-or-later
// The standard security handler on its own: keys made by the encryptor
// are accepted by the decryptor, and the dictionary reader stands up to
// broken and unsupported dictionaries.
#include <gtest/gtest.h>

#include <cstdlib>
#include <ctime>
#include <functional>
#include <regex>

#include "pdf/security/md5.h"
#include "pdf/security/security.h"

namespace pagemint {
namespace {

TgtPDFEncryptionSettings Settings(TgtPDFEncryptionLevel level, std::string user, std::string owner,
                                  TgtUserPermissions permissions = TgtUserPermissions::All()) {
  TgtPDFEncryptionSettings settings;
  settings.SetEnabled(true);
  settings.SetLevel(level);
  settings.SetUserPassword(std::move(user));
  settings.SetOwnerPassword(std::move(owner));
  settings.SetUserPermissions(permissions);
  return settings;
}

// A decryptor fed with what the encryptor would write into a file.
std::unique_ptr<TgtPDFDecrypt> DecryptorFor(const TgtPDFEncryption& encryption) {
  auto dict = encryption.BuildEncryptDictionary();
  auto decrypt = MakeDecryptor(*dict, encryption.GetFileID());
  decrypt->SetOwnerPasswordMaker([] { return std::string("made-up owner"); });
  return decrypt;
}

TgtUserPermissions Perms(std::initializer_list<TgtUserPermissionsType> list) {
  TgtUserPermissions set;
  for (const auto p : list) set.Include(p);
  return set;
}

const TgtUserPermissions kBasic = Perms({AllowCopy, AllowModify, AllowPrint, AllowAnnotation});

TEST(PadPasswordTest, FillsUpWithThePaddingString) {
  const TgtPDFKey32 empty = TgtBasePDFCrypt::PadPassword("");
  EXPECT_EQ(empty, kPasswordPadding);
  const TgtPDFKey32 abc = TgtBasePDFCrypt::PadPassword("abc");
  EXPECT_EQ(std::string(abc.begin(), abc.begin() + 3), "abc");
  EXPECT_TRUE(std::equal(abc.begin() + 3, abc.end(), kPasswordPadding.begin()));
  const std::string long_password(40, 'x');
  const TgtPDFKey32 cut = TgtBasePDFCrypt::PadPassword(long_password);
  EXPECT_EQ(std::string(cut.begin(), cut.end()), std::string(32, 'x'));
}

TEST(PermissionValueTest, ReservedBitsAndGrantedPermissions) {
  const struct {
    TgtPDFEncryptionLevel level;
    TgtUserPermissions permissions;
    int32_t p;
  } cases[] = {
      {el40bit, TgtUserPermissions::All(), -4},
      {el40bit, TgtUserPermissions::None(), -64},
      {el40bit, Perms({AllowPrint}), -60},
      {el128bit, TgtUserPermissions::All(), -4},
      {el128bit, TgtUserPermissions::None(), -3904},
      // High-resolution printing needs printing.
      {el128bit, Perms({AllowHighResPrint}), -3904},
      {el128bit, Perms({AllowHighResPrint, AllowPrint}), -3904 + 4 + 2048},
      {el128bit, Perms({AllowFormFill, AllowDocAssembly}), -3904 + 256 + 1024},
  };
  for (const auto& c : cases) {
    TgtPDFEncryption encryption("Output1.pdf", "", Settings(c.level, "u", "o", c.permissions));
    EXPECT_EQ(encryption.PermissionValue(), c.p)
        << "level " << int(c.level) << " set " << int(c.permissions.Bits());
  }
}

TEST(PermissionsFromPTest, BasicBitsAlwaysHighBitsOnlyAt128) {
  EXPECT_EQ(PermissionsFromP(-4, el128bit), TgtUserPermissions::All());
  EXPECT_EQ(PermissionsFromP(-4, el40bit), kBasic);
  EXPECT_EQ(PermissionsFromP(-3904, el128bit), TgtUserPermissions::None());
  EXPECT_EQ(PermissionsFromP(4294963392LL, el128bit), TgtUserPermissions::None());
  EXPECT_EQ(PermissionsFromP(-3904 + 4 + 512, el128bit), Perms({AllowPrint, AllowAccessibility}));
}

TEST(EncryptionTest, DictionaryEntriesAndFileId) {
  for (const auto level : {el40bit, el128bit}) {
    TgtPDFEncryption encryption("Output1.pdf", "", Settings(level, "u", "o"));
    const auto dict = encryption.BuildEncryptDictionary();
    ASSERT_EQ(dict->Count(), 7);
    const char* keys[] = {"/Filter", "/O", "/U", "/P", "/V", "/R", "/Length"};
    for (int i = 0; i < 7; ++i) EXPECT_EQ(dict->KeyAt(i)->Text(), keys[i]);
    EXPECT_EQ(dict->Lookup("/Filter")->AsName().Text(), "/Standard");
    const std::regex hex64("<[0-9A-F]{64}>");
    EXPECT_TRUE(std::regex_match(dict->Lookup("/O")->AsString().Text(), hex64));
    EXPECT_TRUE(dict->Lookup("/U")->AsString().IsHex());
    EXPECT_EQ(dict->Lookup("/P")->AsInteger().Value(), -4);
    EXPECT_EQ(dict->Lookup("/V")->AsInteger().Value(), level == el40bit ? 1 : 2);
    EXPECT_EQ(dict->Lookup("/R")->AsInteger().Value(), level == el40bit ? 2 : 3);
    EXPECT_EQ(dict->Lookup("/Length")->AsInteger().Value(), level == el40bit ? 40 : 128);
  }
  // Without a creation date the identifier is the MD5 of "Output1.pdf" alone.
  TgtPDFEncryption encryption("Output1.pdf", "", Settings(el40bit, "", ""));
  const TMD5Digest md5 = TMD5::Digest("Output1.pdf");
  EXPECT_EQ(encryption.GetFileID(), std::string(md5.begin(), md5.end()));
  const auto id = encryption.BuildFileIDArray();
  ASSERT_EQ(id->Count(), 2);
  EXPECT_EQ(id->ItemAt(0)->AsString().Text(), HexStringText(encryption.GetFileID()));
  EXPECT_EQ(id->ItemAt(1)->AsString().Text(), id->ItemAt(0)->AsString().Text());
  EXPECT_EQ(HexStringText("\x01\xAB"), "<01AB>");
}

TEST(EncryptionTest, LockedSettingsStillEncryptWithTheStoredOwnerPassword) {
  TgtPDFEncryption open("Output1.pdf", "D:2020", Settings(el128bit, "user", "secret"));
  auto decrypt = DecryptorFor(open);
  TgtPDFEncryptionSettings settings;
  ASSERT_TRUE(decrypt->Authenticate(settings, "user"));
  ASSERT_FALSE(settings.CanChange());
  EXPECT_EQ(settings.OwnerPassword(), "");
  EXPECT_EQ(settings.StoredOwnerPassword(), "made-up owner");
  TgtPDFEncryption again("Output1.pdf", "", settings);
  EXPECT_EQ(again.OwnerPassword(), "made-up owner");
  EXPECT_TRUE(DecryptorFor(again)->CheckOwnerPassword("made-up owner"));
}

// Keys made for given passwords are accepted by the reading side: as
// owner, as user, and not for a wrong password.
TEST(RoundTripTest, OwnerAndUserPasswordsAtBothLevels) {
  const struct {
    TgtPDFEncryptionLevel level;
    const char* user;
    const char* owner;
  } cases[] = {
      {el40bit, "user", "owner"},
      {el128bit, "user", "owner"},
      {el40bit, "", "owner"},
      {el128bit, "", "owner"},
      {el128bit, "a much longer user password of 40 bytes", "\xE9t\xE9"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(std::string(c.user) + " / " + c.owner + (c.level == el40bit ? " 40" : " 128"));
    TgtPDFEncryption encryption(
        "Output1.pdf", "D:20240102030405",
        Settings(c.level, c.user, c.owner, Perms({AllowPrint, AllowFormFill})));
    const std::string plain = "BT (Hello) Tj ET";
    const std::string cipher = encryption.EncryptObjectData(plain, 7, 0);
    EXPECT_NE(cipher, plain);

    auto as_owner = DecryptorFor(encryption);
    TgtPDFEncryptionSettings owner_settings;
    ASSERT_TRUE(as_owner->Authenticate(owner_settings, c.owner));
    EXPECT_TRUE(as_owner->IsOwner());
    EXPECT_TRUE(owner_settings.CanChange());
    EXPECT_EQ(owner_settings.OwnerPassword(), c.owner);
    EXPECT_EQ(owner_settings.UserPassword(), std::string(c.user).substr(0, 32));
    EXPECT_EQ(owner_settings.UserPermissions(), TgtUserPermissions::All());
    EXPECT_EQ(owner_settings.Level(), c.level);
    EXPECT_EQ(as_owner->DecryptString(cipher, 7, 0), plain);
    EXPECT_EQ(as_owner->FileKey().substr(0, encryption.KeyLength()), encryption.EncryptionKey());

    auto as_user = DecryptorFor(encryption);
    TgtPDFEncryptionSettings user_settings;
    ASSERT_TRUE(as_user->Authenticate(user_settings, c.user));
    EXPECT_FALSE(as_user->IsOwner());
    EXPECT_FALSE(user_settings.CanChange());
    EXPECT_EQ(user_settings.OwnerPassword(), "");
    EXPECT_EQ(user_settings.UserPassword(), c.user);
    const TgtUserPermissions expected = c.level == el128bit
                                            ? Perms({AllowPrint, AllowFormFill})
                                            : Perms({AllowPrint, AllowFormFill, AllowAccessibility,
                                                     AllowDocAssembly, AllowHighResPrint});
    EXPECT_EQ(user_settings.UserPermissions(), expected);
    TMemoryStream stream(cipher);
    as_user->DecryptStream(stream, 7, 0);
    EXPECT_EQ(std::string(stream.Memory(), plain.size()), plain);

    auto wrong = DecryptorFor(encryption);
    TgtPDFEncryptionSettings untouched;
    EXPECT_FALSE(wrong->Authenticate(untouched, "wrong"));
    EXPECT_FALSE(wrong->IsOwner());
    EXPECT_FALSE(untouched.Enabled());
    EXPECT_TRUE(untouched.CanChange());
  }
}

TEST(RoundTripTest, EmptyOwnerPasswordTakesTheUserPassword) {
  for (const char* user : {"", "shared"}) {
    TgtPDFEncryption encryption("Output1.pdf", "", Settings(el128bit, user, ""));
    auto decrypt = DecryptorFor(encryption);
    TgtPDFEncryptionSettings settings;
    ASSERT_TRUE(decrypt->Authenticate(settings, user));
    EXPECT_TRUE(decrypt->IsOwner()) << '"' << user << '"';
  }
}

TEST(RoundTripTest, LockedSettingsRefuseEveryChange) {
  TgtPDFEncryption encryption("Output1.pdf", "", Settings(el128bit, "", "owner"));
  auto decrypt = DecryptorFor(encryption);
  TgtPDFEncryptionSettings settings;
  ASSERT_TRUE(decrypt->Authenticate(settings, ""));
  const std::function<void()> changes[] = {
      [&] { settings.SetEnabled(false); },
      [&] { settings.SetLevel(el40bit); },
      [&] { settings.SetOwnerPassword("x"); },
      [&] { settings.SetUserPassword("x"); },
      [&] { settings.SetUserPermissions(TgtUserPermissions::None()); },
  };
  for (const auto& change : changes) {
    try {
      change();
      ADD_FAILURE() << "a locked setting changed";
    } catch (const Exception& e) {
      EXPECT_STREQ(e.what(), "User cannot change encryption settings");
    }
  }
  settings.Reset();
  EXPECT_TRUE(settings.CanChange());
  EXPECT_FALSE(settings.Enabled());
  EXPECT_EQ(settings.Level(), el40bit);
}

TEST(PerObjectKeyTest, NumberAndGenerationPickTheKey) {
  TgtPDFEncryption encryption("Output1.pdf", "", Settings(el40bit, "", ""));
  const std::string plain = "abc";
  EXPECT_NE(encryption.EncryptObjectData(plain, 12, 0), encryption.EncryptObjectData(plain, 12, 1));
  EXPECT_NE(encryption.EncryptObjectData(plain, 12, 0), encryption.EncryptObjectData(plain, 13, 0));
  // Both bytes of the generation count, all three of the number.
  EXPECT_NE(encryption.EncryptObjectData(plain, 12, 0),
            encryption.EncryptObjectData(plain, 12, 256));
  EXPECT_NE(encryption.EncryptObjectData(plain, 12, 0),
            encryption.EncryptObjectData(plain, 12 + 65536, 0));
  // Only the three low bytes of the number count.
  EXPECT_EQ(encryption.EncryptObjectData(plain, 12, 0),
            encryption.EncryptObjectData(plain, 12 + 16777216, 0));
  EXPECT_EQ(encryption.EncryptObjectData("", 5, 0), "");
}

TEST(DecryptTest, UnsignedAndSignedPGiveTheSameKeyBytes) {
  TgtPDFDecrypt a;
  TgtPDFDecrypt b;
  a.SetPermissionValue(4294963392LL);
  b.SetPermissionValue(-3904);
  EXPECT_EQ(a.PermissionBytes(), b.PermissionBytes());
  EXPECT_EQ(a.PermissionBytes(), (std::array<uint8_t, 4>{0xC0, 0xF0, 0xFF, 0xFF}));
  // A positive value keeps its own high bytes.
  a.SetPermissionValue(0x7FFFF0C4);
  EXPECT_EQ(a.PermissionBytes(), (std::array<uint8_t, 4>{0xC4, 0xF0, 0xFF, 0x7F}));
}

TEST(DecryptTest, ShortKeysAreFilledWithZeros) {
  TgtPDFDecrypt decrypt;
  decrypt.SetOwnerKey("abc");
  const std::string key = decrypt.GetOwnerKey();
  EXPECT_EQ(key.size(), 32u);
  EXPECT_EQ(key.substr(0, 3), "abc");
  EXPECT_EQ(key.substr(3), std::string(29, '\0'));
  decrypt.SetUserKey(std::string(48, 'u'));
  EXPECT_EQ(decrypt.GetUserKey(), std::string(32, 'u'));
}

TEST(OwnerPasswordTest, WordDateAndRandomNumber) {
  const char* old_tz = std::getenv("TZ");
  const std::string saved = old_tz ? old_tz : "";
  setenv("TZ", "UTC", 1);
  tzset();
  // 2021-03-04 05:06:07 UTC.
  EXPECT_EQ(MakeOwnerPassword(1614834367, 42), "Pagemint2021030405060742");
  EXPECT_EQ(MakeOwnerPassword(1614834367, 2147483647U), "Pagemint202103040506070");
  if (old_tz)
    setenv("TZ", saved.c_str(), 1);
  else
    unsetenv("TZ");
  tzset();
  TgtPDFDecrypt decrypt;  // the default maker: the system clock and random source
  TgtPDFEncryption encryption("Output1.pdf", "", Settings(el40bit, "", "o"));
  auto file = DecryptorFor(encryption);
  file->SetOwnerPasswordMaker(nullptr);
  TgtPDFEncryptionSettings settings;
  ASSERT_TRUE(file->Authenticate(settings, ""));
  EXPECT_EQ(settings.StoredOwnerPassword(), "");
  auto system = MakeDecryptor(*encryption.BuildEncryptDictionary(), encryption.GetFileID());
  TgtPDFEncryptionSettings system_settings;
  ASSERT_TRUE(system->Authenticate(system_settings, ""));
  EXPECT_TRUE(
      std::regex_match(system_settings.StoredOwnerPassword(), std::regex("Pagemint[0-9]{15,24}")));
}

// --- Reading the encryption dictionary --------------------------------------

std::unique_ptr<TgtPDFDictObject> ValidDictionary() {
  TgtPDFEncryption encryption("Output1.pdf", "", Settings(el128bit, "u", "o"));
  return encryption.BuildEncryptDictionary();
}

const std::string kId(16, '\x11');

template <typename E>
void ExpectFailure(const TgtPDFDictObject& dict, const std::optional<std::string>& id,
                   const std::string& message) {
  try {
    MakeDecryptor(dict, id);
    ADD_FAILURE() << "accepted; expected \"" << message << '"';
  } catch (const Exception& e) {
    EXPECT_EQ(e.Message(), message);
    EXPECT_NE(dynamic_cast<const E*>(&e), nullptr) << "wrong exception type: " << e.what();
  }
}

TEST(DictionaryTest, MissingOrIllTypedEntries) {
  const struct {
    const char* key;
    TgtPDFObjectPtr (*value)();  // nullptr: the entry is removed
    const char* message;
  } cases[] = {
      {"/O", nullptr, "Invalid Owner Key."},
      {"/O", []() -> TgtPDFObjectPtr { return std::make_unique<TgtPDFIntegerObject>(1); },
       "Invalid Owner Key."},
      {"/U", nullptr, "Invalid User Key."},
      {"/U", []() -> TgtPDFObjectPtr { return std::make_unique<TgtPDFNameObject>("/U"); },
       "Invalid User Key."},
      {"/R", nullptr, "Invalid encryption dictionary: /R is missing or not an integer"},
      {"/R", []() -> TgtPDFObjectPtr { return std::make_unique<TgtPDFRealObject>(3.0); },
       "Invalid encryption dictionary: /R is missing or not an integer"},
      {"/V", nullptr, "Invalid encryption dictionary: /V is missing or not an integer"},
      {"/V", []() -> TgtPDFObjectPtr { return std::make_unique<TgtPDFNullObject>(); },
       "Invalid encryption dictionary: /V is missing or not an integer"},
      {"/Length", []() -> TgtPDFObjectPtr { return std::make_unique<TgtPDFStringObject>("(128)"); },
       "Invalid encryption dictionary: /Length is not an integer"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.key);
    auto dict = ValidDictionary();
    if (c.value) {
      dict->SetValue(c.key, c.value());
    } else {
      dict->Remove(c.key);
    }
    ExpectFailure<Exception>(*dict, kId, c.message);
  }
  for (const bool remove : {true, false}) {
    auto dict = ValidDictionary();
    if (remove) {
      dict->Remove("/P");
    } else {
      dict->SetValue("/P", std::make_unique<TgtPDFRealObject>(-4.0));
    }
    ExpectFailure<EInvalidPermission>(*dict, kId, "Invalid permission in encryption dictionary");
  }
}

TEST(DictionaryTest, UnsupportedHandlersAreNamed) {
  auto with = [](std::function<void(TgtPDFDictObject&)> change) {
    auto dict = ValidDictionary();
    change(*dict);
    return dict;
  };
  auto filters = [](const char* method) {
    auto std_cf = std::make_unique<TgtPDFDictObject>();
    std_cf->AddValue("/CFM", std::make_unique<TgtPDFNameObject>(method));
    auto cf = std::make_unique<TgtPDFDictObject>();
    cf->AddValue("/StdCF", std::move(std_cf));
    return cf;
  };
  const struct {
    std::unique_ptr<TgtPDFDictObject> dict;
    const char* message;
  } cases[] = {
      {with([&](TgtPDFDictObject& d) {
         d.SetInteger("/V", 4);
         d.SetInteger("/R", 4);
         d.SetValue("/CF", filters("/AESV9"));
       }),
       "Unsupported encryption method (/CFM /AESV9) in crypt filter /StdCF"},
      {with([&](TgtPDFDictObject& d) {
         d.SetInteger("/V", 5);
         d.SetInteger("/R", 6);
         d.SetValue("/CF", filters("/AESV2"));
         d.SetName("/StmF", "/StdCF");
       }),
       "Unsupported encryption: /V 5 crypt filters must use AES-256 (/AESV3)"},
      {with([](TgtPDFDictObject& d) {
         d.SetInteger("/V", 5);
         d.SetInteger("/R", 4);
       }),
       "Unsupported standard security handler revision (/R 4) for /V 5"},
      {with([](TgtPDFDictObject& d) { d.SetInteger("/V", 3); }),
       "Unsupported encryption algorithm (/V 3): only /V 1, 2, 4 and 5 can be read"},
      {with([](TgtPDFDictObject& d) { d.SetInteger("/R", 4); }),
       "Unsupported standard security handler revision (/R 4) for /V 2"},
      {with([](TgtPDFDictObject& d) { d.SetInteger("/Length", 64); }),
       "Unsupported encryption key length (/Length 64): only 40 and 128 bits can be read"},
      {with([](TgtPDFDictObject& d) { d.SetName("/Filter", "/Adobe.PubSec"); }),
       "Unsupported security handler (/Adobe.PubSec): only the standard security handler can be "
       "read"},
  };
  for (const auto& c : cases) ExpectFailure<EUnsupportedEncryption>(*c.dict, kId, c.message);
}

// Real producers write identifiers of other lengths; the keys use the
// bytes as they are (qpdf opens these files).
TEST(DictionaryTest, FileIdOfAnyLength) {
  auto dict = ValidDictionary();
  for (const std::string& id : {std::string(20, 'i'), std::string(), std::string("\x01\x02\x03")}) {
    TgtPDFEncryptionSettings settings;
    settings.SetEnabled(true);
    settings.SetLevel(el128bit);
    settings.SetUserPassword("u");
    TgtPDFEncryption encryption(settings, id);
    auto decrypt = DecryptorFor(encryption);
    EXPECT_EQ(decrypt->GetFileID(), id);
    TgtPDFEncryptionSettings opened;
    EXPECT_TRUE(decrypt->Authenticate(opened, "u")) << id.size();
  }
  EXPECT_EQ(MakeDecryptor(*dict, std::nullopt)->GetFileID(), "");
}

TEST(DictionaryTest, LevelAndRevision) {
  const struct {
    int v;
    int r;
    int length;  // 0: absent
    TgtPDFEncryptionLevel level;
  } cases[] = {
      {2, 3, 0, el40bit},  // an absent /Length means 40 bits
      {1, 2, 0, el40bit},   {2, 3, 128, el128bit},
      {1, 3, 40, el40bit},  {1, 2, 128, el40bit},  // /V 1 keys are always 40 bits
      {2, 2, 128, el40bit},                        // and so are revision 2 keys
  };
  for (const auto& c : cases) {
    auto dict = ValidDictionary();
    dict->SetInteger("/V", c.v);
    dict->SetInteger("/R", c.r);
    if (c.length) {
      dict->SetInteger("/Length", c.length);
    } else {
      dict->Remove("/Length");
    }
    dict->SetValue("/P", std::make_unique<TgtPDFInt64Object>(4294967292LL));
    auto decrypt = MakeDecryptor(*dict, kId);
    EXPECT_EQ(decrypt->Level(), c.level) << c.v << ' ' << c.r << ' ' << c.length;
    EXPECT_EQ(decrypt->Revision(), c.r);
    TgtPDFEncryptionSettings settings;
    decrypt->ApplyDictionary(settings);
    EXPECT_TRUE(settings.Enabled());
    EXPECT_EQ(settings.Level(), c.level);
    EXPECT_EQ(settings.UserPermissions(), c.level == el128bit ? TgtUserPermissions::All() : kBasic);
  }
}

TEST(DictionaryTest, FirstFileId) {
  TgtPDFDictObject trailer;
  EXPECT_FALSE(FirstFileID(trailer));
  trailer.SetValue("/ID", std::make_unique<TgtPDFNameObject>("/X"));
  EXPECT_FALSE(FirstFileID(trailer));
  auto array = std::make_unique<TgtPDFArrayObject>();
  trailer.SetValue("/ID", std::move(array));
  EXPECT_FALSE(FirstFileID(trailer));
  array = std::make_unique<TgtPDFArrayObject>();
  array->Add(std::make_unique<TgtPDFStringObject>("<0A 0b>", true));
  array->Add(std::make_unique<TgtPDFStringObject>("(x)"));
  trailer.SetValue("/ID", std::move(array));
  EXPECT_EQ(FirstFileID(trailer), std::optional<std::string>("\x0A\x0B"));
}

}  // namespace
}  // namespace pagemint
