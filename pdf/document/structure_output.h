// SPDX-License-Identifier: GPL-3.0-or-later
// The document-level objects a save builds afresh from the component's
// state rather than copying them from the source: the catalog (object 1),
// the flat page tree root (object 3) and the outline items.
#pragma once

#include <functional>
#include <string>
#include <vector>

#include "pdf/objects/object_text.h"
#include "pdf/reader/document_state.h"
#include "pdf/reader/object_store.h"

namespace pagemint {

inline constexpr int32_t kCatalogNumber = 1;
inline constexpr int32_t kInfoNumber = 2;
inline constexpr int32_t kPageTreeNumber = 3;

// The catalog's dictionary text: /Type, /Pages, /Metadata, /PageMode,
// /PageLayout, /Names, /Outlines, /ViewerPreferences, /AcroForm,
// /OpenAction, /AA in this order, each when it has a value, then the
// other entries kept from the source catalog in their source order.
void AppendCatalogText(std::string& out, const TgtPDFDocumentState& state,
                       const TgtTextContext& context);

// The page tree root's dictionary text: /Type /Pages, /Count and /Kids
// with every page of the page list as a direct kid, under the numbers the
// writer gave them (page_numbers, in page order; 0 is written "null").
void AppendPageTreeText(std::string& out, const std::vector<int32_t>& page_numbers);

// Whether the document holds digital signatures: its form's /SigFlags has
// bit 1 (signatures exist) set, or a signature field (/FT /Sig) has a
// value. Saving rewrites every byte the signatures cover, so they no
// longer verify afterwards.
bool HoldsSignatures(const TgtPDFDocumentState& state);

// Rebuilds the outline items of state into store (the writer's temporary
// store) and points the catalog's /Outlines at the root. Items whose
// destination is a page object no longer in the page list are dropped
// with their children. warn receives the warnings of the rebuild.
void RebuildOutlines(TgtPDFDocumentState& state, TgtPDFObjectStore& store,
                     const std::function<void(const char*)>& warn);

}  // namespace pagemint
