// SPDX-License-Identifier: GPL-3.0-or-later
// The source of an open document: the file (or buffer) it was read from,
// kept open until the document is closed, so that stream data can stay
// there until it is needed.
//
// While the document is being read, the lexer works on the source's bytes
// in memory (a mapped file). Once the structure has been read the mapping
// is dropped; stream data is read from then on with positioned reads, so a
// file that shrinks under an open document gives a clear error instead of
// a fault. Saving over the source is safe: the output goes to a new file
// that is renamed into place, and this source keeps reading the file it
// opened.
#pragma once

#include <cstdint>
#include <memory>

#include "pdf/objects/stream_source.h"
#include "pdf/parser/decryptor.h"
#include "platform/stream.h"

namespace pagemint {

class TgtDocumentSource final : public TgtStreamSource {
 public:
  explicit TgtDocumentSource(std::unique_ptr<TStream> stream) : stream_(std::move(stream)) {}

  // The source's stream; nullptr once closed.
  TStream* Stream() const { return stream_.get(); }
  // The decryptor that stream data read later is decrypted with (not
  // owned; the document state owns it and closes this source first).
  void SetDecryptor(TgtDecryptor* decryptor) { decryptor_ = decryptor; }
  // Nothing parses the source any more: only stream data is read from
  // now on, through positioned reads.
  void ReleaseView();
  // Drops the source's pages that the lexer has read from this process's
  // resident memory (see TFileStream::TrimView).
  void TrimView();
  // The document is closed: the file is closed, and streams that still
  // refer to it (copies taken out of the document) raise on reading.
  void Close();
  // The stream itself, for reading the file once more from the start; this
  // source is closed afterwards.
  std::unique_ptr<TStream> TakeStream() {
    decryptor_ = nullptr;
    return std::move(stream_);
  }

  bool ReadAt(int64_t offset, char* buffer, int64_t count) override;
  int64_t CopyTo(int64_t offset, int64_t count, TStream& out) override;
  void Decrypt(std::string& data, const TgtPDFDictObject* dictionary, int32_t number,
               int32_t generation) override;
  std::unique_ptr<TgtStreamCipher> DecryptCipher(const TgtPDFDictObject* dictionary,
                                                 int32_t number, int32_t generation) override;

 private:
  std::unique_ptr<TStream> stream_;
  TgtDecryptor* decryptor_ = nullptr;
};

}  // namespace pagemint
