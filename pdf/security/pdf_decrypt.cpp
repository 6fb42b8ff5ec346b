// SPDX-License-Identifier: GPL-3.0-or-later
#include "pdf/security/pdf_decrypt.h"

#include <algorithm>
#include <cstring>

#include "pdf/security/aes_cipher.h"
#include "pdf/security/md5.h"
#include "pdf/security/password_hash_r6.h"
#include "pdf/security/rc4.h"
#include "platform/messages.h"
#include "platform/services.h"

namespace pagemint {
namespace {

// Damaged AES data is reported for the first few strings and streams only:
// a file broken throughout would otherwise bury the user in warnings.
constexpr int kMaxCipherWarnings = 8;

// Sizes in the revision 5 and 6 entries: /U and /O are a 32-byte hash, an
// 8-byte validation salt and an 8-byte key salt.
constexpr size_t kHashSize = 32;
constexpr size_t kSaltSize = 8;
constexpr size_t kAes256KeyEntrySize = kHashSize + 2 * kSaltSize;

// A 32-byte key from bytes: the first 32, zeros after a shorter value.
TgtPDFKey32 KeyFromBytes(std::string_view bytes) {
  TgtPDFKey32 key{};
  std::copy_n(reinterpret_cast<const uint8_t*>(bytes.data()), std::min(bytes.size(), key.size()),
              key.begin());
  return key;
}

std::string_view AsView(const TgtPDFKey32& key) {
  return {reinterpret_cast<const char*>(key.data()), key.size()};
}

// The user password recovered from /O ends where the padding string starts.
std::string StripPadding(const TgtPDFKey32& padded) {
  for (size_t i = 0; i + 1 < padded.size(); ++i) {
    if (padded[i] == kPasswordPadding[0] && padded[i + 1] == kPasswordPadding[1]) {
      return std::string(AsView(padded).substr(0, i));
    }
  }
  return std::string(AsView(padded));
}

std::string MakeSystemOwnerPassword() {
  const std::string bytes = MakeSystemRandom()->Bytes(4);
  uint32_t random = 0;
  for (size_t i = 0; i < bytes.size() && i < 4; ++i) {
    random = random << 8 | static_cast<uint8_t>(bytes[i]);
  }
  return MakeOwnerPassword(MakeSystemClock()->Now(), random);
}

bool SameBytes(std::string_view a, std::string_view b) { return a == b; }

}  // namespace

TgtPDFDecrypt::TgtPDFDecrypt() : make_owner_password_(MakeSystemOwnerPassword) {}

void TgtPDFDecrypt::SetFileID(std::string_view bytes) { file_id_ = std::string(bytes); }

void TgtPDFDecrypt::SetOwnerKey(std::string_view bytes) {
  owner_key_ = KeyFromBytes(bytes);
  owner_hash_ = std::string(bytes.substr(0, kAes256KeyEntrySize));
}

void TgtPDFDecrypt::SetUserKey(std::string_view bytes) {
  user_key_ = KeyFromBytes(bytes);
  user_hash_ = std::string(bytes.substr(0, kAes256KeyEntrySize));
}

void TgtPDFDecrypt::SetAes256Keys(std::string_view owner_encrypted, std::string_view user_encrypted,
                                  std::string_view perms) {
  owner_encrypted_ = std::string(owner_encrypted.substr(0, kHashSize));
  user_encrypted_ = std::string(user_encrypted.substr(0, kHashSize));
  perms_ = std::string(perms.substr(0, kAesBlockSize));
  key_length_ = 32;
}

void TgtPDFDecrypt::SetPermissionValue(int64_t value) {
  const auto low = static_cast<uint32_t>(value);
  for (size_t i = 0; i < p_bytes_.size(); ++i) p_bytes_[i] = static_cast<uint8_t>(low >> (8 * i));
}

int64_t TgtPDFDecrypt::PValue() const {
  uint32_t low = 0;
  for (size_t i = p_bytes_.size(); i-- > 0;) low = low << 8 | p_bytes_[i];
  return static_cast<int32_t>(low);
}

int TgtPDFDecrypt::Revision() const {
  if (revision_ != 0) return revision_;
  return level_ == el40bit ? 2 : 3;
}

TgtPDFCipher TgtPDFDecrypt::Cipher() const {
  if (version_ >= 5) return TgtPDFCipher::Aes256;
  if (filters_.Uses(TgtCryptMethod::AesV2)) return TgtPDFCipher::Aes128;
  return level_ == el40bit ? TgtPDFCipher::Rc4_40 : TgtPDFCipher::Rc4_128;
}

std::string TgtPDFDecrypt::FileKey() const {
  return std::string(reinterpret_cast<const char*>(file_key_.data()),
                     std::max<size_t>(16, KeyLength()));
}

void TgtPDFDecrypt::Warn(const std::string& message) const {
  if (!warn_ || warnings_ >= kMaxCipherWarnings) return;
  ++warnings_;
  warn_(message);
}

// ---------------------------------------------------------------------------
// Revisions 2 to 4: MD5 and RC4

std::array<uint8_t, 16> TgtPDFDecrypt::ComputeKey(const TgtPDFKey32& padded) const {
  TMD5 md5;
  md5.Update(padded.data(), padded.size());
  md5.Update(owner_key_.data(), owner_key_.size());
  md5.Update(p_bytes_.data(), p_bytes_.size());
  md5.Update(file_id_);
  // Revision 4 keeps metadata in the clear by saying so in the key too.
  if (Revision() >= 4 && !filters_.encrypt_metadata) md5.Update("\xFF\xFF\xFF\xFF", 4);
  std::array<uint8_t, 16> key = md5.Final();
  const size_t n = std::min<size_t>(KeyLength(), 16);
  if (Revision() >= 3) key = Strengthen(key, n);
  std::fill(key.begin() + static_cast<ptrdiff_t>(n), key.end(), uint8_t{0});
  return key;
}

bool TgtPDFDecrypt::CheckUserPassword(std::string_view password) {
  if (Revision() >= 5) {
    for (const std::string& utf8 : Utf8PasswordCandidates(password))
      if (CheckUserPasswordR6(utf8)) return true;
    return false;
  }
  const std::array<uint8_t, 16> key = ComputeKey(PadPassword(password));
  const size_t n = KeyLength();
  TgtPDFKey32 check = user_key_;
  bool right;
  if (Revision() >= 3) {
    Rc4Passes(key.data(), n, check.data(), check.size(), /*decrypting=*/true);
    TMD5 md5;
    md5.Update(kPasswordPadding.data(), kPasswordPadding.size());
    md5.Update(file_id_);
    const TMD5Digest expected = md5.Final();
    right = std::equal(expected.begin(), expected.end(), check.begin());
  } else {
    TRC4::Crypt(key.data(), n, check.data(), check.size());
    right = check == kPasswordPadding;
  }
  if (right) std::copy(key.begin(), key.end(), file_key_.begin());
  return right;
}

std::array<uint8_t, 16> TgtPDFDecrypt::OwnerRc4Key(std::string_view password) const {
  const TgtPDFKey32 padded = PadPassword(password);
  std::array<uint8_t, 16> key = TMD5::Digest(padded.data(), padded.size());
  if (Revision() >= 3) key = Strengthen(key, KeyLength());
  return key;
}

bool TgtPDFDecrypt::CheckOwnerPassword(std::string_view password, std::string* user_password) {
  if (Revision() >= 5) {
    for (const std::string& utf8 : Utf8PasswordCandidates(password)) {
      if (!CheckOwnerPasswordR6(utf8)) continue;
      if (user_password) user_password->clear();
      user_password_known_ = EmptyUserPasswordR6();
      return true;
    }
    return false;
  }
  const std::array<uint8_t, 16> key = OwnerRc4Key(password);
  const size_t n = KeyLength();
  TgtPDFKey32 padded_user = owner_key_;
  if (Revision() >= 3) {
    Rc4Passes(key.data(), n, padded_user.data(), padded_user.size(), /*decrypting=*/true);
  } else {
    TRC4::Crypt(key.data(), n, padded_user.data(), padded_user.size());
  }
  if (!CheckUserPassword(AsView(padded_user))) return false;
  if (user_password) *user_password = StripPadding(padded_user);
  return true;
}

// ---------------------------------------------------------------------------
// Revisions 5 and 6: SHA-2 hashes, the file key under AES-256

bool TgtPDFDecrypt::CheckUserPasswordR6(std::string_view utf8) {
  if (user_hash_.size() < kAes256KeyEntrySize || user_encrypted_.size() < kHashSize) return false;
  const std::string_view u = user_hash_;
  if (!SameBytes(HashPasswordR6(Revision(), utf8, u.substr(kHashSize, kSaltSize), {}),
                 u.substr(0, kHashSize)))
    return false;
  const std::string key = HashPasswordR6(Revision(), utf8, u.substr(kHashSize + kSaltSize), {});
  AesCbcCrypt(false, key, nullptr, reinterpret_cast<const uint8_t*>(user_encrypted_.data()),
              kHashSize, file_key_.data());
  CheckPerms();
  return true;
}

bool TgtPDFDecrypt::EmptyUserPasswordR6() const {
  if (user_hash_.size() < kAes256KeyEntrySize) return false;
  const std::string_view u = user_hash_;
  return SameBytes(HashPasswordR6(Revision(), "", u.substr(kHashSize, kSaltSize), {}),
                   u.substr(0, kHashSize));
}

bool TgtPDFDecrypt::CheckOwnerPasswordR6(std::string_view utf8) {
  if (owner_hash_.size() < kAes256KeyEntrySize || user_hash_.size() < kAes256KeyEntrySize ||
      owner_encrypted_.size() < kHashSize)
    return false;
  const std::string_view o = owner_hash_;
  if (!SameBytes(HashPasswordR6(Revision(), utf8, o.substr(kHashSize, kSaltSize), user_hash_),
                 o.substr(0, kHashSize)))
    return false;
  const std::string key =
      HashPasswordR6(Revision(), utf8, o.substr(kHashSize + kSaltSize), user_hash_);
  AesCbcCrypt(false, key, nullptr, reinterpret_cast<const uint8_t*>(owner_encrypted_.data()),
              kHashSize, file_key_.data());
  CheckPerms();
  return true;
}

// /Perms holds /P again under the file key; a mismatch means the
// dictionary was edited, which is reported but does not stop reading.
void TgtPDFDecrypt::CheckPerms() {
  if (perms_.size() < kAesBlockSize) return;
  uint8_t plain[kAesBlockSize];
  AesEcbDecryptBlock(std::string_view(reinterpret_cast<const char*>(file_key_.data()), 32),
                     reinterpret_cast<const uint8_t*>(perms_.data()), plain);
  const bool sound =
      std::memcmp(plain + 9, "adb", 3) == 0 && std::equal(p_bytes_.begin(), p_bytes_.end(), plain);
  if (!sound) Warn(msg::kPermsMismatch);
}

// ---------------------------------------------------------------------------
// Roles and settings

bool TgtPDFDecrypt::Authenticate(TgtPDFEncryptionSettings& settings, std::string_view password) {
  if (AuthenticateAtLevel(settings, password)) return true;
  if (length_guessed_) {
    const TgtPDFEncryptionLevel guessed = level_;
    level_ = guessed == el40bit ? el128bit : el40bit;
    if (AuthenticateAtLevel(settings, password)) return true;
    level_ = guessed;
  }
  // Only embedded files encrypted: the document itself needs no key.
  if (filters_.strings == TgtCryptMethod::None && filters_.streams == TgtCryptMethod::None &&
      version_ >= 4) {
    key_known_ = false;
    file_key_.fill(0);
    RestrictPermissions();
    Accept(settings, false, password, std::string(password));
    return true;
  }
  return false;
}

bool TgtPDFDecrypt::AuthenticateAtLevel(TgtPDFEncryptionSettings& settings,
                                        std::string_view password) {
  std::string user_password;
  if (CheckOwnerPassword(password, &user_password)) {
    owner_ = true;
    permissions_ = TgtUserPermissions::All();
    Accept(settings, true, password, std::move(user_password));
    return true;
  }
  if (!CheckUserPassword(password)) return false;
  RestrictPermissions();
  Accept(settings, false, password, std::string(password));
  return true;
}

void TgtPDFDecrypt::Accept(TgtPDFEncryptionSettings& settings, bool owner,
                           std::string_view password, std::string user_password) {
  settings.enabled_ = true;
  settings.user_password_ = std::move(user_password);
  settings.user_password_known_ = !owner || user_password_known_;
  settings.owner_password_ = owner                  ? std::string(password)
                             : make_owner_password_ ? make_owner_password_()
                                                    : std::string();
  settings.permissions_ = permissions_;
  settings.level_ = level_;
  if (!owner) settings.can_change_ = false;
  settings.changed_ = false;

  auto source = std::make_shared<TgtPDFSourceSecurity>();
  source->dictionary = source_dictionary_;
  if (length_guessed_ && level_ == el128bit && source_dictionary_) {
    // The dictionary did not say 128 bits, but the key has them: the
    // written one says so, for readers that do not guess.
    auto corrected = std::unique_ptr<TgtPDFDictObject>(
        static_cast<TgtPDFDictObject*>(source_dictionary_->Clone().release()));
    corrected->SetInteger("/Length", 128);
    source->dictionary = std::move(corrected);
  }
  source->cipher = Cipher();
  source->level = level_;
  source->filters = filters_;
  if (key_known_) {
    source->file_key.assign(reinterpret_cast<const char*>(file_key_.data()), KeyLength());
  } else {
    // Nothing was decrypted, so nothing may be encrypted on the way out.
    source->filters.embedded_files = TgtCryptMethod::None;
    for (auto& named : source->filters.named) named.second = TgtCryptMethod::None;
  }
  source->file_id = file_id_;
  settings.source_ = std::move(source);
}

void TgtPDFDecrypt::RestrictPermissions() {
  const int64_t p = PValue();
  for (int i = 0; i < kPermissionCount; ++i) {
    const auto permission = static_cast<TgtUserPermissionsType>(i);
    if (IsHighLevelPermission(permission) && level_ != el128bit) continue;
    if (!(p & kPermissionPBits[i])) permissions_.Exclude(permission);
  }
}

void TgtPDFDecrypt::ApplyDictionary(TgtPDFEncryptionSettings& settings) const {
  settings.enabled_ = true;
  settings.level_ = level_;
  settings.permissions_ = PermissionsFromP(PValue(), level_);
}

// ---------------------------------------------------------------------------
// Decrypting strings and streams

void TgtPDFDecrypt::Decrypt(TgtCryptMethod method, std::string& data, int32_t number,
                            int32_t generation) const {
  if (method == TgtCryptMethod::None || !key_known_ || data.empty()) return;
  const std::string key = ObjectKey(method, file_key_.data(), KeyLength(), number, generation);
  if (method == TgtCryptMethod::Rc4) {
    TRC4::Crypt(reinterpret_cast<const uint8_t*>(key.data()), key.size(),
                reinterpret_cast<uint8_t*>(data.data()), data.size());
    return;
  }
  std::string plain;
  if (!AesDecryptData(key, data, plain)) Warn(Format(msg::kAesDataDamaged, number, generation));
  data.swap(plain);
}

std::string TgtPDFDecrypt::DecryptString(std::string_view data, int32_t number,
                                         int32_t generation) const {
  std::string result(data);
  Decrypt(filters_.strings, result, number, generation);
  return result;
}

void TgtPDFDecrypt::DecryptStream(TMemoryStream& stream, int32_t number, int32_t generation) const {
  std::string data = stream.TakeBytes();
  Decrypt(filters_.streams, data, number, generation);
  stream.WriteBuffer(data.data(), static_cast<int64_t>(data.size()));
  stream.SetPosition(0);
}

void TgtPDFDecrypt::DecryptData(std::string& data, int32_t number, int32_t generation) {
  Decrypt(filters_.strings, data, number, generation);
}

void TgtPDFDecrypt::DecryptStreamData(std::string& data, const TgtPDFDictObject* dictionary,
                                      int32_t number, int32_t generation) {
  Decrypt(filters_.ForStream(dictionary), data, number, generation);
}

std::unique_ptr<TgtStreamCipher> TgtPDFDecrypt::StreamDecryptor(const TgtPDFDictObject* dictionary,
                                                                int32_t number,
                                                                int32_t generation) const {
  const TgtCryptMethod method = filters_.ForStream(dictionary);
  if (method == TgtCryptMethod::None || !key_known_) return nullptr;
  const std::string key = ObjectKey(method, file_key_.data(), KeyLength(), number, generation);
  if (method == TgtCryptMethod::Rc4) return MakeRc4StreamCipher(key);
  return MakeAesStreamCipher(key, false);
}

}  // namespace pagemint
