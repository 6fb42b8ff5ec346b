// SPDX-License-Identifier: GPL-3.0-or-later
#include "pdf/reader/decryption_setup.h"

#include <optional>

#include "pdf/security/security.h"

namespace pagemint {
namespace {

// The first /ID string, of any length; the keys use its bytes as they are.
std::optional<std::string> FileIdentifier(const TgtPDFTrailer& trailer) {
  if (!trailer.id || trailer.id->Count() == 0) return std::nullopt;
  const TgtPDFObject* first = trailer.id->ItemAt(0);
  if (!first || !first->IsString()) return std::nullopt;
  return first->AsString().Bytes();
}

}  // namespace

bool SetupDecryption(TgtPDFDocumentState& state, const std::string& password,
                     TgtReadReporter* reporter) {
  if (!state.trailer.encrypt || !state.trailer.encrypt->IsDictionary()) return false;
  std::unique_ptr<TgtPDFDecrypt> decryptor =
      MakeDecryptor(state.trailer.encrypt->AsDictionary(), FileIdentifier(state.trailer));
  if (reporter) {
    decryptor->SetWarningSink([reporter](const std::string& message) {
      if (reporter->WantsWarnings()) reporter->Warning(message);
    });
  }
  if (state.reader) state.reader->SetDecryptor(decryptor.get());
  if (state.source) state.source->SetDecryptor(decryptor.get());
  state.decryptor = std::move(decryptor);
  state.decryptor->ApplyDictionary(*state.encryption);
  return state.decryptor->Authenticate(*state.encryption, password);
}

}  // namespace pagemint
