// SPDX-License-Identifier: GPL-3.0-or-later
#include "pdf/streams/filter_chain.h"

#include "platform/messages.h"

namespace pagemint {

namespace {

struct NamedFilter {
  std::string_view name;
  TgtDecodeFilter filter;
};

// In the order names are compared.
constexpr NamedFilter kFilterNames[] = {
    {"/ASCIIHexDecode", ftASCIIHexDecode},
    {"/ASCII85Decode", ftASCII85Decode},
    {"/LZWDecode", ftLZWDecode},
    {"/FlateDecode", ftFlateDecode},
    {"/RunLengthDecode", ftRunLengthDecode},
    {"/DCTDecode", ftDCTDecode},
    {"/A85", ftASCII85Decode},
    {"/CCITTFaxDecode", ftCCITTFaxDecode},
};

std::unique_ptr<TgtFilter> MakeDecoder(TgtDecodeFilter filter, int64_t max_decoded) {
  std::unique_ptr<TgtFilter> f;
  switch (filter) {
    case ftASCIIHexDecode:
      f = std::make_unique<TgtAsciiHexFilter>();
      break;
    case ftASCII85Decode:
      f = std::make_unique<TgtAscii85Filter>();
      break;
    case ftFlateDecode:
      f = std::make_unique<TgtFlateFilter>();
      break;
    case ftRunLengthDecode:
      f = std::make_unique<TgtRLEFilter>();
      break;
    case ftLZWDecode:
      f = std::make_unique<TgtLZWFilter>();
      break;
    case ftCCITTFaxDecode:
    case ftDCTDecode:
      return nullptr;
  }
  if (f) f->SetMaxDecodedSize(max_decoded);
  return f;
}

bool IsLineEnd(char c) { return c == '\n' || c == '\r'; }

void TrimLineEnds(std::string_view& data) {
  while (!data.empty() && IsLineEnd(data.back())) data.remove_suffix(1);
}

void TrimLineEnds(TMemoryStream& stream) {
  std::string_view bytes = stream.Bytes();
  TrimLineEnds(bytes);
  if (static_cast<int64_t>(bytes.size()) != stream.Size())
    stream.SetSize(static_cast<int64_t>(bytes.size()));
}

}  // namespace

const char* FilterName(TgtDecodeFilter filter) {
  switch (filter) {
    case ftASCIIHexDecode:
      return "/ASCIIHexDecode";
    case ftASCII85Decode:
      return "/ASCII85Decode";
    case ftFlateDecode:
      return "/FlateDecode";
    case ftRunLengthDecode:
      return "/RunLengthDecode";
    case ftLZWDecode:
      return "/LZWDecode";
    case ftCCITTFaxDecode:
      return "/CCITTFaxDecode";
    case ftDCTDecode:
      return "/DCTDecode";
  }
  return "";
}

TgtDecodeFilter FilterFromName(std::string_view name) {
  for (const NamedFilter& f : kFilterNames)
    if (f.name == name) return f.filter;
  throw EUnsupportedFilterError(Format(msg::kUnsupportedFilter, std::string(name).c_str()));
}

TgtFilterList FilterListFromObject(const TgtPDFObject& filter) {
  if (filter.IsName()) return {FilterFromName(filter.AsName().Text())};
  if (!filter.IsArray())
    throw EUnexpectedFilterObject(Format(msg::kUnexpectedFilterObject, filter.KindName()));
  const TgtPDFArrayObject& array = filter.AsArray();
  TgtFilterList list;
  list.reserve(static_cast<size_t>(array.Count()));
  for (int32_t i = 0; i < array.Count(); ++i) {
    const TgtPDFObject* item = array.ItemAt(i);
    if (item == nullptr) throw EInvalidCast(msg::kInvalidCast);
    list.push_back(FilterFromName(item->AsName().Text()));
  }
  return list;
}

std::unique_ptr<TMemoryStream> DecodeWithFilter(TgtDecodeFilter filter,
                                                std::unique_ptr<TMemoryStream> stream,
                                                int64_t max_decoded) {
  if (!stream) stream = std::make_unique<TMemoryStream>();
  TrimLineEnds(*stream);
  if (filter == ftASCIIHexDecode && (stream->Size() == 0 || stream->Bytes().back() != '>')) {
    stream->Seek(0, TSeekOrigin::soEnd);
    stream->WriteString(">");
  }
  std::unique_ptr<TgtFilter> decoder = MakeDecoder(filter, max_decoded);
  if (!decoder) {
    stream->SetPosition(0);
    return stream;
  }
  return decoder->DecodeStream(*stream);
}

std::string DecodeStringWithFilter(TgtDecodeFilter filter, std::string_view data,
                                   int64_t max_decoded) {
  TrimLineEnds(data);
  if (filter == ftCCITTFaxDecode) throw EUnsupportedFilterError(msg::kUnsupportedFilterPlain);
  if (filter == ftDCTDecode) return std::string(data);
  std::unique_ptr<TgtFilter> decoder = MakeDecoder(filter, max_decoded);
  if (filter == ftASCIIHexDecode && (data.empty() || data.back() != '>'))
    return decoder->DecodeString(std::string(data) + '>');
  return decoder->DecodeString(data);
}

std::unique_ptr<TMemoryStream> DecodeStreamData(TStream& data, const TgtPDFObject* filter,
                                                int64_t max_decoded) {
  auto work = std::make_unique<TMemoryStream>();
  work->CopyFrom(data, 0);
  work->SetPosition(0);
  if (filter == nullptr) return work;
  for (const TgtDecodeFilter step : FilterListFromObject(*filter)) {
    if (step == ftDCTDecode) continue;
    if (step == ftCCITTFaxDecode) {
      TrimLineEnds(*work);
      continue;
    }
    work = DecodeWithFilter(step, std::move(work), max_decoded);
  }
  work->SetPosition(0);
  return work;
}

TgtDecodeFilter CompressionFilter(int method) {
  if (method == kCompressFlate) return ftFlateDecode;
  if (method == kCompressRunLength) return ftRunLengthDecode;
  throw Exception(Format(msg::kUnsupportedCompressionMethod, method));
}

TgtDecodeFilter AsciiFilter(int method) {
  if (method == kAsciiHex) return ftASCIIHexDecode;
  if (method == kAscii85) return ftASCII85Decode;
  throw Exception(Format(msg::kUnsupportedCompressionMethod, method));
}

std::string CompressData(std::string_view data, int method, uint8_t level) {
  if (CompressionFilter(method) == ftFlateDecode)
    return TgtFlateFilter().CompressString(data, level);
  return TgtRLEFilter().EncodeString(data);
}

std::string AsciiEncodeData(std::string_view data, int method) {
  if (AsciiFilter(method) == ftASCIIHexDecode) return TgtAsciiHexFilter().EncodeString(data);
  return TgtAscii85Filter().EncodeString(data);
}

}  // namespace pagemint
