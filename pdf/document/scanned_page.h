// SPDX-License-Identifier: GPL-3.0-or-later
// Scanned pages drawn straight from their image, without the renderer.
//
// A scan is a page whose visible content is one JPEG (DCTDecode) image in
// DeviceGray or DeviceRGB, placed upright by a scaling matrix, possibly
// under invisible text (render mode 3, as OCR leaves it). Its thumbnail is
// the image decoded at a reduced size by libjpeg (1/8, 1/4, 1/2), averaged
// down to the pixels the image covers and set on white paper, as the
// renderer would draw it. Anything else on the page, or about the image,
// that such a drawing would not reproduce (rotation, a crop box smaller
// than the media box, clipping, masks, /Decode, other colour spaces,
// annotations, optional content, transparency) leaves the page to the
// renderer.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace pagemint {

class TgtPDFObjectStore;
class TgtPDFDictObject;
class TgtPDFStreamObject;

struct TScanPlan {
  const TgtPDFStreamObject* image = nullptr;
  int components = 0;        // 1 or 3, as the colour space says
  int32_t image_width = 0;   // as its dictionary says
  int32_t image_height = 0;
  int32_t width = 0;         // the thumbnail, in pixels
  int32_t height = 0;
  int32_t x0 = 0, y0 = 0;    // the pixels the image covers, from the top left;
  int32_t x1 = 0, y1 = 0;    // x1 and y1 exclusive, possibly beyond the page
};

// Whether page (a page dictionary of store) is a scan this module draws
// at longer_side pixels; fills plan when it is. Reads the page's content
// and stops at the first thing it does not draw. Never throws for damage:
// a page it cannot read is simply not planned.
bool PlanScannedPage(const TgtPDFObjectStore& store, const TgtPDFDictObject& page,
                     int32_t longer_side, TScanPlan& plan);

// Draws a planned page from the image's data (the JPEG): packed RGB, rows
// from the top, plan.width x plan.height. False when the data does not
// decode as the image's dictionary says (the renderer takes the page).
bool DrawScannedPage(std::string_view jpeg, const TScanPlan& plan, std::string& rgb);

}  // namespace pagemint
