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

namespace pagemint {

// A cipher run over one stream's data from start to end, chunk by chunk.
// A stream cipher (RC4) transforms each chunk as it comes; a block cipher
// (AES-CBC) may hold back an incomplete block until Final.
class TgtStreamCipher {
 public:
  virtual ~TgtStreamCipher() = default;
  // The size of the whole output for input bytes in all, or -1 when it is
  // known only at the end (decryption that removes padding).
  virtual int64_t OutputSize(int64_t input) const = 0;
  // Appends the output for the next size bytes to out.
  virtual void Update(const char* data, size_t size, std::string& out) = 0;
  // Appends what was held back (and any padding) to out.
  virtual void Final(std::string& out) = 0;
};

// The file (or buffer) a document was read from, as its streams see it.
class TgtStreamSource {
 public:
  virtual ~TgtStreamSource() = default;
  // Reads exactly count bytes at offset into buffer; false when the
  // source holds fewer (a file that shrank since it was opened) or has
  // been closed.
  virtual bool ReadAt(int64_t offset, char* buffer, int64_t count) = 0;
  // Decrypts one stream's whole data in place, for object (number,
  // generation).
  virtual void Decrypt(std::string& data, int32_t number, int32_t generation) = 0;
  // A cipher that decrypts one stream's data chunk by chunk, or nullptr
  // when only whole-buffer decryption is available.
  virtual std::unique_ptr<TgtStreamCipher> DecryptCipher(int32_t number, int32_t generation) = 0;
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
