// SPDX-License-Identifier: GPL-3.0-or-later
#include "pdf/parser/stream_reader.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <functional>
#include <limits>
#include <type_traits>

#include "platform/numbers.h"

namespace pagemint {
namespace {

// A stream without a buffer view, so the reader takes its call-through
// path instead of working on the buffer.
class PlainStream : public TStream {
 public:
  explicit PlainStream(std::string bytes) : data_(std::move(bytes)) {}
  int64_t GetSize() override { return static_cast<int64_t>(data_.size()); }
  int64_t Read(void* buffer, int64_t count) override {
    const int64_t size = GetSize();
    if (count <= 0 || pos_ < 0 || pos_ >= size) return 0;
    const int64_t n = std::min(count, size - pos_);
    std::memcpy(buffer, data_.data() + pos_, static_cast<size_t>(n));
    pos_ += n;
    return n;
  }
  int64_t Write(const void*, int64_t) override { return 0; }
  int64_t Seek(int64_t offset, TSeekOrigin origin) override {
    if (origin == TSeekOrigin::soBeginning) pos_ = offset;
    if (origin == TSeekOrigin::soCurrent) pos_ += offset;
    if (origin == TSeekOrigin::soEnd) pos_ = GetSize() + offset;
    return pos_;
  }

 private:
  std::string data_;
  int64_t pos_ = 0;
};

// XORs every byte with number + generation and counts its calls, so a test
// sees both that and with which numbers data was decrypted.
class XorDecryptor : public TgtDecryptor {
 public:
  void DecryptData(std::string& data, int32_t number, int32_t generation) override {
    ++calls;
    for (char& c : data) c = static_cast<char>(c ^ (number + generation));
  }
  int calls = 0;
};

// A compact, unambiguous picture of an object for comparisons.
std::string Describe(const TgtPDFObject* o) {
  if (!o) return "nothing";
  switch (o->Tag()) {
    case otBoolean:
      return o->AsBoolean().Value() ? "true" : "false";
    case otInteger:
      return "i" + IntToStr(o->AsInteger().Value());
    case otInt64:
      return "l" + IntToStr(o->AsInt64().Value());
    case otReal:
      return "r" + std::to_string(o->AsReal().Value());
    case otString:
      return (o->AsString().IsHex() ? "h" : "s") + o->AsString().Text();
    case otName:
      return o->AsName().Text();
    case otNull:
      return "null";
    case otReference:
      return "ref " + IntToStr(o->AsReference().Number()) + " " +
             IntToStr(o->AsReference().Generation());
    case otArray: {
      std::string s = "[";
      const auto& a = o->AsArray();
      for (int32_t i = 0; i < a.Count(); ++i) s += (i ? " " : "") + Describe(a.ItemAt(i));
      return s + "]";
    }
    case otDictionary: {
      std::string s = "<<";
      const auto& d = o->AsDictionary();
      for (int32_t i = 0; i < d.Count(); ++i)
        s += d.KeyAt(i)->Text() + " " + Describe(d.ValueAt(i)) + ";";
      return s + ">>";
    }
    case otStream:
      return "stream" + Describe(&o->AsStream().Dictionary());
    case otIndirect: {
      const auto& x = o->AsIndirect();
      return "obj " + IntToStr(x.Number()) + " " + IntToStr(x.Generation()) + " " +
             Describe(x.Content());
    }
  }
  return "?";
}

// Every case runs over a memory stream (buffer path) and over a stream
// without a view (call-through path); both must give the same results.
class Reader : public ::testing::TestWithParam<bool> {
 protected:
  TgtPDFStreamReader& Open(std::string bytes) {
    if (GetParam())
      source_ = std::make_unique<TMemoryStream>(std::move(bytes));
    else
      source_ = std::make_unique<PlainStream>(std::move(bytes));
    reader_ = std::make_unique<TgtPDFStreamReader>(7, source_.get());
    return *reader_;
  }
  std::string Rest() {
    TgtPDFStreamReader& r = *reader_;
    const int64_t size = r.Size();
    return r.Pos() >= size ? std::string() : r.ReadBytes(size - r.Pos());
  }

