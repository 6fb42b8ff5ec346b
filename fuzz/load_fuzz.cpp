// SPDX-License-Identifier: GPL-3.0-or-later
// Opens the input as a PDF document from memory: header, cross-reference
// data, object streams, decryption with the empty password and with a
// fixed one, and the whole structure; then writes it whole, as a save
// does. Any failure must be an Exception; a crash, a hang, a leak or an
// unbounded allocation is a finding.
#include <cstdint>
#include <string>

#include "pdf/document/pdf_document.h"
#include "platform/stream.h"

using namespace pagemint;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  TgtPDFDocument document;
  document.OnPassword = [](TgtCustomPDFDocument&, std::string& password, bool& go_on,
                           int32_t tries) {
    password = tries == 0 ? "" : "owner";
    go_on = tries < 2;
  };
  document.OnWarning = [](TgtCustomPDFDocument&, const std::string&) {};
  try {
    document.LoadFromBytes(std::string(reinterpret_cast<const char*>(data), size));
    // What the writer will walk must be sound after a load.
    for (int32_t page = 1; page <= document.PageCount(); ++page) document.ExtractPageObjects(page);
    TMemoryStream written;
    document.SaveToStream(written);
  } catch (const Exception&) {
  }
  return 0;
}
