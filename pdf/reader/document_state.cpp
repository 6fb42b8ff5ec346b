// SPDX-License-Identifier: GPL-3.0-or-later
#include "pdf/reader/document_state.h"

#include "pdf/security/security.h"

namespace pagemint {

TgtPDFDocumentState::TgtPDFDocumentState()
    : serial(NextDocumentSerial()), encryption(MakeDefaultEncryptionSettings()) {}

TgtPDFDocumentState::~TgtPDFDocumentState() {
  // The reader points at the source and the outline items at the page
  // list; free them before what they point to.
  reader.reset();
  outline_root.reset();
  // Streams copied out of the document may still refer to the source; it
  // is closed here, before the decryptor it uses goes.
  if (source) source->Close();
}

void TgtPDFDocumentState::ReleaseSource() {
  reader.reset();
  if (source) source->ReleaseView();
}

}  // namespace pagemint
