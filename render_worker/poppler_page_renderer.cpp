// SPDX-License-Identifier: GPL-3.0-or-later
// TPageRenderer over Poppler's Qt 6 binding, drawing with its Splash
// backend: the same drawing as the poppler command-line tools.
//
// The document is read through a device of ours: a buffered file, or the
// loaded bytes where they stay. The binding's own file reading asks the
// system for a few hundred bytes at a time, which costs more than drawing
// a page of large images; its loading from memory copies the whole
// document for every renderer.
//
// Drawing a page has a time budget, checked through Poppler's abort
// callback, which it calls between drawing operations; a stream that never
// ends inside one operation (a decompression bomb in the content) is
// stopped by the client, which ends the process.
//
// Poppler's documents are not shared between threads, so each renderer
// opens its own. Opening and closing documents is serialised here: the
// binding creates its process-wide settings with the first open document
// and frees them with the last one.
#include <poppler-qt6.h>

#include <QBuffer>
#include <QByteArray>
#include <QFile>
#include <QImage>
#include <QString>
#include <algorithm>
#include <chrono>
#include <cstdint>
#include <cstring>
#include <mutex>

#include "platform/messages.h"
#include "render_worker/poppler_page_renderer.h"

namespace pagemint {

namespace {

std::mutex g_open_close;

// Poppler reports damage it reads past through one function for the whole
// process, on the thread that reads; by default the reports go to Qt's
// debug output, that is standard error. Each renderer collects the reports
// made on its thread while it opens the document or draws a page, so that
// they reach the user as part of a warning naming the page.
struct PopplerReports {
  int32_t count = 0;
  std::string first;
  std::string last;
};
thread_local PopplerReports* t_reports = nullptr;

// A damaged file makes Poppler report thousands of times; only the first
// and the last report are kept, cut to this length.
constexpr qsizetype kMaxReportLength = 200;

void CollectPopplerMessage(const QString& message, const QVariant&) {
  PopplerReports* reports = t_reports;
  if (!reports) return;
  std::string text = message.left(kMaxReportLength).simplified().toStdString();
  if (reports->count == 0) reports->first = text;
  reports->last = std::move(text);
  if (reports->count < INT32_MAX) ++reports->count;
}

// Collects the reports made on this thread while it lives.
class CollectReports {
 public:
  explicit CollectReports(PopplerReports& reports) : previous_(t_reports) {
    reports = PopplerReports();
    t_reports = &reports;
  }
  ~CollectReports() { t_reports = previous_; }
  CollectReports(const CollectReports&) = delete;
  CollectReports& operator=(const CollectReports&) = delete;

 private:
  PopplerReports* previous_;
};

// A reason followed by the renderer's own report, when it made one.
std::string WithReport(const char* reason, const std::string& report) {
  return report.empty() ? std::string(reason) : std::string(reason) + ": " + report;
}

void QuietPoppler() {
  static std::once_flag once;
  std::call_once(once, [] { Poppler::setDebugErrorFunction(CollectPopplerMessage, QVariant()); });
}

// Copies the rendered picture's pixels into packed RGB samples.
bool ToSamples(const QImage& image, TRenderedPage& page) {
  const int width = image.width();
  const int height = image.height();
  if (width < 1 || height < 1) return false;
  const size_t row_bytes = static_cast<size_t>(width) * 3;
  page.width = width;
  page.height = height;
  page.rgb.resize(row_bytes * static_cast<size_t>(height));
  auto* out = reinterpret_cast<uint8_t*>(page.rgb.data());
  const QImage::Format format = image.format();
  if (format == QImage::Format_RGB32 || format == QImage::Format_ARGB32) {
    // The paper is opaque white, so alpha is always full here.
    for (int y = 0; y < height; ++y) {
      const auto* in = reinterpret_cast<const QRgb*>(image.constScanLine(y));
      for (int x = 0; x < width; ++x, out += 3) {
        out[0] = static_cast<uint8_t>(in[x] >> 16);
        out[1] = static_cast<uint8_t>(in[x] >> 8);
        out[2] = static_cast<uint8_t>(in[x]);
      }
    }
    return true;
  }
  const QImage rgb = image.convertToFormat(QImage::Format_RGB888);
  if (rgb.isNull()) return false;
  for (int y = 0; y < height; ++y)
    std::memcpy(out + row_bytes * static_cast<size_t>(y), rgb.constScanLine(y), row_bytes);
  return true;
}

// The time budget of one page, read by Poppler's abort callback.
struct PageDeadline {
  std::chrono::steady_clock::time_point at;
  bool passed = false;
};

bool DeadlinePassed(const QVariant& closure) {
  auto* deadline = reinterpret_cast<PageDeadline*>(closure.value<quintptr>());
  if (!deadline->passed && std::chrono::steady_clock::now() >= deadline->at)
    deadline->passed = true;
  return deadline->passed;
}

class PopplerPageRenderer final : public TPageRenderer {
 public:
  PopplerPageRenderer(std::unique_ptr<QIODevice> device,
                      std::unique_ptr<Poppler::Document> document, int32_t timeout_ms)
      : device_(std::move(device)), document_(std::move(document)), timeout_ms_(timeout_ms) {
    document_->setRenderBackend(Poppler::Document::SplashBackend);
    document_->setRenderHint(Poppler::Document::Antialiasing, true);
    document_->setRenderHint(Poppler::Document::TextAntialiasing, true);
    document_->setPaperColor(Qt::white);
  }
  ~PopplerPageRenderer() override {
    const std::lock_guard<std::mutex> lock(g_open_close);
    document_.reset();
  }

