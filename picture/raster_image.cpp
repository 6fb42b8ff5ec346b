// SPDX-License-Identifier: GPL-3.0-or-later
#include "picture/raster_image.h"

#include <unistd.h>

#include <QBuffer>
#include <QByteArray>
#include <QImageReader>
#include <QPainter>
#include <algorithm>
#include <atomic>
#include <cstdio>
#include <mutex>

#include "picture/picture_limits.h"
#include "picture/png_chunks.h"
#include "platform/messages.h"

namespace pagemint {

namespace {

struct FormatInfo {
  const char* class_name;
  const char* kind;       // in messages
  const char* qt_format;  // QImageReader's name
};

constexpr FormatInfo kFormats[] = {
    {"TPngImage", "PNG", "png"},
    {"TGifImage", "GIF", "gif"},
    {"TTiffImage", "TIFF", "tiff"},
    {"TWebPImage", "WebP", "webp"},
};

const FormatInfo& InfoOf(TRasterImage::Kind kind) { return kFormats[static_cast<size_t>(kind)]; }

// Qt's readers report damage through Qt's message handler, which prints on
// standard error. While this thread decodes, its messages are caught here
// instead; other threads' messages go on to the handler that was installed
// before.
thread_local std::string* t_caught = nullptr;
std::atomic<QtMessageHandler> g_previous_handler{nullptr};

void CatchMessage(QtMsgType type, const QMessageLogContext& context, const QString& text) {
  if (t_caught != nullptr) {
    if (t_caught->empty()) *t_caught = text.toStdString();
    return;
  }
  if (const QtMessageHandler previous = g_previous_handler.load()) previous(type, context, text);
}

class CatchQtMessages {
 public:
  explicit CatchQtMessages(std::string& caught) {
    t_caught = &caught;
    const QtMessageHandler previous = qInstallMessageHandler(CatchMessage);
    if (previous != CatchMessage) {
      g_previous_handler.store(previous);
      installed_ = true;
    }
  }
  ~CatchQtMessages() {
    if (installed_) qInstallMessageHandler(g_previous_handler.load());
    t_caught = nullptr;
  }
  CatchQtMessages(const CatchQtMessages&) = delete;
  CatchQtMessages& operator=(const CatchQtMessages&) = delete;

 private:
  bool installed_ = false;
};

// libpng's errors and libtiff's messages do not pass through Qt: those
// libraries write to standard error themselves. While a picture is decoded
// the process's standard error goes to a temporary file instead, and what
// was written there becomes part of our message. Pictures are decoded on
// one thread at a time (the caller's); the renderer's threads print
// nothing.
class CatchStandardError {
 public:
  CatchStandardError() {
    std::fflush(stderr);
    file_ = std::tmpfile();
    saved_ = file_ ? ::dup(STDERR_FILENO) : -1;
    if (saved_ < 0 || ::dup2(::fileno(file_), STDERR_FILENO) < 0) Restore();
  }
  ~CatchStandardError() { Restore(); }
  CatchStandardError(const CatchStandardError&) = delete;
  CatchStandardError& operator=(const CatchStandardError&) = delete;

  // The first line written, at most a few hundred bytes of it.
  std::string FirstLine() {
    if (!file_ || saved_ < 0) return {};
    std::fflush(stderr);
    char line[256] = {};
    std::rewind(file_);
    if (!std::fgets(line, sizeof line, file_)) return {};
    std::string text(line);
    while (!text.empty() && (text.back() == '\n' || text.back() == '\r')) text.pop_back();
    return text;
  }

 private:
  void Restore() {
    if (saved_ >= 0) {
      std::fflush(stderr);
      ::dup2(saved_, STDERR_FILENO);
      ::close(saved_);
      saved_ = -1;
    }
    if (file_) {
      std::fclose(file_);
      file_ = nullptr;
    }
  }

  std::FILE* file_ = nullptr;
  int saved_ = -1;
};

// Qt refuses images above its own allocation limit; it is set to the
// largest picture held whole (picture_limits.h) at 8 bytes a pixel (16-bit
// samples with alpha), so that Qt's check and ours agree.
void SetQtAllocationLimit() {
  static std::once_flag once;
  std::call_once(once, [] {
    QImageReader::setAllocationLimit(static_cast<int>((kMaxWholePicturePixels * 8) >> 20));
  });
}

}  // namespace

const char* TRasterImage::ClassName() const { return InfoOf(kind_).class_name; }

void TRasterImage::LoadFromBytes(std::string_view bytes, const std::string& name) {
  const FormatInfo& info = InfoOf(kind_);
  auto fail = [&](const std::string& reason) {
    throw EInvalidGraphic(Format(msg::kImageInvalid, info.kind, name.c_str(), reason.c_str()));
  };
  SetQtAllocationLimit();
  // Asked once: Qt lists its image plugins anew on each call.
  static const QList<QByteArray> supported = QImageReader::supportedImageFormats();
  if (!supported.contains(QByteArray(info.qt_format)))
    fail(Format(msg::kImageNoPlugin, info.kind));

  if (kind_ == Kind::Png)
    if (const std::string trouble = PngChunkTrouble(bytes); !trouble.empty()) fail(trouble);
  QByteArray data = QByteArray::fromRawData(bytes.data(), static_cast<qsizetype>(bytes.size()));
  QBuffer buffer(&data);
  buffer.open(QIODevice::ReadOnly);
  std::string caught;
  QImage image;
  {
    CatchStandardError printed;
    const CatchQtMessages catcher(caught);
    QImageReader reader(&buffer, info.qt_format);
    reader.setDecideFormatFromContent(false);
    reader.setAutoTransform(false);
    // Qt's readers decode whole (a reader that offers a scaled size still
    // decodes the whole picture first), so the whole-picture limit applies
    // whatever size the picture is wanted at.
    const QSize size = reader.size();
    if (size.isValid() && !PictureSizeAllowed(size.width(), size.height()))
      fail(PictureTooLargeText(size.width(), size.height()));
    if (size.isValid() && !PictureWholeAllowed(size.width(), size.height()))
      fail(PictureTooLargeWholeText(size.width(), size.height()));
    if (!reader.read(&image) || image.isNull()) {
      std::string reason = msg::kImageUnreadable;
      if (caught.empty()) caught = printed.FirstLine();
      if (!caught.empty()) reason += " (" + caught + ")";
      fail(reason);
    }
  }
  if (!PictureWholeAllowed(image.width(), image.height()))
    fail(PictureTooLargeWholeText(image.width(), image.height()));
  QImage converted = image.convertToFormat(QImage::Format_ARGB32_Premultiplied);
  if (converted.isNull()) fail(Format(msg::kPictureOutOfMemory, image.width(), image.height()));
  image = QImage();
  // A picture wanted smaller is kept at the smaller size. Scaled only now:
  // scaling 16-bit samples would first copy them whole.
  const int max_side = LoadMaxSide();
  if (max_side > 0 && std::max(converted.width(), converted.height()) > max_side)
    converted = converted.scaled(max_side, max_side, Qt::KeepAspectRatio, Qt::SmoothTransformation);
  image_ = std::move(converted);
}

void TRasterImage::Draw(TBitmap& canvas, int x, int y) const {
  if (image_.isNull() || canvas.Image().isNull()) return;
  QPainter painter(&canvas.Image());
  painter.drawImage(x, y, image_);
}

}  // namespace pagemint
