// SPDX-License-Identifier: GPL-3.0-or-later
#include "pdf/security/crypt_filters.h"

#include "pdf/security/security_types.h"
#include "platform/messages.h"

namespace pagemint {
namespace {

constexpr std::string_view kIdentity = "/Identity";

bool IsNamed(const TgtPDFObject* object, std::string_view name) {
  return object && object->IsName() && object->AsName().Text() == name;
}

TgtCryptMethod MethodOf(const TgtPDFObject* filter, const std::string& name) {
  const TgtPDFObject* method =
      filter && filter->IsDictionary() ? filter->AsDictionary().Lookup("/CFM") : nullptr;
  if (!method || IsNamed(method, "/None")) return TgtCryptMethod::None;
  if (IsNamed(method, "/V2")) return TgtCryptMethod::Rc4;
  if (IsNamed(method, "/AESV2")) return TgtCryptMethod::AesV2;
  if (IsNamed(method, "/AESV3")) return TgtCryptMethod::AesV3;
  const std::string shown = method->IsName() ? method->AsName().Text() : method->KindName();
  throw EUnsupportedEncryption(Format(msg::kUnsupportedCryptMethod, shown.c_str(), name.c_str()));
}

// The filter a default entry names; absent means /Identity.
TgtCryptMethod DefaultMethod(const TgtCryptFilters& filters, const TgtPDFDictObject& encrypt,
                             std::string_view key, TgtCryptMethod absent) {
  const TgtPDFObject* value = encrypt.Lookup(key);
  if (!value) return absent;
  if (!value->IsName())
    throw Exception(Format(msg::kInvalidCryptFilterEntry, std::string(key).c_str()));
  const std::string& name = value->AsName().Text();
  if (name == kIdentity) return TgtCryptMethod::None;
  for (const auto& [known, method] : filters.named)
    if (known == name) return method;
  throw Exception(Format(msg::kUndefinedCryptFilter, name.c_str(), std::string(key).c_str()));
}

// The /Name of the /Crypt filter in a stream's own filter list (which is
// the first filter when present), or nullptr when the list has none.
const std::string* OwnCryptFilter(const TgtPDFDictObject& stream, bool& has_crypt) {
  static const std::string kIdentityName(kIdentity);
  has_crypt = false;
  const TgtPDFObject* filter = stream.Lookup("/Filter");
  const TgtPDFObject* parms = stream.Lookup("/DecodeParms");
  if (!filter) return nullptr;
  if (filter->IsArray()) {
    const TgtPDFArrayObject& list = filter->AsArray();
    for (int32_t i = 0; i < list.Count(); ++i) {
      if (!IsNamed(list.ItemAt(i), "/Crypt")) continue;
      has_crypt = true;
      parms = parms && parms->IsArray() ? parms->AsArray().ItemAt(i) : nullptr;
      break;
    }
  } else {
    has_crypt = IsNamed(filter, "/Crypt");
  }
  if (!has_crypt) return nullptr;
  const TgtPDFObject* name =
      parms && parms->IsDictionary() ? parms->AsDictionary().Lookup("/Name") : nullptr;
  return name && name->IsName() ? &name->AsName().Text() : &kIdentityName;
}

}  // namespace

TgtCryptMethod TgtCryptFilters::Named(std::string_view name, TgtCryptMethod fallback) const {
  if (name == kIdentity) return TgtCryptMethod::None;
  for (const auto& [known, method] : named)
    if (known == name) return method;
  return fallback;
}

TgtCryptMethod TgtCryptFilters::ForStream(const TgtPDFDictObject* dictionary) const {
  if (!dictionary) return streams;
  bool has_crypt = false;
  if (const std::string* own = OwnCryptFilter(*dictionary, has_crypt)) return Named(*own, streams);
  const TgtPDFObject* type = dictionary->Lookup("/Type");
  if (IsNamed(type, "/EmbeddedFile")) return embedded_files;
  if (!encrypt_metadata && IsNamed(type, "/Metadata")) return TgtCryptMethod::None;
  return streams;
}

TgtCryptFilters ReadCryptFilters(const TgtPDFDictObject& encrypt, int64_t version) {
  TgtCryptFilters filters;
  if (version < 4) return filters;
  if (const TgtPDFObject* cf = encrypt.Lookup("/CF"); cf && cf->IsDictionary()) {
    const TgtPDFDictObject& dictionary = cf->AsDictionary();
    for (int32_t i = 0; i < dictionary.Count(); ++i) {
      const std::string& name = dictionary.KeyAt(i)->Text();
      if (name == kIdentity) continue;
      filters.named.emplace_back(name, MethodOf(dictionary.ValueAt(i), name));
    }
  }
  filters.streams = DefaultMethod(filters, encrypt, "/StmF", TgtCryptMethod::None);
  filters.strings = DefaultMethod(filters, encrypt, "/StrF", TgtCryptMethod::None);
  filters.embedded_files = DefaultMethod(filters, encrypt, "/EFF", filters.streams);
  if (const TgtPDFObject* metadata = encrypt.Lookup("/EncryptMetadata");
      metadata && metadata->IsBoolean())
    filters.encrypt_metadata = metadata->AsBoolean().Value();
  return filters;
}

}  // namespace pagemint