  int32_t PageCount() const override { return document_->numPages(); }

  bool Render(int32_t index, int32_t longer_side, TRenderedPage& page) override {
    page = TRenderedPage();
    timed_out_ = false;
    if (index < 0 || index >= document_->numPages())
      return Fail(Format(msg::kRenderNoSuchPage, document_->numPages()));
    PopplerReports reports;
    const CollectReports collect(reports);
    const std::unique_ptr<Poppler::Page> source = document_->page(index);
    if (!source) return Fail(WithReport(msg::kRenderPageUnreadable, reports.last));
    const QSizeF size = source->pageSizeF();
    const double longer = std::max(size.width(), size.height());
    if (!(longer > 0) || !(std::min(size.width(), size.height()) > 0))
      return Fail(msg::kRenderPageNoSize);
    // Points are 1/72 inch: this resolution makes the longer side
    // longer_side pixels.
    const double dpi = 72.0 * longer_side / longer;
    PageDeadline deadline{std::chrono::steady_clock::now() +
                          std::chrono::milliseconds(timeout_ms_)};
    const QImage image =
        timeout_ms_ > 0
            ? source->renderToImage(dpi, dpi, -1, -1, -1, -1, Poppler::Page::Rotate0, nullptr,
                                    nullptr, DeadlinePassed,
                                    QVariant::fromValue(reinterpret_cast<quintptr>(&deadline)))
            : source->renderToImage(dpi, dpi);
    if (deadline.passed) {
      timed_out_ = true;
      return Fail(Format(msg::kRenderWorkerTimeout, timeout_ms_ / 1000.0));
    }
    if (image.isNull() || !ToSamples(image, page))
      return Fail(WithReport(msg::kRenderPageNotDrawn, reports.last));
    page.trouble_count = reports.count;
    page.trouble = std::move(reports.first);
    return true;
  }

  const std::string& LastError() const override { return error_; }
  bool LastFailureTimedOut() const override { return timed_out_; }

 private:
  bool Fail(std::string message) {
    error_ = std::move(message);
    return false;
  }

  // Read by the document until it is closed.
  std::unique_ptr<QIODevice> device_;
  std::unique_ptr<Poppler::Document> document_;
  const int32_t timeout_ms_;
  std::string error_;
  bool timed_out_ = false;
};

// A read-only device over bytes that stay where they are.
class BytesDevice final : public QBuffer {
 public:
  explicit BytesDevice(std::string_view bytes)
      : bytes_(QByteArray::fromRawData(bytes.data(), static_cast<qsizetype>(bytes.size()))) {
    setBuffer(&bytes_);
  }

 private:
  QByteArray bytes_;
};

}  // namespace

void KeepRendererSettings(std::string_view document) {
  QuietPoppler();
  const std::lock_guard<std::mutex> lock(g_open_close);
  static Poppler::Document* kept = nullptr;  // never closed
  if (!kept)
    kept = Poppler::Document::load(QByteArray::fromRawData(
                                       document.data(), static_cast<qsizetype>(document.size())))
               .release();
}

std::unique_ptr<TPageRenderer> OpenPopplerRenderer(const TRenderSource& source) {
  QuietPoppler();
  const QByteArray password(source.password.data(), static_cast<qsizetype>(source.password.size()));
  std::unique_ptr<QIODevice> device;
  if (!source.bytes.empty())
    device = std::make_unique<BytesDevice>(source.bytes);
  else
    device = std::make_unique<QFile>(QString::fromStdString(source.file_name));
  if (!device->open(QIODevice::ReadOnly)) throw ERenderError(msg::kRenderCannotOpen);
  std::unique_ptr<Poppler::Document> document;
  PopplerReports reports;
  {
    const CollectReports collect(reports);
    const std::lock_guard<std::mutex> lock(g_open_close);
    document = Poppler::Document::load(device.get(), password, password);
  }
  if (!document) throw ERenderError(WithReport(msg::kRenderCannotOpen, reports.last));
  if (document->isLocked()) {
    const std::lock_guard<std::mutex> lock(g_open_close);
    document.reset();
    throw ERenderError(msg::kRenderLocked);
  }
  return std::make_unique<PopplerPageRenderer>(std::move(device), std::move(document),
                                               source.timeout_ms);
}

}  // namespace pagemint
