#include "pdf/security/pdf_decrypt.h"

#include <algorithm>
#include <cstring>

#include "pdf/security/md5.h"
#include "pdf/security/rc4.h"
#include "platform/messages.h"
#include "platform/services.h"

namespace pagemint {
namespace {

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

}  // namespace

TgtPDFDecrypt::TgtPDFDecrypt() : make_owner_password_(MakeSystemOwnerPassword) {}

void TgtPDFDecrypt::SetFileID(std::string_view bytes) {
  if (bytes.size() != 16) throw Exception(msg::kInvalidFileId);
  file_id_ = std::string(bytes);
}

void TgtPDFDecrypt::SetOwnerKey(std::string_view bytes) { owner_key_ = KeyFromBytes(bytes); }

void TgtPDFDecrypt::SetUserKey(std::string_view bytes) { user_key_ = KeyFromBytes(bytes); }

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

std::string TgtPDFDecrypt::FileKey() const {
  return std::string(reinterpret_cast<const char*>(file_key_.data()), file_key_.size());
}

std::array<uint8_t, 16> TgtPDFDecrypt::ComputeKey(const TgtPDFKey32& padded) const {
  TMD5 md5;
  md5.Update(padded.data(), padded.size());
  md5.Update(owner_key_.data(), owner_key_.size());
  md5.Update(p_bytes_.data(), p_bytes_.size());
  md5.Update(file_id_);
  std::array<uint8_t, 16> key = md5.Final();
  const size_t n = KeyLength();
  if (Revision() >= 3) key = Strengthen(key, n);
  std::fill(key.begin() + static_cast<ptrdiff_t>(n), key.end(), uint8_t{0});
  return key;
}

bool TgtPDFDecrypt::CheckUserPassword(std::string_view password) {
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
  if (right) file_key_ = key;
  return right;
}

std::array<uint8_t, 16> TgtPDFDecrypt::OwnerRc4Key(std::string_view password) const {
  const TgtPDFKey32 padded = PadPassword(password);
  std::array<uint8_t, 16> key = TMD5::Digest(padded.data(), padded.size());
  if (Revision() >= 3) key = Strengthen(key, KeyLength());
  return key;
}

bool TgtPDFDecrypt::CheckOwnerPassword(std::string_view password, std::string* user_password) {
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

bool TgtPDFDecrypt::Authenticate(TgtPDFEncryptionSettings& settings, std::string_view password) {
  if (AuthenticateAtLevel(settings, password)) return true;
  if (!length_guessed_) return false;
  const TgtPDFEncryptionLevel guessed = level_;
  level_ = guessed == el40bit ? el128bit : el40bit;
  if (AuthenticateAtLevel(settings, password)) return true;
  level_ = guessed;
  return false;
}

bool TgtPDFDecrypt::AuthenticateAtLevel(TgtPDFEncryptionSettings& settings,
                                        std::string_view password) {
  std::string user_password;
  if (CheckOwnerPassword(password, &user_password)) {
    owner_ = true;
    permissions_ = TgtUserPermissions::All();
    settings.enabled_ = true;
    settings.owner_password_ = std::string(password);
    settings.user_password_ = std::move(user_password);
    settings.permissions_ = permissions_;
    settings.level_ = level_;
    return true;
  }
  if (!CheckUserPassword(password)) return false;
  RestrictPermissions();
  settings.enabled_ = true;
  settings.user_password_ = std::string(password);
  settings.owner_password_ = make_owner_password_ ? make_owner_password_() : std::string();
  settings.permissions_ = permissions_;
  settings.level_ = level_;
  settings.can_change_ = false;
  return true;
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

std::string TgtPDFDecrypt::DecryptString(std::string_view data, int32_t number,
                                         int32_t generation) const {
  std::string result(data);
  CryptObject(file_key_.data(), KeyLength(), number, generation,
              reinterpret_cast<uint8_t*>(result.data()), result.size());
  return result;
}

void TgtPDFDecrypt::DecryptStream(TMemoryStream& stream, int32_t number, int32_t generation) const {
  CryptObject(file_key_.data(), KeyLength(), number, generation,
              reinterpret_cast<uint8_t*>(stream.Memory()), static_cast<size_t>(stream.Size()));
}

void TgtPDFDecrypt::DecryptData(std::string& data, int32_t number, int32_t generation) {
  CryptObject(file_key_.data(), KeyLength(), number, generation,
              reinterpret_cast<uint8_t*>(data.data()), data.size());
}

std::unique_ptr<TgtStreamCipher> TgtPDFDecrypt::StreamCipher(int32_t number, int32_t generation) {
  return ObjectCipher(file_key_.data(), KeyLength(), number, generation);
}

}  // namespace pagemint
