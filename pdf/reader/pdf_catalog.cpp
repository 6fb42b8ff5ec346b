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

std::string TgtPDFViewerPreferences::Text() const {
  static constexpr const char* kKeys[] = {"/HideToolbar",
                                          "/HideMenubar",
                                          "/HideWindowUI",
                                          "/FitWindow",
                                          "/CenterWindow",
                                          "/DisplayDocTitle",
                                          "/NonFullScreenPageMode",
                                          "/Direction",
                                          "/ViewArea",
                                          "/ViewClip",
                                          "/PrintArea",
                                          "/PrintClip"};
  std::string lines;
  for (const char* key : kKeys) {
    const TgtPDFObject* value = dictionary_->Lookup(key);
    if (!value) continue;
    if (value->IsBoolean() && value->AsBoolean().Value())
      lines += std::string(key) + " true\r\n";
    else if (value->IsName())
      lines += std::string(key) + " " + value->AsName().Text() + "\r\n";
  }
  return lines.empty() ? std::string() : "<<\r\n" + lines + ">>";
}

}  // namespace pagemint