  std::unique_ptr<TStream> source_;
  std::unique_ptr<TgtPDFStreamReader> reader_;
};

INSTANTIATE_TEST_SUITE_P(Paths, Reader, ::testing::Values(true, false),
                         [](const auto& info) { return info.param ? "Buffer" : "CallThrough"; });

struct ObjectCase {
  std::string input;
  std::string expected;
  std::string rest;  // what ReadObject leaves unread
};

TEST_P(Reader, ReadsObjects) {
  const ObjectCase cases[] = {
      {"[1 2 3]", "[i1 i2 i3]", ""},
      {"[ ]", "[]", ""},
      {"[]", "[]", ""},
      {"[/A/B]", "[/A /B]", ""},
      {"[(a)<41>[1]<</K 2>>]", "[s(a) h<41> [i1] <</K i2;>>]", ""},
      {"12 0 R", "ref 12 0", ""},
      {"[12 0 R 13 1 R]", "[ref 12 0 ref 13 1]", ""},
      {"12 0 r", "i12", "0 r"},
      {"12 0", "i12", "0"},
      {"12", "i12", ""},
      {"3.25", "r3.250000", ""},
      {".5", "r0.500000", ""},
      {"-.5", "r-0.500000", ""},
      {"5.", "r5.000000", ""},
      {"2147483647", "i2147483647", ""},
      {"-2147483648", "i-2147483648", ""},
      {"2147483648", "l2147483648", ""},
      {"4294967296", "l4294967296", ""},
      {"+17", "i17", ""},
      {"999999999", "i999999999", ""},
      {"-999999999", "i-999999999", ""},
      {"1000000000", "i1000000000", ""},
      {"-0", "i0", ""},
      {"0007", "i7", ""},
      {"[1 2 3 R 4]", "[i1 ref 2 3 i4]", ""},
      {"[1 %c\n2 %d\r3 R]", "[i1 ref 2 3]", ""},
      // Byte 0 and form feed are white space between any two tokens.
      {std::string("[/DeviceRGB\0" "255\0/A\f2\0" "0\fR]", 25), "[/DeviceRGB i255 /A ref 2 0]", ""},
      {"[0 0 1 0]/Next", "[i0 i0 i1 i0]", "/Next"},
      {"true", "true", ""},
      {"false", "false", ""},
      {"null", "null", ""},
      {"truex", "true", "x"},
      {"/Name#20X", "/Name#20X", ""},
      // Form feed and byte 0 are white space: they end a name.
      {"/A{}\f%", "/A{}", "\f%"},
      {std::string("/A\0B", 4), "/A", std::string("\0B", 2)},
      {"/A\n/B", "/A", "/B"},
      {"/A(x)", "/A", "(x)"},
      {"<48 65>", "h<48 65>", ""},
      {"<4>", "h<4>", ""},
      {"<>", "h<>", ""},
      {"<</A 1/A 2>>", "<</A i1;/A i2;>>", ""},
      {"<</Kids[1 0 R]/Count 1>>", "<</Kids [ref 1 0];/Count i1;>>", ""},
      {"% comment\r\n  42 ", "i42", ""},
      {"12 %c\n0 R", "ref 12 0", ""},
      {std::string("\0 12\0", 5), "i12", ""},
      {")", "nothing", ")"},
      {"]", "nothing", "]"},
      {">", "nothing", ">"},
      {"}", "nothing", "}"},
      {"1 0 obj 2 endobj", "obj 1 0 i2", "endobj"},
      {"7 0 OBJ <</Length 5>> stream\r\nabcde", "obj 7 0 stream<</Length i5;>>", "stream\r\nabcde"},
      {"7 0 obj\n<</Length 5>>\nendobj", "obj 7 0 <</Length i5;>>", "endobj"},
      // A comment right after the keyword does not hide the stream.
      {"7 0 obj <</Length 9>>\nstream%comment\nendstream", "obj 7 0 stream<</Length i9;>>",
       "stream%comment\nendstream"},
      // Without "endobj": the next object's header, or the end, follows.
      {"7 0 obj <</A 1>>\n8 0 obj", "obj 7 0 <</A i1;>>", "8 0 obj"},
      {"7 0 obj <</A 1>> ", "obj 7 0 <</A i1;>>", ""},
      {"3 65535 obj null endobj", "obj 3 65535 null", "endobj"},
  };
  for (const ObjectCase& c : cases) {
    SCOPED_TRACE(c.input);
    TgtPDFStreamReader& r = Open(c.input);
    EXPECT_EQ(Describe(r.ReadObject().get()), c.expected);
    EXPECT_EQ(Rest(), c.rest);
  }
}

TEST_P(Reader, ReadsLiteralStrings) {
  const std::pair<std::string, std::string> cases[] = {
      {"(a(b)c)", "(a(b)c)"},
      {"(\\))", "())"},
      {"(\\()", "(()"},
      {"(\\101)", "(A)"},
      {"(\\q)", "(\\q)"},
      {"(\\9)", "(\\9)"},
      {"(a\\\r\nb)", "(ab)"},
      {"(a\\\rb)", "(ab)"},
      {"(a\\\nb)", "(ab)"},
      {"(a\\\n\nb)", "(a\nb)"},
      {"(\\b\\f\\n\\r\\t\\\\)", "(\b\f\n\r\t\\)"},
      {"(\\0053)", std::string("(\x05", 2) + "3)"},
      {"(\\8)", "(\b)"},
      {"(\\777)", "(\xFF)"},
      {"(\\1\\\n2)", "(\n)"},  // the continuation goes before the escape is read
  };
  for (const auto& [input, expected] : cases) {
    SCOPED_TRACE(input);
    TgtPDFStreamReader& r = Open(input);
    const TgtPDFObjectPtr o = r.ReadObject();
    ASSERT_TRUE(o && o->IsString());
    EXPECT_EQ(o->AsString().Text(), expected);
    EXPECT_FALSE(o->AsString().IsHex());
  }
}

struct ErrorCase {
  std::string input;
  std::function<void(TgtPDFStreamReader&)> read;
  std::string message;
  // Checks the exception's class.
  std::function<bool(const Exception&)> is;
};

template <class E>
bool Is(const Exception& e) {
  if constexpr (std::is_same_v<E, Exception>)
    return true;  // a cast to its own class would be a null test GCC warns of
  else
    return dynamic_cast<const E*>(&e) != nullptr;
}

bool IsBase(const Exception& e) { return typeid(e) == typeid(Exception); }

TEST_P(Reader, ReportsErrors) {
  auto object = [](TgtPDFStreamReader& r) { r.ReadObject(); };
  const ErrorCase cases[] = {
      {"tru", object, "Expected boolean (true) object", Is<EBooleanError>},
      {"trailer", object, "Expected boolean (true) object", Is<EBooleanError>},
      {"fals", object, "Expected boolean (false) object", Is<EBooleanError>},
      {"nul", object, "Expected PDF null object", Is<ENullObjectError>},
      {"nonsense", object, "Expected PDF null object", Is<ENullObjectError>},
      {"endobj", object, "'endobj' is not a valid integer value", IsBase},
      {"1e5", object, "'1e5' is not a valid integer value", IsBase},
      {"99999999999999999999", object, "'99999999999999999999' is not a valid integer value",
       IsBase},
      {"12%c", object, "'12%c' is not a valid integer value", IsBase},
      {"{", object, "'{' is not a valid integer value", IsBase},
      {"+", object, "'+' is not a valid integer value", IsBase},
      {"-", object, "'-' is not a valid integer value", IsBase},
      {"x y R", object, "'y' is not a valid integer value", Is<EConvertError>},
      {"2147483648 0 R", object, "'2147483648' is not a valid integer value", Is<EConvertError>},
      {"x 0 R", object, "'x' is not a valid integer value", Is<EConvertError>},
      {"1 y obj", object, "'y' is not a valid integer value", Is<EConvertError>},
      {"7 0 obj [1] stream", object, "Invalid class typecast", Is<EInvalidCast>},
      {"7 0 obj null stream", object, "Invalid class typecast", Is<EInvalidCast>},
      // A damaged "stream" keyword: never a dictionary without its data.
      {"7 0 obj <</Length 9>>\nstreamer", object,
       "File is corrupted: object 7 is followed by damaged bytes instead of endobj or stream",
       Is<EStreamReadError>},
      {"7 0 obj <</Length 9>>\nstrea\xEC", object,
       "File is corrupted: object 7 is followed by damaged bytes instead of endobj or stream",
       Is<EStreamReadError>},
      {"", object, "The data ended where a PDF object was expected", Is<EUnexpectedEndError>},
      {"  % only a comment", object, "The data ended where a PDF object was expected",
       Is<EUnexpectedEndError>},
      {"[", object, "The data ended while reading a PDF array", Is<EUnexpectedEndError>},
      {"[1 2", object, "The data ended while reading a PDF array", Is<EUnexpectedEndError>},
      {"[1 2 ", object, "The data ended while reading a PDF array", Is<EUnexpectedEndError>},
      {"[(a)", object, "The data ended while reading a PDF array", Is<EUnexpectedEndError>},
      {"(abc", object, "The data ended while reading a PDF string", Is<EUnexpectedEndError>},
      {"(abc\\", object, "The data ended while reading a PDF string", Is<EUnexpectedEndError>},
      {"(a(b)", object, "The data ended while reading a PDF string", Is<EUnexpectedEndError>},
      {"<4142", object, "The data ended while reading a PDF string", Is<EUnexpectedEndError>},
      {"<", object, "The data ended while reading a PDF string", Is<EUnexpectedEndError>},
      {"<</A 1", object, "The data ended while reading a PDF dictionary", Is<EUnexpectedEndError>},
      {"<</A", object, "The data ended while reading a PDF dictionary", Is<EUnexpectedEndError>},
      {"<<", object, "The data ended while reading a PDF dictionary", Is<EUnexpectedEndError>},
      {"1 0 obj", object, "The data ended where a PDF object was expected",
       Is<EUnexpectedEndError>},
      {"<</A 1 2 3>>", object, "Error reading PDF name string (2)", Is<ENameReadError>},
      {"<</A]>>", object, "Error reading PDF dictionary: /A has no value",
       Is<EDictionaryReadError>},
      {"<</A>>", object, "Error reading PDF dictionary: /A has no value",
       Is<EDictionaryReadError>},
      {"<</A 1 > /B 2>>", object, "Error reading PDF dictionary (>)", Is<EDictionaryReadError>},
      // A word that is no number, keyword or reference, and an object
      // header where a value belongs (the container lost its end).
      {"1.2.3", object, "'1.2.3' is not a valid integer value", Is<Exception>},
      {"[1 2 0 obj", object, "An array or dictionary runs on into the header of the next object",
       Is<EUnexpectedEndError>},
      {"1 0 obj 2 0 obj", object,
       "An array or dictionary runs on into the header of the next object",
       Is<EUnexpectedEndError>},
      {"<a/b>", object, "Error reading PDF hex string (/)", Is<EStringReadError>},
      // An array cut off by another closing delimiter is damage, not an
      // empty or short array.
      {"<</A [>>", object, "Error reading PDF array (>)", Is<EArrayReadError>},
      {"[1 2>", object, "Error reading PDF array (>)", Is<EArrayReadError>},
      {"[1 2)", object, "Error reading PDF array ())", Is<EArrayReadError>},
      {"x", [](auto& r) { r.ReadString(); }, "Error reading PDF string (x)", Is<EStringReadError>},
      {"x", [](auto& r) { r.ReadArray(); }, "Error reading PDF array (x)", Is<EArrayReadError>},
      {"x", [](auto& r) { r.ReadName(); }, "Error reading PDF name string (x)", Is<ENameReadError>},
      {"<x", [](auto& r) { r.ReadDictionary(); }, "Error reading PDF dictionary (x)",
       Is<EDictionaryReadError>},
      {"", [](auto& r) { r.ReadName(); }, "The data ended where a PDF name was expected",
       Is<EUnexpectedEndError>},
  };
  for (const ErrorCase& c : cases) {
    SCOPED_TRACE(c.input);
    TgtPDFStreamReader& r = Open(c.input);
    try {
      c.read(r);
      ADD_FAILURE() << "no exception";
    } catch (const Exception& e) {
      EXPECT_EQ(e.Message(), c.message);
      EXPECT_TRUE(c.is(e)) << typeid(e).name();
    }
  }
}

// While repairing, damaged syntax is passed over and counted; the items
// around it are kept.
TEST_P(Reader, RepairsDamagedSyntaxWhenAsked) {
  const struct {
    std::string input;
    std::string expected;
    int32_t repairs;
  } cases[] = {
      {"<</A 1 /B [>> /C 2>>", "<</A i1;/B [];>>", 1},
      {"<</A 1 2 3 /B 4>>", "<</A i1;/B i4;>>", 2},
      {"<</Type /Page ?arent 2 0 R /Rotate 90>>", "<</Type /Page;/Rotate i90;>>", 3},
      {"[1 BT 3]", "[i1 null i3]", 1},
      // A key without its value, a damaged keyword, a real or reference,
      // a lone ">", and a hex string with a byte that is no hex digit.
      {"<</A /B>>", "<</A /B;>>", 0},
      {"<</A>>", "<<>>", 1},
      {"<</A ]>>", "<<>>", 2},
      {"[nul trux 1.2.3 1x 0 R 7]", "[null null null null i7]", 4},
      {"<</A 1 > /B 2>>", "<</A i1;/B i2;>>", 1},
      {"<</A <12/B 2>>", "<</A h<12>;/B i2;>>", 1},
      // What ends an object ends the containers that lost their ends.
      {"<</A [1 2 endobj", "<</A [i1 i2];>>", 2},
      {"<</A 1 /B 3 0 obj", "<</A i1;>>", 2},
      {"<</Length 3 stream", "<</Length i3;>>", 1},
      {"<</A 1 /B 2 /A 3>>", "<</A i3;/B i2;>>", 1},
      {"<</A 1>>", "<</A i1;>>", 0},
      // A '%' inside a name ends it; a zero byte is white space, no damage.
      {std::string("<</Root\0\0 <</P 1>> /B 2>>", 25), "<</Root <</P i1;>>;/B i2;>>", 0},
      {"<</A%x\n1>>", "<</A i1;>>", 1},
      {"7 0 obj <</Length 9>>\nstrea\xEC", "obj 7 0 <</Length i9;>>", 1},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.input);
    TgtPDFStreamReader& r = Open(c.input);
    r.SetRepairing(true);
    EXPECT_EQ(Describe(r.ReadObject().get()), c.expected);
    EXPECT_EQ(r.Repairs(), c.repairs);
  }
}

TEST_P(Reader, TokensStopAtDelimitersAndTheEnd) {
  TgtPDFStreamReader& r = Open("  abc/def  ]x");
  EXPECT_EQ(r.PeekToken(), "abc");
  EXPECT_EQ(r.ReadToken(), "abc");
  EXPECT_EQ(r.PeekToken(), "");  // begins with a delimiter
  EXPECT_EQ(r.ReadToken(), "/def");
  EXPECT_EQ(r.ReadToken(), "]x");
  EXPECT_EQ(r.ReadToken(), "");
  EXPECT_EQ(r.PeekToken(), "");
}

TEST_P(Reader, StopsAtAPositionOutsideTheData) {
  for (const int64_t position : {int64_t{-5}, int64_t{100}}) {
    TgtPDFStreamReader& r = Open("[1 2]");
    r.SetPos(position);
    r.SkipWhitespace();
    EXPECT_EQ(r.ReadToken(), "");
    EXPECT_THROW(r.ReadObject(), EUnexpectedEndError);
  }
}

// A number's look-ahead is kept for the next number; reading from other
// positions in between, or again from the start, must give the same objects
// as a first reading.
TEST_P(Reader, ReadsNumbersFromAnyPositionAlike) {
  const std::string text = "5 6 7 R 8 /A 9 10 0 R";
  struct Step {
    int64_t position;  // -1: go on from where the last read stopped
    std::string expected;
  };
  const Step steps[] = {
      {-1, "i5"}, {-1, "ref 6 7"},  {-1, "i8"},      {-1, "/A"}, {-1, "i9"}, {-1, "ref 10 0"},
      {0, "i5"},  {2, "ref 6 7"},   {0, "i5"},       {4, "i7"},  {12, "i9"}, {2, "ref 6 7"},
      {-1, "i8"}, {15, "ref 10 0"}, {16, "ref 0 0"}, {18, "i0"}, {13, "i9"},
  };
  TgtPDFStreamReader& r = Open(text);
  for (const Step& step : steps) {
    SCOPED_TRACE(std::to_string(step.position) + " " + step.expected);
    if (step.position >= 0) r.SetPos(step.position);
    EXPECT_EQ(Describe(r.ReadObject().get()), step.expected);
  }
}

TEST_P(Reader, RemembersTheLastObjectHeader) {
  TgtPDFStreamReader& r = Open("5 2 obj (x) endobj 9 0 R");
  EXPECT_EQ(r.CurrentObjectNumber(), 0);
  const TgtPDFObjectPtr o = r.ReadObject();
  EXPECT_EQ(o->AsIndirect().Serial(), 7u);
  EXPECT_EQ(r.CurrentObjectNumber(), 5);
  EXPECT_EQ(r.CurrentGeneration(), 2);
  EXPECT_EQ(r.ReadToken(), "endobj");
  EXPECT_EQ(r.ReadObject()->AsReference().Serial(), 7u);
  EXPECT_EQ(r.CurrentObjectNumber(), 5);  // a reference is no header
}

TEST_P(Reader, BoundsNesting) {
  const int limit = kMaxObjectNesting;
  {
    const std::string ok = std::string(limit, '[') + std::string(limit, ']');
    TgtPDFStreamReader& r = Open(ok);
    EXPECT_TRUE(r.ReadObject()->IsArray());
    EXPECT_EQ(Rest(), "");
  }
  std::string dicts;
  for (int i = 0; i <= limit; ++i) dicts += "<</A ";
  const std::string cases[] = {std::string(limit + 1, '['), std::string(100000, '['), dicts,
                               std::string(limit + 1, '[') + std::string(limit + 1, ']')};
  for (const std::string& input : cases) {
    TgtPDFStreamReader& r = Open(input);
    try {
      r.ReadObject();
      ADD_FAILURE() << "no exception";
    } catch (const ENestingTooDeepError& e) {
      EXPECT_EQ(e.Message(), "PDF objects are nested more than 1000 levels deep");
    }
  }
}

TEST_P(Reader, DecryptsStringsWithTheCurrentObject) {
  XorDecryptor decryptor;
  const std::pair<std::string, std::string> cases[] = {
      // 5 + 2 = 7: "A" ^ 7 = "F"
      {"5 2 obj (AB) endobj", "(FE)"},
      {"5 2 obj <4142> endobj", "(FE)"},
      {"5 2 obj < 41 4 > endobj",
       "(F"
       "\x47"
       ")"},
      {"5 2 obj (a\\(b) endobj", "(f/e)"},
  };
  for (const auto& [input, expected] : cases) {
    SCOPED_TRACE(input);
    TgtPDFStreamReader& r = Open(input);
    r.SetDecryptor(&decryptor);
    const TgtPDFObjectPtr o = r.ReadObject();
    const TgtPDFStringObject& s = o->AsIndirect().Content()->AsString();
    EXPECT_EQ(s.Text(), expected);
    EXPECT_FALSE(s.IsHex());
  }
  // Empty strings are left alone and stay as they were written.
  decryptor.calls = 0;
  TgtPDFStreamReader& r = Open("[<> ()]");
  r.SetDecryptor(&decryptor);
  EXPECT_EQ(Describe(r.ReadObject().get()), "[h<> s()]");
  EXPECT_EQ(decryptor.calls, 0);
}

// A signature dictionary's /Contents (a string beside /ByteRange) is stored
// unencrypted; every other string, an annotation's /Contents too, is
// decrypted. Damaged dictionaries read as before, with or without repairs.
TEST_P(Reader, LeavesASignaturesContentsUndecrypted) {
  XorDecryptor decryptor;
  const struct {
    std::string dictionary;  // the content of object 5 2 (XOR 7)
    std::string expected;
    bool repairing = false;
  } cases[] = {
      {"<</Type /Sig /ByteRange [0 1 2 3] /Contents <4142> /Name (AB)>>",
       "<</Type /Sig;/ByteRange [i0 i1 i2 i3];/Contents h<4142>;/Name s(FE);>>"},
      {"<</Contents (A\\B) /ByteRange []>>", "<</Contents s(A\\B);/ByteRange [];>>"},
      {"<</Contents <4142> /T (AB)>>", "<</Contents s(FE);/T s(FE);>>"},
      {"<</Contents (AB) /Contents <41>>>", "<</Contents s(FE);/Contents s(F);>>"},
      {"<</V <</ByteRange [] /Contents ()>> /Contents (AB)>>",
       "<</V <</ByteRange [];/Contents s();>>;/Contents s(FE);>>"},
      // /Contents that is no string is read as any other value.
      {"<</ByteRange [] /Contents [(AB)]>>", "<</ByteRange [];/Contents [s(FE)];>>"},
      {"<</ByteRange [] /Contents <</A (AB)>>>>", "<</ByteRange [];/Contents <</A s(FE);>>;>>"},
      {"<</ByteRange [] /Contents 7 0 R>>", "<</ByteRange [];/Contents ref 7 0;>>"},
      {"<</ByteRange 1 /Contents>>", "<</ByteRange i1;>>", true},
      {"<</ByteRange [] /Contents (AB) endobj", "<</ByteRange [];/Contents s(AB);>>", true},
      {"<</Contents <41 4?> /P 1 endobj", "<</Contents s(FG);/P i1;>>", true},
      {"<</Contents (AB) /ByteRange [] /Contents <43>>>", "<</Contents h<43>;/ByteRange [];>>",
       true},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.dictionary);
    TgtPDFStreamReader& r = Open("5 2 obj " + c.dictionary + " endobj");
    r.SetDecryptor(&decryptor);
    r.SetRepairing(c.repairing);
    try {
      EXPECT_EQ(Describe(r.ReadObject()->AsIndirect().Content()), c.expected);
    } catch (const Exception& e) {
      ADD_FAILURE() << e.what();
    }
    EXPECT_EQ(r.Decryptor(), &decryptor);
  }
  // Without repairs a damaged one fails as before, and the decryptor stays.
  TgtPDFStreamReader& r = Open("5 2 obj <</ByteRange [] /Contents (AB endobj");
  r.SetDecryptor(&decryptor);
  EXPECT_THROW(r.ReadObject(), EUnexpectedEndError);
  EXPECT_EQ(r.Decryptor(), &decryptor);
}

