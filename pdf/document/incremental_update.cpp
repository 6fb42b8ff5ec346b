// Saving as an incremental update: the source's bytes as they are, then the
// changed and new objects, a cross-reference section and a trailer.
#include "pdf/document/custom_pdf_document.h"
#include "pdf/objects/pdf_exceptions.h"

namespace pagemint {

std::string TgtCustomPDFDocument::IncrementalUpdateBlocker() const {
  return "incremental updates are not available yet";
}

bool TgtCustomPDFDocument::HasSignatures() const { return false; }

void TgtCustomPDFDocument::SaveIncremental(const std::string& file_name) {
  static_cast<void>(file_name);
  throw EPDFException(IncrementalUpdateBlocker());
}

}  // namespace pagemint
