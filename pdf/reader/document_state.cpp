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
}

void TgtPDFDocumentState::ReleaseSource() {
  reader.reset();
  source.reset();
}

}  // namespace pagemint
