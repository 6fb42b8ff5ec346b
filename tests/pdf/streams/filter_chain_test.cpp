// SPDX-License-Identifier: GPL-3.0-or-later
// Filter names, /Filter values and chains of filters.
#include "pdf/streams/filter_chain.h"

#include <gtest/gtest.h>

#include "platform/messages.h"

namespace pagemint {
namespace {

std::unique_ptr<TgtPDFArrayObject> NameArray(std::initializer_list<const char*> names) {
  auto array = std::make_unique<TgtPDFArrayObject>();
  for (const char* n : names) array->Add(std::make_unique<TgtPDFNameObject>(n));
  return array;
}

std::string Decode(const std::string& data, const TgtPDFObject* filter,
                   int64_t limit = kMaxDecodedSize) {
  TMemoryStream source(data);
  return DecodeStreamData(source, filter, limit)->Bytes();
}

TEST(FilterFromName, MatchesExactNamesOnly) {
  struct Case {
    const char* name;
    TgtDecodeFilter filter;
  };
  const Case known[] = {
      {"/ASCIIHexDecode", ftASCIIHexDecode},
      {"/ASCII85Decode", ftASCII85Decode},
      {"/A85", ftASCII85Decode},
      {"/FlateDecode", ftFlateDecode},
      {"/RunLengthDecode", ftRunLengthDecode},
      {"/LZWDecode", ftLZWDecode},
      {"/CCITTFaxDecode", ftCCITTFaxDecode},
      {"/DCTDecode", ftDCTDecode},
  };
  for (const Case& c : known) EXPECT_EQ(FilterFromName(c.name), c.filter) << c.name;
  for (const Case& c : known) {
    if (std::string_view(c.name) == "/A85") continue;
    EXPECT_STREQ(FilterName(c.filter), c.name);
  }
  for (const char* unknown :
       {"/AHx", "/Fl", "/RL", "/flatedecode", "FlateDecode", "/JBIG2Decode", ""}) {
    try {
      FilterFromName(unknown);
      ADD_FAILURE() << unknown;
    } catch (const EUnsupportedFilterError& e) {
      EXPECT_EQ(e.Message(), std::string("Unsupported filter (") + unknown + ")");
    }
  }
}

TEST(FilterListFromObject, TakesANameOrAnArrayOfNames) {
  EXPECT_EQ(FilterListFromObject(TgtPDFNameObject("/LZWDecode")), TgtFilterList{ftLZWDecode});
  EXPECT_EQ(FilterListFromObject(*NameArray({"/A85", "/FlateDecode", "/DCTDecode"})),
            (TgtFilterList{ftASCII85Decode, ftFlateDecode, ftDCTDecode}));
  EXPECT_TRUE(FilterListFromObject(TgtPDFArrayObject()).empty());

  auto mixed = NameArray({"/FlateDecode"});
  mixed->AddInteger(3);
  EXPECT_THROW(FilterListFromObject(*mixed), EInvalidCast);

  const TgtPDFIntegerObject number(1);
  const TgtPDFDictObject dict;
  for (const TgtPDFObject* other :
       {static_cast<const TgtPDFObject*>(&number), static_cast<const TgtPDFObject*>(&dict)}) {
    try {
      FilterListFromObject(*other);
      ADD_FAILURE();
    } catch (const EUnexpectedFilterObject& e) {
      EXPECT_EQ(e.Message(), Format("Unexpected filter object, found (%s)", other->KindName()));
    }
  }
}

TEST(DecodeStringWithFilter, TrimsLineEndsAndClosesASCIIHex) {
  struct Case {
    TgtDecodeFilter filter;
    std::string input;
    std::string output;
  };
  const Case cases[] = {
      {ftASCIIHexDecode, "41 42>", "AB"},
      {ftASCIIHexDecode, "414>", "A@"},
      {ftASCIIHexDecode, "41\r\n", "A"},
      {ftASCIIHexDecode, "", ""},
      {ftASCIIHexDecode, "\r\n\r", ""},
      {ftASCII85Decode, "z~>\n", std::string(4, '\0')},
      {ftASCII85Decode, "\n", ""},
      {ftRunLengthDecode, "\r\n", ""},
      {ftFlateDecode, "", ""},
      {ftLZWDecode, "\n", ""},
      {ftDCTDecode, "\xFF\xD8 jpeg\r\n\n", "\xFF\xD8 jpeg"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(::testing::PrintToString(c.input));
    EXPECT_EQ(DecodeStringWithFilter(c.filter, c.input), c.output);
    EXPECT_EQ(DecodeWithFilter(c.filter, std::make_unique<TMemoryStream>(c.input))->Bytes(),
              c.output);
  }
  try {
    DecodeStringWithFilter(ftCCITTFaxDecode, "data");
    ADD_FAILURE();
  } catch (const EUnsupportedFilterError& e) {
    EXPECT_STREQ(e.what(), "Unsupported filter");
  }
}

TEST(DecodeWithFilter, HandsImageDataBackItself) {
  auto stream = std::make_unique<TMemoryStream>("ccitt\r\n");
  TMemoryStream* same = stream.get();
  auto result = DecodeWithFilter(ftCCITTFaxDecode, std::move(stream));
  EXPECT_EQ(result.get(), same);
  EXPECT_EQ(result->Bytes(), "ccitt");
  EXPECT_EQ(result->Position(), 0);
}

TEST(DecodeStreamData, RunsTheFiltersInArrayOrder) {
  const std::string plain = "2 0 obj\n<< /Type /Page >>\nendobj\n";
  const std::string flate = TgtFlateFilter().CompressString(plain, clNormal);
  const std::string chained = TgtAscii85Filter().EncodeString(flate) + "\r\n";
  EXPECT_EQ(Decode(chained, NameArray({"/ASCII85Decode", "/FlateDecode"}).get()), plain);

  // Image codecs stay encoded: inflated, but still JPEG.
  const std::string jpeg = "\xFF\xD8\xFF\xE0 not really a JPEG \xFF\xD9";
  EXPECT_EQ(Decode(TgtFlateFilter().CompressString(jpeg, clNormal),
                   NameArray({"/FlateDecode", "/DCTDecode"}).get()),
            jpeg);
  EXPECT_EQ(Decode(jpeg + "\r\n", NameArray({"/DCTDecode"}).get()), jpeg + "\r\n");
  EXPECT_EQ(Decode("fax\n\r", NameArray({"/CCITTFaxDecode"}).get()), "fax");

  const TgtPDFNameObject hex("/ASCIIHexDecode");
  EXPECT_EQ(Decode("48 69", &hex), "Hi");
  EXPECT_EQ(Decode("raw", nullptr), "raw");
  EXPECT_EQ(Decode("raw", NameArray({}).get()), "raw");
  EXPECT_EQ(Decode("", &hex), "");
}

TEST(DecodeStreamData, LeavesTheSourceAloneAndReadsItWhole) {
  TMemoryStream source("41 42>");
  source.SetPosition(3);
  const TgtPDFNameObject hex("/ASCIIHexDecode");
  auto out = DecodeStreamData(source, &hex);
  EXPECT_EQ(out->Bytes(), "AB");
  EXPECT_EQ(out->Position(), 0);
  EXPECT_EQ(source.Bytes(), "41 42>");
}

TEST(DecodeStreamData, EveryStepIsHeldToTheLimit) {
  const std::string big = TgtFlateFilter().CompressString(std::string(1 << 20, 'a'), clMaximum);
  const std::string wrapped = TgtAsciiHexFilter().EncodeString(big);
  const auto filters = NameArray({"/ASCIIHexDecode", "/FlateDecode"});
  EXPECT_EQ(Decode(wrapped, filters.get(), 1 << 20).size(), size_t{1} << 20);
  EXPECT_THROW(Decode(wrapped, filters.get(), (1 << 20) - 1), EDecodedSizeError);
  const std::string rle = TgtRLEFilter().EncodeString(std::string(5000, 'r'));
  const TgtPDFNameObject run_length("/RunLengthDecode");
  EXPECT_THROW(Decode(rle, &run_length, 4999), EDecodedSizeError);
}

TEST(Encoders, CompressAndAsciiEncodeForTheWriter) {
  const std::string data = "q 1 0 0 1 0 0 cm /Im1 Do Q\n" + std::string(100, '\0');
  for (const int method : {kCompressFlate, kCompressRunLength}) {
    const std::string packed = CompressData(data, method, clFastest);
    EXPECT_EQ(DecodeStringWithFilter(CompressionFilter(method), packed), data) << method;
  }
  EXPECT_EQ(CompressionFilter(kCompressFlate), ftFlateDecode);
  EXPECT_EQ(CompressionFilter(kCompressRunLength), ftRunLengthDecode);
  for (const int method : {kAsciiHex, kAscii85}) {
    const std::string text = AsciiEncodeData(data, method);
    EXPECT_EQ(text.find_first_not_of(
                  "!\"#$%&'()*+,-./"
                  "0123456789:;<=>?@ABCDEFGHIJKLMNOPQRSTUVWXYZ[\\]^_`abcdefghijklmnopqrstuvwxyz~"),
              std::string::npos);
    EXPECT_EQ(DecodeStringWithFilter(AsciiFilter(method), text), data) << method;
  }
  EXPECT_EQ(AsciiEncodeData("\x01", kAsciiHex), "01>");
  EXPECT_EQ(AsciiEncodeData(std::string(4, '\0'), kAscii85), "z~>");
  EXPECT_THROW(CompressData(data, 2, clNormal), Exception);
  EXPECT_THROW(AsciiEncodeData(data, 7), Exception);
}

}  // namespace
}  // namespace pagemint
