// SPDX-License-Identifier: GPL-3.0-or-later
// Enumerations shared by the reader, the component and the writer.
#pragma once

#include <cstdint>

namespace pagemint {

enum TgtPDFVersion : uint8_t {
  pvPDF10,
  pvPDF11,
  pvPDF12,
  pvPDF13,
  pvPDF14,
  pvPDF15,
  pvPDF16,
  pvPDF17,
  pvPDF20,
};

enum TgtPageMode : uint8_t {
  pmNone,
  pmUseOutlines,
  pmUseThumbs,
  pmFullScreen,
  pmUseAttachments,
};

enum TgtPageLayout : uint8_t {
  plNone,
  plSinglePage,
  plOneColumn,
  plTwoColumnLeft,
  plTwoColumnRight,
};

// The catalog names of the page modes and layouts, indexed by the
// enumeration value ("/UseNone", "/None" for the first entries).
inline constexpr const char* kPageModeNames[] = {"/UseNone", "/UseOutlines", "/UseThumbs",
                                                 "/FullScreen", "/UseAttachments"};
inline constexpr const char* kPageLayoutNames[] = {"/None", "/SinglePage", "/OneColumn",
                                                   "/TwoColumnLeft", "/TwoColumnRight"};

}  // namespace pagemint
