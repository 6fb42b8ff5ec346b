// SPDX-License-Identifier: GPL-3.0-or-later
// A JPEG picture, decoded by libjpeg when it is loaded: baseline and
// progressive, greyscale, YCbCr, RGB, CMYK and YCCK (Adobe-inverted or
// not), all turned into RGB. EXIF orientation is ignored: the picture is
// drawn as its rows are stored.
#pragma once

#include <QImage>
#include <string>
#include <string_view>

#include "picture/graphic.h"

namespace pagemint {

class TJPEGImage : public TGraphic {
 public:
  TJPEGImage() = default;

  int Width() const override { return image_.width(); }
  int Height() const override { return image_.height(); }
  const char* ClassName() const override { return "TJPEGImage"; }
  // Decodes the whole image, so that a damaged file fails here, naming the
  // file, rather than later when it is drawn. libjpeg's warnings about
  // recoverable damage (extraneous bytes, premature end of data) do not
  // fail the load.
  void LoadFromBytes(std::string_view bytes, const std::string& name) override;
  // The same, decoded at the smallest of libjpeg's scales 1/8, 1/4, 1/2
  // and 1 that still gives at least min_width x min_height pixels (the
  // whole size when none does). A multi-scan (progressive) image holds all
  // its coefficients at full size whatever the scale: one over
  // kMaxScaledJpegCoefficientPixels is refused, naming the picture.
  void LoadScaled(std::string_view bytes, const std::string& name, int min_width, int min_height);
  void Draw(TBitmap& canvas, int x, int y) const override;

  // The decoded pixels (RGB888).
  const QImage& Image() const { return image_; }
  // libjpeg's first warning for the last load, or empty.
  const std::string& Warning() const { return warning_; }
  // The file's own bytes, kept by LoadFromBytes when they are a baseline
  // 8-bit JPEG in one or three components that decoded without warning, so
  // that a reader given them sees the very samples decoded here; else
  // empty. gray tells which of the two.
  const std::string& BaselineData() const { return baseline_; }
  bool BaselineGray() const { return baseline_gray_; }

 private:
  QImage image_;
  std::string warning_;
  std::string baseline_;
  bool baseline_gray_ = false;
};

// What a JPEG's header says, read without decoding.
struct TJpegHeader {
  int width = 0;
  int height = 0;
  int components = 0;
  bool baseline = false;  // one sequential scan, 8 bits, Huffman coded
};
// False when the header cannot be read.
bool ReadJpegHeader(std::string_view bytes, TJpegHeader& header);

// Packed 8-bit samples (components 1: grey, 3: RGB), rows from the top, as
// a baseline JFIF JPEG at quality (1 to 100), with optimised Huffman
// tables unless !optimise; empty when libjpeg refuses. Colour is stored
// with its chroma at half resolution both ways unless full_chroma; bare
// leaves out the JFIF marker (a PDF image needs none: three components are
// YCbCr there). The tables change only the size, never the decoded
// samples; for a small picture, building them costs more than the rest of
// the encoding.
std::string EncodeJpeg(const uint8_t* samples, int width, int height, int components,
                       int quality, bool full_chroma = false, bool bare = false,
                       bool optimise = true);

}  // namespace pagemint
