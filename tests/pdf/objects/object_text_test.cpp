// SPDX-License-Identifier: GPL-3.0-or-later
#include "pdf/objects/object_text.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <map>
#include <utility>

#include "platform/numbers.h"

namespace pagemint {
namespace {

// Renumbers by (serial, number), knows a page-tree root, and "encrypts" by
// XOR with the low byte of the object number for the numbers it is given.
class TestContext : public TgtTextContext {
 public:
  std::map<std::pair<uint32_t, int32_t>, int32_t> numbers;
  int32_t page_root = 0;
  std::vector<int32_t> encrypted_numbers;
  mutable int encrypt_calls = 0;
  std::string replacement_data;
  bool replace_stream = false;
  bool replace_dictionary = false;

  int32_t TargetNumber(const TgtPDFIndirectReference& reference) const override {
    auto it = numbers.find({reference.Serial(), reference.Number()});
    return it == numbers.end() ? 0 : it->second;
  }
  int32_t PageTreeRoot() const override { return page_root; }
  bool Encrypts(int32_t number) const override {
    for (int32_t n : encrypted_numbers) {
      if (n == number) return true;
    }
    return false;
  }
  void EncryptBytes(int32_t number, char* data, size_t size) const override {
    ++encrypt_calls;
    for (size_t i = 0; i < size; ++i) data[i] = static_cast<char>(data[i] ^ (number & 0xFF));
  }
  bool EncodeStream(const TgtPDFStreamObject&, std::string& data,
                    std::unique_ptr<TgtPDFDictObject>& dictionary) const override {
    if (!replace_stream) return false;
    data = replacement_data;
    if (replace_dictionary) {
      dictionary = std::make_unique<TgtPDFDictObject>();
      dictionary->AddInteger("/Length", static_cast<int32_t>(data.size()));
    }
    return true;
  }
};

std::string Text(const TgtPDFObject& object, const TgtTextContext* context = nullptr,
                 int32_t number = kNoEncryption) {
  return ObjectText(&object, context, number);
}

std::unique_ptr<TgtPDFDictObject> Dict() { return std::make_unique<TgtPDFDictObject>(); }

// Reals are written with the shortest digits that read back as the same
// double (earlier saves wrote ten decimals, which changed values such as
// 2^-11 = 0.00048828125 and made pattern matrices render differently).
TEST(FormatReal, WritesTheShortestExactPlainDecimal) {
  const double inf = std::numeric_limits<double>::infinity();
  const struct {
    double value;
    const char* text;
  } cases[] = {
      {612, "612.0"},
      {0, "0.0"},
      {-0.0, "0.0"},  // no sign on zero
      {0.5, "0.5"},
      {-1.25, "-1.25"},
      {-0.001, "-0.001"},
      {0.00048828125, "0.00048828125"},
      {1.0 / 3, "0.3333333333333333"},
      {791.999999999, "791.999999999"},
      {660.0762001524, "660.0762001524"},
      {1e20, "100000000000000000000.0"},
      {1.5e15, "1500000000000000.0"},
      {1e-7, "0.0000001"},
      // Beyond what readers hold in 32 bits: clamped, never an exponent.
      {1e30, "1000000000000000000000000000000.0"},
      {1e300, "340282346638528860000000000000000000000.0"},
      {-inf, "-340282346638528860000000000000000000000.0"},
      {std::numeric_limits<double>::quiet_NaN(), "0.0"},
      {1e-30, "0.000000000000000000000000000001"},
      {-1e-300, "0.0"},
      {std::numeric_limits<double>::denorm_min(), "0.0"},
  };
  for (const auto& c : cases) EXPECT_EQ(FormatReal(c.value), c.text) << c.value;
}

// Every written real is a plain decimal of bounded length that reads back
// (through the reader's own number conversion) as the value written.
TEST(FormatReal, ReadsBackAsTheSameValue) {
  uint64_t state = 0x9E3779B97F4A7C15u;
  for (int i = 0; i < 20000; ++i) {
    state = state * 6364136223846793005u + 1442695040888963407u;
    const int exponent = static_cast<int>(state >> 58) - 32;  // 2^-32 .. 2^31
    const double mantissa = static_cast<double>(state >> 11) / 9007199254740992.0;
    const double value = ((state & 1) ? -1 : 1) * std::ldexp(mantissa, exponent);
    const std::string text = FormatReal(value);
    ASSERT_EQ(text.find_first_not_of("-0123456789."), std::string::npos) << text;
    ASSERT_LE(text.size(), 57u);
    double read = 0;
    ASSERT_TRUE(TryStrToFloat(text, read)) << text;
    ASSERT_EQ(read, value == 0 ? 0.0 : value) << text;
  }
  EXPECT_LE(FormatReal(-1.1754943508222875e-38).size(), 57u);
}

TEST(EscapeLiteralString, EscapesOnlyTheListedBytes) {
  using namespace std::string_literals;
  const struct {
    std::string bytes;
    std::string text;
  } cases[] = {
      {"a(b)c", "a\\(b\\)c"},
      {"\\", "\\\\"},
      {"\xC8", "\xC8"},
      {"x\ty", "x\\ty"},  // a tab stays a tab: escaped, not spaces
      {"\b\t", "\\b\\t"},
      {"\b\f\n\r", "\\b\\f\\n\\r"},
      {"\x01\x7F\x00\xFF"s, "\x01\x7F\x00\xFF"s},  // no octal escapes
      {"", ""},
      {"plain text", "plain text"},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(EscapeLiteralString(c.bytes), c.text) << c.bytes;
  }
}

TEST(ObjectText, Scalars) {
  EXPECT_EQ(Text(TgtPDFBooleanObject(false)), "false");
  EXPECT_EQ(Text(TgtPDFIntegerObject(std::numeric_limits<int32_t>::min())), "-2147483648");
  EXPECT_EQ(Text(TgtPDFInt64Object(std::numeric_limits<int64_t>::min())), "-9223372036854775808");
  EXPECT_EQ(Text(TgtPDFRealObject(612)), "612.0");
  EXPECT_EQ(Text(TgtPDFNameObject("/A#20B")), "/A#20B");  // names as held
}

TEST(ObjectText, Strings) {
  EXPECT_EQ(Text(TgtPDFStringObject("(a(b)c)")), "(a\\(b\\)c)");
  EXPECT_EQ(Text(TgtPDFStringObject("()")), "()");
  EXPECT_EQ(Text(TgtPDFStringObject("(x\ty)")), "(x\\ty)");
  EXPECT_EQ(Text(TgtPDFStringObject("(\xC8)")), "(\xC8)");
  // Hex strings keep their digits exactly as read, white space included.
  EXPECT_EQ(Text(TgtPDFStringObject("<41 4a\n42>", true)), "<41 4a\n42>");
}

TEST(ObjectText, ArraysAndDictionaries) {
  TgtPDFArrayObject pair;
  pair.AddInteger(0);
  pair.AddInteger(0);
  EXPECT_EQ(Text(pair), "[ 0 0 ]");
  EXPECT_EQ(Text(TgtPDFArrayObject()), "[ ]");
  EXPECT_EQ(Text(TgtPDFDictObject()), "<<\r\n>>");

  TgtPDFDictObject dict;
  dict.AddName("/Type", "/Catalog");
  auto box = std::make_unique<TgtPDFArrayObject>();
  box->Add(std::make_unique<TgtPDFArrayObject>());
  box->Add(std::make_unique<TgtPDFRealObject>(0.5));
  dict.AddValue("/Box", std::move(box));
  dict.AddValue("/Sub", Dict());
  EXPECT_EQ(Text(dict), "<<\r\n/Type /Catalog\r\n/Box [ [ ] 0.5 ]\r\n/Sub <<\r\n>>\r\n>>");
}

TEST(ObjectText, DuplicateKeysAreAllWritten) {
  TgtPDFDictObject dict;
  dict.AddInteger("/A", 1);
  dict.AddInteger("/A", 2);
  EXPECT_EQ(Text(dict), "<<\r\n/A 1\r\n/A 2\r\n>>");
}

TEST(ObjectText, MissingObjects) {
  EXPECT_EQ(ObjectText(nullptr, nullptr), "");
  // Inside a container a missing value is written "null" so the text stays
  // valid; an empty text there would pair the key with the next key.
  TgtPDFArrayObject array;
  array.Add(nullptr);
  EXPECT_EQ(Text(array), "[ null ]");
  TgtPDFDictObject dict;
  dict.AddValue("/A", nullptr);
  dict.AddInteger("/B", 1);
  EXPECT_EQ(Text(dict), "<<\r\n/A null\r\n/B 1\r\n>>");
  TgtPDFIndirectObject empty(1, 9, 0, nullptr);
  EXPECT_EQ(Text(empty), "\r\n9 0 obj\r\nnull\r\nendobj\r\n");
}

TEST(ObjectText, References) {
  TestContext context;
  context.numbers[{1, 12}] = 5;
  context.numbers[{1, 13}] = 0;  // known but not written
  TgtPDFArrayObject array;
  array.Add(std::make_unique<TgtPDFIndirectReference>(1, 12, 3));  // generation not kept
  array.Add(std::make_unique<TgtPDFIndirectReference>(1, 13, 0));
  array.Add(std::make_unique<TgtPDFIndirectReference>(1, 99, 0));
  array.Add(std::make_unique<TgtPDFIndirectReference>(2, 12, 0));  // another document
  EXPECT_EQ(Text(array, &context), "[ 5 0 R null null null ]");
  // Without a context a reference keeps its own number.
  EXPECT_EQ(Text(TgtPDFIndirectReference(1, 12, 3)), "12 0 R");
}

TEST(ObjectText, IndirectObjectFraming) {
  auto catalog = Dict();
  catalog->AddName("/Type", "/Catalog");
  TgtPDFIndirectObject object(1, 5, 2, std::move(catalog));
  const char expected[] = "\r\n5 0 obj\r\n<<\r\n/Type /Catalog\r\n>>\r\nendobj\r\n";
  EXPECT_EQ(Text(object), expected);

  std::string out = "%PDF-1.4";
  AppendIndirectObjectText(out, 5, object.Content(), nullptr);
  EXPECT_EQ(out, std::string("%PDF-1.4") + expected);
}

TEST(ObjectText, StreamFraming) {
  auto dict = Dict();
  dict->AddInteger("/Length", 3);
  auto data = std::make_unique<TMemoryStream>(std::string("a\rb"));
  data->SetPosition(3);  // read to the end: still written whole
  TgtPDFStreamObject stream(std::move(dict), std::move(data));
  EXPECT_EQ(Text(stream), "<<\r\n/Length 3\r\n>>\r\nstream\r\na\rb\r\nendstream");

  TgtPDFStreamObject no_data(Dict());
  EXPECT_EQ(Text(no_data), "<<\r\n>>\r\nstream\r\n\r\nendstream");
}

TEST(ObjectText, StreamDataFromTheContext) {
  TestContext context;
  context.replace_stream = true;
  context.replacement_data = "XYZW";
  auto dict = Dict();
  dict->AddInteger("/Length", 1);
  TgtPDFStreamObject stream(std::move(dict), std::make_unique<TMemoryStream>(std::string("a")));
  EXPECT_EQ(Text(stream, &context), "<<\r\n/Length 1\r\n>>\r\nstream\r\nXYZW\r\nendstream");
  context.replace_dictionary = true;
  EXPECT_EQ(Text(stream, &context), "<<\r\n/Length 4\r\n>>\r\nstream\r\nXYZW\r\nendstream");
  EXPECT_EQ(stream.Dictionary().Lookup("/Length")->AsInteger().Value(), 1);
}

TEST(ObjectText, PageDictionariesGetTheirParent) {
  TestContext context;
  context.page_root = 3;
  TgtPDFDictObject page;
  page.AddName("/Type", "/Page");
  page.AddValue("/Parent", std::make_unique<TgtPDFIndirectReference>(1, 7, 0));  // replaced
  page.AddInteger("/Rotate", 90);
  EXPECT_EQ(Text(page, &context), "<<\r\n/Type /Page\r\n/Rotate 90\r\n/Parent 3 0 R\r\n>>");

  TgtPDFDictObject pages;
  pages.AddName("/Type", "/Pages");
  EXPECT_EQ(Text(pages, &context), "<<\r\n/Type /Pages\r\n>>");

  context.page_root = 0;  // no root known: written as held
  context.numbers[{1, 7}] = 6;
  EXPECT_EQ(Text(page, &context), "<<\r\n/Type /Page\r\n/Parent 6 0 R\r\n/Rotate 90\r\n>>");
}

TEST(ObjectText, EncryptionUsesTheObjectsOwnNumber) {
  TestContext context;
  context.encrypted_numbers = {7};
  TgtPDFArrayObject array;
  array.Add(std::make_unique<TgtPDFStringObject>("(AB)"));
  array.Add(std::make_unique<TgtPDFStringObject>("<41 4>", true));
  array.Add(std::make_unique<TgtPDFNameObject>("/AB"));
  // 'A' ^ 7 = 0x46, 'B' ^ 7 = 0x45, 0x40 ^ 7 = 0x47.
  EXPECT_EQ(Text(array, &context, 7), "[ <4645> <4647> /AB ]");
  EXPECT_EQ(Text(array, &context, kNoEncryption), "[ (AB) <41 4> /AB ]");
  EXPECT_EQ(Text(array, &context, 8), "[ (AB) <41 4> /AB ]");

  TgtPDFIndirectObject object(1, 7, 0,
                              std::make_unique<TgtPDFStreamObject>(
                                  Dict(), std::make_unique<TMemoryStream>(std::string("AB"))));
  context.encrypt_calls = 0;
  EXPECT_EQ(Text(object, &context),
            "\r\n7 0 obj\r\n<<\r\n>>\r\nstream\r\nFE\r\nendstream\r\nendobj\r\n");
  EXPECT_EQ(context.encrypt_calls, 1);
  EXPECT_EQ(object.Content()->AsStream().Data()->Bytes(), "AB");  // stored data untouched
}

// A signature dictionary's /Contents string (beside /ByteRange) is written
// as held; every other string of the object, nested ones too, is encrypted.
TEST(ObjectText, SignatureContentsAreNeverEncrypted) {
  TestContext context;
  context.encrypted_numbers = {7};
  const auto string = [](const char* text, bool hex = false) {
    return std::make_unique<TgtPDFStringObject>(text, hex);
  };
  const auto dictionary = [&](TgtPDFObjectPtr contents, bool byte_range) {
    auto d = Dict();
    if (byte_range) d->AddValue("/ByteRange", std::make_unique<TgtPDFArrayObject>());
    d->AddValue("/Contents", std::move(contents));
    d->AddValue("/Name", string("(AB)"));
    return d;
  };
  // 'A' ^ 7 = 0x46, 'B' ^ 7 = 0x45.
  EXPECT_EQ(Text(*dictionary(string("<41 42>", true), true), &context, 7),
            "<<\r\n/ByteRange [ ]\r\n/Contents <41 42>\r\n/Name <4645>\r\n>>");
  EXPECT_EQ(Text(*dictionary(string("(A)B)"), true), &context, 7),
            "<<\r\n/ByteRange [ ]\r\n/Contents (A\\)B)\r\n/Name <4645>\r\n>>");
  EXPECT_EQ(Text(*dictionary(string("(AB)"), false), &context, 7),
            "<<\r\n/Contents <4645>\r\n/Name <4645>\r\n>>");
  auto array = std::make_unique<TgtPDFArrayObject>();
  array->Add(string("(AB)"));
  EXPECT_EQ(Text(*dictionary(std::move(array), true), &context, 7),
            "<<\r\n/ByteRange [ ]\r\n/Contents [ <4645> ]\r\n/Name <4645>\r\n>>");
  auto outer = dictionary(dictionary(string("(AB)"), true), false);
  outer->AddValue("/T", string("(AB)"));
  EXPECT_EQ(Text(*outer, &context, 7),
            "<<\r\n/Contents <<\r\n/ByteRange [ ]\r\n/Contents (AB)\r\n/Name <4645>\r\n>>"
            "\r\n/Name <4645>\r\n/T <4645>\r\n>>");
}

TEST(ObjectText, NestingIsBounded) {
  auto nest = [](int depth) {
    auto root = std::make_unique<TgtPDFArrayObject>();
    TgtPDFArrayObject* inner = root.get();
    for (int i = 1; i < depth; ++i) {
      auto next = std::make_unique<TgtPDFArrayObject>();
      TgtPDFArrayObject* raw = next.get();
      inner->Add(std::move(next));
      inner = raw;
    }
    return root;
  };
  EXPECT_NO_THROW(Text(*nest(kMaxTextNesting)));
  EXPECT_THROW(Text(*nest(kMaxTextNesting + 1)), EObjectNestingError);
}

}  // namespace
}  // namespace pagemint
