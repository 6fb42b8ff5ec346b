// SPDX-License-Identifier: GPL-3.0-or-later
// Where a stream's data stays until something needs it.
//
// A stream read from a file holds the place of its raw bytes in the file
// (offset, length) and whether they are encrypted, not a copy of them. The
// bytes are read when a caller asks for the data (decoding an object
// stream, reading a content stream) or when the writer copies them to the
// output, chunk by chunk, decrypting and encrypting on the way.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>

#include "platform/stream.h"

namespace pagemint {

class TgtPDFDictObject;

// A cipher run over one string's or one stream's data from start to end,
// piece by piece. A stream cipher (RC4) transforms each piece as it comes;
// a block cipher (AES-CBC) takes the IV from the head of the data
// (decrypting) or writes it first (encrypting), may hold back an incomplete
// block until Final, and deals with the padding there.
class TgtStreamCipher {
 public:
  virtual ~TgtStreamCipher() = default;
  // The size of the whole output for input bytes in all, or -1 when it is
  // known only at the end (decryption that removes padding).
  virtual int64_t OutputSize(int64_t input) const = 0;
  // How many bytes from the end of the input tell the whole output's size
  // when OutputSize cannot (0: nothing can); OutputSizeFromEnd then gives
  // it from them, or -1 when they are unsound.
  virtual size_t EndNeeded() const { return 0; }
  virtual int64_t OutputSizeFromEnd(int64_t input, std::string_view end) const {
    (void)end;
    return OutputSize(input);
  }
  // Appends the output for the next size bytes to out.
  virtual void Update(const uint8_t* data, size_t size, std::string& out) = 0;
  void Update(std::string_view data, std::string& out) {
    Update(reinterpret_cast<const uint8_t*>(data.data()), data.size(), out);
  }
  // Appends the rest. False when decrypting met unsound data (a bad AES
  // padding, a partial block); what could be decrypted is kept.
  virtual bool Final(std::string& out) = 0;
};

// The file (or buffer) a document was read from, as its streams see it.
class TgtStreamSource {
 public:
  virtual ~TgtStreamSource() = default;
  // Reads exactly count bytes at offset into buffer; false when the
  // source holds fewer (a file that shrank since it was opened) or has
  // been closed.
  virtual bool ReadAt(int64_t offset, char* buffer, int64_t count) = 0;
  // Copies up to count raw bytes at offset straight to out's position (file
  // to file inside the system); returns how many, 0 when it cannot.
  virtual int64_t CopyTo(int64_t /*offset*/, int64_t /*count*/, TStream& /*out*/) { return 0; }
  // Decrypts one stream's whole data in place, for object (number,
  // generation); its dictionary picks the crypt filter (or none).
  virtual void Decrypt(std::string& data, const TgtPDFDictObject* dictionary, int32_t number,
                       int32_t generation) = 0;
  // A cipher that decrypts one stream's data chunk by chunk, or nullptr
  // when its data is not encrypted or only whole-buffer decryption is
  // available.
  virtual std::unique_ptr<TgtStreamCipher> DecryptCipher(const TgtPDFDictObject* dictionary,
                                                         int32_t number, int32_t generation) = 0;
};

// The place of one stream's raw data in its source.
struct TgtStreamExtent {
  std::shared_ptr<TgtStreamSource> source;
  int64_t offset = 0;
  int64_t length = 0;
  int32_t number = 0;
  uint16_t generation = 0;
  bool encrypted = false;
};

}  // namespace pagemint
