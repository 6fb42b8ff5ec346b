#include "picture/picture_limits.h"

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

}  // namespace pagemint
