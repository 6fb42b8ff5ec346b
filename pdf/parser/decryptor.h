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

class TgtDecryptor {
 public:
  virtual ~TgtDecryptor() = default;
  // Decrypts data in place with the key of object (number, generation).
  virtual void DecryptData(std::string& data, int32_t number, int32_t generation) = 0;
  // A cipher that decrypts one stream's data of object (number,
  // generation) chunk by chunk; nullptr when only DecryptData is offered.
  virtual std::unique_ptr<TgtStreamCipher> StreamCipher(int32_t number, int32_t generation) {
    (void)number;
    (void)generation;
    return nullptr;
  }
};

}  // namespace pagemint
