// SPDX-License-Identifier: GPL-3.0-or-later
// The rest of the component's class chain. The two middle classes carry
// the drawing, text and attachment features outside the thumbnail
// workflow; TgtPDFDocument is the class that is instantiated.
#pragma once

#include <functional>
#include <string>

#include "pdf/document/custom_pdf_document.h"

namespace pagemint {

class TgtExPDFDocument : public TgtCustomPDFDocument {
 public:
  using TgtAttachmentNameChangeEvent = std::function<void(
      TgtCustomPDFDocument& sender, const std::string& old_name, std::string& new_name)>;

  TgtAttachmentNameChangeEvent OnAttachmentNameChange;

 protected:
  // The form field list is part of the document state and goes with it.
  void ReleaseDocumentState() override { TgtCustomPDFDocument::ReleaseDocumentState(); }
  void CollectReferencedObjects(std::vector<std::unique_ptr<TgtPDFIndirectObject>>& list,
                                const TgtPDFObject* object) override {
    TgtCustomPDFDocument::CollectReferencedObjects(list, object);
  }
  void InitDocumentState() override { TgtCustomPDFDocument::InitDocumentState(); }
};

class TgtExProPDFDocument : public TgtExPDFDocument {
 public:
  using TgtRenderTextEvent =
      std::function<void(TgtCustomPDFDocument& sender, std::u16string& text)>;

  TgtRenderTextEvent OnRenderText;
  bool CustomRenderText() const { return custom_render_text_; }
  void SetCustomRenderText(bool value) { custom_render_text_ = value; }

 private:
  bool custom_render_text_ = false;
};

class TgtPDFDocument : public TgtExProPDFDocument {};

}  // namespace pagemint
