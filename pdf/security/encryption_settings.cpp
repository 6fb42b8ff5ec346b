// SPDX-License-Identifier: GPL-3.0-or-later
#include "pdf/security/encryption_settings.h"

#include "platform/messages.h"

namespace pagemint {

void TgtPDFEncryptionSettings::CheckChange() const {
  if (!can_change_) throw Exception(msg::kCannotChangeEncryption);
}

void TgtPDFEncryptionSettings::SetEnabled(bool value) { Change(enabled_, value); }

void TgtPDFEncryptionSettings::SetLevel(TgtPDFEncryptionLevel value) { Change(level_, value); }

void TgtPDFEncryptionSettings::SetOwnerPassword(std::string value) {
  Change(owner_password_, std::move(value));
}

void TgtPDFEncryptionSettings::SetUserPassword(std::string value) {
  Change(user_password_, std::move(value));
  user_password_known_ = true;
}

void TgtPDFEncryptionSettings::SetUserPermissions(TgtUserPermissions value) {
  Change(permissions_, value);
}

TgtPDFCipher TgtPDFEncryptionSettings::Cipher() const {
  if (!enabled_) return TgtPDFCipher::None;
  if (const TgtPDFSourceSecurity* kept = KeptSecurity()) return kept->cipher;
  return level_ == el40bit ? TgtPDFCipher::Rc4_40 : TgtPDFCipher::Rc4_128;
}

void TgtPDFEncryptionSettings::Reset() {
  *this = TgtPDFEncryptionSettings();
  level_ = el40bit;
}

std::unique_ptr<TgtPDFEncryptionSettings> MakeDefaultEncryptionSettings() {
  auto settings = std::make_unique<TgtPDFEncryptionSettings>();
  settings->Reset();
  return settings;
}

}  // namespace pagemint
