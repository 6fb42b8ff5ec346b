// One string's or one stream's cipher, fed in pieces: for copying stream
// data in chunks from the source to the output, decrypting and encrypting
// on the way. RC4 simply continues its key stream; AES-CBC takes the IV
// from the head of the data (decrypting) or writes it first (encrypting),
// and Final deals with the padding.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>

namespace pagemint {

class TgtStreamCipher {
 public:
  virtual ~TgtStreamCipher() = default;
  // Appends what the piece gives (AES may hold bytes back until Final).
  virtual void Update(const uint8_t* data, size_t size, std::string& out) = 0;
  void Update(std::string_view data, std::string& out) {
    Update(reinterpret_cast<const uint8_t*>(data.data()), data.size(), out);
  }
  // Appends the rest. False when decrypting met unsound data (a bad AES
  // padding, a partial block); what could be decrypted is kept.
  virtual bool Final(std::string& out) = 0;
};

// key: the object's RC4 key (1 to 16 bytes).
std::unique_ptr<TgtStreamCipher> MakeRc4StreamCipher(std::string_view key);
// key: 16 or 32 bytes; iv: 16 bytes, used when encrypting.
std::unique_ptr<TgtStreamCipher> MakeAesStreamCipher(std::string_view key, bool encrypt,
                                                     std::string_view iv = {});

}  // namespace pagemint
