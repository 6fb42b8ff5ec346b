// SPDX-License-Identifier: GPL-3.0-or-later
// The encryption settings that the document component publishes as its
// Encryption property. Opening a file as its user (not its owner) locks
// them: every setter then raises "User cannot change encryption settings"
// and the owner password reads as empty.
//
// Settings read from an encrypted source also hold that source's security.
// Until a setter changes a value, a save writes the source's security back
// as it was (KeptSecurity); once one does, the settings alone decide.
#pragma once

#include <memory>
#include <string>

#include "pdf/security/security_types.h"
#include "pdf/security/source_security.h"

namespace pagemint {

class TgtPDFDecrypt;

class TgtPDFEncryptionSettings {
 public:
  TgtPDFEncryptionSettings() = default;

  bool Enabled() const { return enabled_; }
  void SetEnabled(bool value);
  TgtPDFEncryptionLevel Level() const { return level_; }
  void SetLevel(TgtPDFEncryptionLevel value);
  // Empty while the settings are locked.
  std::string OwnerPassword() const { return can_change_ ? owner_password_ : std::string(); }
  void SetOwnerPassword(std::string value);
  const std::string& UserPassword() const { return user_password_; }
  void SetUserPassword(std::string value);
  // False when the document was opened with the owner password of a
  // handler that cannot give the user password back (AES-256) and the
  // user password is not empty; UserPassword is then empty, and settings
  // changed without setting one would write a file that opens without a
  // password. Setting a user password makes it known.
  bool UserPasswordKnown() const { return user_password_known_; }
  TgtUserPermissions UserPermissions() const { return permissions_; }
  void SetUserPermissions(TgtUserPermissions value);

  // False once a document was opened with its user password.
  bool CanChange() const { return can_change_; }
  // The owner password as stored, locked or not: the writer encrypts with it.
  const std::string& StoredOwnerPassword() const { return owner_password_; }

  // The source's security while no setter has changed a value; nullptr
  // for a document that was not encrypted, or once the caller changed
  // anything.
  const TgtPDFSourceSecurity* KeptSecurity() const {
    return changed_ || !enabled_ ? nullptr : source_.get();
  }
  // What a save writes with: the kept security's cipher, or RC4 at the
  // level when enabled, or none.
  TgtPDFCipher Cipher() const;

  // The component's state for a new or reset document: not enabled,
  // el40bit, no passwords, all permissions, unlocked.
  void Reset();

 private:
  friend class TgtPDFDecrypt;  // fills the settings from an opened file
  void CheckChange() const;

  // Notes a change when value differs from the current one.
  template <typename T>
  void Change(T& field, T value) {
    CheckChange();
    if (!(field == value)) changed_ = true;
    field = std::move(value);
  }

  bool can_change_ = true;
  bool changed_ = false;
  std::shared_ptr<const TgtPDFSourceSecurity> source_;
  bool enabled_ = false;
  TgtPDFEncryptionLevel level_ = el128bit;
  std::string owner_password_;
  std::string user_password_;
  bool user_password_known_ = true;
  TgtUserPermissions permissions_ = TgtUserPermissions::All();
};

// Settings as the document component creates them (Reset applied).
std::unique_ptr<TgtPDFEncryptionSettings> MakeDefaultEncryptionSettings();

}  // namespace pagemint
