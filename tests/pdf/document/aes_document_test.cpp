// SPDX-License-Identifier: GPL-3.0-or-later
// Encrypted sources made by qpdf: AES-128 and AES-256 files open with the
// user, the owner and the empty password with qpdf's page count and
// decrypted bytes; a save writes the source's own security back, which
// qpdf and poppler open with both passwords; damaged AES data is a warning.
#include <gtest/gtest.h>

#include <algorithm>
#include <regex>

#include "pdf/document/document_internals.h"
#include "pdf/document/pdf_document.h"
#include "pdf/reader/pdf_test_builder.h"
#include "pdf/security/security.h"
#include "platform/codepage.h"
#include "platform/messages.h"

namespace pagemint::testing {
namespace {

bool HaveTools() {
  static const bool have = [] {
    int qpdf = -1, poppler = -1;
    RunCommand("qpdf --version >/dev/null 2>&1", &qpdf);
    RunCommand("pdftoppm -v >/dev/null 2>&1", &poppler);
    return qpdf == 0 && poppler == 0;
  }();
  return have;
}

std::string Qpdf(const std::string& arguments, int* status = nullptr) {
  return RunCommand("qpdf " + arguments + " 2>/dev/null", status);
}

std::string PasswordOption(const std::string& password) {
  return " --password=" + ShellQuote(password) + " ";
}

// A three-page source: a filled rectangle on each page (so renders can be
// compared), a title string, and an /ID of three bytes.
std::string PlainSource(const TempDir& dir) {
  PdfBuilder b = SimpleDocument(3);
  b.AddStream(3, "", "0 0 1 rg 20 20 300 400 re f 1 0 0 rg 50 500 100 100 re f");
  b.Add(20, "<< /Title (Secret title) /CreationDate (D:20240101000000) >>");
  return dir.Write("plain.pdf", b.Build("/Root 1 0 R /Info 20 0 R /ID [<0A0B0C> <0A0B0C>]"));
}

// A one-page source with a signature field: its signature dictionary (41)
// holds kSignature as /Contents, and the field a text /Contents of its own.
constexpr char kSignature[] = "3082053e06092a864886f70d010702a08200ff";
std::string SignedSource(const TempDir& dir) {
  PdfBuilder b = SimpleDocument(1, "/AcroForm 60 0 R");
  b.Add(60, "<< /Fields [40 0 R] /SigFlags 3 >>");
  b.Add(40, "<< /FT /Sig /T (S) /V 41 0 R /Contents (Field note) >>");
  b.Add(41, std::string("<< /Type /Sig /Filter /Adobe.PPKLite /SubFilter /adbe.pkcs7.detached "
                        "/ByteRange [0 10 20 30] /Contents <") +
                kSignature + "> /Name (Signer) >>");
  return dir.Write("signed.pdf", b.Build());
}

bool LoadWith(TgtPDFDocument& document, const std::string& file, const std::string& password,
              std::vector<std::string>* warnings = nullptr) {
  document.OnPassword = [password](TgtCustomPDFDocument&, std::string& given, bool& go_on,
                                   int32_t tries) {
    given = password;
    go_on = tries == 0;
  };
  document.OnWarning = [warnings](TgtCustomPDFDocument&, const std::string& message) {
    if (warnings) warnings->push_back(message);
  };
  return document.LoadFromFile(file) && document.IsLoaded();
}

// The raw (still filtered) data of page 1's content stream, and its
// object number in the file.
std::pair<int32_t, std::string> FirstContent(TgtPDFDocument& document) {
  const TgtPDFObject* contents =
      TgtDocumentInternals::State(document).pages.at(0)->Content()->AsDictionary().Lookup("/Contents");
  if (!contents || !contents->IsReference()) return {0, ""};
  const TgtPDFIndirectObject* target = TgtDocumentInternals::State(document).store->Find(contents->AsReference());
  if (!target || !target->Content() || !target->Content()->IsStream()) return {0, ""};
  return {target->Number(), target->Content()->AsStream().Data()->Bytes()};
}

std::string QpdfLine(const std::string& text, const std::string& key) {
  std::smatch m;
  return std::regex_search(text, m, std::regex(key + "(?: = |: )([^\n]*)")) ? m[1].str() : "";
}

std::string RenderFirstPage(const std::string& file, const std::string& option,
                            const std::string& prefix) {
  RunCommand("pdftoppm -r 50 -f 1 -l 1 " + option + " " + ShellQuote(file) + " " +
             ShellQuote(prefix) + " 2>/dev/null");
  return ReadFile(prefix + "-1.ppm");
}

// Every password opens its source in its role with qpdf's view of the
// content; the saved file keeps the cipher, /P and both passwords, and
// renders page 1 as the source does.
TEST(AesDocument, OpensWithEachPasswordAndWritesItsSecurityBack) {
  if (!HaveTools()) GTEST_SKIP() << "qpdf or poppler-utils missing";
  TempDir dir;
  const std::string plain = PlainSource(dir);
  const std::string reference = RenderFirstPage(plain, "", dir.File("plain"));
  ASSERT_FALSE(reference.empty());
  const struct {
    const char* name;
    const char* encrypt;  // qpdf's options
    const char* user;
    const char* cipher;
  } cases[] = {
      {"aes128", "--encrypt user owner 128 --use-aes=y --", "user", "aes-128"},
      {"aes128-print", "--encrypt user owner 128 --use-aes=y --print=none --", "user", "aes-128"},
      {"aes128-empty", "--encrypt '' owner 128 --use-aes=y --", "", "aes-128"},
      {"aes256", "--encrypt user owner 256 --", "user", "aes-256"},
      {"aes256-r5", "--allow-weak-crypto --encrypt user owner 256 --force-R5 --", "user",
       "aes-256"},
      {"aes256-empty", "--encrypt '' owner 256 --", "", "aes-256"},
      {"aes256-utf8", "--encrypt 'h\xC3\xB4tel' owner 256 --", "h\xF4tel", "aes-256"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    const std::string source = dir.File(std::string(c.name) + ".pdf");
    int status = 0;
    Qpdf(std::string(c.encrypt) + " " + ShellQuote(plain) + " " + ShellQuote(source), &status);
    ASSERT_EQ(status, 0);
    // qpdf takes the password in UTF-8, the engine in the window's code page.
    const std::string user_utf8 = UnicodeToUtf8(AnsiToUnicode(c.user));
    const std::string pages = Qpdf("--show-npages" + PasswordOption("owner") + source);
    const std::string source_encryption =
        Qpdf("--show-encryption" + PasswordOption("owner") + source);

    for (const std::string& password : {std::string(c.user), std::string("owner")}) {
      SCOPED_TRACE(password);
      const bool owner = password == "owner";
      TgtPDFDocument document;
      ASSERT_TRUE(LoadWith(document, source, password));
      EXPECT_EQ(std::to_string(document.PageCount()) + "\n", pages);
      EXPECT_EQ(document.IsOwner(), owner);
      EXPECT_EQ(CipherName(document.Encryption().Cipher()), std::string(c.cipher));
      EXPECT_EQ(document.DocumentInfo().Title(), u"Secret title");
      const auto [number, data] = FirstContent(document);
      EXPECT_EQ(data, Qpdf("--show-object=" + std::to_string(number) + " --raw-stream-data" +
                           PasswordOption(owner ? "owner" : user_utf8) + source));

      const std::string saved = dir.File(std::string(c.name) + "-" + password + "-out.pdf");
      document.SetShowSetupDialog(false);
      document.SaveToFile(saved);
      EXPECT_EQ(QpdfCheckProblems(saved, user_utf8.empty() ? "" : user_utf8), "");
      EXPECT_EQ(QpdfCheckProblems(saved, "owner"), "");
      const std::string encryption = Qpdf("--show-encryption" + PasswordOption("owner") + saved);
      EXPECT_NE(encryption.find("Supplied password is owner password"), std::string::npos);
      for (const char* key : {"R", "P", "stream encryption method", "string encryption method"}) {
        EXPECT_FALSE(QpdfLine(source_encryption, key).empty()) << key;
        EXPECT_EQ(QpdfLine(encryption, key), QpdfLine(source_encryption, key)) << key;
      }
      EXPECT_EQ(RenderFirstPage(saved, "-upw " + ShellQuote(user_utf8), saved), reference);
      EXPECT_EQ(RenderFirstPage(saved, "-opw owner", saved + "-o"), reference);
    }
    TgtPDFDocument refused;
    EXPECT_FALSE(LoadWith(refused, source, "wrong"));
  }
}

// The fault this mends: an RC4 source opened with its user password was
// saved under a new owner password that nobody knew.
TEST(AesDocument, UserOpenedRc4SourceKeepsItsOwnerPassword) {
  if (!HaveTools()) GTEST_SKIP() << "qpdf or poppler-utils missing";
  TempDir dir;
  const std::string plain = PlainSource(dir);
  for (const char* bits : {"40 --print=n", "128 --use-aes=n --print=none"}) {
    SCOPED_TRACE(bits);
    const std::string source = dir.File("rc4.pdf");
    int status = 0;
    Qpdf("--allow-weak-crypto --encrypt user owner " + std::string(bits) + " -- " +
             ShellQuote(plain) + " " + ShellQuote(source),
         &status);
    ASSERT_EQ(status, 0);
    TgtPDFDocument document;
    ASSERT_TRUE(LoadWith(document, source, "user"));
    ASSERT_FALSE(document.IsOwner());
    const std::string saved = dir.File("rc4-out.pdf");
    document.SaveToFile(saved);
    const std::string before =
        Qpdf("--show-encryption --show-encryption-key" + PasswordOption("owner") + source);
    const std::string after =
        Qpdf("--show-encryption --show-encryption-key" + PasswordOption("owner") + saved);
    EXPECT_NE(after.find("Supplied password is owner password"), std::string::npos) << after;
    EXPECT_FALSE(QpdfLine(before, "Encryption key").empty()) << before;
    EXPECT_EQ(QpdfLine(after, "P"), QpdfLine(before, "P"));
    EXPECT_EQ(QpdfLine(after, "Encryption key"), QpdfLine(before, "Encryption key"));
    EXPECT_EQ(QpdfCheckProblems(saved, "user"), "");
  }
}

std::string FirstIdOf(const std::string& file) {
  std::smatch m;
  const std::string trailer = ReadFile(file);
  return std::regex_search(trailer, m, std::regex("/ID \\[ <([0-9A-F]*)> <([0-9A-F]*)> \\]"))
             ? m[1].str() + " " + m[2].str()
             : "";
}

// New settings: two different documents with the same dates and
// passwords get different identifiers and so different keys; two saves of
// one document differ in the second identifier only, and an unencrypted
// save has an identifier too.
TEST(AesDocument, NewSettingsGiveEachDocumentItsOwnIdentifierAndKey) {
  if (!HaveTools()) GTEST_SKIP() << "qpdf or poppler-utils missing";
  TempDir dir;
  std::vector<std::string> ids, keys;
  for (int pages : {1, 2}) {
    TgtPDFDocument document;
    ASSERT_TRUE(document.LoadFromBytes(SimpleDocument(pages).Build()));
    document.DocumentInfo().SetCreationDate("D:20240101000000");
    document.Encryption().SetEnabled(true);
    document.Encryption().SetLevel(el128bit);
    document.Encryption().SetUserPassword("user");
    document.Encryption().SetOwnerPassword("owner");
    const std::string file = dir.File("new" + std::to_string(pages) + ".pdf");
    document.SaveToFile(file);
    ids.push_back(FirstIdOf(file).substr(0, 32));
    keys.push_back(
        QpdfLine(Qpdf("--show-encryption --show-encryption-key" + PasswordOption("user") + file),
                 "Encryption key"));
    EXPECT_EQ(QpdfCheckProblems(file, "user"), "");
  }
  EXPECT_EQ(ids[0].size(), 32u);
  EXPECT_NE(ids[0], ids[1]);
  EXPECT_FALSE(keys[0].empty());
  EXPECT_NE(keys[0], keys[1]);

  TgtPDFDocument plain;
  ASSERT_TRUE(plain.LoadFromBytes(SimpleDocument(1).Build()));
  plain.SaveToFile(dir.File("a.pdf"));
  plain.SaveToFile(dir.File("b.pdf"));
  const std::string a = FirstIdOf(dir.File("a.pdf")), b = FirstIdOf(dir.File("b.pdf"));
  ASSERT_EQ(a.size(), 65u);
  EXPECT_EQ(a.substr(0, 32), b.substr(0, 32));
  EXPECT_NE(a.substr(33), b.substr(33));
}

// An AES-256 source opened with its owner password cannot give its user
// password back; new settings written without one make a file that opens
// without a password, which the save says. The source's own security kept,
// or a user password set by the caller, gives no such warning.
TEST(AesDocument, UnrecoveredUserPasswordIsAWarningOnNewSettings) {
  if (!HaveTools()) GTEST_SKIP() << "qpdf or poppler-utils missing";
  TempDir dir;
  const std::string plain = PlainSource(dir);
  const struct {
    bool new_permissions;
    const char* set_user;  // nullptr: the user password is left as it is
    bool warned;
  } cases[] = {{true, nullptr, true}, {false, nullptr, false}, {true, "new", false}};
  for (const auto& c : cases) {
    const std::string source = dir.File("src.pdf");
    Qpdf("--encrypt user owner 256 -- " + ShellQuote(plain) + " " + ShellQuote(source));
    TgtPDFDocument document;
    std::vector<std::string> warnings;
    ASSERT_TRUE(LoadWith(document, source, "owner", &warnings));
    if (c.new_permissions) document.Encryption().SetUserPermissions(TgtUserPermissions::None());
    if (c.set_user) document.Encryption().SetUserPassword(c.set_user);
    warnings.clear();
    document.SaveToFile(dir.File("out.pdf"));
    const bool warned = std::find(warnings.begin(), warnings.end(),
                                  std::string(msg::kUserPasswordUnknown)) != warnings.end();
    EXPECT_EQ(warned, c.warned) << c.new_permissions << " " << (c.set_user ? c.set_user : "-");
  }
}

// Damaged AES data: a bad padding and a partial block are warnings, the
// file still opens and keeps the bytes as decrypted. Stream data stays in
// the file until it is used, so the warning comes with the first use (here
// a save).
TEST(AesDocument, DamagedPaddingIsAWarning) {
  if (!HaveTools()) GTEST_SKIP() << "qpdf or poppler-utils missing";
  TempDir dir;
  const std::string plain = PlainSource(dir);
  const std::string source = dir.File("aes.pdf");
  Qpdf("--object-streams=disable --compress-streams=n --encrypt user owner 256 -- " +
       ShellQuote(plain) + " " + ShellQuote(source));
  const std::string bytes = ReadFile(source);
  // The content stream is the only stream without a /Type: find its data.
  std::smatch m;
  ASSERT_TRUE(std::regex_search(bytes, m, std::regex("<< /Length (\\d+) >>\nstream\n")));
  const size_t start = static_cast<size_t>(m.position(0) + m.length(0));
  const size_t length = std::stoul(m[1].str());
  ASSERT_GE(length, 48u);
  const struct {
    const char* name;
    bool cut;  // five bytes cut from the data instead of one bit flipped
  } cases[] = {
      // CBC: a bit flipped in the block before the last flips the same bit
      // of the last plain block, here its final padding byte.
      {"bad padding", false},
      // The data ends inside a block: the partial block cannot be decrypted.
      {"partial block", true},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    std::string damaged = bytes;
    if (!c.cut) {
      const size_t at = start + length - 17;
      damaged[at] = static_cast<char>(damaged[at] ^ 0x20);
    } else {
      // Spaces after "endstream" keep every later offset where it was.
      damaged.insert(start + length + std::string("\nendstream").size(), 5, ' ');
      damaged.erase(start + length - 5, 5);
      const std::string shorter = std::to_string(length - 5);
      damaged.replace(
          static_cast<size_t>(m.position(1)), static_cast<size_t>(m[1].length()),
          std::string(static_cast<size_t>(m[1].length()) - shorter.size(), '0') + shorter);
    }
    const std::string file = dir.Write("damaged.pdf", damaged);
    TgtPDFDocument document;
    std::vector<std::string> warnings;
    ASSERT_TRUE(LoadWith(document, file, "user", &warnings));
    EXPECT_EQ(document.PageCount(), 3);
    TMemoryStream out;
    document.SaveToStream(out);
    ASSERT_EQ(warnings.size(), 1u);
    EXPECT_NE(warnings[0].find("AES-encrypted data is damaged"), std::string::npos) << warnings[0];
  }
}

// A signature dictionary's /Contents is stored unencrypted (qpdf writes it
// so): it is read as the file holds it, not "decrypted" into other bytes
// (with AES a padding warning besides), and written back unencrypted under
// the source's security, while every other string is encrypted again.
TEST(AesDocument, SignatureContentsStayUnencrypted) {
  if (!HaveTools()) GTEST_SKIP() << "qpdf or poppler-utils missing";
  TempDir dir;
  const std::string plain = SignedSource(dir);
  const std::string contents = std::string("/Contents <") + kSignature + ">";
  const std::pair<const char*, const char*> cases[] = {
      {"rc4-128", "--allow-weak-crypto --encrypt u o 128 --use-aes=n --"},
      {"aes-128", "--encrypt u o 128 --use-aes=y --"},
      {"aes-256", "--encrypt u o 256 --"},
  };
  for (const auto& [name, options] : cases) {
    SCOPED_TRACE(name);
    const std::string source = dir.File(std::string(name) + ".pdf");
    Qpdf(std::string(options) + " " + ShellQuote(plain) + " " + ShellQuote(source));
    ASSERT_NE(ReadFile(source).find(contents), std::string::npos) << "qpdf encrypted it";
    ASSERT_EQ(ReadFile(source).find("Field note"), std::string::npos);

    TgtPDFDocument document;
    std::vector<std::string> warnings;
    ASSERT_TRUE(LoadWith(document, source, "u", &warnings));
    EXPECT_EQ(warnings, std::vector<std::string>{});
    // The /Contents of the dictionary that holds key (qpdf renumbers).
    const auto contents_beside = [&](const char* key) {
      const TgtPDFObjectStore& store = *TgtDocumentInternals::State(document).store;
      for (int32_t i = 0; i < store.Count(); ++i) {
        const TgtPDFObject* content = store.ItemAt(i)->Content();
        if (!content || !content->IsDictionary() || !content->AsDictionary().Lookup(key)) continue;
        const TgtPDFObject* value = content->AsDictionary().Lookup("/Contents");
        return value && value->IsString() ? value->AsString().Bytes() : std::string("(no string)");
      }
      return std::string("(missing)");
    };
    EXPECT_EQ(contents_beside("/ByteRange"),
              TgtPDFStringObject(std::string("<") + kSignature + ">", true).Bytes());
    EXPECT_EQ(contents_beside("/FT"), "Field note");

    const std::string saved = dir.File(std::string(name) + "-out.pdf");
    document.SaveToFile(saved);
    EXPECT_NE(ReadFile(saved).find(contents), std::string::npos);
    EXPECT_EQ(ReadFile(saved).find("Field note"), std::string::npos);
    EXPECT_EQ(QpdfCheckProblems(saved, "u"), "");
    EXPECT_EQ(QpdfCheckProblems(saved, "o"), "");
    // qpdf reads both strings back as they were.
    const std::string decrypted = dir.File(std::string(name) + "-decrypted.pdf");
    Qpdf("--password=o --decrypt --object-streams=disable " + ShellQuote(saved) + " " +
         ShellQuote(decrypted));
    EXPECT_NE(ReadFile(decrypted).find(contents), std::string::npos);
    EXPECT_NE(ReadFile(decrypted).find("/Contents (Field note)"), std::string::npos);
  }
}

// The corner cases of the crypt filters: metadata left in the clear
// (the key then says so too) and a stream that names the /Identity filter
// itself in an AES file; both are read as they are and written back so.
TEST(AesDocument, ClearMetadataAndIdentityStreams) {
  if (!HaveTools()) GTEST_SKIP() << "qpdf or poppler-utils missing";
  TempDir dir;
  PdfBuilder b = SimpleDocument(1, "/Metadata 30 0 R");
  b.AddStream(30, "/Type /Metadata /Subtype /XML", "<x:xmpmeta>clear</x:xmpmeta>");
  const std::string plain =
      dir.Write("plain.pdf", b.Build("/Root 1 0 R /ID [<0A0B0C0D0E> <0A0B0C0D0E>]"));
  const std::string qpdf_made = dir.File("qpdf.pdf");
  Qpdf("--object-streams=disable --encrypt user owner 128 --use-aes=y --cleartext-metadata -- " +
       ShellQuote(plain) + " " + ShellQuote(qpdf_made));
  // An update adds a stream with its own /Identity crypt filter, hung from
  // the catalog (which qpdf wrote as object 1 with no strings).
  const std::string catalog = Qpdf("--show-object=1" + PasswordOption("user") + qpdf_made);
  ASSERT_NE(catalog.find("/Type /Catalog"), std::string::npos) << catalog;
  PdfBuilder update;
  update.Add(1, catalog.substr(0, catalog.rfind(">>")) + " /PieceInfo 40 0 R >>");
  update.AddStream(40, "/Filter /Crypt /DecodeParms << /Name /Identity >>", "as it is");
  const std::string trailer = Qpdf("--show-object=trailer" + PasswordOption("user") + qpdf_made);
  std::smatch encrypt, id;
  ASSERT_TRUE(std::regex_search(trailer, encrypt, std::regex("/Encrypt \\d+ 0 R")) &&
              std::regex_search(trailer, id, std::regex("/ID \\[[^\\]]*\\]")))
      << trailer;
  const std::string source = dir.Write(
      "source.pdf", update.BuildUpdate(ReadFile(qpdf_made),
                                       "/Root 1 0 R " + encrypt[0].str() + " " + id[0].str()));
  ASSERT_EQ(QpdfCheckProblems(source, "user"), "");

  for (const char* password : {"user", "owner"}) {
    SCOPED_TRACE(password);
    TgtPDFDocument document;
    ASSERT_TRUE(LoadWith(document, source, password));
    const auto stream_data = [&](int32_t number) {
      const TgtPDFIndirectObject* object =
          TgtDocumentInternals::State(document).store->Find(TgtDocumentInternals::State(document).serial, number, 0);
      return object && object->Content() && object->Content()->IsStream()
                 ? object->Content()->AsStream().Data()->Bytes()
                 : std::string("(missing)");
    };
    EXPECT_EQ(stream_data(40), "as it is");
    const std::string saved = dir.File(std::string(password) + "-out.pdf");
    document.SaveToFile(saved);
    EXPECT_EQ(QpdfCheckProblems(saved, "user"), "");
    EXPECT_NE(ReadFile(saved).find("<x:xmpmeta>clear</x:xmpmeta>"), std::string::npos);
    EXPECT_NE(ReadFile(saved).find("as it is"), std::string::npos);
    EXPECT_EQ(QpdfLine(Qpdf("--show-encryption" + PasswordOption("owner") + saved),
                       "stream encryption method"),
              "AESv2");
  }
}

// Seeds for fuzz/load_fuzz.cpp, which tries the empty password and then
// "owner": a plain file, an RC4 file and AES files of both kinds, so its
// inputs reach every part of the security handler.
TEST(AesDocument, WritesLoadFuzzSeeds) {
  if (!HaveTools()) GTEST_SKIP() << "qpdf or poppler-utils missing";
  TempDir dir;
  const std::string plain = PlainSource(dir);
  const std::string seeds = std::string(PAGEMINT_BINARY_DIR) + "/fuzz_seeds/load";
  std::filesystem::create_directories(seeds);
  const std::string signed_source = SignedSource(dir);
  const std::pair<const char*, const char*> cases[] = {
      {"plain", ""},
      {"aes128-signed", "--encrypt '' owner 128 --use-aes=y --"},
      {"rc4-128-empty-user", "--allow-weak-crypto --encrypt '' owner 128 --use-aes=n --"},
      {"aes128-empty-user", "--encrypt '' owner 128 --use-aes=y --"},
      {"aes128-clear-metadata", "--encrypt user owner 128 --use-aes=y --cleartext-metadata --"},
      {"aes256-r6", "--encrypt user owner 256 --"},
      {"aes256-r5", "--allow-weak-crypto --encrypt '' owner 256 --force-R5 --"},
  };
  for (const auto& [name, options] : cases) {
    const std::string seed = seeds + "/" + name + ".pdf";
    const bool signed_seed = std::string_view(name).ends_with("-signed");
    Qpdf("--object-streams=disable --compress-streams=n " + std::string(options) + " " +
         ShellQuote(signed_seed ? signed_source : plain) + " " + ShellQuote(seed));
    TgtPDFDocument document;
    EXPECT_TRUE(LoadWith(document, seed, "owner")) << name;
  }
}

}  // namespace
}  // namespace pagemint::testing
