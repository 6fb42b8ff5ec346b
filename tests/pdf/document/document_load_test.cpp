// SPDX-License-Identifier: GPL-3.0-or-later
// The component's loading road: name completion, the missing-file error,
// the password loop, closing, serials, and what a failed load leaves.
#include <gtest/gtest.h>

#include "pdf/document/document_internals.h"
#include "pdf/document/pdf_document.h"
#include "pdf/reader/pdf_test_builder.h"
#include "pdf/security/security.h"

namespace pagemint::testing {
namespace {

// An encrypted copy of a small document made by qpdf.
std::string Encrypted(const TempDir& dir, const std::string& user, const std::string& owner,
                      int bits, const std::string& name = "encrypted.pdf") {
  const std::string plain = dir.Write("plain-" + name, SimpleDocument(2).Build());
  const std::string out = dir.File(name);
  const std::string aes = bits == 128 ? " --use-aes=n" : "";
  int status = 0;
  RunCommand("qpdf --allow-weak-crypto --encrypt '" + user + "' '" + owner + "' " +
                 std::to_string(bits) + aes + " -- '" + plain + "' '" + out + "' 2>&1",
             &status);
  EXPECT_EQ(status, 0);
  return out;
}

TEST(LoadFromFile, NameCompletionAndMissingFile) {
  TempDir dir;
  dir.Write("report.pdf", SimpleDocument(3).Build());
  dir.Write("report.txt", SimpleDocument(2).Build());
  TgtPDFDocument document;
  EXPECT_TRUE(document.LoadFromFile(dir.File("report")));
  EXPECT_EQ(document.WorkFileName(), dir.File("report.pdf"));
  EXPECT_EQ(document.Filename(), dir.File("report.pdf"));
  EXPECT_EQ(document.PageCount(), 3);
  EXPECT_TRUE(document.LoadFromFile(dir.File("report.txt")));
  EXPECT_EQ(document.PageCount(), 2);
  EXPECT_EQ(document.Filename(), dir.File("report.pdf"));  // only set when empty
  try {
    document.LoadFromFile(dir.File("missing"));
    FAIL();
  } catch (const EFileNotFound& e) {
    EXPECT_EQ(std::string(e.what()), dir.File("missing.pdf") + " File Not Found");
  }
  EXPECT_FALSE(document.IsLoaded());
  EXPECT_EQ(document.PageCount(), 0);
}

TEST(LoadFromFile, EventsDuringALoad) {
  TempDir dir;
  const std::string file = dir.Write("a.pdf", SimpleDocument(3).Build());
  TgtPDFDocument document;
  std::vector<std::string> events;
  document.OnBeginRead = [&](TgtCustomPDFDocument&) { events.push_back("begin"); };
  document.OnEndRead = [&](TgtCustomPDFDocument&) { events.push_back("end"); };
  document.OnStatusMessage = [&](TgtCustomPDFDocument&, const std::string& m) {
    events.push_back(m);
  };
  document.OnIOProgress = [&](TgtCustomPDFDocument&, int32_t p) {
    events.push_back(std::to_string(p));
  };
  ASSERT_TRUE(document.LoadFromFile(file));
  EXPECT_EQ(events, (std::vector<std::string>{
                        "Reading Cross-Reference Table", "begin", "10", "Traversing Pages...", "75",
                        "30", "Processing Annotations...", "90", "60", "Reading Outlines...", "100",
                        "Document read complete. Pages read = 3", "end"}));
}

TEST(CloseDocument, EmptiesAndRenumbers) {
  TgtPDFDocument a, b;
  EXPECT_NE(a.DocumentSerial(), b.DocumentSerial());
  ASSERT_TRUE(a.LoadFromBytes(SimpleDocument(2, "/PageMode /UseThumbs").Build()));
  const uint32_t serial = a.DocumentSerial();
  EXPECT_EQ(a.PageMode(), pmUseThumbs);
  a.CloseDocument();
  EXPECT_FALSE(a.IsLoaded());
  EXPECT_EQ(a.PageCount(), 0);
  EXPECT_NE(a.DocumentSerial(), serial);
  EXPECT_EQ(a.PageMode(), pmUseThumbs);  // a setting of the component, kept
  EXPECT_EQ(a.PDFVersion(), pvPDF14);
}

TEST(LoadFromFile, FailedLoadLeavesNothingBehind) {
  TgtPDFDocument document;
  ASSERT_TRUE(document.LoadFromBytes(SimpleDocument(4, "/PageMode /UseOutlines").Build()));
  // Cross-reference data reads, the structure fails half-way.
  PdfBuilder broken = SimpleDocument(3);
  broken.Add(2, "<< /Type /Pages /Kids [2 0 R] /Count 1 >>");
  for (int n = 4; n < 7; ++n) broken.Add(n, "<< /Parent 2 0 R >>");
  EXPECT_THROW(document.LoadFromBytes(broken.Build()), Exception);
  EXPECT_FALSE(document.IsLoaded());
  EXPECT_FALSE(document.IsEncrypted());
  EXPECT_EQ(document.PageCount(), 0);
  EXPECT_EQ(TgtDocumentInternals::State(document).store->Count(), 0);
  EXPECT_TRUE(TgtDocumentInternals::State(document).classic_table.Empty());
  EXPECT_EQ(TgtDocumentInternals::State(document).trailer.root_number, -1);
  ASSERT_TRUE(document.LoadFromBytes(SimpleDocument(1).Build()));
  EXPECT_EQ(document.PageCount(), 1);
}

TEST(PasswordLoop, CancelOnFirstCall) {
  TempDir dir;
  const std::string file = Encrypted(dir, "user", "owner", 128);
  TgtPDFDocument document;
  std::vector<int32_t> tries;
  document.OnPassword = [&](TgtCustomPDFDocument&, std::string&, bool& go_on, int32_t t) {
    tries.push_back(t);
    go_on = false;
  };
  EXPECT_FALSE(document.LoadFromFile(file));
  EXPECT_EQ(tries, (std::vector<int32_t>{0}));
  EXPECT_FALSE(document.IsLoaded());
  EXPECT_EQ(document.PageCount(), 0);
}

TEST(PasswordLoop, RightOnTheThirdTry) {
  TempDir dir;
  const std::string file = Encrypted(dir, "user", "owner", 40);
  TgtPDFDocument document;
  std::vector<std::pair<int32_t, std::string>> calls;
  document.OnPassword = [&](TgtCustomPDFDocument&, std::string& password, bool&, int32_t t) {
    calls.emplace_back(t, password);
    password = t < 2 ? "wrong" + std::to_string(t) : "user";
  };
  EXPECT_TRUE(document.LoadFromFile(file));
  ASSERT_EQ(calls.size(), 3u);
  EXPECT_EQ(calls[1],
            std::make_pair(1, std::string("wrong0")));  // the password is kept between calls
  EXPECT_EQ(calls[2].first, 2);
  EXPECT_EQ(document.PageCount(), 2);
  EXPECT_FALSE(document.IsOwner());
}

TEST(PasswordLoop, NoHandlerAndNoEmptyPassword) {
  TempDir dir;
  const std::string file = Encrypted(dir, "user", "owner", 128);
  TgtPDFDocument document;
  EXPECT_TRUE(document.LoadFromFile(file));
  EXPECT_TRUE(document.IsLoaded());
  EXPECT_TRUE(document.IsEncrypted());
  EXPECT_EQ(document.PageCount(), 0);
  // The bytes are kept, so a password can still be tried afterwards.
  EXPECT_FALSE(document.TryPassword("nope"));
  EXPECT_TRUE(document.TryPassword("owner"));
  EXPECT_EQ(document.PageCount(), 2);
  EXPECT_TRUE(document.IsOwner());
}

TEST(Encryption, SettingsAfterUserAndOwnerOpen) {
  TempDir dir;
  const std::string file = Encrypted(dir, "", "owner", 128);
  {
    TgtPDFDocument document;
    ASSERT_TRUE(document.LoadFromFile(file));  // the empty user password
    EXPECT_EQ(document.PageCount(), 2);
    EXPECT_FALSE(document.IsOwner());
    EXPECT_TRUE(document.Encryption().Enabled());
    EXPECT_EQ(document.Encryption().Level(), el128bit);
    EXPECT_EQ(document.Encryption().UserPassword(), "");
    EXPECT_EQ(document.Encryption().OwnerPassword(), "");
    EXPECT_THROW(document.Encryption().SetEnabled(false), Exception);
  }
  {
    TgtPDFDocument document;
    document.OnPassword = [](TgtCustomPDFDocument&, std::string& password, bool&, int32_t) {
      password = "owner";
    };
    ASSERT_TRUE(document.LoadFromFile(file));
    EXPECT_TRUE(document.IsOwner());
    EXPECT_EQ(document.Encryption().OwnerPassword(), "owner");
    EXPECT_EQ(document.Encryption().UserPermissions(), TgtUserPermissions::All());
  }
  // Closing gives fresh, unlocked settings.
  TgtPDFDocument document;
  ASSERT_TRUE(document.LoadFromFile(file));
  document.CloseDocument();
  EXPECT_FALSE(document.Encryption().Enabled());
  EXPECT_EQ(document.Encryption().Level(), el40bit);
  EXPECT_TRUE(document.IsOwner());
}

}  // namespace
}  // namespace pagemint::testing
