// SPDX-License-Identifier: GPL-3.0-or-later
// One field of the interactive form, as the form reader describes it.
// Only the form features outside the thumbnail workflow use the list; the
// form's objects themselves are in the store.
#pragma once

#include <string>

#include "pdf/objects/pdf_objects.h"

namespace pagemint {

struct TgtAcroFormField {
  TgtPDFIndirectObject* object = nullptr;      // the field's registered object
  std::string partial_name;                    // /T
  std::string qualified_name;                  // parent names joined with "."
  std::string field_type;                      // /FT, without the slash
  std::string default_appearance;              // /DA, inherited
  TgtPDFDictObject* font_resources = nullptr;  // /DR /Font, inherited; not owned
};

}  // namespace pagemint
