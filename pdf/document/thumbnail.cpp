// SPDX-License-Identifier: GPL-3.0-or-later
#include "pdf/document/thumbnail.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <vector>

#include <zlib.h>

#include "pdf/document/custom_pdf_document.h"
#include "pdf/document/thumbnail_encoder.h"
#include "pdf/reader/object_store.h"
#include "pdf/streams/zlib_streams.h"
#include "picture/graphic.h"
#include "picture/jpeg_image.h"
#include "picture/picture_file.h"
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
  const QImage& image = bitmap.Image();
  const int width = image.width();
  const int height = image.height();
  const size_t row_bytes = static_cast<size_t>(width) * 3;
  std::string samples(row_bytes * static_cast<size_t>(height), '\0');
  if (image.format() == QImage::Format_RGB32) {
    // The display's format, which every loaded bitmap and every canvas
    // has: each pixel goes straight to its three samples, without a
    // 24-bit copy of the whole picture in between.
    for (int y = 0; y < height; ++y) {
      const auto* src = reinterpret_cast<const QRgb*>(image.constScanLine(y));
      auto* dst = reinterpret_cast<uint8_t*>(samples.data()) + row_bytes * static_cast<size_t>(y);
      for (int x = 0; x < width; ++x, dst += 3) {
        const QRgb p = src[x];
        dst[0] = static_cast<uint8_t>(p >> 16);
        dst[1] = static_cast<uint8_t>(p >> 8);
        dst[2] = static_cast<uint8_t>(p);
      }
    }
  } else if (width > 0 && height > 0) {
    // Any other format goes through Qt's conversion to 24 bits, which
    // expands palettes and lower depths; Qt's red-green-blue layout saves
    // swapping blue and red by hand.
    const QImage copy = image.convertToFormat(QImage::Format_RGB888);
    if (copy.isNull()) throw EInvalidGraphic(Format(msg::kPictureOutOfMemory, width, height));
    for (int y = 0; y < height; ++y)
      std::memcpy(samples.data() + row_bytes * static_cast<size_t>(y), copy.constScanLine(y),
                  row_bytes);
  }
  return std::make_unique<TMemoryStream>(std::move(samples));
}

int64_t DeflateStream(TMemoryStream& source, TStream& destination) {
  const int64_t start = destination.Position();
  TCompressionStream z(clNormal, destination);  // zlib's default level
  z.WriteBuffer(source.Memory(), source.Size());
  z.Finish();
  return destination.Position() - start;
}

namespace {

// zlib's compressor state, kept per thread and reset for each thumbnail:
// setting it up anew costs a few hundred kilobytes of fresh memory, more
// than compressing a thumbnail's samples.
class Deflater {
 public:
  Deflater() { ready_ = deflateInit(&z_, Z_DEFAULT_COMPRESSION) == Z_OK; }
  ~Deflater() {
    if (ready_) deflateEnd(&z_);
  }
  Deflater(const Deflater&) = delete;
  Deflater& operator=(const Deflater&) = delete;

  // The zlib stream of samples; false when zlib fails.
  bool Compress(std::string_view samples, std::string& out) {
    if (!ready_ || deflateReset(&z_) != Z_OK) return false;
    out.resize(deflateBound(&z_, static_cast<uLong>(samples.size())));
    z_.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(samples.data()));
    z_.avail_in = static_cast<uInt>(samples.size());
    z_.next_out = reinterpret_cast<Bytef*>(out.data());
    z_.avail_out = static_cast<uInt>(out.size());
    if (deflate(&z_, Z_FINISH) != Z_STREAM_END) return false;
    out.resize(out.size() - z_.avail_out);
    return true;
  }

 private:
  z_stream z_{};
  bool ready_ = false;
};

}  // namespace

std::unique_ptr<TMemoryStream> CompressSamples(std::string_view samples) {
  thread_local Deflater deflater;
  std::string compressed;
  if (samples.size() < (1u << 30) && deflater.Compress(samples, compressed))
    return std::make_unique<TMemoryStream>(std::move(compressed));
  auto output = std::make_unique<TMemoryStream>();
  {
    TCompressionStream z(clNormal, *output);
    z.WriteBuffer(samples.data(), static_cast<int64_t>(samples.size()));
    z.Finish();
  }
  output->SetPosition(0);
  return output;
}

