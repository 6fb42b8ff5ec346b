// What the lexer needs of the security handler: decrypt bytes in place for
// one object. The security layer implements it; the lexer only holds a
// pointer, so the parser does not depend on the security classes.
#pragma once

#include <cstdint>
#include <string>

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
};

}  // namespace pagemint
