// Reading the encryption dictionary of the standard security handler.
// Only RC4 is supported: /V 1 (40-bit) or /V 2 (40- or 128-bit) with
// revision 2 or 3. Every entry is checked for presence and kind before it
// is used, since the dictionary comes straight from the file.
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

// /V 4 names its crypt filters in /CF; any of them with /AESV2 or /AESV3
// as its method makes the file an AES file.
bool UsesAes(const TgtPDFDictObject& encrypt) {
  const TgtPDFObject* filters = encrypt.Lookup("/CF");
  if (filters == nullptr || !filters->IsDictionary()) return false;
  const TgtPDFDictObject& dict = filters->AsDictionary();
  for (int32_t i = 0; i < dict.Count(); ++i) {
    const TgtPDFObject* filter = dict.ValueAt(i);
    if (filter == nullptr || !filter->IsDictionary()) continue;
    const TgtPDFObject* method = filter->AsDictionary().Lookup("/CFM");
    if (IsName(method, "/AESV2") || IsName(method, "/AESV3")) return true;
  }
  return false;
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
  const auto shown = static_cast<long long>(*v);
  if (*v == 5 || (*v == 4 && UsesAes(encrypt))) {
    throw EUnsupportedEncryption(Format(msg::kUnsupportedAes, shown));
  }
  if (*v == 4) throw EUnsupportedEncryption(msg::kUnsupportedCryptFilters);
  if (*v != 1 && *v != 2)
    throw EUnsupportedEncryption(Format(msg::kUnsupportedEncryptVersion, shown));
  return *v;
}

int CheckRevision(const TgtPDFDictObject& encrypt) {
  const std::optional<int64_t> r = IntegerEntry(encrypt, "/R");
  if (!r) throw Exception(msg::kInvalidEncryptRevision);
  if (*r != 2 && *r != 3) {
    throw EUnsupportedEncryption(
        Format(msg::kUnsupportedEncryptRevision, static_cast<long long>(*r)));
  }
  return static_cast<int>(*r);
}

// Revision 2 and /V 1 always use 40-bit keys; otherwise /Length decides,
// 40 bits when it is absent.
TgtPDFEncryptionLevel ReadLevel(const TgtPDFDictObject& encrypt, int64_t version, int revision) {
  int64_t bits = 40;
  if (encrypt.Lookup("/Length") != nullptr) {
    const std::optional<int64_t> length = IntegerEntry(encrypt, "/Length");
    if (!length) throw Exception(msg::kInvalidEncryptLength);
    bits = *length;
  }
  if (version == 1 || revision == 2) return el40bit;
  if (bits == 40) return el40bit;
  if (bits == 128) return el128bit;
  throw EUnsupportedEncryption(Format(msg::kUnsupportedKeyLength, static_cast<long long>(bits)));
}

std::string KeyBytes(const TgtPDFDictObject& encrypt, std::string_view key, const char* message) {
  const TgtPDFObject* value = encrypt.Lookup(key);
  if (value == nullptr || !value->IsString()) throw Exception(message);
  return value->AsString().Bytes();
}

}  // namespace

std::unique_ptr<TgtPDFDecrypt> MakeDecryptor(const TgtPDFDictObject& encrypt,
                                             const std::optional<std::string>& file_id) {
  CheckHandler(encrypt);
  const int64_t version = CheckVersion(encrypt);
  const int revision = CheckRevision(encrypt);
  const TgtPDFEncryptionLevel level = ReadLevel(encrypt, version, revision);

  auto decrypt = std::make_unique<TgtPDFDecrypt>();
  if (file_id) decrypt->SetFileID(*file_id);
  decrypt->SetOwnerKey(KeyBytes(encrypt, "/O", msg::kInvalidOwnerKey));
  decrypt->SetUserKey(KeyBytes(encrypt, "/U", msg::kInvalidUserKey));
  const std::optional<int64_t> p = IntegerEntry(encrypt, "/P");
  if (!p) throw EInvalidPermission(msg::kInvalidPermission);
  decrypt->SetPermissionValue(*p);
  decrypt->SetLevel(level);
  decrypt->SetRevision(revision);
  decrypt->SetLengthGuessed(version == 2 && revision == 3 && encrypt.Lookup("/Length") == nullptr);
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
