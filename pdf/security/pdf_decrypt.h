// SPDX-License-Identifier: GPL-3.0-or-later
// The reading side of the standard security handler: checks a password as
// owner or as user, derives the file key, and decrypts the strings and
// streams of each object for the lexer.
//
//   /V 1, 2 /R 2, 3   RC4, keys from MD5 (40 or 128 bits)
//   /V 4 /R 4         crypt filters: RC4 or AES-128 (AESV2), same keys
//   /V 5 /R 5, 6      AES-256 (AESV3): the file key is stored encrypted in
//                     /OE and /UE under SHA-2 hashes of the password
//
// Use, once the trailer's /Encrypt has been resolved to a dictionary:
//   auto decrypt = MakeDecryptor(encrypt_dict, FirstFileID(trailer_dict));
//   reader.SetDecryptor(decrypt.get());
//   decrypt->ApplyDictionary(settings);
//   bool accepted = decrypt->Authenticate(settings, password);
#pragma once

#include <array>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

#include "pdf/objects/pdf_objects.h"
#include "pdf/parser/decryptor.h"
#include "pdf/security/base_crypt.h"
#include "pdf/security/crypt_filters.h"
#include "pdf/security/encryption_settings.h"
#include "pdf/security/stream_cipher.h"
#include "platform/stream.h"

namespace pagemint {

class TgtPDFDecrypt : public TgtBasePDFCrypt, public TgtDecryptor {
 public:
  TgtPDFDecrypt();

  // The first /ID string's bytes, of any length: the keys use them as they
  // are. Never called for a file without /ID.
  void SetFileID(std::string_view bytes);
  // The bytes of /O and /U: at most 32 are kept for the RC4 revisions, a
  // shorter value is filled up with zeros; revisions 5 and 6 keep 48.
  void SetOwnerKey(std::string_view bytes);
  void SetUserKey(std::string_view bytes);
  // /OE, /UE (32 bytes each) and /Perms (16 bytes, empty when absent) of
  // revisions 5 and 6.
  void SetAes256Keys(std::string_view owner_encrypted, std::string_view user_encrypted,
                     std::string_view perms);
  // Keeps the /P value's low 32 bits, least significant byte first.
  void SetPermissionValue(int64_t value);
  // 2 to 6: the handler revision whose algorithms check passwords (3 and 4
  // add the 50 MD5 rounds and the 20 RC4 passes; 5 and 6 use SHA-2). 0,
  // the default, follows the level: revision 2 at el40bit, 3 at el128bit.
  void SetRevision(int revision) { revision_ = revision; }
  int Revision() const;
  // /V: 1, 2, 4 or 5 (0 until set: taken as 2).
  void SetVersion(int64_t version) { version_ = version; }
  void SetCryptFilters(TgtCryptFilters filters) { filters_ = std::move(filters); }
  const TgtCryptFilters& CryptFilters() const { return filters_; }
  // Set when /Length is absent at revision 3: 40 bits, the default, are
  // tried first, and 128 bits, which some writers meant, when no password
  // fits at 40.
  void SetLengthGuessed(bool guessed) { length_guessed_ = guessed; }
  // The encryption dictionary as read, kept for writing it back.
  void SetSourceDictionary(std::shared_ptr<const TgtPDFDictObject> dictionary) {
    source_dictionary_ = std::move(dictionary);
  }
  // Where warnings about damaged encrypted data go (a bad AES padding, a
  // /Perms entry that does not match); nothing when unset.
  void SetWarningSink(std::function<void(const std::string&)> sink) { warn_ = std::move(sink); }

  // What the file is encrypted with.
  TgtPDFCipher Cipher() const;

  // On success keeps the derived key as the file key.
  bool CheckUserPassword(std::string_view password);
  // On success user_password (when given) receives the user password
  // recovered from /O (revisions 2 to 4; revisions 5 and 6 keep it hidden,
  // so it is left empty there).
  bool CheckOwnerPassword(std::string_view password, std::string* user_password = nullptr);
  // Owner password first, then user password; fills settings as the
  // accepted role allows (the user role locks them) and gives them the
  // source's security to write back. False when neither fits; settings
  // then stay as they are. A file whose strings and streams are not
  // encrypted (only its embedded files are) opens without a fitting
  // password, in the user role, with its embedded files left encrypted.
  bool Authenticate(TgtPDFEncryptionSettings& settings, std::string_view password);
  // Drops each permission whose /P bit is clear (the four 128-bit-only
  // ones are looked at only at el128bit).
  void RestrictPermissions();
  bool IsOwner() const { return owner_; }

