// The reading side of the standard security handler: checks a password as
// owner or as user, derives the file key, and decrypts the strings and
// streams of each object for the lexer.
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
#include "pdf/security/encryption_settings.h"
#include "platform/stream.h"

namespace pagemint {

class TgtPDFDecrypt : public TgtBasePDFCrypt, public TgtDecryptor {
 public:
  TgtPDFDecrypt();

  // The first /ID string's bytes; anything but 16 bytes raises Exception
  // "Invalid FileId.". Never called for a file without /ID.
  void SetFileID(std::string_view bytes);
  // The bytes of /O and /U: at most 32 are kept, a shorter value is filled
  // up with zeros.
  void SetOwnerKey(std::string_view bytes);
  void SetUserKey(std::string_view bytes);
  // Keeps the /P value's low 32 bits, least significant byte first.
  void SetPermissionValue(int64_t value);
  // 2 or 3: the handler revision whose algorithms check passwords (3 adds
  // the 50 MD5 rounds and the 20 RC4 passes). 0, the default, follows the
  // level: revision 2 at el40bit, 3 at el128bit.
  void SetRevision(int revision) { revision_ = revision; }
  int Revision() const;
  // Set when /Length is absent at revision 3: 40 bits, the default, are
  // tried first, and 128 bits, which some writers meant, when no password
  // fits at 40.
  void SetLengthGuessed(bool guessed) { length_guessed_ = guessed; }

  // On success keeps the derived key as the file key.
  bool CheckUserPassword(std::string_view password);
  // On success user_password (when given) receives the user password
  // recovered from /O.
  bool CheckOwnerPassword(std::string_view password, std::string* user_password = nullptr);
  // Owner password first, then user password; fills settings as the
  // accepted role allows (the user role locks them). False when neither
  // fits; settings then stay as they are.
  bool Authenticate(TgtPDFEncryptionSettings& settings, std::string_view password);
  // Drops each permission whose /P bit is clear (the four 128-bit-only
  // ones are looked at only at el128bit).
  void RestrictPermissions();
  bool IsOwner() const { return owner_; }

  // What the document's settings show once the dictionary has been read:
  // enabled, this level, the permissions of /P.
  void ApplyDictionary(TgtPDFEncryptionSettings& settings) const;

  std::string DecryptString(std::string_view data, int32_t number, int32_t generation) const;
  // The whole content, in place; the size stays.
  void DecryptStream(TMemoryStream& stream, int32_t number, int32_t generation) const;
  void DecryptData(std::string& data, int32_t number, int32_t generation) override;
  std::unique_ptr<TgtStreamCipher> StreamCipher(int32_t number, int32_t generation) override;

  // The file key (16 bytes; at el40bit bytes 5 to 15 are zero).
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

  std::array<uint8_t, 4> p_bytes_{};
  bool owner_ = false;
  int revision_ = 0;
  bool length_guessed_ = false;
  std::array<uint8_t, 16> file_key_{};
  std::function<std::string()> make_owner_password_;
};

// Builds a decryptor from an encryption dictionary (direct values) and the
// bytes of the trailer's first /ID string (nullopt without one). Raises
// EUnsupportedEncryption for anything but the standard handler with RC4
// (/V 1 or 2, /R 2 or 3, 40- or 128-bit keys), EInvalidPermission for a
// missing or non-integer /P, and Exception with a message naming the entry
// for a missing or ill-typed /O, /U, /R, /V, /Length or an /ID that is not
// 16 bytes.
std::unique_ptr<TgtPDFDecrypt> MakeDecryptor(const TgtPDFDictObject& encrypt,
                                             const std::optional<std::string>& file_id);

// The bytes of the first string of the trailer's /ID array; nullopt when
// there is no /ID array or its first item is not a string.
std::optional<std::string> FirstFileID(const TgtPDFDictObject& trailer);

// "Pagemint" + local date and time as YYYYMMDDhhmmss + a random number from
// 0 to 2147483646 in decimal.
std::string MakeOwnerPassword(int64_t unix_time, uint32_t random);

}  // namespace pagemint
