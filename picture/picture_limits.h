// SPDX-License-Identifier: GPL-3.0-or-later
// Size limits for decoded pictures. A picture file of a few bytes can claim
// billions of pixels (an RLE bitmap, a JPEG header, an icon's PNG), so every
// decoder checks the claimed size against these limits before it allocates.
#pragma once

#include <cstdint>
#include <string>

namespace pagemint {

// JPEG's own largest side; no real bitmap or icon is wider or taller, and
// keeping sides below 2^16 keeps every row and offset computation far from
// overflow.
inline constexpr int kMaxPictureSide = 65535;

// 2^28 pixels (16384 x 16384): the largest picture read at all. Real
// metafiles reach this: drawing frames of a few metres give pictures of
// 12000 x 16000 pixels and more at 96 pixels per inch. Nothing is held at
// this size: bitmaps are decoded row by row into a picture scaled down on
// the way, metafiles are played straight into the size they are drawn at.
inline constexpr int64_t kMaxPicturePixels = int64_t{1} << 28;

// A multi-scan (progressive) JPEG keeps every coefficient of the whole
// image, two bytes a sample, however small it is decoded: decoding one
// scaled down (a thumbnail of a big picture) refuses more pixels than this
// (64 Mpixels, about 400 MB of coefficients), where a baseline one of any
// allowed size costs only a few rows.
inline constexpr int64_t kMaxScaledJpegCoefficientPixels = int64_t{1} << 26;

// 2^25 pixels (8192 x 4096): 128 MiB as 32-bit pixels, the largest picture
// held whole in memory (decoded at its own size, or the canvas a thumbnail
// is drawn onto). The thumbnail path holds the picture, its canvas, the raw
// samples (3 bytes a pixel) and their compressed form at once; at this size
// that stays under 512 MB, so a picture file of a few bytes claiming a
// huge size cannot take more than that.
inline constexpr int64_t kMaxWholePicturePixels = int64_t{1} << 25;

// The pixel limit in force; kMaxPicturePixels unless lowered. Fuzzers and
// tests lower it so that a hostile size costs little.
int64_t PicturePixelLimit();
void SetPicturePixelLimit(int64_t pixels);

// True when a width x height picture is within both limits. Sizes below 1
// are not checked here.
bool PictureSizeAllowed(int64_t width, int64_t height);

// Why a width x height picture is refused: msg::kPictureTooLarge filled in.
std::string PictureTooLargeText(int64_t width, int64_t height);

// The whole-picture limit in force: kMaxWholePicturePixels, or the pixel
// limit when that is lower.
int64_t WholePicturePixelLimit();

// True when a width x height picture may be held whole: within both
// limits above and the whole-picture limit.
bool PictureWholeAllowed(int64_t width, int64_t height);

// Why a width x height picture cannot be held whole:
// msg::kPictureTooLargeWhole filled in.
std::string PictureTooLargeWholeText(int64_t width, int64_t height);

}  // namespace pagemint
