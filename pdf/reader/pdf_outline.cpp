// SPDX-License-Identifier: GPL-3.0-or-later
#include "pdf/reader/pdf_outline.h"

namespace pagemint {

TgtPDFOutline::~TgtPDFOutline() {
  std::unique_ptr<TgtPDFOutline> sibling = std::move(next_);
  while (sibling) sibling = std::move(sibling->next_);
}

}  // namespace pagemint