struct StreamCase {
  std::string input;  // from just after the stream dictionary
  int64_t length;
  std::string data;  // or the error message
  bool fails = false;
};

constexpr const char kLostEnd[] = "stream\nabcde\nendsream\nendobj 2 0 obj<<>>stream\nxy\nendstream";

TEST_P(Reader, ReadsStreamData) {
  const int64_t huge = int64_t{1} << 40;
  const int64_t max = std::numeric_limits<int64_t>::max();
  const int64_t min = std::numeric_limits<int64_t>::min();
  const StreamCase cases[] = {
      {" stream\r\nabcde\r\nendstream", 5, "abcde"},
      {"stream\nabcde\nendstream", 5, "abcde"},
      {"stream\rabcde endstream", 5, "abcde"},
      {"stream \t\r\nabcde endstream", 5, "abcde"},
      // Two too many: cut back until "endstream" starts right after the data.
      {"stream\r\nabcde\r\nendstream", 9, "abcde\r\n"},
      // Too few: found forwards.
      {"stream\r\nabcde\r\nendstream", 3, "abcde\r\n"},
      // A declared length is right even when "endstream" also occurs inside.
      {"stream\nXendstreamY\nendstream", 11, "XendstreamY"},
      {"stream\r\nendstream", 0, ""},
      {"stream\r\nendstream", 1, ""},
      {"stream\r\nendstream", 5, ""},
      // Lengths that cannot be right are handled without allocating them.
      {"stream\r\nabcde\r\nendstream", huge, "abcde\r\n"},
      {"stream\r\nabcde\r\nendstream", max, "abcde\r\n"},
      {"stream\r\nabcde\r\nendstream", -5, "abcde\r\n"},
      {"stream\r\nabcde\r\nendstream", min, "abcde\r\n"},
      // The length past the end: the first "endstream", not the last one.
      {"stream\nab\nendstream\nendobj 2 0 obj<<>>stream\nxy\nendstream", huge, "ab\n"},
      // Too long, over a later object: its "endstream" is not this one's.
      {"stream\nab\nendstream\nendobj 2 0 obj<<>>stream\nxy\nendstream", 45, "ab\n"},
      {"stream\r\nabcde\r\nendstream", 0, "Expected PDF endstream", true},
      {"stream\r\nabc", 3, "Expected PDF endstream", true},
      {"stream\r\nabc", huge, "Expected PDF endstream", true},
      {"stream\r\nabc endstrea", 3, "Expected PDF endstream", true},
      // A damaged "endstream": the next one belongs to a later object.
      {std::string(kLostEnd), 5, "Expected PDF endstream", true},
      {"strea", 3, "Error reading PDF stream", true},
      {"xstream\r\nabc endstream", 3, "Error reading PDF stream", true},
  };
  for (const StreamCase& c : cases) {
    SCOPED_TRACE(c.input + " / " + std::to_string(c.length));
    TgtPDFStreamReader& r = Open(c.input);
    try {
      const std::unique_ptr<TMemoryStream> data = r.ReadStreamData(c.length, 1, 0);
      EXPECT_FALSE(c.fails);
      EXPECT_EQ(data->Bytes(), c.data);
      EXPECT_EQ(data->Position(), 0);
      r.SkipWhitespace();
      EXPECT_EQ(r.ReadToken(), c.input.find("endobj") == std::string::npos ? "" : "endobj");
    } catch (const EEndStreamError& e) {
      EXPECT_TRUE(c.fails);
      EXPECT_EQ(e.Message(), c.data);
    } catch (const EStreamReadError& e) {
      EXPECT_TRUE(c.fails);
      EXPECT_EQ(e.Message(), c.data);
    }
  }
  // While repairing, that stream keeps its declared length.
  TgtPDFStreamReader& r = Open(kLostEnd);
  r.SetRepairing(true);
  EXPECT_EQ(r.ReadStreamData(5, 1, 0)->Bytes(), "abcde");
  EXPECT_EQ(r.Repairs(), 1);
}

