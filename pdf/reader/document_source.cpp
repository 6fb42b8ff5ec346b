// SPDX-License-Identifier: GPL-3.0-or-later
#include "pdf/reader/document_source.h"

#include "platform/exception.h"
#include "platform/messages.h"

namespace pagemint {

void TgtDocumentSource::ReleaseView() {
  if (auto* file = dynamic_cast<TFileStream*>(stream_.get())) file->ReleaseView();
}

void TgtDocumentSource::TrimView() {
  if (auto* file = dynamic_cast<TFileStream*>(stream_.get())) file->TrimView();
}

void TgtDocumentSource::Close() {
  stream_.reset();
  decryptor_ = nullptr;
}

bool TgtDocumentSource::ReadAt(int64_t offset, char* buffer, int64_t count) {
  if (count <= 0) return true;
  return stream_ && stream_->ReadAt(offset, buffer, count) == count;
}

int64_t TgtDocumentSource::CopyTo(int64_t offset, int64_t count, TStream& out) {
  return stream_ ? out.CopyRangeFrom(*stream_, offset, count) : 0;
}

void TgtDocumentSource::Decrypt(std::string& data, const TgtPDFDictObject* dictionary,
                                int32_t number, int32_t generation) {
  if (!decryptor_) throw EFileError(Format(msg::kSourceDataMissing, number));
  if (!data.empty()) decryptor_->DecryptStreamData(data, dictionary, number, generation);
}

std::unique_ptr<TgtStreamCipher> TgtDocumentSource::DecryptCipher(
    const TgtPDFDictObject* dictionary, int32_t number, int32_t generation) {
  if (!decryptor_) throw EFileError(Format(msg::kSourceDataMissing, number));
  return decryptor_->StreamCipher(dictionary, number, generation);
}

}  // namespace pagemint
