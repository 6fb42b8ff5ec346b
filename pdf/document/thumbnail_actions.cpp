// SPDX-License-Identifier: GPL-3.0-or-later
// The thumbnail life cycle beyond attaching a picture: pictures from files,
// removal, pages rendered into thumbnails, and reading a thumbnail back.
//
// Rendering runs on worker threads, each with a renderer of its own (the
// renderer's documents are not shared between threads); a worker takes
// the next page, draws it and compresses its samples. The calling thread
// raises the progress event meanwhile, and attaches the results in page
// order once every page is done, so the written file does not depend on
// timing. Cancelling leaves every page as it was.
#include <algorithm>
#include <array>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <exception>
#include <filesystem>
#include <mutex>
#include <thread>

#include "pdf/document/custom_pdf_document.h"
#include "pdf/document/scanned_page.h"
#include "pdf/document/thumbnail.h"
#include "pdf/document/thumbnail_encoder.h"
#include "pdf/limits.h"
#include "pdf/objects/pdf_exceptions.h"
#include "pdf/security/encryption_settings.h"
#include "pdf/streams/filter_chain.h"
#include "picture/jpeg_image.h"
#include "picture/picture_file.h"
#include "picture/picture_limits.h"
#include "platform/messages.h"
#include "render/page_renderer.h"

namespace pagemint {

namespace {

// Workers beyond this gain nothing on any machine and each holds an open
// document; the bound keeps a wild job count from starting thousands of
// threads.
constexpr int32_t kMaxRenderWorkers = 64;
// The renderer copies the document's whole cross-reference table for each
// page it draws, so a page of a large document costs in proportion to the
// document: a document of this many objects or more is drawn a part of
// kPagesPerPart pages at a time, each part a document of its own
// (SavePagesForRenderer) in a process of its own.
constexpr int32_t kObjectsForParts = 8192;
constexpr size_t kPagesPerPart = 128;

TgtPDFDictObject& PageDictionary(TgtPDFDocumentState& state, int32_t page_number) {
  if (page_number < 1 || page_number > state.PageCount())
    throw EInvalidPageError(Format(msg::kInvalidPageNumber, page_number));
  return state.pages[static_cast<size_t>(page_number - 1)]->Content()->AsDictionary();
}

// One page's result, filled by a worker.
struct RenderResult {
  int32_t width = 0;
  int32_t height = 0;
  TEncodedThumbnail encoded;  // no data: the page failed
  std::string error;
  // The page ran past its time budget: it is not drawn a second time.
  bool timed_out = false;
  // Damage the renderer read past on a page it drew.
  int32_t trouble_count = 0;
  std::string trouble;
};

// Page numbers in ascending order as ranges ("3, 5-9"), the first few
// only: a warning stays one line however many pages it concerns.
std::string PageRanges(const std::vector<int32_t>& pages) {
  constexpr size_t kMaxRanges = 20;
  std::string text;
  size_t ranges = 0;
  for (size_t i = 0; i < pages.size(); ++ranges) {
    size_t end = i;
    while (end + 1 < pages.size() && pages[end + 1] == pages[end] + 1) ++end;
    if (ranges == kMaxRanges) return text + ", ...";
    if (!text.empty()) text += ", ";
    text += std::to_string(pages[i]);
    if (end > i) {
      text += '-';
      text += std::to_string(pages[end]);
    }
    i = end + 1;
  }
  return text;
}

// Opens a renderer on source that reads page_count pages; nullptr with
// the reason in trouble when it cannot.
std::unique_ptr<TPageRenderer> OpenRendererFor(const TRenderSource& source, int32_t page_count,
                                               std::string& trouble) {
  try {
    std::unique_ptr<TPageRenderer> renderer = OpenPageRenderer(source);
    if (renderer->PageCount() == page_count) return renderer;
    trouble = Format(msg::kRenderPageCountDiffers, renderer->PageCount(), page_count);
  } catch (const ERenderError& e) {
    trouble = e.Message();
  }
  return nullptr;
}

// The shared state of one rendering run.
class RenderRun {
 public:
  // plans, when given, holds for each page a scan drawn without the
  // renderer (or none).
  RenderRun(const TRenderSource& source, int32_t page_count, const std::vector<int32_t>& pages,
            int32_t size, const TgtThumbnailEncoding& encoding, const std::vector<TScanPlan>* plans)
      : source_(source),
        page_count_(page_count),
        pages_(pages),
        size_(size),
        encoding_(encoding),
        plans_(plans),
        results_(pages.size()) {}

