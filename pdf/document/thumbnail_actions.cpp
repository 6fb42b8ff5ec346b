// The thumbnail life cycle beyond attaching a picture: pictures from files,
// removal, rendering pages, and reading a thumbnail back.
#include "pdf/document/custom_pdf_document.h"
#include "platform/exception.h"

namespace pagemint {

void TgtCustomPDFDocument::SetThumbnailFromFile(int32_t, const std::string&, int32_t) {
  throw Exception("Pictures from files are not available yet.");
}

void TgtCustomPDFDocument::RemoveThumbnail(int32_t) {
  throw Exception("Removing thumbnails is not available yet.");
}

int32_t TgtCustomPDFDocument::RenderThumbnails(const std::vector<int32_t>&, int32_t, int32_t) {
  throw Exception("Rendering thumbnails is not available yet.");
}

TgtThumbnailImage TgtCustomPDFDocument::Thumbnail(int32_t, bool) const { return {}; }

}  // namespace pagemint
