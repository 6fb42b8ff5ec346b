// SPDX-License-Identifier: GPL-3.0-or-later
// The security of an opened source, as the decryptor found it: what a save
// needs to write it back unchanged (the encryption dictionary with its
// /O, /U, /P, /OE, /UE and /Perms, the file key, the identifier the key
// was made with, and the crypt filters), so that both the user and the
// owner password open the saved file, whichever of them opened the source.
#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include "pdf/objects/pdf_objects.h"
#include "pdf/security/crypt_filters.h"
#include "pdf/security/security_types.h"

namespace pagemint {

struct TgtPDFSourceSecurity {
  std::shared_ptr<const TgtPDFDictObject> dictionary;  // as read, direct values
  TgtPDFCipher cipher = TgtPDFCipher::None;
  TgtPDFEncryptionLevel level = el128bit;
  TgtCryptFilters filters;
  std::string file_key;  // KeyLength() bytes; empty when no password fitted (/EFF only)
  std::string file_id;   // the first /ID string, as the keys use it
};

}  // namespace pagemint
