// SPDX-License-Identifier: GPL-3.0-or-later
// What both directions of the standard security handler share: the level,
// the file identifier, the owner and user keys (/O, /U), the permission
// set, and the per-object key derivation.
#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <string_view>

#include "pdf/security/crypt_filters.h"
#include "pdf/security/security_types.h"

namespace pagemint {

using TgtPDFKey32 = std::array<uint8_t, 32>;

// The fixed 32-byte password padding string of the standard handler.
extern const TgtPDFKey32 kPasswordPadding;

class TgtBasePDFCrypt {
 public:
  TgtBasePDFCrypt() = default;
  virtual ~TgtBasePDFCrypt() = default;

  // The first 32 bytes of password, filled up with the padding string.
  static TgtPDFKey32 PadPassword(std::string_view password);

  TgtPDFEncryptionLevel Level() const { return level_; }
  void SetLevel(TgtPDFEncryptionLevel level) { level_ = level; }
  // n: 5 bytes at el40bit, 16 at el128bit, 32 for AES-256.
  size_t KeyLength() const { return key_length_ != 0 ? key_length_ : KeyLengthOf(level_); }

  std::string GetFileID() const { return file_id_; }
  std::string GetOwnerKey() const { return ToString(owner_key_); }
  std::string GetUserKey() const { return ToString(user_key_); }
  TgtUserPermissions Permissions() const { return permissions_; }

 protected:
  static std::string ToString(const TgtPDFKey32& key) {
    return std::string(reinterpret_cast<const char*>(key.data()), key.size());
  }
  // The key of object (number, generation) for method: for RC4 and
  // AES-128, MD5 of the first key_length bytes of key (at most 16), the
  // three low bytes of number and the two low bytes of generation (AES-128
  // with "sAlT" after them), cut to key_length + 5 bytes, at most 16;
  // AES-256 uses the file key itself. Empty for TgtCryptMethod::None.
  static std::string ObjectKey(TgtCryptMethod method, const uint8_t* key, size_t key_length,
                               int32_t number, int32_t generation);

  // The revision 3 strengthening: 50 times, the MD5 of the digest's first
  // key_length bytes.
  static std::array<uint8_t, 16> Strengthen(std::array<uint8_t, 16> digest, size_t key_length);
  // The revision 3 passes: RC4 of data with each key byte XOR i, for i from
  // 0 to 19 (encrypting) or from 19 down to 0 (decrypting).
  static void Rc4Passes(const uint8_t* key, size_t key_length, uint8_t* data, size_t size,
                        bool decrypting);

  TgtPDFEncryptionLevel level_ = el128bit;
  size_t key_length_ = 0;  // 0: the level's
  std::string file_id_;
  TgtPDFKey32 owner_key_{};
  TgtPDFKey32 user_key_{};
  TgtUserPermissions permissions_ = TgtUserPermissions::All();
};

}  // namespace pagemint
