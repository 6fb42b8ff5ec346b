#include "pdf/security/encryption_settings.h"

#include "platform/messages.h"

namespace pagemint {

void TgtPDFEncryptionSettings::CheckChange() const {
  if (!can_change_) throw Exception(msg::kCannotChangeEncryption);
}

void TgtPDFEncryptionSettings::SetEnabled(bool value) {
  CheckChange();
  enabled_ = value;
}

void TgtPDFEncryptionSettings::SetLevel(TgtPDFEncryptionLevel value) {
  CheckChange();
  level_ = value;
}

void TgtPDFEncryptionSettings::SetOwnerPassword(std::string value) {
  CheckChange();
  owner_password_ = std::move(value);
}

void TgtPDFEncryptionSettings::SetUserPassword(std::string value) {
  CheckChange();
  user_password_ = std::move(value);
}

void TgtPDFEncryptionSettings::SetUserPermissions(TgtUserPermissions value) {
  CheckChange();
  permissions_ = value;
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
