// SPDX-License-Identifier: GPL-3.0-or-later
// What the lexer needs of the security handler: decrypt bytes in place for
// one object, and a cipher per stream for data copied in chunks. The
// security layer implements it; the lexer only holds a pointer, so the
// parser does not depend on the security classes.
#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include "pdf/objects/stream_source.h"

namespace pagemint {

class TgtPDFDictObject;

class TgtDecryptor {
 public:
  virtual ~TgtDecryptor() = default;
  // Decrypts a string's bytes in place with the key of object (number,
  // generation). The size may change (AES drops its IV and padding).
  virtual void DecryptData(std::string& data, int32_t number, int32_t generation) = 0;
  // Decrypts a stream's data; its dictionary (nullptr when unknown) may
  // name a crypt filter of its own or mark it as left unencrypted.
  virtual void DecryptStreamData(std::string& data, const TgtPDFDictObject* dictionary,
                                 int32_t number, int32_t generation) {
    (void)dictionary;
    DecryptData(data, number, generation);
  }
  // A cipher that decrypts one stream's data (its dictionary as above)
  // chunk by chunk; nullptr when its data is not encrypted or only
  // DecryptStreamData is offered.
  virtual std::unique_ptr<TgtStreamCipher> StreamCipher(const TgtPDFDictObject* dictionary,
                                                        int32_t number, int32_t generation) {
    (void)dictionary;
    (void)number;
    (void)generation;
    return nullptr;
  }
};

}  // namespace pagemint
