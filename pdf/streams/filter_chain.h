// SPDX-License-Identifier: GPL-3.0-or-later
// Filter selection and chains: a /Filter value becomes a list of filter
// codes, and stream data runs through that list (outermost filter first)
// to give the plain bytes. Image codecs (DCT, CCITTFax) are not decoded:
// their data stays as it is. Also the encoders the writer applies when the
// document's compression or ASCII encoding is on.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "pdf/objects/pdf_objects.h"
#include "pdf/streams/filters.h"
#include "platform/exception.h"
#include "platform/stream.h"

namespace pagemint {

PAGEMINT_EXCEPTION(EUnsupportedFilterError, Exception);
PAGEMINT_EXCEPTION(EUnexpectedFilterObject, Exception);

enum TgtDecodeFilter : uint8_t {
  ftASCIIHexDecode = 0,
  ftASCII85Decode = 1,
  ftFlateDecode = 2,
  ftRunLengthDecode = 3,
  ftLZWDecode = 4,
  ftCCITTFaxDecode = 5,
  ftDCTDecode = 6,
};

using TgtFilterList = std::vector<TgtDecodeFilter>;

// The name that selects the filter, with its slash ("/FlateDecode").
const char* FilterName(TgtDecodeFilter filter);

// Exact, case-sensitive; "/A85" selects ASCII85. Any other name raises
// EUnsupportedFilterError "Unsupported filter (%s)".
TgtDecodeFilter FilterFromName(std::string_view name);

// A name gives one code, an array one code per element (an element that
// is not a name raises EInvalidCast); anything else raises
// EUnexpectedFilterObject with the object's kind name.
TgtFilterList FilterListFromObject(const TgtPDFObject& filter);

// One decoding step. Trailing LF and CR bytes are removed first, and
// ASCIIHex data gets its closing ">" when it lacks one. DCT and CCITTFax
// data is handed back as it is after that; any other filter's output is a
// new stream. Decoders raise EDecodedSizeError past max_decoded bytes.
std::unique_ptr<TMemoryStream> DecodeWithFilter(TgtDecodeFilter filter,
                                                std::unique_ptr<TMemoryStream> stream,
                                                int64_t max_decoded = kMaxDecodedSize);

// DecodeWithFilter on a byte string; CCITTFax raises EUnsupportedFilterError
// "Unsupported filter".
std::string DecodeStringWithFilter(TgtDecodeFilter filter, std::string_view data,
                                   int64_t max_decoded = kMaxDecodedSize);

// The stream data (all of it, from its start) run through the
// /Filter list, or copied when filter is null. DCT steps are skipped; a
// CCITTFax step only removes trailing line ends. The data's content is
// not changed (its position moves);
// the result is positioned at 0 and owned by the caller.
std::unique_ptr<TMemoryStream> DecodeStreamData(TStream& data, const TgtPDFObject* filter,
                                                int64_t max_decoded = kMaxDecodedSize);

// Compression methods of CompressData and their filters.
inline constexpr int kCompressFlate = 0;      // /FlateDecode
inline constexpr int kCompressRunLength = 1;  // /RunLengthDecode
// ASCII methods of AsciiEncodeData and their filters.
inline constexpr int kAsciiHex = 0;  // /ASCIIHexDecode
inline constexpr int kAscii85 = 1;   // /ASCII85Decode

// The filter that undoes CompressData's or AsciiEncodeData's method.
TgtDecodeFilter CompressionFilter(int method);
TgtDecodeFilter AsciiFilter(int method);

// level is a TCompressionLevel and matters for Flate only. An unknown
// method raises the base exception.
std::string CompressData(std::string_view data, int method, uint8_t level);
std::string AsciiEncodeData(std::string_view data, int method);

}  // namespace pagemint
