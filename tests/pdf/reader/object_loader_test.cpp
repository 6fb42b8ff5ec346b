// SPDX-License-Identifier: GPL-3.0-or-later
#include "pdf/reader/object_loader.h"

#include <gtest/gtest.h>

#include "pdf/objects/pdf_exceptions.h"
#include "pdf/reader/pdf_test_builder.h"
#include "pdf/reader/reader_harness.h"

namespace pagemint::testing {
namespace {

TEST(LoadReference, SharedTargetsLoadOnceAndCyclesEnd) {
  PdfBuilder b = SimpleDocument(2);
  b.Add(20, "<< /Shared true >>");
  b.Add(4, "<< /Type /Page /Parent 2 0 R /Contents 3 0 R /Extra [20 0 R 20 0 R] /Back 21 0 R >>");
  b.Add(21, "<< /Me 21 0 R /Page 4 0 R >>");
  ReaderHarness h;
  h.ReadAll(b.Build());
  ASSERT_NE(h.Registered(20), nullptr);
  ASSERT_NE(h.Registered(21), nullptr);
  const int32_t count = h.state->store->Count();
  int32_t twenties = 0;
  for (int32_t i = 0; i < count; ++i) twenties += h.state->store->ItemAt(i)->Number() == 20;
  EXPECT_EQ(twenties, 1);
}

TEST(ReadObjectAt, StreamLengths) {
  PdfBuilder b = SimpleDocument(1);
  const std::string data = "q 1 0 0 1 0 0 cm Q";
  b.Add(3, "<< /Length 9 0 R >>\nstream\n" + data + "\nendstream");
  b.Add(9, std::to_string(data.size()));
  ReaderHarness h;
  h.ReadAll(b.Build());
  const TgtPDFStreamObject& stream = h.Registered(3)->Content()->AsStream();
  EXPECT_EQ(stream.Data()->Bytes(), data);
  ASSERT_NE(h.Registered(9), nullptr);

  // An unusable /Length falls back to /Length1; with neither the stream
  // keeps no data and a warning says so.
  for (const std::string& lengths :
       {std::string("/Length /Bad /Length1 ") + std::to_string(data.size()),
        std::string("/Length 77 0 R")}) {
    PdfBuilder c = SimpleDocument(1);
    c.Add(3, "<< " + lengths + " >>\nstream\n" + data + "\nendstream");
    ReaderHarness g;
    g.ReadAll(c.Build());
    const TMemoryStream* read = g.Registered(3)->Content()->AsStream().Data();
    if (lengths.find("Length1") != std::string::npos) {
      EXPECT_EQ(read->Bytes(), data);
    } else {
      EXPECT_EQ(read, nullptr);
      EXPECT_EQ(g.reporter.warnings.at(0),
                "The data of stream object 3 cannot be read; the stream is kept without data");
    }
  }
}

TEST(LoadReferencedObjects, LongChainsStayOffTheStack) {
  PdfBuilder b = SimpleDocument(1);
  constexpr int kChain = 20000;
  b.Add(4, "<< /Type /Page /Parent 2 0 R /Next 100 0 R >>");
  for (int i = 0; i < kChain; ++i) b.Add(100 + i, "[" + std::to_string(101 + i) + " 0 R /Item]");
  ReaderHarness h;
  h.ReadAll(b.Build());
  EXPECT_NE(h.Registered(100 + kChain - 1), nullptr);
}

TEST(LoadReferencedObjects, WarningsAndNamedDestinations) {
  ReaderHarness h;
  h.state->destinations = std::make_unique<TgtNamedDestinations>();
  auto explicit_destination = std::make_unique<TgtPDFArrayObject>();
  explicit_destination->AddInteger(7);
  h.state->destinations->Add("Chapter1", std::move(explicit_destination));

  TgtPDFArrayObject array;
  array.Add(std::make_unique<TgtPDFIndirectReference>(h.state->serial, 0, 0));
  array.Add(std::make_unique<TgtPDFStreamObject>(std::make_unique<TgtPDFDictObject>()));
  auto link = std::make_unique<TgtPDFDictObject>();
  link->AddValue("/Dest", std::make_unique<TgtPDFStringObject>("(Chapter1)"));
  link->AddValue("/D", std::make_unique<TgtPDFNameObject>("/Unknown"));
  TgtPDFDictObject* link_raw = link.get();
  array.Add(std::move(link));
  h.loader->LoadReferencedObjects(&array);

  EXPECT_EQ(h.reporter.warnings, (std::vector<std::string>{"Invalid Object number in PDF (0)",
                                                           "Stream Object found inside Array!"}));
  ASSERT_TRUE(link_raw->Lookup("/Dest")->IsArray());
  EXPECT_EQ(link_raw->Lookup("/Dest")->AsArray().ItemAt(0)->AsInteger().Value(), 7);
  EXPECT_EQ(link_raw->Lookup("/D")->AsName().Text(), "/Unknown");
}

TEST(ResolveDeep, CopiesWithTargetsResolved) {
  PdfBuilder b = SimpleDocument(1);
  b.Add(7, "(owner key)");
  ReaderHarness h;
  h.ReadXRef(b.Build());
  TgtPDFDictObject encrypt;
  encrypt.AddName("/Filter", "/Standard");
  encrypt.AddValue("/O", std::make_unique<TgtPDFIndirectReference>(h.state->serial, 7, 0));
  TgtPDFObjectPtr resolved = h.loader->ResolveDeep(&encrypt);
  const TgtPDFDictObject& copy = resolved->AsDictionary();
  EXPECT_EQ(copy.Lookup("/Filter")->AsName().Text(), "/Standard");
  EXPECT_EQ(copy.Lookup("/O")->AsString().Text(), "(owner key)");
  EXPECT_TRUE(encrypt.Lookup("/O")->IsReference());
  EXPECT_EQ(h.Registered(7), nullptr);  // read only to be copied

  // A loop of references ends with an error instead of recursing forever.
  PdfBuilder c = SimpleDocument(1);
  c.Add(7, "[7 0 R]");
  ReaderHarness g;
  g.ReadXRef(c.Build());
  TgtPDFIndirectReference loop(g.state->serial, 7, 0);
  EXPECT_THROW(g.loader->ResolveDeep(&loop), EPDFFileCorruptedError);
}

TEST(Resolvers, KindsAndRegistration) {
  PdfBuilder b = SimpleDocument(1);
  b.Add(7, "[1 2 3]");
  b.Add(8, "(text)");
  b.Add(9, "10 0 R");
  b.Add(10, "/Name");
  ReaderHarness h;
  h.ReadXRef(b.Build());
  const uint32_t serial = h.state->serial;
  TgtPDFIndirectReference array_ref(serial, 7, 0), string_ref(serial, 8, 0), chain(serial, 9, 0);
  TgtResolved<TgtPDFArrayObject> array = h.loader->ResolveAs<TgtPDFArrayObject>(&array_ref);
  ASSERT_TRUE(array);
  EXPECT_EQ(array->Count(), 3);
  EXPECT_EQ(h.Registered(7), nullptr);
  TgtResolved<TgtPDFArrayObject> registered = h.loader->ResolveAs<TgtPDFArrayObject>(&array_ref, true);
  EXPECT_EQ(h.Registered(7)->Content(), registered.value);
  EXPECT_EQ(h.loader->ResolveAs<TgtPDFStringObject>(&string_ref)->Text(), "(text)");
  EXPECT_EQ(h.loader->ResolveAs<TgtPDFNameObject>(&chain)->Text(), "/Name");
  EXPECT_THROW(h.loader->ResolveAs<TgtPDFDictObject>(&array_ref), EUnexpectedObjectError);
  TgtPDFIntegerObject number(3);
  EXPECT_THROW(h.loader->ResolveAs<TgtPDFArrayObject>(&number), EUnexpectedObjectError);
  EXPECT_EQ(h.loader->Resolve(&chain)->AsName().Text(), "/Name");
}

TEST(Resolvers, ALoopOfReferencesNamesTheObject) {
  PdfBuilder b = SimpleDocument(1);
  b.Add(11, "12 0 R");
  b.Add(12, "11 0 R");
  ReaderHarness h;
  h.ReadXRef(b.Build());
  TgtPDFIndirectReference loop(h.state->serial, 11, 0);
  try {
    h.loader->Resolve(&loop);
    FAIL();
  } catch (const EPDFFileCorruptedError& e) {
    EXPECT_STREQ(e.what(), "File is corrupted: object 11: reference chain longer than 32");
  }
  // The store's own resolver reads nothing and gives nothing for it.
  EXPECT_EQ(h.state->store->Follow(&loop), nullptr);
}

TEST(ReadObjectNumber, MisplacedObjectIsAnError) {
  std::string file = SimpleDocument(1).Build();
  // Object 4's entry points at object 3.
  const std::string entry4 =
      PdfBuilder::Entry(static_cast<long>(file.find("4 0 obj")), 0, 'n', "\r\n");
  const std::string entry3 =
      PdfBuilder::Entry(static_cast<long>(file.find("3 0 obj")), 0, 'n', "\r\n");
  file.replace(file.find(entry4), entry4.size(), entry3);
  ReaderHarness h;
  try {
    h.ReadAll(file);
    FAIL();
  } catch (const EPDFFileCorruptedError& e) {
    EXPECT_NE(std::string(e.what()).find("object 4 is not at offset"), std::string::npos)
        << e.what();
  }
}

}  // namespace
}  // namespace pagemint::testing