  // What the document's settings show once the dictionary has been read:
  // enabled, this level, the permissions of /P.
  void ApplyDictionary(TgtPDFEncryptionSettings& settings) const;

  // A string of object (number, generation), decrypted with /StrF.
  std::string DecryptString(std::string_view data, int32_t number, int32_t generation) const;
  // The whole content of a stream, decrypted with /StmF.
  void DecryptStream(TMemoryStream& stream, int32_t number, int32_t generation) const;
  // The lexer's calls: a string, and a stream's data with its dictionary
  // (which picks the crypt filter). AES data shrinks by its IV and padding.
  void DecryptData(std::string& data, int32_t number, int32_t generation) override;
  void DecryptStreamData(std::string& data, const TgtPDFDictObject* dictionary, int32_t number,
                         int32_t generation) override;
  // A cipher for decrypting one stream piece by piece; nullptr when its
  // data is not encrypted.
  std::unique_ptr<TgtStreamCipher> StreamDecryptor(const TgtPDFDictObject* dictionary,
                                                   int32_t number, int32_t generation) const;
  std::unique_ptr<TgtStreamCipher> StreamCipher(const TgtPDFDictObject* dictionary, int32_t number,
                                                int32_t generation) override {
    return StreamDecryptor(dictionary, number, generation);
  }

  // The file key: 16 bytes for RC4 and AES-128 (at el40bit bytes 5 to 15
  // are zero), 32 for AES-256.
  std::string FileKey() const;
  // The /P value as the four bytes used in key computation.
  const std::array<uint8_t, 4>& PermissionBytes() const { return p_bytes_; }

  // Makes the unknown owner password given to a user-opened document; the
  // default is MakeOwnerPassword with the system clock and random source.
  void SetOwnerPasswordMaker(std::function<std::string()> maker) {
    make_owner_password_ = std::move(maker);
  }

 private:
  std::array<uint8_t, 16> ComputeKey(const TgtPDFKey32& padded) const;
  std::array<uint8_t, 16> OwnerRc4Key(std::string_view password) const;
  int64_t PValue() const;
  bool AuthenticateAtLevel(TgtPDFEncryptionSettings& settings, std::string_view password);
  bool CheckOwnerPasswordR6(std::string_view utf8);
  // Whether /U admits the empty user password (revisions 5 and 6).
  bool EmptyUserPasswordR6() const;
  bool CheckUserPasswordR6(std::string_view utf8);
  void CheckPerms();
  void Accept(TgtPDFEncryptionSettings& settings, bool owner, std::string_view password,
              std::string user_password);
  void Decrypt(TgtCryptMethod method, std::string& data, int32_t number, int32_t generation) const;
  void Warn(const std::string& message) const;

  std::array<uint8_t, 4> p_bytes_{};
  bool owner_ = false;
  int revision_ = 0;
  int64_t version_ = 0;
  bool length_guessed_ = false;
  bool key_known_ = true;  // false: opened without a key (/EFF only)
  // False after an owner password opened a revision 5 or 6 file whose user
  // password is not empty: that password cannot be recovered.
  bool user_password_known_ = true;
  TgtCryptFilters filters_;
  std::array<uint8_t, 32> file_key_{};
  // Revisions 5 and 6: /O and /U in full (48 bytes), /OE, /UE, /Perms.
  std::string owner_hash_;
  std::string user_hash_;
  std::string owner_encrypted_;
  std::string user_encrypted_;
  std::string perms_;
  std::shared_ptr<const TgtPDFDictObject> source_dictionary_;
  std::function<std::string()> make_owner_password_;
  std::function<void(const std::string&)> warn_;
  mutable int warnings_ = 0;
};

// Builds a decryptor from an encryption dictionary (direct values) and the
// bytes of the trailer's first /ID string (nullopt without one). Raises
// EUnsupportedEncryption for anything but the standard handler at /V 1, 2,
// 4 or 5 with a revision that fits it and 40- or 128-bit RC4 keys,
// EInvalidPermission for a missing or non-integer /P, and Exception with a
// message naming the entry for a missing or ill-typed /O, /U, /OE, /UE,
// /R, /V, /Length or crypt filter.
std::unique_ptr<TgtPDFDecrypt> MakeDecryptor(const TgtPDFDictObject& encrypt,
                                             const std::optional<std::string>& file_id);

// The bytes of the first string of the trailer's /ID array; nullopt when
// there is no /ID array or its first item is not a string.
std::optional<std::string> FirstFileID(const TgtPDFDictObject& trailer);

// "Pagemint" + local date and time as YYYYMMDDhhmmss + a random number from
// 0 to 2147483646 in decimal.
std::string MakeOwnerPassword(int64_t unix_time, uint32_t random);

}  // namespace pagemint
