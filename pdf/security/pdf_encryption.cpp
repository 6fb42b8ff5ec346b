// SPDX-License-Identifier: GPL-3.0-or-later
#include "pdf/security/pdf_encryption.h"

#include <openssl/rand.h>

#include <algorithm>

#include "pdf/security/aes_cipher.h"
#include "pdf/security/md5.h"
#include "pdf/security/rc4.h"
#include "platform/exception.h"
#include "platform/messages.h"

namespace pagemint {
namespace {

// All reserved /P bits set: bits 7 and up (40-bit), or bits 7, 8 and 13
// and up (128-bit, where bits 9 to 12 carry permissions).
constexpr int32_t kReservedP40 = -64;
constexpr int32_t kReservedP128 = -3904;

// A fresh initialisation vector for each AES string and stream.
std::string RandomIv() {
  std::string iv(kAesBlockSize, '\0');
  if (RAND_bytes(reinterpret_cast<unsigned char*>(iv.data()), static_cast<int>(iv.size())) != 1)
    throw Exception(Format(msg::kCryptoFailure, "random"));
  return iv;
}

}  // namespace

std::string HexStringText(std::string_view bytes) {
  static constexpr char kDigits[] = "0123456789ABCDEF";
  std::string text;
  text.reserve(bytes.size() * 2 + 2);
  text.push_back('<');
  for (const char c : bytes) {
    const auto b = static_cast<uint8_t>(c);
    text.push_back(kDigits[b >> 4]);
    text.push_back(kDigits[b & 15]);
  }
  text.push_back('>');
  return text;
}

TgtPDFEncryption::TgtPDFEncryption(std::string_view text, std::string_view creation_date,
                                   const TgtPDFEncryptionSettings& settings)
    : owner_password_(settings.StoredOwnerPassword()), user_password_(settings.UserPassword()) {
  level_ = settings.Level();
  permissions_ = settings.UserPermissions();
  ComputeFileID(text, creation_date);
  ComputeKeys();
}

TgtPDFEncryption::TgtPDFEncryption(const TgtPDFEncryptionSettings& settings, std::string file_id)
    : owner_password_(settings.StoredOwnerPassword()), user_password_(settings.UserPassword()) {
  level_ = settings.Level();
  permissions_ = settings.UserPermissions();
  file_id_ = std::move(file_id);
  ComputeKeys();
}

TgtPDFEncryption::TgtPDFEncryption(const TgtPDFSourceSecurity& source)
    : filters_(source.filters), kept_dictionary_(source.dictionary), kept_cipher_(source.cipher) {
  level_ = source.level;
  key_length_ = source.file_key.size();
  file_id_ = source.file_id;
  std::copy_n(source.file_key.begin(), std::min(source.file_key.size(), key_.size()), key_.begin());
}

void TgtPDFEncryption::ComputeFileID(std::string_view first, std::string_view second) {
  TMD5 md5;
  md5.Update(first);
  md5.Update(second);
  const TMD5Digest digest = md5.Final();
  file_id_.assign(reinterpret_cast<const char*>(digest.data()), digest.size());
}

TgtPDFCipher TgtPDFEncryption::Cipher() const {
  if (kept_dictionary_) return kept_cipher_;
  return level_ == el40bit ? TgtPDFCipher::Rc4_40 : TgtPDFCipher::Rc4_128;
}

int32_t TgtPDFEncryption::PermissionValue() const {
  int32_t p = level_ == el40bit ? kReservedP40 : kReservedP128;
  for (const TgtUserPermissionsType basic : {AllowPrint, AllowModify, AllowCopy, AllowAnnotation}) {
    if (permissions_.Has(basic)) p += kPermissionPBits[basic];
  }
  if (level_ != el128bit) return p;
  for (const TgtUserPermissionsType high : {AllowFormFill, AllowAccessibility, AllowDocAssembly}) {
    if (permissions_.Has(high)) p += kPermissionPBits[high];
  }
  // High-resolution printing means nothing without printing.
  if (permissions_.Has(AllowHighResPrint) && permissions_.Has(AllowPrint)) {
    p += kPermissionPBits[AllowHighResPrint];
  }
  return p;
}

void TgtPDFEncryption::ComputeKeys() {
  const size_t n = KeyLength();
  const bool strong = level_ == el128bit;
  padded_owner_ = PadPassword(owner_password_.empty() ? user_password_ : owner_password_);
  padded_user_ = PadPassword(user_password_);

  // /O: the padded user password under a key from the owner password.
  std::array<uint8_t, 16> owner_rc4 = TMD5::Digest(padded_owner_.data(), padded_owner_.size());
  if (strong) owner_rc4 = Strengthen(owner_rc4, n);
  owner_key_ = padded_user_;
  if (strong) {
    Rc4Passes(owner_rc4.data(), n, owner_key_.data(), owner_key_.size(), /*decrypting=*/false);
  } else {
    TRC4::Crypt(owner_rc4.data(), n, owner_key_.data(), owner_key_.size());
  }

  // The file key from the user password, /O, /P and the identifier.
  const auto p = static_cast<uint32_t>(PermissionValue());
  const uint8_t p_bytes[4] = {static_cast<uint8_t>(p), static_cast<uint8_t>(p >> 8),
                              static_cast<uint8_t>(p >> 16), static_cast<uint8_t>(p >> 24)};
  TMD5 md5;
  md5.Update(padded_user_.data(), padded_user_.size());
  md5.Update(owner_key_.data(), owner_key_.size());
  md5.Update(p_bytes, sizeof p_bytes);
  md5.Update(file_id_);
  std::array<uint8_t, 16> key = md5.Final();
  if (strong) key = Strengthen(key, n);
  key_.fill(0);
  std::copy_n(key.begin(), n, key_.begin());

  // /U: what a reader decrypts to check the user password.
  if (strong) {
    md5.Update(kPasswordPadding.data(), kPasswordPadding.size());
    md5.Update(file_id_);
    const TMD5Digest check = md5.Final();
    user_key_.fill(0);
    std::copy(check.begin(), check.end(), user_key_.begin());
    Rc4Passes(key_.data(), n, user_key_.data(), check.size(), /*decrypting=*/false);
  } else {
    user_key_ = kPasswordPadding;
    TRC4::Crypt(key_.data(), n, user_key_.data(), user_key_.size());
  }
}

void TgtPDFEncryption::Encrypt(TgtCryptMethod method, std::string& out, size_t start,
                               int32_t number, int32_t generation) const {
  if (method == TgtCryptMethod::None || out.size() <= start) return;
  const std::string key = ObjectKey(method, key_.data(), KeyLength(), number, generation);
  if (method == TgtCryptMethod::Rc4) {
    TRC4::Crypt(reinterpret_cast<const uint8_t*>(key.data()), key.size(),
                reinterpret_cast<uint8_t*>(out.data()) + start, out.size() - start);
    return;
  }
  AesEncryptTail(key, RandomIv(), out, start);
}

std::string TgtPDFEncryption::EncryptObjectData(std::string_view data, int32_t number,
                                                int32_t generation) const {
  std::string result(data);
  EncryptInPlace(result, number, generation);
  return result;
}

void TgtPDFEncryption::EncryptInPlace(std::string& data, int32_t number, int32_t generation) const {
  Encrypt(filters_.strings, data, 0, number, generation);
}

size_t TgtPDFEncryption::EncryptedSize(size_t size, const TgtPDFDictObject* stream) const {
  const TgtCryptMethod method = stream ? filters_.ForStream(stream) : filters_.strings;
  if (size == 0 || method == TgtCryptMethod::None || method == TgtCryptMethod::Rc4) return size;
  return AesEncryptedSize(size);
}

void TgtPDFEncryption::EncryptTail(std::string& out, size_t start, int32_t number,
                                   int32_t generation, const TgtPDFDictObject* stream) const {
  Encrypt(stream ? filters_.ForStream(stream) : filters_.strings, out, start, number, generation);
}

std::unique_ptr<TgtStreamCipher> TgtPDFEncryption::StreamEncryptor(const TgtPDFDictObject* stream,
                                                                   int32_t number,
                                                                   int32_t generation) const {
  const TgtCryptMethod method = filters_.ForStream(stream);
  if (method == TgtCryptMethod::None) return nullptr;
  const std::string key = ObjectKey(method, key_.data(), KeyLength(), number, generation);
  if (method == TgtCryptMethod::Rc4) return MakeRc4StreamCipher(key);
  return MakeAesStreamCipher(key, true, RandomIv());
}

std::string TgtPDFEncryption::EncryptionKey() const {
  return std::string(reinterpret_cast<const char*>(key_.data()), KeyLength());
}

std::unique_ptr<TgtPDFDictObject> TgtPDFEncryption::BuildEncryptDictionary() const {
  if (kept_dictionary_)
    return std::unique_ptr<TgtPDFDictObject>(
        static_cast<TgtPDFDictObject*>(kept_dictionary_->Clone().release()));
  const bool strong = level_ == el128bit;
  auto dict = std::make_unique<TgtPDFDictObject>();
  dict->AddValue("/Filter", std::make_unique<TgtPDFNameObject>("/Standard"));
  dict->AddValue("/O", std::make_unique<TgtPDFStringObject>(HexStringText(GetOwnerKey()), true));
  dict->AddValue("/U", std::make_unique<TgtPDFStringObject>(HexStringText(GetUserKey()), true));
  dict->AddInteger("/P", PermissionValue());
  dict->AddInteger("/V", strong ? 2 : 1);
  dict->AddInteger("/R", strong ? 3 : 2);
  dict->AddInteger("/Length", strong ? 128 : 40);
  return dict;
}

std::unique_ptr<TgtPDFArrayObject> TgtPDFEncryption::BuildFileIDArray(
    std::string_view second) const {
  auto array = std::make_unique<TgtPDFArrayObject>();
  array->Add(std::make_unique<TgtPDFStringObject>(HexStringText(file_id_), true));
  array->Add(std::make_unique<TgtPDFStringObject>(HexStringText(second.empty() ? file_id_ : second),
                                                  true));
  return array;
}

}  // namespace pagemint
