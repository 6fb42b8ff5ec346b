// What both directions of the standard security handler share: the level,
// the file identifier, the owner and user keys (/O, /U), the permission
// set, and the per-object key derivation.
#pragma once

#include <array>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>

#include "pdf/objects/stream_source.h"
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
  // n: 5 bytes at el40bit, 16 at el128bit.
  size_t KeyLength() const { return KeyLengthOf(level_); }

  std::string GetFileID() const { return file_id_; }
  std::string GetOwnerKey() const { return ToString(owner_key_); }
  std::string GetUserKey() const { return ToString(user_key_); }
  TgtUserPermissions Permissions() const { return permissions_; }

 protected:
  static std::string ToString(const TgtPDFKey32& key) {
    return std::string(reinterpret_cast<const char*>(key.data()), key.size());
  }
  // RC4 of data (in place, fresh state) with the key of object
  // (number, generation): MD5 of the first key_length bytes of key, the
  // three low bytes of number and the two low bytes of generation, cut
  // to key_length + 5 bytes, at most 16.
  static void CryptObject(const uint8_t* key, size_t key_length, int32_t number, int32_t generation,
                          uint8_t* data, size_t size);
  // The same encryption as CryptObject as a cipher that one stream's data
  // goes through chunk by chunk (the RC4 state carries on between chunks).
  static std::unique_ptr<TgtStreamCipher> ObjectCipher(const uint8_t* key, size_t key_length,
                                                       int32_t number, int32_t generation);

  // The revision 3 strengthening: 50 times, the MD5 of the digest's first
  // key_length bytes.
  static std::array<uint8_t, 16> Strengthen(std::array<uint8_t, 16> digest, size_t key_length);
  // The revision 3 passes: RC4 of data with each key byte XOR i, for i from
  // 0 to 19 (encrypting) or from 19 down to 0 (decrypting).
  static void Rc4Passes(const uint8_t* key, size_t key_length, uint8_t* data, size_t size,
                        bool decrypting);

  TgtPDFEncryptionLevel level_ = el128bit;
  std::string file_id_;
  TgtPDFKey32 owner_key_{};
  TgtPDFKey32 user_key_{};
  std::array<uint8_t, 16> encryption_key_{};
  TgtUserPermissions permissions_ = TgtUserPermissions::All();
};

}  // namespace pagemint
