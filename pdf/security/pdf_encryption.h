// SPDX-License-Identifier: GPL-3.0-or-later
// The writing side of the standard security handler. Two ways to encrypt
// a saved file:
//   - new keys: a file identifier, /O and /U computed from the settings'
//     passwords, the /P value, RC4 with 40- or 128-bit keys;
//   - the source's own security, unchanged: its encryption dictionary, its
//     file key and identifier, its crypt filters (RC4, AES-128, AES-256),
//     so that every password that opened the source opens the output.
// Strings and streams are encrypted per object; AES puts a random IV in
// front and PKCS#7 padding after, so the data grows.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>

#include "pdf/objects/pdf_objects.h"
#include "pdf/security/base_crypt.h"
#include "pdf/security/encryption_settings.h"
#include "pdf/security/source_security.h"
#include "pdf/security/stream_cipher.h"

namespace pagemint {

class TgtPDFEncryption : public TgtBasePDFCrypt {
 public:
  // Copies the passwords (the stored owner password, even when the
  // settings are locked), the level and the permissions, then computes
  // the identifier from text + creation_date and the keys.
  TgtPDFEncryption(std::string_view text, std::string_view creation_date,
                   const TgtPDFEncryptionSettings& settings);
  // The same with file_id as the identifier.
  TgtPDFEncryption(const TgtPDFEncryptionSettings& settings, std::string file_id);
  // The source's security as it was.
  explicit TgtPDFEncryption(const TgtPDFSourceSecurity& source);

  // Identifier := MD5(first + second).
  void ComputeFileID(std::string_view first, std::string_view second);
  // /O, /U and the encryption key from the passwords, the permissions and
  // the identifier. An empty owner password takes the user password.
  void ComputeKeys();
  // /P: the reserved bits set, plus the bits of each granted permission.
  int32_t PermissionValue() const;
  TgtPDFCipher Cipher() const;

  // A string of object (number, generation), encrypted.
  std::string EncryptObjectData(std::string_view data, int32_t number, int32_t generation) const;
  void EncryptInPlace(std::string& data, int32_t number, int32_t generation) const;

  // How many bytes size bytes of a string (stream nullptr) or of a stream
  // with that dictionary become; empty data stays empty.
  size_t EncryptedSize(size_t size, const TgtPDFDictObject* stream) const;
  // Encrypts out[start, end) for object (number, generation), a string
  // (stream nullptr) or the data of a stream with that dictionary; out
  // grows to start + EncryptedSize(end - start, stream).
  void EncryptTail(std::string& out, size_t start, int32_t number, int32_t generation,
                   const TgtPDFDictObject* stream) const;
  // A cipher that encrypts one stream piece by piece; nullptr when its data
  // is written as it is.
  std::unique_ptr<TgtStreamCipher> StreamEncryptor(const TgtPDFDictObject* stream, int32_t number,
                                                   int32_t generation) const;

  // The encryption dictionary: the source's as it was, or /Filter
  // /Standard, /O, /U (64 upper-case hex digits each), /P, /V, /R, /Length.
  std::unique_ptr<TgtPDFDictObject> BuildEncryptDictionary() const;
  // The trailer's /ID: the identifier, then second (the identifier again
  // when second is empty).
  std::unique_ptr<TgtPDFArrayObject> BuildFileIDArray(std::string_view second = {}) const;

  const std::string& OwnerPassword() const { return owner_password_; }
  const std::string& UserPassword() const { return user_password_; }
  // The encryption key's first n bytes.
  std::string EncryptionKey() const;

 private:
  void Encrypt(TgtCryptMethod method, std::string& out, size_t start, int32_t number,
               int32_t generation) const;

  std::string owner_password_;
  std::string user_password_;
  TgtPDFKey32 padded_owner_{};
  TgtPDFKey32 padded_user_{};
  std::array<uint8_t, 32> key_{};
  TgtCryptFilters filters_;
  std::shared_ptr<const TgtPDFDictObject> kept_dictionary_;
  TgtPDFCipher kept_cipher_ = TgtPDFCipher::None;
};

// "<" + upper-case hex digits of bytes + ">".
std::string HexStringText(std::string_view bytes);

}  // namespace pagemint
