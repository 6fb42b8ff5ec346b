// SPDX-License-Identifier: GPL-3.0-or-later
#include "pdf/objects/pdf_objects.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <thread>

#include "pdf/objects/object_text.h"

namespace pagemint {
namespace {

template <typename E, typename F>
std::string MessageOf(F&& action) {
  try {
    action();
  } catch (const E& e) {
    return e.Message();
  }
  return "(no exception)";
}

int32_t IntAt(const TgtPDFDictObject& dict, int32_t index) {
  return dict.ValueAt(index)->AsInteger().Value();
}

TEST(PdfObject, KindNamesAndTags) {
  TgtPDFArrayObject all;
  all.Add(std::make_unique<TgtPDFBooleanObject>(true));
  all.Add(std::make_unique<TgtPDFIntegerObject>(1));
  all.Add(std::make_unique<TgtPDFInt64Object>(1));
  all.Add(std::make_unique<TgtPDFRealObject>(1));
  all.Add(std::make_unique<TgtPDFStringObject>("()"));
  all.Add(std::make_unique<TgtPDFNameObject>("/N"));
  all.Add(std::make_unique<TgtPDFArrayObject>());
  all.Add(std::make_unique<TgtPDFDictObject>());
  all.Add(std::make_unique<TgtPDFStreamObject>(nullptr));
  all.Add(std::make_unique<TgtPDFNullObject>());
  all.Add(std::make_unique<TgtPDFIndirectReference>(1, 1, 0));
  all.Add(std::make_unique<TgtPDFIndirectObject>(1, 1, 0, nullptr));
  const char* names[] = {"Boolean Object",
                         "Integer Object",
                         "Int64 Object",
                         "Real Object",
                         "String Object",
                         "Name Object",
                         "Array Object",
                         "Dictionary Object",
                         "Stream Object",
                         "Null Object",
                         "IndirectReference Object",
                         "Indirect Object"};
  for (int32_t i = 0; i < all.Count(); ++i) {
    EXPECT_EQ(all.ItemAt(i)->Tag(), i);
    EXPECT_STREQ(all.ItemAt(i)->KindName(), names[i]);
  }
}

TEST(PdfObject, CastsNeverConvert) {
  TgtPDFIntegerObject integer(3);
  TgtPDFObject& object = integer;
  EXPECT_EQ(object.AsInteger().Value(), 3);
  EXPECT_EQ(MessageOf<EInvalidCast>([&] { object.AsReal(); }), "Invalid class typecast");
  EXPECT_THROW(object.AsInt64(), EInvalidCast);
  const TgtPDFObject& constant = integer;
  EXPECT_THROW(constant.AsDictionary(), EInvalidCast);
}

TEST(StringObject, ValueBytesAndNames) {
  EXPECT_EQ(TgtPDFStringObject("()").Value(), "");
  EXPECT_EQ(TgtPDFStringObject("").Value(), "");
  EXPECT_EQ(TgtPDFStringObject("(Adobe)").Value(), "Adobe");
  EXPECT_EQ(TgtPDFStringObject("(Adobe)").Bytes(), "Adobe");
  EXPECT_EQ(TgtPDFStringObject("<41 42\n43>", true).Bytes(), "ABC");
  EXPECT_EQ(TgtPDFStringObject("<414>", true).Bytes(), "A@");
  EXPECT_EQ(TgtPDFStringObject("<>", true).Bytes(), "");
  EXPECT_EQ(TgtPDFNameObject("/Type").PlainName(), "Type");
  EXPECT_EQ(TgtPDFNameObject("").PlainName(), "");
}

TEST(StringObject, UnicodeText) {
  std::string long_text = "<FEFF";
  for (int i = 0; i < 300; ++i) long_text += "0041";
  long_text += ">";
  const struct {
    const char* text;
    bool hex;
    std::u16string expected;
  } cases[] = {
      {"(caf\xE9)", false, u"caf\u00E9"},
      {"(\x80)", false, u"\u20AC"},            // the code page, not Latin-1
      {"(\xFE\xFF)", false, u"\u00FE\u00FF"},  // a literal is never UTF-16
      {"<636166E9>", true, u"caf\u00E9"},
      {"<41 4>", true, u"A@"},
      {"<FEFF00410042>", true, u"AB"},
      {"<feff00e9>", true, u"\u00E9"},
      {"<FE FF 00 41>", true, u"A"},
      {"<FEFF0041FEFF0042>", true, u"AB"},  // a repeated mark is dropped
      {"<FEFF.0041>", true, u".A"},
      {"<FEFF20AC0>", true, u"\u20AC"},  // an incomplete last unit is dropped
      {"<FEFF00G1>", true, u"\uFFFD"},   // not a hex digit
      {"<FEFF>", true, u""},
      {long_text.c_str(), true, std::u16string(249, u'A')},  // at most 999 digits
  };
  for (const auto& c : cases) {
    EXPECT_EQ(TgtPDFStringObject(c.text, c.hex).UnicodeText(), c.expected) << c.text;
  }
}

TEST(ArrayObject, Operations) {
  TgtPDFArrayObject array;
  EXPECT_EQ(array.AddInteger(10), 0);
  EXPECT_EQ(array.Add(std::make_unique<TgtPDFIntegerObject>(30)), 1);
  array.Insert(1, std::make_unique<TgtPDFIntegerObject>(20));
  array.Insert(3, std::make_unique<TgtPDFIntegerObject>(40));
  EXPECT_EQ(ObjectText(&array, nullptr), "[ 10 20 30 40 ]");
  EXPECT_EQ(array.ItemAt(4), nullptr);
  EXPECT_EQ(array.ItemAt(-1), nullptr);

  TgtPDFObjectPtr old = array.PutAt(0, std::make_unique<TgtPDFNullObject>());
  EXPECT_EQ(old->AsInteger().Value(), 10);
  TgtPDFObjectPtr taken = array.TakeAt(1);
  EXPECT_EQ(taken->AsInteger().Value(), 20);
  array.DeleteAt(0);
  EXPECT_EQ(ObjectText(&array, nullptr), "[ 30 40 ]");

  EXPECT_THROW(array.Insert(3, nullptr), EListError);
  EXPECT_THROW(array.PutAt(2, nullptr), EListError);
  EXPECT_THROW(array.DeleteAt(-1), EListError);
  EXPECT_THROW(array.TakeAt(2), EListError);
  EXPECT_EQ(array.Count(), 2);
}

TEST(DictObject, DuplicateKeysAndLookup) {
  TgtPDFDictObject dict;
  dict.AddInteger("/A", 1);
  dict.AddInteger("/A", 2);
  dict.AddValue("/Root", std::make_unique<TgtPDFIndirectReference>(1, 1, 0));
  EXPECT_EQ(dict.Count(), 3);
  EXPECT_EQ(dict.Lookup("/A")->AsInteger().Value(), 1);
  EXPECT_EQ(dict.IndexOfKey("/A"), 0);
  EXPECT_EQ(dict.Lookup("Root"), nullptr);  // keys carry their slash
  EXPECT_EQ(dict.Lookup("/root"), nullptr);
  EXPECT_EQ(dict.IndexOfKey("/B"), -1);

  dict.SetInteger("/A", 5);  // replaces the first, in place
  EXPECT_EQ(IntAt(dict, 0), 5);
  EXPECT_EQ(IntAt(dict, 1), 2);
  dict.SetBoolean("/New", true);
  EXPECT_EQ(dict.KeyAt(3)->Text(), "/New");

  dict.Remove("/A");
  EXPECT_EQ(dict.Lookup("/A")->AsInteger().Value(), 2);
  dict.Remove("/Missing");
  dict.AddName("/Skipped", "");  // an empty name adds nothing
  EXPECT_EQ(dict.Count(), 3);
}

TEST(DictObject, IndexedAccessIsBounded) {
  TgtPDFDictObject dict;
  dict.AddInteger("/A", 1);
  TgtPDFObjectPtr old = dict.PutValueAt(0, std::make_unique<TgtPDFIntegerObject>(7));
  EXPECT_EQ(old->AsInteger().Value(), 1);
  EXPECT_EQ(IntAt(dict, 0), 7);
  for (int32_t bad : {1, -1, 100}) {
    EXPECT_EQ(MessageOf<EInvalidIndex>(
                  [&] { dict.PutValueAt(bad, std::make_unique<TgtPDFNullObject>()); }),
              "Index Out Of Bounds!");
  }
  EXPECT_EQ(dict.Count(), 1);
  EXPECT_EQ(IntAt(dict, 0), 7);
  EXPECT_THROW(dict.KeyAt(1), EListError);
  EXPECT_THROW(dict.ValueAt(-1), EListError);
  EXPECT_THROW(dict.DeleteAt(1), EListError);

  TgtPDFObjectPtr taken = dict.TakeValueAt(0);
  EXPECT_EQ(taken->AsInteger().Value(), 7);
  EXPECT_EQ(dict.Count(), 1);
  EXPECT_EQ(dict.ValueAt(0), nullptr);
  dict.DeleteAt(0);
  EXPECT_EQ(dict.Count(), 0);
}

TEST(DictObject, MergeFrom) {
  TgtPDFDictObject target;
  target.AddInteger("/A", 1);
  target.AddInteger("/B", 2);
  auto source = std::make_unique<TgtPDFDictObject>();
  source->AddInteger("/C", 30);
  source->AddInteger("/A", 10);
  auto kids = std::make_unique<TgtPDFArrayObject>();
  kids->AddInteger(1);
  source->AddValue("/Kids", std::move(kids));

  target.MergeFrom(source.get());
  target.MergeFrom(nullptr);
  EXPECT_EQ(ObjectText(&target, nullptr), "<<\r\n/A 10\r\n/B 2\r\n/C 30\r\n/Kids [ 1 ]\r\n>>");
  // The merged values are copies.
  source->Lookup("/Kids")->AsArray().AddInteger(2);
  source.reset();
  EXPECT_EQ(target.Lookup("/Kids")->AsArray().Count(), 1);

  target.MergeFrom(&target);
  EXPECT_EQ(ObjectText(&target, nullptr), "<<\r\n/A 10\r\n/B 2\r\n/C 30\r\n/Kids [ 1 ]\r\n>>");
}

TEST(Clone, DeepCopies) {
  TgtPDFDictObject dict;
  dict.AddInteger("/A", 1);
  dict.AddInteger("/A", 2);
  auto array = std::make_unique<TgtPDFArrayObject>();
  array->Add(std::make_unique<TgtPDFStringObject>("<41>", true));
  array->Add(std::make_unique<TgtPDFIndirectReference>(3, 4, 5));
  array->Add(nullptr);
  dict.AddValue("/Arr", std::move(array));
  dict.AddValue("/Missing", nullptr);

  TgtPDFObjectPtr copy = dict.Clone();
  ASSERT_TRUE(copy->IsDictionary());
  EXPECT_EQ(ObjectText(copy.get(), nullptr), ObjectText(&dict, nullptr));
  dict.Lookup("/Arr")->AsArray().AddInteger(9);
  dict.DeleteAt(0);
  const TgtPDFArrayObject& copied = copy->AsDictionary().Lookup("/Arr")->AsArray();
  EXPECT_EQ(copied.Count(), 3);
  EXPECT_TRUE(copied.ItemAt(0)->AsString().IsHex());
  const auto& ref = copied.ItemAt(1)->AsReference();
  EXPECT_EQ(ref.Serial(), 3u);
  EXPECT_EQ(ref.Number(), 4);
  EXPECT_EQ(ref.Generation(), 5);
  EXPECT_EQ(copy->AsDictionary().KeyAt(0)->Text(), "/A");
}

TEST(Clone, StreamCopiesAllDataWhateverItsPosition) {
  auto dict = std::make_unique<TgtPDFDictObject>();
  dict->AddInteger("/Length", 5);
  TgtPDFStreamObject stream(std::move(dict), std::make_unique<TMemoryStream>(std::string("hello")));
  stream.Data()->SetPosition(5);
  TgtPDFObjectPtr copy = stream.Clone();
  TMemoryStream* data = copy->AsStream().Data();
  ASSERT_NE(data, nullptr);
  EXPECT_EQ(data->Bytes(), "hello");
  EXPECT_EQ(data->Position(), 0);
  EXPECT_NE(data, stream.Data());
  EXPECT_EQ(copy->AsStream().Dictionary().Lookup("/Length")->AsInteger().Value(), 5);

  TgtPDFStreamObject empty(nullptr);
  EXPECT_EQ(empty.Clone()->AsStream().Data(), nullptr);
  EXPECT_EQ(empty.Dictionary().Count(), 0);
}

TEST(Clone, IndirectObjectKeepsItsBookkeeping) {
  TgtPDFIndirectObject object(7, 12, 3, std::make_unique<TgtPDFNameObject>("/X"));
  TgtPDFObjectPtr copy = object.Clone();
  const TgtPDFIndirectObject& c = copy->AsIndirect();
  EXPECT_EQ(c.Serial(), 7u);
  EXPECT_EQ(c.Number(), 12);
  EXPECT_EQ(c.Generation(), 3);
  ASSERT_NE(c.Content(), object.Content());
  EXPECT_EQ(c.Content()->AsName().Text(), "/X");
}

TEST(NumberValue, IntegersAndRealsOnly) {
  EXPECT_EQ(NumberValue(std::make_unique<TgtPDFIntegerObject>(-3).get()), -3.0);
  EXPECT_EQ(NumberValue(std::make_unique<TgtPDFInt64Object>(1LL << 40).get()), 1099511627776.0);
  EXPECT_EQ(NumberValue(std::make_unique<TgtPDFRealObject>(2.5).get()), 2.5);
  const TgtPDFNameObject name("/X");
  const TgtPDFStringObject text("(1)");
  for (const TgtPDFObject* bad :
       {static_cast<const TgtPDFObject*>(&name), static_cast<const TgtPDFObject*>(&text),
        static_cast<const TgtPDFObject*>(nullptr)}) {
    EXPECT_EQ(MessageOf<EUnexpectedObjectError>([&] { NumberValue(bad); }),
              "Unexpected PDF object encountered");
  }
}

TEST(NumberValue, ReadRectangle) {
  TgtPDFArrayObject box;
  box.AddInteger(0);
  box.Add(std::make_unique<TgtPDFRealObject>(-1.5));
  box.AddInteger(612);
  EXPECT_THROW(ReadRectangle(box), EUnexpectedObjectError);  // three items
  box.Add(std::make_unique<TgtPDFRealObject>(792.25));
  const std::array<double, 4> expected = {0, -1.5, 612, 792.25};
  EXPECT_EQ(ReadRectangle(box), expected);
}

TEST(DocumentSerial, UniqueAcrossThreads) {
  constexpr int kThreads = 4;
  constexpr int kEach = 2000;
  std::vector<std::vector<uint32_t>> seen(kThreads);
  std::vector<std::thread> threads;
  for (int t = 0; t < kThreads; ++t) {
    threads.emplace_back([&seen, t] {
      for (int i = 0; i < kEach; ++i) seen[static_cast<size_t>(t)].push_back(NextDocumentSerial());
    });
  }
  for (auto& thread : threads) thread.join();
  std::vector<uint32_t> all;
  for (const auto& s : seen) all.insert(all.end(), s.begin(), s.end());
  std::sort(all.begin(), all.end());
  EXPECT_EQ(std::adjacent_find(all.begin(), all.end()), all.end());
  EXPECT_GT(all.front(), 0u);
}

}  // namespace
}  // namespace pagemint
