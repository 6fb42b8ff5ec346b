#include "pdf/document/thumbnail.h"

#include <cstring>

#include "pdf/document/custom_pdf_document.h"
#include "pdf/reader/object_store.h"
#include "pdf/streams/zlib_streams.h"
#include "picture/graphic.h"
#include "platform/messages.h"

namespace pagemint {

namespace {

bool IsDrawnKind(const TGraphic& picture) {
  const std::string kind = picture.ClassName();
  return kind == "TJPEGImage" || kind == "TMetafile" || kind == "TIcon";
}

// The working bitmap: a copy of a bitmap, or the picture drawn onto a white
// bitmap of its own size.
std::unique_ptr<TBitmap> WorkingBitmap(const TGraphic& picture) {
  auto bitmap = std::make_unique<TBitmap>();
  if (const auto* source = dynamic_cast<const TBitmap*>(&picture);
      source != nullptr && std::string(picture.ClassName()) == "TBitmap") {
    bitmap->Assign(*source);
    return bitmap;
  }
  if (!IsDrawnKind(picture))
    throw EUnsupportedImageError(Format(msg::kUnsupportedImageFormat, picture.ClassName()));
  bitmap->SetSize(picture.Width(), picture.Height());
  picture.Draw(*bitmap, 0, 0);
  return bitmap;
}

}  // namespace

std::unique_ptr<TMemoryStream> BitmapToRGB(const TBitmap& bitmap) {
  // The conversion makes the private 24-bit copy; Qt's red-green-blue
  // layout saves swapping blue and red by hand.
  const QImage copy = bitmap.Image().convertToFormat(QImage::Format_RGB888);
  const int width = copy.width();
  const int height = copy.height();
  const size_t row_bytes = static_cast<size_t>(width) * 3;
  std::string samples(row_bytes * static_cast<size_t>(height), '\0');
  for (int y = 0; y < height; ++y)
    std::memcpy(samples.data() + row_bytes * static_cast<size_t>(y), copy.constScanLine(y), row_bytes);
  return std::make_unique<TMemoryStream>(std::move(samples));
}

int64_t DeflateStream(TMemoryStream& source, TStream& destination) {
  const int64_t start = destination.Position();
  TCompressionStream z(clNormal, destination);  // zlib's default level
  z.WriteBuffer(source.Memory(), source.Size());
  z.Finish();
  return destination.Position() - start;
}

std::unique_ptr<TgtPDFIndirectReference> CreateImageXObject(TgtPDFObjectStore& store, uint32_t serial,
                                                            const TGraphic& picture,
                                                            const std::string& resource_name) {
  auto output = std::make_unique<TMemoryStream>();
  const std::unique_ptr<TBitmap> bitmap = WorkingBitmap(picture);
  {
    const std::unique_ptr<TMemoryStream> samples = BitmapToRGB(*bitmap);
    DeflateStream(*samples, *output);
  }
  auto dict = std::make_unique<TgtPDFDictObject>();
  dict->AddName("/Type", "/XObject");
  dict->AddName("/Subtype", "/Image");
  dict->AddName("/Name", resource_name);  // nothing when empty
  dict->AddInteger("/Width", bitmap->Width());
  dict->AddInteger("/Height", bitmap->Height());
  dict->AddInteger("/BitsPerComponent", 8);
  dict->AddName("/ColorSpace", "/DeviceRGB");
  dict->AddName("/Filter", "/FlateDecode");
  dict->AddInt64("/Length", output->Size());
  output->SetPosition(0);

  const int32_t number = store.NextObjectNumber();
  auto stream = std::make_unique<TgtPDFStreamObject>(std::move(dict), std::move(output));
  auto object = std::make_unique<TgtPDFIndirectObject>(serial, number, 0, std::move(stream), true);
  return store.Add(std::move(object))->MakeReference();
}

void TgtCustomPDFDocument::SetThumbnail(int32_t page_number, TGraphic& picture) {
  if (page_number < 1 || page_number > PageCount())
    throw EInvalidPageError(Format(msg::kInvalidPageNumber, page_number));
  TgtPDFIndirectObject* page = State().pages[static_cast<size_t>(page_number - 1)];
  TgtPDFDictObject& dict = page->Content()->AsDictionary();
  // The page changes only once the image object exists: a picture that
  // fails to decode leaves the page as it was.
  std::unique_ptr<TgtPDFIndirectReference> image =
      CreateImageXObject(*State().store, DocumentSerial(), picture, std::string());
  dict.SetValue("/Thumb", std::move(image));
}

}  // namespace pagemint
