// SPDX-License-Identifier: GPL-3.0-or-later
#include <algorithm>

#include "pdf/streams/filters.h"
#include "platform/messages.h"

namespace pagemint {

std::unique_ptr<TMemoryStream> TgtFilter::CompressStream(TStream&, uint8_t) { return nullptr; }

std::string TgtFilter::CompressString(std::string_view, uint8_t) { return {}; }

std::unique_ptr<TMemoryStream> TgtFilter::EncodeStream(TStream&) { return nullptr; }

std::string TgtFilter::EncodeString(std::string_view) { return {}; }

void TgtFilter::CheckDecodedSize(int64_t size) const {
  if (size > max_decoded_size_)
    throw EDecodedSizeError(
        Format(msg::kDecodedSizeLimit, static_cast<long long>(max_decoded_size_)));
}

std::string_view TgtFilter::SourceBytes(TStream& source, std::string& holder) {
  if (const TStream::MemoryView v = source.View())
    return {reinterpret_cast<const char*>(v.data), static_cast<size_t>(v.size)};
  holder.resize(static_cast<size_t>(source.Size()));
  source.SetPosition(0);
  holder.resize(
      static_cast<size_t>(std::max<int64_t>(source.Read(holder.data(), holder.size()), 0)));
  return holder;
}

}  // namespace pagemint
