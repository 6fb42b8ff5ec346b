// The writing side of the standard security handler: a file identifier,
// /O and /U computed from the settings' passwords, the /P value, the
// encryption dictionary and the per-object RC4 encryption of the output.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>

#include "pdf/objects/pdf_objects.h"
#include "pdf/security/base_crypt.h"
#include "pdf/security/encryption_settings.h"

namespace pagemint {

class TgtPDFEncryption : public TgtBasePDFCrypt {
 public:
  // Copies the passwords (the stored owner password, even when the
  // settings are locked), the level and the permissions, then computes
  // the identifier from text + creation_date and the keys.
  TgtPDFEncryption(std::string_view text, std::string_view creation_date,
                   const TgtPDFEncryptionSettings& settings);

  // Identifier := MD5(first + second).
  void ComputeFileID(std::string_view first, std::string_view second);
  // /O, /U and the encryption key from the passwords, the permissions and
  // the identifier. An empty owner password takes the user password.
  void ComputeKeys();
  // /P: the reserved bits set, plus the bits of each granted permission.
  int32_t PermissionValue() const;

  std::string EncryptObjectData(std::string_view data, int32_t number, int32_t generation) const;
  void EncryptInPlace(std::string& data, int32_t number, int32_t generation) const;
  void EncryptInPlace(uint8_t* data, size_t size, int32_t number, int32_t generation) const;
  // The encryption of one stream's data, chunk by chunk.
  std::unique_ptr<TgtStreamCipher> StreamCipher(int32_t number, int32_t generation) const {
    return ObjectCipher(encryption_key_.data(), KeyLength(), number, generation);
  }

  // The encryption dictionary: /Filter /Standard, /O, /U (64 upper-case
  // hex digits each), /P, /V, /R, /Length.
  std::unique_ptr<TgtPDFDictObject> BuildEncryptDictionary() const;
  // The trailer's new /ID: two hex strings, both the identifier.
  std::unique_ptr<TgtPDFArrayObject> BuildFileIDArray() const;

  const std::string& OwnerPassword() const { return owner_password_; }
  const std::string& UserPassword() const { return user_password_; }
  // The encryption key's first n bytes.
  std::string EncryptionKey() const;

 private:
  std::string owner_password_;
  std::string user_password_;
  TgtPDFKey32 padded_owner_{};
  TgtPDFKey32 padded_user_{};
};

// "<" + upper-case hex digits of bytes + ">".
std::string HexStringText(std::string_view bytes);

}  // namespace pagemint
