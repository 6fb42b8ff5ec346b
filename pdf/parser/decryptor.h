// What the lexer needs of the security handler: decrypt bytes in place for
// one object. The security layer implements it; the lexer only holds a
// pointer, so the parser does not depend on the security classes.
#pragma once

#include <cstdint>
#include <string>

namespace pagemint {

class TgtDecryptor {
 public:
  virtual ~TgtDecryptor() = default;
  // Decrypts data in place with the key of object (number, generation).
  virtual void DecryptData(std::string& data, int32_t number, int32_t generation) = 0;
};

}  // namespace pagemint
