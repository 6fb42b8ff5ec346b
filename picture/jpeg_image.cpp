// SPDX-License-Identifier: GPL-3.0-or-later
// JPEG decoding through libjpeg's classic API.
//
// libjpeg reports a fatal error by calling error_exit, whose default ends
// the process. Ours formats libjpeg's message and jumps back to the one
// place that set the jump (DecodeGuarded), which frees the decompressor.
// Between setjmp and longjmp only C frames and our callbacks run, and the
// frame that holds the jump keeps all its state in a job object owned by
// the caller, so no C++ destructor is skipped and no local is clobbered.
#include "picture/jpeg_image.h"

#include <QPainter>
#include <algorithm>
#include <csetjmp>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
// jpeglib.h needs size_t and FILE declared first.
#include <jpeglib.h>

#include "picture/picture_limits.h"
#include "platform/messages.h"

namespace pagemint {

namespace {

// Real encoders write at most a few dozen scans; a hostile progressive file
// can repeat tiny scans thousands of times, each one a pass over the whole
// image.
constexpr int kMaxProgressiveScans = 1000;

// Bytes of working memory libjpeg may take on top of the output: the
// coefficient buffers of a progressive image, up to 8 bytes a pixel for
// four components, plus tables and row buffers.
constexpr int64_t kJpegBytesPerPixel = 8;
constexpr int64_t kJpegMemorySlack = 64 << 20;

struct ErrorManager {
  jpeg_error_mgr pub;  // first, so that libjpeg's pointer is ours too
  jmp_buf jump;
  char message[JMSG_LENGTH_MAX];
  char warning[JMSG_LENGTH_MAX];
};

struct ProgressManager {
  jpeg_progress_mgr pub;  // first, for the same reason
  ErrorManager* err;
};

enum class Outcome {
  kDecoded,
  kLibraryError,
  kTooLarge,
  kComponents,
  kOutOfMemory,
  kScaledTooLarge
};

struct DecodeJob {
  const uint8_t* data = nullptr;
  size_t size = 0;
  QImage* image = nullptr;
  // Scaled decoding: the least output size wanted (0: the whole size).
  int min_width = 0;
  int min_height = 0;
  // Filled from the header: whether the data could be handed on as it is.
  bool baseline = false;
  bool gray = false;
  jpeg_decompress_struct cinfo{};
  ErrorManager err{};
  ProgressManager progress{};
  Outcome outcome = Outcome::kDecoded;
};

void ErrorExit(j_common_ptr cinfo) {
  auto* err = reinterpret_cast<ErrorManager*>(cinfo->err);
  (*cinfo->err->format_message)(cinfo, err->message);
  std::longjmp(err->jump, 1);
}

// Warnings (level -1) are kept, the first one as text; trace messages are
// dropped. Nothing is written to stderr.
void EmitMessage(j_common_ptr cinfo, int level) {
  if (level >= 0) return;
  auto* err = reinterpret_cast<ErrorManager*>(cinfo->err);
  if (err->warning[0] == '\0') (*cinfo->err->format_message)(cinfo, err->warning);
  ++cinfo->err->num_warnings;
}

void OutputMessage(j_common_ptr) {}

void ProgressMonitor(j_common_ptr cinfo) {
  const auto* d = reinterpret_cast<j_decompress_ptr>(cinfo);
  if (d->input_scan_number <= kMaxProgressiveScans) return;
  auto* err = reinterpret_cast<ProgressManager*>(cinfo->progress)->err;
  std::snprintf(err->message, sizeof err->message, msg::kJpegTooManyScans, kMaxProgressiveScans);
  std::longjmp(err->jump, 1);
}

void InstallManagers(DecodeJob& job) {
  job.cinfo.err = jpeg_std_error(&job.err.pub);
  job.err.pub.error_exit = ErrorExit;
  job.err.pub.emit_message = EmitMessage;
  job.err.pub.output_message = OutputMessage;
  job.progress.pub.progress_monitor = ProgressMonitor;
  job.progress.err = &job.err;
}

// Ink amounts to RGB. Adobe's writers store CMYK inverted (255 = no ink);
// the Adobe marker says so.
void CmykRowToRgb(const JSAMPLE* cmyk, uint8_t* rgb, JDIMENSION width, bool inverted) {
  for (JDIMENSION x = 0; x < width; ++x, cmyk += 4, rgb += 3) {
    const unsigned k = inverted ? cmyk[3] : 255u - cmyk[3];
    for (int i = 0; i < 3; ++i) {
      const unsigned c = inverted ? cmyk[i] : 255u - cmyk[i];
      rgb[i] = static_cast<uint8_t>((c * k + 127) / 255);
    }
  }
}

// Picks the output colour space; false when the components are not ones
// this decoder turns into RGB.
bool ChooseOutput(jpeg_decompress_struct& c) {
  switch (c.jpeg_color_space) {
    case JCS_GRAYSCALE:
    case JCS_YCbCr:
    case JCS_RGB:
      c.out_color_space = JCS_RGB;
      return true;
    case JCS_CMYK:
    case JCS_YCCK:
      c.out_color_space = JCS_CMYK;
      return true;
    default:
      return false;
  }
}

void ReadRows(DecodeJob& job) {
  jpeg_decompress_struct& c = job.cinfo;
  const bool cmyk = c.out_color_space == JCS_CMYK;
  JSAMPARRAY buffer = nullptr;
  if (cmyk)
    buffer = (*c.mem->alloc_sarray)(reinterpret_cast<j_common_ptr>(&c), JPOOL_IMAGE,
                                    c.output_width * 4, 1);
  while (c.output_scanline < c.output_height) {
    const int y = static_cast<int>(c.output_scanline);
    JSAMPROW row = cmyk ? buffer[0] : job.image->scanLine(y);
    if (jpeg_read_scanlines(&c, &row, 1) != 1) break;
    if (cmyk) CmykRowToRgb(buffer[0], job.image->scanLine(y), c.output_width, c.saw_Adobe_marker);
  }
}

// Every libjpeg call; an error leaves through ErrorExit's jump.
void DecodeSteps(DecodeJob& job) {
  jpeg_decompress_struct& c = job.cinfo;
  jpeg_create_decompress(&c);
  c.mem->max_memory_to_use = static_cast<long>(std::min<int64_t>(
      PicturePixelLimit() * kJpegBytesPerPixel + kJpegMemorySlack, INT64_MAX / 2));
  c.progress = &job.progress.pub;
  jpeg_mem_src(&c, job.data, static_cast<unsigned long>(job.size));
  jpeg_read_header(&c, TRUE);
  if (!PictureSizeAllowed(c.image_width, c.image_height)) {
    job.outcome = Outcome::kTooLarge;
    return;
  }
  if (!ChooseOutput(c)) {
    job.outcome = Outcome::kComponents;
    return;
  }
  job.baseline = !c.progressive_mode && !c.arith_code && c.data_precision == 8 &&
                 (c.jpeg_color_space == JCS_GRAYSCALE || c.jpeg_color_space == JCS_YCbCr);
  job.gray = c.jpeg_color_space == JCS_GRAYSCALE;
  if (job.min_width > 0 || job.min_height > 0) {
    if (jpeg_has_multiple_scans(&c) &&
        static_cast<int64_t>(c.image_width) * c.image_height > kMaxScaledJpegCoefficientPixels) {
      job.outcome = Outcome::kScaledTooLarge;
      return;
    }
    // The smallest scale that still covers the size wanted.
    for (const unsigned denom : {8u, 4u, 2u, 1u}) {
      c.scale_num = 1;
      c.scale_denom = denom;
      jpeg_calc_output_dimensions(&c);
      if (static_cast<int>(c.output_width) >= job.min_width &&
          static_cast<int>(c.output_height) >= job.min_height)
        break;
    }
  }
  jpeg_start_decompress(&c);
  *job.image = QImage(static_cast<int>(c.output_width), static_cast<int>(c.output_height),
                      QImage::Format_RGB888);
  if (job.image->isNull()) {
    job.outcome = Outcome::kOutOfMemory;
    return;
  }
  job.image->fill(0);
  ReadRows(job);
}

// The one frame that holds the jump. Returns false when libjpeg failed.
bool DecodeGuarded(DecodeJob& job) {
  InstallManagers(job);
  if (setjmp(job.err.jump) != 0) {
    jpeg_destroy_decompress(&job.cinfo);
    return false;
  }
  DecodeSteps(job);
  jpeg_destroy_decompress(&job.cinfo);
  return true;
}

std::string Reason(const DecodeJob& job) {
  const jpeg_decompress_struct& c = job.cinfo;
  switch (job.outcome) {
    case Outcome::kTooLarge:
      return PictureTooLargeText(c.image_width, c.image_height);
    case Outcome::kComponents:
      return Format(msg::kJpegComponents, c.num_components);
    case Outcome::kScaledTooLarge:
      return Format(msg::kJpegScaledTooLarge, static_cast<long long>(c.image_width),
                    static_cast<long long>(c.image_height),
                    static_cast<long long>(kMaxScaledJpegCoefficientPixels));
    case Outcome::kOutOfMemory:
      return Format(msg::kPictureOutOfMemory, static_cast<int>(c.output_width),
                    static_cast<int>(c.output_height));
    default:
      return job.err.message;
  }
}

}  // namespace

void TJPEGImage::LoadFromBytes(std::string_view bytes, const std::string& name) {
  LoadScaled(bytes, name, 0, 0);
}

void TJPEGImage::LoadScaled(std::string_view bytes, const std::string& name, int min_width,
                            int min_height) {
  QImage image;
  // The job holds libjpeg's large structures; keep it off the stack.
  auto job = std::make_unique<DecodeJob>();
  job->data = reinterpret_cast<const uint8_t*>(bytes.data());
  job->size = bytes.size();
  job->image = &image;
  job->min_width = std::max(0, min_width);
  job->min_height = std::max(0, min_height);
  if (!DecodeGuarded(*job)) job->outcome = Outcome::kLibraryError;
  if (job->outcome != Outcome::kDecoded)
    throw EInvalidGraphic(Format(msg::kJpegInvalid, name.c_str(), Reason(*job).c_str()));
  image_ = std::move(image);
  warning_ = job->err.warning;
  const bool whole = image_.width() == static_cast<int>(job->cinfo.image_width) &&
                     image_.height() == static_cast<int>(job->cinfo.image_height);
  if (job->baseline && whole && warning_.empty())
    baseline_.assign(bytes.data(), bytes.size());
  else
    baseline_.clear();
  baseline_gray_ = job->gray;
}

bool ReadJpegHeader(std::string_view bytes, TJpegHeader& header) {
  auto job = std::make_unique<DecodeJob>();
  InstallManagers(*job);
  jpeg_decompress_struct& c = job->cinfo;
  if (setjmp(job->err.jump) != 0) {
    jpeg_destroy_decompress(&c);
    return false;
  }
  jpeg_create_decompress(&c);
  jpeg_mem_src(&c, reinterpret_cast<const uint8_t*>(bytes.data()),
               static_cast<unsigned long>(bytes.size()));
  jpeg_read_header(&c, TRUE);
  header.width = static_cast<int>(c.image_width);
  header.height = static_cast<int>(c.image_height);
  header.components = c.num_components;
  header.baseline = !c.progressive_mode && !c.arith_code && c.data_precision == 8;
  jpeg_destroy_decompress(&c);
  return true;
}

namespace {

struct EncodeJob {
  jpeg_compress_struct cinfo{};
  ErrorManager err{};
  unsigned char* buffer = nullptr;
  unsigned long size = 0;
};

// The one frame that holds the encoder's jump.
bool EncodeGuarded(EncodeJob& job, const uint8_t* samples, int width, int height,
                   int components, int quality, bool full_chroma, bool bare, bool optimise) {
  jpeg_compress_struct& c = job.cinfo;
  c.err = jpeg_std_error(&job.err.pub);
  job.err.pub.error_exit = ErrorExit;
  job.err.pub.emit_message = EmitMessage;
  job.err.pub.output_message = OutputMessage;
  if (setjmp(job.err.jump) != 0) {
    jpeg_destroy_compress(&c);
    return false;
  }
  jpeg_create_compress(&c);
  jpeg_mem_dest(&c, &job.buffer, &job.size);
  c.image_width = static_cast<JDIMENSION>(width);
  c.image_height = static_cast<JDIMENSION>(height);
  c.input_components = components;
  c.in_color_space = components == 1 ? JCS_GRAYSCALE : JCS_RGB;
  jpeg_set_defaults(&c);
  jpeg_set_quality(&c, std::clamp(quality, 1, 100), TRUE);
  c.optimize_coding = optimise ? TRUE : FALSE;
  if (bare) c.write_JFIF_header = FALSE;
  if (full_chroma && components == 3) {
    c.comp_info[0].h_samp_factor = 1;
    c.comp_info[0].v_samp_factor = 1;
  }
  jpeg_start_compress(&c, TRUE);
  const size_t row_bytes = static_cast<size_t>(width) * static_cast<size_t>(components);
  while (c.next_scanline < c.image_height) {
    auto* row = const_cast<JSAMPROW>(samples + row_bytes * c.next_scanline);
    jpeg_write_scanlines(&c, &row, 1);
  }
  jpeg_finish_compress(&c);
  jpeg_destroy_compress(&c);
  return true;
}

}  // namespace

std::string EncodeJpeg(const uint8_t* samples, int width, int height, int components,
                       int quality, bool full_chroma, bool bare, bool optimise) {
  if (width < 1 || height < 1 || (components != 1 && components != 3)) return {};
  auto job = std::make_unique<EncodeJob>();
  const bool done = EncodeGuarded(*job, samples, width, height, components, quality, full_chroma, bare,
                                  optimise);
  std::string out;
  if (done && job->buffer) out.assign(reinterpret_cast<const char*>(job->buffer), job->size);
  std::free(job->buffer);
  return out;
}

void TJPEGImage::Draw(TBitmap& canvas, int x, int y) const {
  if (image_.isNull() || canvas.Image().isNull()) return;
  QPainter painter(&canvas.Image());
  painter.drawImage(x, y, image_);
}

}  // namespace pagemint
