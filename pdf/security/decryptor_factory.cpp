// SPDX-License-Identifier: GPL-3.0-or-later
// Reading the encryption dictionary of the standard security handler:
// /V 1 or 2 (RC4, revision 2 or 3), /V 4 (crypt filters with RC4 or
// AES-128, revision 4) and /V 5 (AES-256, revision 5 or 6). Every entry is
// checked for presence and kind before it is used, since the dictionary
// comes straight from the file.
#include <string>

#include "pdf/security/pdf_decrypt.h"
#include "platform/messages.h"

namespace pagemint {
namespace {

// An integer or 64-bit integer entry; nullopt when missing or another kind.
std::optional<int64_t> IntegerEntry(const TgtPDFDictObject& dict, std::string_view key) {
  const TgtPDFObject* value = dict.Lookup(key);
  if (value == nullptr) return std::nullopt;
  if (value->IsInteger()) return value->AsInteger().Value();
  if (value->IsInt64()) return value->AsInt64().Value();
  return std::nullopt;
}

bool IsName(const TgtPDFObject* object, std::string_view name) {
  return object != nullptr && object->IsName() && object->AsName().Text() == name;
}

void CheckHandler(const TgtPDFDictObject& encrypt) {
  const TgtPDFObject* filter = encrypt.Lookup("/Filter");
  if (filter == nullptr || IsName(filter, "/Standard")) return;
  const std::string shown = filter->IsName() ? filter->AsName().Text() : filter->KindName();
  throw EUnsupportedEncryption(Format(msg::kUnsupportedSecurityHandler, shown.c_str()));
}

int64_t CheckVersion(const TgtPDFDictObject& encrypt) {
  const std::optional<int64_t> v = IntegerEntry(encrypt, "/V");
  if (!v) throw Exception(msg::kInvalidEncryptVersion);
  if (*v != 1 && *v != 2 && *v != 4 && *v != 5)
    throw EUnsupportedEncryption(
        Format(msg::kUnsupportedEncryptVersion, static_cast<long long>(*v)));
  return *v;
}

// Each version has its revisions: RC4 2 or 3, crypt filters 4 (some
// writers say 3), AES-256 5 (the withdrawn extension) or 6.
int CheckRevision(const TgtPDFDictObject& encrypt, int64_t version) {
  const std::optional<int64_t> r = IntegerEntry(encrypt, "/R");
  if (!r) throw Exception(msg::kInvalidEncryptRevision);
  const bool fits = version <= 2   ? (*r == 2 || *r == 3)
                    : version == 4 ? (*r == 3 || *r == 4)
                                   : (*r == 5 || *r == 6);
  if (!fits)
    throw EUnsupportedEncryption(Format(msg::kUnsupportedEncryptRevision,
                                        static_cast<long long>(*r),
                                        static_cast<long long>(version)));
  return static_cast<int>(*r);
}

// Revision 2 and /V 1 always use 40-bit keys; otherwise /Length decides,
// 40 bits when it is absent (128 for crypt filters). AES keys are 128 or
// 256 bits whatever /Length says.
TgtPDFEncryptionLevel ReadLevel(const TgtPDFDictObject& encrypt, int64_t version, int revision,
                                const TgtCryptFilters& filters) {
  int64_t bits = version >= 4 ? 128 : 40;
  if (encrypt.Lookup("/Length") != nullptr) {
    const std::optional<int64_t> length = IntegerEntry(encrypt, "/Length");
    if (!length) throw Exception(msg::kInvalidEncryptLength);
    bits = *length;
  }
  if (version == 5 || filters.Uses(TgtCryptMethod::AesV2)) return el128bit;
  if (version == 1 || revision == 2) return el40bit;
  if (bits == 40) return el40bit;
  if (bits == 128) return el128bit;
  throw EUnsupportedEncryption(Format(msg::kUnsupportedKeyLength, static_cast<long long>(bits)));
}

std::string KeyBytes(const TgtPDFDictObject& encrypt, std::string_view key, const char* message,
                     size_t minimum = 0) {
  const TgtPDFObject* value = encrypt.Lookup(key);
  if (value == nullptr || !value->IsString()) throw Exception(message);
  std::string bytes = value->AsString().Bytes();
  if (bytes.size() < minimum) throw Exception(message);
  return bytes;
}

// /Perms is only checked: a missing or short one is left out.
std::string OptionalBytes(const TgtPDFDictObject& encrypt, std::string_view key) {
  const TgtPDFObject* value = encrypt.Lookup(key);
  return value != nullptr && value->IsString() ? value->AsString().Bytes() : std::string();
}

}  // namespace

std::unique_ptr<TgtPDFDecrypt> MakeDecryptor(const TgtPDFDictObject& encrypt,
                                             const std::optional<std::string>& file_id) {
  CheckHandler(encrypt);
  const int64_t version = CheckVersion(encrypt);
  const int revision = CheckRevision(encrypt, version);
  TgtCryptFilters filters = ReadCryptFilters(encrypt, version);
  // AES-256 uses the file key as it is, the others derive object keys from
  // a 16-byte one: the two do not mix.
  if (version == 5 && (filters.Uses(TgtCryptMethod::Rc4) || filters.Uses(TgtCryptMethod::AesV2)))
    throw EUnsupportedEncryption(msg::kUnsupportedAes256Filter);
  if (version == 4 && filters.Uses(TgtCryptMethod::AesV3))
    throw EUnsupportedEncryption(Format(msg::kUnsupportedCryptMethod, "/AESV3", "for /V 4"));
  const TgtPDFEncryptionLevel level = ReadLevel(encrypt, version, revision, filters);

  auto decrypt = std::make_unique<TgtPDFDecrypt>();
  if (file_id) decrypt->SetFileID(*file_id);
  const size_t minimum = version == 5 ? 48 : 0;
  decrypt->SetOwnerKey(KeyBytes(encrypt, "/O", msg::kInvalidOwnerKey, minimum));
  decrypt->SetUserKey(KeyBytes(encrypt, "/U", msg::kInvalidUserKey, minimum));
  if (version == 5) {
    decrypt->SetAes256Keys(KeyBytes(encrypt, "/OE", msg::kInvalidOwnerEncryptedKey, 32),
                           KeyBytes(encrypt, "/UE", msg::kInvalidUserEncryptedKey, 32),
                           OptionalBytes(encrypt, "/Perms"));
  }
  const std::optional<int64_t> p = IntegerEntry(encrypt, "/P");
  if (!p) throw EInvalidPermission(msg::kInvalidPermission);
  decrypt->SetPermissionValue(*p);
  decrypt->SetLevel(level);
  decrypt->SetRevision(revision);
  decrypt->SetVersion(version);
  decrypt->SetCryptFilters(std::move(filters));
  decrypt->SetLengthGuessed(version == 2 && revision == 3 && encrypt.Lookup("/Length") == nullptr);
  decrypt->SetSourceDictionary(std::shared_ptr<const TgtPDFDictObject>(
      static_cast<TgtPDFDictObject*>(encrypt.Clone().release())));
  return decrypt;
}

std::optional<std::string> FirstFileID(const TgtPDFDictObject& trailer) {
  const TgtPDFObject* id = trailer.Lookup("/ID");
  if (id == nullptr || !id->IsArray()) return std::nullopt;
  const TgtPDFObject* first = id->AsArray().ItemAt(0);
  if (first == nullptr || !first->IsString()) return std::nullopt;
  return first->AsString().Bytes();
}

}  // namespace pagemint
