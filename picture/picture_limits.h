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

// 2^28 pixels (16384 x 16384): 1 GiB as 32-bit pixels. Real metafiles
// reach this: drawing frames of a few metres give pictures of 12000 x 16000
// pixels and more at 96 pixels per inch. The thumbnail path holds the
// decoded picture, the canvas it is drawn onto, the raw samples (3 bytes a
// pixel) and their compressed form at once, at worst about 3.5 GiB here.
inline constexpr int64_t kMaxPicturePixels = int64_t{1} << 28;

// A multi-scan (progressive) JPEG keeps every coefficient of the whole
// image, two bytes a sample, however small it is decoded: decoding one
// scaled down (a thumbnail of a big picture) refuses more pixels than this
// (64 Mpixels, about 400 MB of coefficients), where a baseline one of any
// allowed size costs only a few rows.
inline constexpr int64_t kMaxScaledJpegCoefficientPixels = int64_t{1} << 26;

// The pixel limit in force; kMaxPicturePixels unless lowered. Fuzzers and
// tests lower it so that a hostile size costs little.
int64_t PicturePixelLimit();
void SetPicturePixelLimit(int64_t pixels);

// True when a width x height picture is within both limits. Sizes below 1
// are not checked here.
bool PictureSizeAllowed(int64_t width, int64_t height);

// Why a width x height picture is refused: msg::kPictureTooLarge filled in.
std::string PictureTooLargeText(int64_t width, int64_t height);

}  // namespace pagemint