  // Draws the pages a part of pages_per_part at a time, from copies of
  // document holding just those pages, instead of from the source.
  void DrawInParts(TgtCustomPDFDocument& document, size_t pages_per_part) {
    parts_document_ = &document;
    pages_per_part_ = pages_per_part;
  }

  // Starts workers threads; the first takes the renderer opened already, if
  // any; the others open theirs on their first page that is not a scan.
  void Start(int32_t workers, std::unique_ptr<TPageRenderer> first) {
    threads_.reserve(static_cast<size_t>(workers));
    threads_.emplace_back([this, r = first.release()] { Work(std::unique_ptr<TPageRenderer>(r)); });
    for (int32_t i = 1; i < workers; ++i) threads_.emplace_back([this] { Work(nullptr); });
  }
  // Stops taking pages and waits for the workers; safe to call twice.
  void Stop() {
    stop_.store(true);
    for (std::thread& thread : threads_)
      if (thread.joinable()) thread.join();
  }
  ~RenderRun() { Stop(); }

  // Waits until every page is done, a worker failed, or interval passed;
  // returns the pages done.
  size_t WaitFor(std::chrono::milliseconds interval) {
    std::unique_lock<std::mutex> lock(mutex_);
    done_changed_.wait_for(lock, interval,
                           [this] { return finished_ == pages_.size() || failure_; });
    return finished_;
  }
  bool Finished() {
    const std::lock_guard<std::mutex> lock(mutex_);
    return finished_ == pages_.size() || failure_;
  }
  void RethrowFailure() {
    if (failure_) std::rethrow_exception(failure_);
  }
  std::vector<RenderResult>& Results() { return results_; }

 private:
  void Work(std::unique_ptr<TPageRenderer> renderer) {
    try {
      if (parts_document_) {
        WorkInParts();
        return;
      }
      std::string opening_error;
      // The page after this one is taken before this one is drawn, so that
      // the renderer can draw it while this one is encoded.
      for (size_t i = next_.fetch_add(1); i < pages_.size() && !stop_.load();) {
        const size_t following = next_.fetch_add(1);
        if (!DrawScanned(i)) {
          Opened(renderer, opening_error);
          const int32_t ahead =
              following < pages_.size() && !Planned(following) ? pages_[following] - 1 : -1;
          Store(i, Rendered(renderer.get(), pages_[i] - 1, opening_error, ahead));
        }
        i = following;
      }
    } catch (...) {
      const std::lock_guard<std::mutex> lock(mutex_);
      if (!failure_) failure_ = std::current_exception();
      stop_.store(true);
      done_changed_.notify_one();
    }
  }

  // Takes parts (pages_per_part_ pages of pages_ each) until none is left:
  // draws its scans, then the other pages from a copy holding just them.
  void WorkInParts() {
    const size_t parts = (pages_.size() + pages_per_part_ - 1) / pages_per_part_;
    for (size_t part = next_.fetch_add(1); part < parts && !stop_.load();
         part = next_.fetch_add(1)) {
      const size_t begin = part * pages_per_part_;
      const size_t end = std::min(begin + pages_per_part_, pages_.size());
      std::vector<size_t> left;
      for (size_t i = begin; i < end && !stop_.load(); ++i)
        if (!DrawScanned(i)) left.push_back(i);
      if (left.empty() || stop_.load()) continue;
      std::vector<int32_t> numbers;
      for (const size_t i : left) numbers.push_back(pages_[i]);
      TMemoryStream copy;
      std::string opening_error;
      std::unique_ptr<TPageRenderer> renderer;
      try {
        const std::lock_guard<std::mutex> lock(read_mutex_);
        parts_document_->SavePagesForRenderer(numbers, copy);
      } catch (const Exception& e) {
        opening_error = e.Message();
      }
      if (opening_error.empty()) {
        TRenderSource source;
        source.timeout_ms = source_.timeout_ms;
        source.memory_limit = source_.memory_limit;
        source.bytes = std::string_view(static_cast<const char*>(copy.Memory()),
                                        static_cast<size_t>(copy.Size()));
        renderer = OpenRendererFor(source, static_cast<int32_t>(numbers.size()), opening_error);
      }
      for (size_t k = 0; k < left.size() && !stop_.load(); ++k)
        Store(left[k], Rendered(renderer.get(), static_cast<int32_t>(k), opening_error,
                                k + 1 < left.size() ? static_cast<int32_t>(k + 1) : -1));
    }
  }

