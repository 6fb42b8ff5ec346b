// SPDX-License-Identifier: GPL-3.0-or-later
#include "pdf/reader/pdf_catalog.h"

namespace pagemint {

void TgtPDFViewerPreferences::SetDictionary(std::unique_ptr<TgtPDFDictObject> dictionary) {
  dictionary_ = dictionary ? std::move(dictionary) : std::make_unique<TgtPDFDictObject>();
}

bool TgtPDFViewerPreferences::Flag(const char* key) const {
  const TgtPDFObject* value = dictionary_->Lookup(key);
  return value && value->IsBoolean() && value->AsBoolean().Value();
}

void TgtPDFViewerPreferences::SetFlag(const char* key, bool on) {
  if (on)
    dictionary_->SetBoolean(key, true);
  else
    dictionary_->Remove(key);
}

}  // namespace pagemint