TEST_P(Reader, DecryptsStreamDataWithTheGivenObject) {
  XorDecryptor decryptor;
  TgtPDFStreamReader& r = Open("stream\nAB\nendstream");
  r.SetDecryptor(&decryptor);
  EXPECT_EQ(r.ReadStreamData(2, 3, 1)->Bytes(), "EF");  // 3 + 1 = 4
  EXPECT_EQ(decryptor.calls, 1);
}

// Hostile sizes must cost time in proportion to the data, once.
TEST_P(Reader, SearchesLongDataOnce) {
  std::string data = "stream\n" + std::string(4 << 20, 'e') + "\nendstream";
  for (const int64_t length : {int64_t{1} << 40, int64_t{1}, int64_t{0} + (4 << 20) - 100}) {
    TgtPDFStreamReader& r = Open(data);
    EXPECT_EQ(r.ReadStreamData(length, 1, 0)->Bytes().size(), (4u << 20) + 1);
  }
  TgtPDFStreamReader& r = Open("stream\n" + std::string(4 << 20, 'e'));
  EXPECT_THROW(r.ReadStreamData(int64_t{1} << 40, 1, 0), EEndStreamError);
}

TEST_P(Reader, ReadsASequenceOfObjects) {
  TgtPDFStreamReader& r = Open(
      "%PDF-1.4\n1 0 obj\n<< /Type /Catalog /Pages 2 0 R >>\nendobj\n"
      "2 0 obj\n<< /Type /Pages /Kids [ 3 0 R ] /Count 1 /MediaBox [0 0 612.5 792] >>\nendobj\n");
  EXPECT_EQ(Describe(r.ReadObject().get()), "obj 1 0 <</Type /Catalog;/Pages ref 2 0;>>");
  EXPECT_EQ(r.ReadToken(), "endobj");
  EXPECT_EQ(
      Describe(r.ReadObject().get()),
      "obj 2 0 <</Type /Pages;/Kids [ref 3 0];/Count i1;/MediaBox [i0 i0 r612.500000 i792];>>");
  EXPECT_EQ(r.ReadToken(), "endobj");
  EXPECT_EQ(r.ReadToken(), "");
}

}  // namespace
}  // namespace pagemint
