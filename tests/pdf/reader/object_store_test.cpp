// SPDX-License-Identifier: GPL-3.0-or-later
#include "pdf/reader/object_store.h"

#include <gtest/gtest.h>

#include "pdf/parser/stream_reader.h"
#include "pdf/reader/xref_tables.h"
#include "pdf/streams/stream_wrappers.h"

namespace pagemint {
namespace {

std::unique_ptr<TgtPDFIndirectObject> Object(uint32_t serial, int32_t number, uint16_t generation,
                                             TgtPDFObjectPtr content) {
  return std::make_unique<TgtPDFIndirectObject>(serial, number, generation, std::move(content));
}

TEST(TgtPDFObjectStore, RegistersAndFindsByTriple) {
  TgtPDFObjectStore store;
  EXPECT_EQ(store.NextObjectNumber(), 1);  // a document not read from a file
  TgtPDFIndirectObject* twelve = store.Add(Object(1, 12, 0, std::make_unique<TgtPDFNullObject>()));
  store.Add(Object(1, 1, 10, std::make_unique<TgtPDFNullObject>()));
  store.Add(Object(1, 11, 0, std::make_unique<TgtPDFNullObject>()));
  TgtPDFIndirectObject* again = store.Add(Object(1, 12, 0, std::make_unique<TgtPDFNullObject>()));

  EXPECT_EQ(store.Find(TgtPDFIndirectReference(1, 12, 0)), twelve);
  EXPECT_EQ(store.Find(TgtPDFIndirectReference(2, 12, 0)), nullptr);
  EXPECT_EQ(store.Find(TgtPDFIndirectReference(1, 12, 1)), nullptr);
  // Triples whose concatenated digits agree stay apart.
  EXPECT_EQ(store.Find(1, 1, 10)->Number(), 1);
  EXPECT_EQ(store.Find(1, 11, 0)->Number(), 11);
  EXPECT_EQ(store.IsRegistered(1, 12), 0);
  EXPECT_EQ(store.IsRegistered(1, 1), -1);
  // The second registration stays in the order but is not the one found.
  EXPECT_EQ(store.Count(), 4);
  EXPECT_EQ(store.ItemAt(3), again);
  EXPECT_THROW(store.ItemAt(4), EListError);
  EXPECT_THROW(store.Add(nullptr), ENullObjectError);
}

// Many objects, other documents' objects, generations and very large
// numbers all find their own entry.
TEST(TgtPDFObjectStore, LargeAndMixedKeys) {
  TgtPDFObjectStore store;
  store.Reserve(1000);
  constexpr int32_t kCount = 50000;
  for (int32_t n = 1; n <= kCount; ++n)
    store.Add(Object(7, n, 0, std::make_unique<TgtPDFIntegerObject>(n)));
  store.Add(Object(8, 5, 0, std::make_unique<TgtPDFIntegerObject>(-5)));
  store.Add(Object(7, 5, 3, std::make_unique<TgtPDFIntegerObject>(-53)));
  store.Add(Object(7, 2000000000, 0, std::make_unique<TgtPDFIntegerObject>(-2)));
  for (int32_t n = 1; n <= kCount; n += 997)
    EXPECT_EQ(store.Find(7, n, 0)->Content()->AsInteger().Value(), n);
  EXPECT_EQ(store.Find(8, 5, 0)->Content()->AsInteger().Value(), -5);
  EXPECT_EQ(store.Find(7, 5, 3)->Content()->AsInteger().Value(), -53);
  EXPECT_EQ(store.Find(7, 2000000000, 0)->Content()->AsInteger().Value(), -2);
  EXPECT_EQ(store.Find(7, kCount + 1, 0), nullptr);
  EXPECT_EQ(store.Find(9, 5, 0), nullptr);
  EXPECT_EQ(store.Find(7, -1, 0), nullptr);
  EXPECT_EQ(store.IsRegistered(8, 5), kCount);

  TgtPDFObjectStore zero;  // a serial of 0 is a serial like any other
  zero.Add(Object(0, 3, 0, std::make_unique<TgtPDFNullObject>()));
  EXPECT_NE(zero.Find(0, 3, 0), nullptr);
  EXPECT_EQ(zero.Find(1, 3, 0), nullptr);
}

// A damaged file may name one object in the millions before or among
// ordinary ones: every entry stays findable on both sides of the point
// where the flat arrays stop, first entry kept.
TEST(TgtPDFObjectStore, FarNumberThenDenseRun) {
  TgtPDFObjectStore store;
  TgtXRefTable table;
  store.Add(Object(7, 8000000, 0, std::make_unique<TgtPDFIntegerObject>(-8)));
  table.Put(8000000, TgtXRefItem{0, 'n', 8000000, 8});
  store.Add(Object(7, 9000, 0, std::make_unique<TgtPDFIntegerObject>(-9)));
  table.Put(9000, TgtXRefItem{0, 'n', 9000, 9});
  for (int32_t n = 1; n <= 20000; ++n) {
    store.Add(Object(7, n, 0, std::make_unique<TgtPDFIntegerObject>(n)));
    table.Put(n, TgtXRefItem{0, 'n', n, n});
  }
  EXPECT_EQ(store.Find(7, 9000, 0)->Content()->AsInteger().Value(), -9);
  EXPECT_EQ(store.Find(7, 8000000, 0)->Content()->AsInteger().Value(), -8);
  EXPECT_EQ(store.Find(7, 19999, 0)->Content()->AsInteger().Value(), 19999);
  EXPECT_EQ(table.At(9000)->offset, 9000);
  EXPECT_EQ(table.At(8000000)->offset, 8);
  EXPECT_EQ(table.At(7999999), nullptr);
  EXPECT_EQ(table.SlotCount(), 8000001);
  EXPECT_EQ(table.Count(), 20001u);
  table.Erase(8000000);
  int32_t last = 0, visited = 0;
  table.ForEach([&](int32_t n, const TgtXRefItem&) { EXPECT_GT(n, last); last = n; ++visited; });
  EXPECT_EQ(visited, 20000);
}

TEST(TgtPDFObjectStore, FollowFamily) {
  TgtPDFObjectStore store;
  store.Add(Object(1, 5, 0, std::make_unique<TgtPDFIntegerObject>(42)));
  store.Add(Object(1, 6, 0, std::make_unique<TgtPDFIndirectReference>(1, 5, 0)));
  store.Add(Object(1, 7, 0, std::make_unique<TgtPDFIndirectReference>(1, 8, 0)));
  store.Add(Object(1, 8, 0, std::make_unique<TgtPDFIndirectReference>(1, 7, 0)));
  TgtPDFIndirectReference to_six(1, 6, 0), to_loop(1, 7, 0), missing(1, 99, 0);
  TgtPDFNameObject name("/FlateDecode");

  EXPECT_EQ(store.FollowAs<TgtPDFIntegerObject>(&to_six)->Value(), 42);
  EXPECT_EQ(store.FollowAs<TgtPDFIntegerObject>(nullptr), nullptr);
  EXPECT_EQ(store.FollowAs<TgtPDFIntegerObject>(&missing), nullptr);
  EXPECT_EQ(store.Follow(&to_loop), nullptr);  // a loop of references ends
  EXPECT_EQ(store.FollowAs<TgtPDFNameObject>(&name), &name);
  EXPECT_THROW(store.FollowAs<TgtPDFIntegerObject>(&name), EUnexpectedObjectError);
  EXPECT_THROW(store.FollowAs<TgtPDFDictObject>(&to_six), EUnexpectedObjectError);

  std::unique_ptr<TgtPDFArrayObject> filters = store.FollowArrayOrName(&name);
  ASSERT_EQ(filters->Count(), 1);
  EXPECT_EQ(filters->ItemAt(0)->AsName().Text(), "/FlateDecode");
  TgtPDFNullObject null;
  EXPECT_EQ(store.FollowArrayOrName(&null), nullptr);
  EXPECT_THROW(store.FollowArrayOrName(&to_six), EUnexpectedObjectError);
}

}  // namespace
}  // namespace pagemint
