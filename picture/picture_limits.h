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

// 2^27 pixels (for example 16384 x 8192): 512 MiB as 32-bit pixels. The
// thumbnail path holds the decoded picture, a canvas, a 24-bit copy and the
// raw samples at once, about four times this, which still fits a desktop.
inline constexpr int64_t kMaxPicturePixels = int64_t{1} << 27;

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
