// SPDX-License-Identifier: GPL-3.0-or-later
// Crypt filters: which cipher the standard security handler applies to
// strings, to streams, to embedded files and to a stream that names a
// filter of its own (/Filter /Crypt with /DecodeParms /Name).
//
//   /V 1, 2   everything RC4, no /CF
//   /V 4, 5   /CF << /StdCF << /CFM /AESV2 | /AESV3 | /V2 | /None >> >>,
//             /StmF, /StrF (default /Identity), /EFF (default: /StmF),
//             /EncryptMetadata false: metadata streams stay as they are
//
// The same rules serve reading and writing, so a saved file encrypts each
// string and stream the way its source did.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "pdf/objects/pdf_objects.h"

namespace pagemint {

enum class TgtCryptMethod : uint8_t {
  None,   // /Identity, /None: the bytes are as they are
  Rc4,    // /V2
  AesV2,  // AES-128, per-object keys
  AesV3,  // AES-256, the file key itself
};

struct TgtCryptFilters {
  TgtCryptMethod strings = TgtCryptMethod::Rc4;
  TgtCryptMethod streams = TgtCryptMethod::Rc4;
  TgtCryptMethod embedded_files = TgtCryptMethod::Rc4;
  bool encrypt_metadata = true;
  // The /CF entries by name ("/StdCF"); /Identity is implied.
  std::vector<std::pair<std::string, TgtCryptMethod>> named;

  // The method of a named filter; an unknown name gives fallback.
  TgtCryptMethod Named(std::string_view name, TgtCryptMethod fallback) const;
  // The method for a stream with this dictionary: its own /Crypt filter
  // first, then embedded files, metadata, and the /StmF default.
  TgtCryptMethod ForStream(const TgtPDFDictObject* dictionary) const;
  // True when any of the defaults uses the method.
  bool Uses(TgtCryptMethod method) const {
    return strings == method || streams == method || embedded_files == method;
  }
};

// Reads /CF, /StmF, /StrF, /EFF and /EncryptMetadata of a /V 4 or 5
// dictionary (the defaults above for /V 1 and 2). Raises
// EUnsupportedEncryption for an unknown /CFM and Exception for a default
// that names a filter /CF does not define.
TgtCryptFilters ReadCryptFilters(const TgtPDFDictObject& encrypt, int64_t version);

}  // namespace pagemint