  // Page i drawn from its scan's image when it has a plan; stored then.
  bool DrawScanned(size_t i) {
    TRenderedPage page;
    if (!DrawScan(i, page)) return false;
    RenderResult result;
    result.width = page.width;
    result.height = page.height;
    result.encoded = EncodeThumbnail(page.rgb, page.width, page.height, encoding_);
    Store(i, std::move(result));
    return true;
  }

  // Page index of what renderer has open, drawn and encoded; its error
  // (opening_error when there is no renderer) when it fails. Page ahead
  // (-1: none), the one this thread draws next, is asked for before this
  // one is encoded.
  RenderResult Rendered(TPageRenderer* renderer, int32_t index, const std::string& opening_error,
                        int32_t ahead) {
    RenderResult result;
    TRenderedPage page;
    const bool drawn = renderer && renderer->Render(index, size_, page);
    if (renderer && ahead >= 0 && !stop_.load()) renderer->Prefetch(ahead, size_);
    if (drawn) {
      result.width = page.width;
      result.height = page.height;
      result.encoded = EncodeThumbnail(page.rgb, page.width, page.height, encoding_);
      result.trouble_count = page.trouble_count;
      result.trouble = std::move(page.trouble);
    } else if (renderer) {
      result.error = renderer->LastError();
      result.timed_out = renderer->LastFailureTimedOut();
    } else {
      result.error = opening_error;
    }
    return result;
  }

  void Store(size_t i, RenderResult result) {
    const std::lock_guard<std::mutex> lock(mutex_);
    results_[i] = std::move(result);
    ++finished_;
    done_changed_.notify_one();
  }

  // Opens the thread's renderer when it has none and opening has not
  // failed before; false, with why in error, when there is none.
  bool Opened(std::unique_ptr<TPageRenderer>& renderer, std::string& error) const {
    if (!renderer && error.empty()) renderer = OpenRendererFor(source_, page_count_, error);
    return renderer != nullptr;
  }

  // Whether page i has a plan to be drawn from its scan's image.
  bool Planned(size_t i) const { return plans_ && (*plans_)[i].image; }

  // Page i drawn from its scan's image when it has a plan; false sends it
  // to the renderer. The image's data is read under a lock: the workers
  // share the document's source.
  bool DrawScan(size_t i, TRenderedPage& page) {
    if (!Planned(i)) return false;
    const TScanPlan& plan = (*plans_)[i];
    std::string data;
    try {
      const std::lock_guard<std::mutex> lock(read_mutex_);
      data = plan.image->ReadData();
    } catch (const Exception&) {
      return false;
    }
    page = TRenderedPage();
    if (!DrawScannedPage(data, plan, page.rgb)) return false;
    page.width = plan.width;
    page.height = plan.height;
    return true;
  }

