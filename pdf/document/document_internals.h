// SPDX-License-Identifier: GPL-3.0-or-later
// The component's internals (the reader's state and the loader), for the
// engine's own tests. Callers of the engine use the public side of
// TgtCustomPDFDocument only.
#pragma once

#include "pdf/document/custom_pdf_document.h"

namespace pagemint {

struct TgtDocumentInternals {
  static TgtPDFDocumentState& State(const TgtCustomPDFDocument& document) {
    return document.State();
  }
  static TgtObjectLoader& Loader(const TgtCustomPDFDocument& document) {
    return document.Loader();
  }
};

}  // namespace pagemint
