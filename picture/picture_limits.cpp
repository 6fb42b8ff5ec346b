// SPDX-License-Identifier: GPL-3.0-or-later
#include "picture/picture_limits.h"

#include <algorithm>
#include <atomic>

#include "platform/messages.h"

namespace pagemint {

namespace {
std::atomic<int64_t> g_pixel_limit{kMaxPicturePixels};
}

int64_t PicturePixelLimit() { return g_pixel_limit.load(std::memory_order_relaxed); }

void SetPicturePixelLimit(int64_t pixels) {
  g_pixel_limit.store(pixels < 1 ? 1 : pixels, std::memory_order_relaxed);
}

bool PictureSizeAllowed(int64_t width, int64_t height) {
  if (width > kMaxPictureSide || height > kMaxPictureSide) return false;
  return width * height <= PicturePixelLimit();
}

std::string PictureTooLargeText(int64_t width, int64_t height) {
  return Format(msg::kPictureTooLarge, static_cast<long long>(width),
                static_cast<long long>(height), static_cast<long long>(PicturePixelLimit()),
                kMaxPictureSide);
}

int64_t WholePicturePixelLimit() { return std::min(kMaxWholePicturePixels, PicturePixelLimit()); }

bool PictureWholeAllowed(int64_t width, int64_t height) {
  return PictureSizeAllowed(width, height) && width * height <= WholePicturePixelLimit();
}

std::string PictureTooLargeWholeText(int64_t width, int64_t height) {
  return Format(msg::kPictureTooLargeWhole, static_cast<long long>(width),
                static_cast<long long>(height), static_cast<long long>(WholePicturePixelLimit()));
}

}  // namespace pagemint