  const TRenderSource& source_;
  const int32_t page_count_;
  const std::vector<int32_t>& pages_;
  const int32_t size_;
  const TgtThumbnailEncoding encoding_;
  const std::vector<TScanPlan>* plans_;
  TgtCustomPDFDocument* parts_document_ = nullptr;
  size_t pages_per_part_ = 0;
  std::mutex read_mutex_;
  std::vector<RenderResult> results_;
  std::vector<std::thread> threads_;
  std::atomic<size_t> next_{0};
  std::atomic<bool> stop_{false};
  std::mutex mutex_;
  std::condition_variable done_changed_;
  size_t finished_ = 0;
  std::exception_ptr failure_;
};

// The document as this engine writes it, in memory: unencrypted where the
// settings may be changed, else under its own security, which the password
// that opened it opens.
std::unique_ptr<TMemoryStream> WriteForRenderer(TgtCustomPDFDocument& document) {
  auto written = std::make_unique<TMemoryStream>();
  TgtPDFEncryptionSettings& encryption = document.Encryption();
  const bool encrypted = encryption.Enabled();
  bool changed = false;
  try {
    encryption.SetEnabled(false);
    changed = true;
  } catch (const Exception&) {
  }
  try {
    document.SaveToStream(*written);
  } catch (...) {
    if (changed) encryption.SetEnabled(encrypted);
    throw;
  }
  if (changed) encryption.SetEnabled(encrypted);
  return written;
}

TRenderSource BytesSource(TMemoryStream& bytes, const std::string& password, int32_t timeout_ms) {
  TRenderSource source;
  source.timeout_ms = timeout_ms;
  source.bytes = std::string_view(static_cast<const char*>(bytes.Memory()),
                                  static_cast<size_t>(bytes.Size()));
  source.password = password;
  return source;
}

// ---------------------------------------------------------------------------
// Reading a thumbnail back

int32_t IntegerOf(const TgtPDFObjectStore& store, TgtPDFObject* object) {
  const TgtPDFIntegerObject* value = store.FollowAs<TgtPDFIntegerObject>(object);
  return value ? value->Value() : 0;
}

// The samples of an image in the forms thumbnails come in: DeviceRGB,
// DeviceGray (and their calibrated and ICC-based kin), and Indexed over
// those, at 8 bits (1, 2, 4 and 8 for gray and indexed), through any of
// the engine's filters or DCT, with the /Decode array applied. Empty when
// the image is of another form or its data is short. The decode stops a
// little past the size the samples take, whatever the data inflates to.
std::string DecodeThumbnailSamples(const TgtPDFObjectStore& store, const TgtPDFStreamObject& stream,
                                   int32_t width, int32_t height) {
  TgtPDFDictObject& dict = stream.Dictionary();
  if (!stream.Data()) return {};
  if (const TgtPDFDictObject* parms = store.FollowAs<TgtPDFDictObject>(dict.Lookup("/DecodeParms")))
    if (IntegerOf(store, parms->Lookup("/Predictor")) > 1) return {};
  TgtPDFObject* filter = store.Follow(dict.Lookup("/Filter"));
  bool dct = false;
  if (filter) {
    const TgtFilterList list = FilterListFromObject(*filter);
    for (size_t i = 0; i < list.size(); ++i)
      if (list[i] == ftDCTDecode) dct = true;
  }

  // The colour space: components, and the palette of an indexed one.
  TgtPDFObject* space = store.Follow(dict.Lookup("/ColorSpace"));
  std::string palette;
  int components = 0;
  auto base_components = [&store](TgtPDFObject* base) {
    base = store.Follow(base);
    if (base && base->IsName()) {
      const std::string& name = base->AsName().Text();
      if (name == "/DeviceRGB" || name == "/CalRGB") return 3;
      if (name == "/DeviceGray" || name == "/CalGray") return 1;
    }
    if (base && base->IsArray() && base->AsArray().Count() >= 2) {
      TgtPDFObject* family = store.Follow(base->AsArray().ItemAt(0));
      TgtPDFObject* second = store.Follow(base->AsArray().ItemAt(1));
      if (family && family->IsName()) {
        const std::string& name = family->AsName().Text();
        if (name == "/CalRGB") return 3;
        if (name == "/CalGray") return 1;
        if (name == "/ICCBased" && second && second->IsStream()) {
          const int n = IntegerOf(store, second->AsStream().Dictionary().Lookup("/N"));
          return n == 1 || n == 3 ? n : 0;
        }
      }
    }
    return 0;
  };
  bool indexed = false;
  if (!dct && space && space->IsArray() && space->AsArray().Count() == 4) {
    TgtPDFObject* family = store.Follow(space->AsArray().ItemAt(0));
    if (family && family->IsName() &&
        (family->AsName().Text() == "/Indexed" || family->AsName().Text() == "/I")) {
      indexed = true;
      components = base_components(space->AsArray().ItemAt(1));
      TgtPDFObject* lookup = store.Follow(space->AsArray().ItemAt(3));
      if (lookup && lookup->IsString()) {
        palette = lookup->AsString().Bytes();
      } else if (lookup && lookup->IsStream() && lookup->AsStream().Data()) {
        TMemoryStream& table = *lookup->AsStream().Data();
        const int64_t at = table.Position();
        const std::unique_ptr<TMemoryStream> plain = DecodeStreamData(
            table, store.Follow(lookup->AsStream().Dictionary().Lookup("/Filter")),
            KnownSizeDecodeCap(kMaxPaletteSize));
        table.SetPosition(at);
        palette.assign(static_cast<const char*>(plain->Memory()),
                       static_cast<size_t>(plain->Size()));
      }
    }
  }
  if (!indexed) components = dct ? 3 : base_components(space);
  if (components == 0) return {};
  const int bits = dct ? 8 : IntegerOf(store, dict.Lookup("/BitsPerComponent"));
  const int channels = indexed ? 1 : components;
  if (bits != 8 && !(channels == 1 && (bits == 1 || bits == 2 || bits == 4))) return {};
  const size_t row_bytes = (static_cast<size_t>(width) * channels * bits + 7) / 8;
  const size_t pixels = static_cast<size_t>(width) * static_cast<size_t>(height);

  TMemoryStream& data = *stream.Data();
  const int64_t position = data.Position();
  std::unique_ptr<TMemoryStream> decoded = DecodeStreamData(
      data, filter, KnownSizeDecodeCap(static_cast<int64_t>(row_bytes * static_cast<size_t>(height))));
  data.SetPosition(position);
  const std::string_view bytes(static_cast<const char*>(decoded->Memory()),
                               static_cast<size_t>(decoded->Size()));

  // /Decode maps each channel's stored values linearly: onto 0 to 255 for
  // a colour, onto palette indices for an indexed image ([max 0] inverts).
  const int max_value = (1 << bits) - 1;
  std::array<std::array<uint8_t, 256>, 3> map{};
  const TgtPDFArrayObject* ranges = store.FollowAs<TgtPDFArrayObject>(dict.Lookup("/Decode"));
  for (int c = 0; c < 3; ++c) {
    const int pair = ranges && ranges->Count() >= 2 * (c + 1) ? c : 0;
    const double top = indexed ? max_value : 255;
    double low = 0, high = top;
    if (ranges && ranges->Count() >= 2 * (pair + 1)) {
      low = NumberValue(store.Follow(ranges->ItemAt(2 * pair))) * (indexed ? 1 : 255);
      high = NumberValue(store.Follow(ranges->ItemAt(2 * pair + 1))) * (indexed ? 1 : 255);
    }
    for (int v = 0; v <= max_value; ++v)
      map[c][v] = static_cast<uint8_t>(std::clamp(low + v * (high - low) / max_value + 0.5, 0.0, top));
  }

  std::string samples(pixels * 3, '\0');
  auto* out = reinterpret_cast<uint8_t*>(samples.data());
  if (dct) {
    TJPEGImage jpeg;
    jpeg.LoadFromBytes(bytes, "thumbnail");
    if (jpeg.Width() != width || jpeg.Height() != height) return {};
    const QImage rgb = jpeg.Image().convertToFormat(QImage::Format_RGB888);
    for (int y = 0; y < height; ++y) {
      const uint8_t* row = rgb.constScanLine(y);
      for (size_t i = 0; i < static_cast<size_t>(width) * 3; ++i, ++out) *out = map[i % 3][row[i]];
    }
    return samples;
  }
  if (bytes.size() < row_bytes * static_cast<size_t>(height)) return {};
  for (int32_t y = 0; y < height; ++y) {
    const auto* row = reinterpret_cast<const uint8_t*>(bytes.data()) + row_bytes * y;
    for (int32_t x = 0; x < width; ++x, out += 3) {
      if (channels == 3) {
        for (int c = 0; c < 3; ++c) out[c] = map[c][row[static_cast<size_t>(x) * 3 + c]];
        continue;
      }
      const size_t bit = static_cast<size_t>(x) * bits;
      const int value = map[0][(row[bit / 8] >> (8 - bits - bit % 8)) & max_value];
      if (!indexed) {
        out[0] = out[1] = out[2] = static_cast<uint8_t>(value);
        continue;
      }
      const size_t entry = static_cast<size_t>(value) * components;
      for (int c = 0; c < 3; ++c) {
        const size_t at = entry + (components == 3 ? c : 0);
        out[c] = at < palette.size() ? static_cast<uint8_t>(palette[at]) : 0;
      }
    }
  }
  return samples;
}

// How the image is stored, for listings: "JPEG" (DCT), "Indexed", "Gray"
// (one component) or "RGB".
std::string ThumbnailForm(const TgtPDFObjectStore& store, TgtPDFDictObject& dict) {
  if (TgtPDFObject* filter = store.Follow(dict.Lookup("/Filter"))) {
    const TgtFilterList list = FilterListFromObject(*filter);
    for (const auto kind : list)
      if (kind == ftDCTDecode) return "JPEG";
  }
  TgtPDFObject* space = store.Follow(dict.Lookup("/ColorSpace"));
  if (space && space->IsArray() && space->AsArray().Count() > 0) {
    TgtPDFObject* family = store.Follow(space->AsArray().ItemAt(0));
    if (family && family->IsName()) {
      const std::string& name = family->AsName().Text();
      if (name == "/Indexed" || name == "/I") return "Indexed";
      if (name == "/CalGray") return "Gray";
      if (name == "/ICCBased" && space->AsArray().Count() > 1) {
        TgtPDFObject* profile = store.Follow(space->AsArray().ItemAt(1));
        if (profile && profile->IsStream() &&
            IntegerOf(store, profile->AsStream().Dictionary().Lookup("/N")) == 1)
          return "Gray";
      }
    }
  }
  if (space && space->IsName() &&
      (space->AsName().Text() == "/DeviceGray" || space->AsName().Text() == "/G"))
    return "Gray";
  return "RGB";
}

}  // namespace

// ---------------------------------------------------------------------------

TRenderSource TgtCustomPDFDocument::RenderSource() const {
  TRenderSource source;
  source.password = accepted_password_.value_or(std::string());
  source.timeout_ms = RenderTimeout();
  // Bytes that have no file to be read from again stay in the document's
  // source, which is kept open until the document is closed.
  TStream* bytes =
      source_file_name_.empty() && state_->source ? state_->source->Stream() : nullptr;
  if (bytes != nullptr) {
    const TStream::MemoryView view = bytes->View();
    if (view)
      source.bytes = std::string_view(reinterpret_cast<const char*>(view.data),
                                      static_cast<size_t>(view.size));
    return source;
  }
  // A file changed since it was loaded is another document now: no source
  // then, and the caller renders the document as this engine writes it.
  std::error_code error;
  const auto size = std::filesystem::file_size(source_file_name_, error);
  const auto time = std::filesystem::last_write_time(source_file_name_, error);
  if (!error && static_cast<int64_t>(size) == source_file_size_ &&
      time.time_since_epoch().count() == source_file_time_)
    source.file_name = source_file_name_;
  return source;
}

void TgtCustomPDFDocument::SetThumbnailFromFile(int32_t page_number, const std::string& file_name,
                                                int32_t max_side) {
  TgtPDFDictObject& page = PageDictionary(*state_, page_number);
  const std::unique_ptr<TGraphic> bitmap = LoadThumbnailPicture(file_name, max_side);
  if (OnWarning &&
      (bitmap->Width() > kLargeThumbnailSide || bitmap->Height() > kLargeThumbnailSide))
    OnWarning(*this, Format(msg::kPictureLargeThumbnail, file_name.c_str(), bitmap->Width(),
                            bitmap->Height(), kLargeThumbnailSide));
  ReplaceThumbnail(page,
                   CreateImageXObject(*state_->store, DocumentSerial(), *bitmap, std::string()));
}

void TgtCustomPDFDocument::RemoveThumbnail(int32_t page_number) {
  ReplaceThumbnail(PageDictionary(*state_, page_number), nullptr);
}

int32_t TgtCustomPDFDocument::RenderThumbnails(const std::vector<int32_t>& page_numbers,
                                               int32_t size, int32_t jobs) {
  RefuseReadForUpdate();
  if (size < kMinThumbnailSize || size > kMaxThumbnailSize)
    throw EThumbnailError(
        Format(msg::kThumbnailSizeRange, size, kMinThumbnailSize, kMaxThumbnailSize));
  std::vector<int32_t> pages = page_numbers;
  if (pages.empty())
    for (int32_t page = 1; page <= PageCount(); ++page) pages.push_back(page);
  for (const int32_t page : pages) PageDictionary(*state_, page);
  std::sort(pages.begin(), pages.end());
  pages.erase(std::unique(pages.begin(), pages.end()), pages.end());
  if (pages.empty()) return 0;

  int32_t workers = jobs > 0 ? jobs : static_cast<int32_t>(std::thread::hardware_concurrency());
  workers = std::clamp<int32_t>(workers, 1, kMaxRenderWorkers);

  // Renders list from source with a first renderer opened already; raises
  // the progress event meanwhile and EOperationCancelled when asked to.
  auto render = [&](const TRenderSource& source, const std::vector<int32_t>& list,
                    std::unique_ptr<TPageRenderer> first, const std::vector<TScanPlan>* plans,
                    bool in_parts = false) {
    RenderRun run(source, PageCount(), list, size, thumbnail_encoding_, plans);
    if (in_parts) run.DrawInParts(*this, kPagesPerPart);
    run.Start(std::min<int32_t>(workers, static_cast<int32_t>(list.size())), std::move(first));
    try {
      BeginWork(TgtWorkStep::Render);
      const std::chrono::milliseconds interval(kWorkReportIntervalMs);
      while (!run.Finished())
        ReportWork(TgtWorkStep::Render, static_cast<double>(run.WaitFor(interval)) / list.size(),
                   false);
      run.Stop();
      run.RethrowFailure();
      ReportWork(TgtWorkStep::Render, 1.0, true);
    } catch (const EOperationCancelled&) {
      run.Stop();
      throw EOperationCancelled(msg::kRenderCancelled);
    }
    return std::move(run.Results());
  };

  // The source as it was loaded first. The renderer may not read it as this
  // engine did (damage our reader repairs, page objects it refuses, a page
  // count of its own: its page i would then not be the document's page i);
  // the document as this engine writes it is rendered instead, for the
  // whole document or for the pages that failed.
  // Scans are drawn from their images; the plans are made here, where the
  // document may be read, and only the images' data is read by workers.
  std::vector<TScanPlan> plans(pages.size());
  size_t scans = 0;
  for (size_t i = 0; i < pages.size(); ++i)
    if (PlanScannedPage(*state_->store, PageDictionary(*state_, pages[i]), size, plans[i]))
      ++scans;
  const TRenderSource loaded = RenderSource();
  // One process per worker that has pages to draw, all started at once:
  // past the first, a process is a copy of an idle one, ready in about a
  // millisecond.
  auto processes_for = [&](size_t count) {
    return static_cast<int32_t>(std::min<size_t>(static_cast<size_t>(workers), count));
  };

  std::string trouble;
  std::unique_ptr<TMemoryStream> written;
  TRenderSource source = loaded;
  source.processes = processes_for(pages.size() - scans);
  const std::string password = source.password;
  // A large document is drawn from copies of a part of its pages at a time
  // (kObjectsForParts); they are written unencrypted, so only a document
  // saved so is, and one without a form, whose fields a part would miss.
  const bool in_parts = !Encryption().Enabled() && !state_->catalog->acro_form &&
                        state_->store->Count() >= kObjectsForParts &&
                        pages.size() - scans >= 2 * kPagesPerPart;
  // A document of scans only may need no renderer at all.
  std::unique_ptr<TPageRenderer> first =
      scans < pages.size() && !in_parts ? OpenRendererFor(source, PageCount(), trouble) : nullptr;
  if (!first && scans < pages.size() && !in_parts) {
    written = WriteForRenderer(*this);
    source = BytesSource(*written, password, RenderTimeout());
    source.processes = processes_for(pages.size() - scans);
    std::string second_trouble;
    first = OpenRendererFor(source, PageCount(), second_trouble);
    if (!first) throw ERenderError(Format(msg::kRenderUnavailable, trouble.c_str()));
  }
  std::vector<RenderResult> results = render(source, pages, std::move(first), &plans, in_parts);
  if (!written) {
    std::vector<int32_t> failed;
    std::vector<size_t> where;
    for (size_t i = 0; i < pages.size(); ++i)
      if (!results[i].encoded.data && !results[i].timed_out) {
        failed.push_back(pages[i]);
        where.push_back(i);
      }
    if (!failed.empty()) {
      // The pages that did render stay rendered whatever happens here.
      try {
        written = WriteForRenderer(*this);
      } catch (const Exception&) {
        written.reset();
      }
      TRenderSource again;
      if (written) {
        again = BytesSource(*written, password, RenderTimeout());
        again.processes = processes_for(failed.size());
      }
      if (std::unique_ptr<TPageRenderer> second =
              written ? OpenRendererFor(again, PageCount(), trouble) : nullptr) {
        std::vector<RenderResult> retried = render(again, failed, std::move(second), nullptr);
        for (size_t k = 0; k < failed.size(); ++k)
          if (retried[k].encoded.data) results[where[k]] = std::move(retried[k]);
      }
    }
  }

  int32_t attached = 0;
  std::vector<int32_t> damaged;
  int64_t reports = 0;
  std::string first_report;
  for (size_t i = 0; i < pages.size(); ++i) {
    TgtPDFDictObject& page = PageDictionary(*state_, pages[i]);
    RenderResult& result = results[i];
    if (!result.encoded.data) {
      if (OnWarning)
        OnWarning(*this,
                  Format(msg::kRenderPageFailed, pages[i], result.error.c_str(),
                         page.Lookup("/Thumb") ? msg::kRenderKeepsOld : msg::kRenderKeepsNone));
      continue;
    }
    ReplaceThumbnail(page, RegisterEncodedThumbnail(*state_->store, DocumentSerial(),
                                                    std::move(result.encoded), std::string()));
    ++attached;
    if (result.trouble_count > 0) {
      if (damaged.empty()) first_report = result.trouble;
      damaged.push_back(pages[i]);
      reports += result.trouble_count;
    }
  }
  if (!damaged.empty() && OnWarning)
    OnWarning(*this, Format(msg::kRenderPagesDamaged, PageRanges(damaged).c_str(),
                            static_cast<long long>(reports), first_report.c_str()));
  return attached;
}

TgtThumbnailImage TgtCustomPDFDocument::Thumbnail(int32_t page_number, bool with_samples) const {
  TgtPDFDictObject& page = PageDictionary(*state_, page_number);
  TgtThumbnailImage image;
  const TgtPDFObjectStore& store = *state_->store;
  try {
    TgtPDFObject* thumb = store.Follow(page.Lookup("/Thumb"));
    if (!thumb || !thumb->IsStream()) return image;
    const TgtPDFStreamObject& stream = thumb->AsStream();
    const int32_t width = IntegerOf(store, stream.Dictionary().Lookup("/Width"));
    const int32_t height = IntegerOf(store, stream.Dictionary().Lookup("/Height"));
    if (width < 1 || height < 1 || !PictureSizeAllowed(width, height)) return image;
    image.form = ThumbnailForm(store, stream.Dictionary());
    if (with_samples) {
      image.rgb = DecodeThumbnailSamples(store, stream, width, height);
      if (image.rgb.empty()) return image;
    }
    image.width = width;
    image.height = height;
  } catch (const Exception&) {
    image = TgtThumbnailImage();
  }
  return image;
}

}  // namespace pagemint