std::unique_ptr<TgtPDFIndirectReference> RegisterImageXObject(
    TgtPDFObjectStore& store, uint32_t serial, int32_t width, int32_t height,
    std::unique_ptr<TMemoryStream> compressed, const std::string& resource_name) {
  auto dict = std::make_unique<TgtPDFDictObject>();
  dict->AddName("/Type", "/XObject");
  dict->AddName("/Subtype", "/Image");
  dict->AddName("/Name", resource_name);  // nothing when empty
  dict->AddInteger("/Width", width);
  dict->AddInteger("/Height", height);
  dict->AddInteger("/BitsPerComponent", 8);
  dict->AddName("/ColorSpace", "/DeviceRGB");
  dict->AddName("/Filter", "/FlateDecode");
  dict->AddInt64("/Length", compressed->Size());
  compressed->SetPosition(0);

  const int32_t number = store.NextObjectNumber();
  auto stream = std::make_unique<TgtPDFStreamObject>(std::move(dict), std::move(compressed));
  auto object = std::make_unique<TgtPDFIndirectObject>(serial, number, 0, std::move(stream));
  return store.Add(std::move(object))->MakeReference();
}

std::unique_ptr<TgtPDFIndirectReference> CreateImageXObject(TgtPDFObjectStore& store,
                                                            uint32_t serial,
                                                            const TGraphic& picture,
                                                            const std::string& resource_name) {
  // A baseline JPEG shown at its own size keeps its own data: a reader
  // decodes the same samples from a fraction of the bytes.
  if (const auto* jpeg = dynamic_cast<const TJPEGImage*>(&picture);
      jpeg != nullptr && !jpeg->BaselineData().empty()) {
    TEncodedThumbnail own;
    own.width = jpeg->Width();
    own.height = jpeg->Height();
    own.dct = true;
    own.components = jpeg->BaselineGray() ? 1 : 3;
    own.data = std::make_unique<TMemoryStream>(jpeg->BaselineData());
    return RegisterEncodedThumbnail(store, serial, std::move(own), resource_name);
  }
  const std::unique_ptr<TBitmap> bitmap = WorkingBitmap(picture);
  const std::unique_ptr<TMemoryStream> samples = BitmapToRGB(*bitmap);
  const std::string_view rgb(static_cast<const char*>(samples->Memory()),
                             static_cast<size_t>(samples->Size()));
  return RegisterEncodedThumbnail(
      store, serial,
      EncodeThumbnail(rgb, bitmap->Width(), bitmap->Height(), TgtThumbnailEncoding(), true),
      resource_name);
}

std::unique_ptr<TGraphic> LoadThumbnailPicture(const std::string& file_name, int max_side) {
  std::unique_ptr<TFileStream> file;
  try {
    file = std::make_unique<TFileStream>(file_name, TFileMode::fmOpenRead);
  } catch (const Exception& e) {
    throw EInvalidGraphic(e.Message());
  }
  std::string_view bytes;
  const TStream::MemoryView view = file->View();
  if (view) bytes = std::string_view(reinterpret_cast<const char*>(view.data), view.size);
  if (DetectPictureKind(bytes, file_name) != TPictureKind::Jpeg)
    return PictureOnWhite(*LoadPictureBytes(bytes, file_name, nullptr, max_side), max_side, file_name);
  auto jpeg = std::make_unique<TJPEGImage>();
  TJpegHeader header;
  const int longer = ReadJpegHeader(bytes, header) ? std::max(header.width, header.height) : 0;
  if (max_side > 0 && longer > max_side) {
    // The size PictureOnWhite scales to; the decoded picture covers it.
    const double scale = static_cast<double>(max_side) / longer;
    jpeg->LoadScaled(bytes, file_name, static_cast<int>(std::lround(header.width * scale)),
                     static_cast<int>(std::lround(header.height * scale)));
    return PictureOnWhite(*jpeg, max_side, file_name);
  }
  jpeg->LoadFromBytes(bytes, file_name);
  if (!jpeg->BaselineData().empty() && (max_side <= 0 || std::max(jpeg->Width(), jpeg->Height()) <= max_side))
    return jpeg;
  return PictureOnWhite(*jpeg, max_side, file_name);
}

// The old image is simply no longer referred to from the page: the writer
// writes what the trailer reaches, so it is left out unless something else
// still refers to it.
void ReplaceThumbnail(TgtPDFDictObject& page, std::unique_ptr<TgtPDFIndirectReference> image) {
  if (const int32_t index = page.IndexOfKey("/Thumb"); index >= 0) {
    if (image)
      page.PutValueAt(index, std::move(image));
    else
      page.DeleteAt(index);
  } else if (image) {
    page.SetValue("/Thumb", std::move(image));
  }
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
  ReplaceThumbnail(dict, std::move(image));
}

}  // namespace pagemint
