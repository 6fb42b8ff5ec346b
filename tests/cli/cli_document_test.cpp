// SPDX-License-Identifier: GPL-3.0-or-later
// pagemint-cli on real documents: --info on plain and encrypted sources,
// round trips that qpdf checks, --show-thumbs, and --thumb with every
// picture kind, checked through qpdf's reading of the written file.
#include <gtest/gtest.h>

#include <filesystem>
#include <functional>

#include "cli/cli_test_util.h"

namespace pagemint::testing {
namespace {

// Four pages, page mode and layout set, version 1.7, and thumbnails
// already on pages 1 and 3.
std::string DocumentWithThumbs() {
  return FourPagesWithThumbs(PdfBuilder("%PDF-1.7\n%\xE2\xE3\xCF\xD3\n"),
                             " /PageMode /UseOutlines /PageLayout /TwoColumnRight",
                             "[0 0 200 200]", "0 0 1 rg 10 10 50 50 re f");
}

// Writes bytes into dir as name, then, when qpdf_options is not empty,
// rewrites it with qpdf under those options.
std::string MakeSource(const TempDir& dir, const std::string& name, const std::string& bytes,
                       const std::string& qpdf_options) {
  if (qpdf_options.empty()) return dir.Write(name, bytes);
  const std::string plain = dir.Write("plain-" + name, bytes);
  const std::string file = dir.File(name);
  int status = 0;
  const std::string log = RunCommand(
      "qpdf " + qpdf_options + " " + ShellQuote(plain) + " " + ShellQuote(file) + " 2>&1", &status);
  EXPECT_EQ(status, 0) << log;
  return file;
}

std::string Rc4(const std::string& user, const std::string& owner, int bits) {
  return "--allow-weak-crypto --encrypt " + ShellQuote(user) + " " + ShellQuote(owner) + " " +
         std::to_string(bits) + (bits == 128 ? " --use-aes=n" : "") + " --";
}

std::string Info(int pages, const std::string& version, const std::string& encryption, bool owner,
                 const std::string& mode, const std::string& layout, const std::string& thumbs) {
  return "pages: " + std::to_string(pages) + "\nversion: " + version +
         "\nencryption: " + encryption + "\nowner: " + (owner ? "yes" : "no") +
         "\npage_mode: " + mode + "\npage_layout: " + layout + "\nthumbnails: " + thumbs + "\n";
}

// --info's output without its thumbnail_sizes and thumbnail_forms lines,
// which CliThumbnails checks on its own.
std::string Keys(std::string out) {
  for (const char* key : {"thumbnail_sizes: ", "thumbnail_forms: "}) {
    const size_t at = out.find(key);
    if (at == std::string::npos) continue;
    const size_t end = out.find('\n', at);
    out = out.substr(0, at) + (end == std::string::npos ? "" : out.substr(end + 1));
  }
  return out;
}

struct InfoCase {
  const char* name;
  std::function<std::string()> bytes;
  std::string qpdf_options;  // empty: the bytes as built
  std::vector<std::string> password;
  std::string expected;
};

class CliInfo : public ::testing::TestWithParam<InfoCase> {};

TEST_P(CliInfo, PrintsOneLinePerKey) {
  const InfoCase& c = GetParam();
  TempDir dir;
  const std::string source = MakeSource(dir, "in.pdf", c.bytes(), c.qpdf_options);
  std::vector<std::string> args = {"--info", source};
  args.insert(args.end(), c.password.begin(), c.password.end());
  const CliResult r = RunCli(args);
  EXPECT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(Keys(r.out), c.expected);
  EXPECT_EQ(r.err, "");
}

const auto kPlain = [] { return SimpleDocument(3).Build(); };

const InfoCase kInfoCases[] = {
    {"Plain", kPlain, "", {}, Info(3, "1.4", "none", true, "UseNone", "None", "none")},
    {"ModeLayoutVersionThumbs",
     DocumentWithThumbs,
     "",
     {},
     Info(4, "1.7", "none", true, "UseOutlines", "TwoColumnRight", "1 3")},
    {"NamesOutsideTheTables",
     [] {
       return FourPagesWithThumbs(PdfBuilder(), " /PageMode /UseOC /PageLayout /TwoPageLeft",
                                  "[0 0 200 200]", "");
     },
     "",
     {},
     Info(4, "1.4", "none", true, "UseOC", "TwoPageLeft", "1 3")},
    {"ObjectStreams",
     DocumentWithThumbs,
     "--object-streams=generate",
     {},
     Info(4, "1.7", "none", true, "UseOutlines", "TwoColumnRight", "1 3")},
    {"Rc40User",
     kPlain,
     Rc4("user", "owner", 40),
     {"--password", "user"},
     Info(3, "1.4", "rc4-40", false, "UseNone", "None", "none")},
    {"Rc40Owner",
     kPlain,
     Rc4("user", "owner", 40),
     {"--password=owner"},
     Info(3, "1.4", "rc4-40", true, "UseNone", "None", "none")},
    // Only an owner password: opens as the window opens it, with the empty
    // user password, and not as its owner.
    {"Rc128EmptyUser",
     kPlain,
     Rc4("", "owner", 128),
     {},
     Info(3, "1.4", "rc4-128", false, "UseNone", "None", "none")},
    // Passwords typed in UTF-8 become Windows-1252 bytes.
    {"Rc128AccentedUser",
     kPlain,
     Rc4("h\xC3\xB4tel", "\xC3\x96l", 128),
     {"--password", "h\xC3\xB4tel"},
     Info(3, "1.4", "rc4-128", false, "UseNone", "None", "none")},
    {"Rc128AccentedOwner",
     kPlain,
     Rc4("h\xC3\xB4tel", "\xC3\x96l", 128),
     {"--password", "\xC3\x96l"},
     Info(3, "1.4", "rc4-128", true, "UseNone", "None", "none")},
    {"Aes128User",
     kPlain,
     "--encrypt user owner 128 --use-aes=y --",
     {"--password", "user"},
     Info(3, "1.6", "aes-128", false, "UseNone", "None", "none")},
    {"Aes256EmptyUser",
     kPlain,
     "--encrypt '' owner 256 --",
     {},
     Info(3, "1.7", "aes-256", false, "UseNone", "None", "none")},
    // AES-256 passwords are UTF-8: the Windows-1252 bytes go back to it.
    {"Aes256AccentedOwner",
     kPlain,
     "--encrypt user '\xC3\x96l' 256 --",
     {"--password", "\xC3\x96l"},
     Info(3, "1.7", "aes-256", true, "UseNone", "None", "none")},
};

INSTANTIATE_TEST_SUITE_P(All, CliInfo, ::testing::ValuesIn(kInfoCases),
                         [](const auto& info) { return std::string(info.param.name); });

TEST(CliPassword, RefusedPasswordsAreErrors) {
  TempDir dir;
  const std::string source = MakeSource(dir, "in.pdf", kPlain(), Rc4("h\xC3\xB4tel", "o", 128));
  const std::string dest = dir.File("out.pdf");
  const struct {
    std::vector<std::string> args;
    std::string message;
  } cases[] = {
      {{"--info", source}, source + " is protected by a password; give it with --password"},
      {{source, dest}, source + " is protected by a password; give it with --password"},
      {{source, dest, "--password", "wrong"}, source + ": the password is not correct"},
      // The same letters in another encoding are another password.
      {{source, dest, "--password", "hotel"}, source + ": the password is not correct"},
  };
  for (const auto& c : cases) {
    const CliResult r = RunCli(c.args);
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.out, "");
    EXPECT_EQ(r.err, "pagemint-cli: " + c.message + "\n");
    EXPECT_FALSE(std::filesystem::exists(dest));
  }
}

int QpdfPages(const std::string& file, const std::string& password = "") {
  const std::string option = password.empty() ? "" : " --password=" + ShellQuote(password);
  const std::string text = RunCommand("qpdf --show-npages" + option + " " + ShellQuote(file));
  return text.empty() ? -1 : std::stoi(text);
}

struct RoundTripCase {
  const char* name;
  std::function<std::string()> bytes;
  std::string qpdf_options;
  std::string password;  // for the source and, when encrypted, the output
  bool encrypted;
};

class CliRoundTrip : public ::testing::TestWithParam<RoundTripCase> {};

TEST_P(CliRoundTrip, OutputPassesQpdfCheckAndKeepsPagesAndEncryption) {
  const RoundTripCase& c = GetParam();
  TempDir dir;
  const std::string source = MakeSource(dir, "in.pdf", c.bytes(), c.qpdf_options);
  const std::string dest = dir.File("out.pdf");
  std::vector<std::string> args = {source, dest};
  if (!c.password.empty()) args.insert(args.end(), {"--password", c.password});
  const CliResult r = RunCli(args);
  ASSERT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(r.out, "");
  EXPECT_EQ(r.err, "");

  const QpdfCheck check = CheckWithQpdf(dest, c.password);
  EXPECT_TRUE(check.clean) << check.log;
  EXPECT_EQ(QpdfPages(dest, c.password), QpdfPages(source, c.password));
  EXPECT_EQ(check.log.find("File is not encrypted") == std::string::npos, c.encrypted) << check.log;
}

const RoundTripCase kRoundTrips[] = {
    {"Plain", kPlain, "", "", false},
    {"WithThumbs", DocumentWithThumbs, "", "", false},
    {"ObjectStreams", DocumentWithThumbs, "--object-streams=generate", "", false},
    {"Linearized", DocumentWithThumbs, "--linearize", "", false},
    {"Rc40User", DocumentWithThumbs, Rc4("user", "owner", 40), "user", true},
    {"Rc128Owner", DocumentWithThumbs, Rc4("user", "owner", 128), "owner", true},
    {"Rc128Accented", DocumentWithThumbs, Rc4("h\xC3\xB4tel", "owner", 128), "h\xC3\xB4tel", true},
};

INSTANTIATE_TEST_SUITE_P(All, CliRoundTrip, ::testing::ValuesIn(kRoundTrips),
                         [](const auto& info) { return std::string(info.param.name); });

// The object number in "/Key N 0 R" within text; 0 when absent.
int ReferenceAfter(const std::string& text, const std::string& key) {
  const size_t at = text.find(key + " ");
  return at == std::string::npos ? 0 : std::atoi(text.c_str() + at + key.size() + 1);
}

// The catalog of a file as qpdf reads it, through the trailer's /Root.
std::string QpdfCatalog(const std::string& file) {
  const int root = ReferenceAfter(QpdfObject(file, "trailer"), "/Root");
  return QpdfObject(file, std::to_string(root));
}

// The object number of a page's thumbnail (page from 1) as qpdf reads
// the file; 0 when the page has none.
int QpdfThumbObject(const std::string& file, int page, const std::string& password = "") {
  const std::string option = password.empty() ? "" : " --password=" + ShellQuote(password);
  const std::string pages = RunCommand("qpdf --show-pages" + option + " " + ShellQuote(file));
  const int page_object = ReferenceAfter(pages, "page " + std::to_string(page) + ":");
  return ReferenceAfter(QpdfObject(file, std::to_string(page_object), password), "/Thumb");
}

std::string QpdfStreamData(const std::string& file, int object, const std::string& password = "") {
  const std::string option = password.empty() ? "" : " --password=" + ShellQuote(password);
  return RunCommand("qpdf" + option + " --show-object=" + std::to_string(object) +
                    " --filtered-stream-data " + ShellQuote(file));
}

TEST(CliShowThumbs, SetsThePageModeOfTheCatalog) {
  TempDir dir;
  const std::string source = dir.Write("in.pdf", DocumentWithThumbs());
  const std::string dest = dir.File("out.pdf");
  ASSERT_EQ(RunCli({"--show-thumbs", source, dest}).status, 0);
  EXPECT_TRUE(CheckWithQpdf(dest).clean);
  EXPECT_NE(QpdfCatalog(dest).find("/PageMode /UseThumbs"), std::string::npos) << QpdfCatalog(dest);
  EXPECT_EQ(Keys(RunCli({"--info", dest}).out),
            Info(4, "1.7", "none", true, "UseThumbs", "TwoColumnRight", "1 3"));

  // Without the option the source's page mode stays.
  ASSERT_EQ(RunCli({source, dest}).status, 0);
  EXPECT_NE(QpdfCatalog(dest).find("/PageMode /UseOutlines"), std::string::npos);
}

// A signed source rewritten in full (asked for: an update is the default)
// gets a warning on the error stream that its signatures will not verify.
TEST(CliSigned, WarnsThatTheSignaturesWillNotVerify) {
  TempDir dir;
  PdfBuilder b = SimpleDocument(1, "/AcroForm << /Fields [9 0 R] /SigFlags 3 >>");
  b.Add(9, "<< /FT /Sig /T (S) /V << /Type /Sig /ByteRange [0 1 2 3] /Contents <00> >> >>");
  const std::string source = dir.Write("in.pdf", b.Build());
  const std::string dest = dir.File("out.pdf");
  const CliResult r = RunCli({source, dest, "--full-rewrite"});
  EXPECT_EQ(r.status, 0);
  EXPECT_EQ(r.err,
            "pagemint-cli: warning: The document is digitally signed; saving rewrites it and the "
            "signatures will no longer verify\n");
  EXPECT_TRUE(CheckWithQpdf(dest).clean);
}

const std::vector<uint32_t> kFourPixels = {0xFF0000, 0x00FF00, 0x0000FF, 0x102030};
const std::string kFourPixelsRgb("\xFF\x00\x00\x00\xFF\x00\x00\x00\xFF\x10\x20\x30", 12);

class CliThumb : public ::testing::Test {
 protected:
  void SetUp() override {
    source_ = dir_.Write("in.pdf", SimpleDocument(5).Build());
    dest_ = dir_.File("out.pdf");
    dir_.Write("four.BMP", BitmapFile(2, 2, kFourPixels));
    dir_.Write("wide.bmp", BitmapFile(4, 3, std::vector<uint32_t>(12, 0x00FF00)));
    dir_.Write("draw.Emf", MetafileFile());
    ASSERT_EQ(std::system(("convert -size 6x5 xc:red " + ShellQuote(dir_.File("red.Jpeg")) +
                           " && convert -size 16x16 xc:blue " + ShellQuote(dir_.File("blue.ICO")))
                              .c_str()),
              0);
  }
  std::string Arg(int page, const std::string& picture) const {
    return std::to_string(page) + "=" + dir_.File(picture);
  }

  TempDir dir_;
  std::string source_;
  std::string dest_;
};

TEST_F(CliThumb, AttachesEveryPictureKindWhateverTheCaseOfTheExtension) {
  const CliResult r =
      RunCli({source_, dest_, "--thumb", Arg(1, "four.BMP"), "--thumb", Arg(2, "red.Jpeg"),
              "--thumb", Arg(4, "draw.Emf"), "--thumb", Arg(5, "blue.ICO")});
  ASSERT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(r.err, "");
  const QpdfCheck check = CheckWithQpdf(dest_);
  EXPECT_TRUE(check.clean) << check.log;
  EXPECT_EQ(Keys(RunCli({"--info", dest_}).out),
            Info(5, "1.4", "none", true, "UseNone", "None", "1 2 4 5"));

  const struct {
    int page;
    const char* size;
  } expected[] = {{1, "/Width 2"}, {2, "/Width 6"}, {4, "/Width 24"}, {5, "/Width 16"}};
  for (const auto& e : expected) {
    const int thumb = QpdfThumbObject(dest_, e.page);
    ASSERT_NE(thumb, 0) << "page " << e.page;
    const std::string image = QpdfObject(dest_, std::to_string(thumb));
    EXPECT_NE(image.find("/Subtype /Image"), std::string::npos) << image;
    EXPECT_NE(image.find(e.size), std::string::npos) << image;
  }
  EXPECT_EQ(QpdfThumbObject(dest_, 3), 0);
  // The bitmap's samples, top row first, as red, green, blue.
  EXPECT_EQ(QpdfStreamData(dest_, QpdfThumbObject(dest_, 1)), kFourPixelsRgb);
}

TEST_F(CliThumb, ALaterThumbForThePageReplacesTheEarlierOne) {
  const CliResult r = RunCli({source_, dest_, "--thumb", Arg(2, "wide.bmp"), "--thumb",
                              Arg(3, "wide.bmp"), "--thumb", Arg(2, "four.BMP")});
  ASSERT_EQ(r.status, 0) << r.err;
  EXPECT_TRUE(CheckWithQpdf(dest_).clean);
  EXPECT_EQ(QpdfStreamData(dest_, QpdfThumbObject(dest_, 2)), kFourPixelsRgb);
  EXPECT_NE(QpdfObject(dest_, std::to_string(QpdfThumbObject(dest_, 3))).find("/Width 4"),
            std::string::npos);
  // The replaced picture leaves no image object behind.
  const std::string normal =
      RunCommand("qpdf --qdf --object-streams=disable " + ShellQuote(dest_) + " -");
  size_t images = 0;
  for (size_t at = normal.find("/Subtype /Image"); at != std::string::npos;
       at = normal.find("/Subtype /Image", at + 1))
    ++images;
  EXPECT_EQ(images, 2u);
}

TEST_F(CliThumb, ReplacesAThumbnailTheSourceAlreadyHas) {
  const std::string source = dir_.Write("thumbs.pdf", DocumentWithThumbs());
  ASSERT_EQ(RunCli({source, dest_, "--thumb", Arg(3, "four.BMP")}).status, 0);
  EXPECT_TRUE(CheckWithQpdf(dest_).clean);
  EXPECT_EQ(QpdfStreamData(dest_, QpdfThumbObject(dest_, 3)), kFourPixelsRgb);
  EXPECT_EQ(QpdfStreamData(dest_, QpdfThumbObject(dest_, 1)), std::string("\xFF\x00\x00", 3));
}

TEST_F(CliThumb, EncryptedSourceWrittenEncryptedWithTheThumbnail) {
  const std::string password = "h\xC3\xB4tel";
  const std::string source =
      MakeSource(dir_, "locked.pdf", SimpleDocument(2).Build(), Rc4(password, "owner", 128));
  const CliResult r = RunCli(
      {source, dest_, "--password", password, "--show-thumbs", "--thumb", Arg(2, "four.BMP")});
  ASSERT_EQ(r.status, 0) << r.err;
  const QpdfCheck check = CheckWithQpdf(dest_, password);
  EXPECT_TRUE(check.clean) << check.log;
  EXPECT_NE(check.log.find("Supplied password is user password"), std::string::npos) << check.log;
  EXPECT_EQ(QpdfStreamData(dest_, QpdfThumbObject(dest_, 2, password), password), kFourPixelsRgb);
  EXPECT_EQ(Keys(RunCli({"--info", dest_, "--password", password}).out),
            Info(2, "1.4", "rc4-128", false, "UseThumbs", "None", "2"));
}

TEST_F(CliThumb, SavesOverTheSource) {
  ASSERT_EQ(RunCli({source_, source_, "--thumb", Arg(1, "four.BMP")}).status, 0);
  EXPECT_TRUE(CheckWithQpdf(source_).clean);
  EXPECT_EQ(Keys(RunCli({"--info", source_}).out), Info(5, "1.4", "none", true, "UseNone", "None", "1"));
}

TEST(CliDest, CompletesTheNameAsTheWindowDoes) {
  TempDir dir;
  const std::string source = dir.Write("in.pdf", SimpleDocument(1).Build());
  const struct {
    const char* given;
    const char* written;
  } cases[] = {{"plain", "plain.pdf"}, {"upper.PDF", "upper.PDF"}, {"notes.txt", "notes.txt.pdf"}};
  for (const auto& c : cases) {
    ASSERT_EQ(RunCli({source, dir.File(c.given)}).status, 0) << c.given;
    EXPECT_TRUE(CheckWithQpdf(dir.File(c.written)).clean) << c.written;
  }
  EXPECT_FALSE(std::filesystem::exists(dir.File("plain")));
  EXPECT_FALSE(std::filesystem::exists(dir.File("notes.txt")));
}

TEST(CliVerbose, StatusGoesToStandardErrorOnlyWhenAsked) {
  TempDir dir;
  const std::string source = dir.Write("in.pdf", SimpleDocument(1).Build());
  const std::string bitmap = dir.Write("p.bmp", BitmapFile(2, 2, kFourPixels));
  const CliResult quiet = RunCli({source, dir.File("a.pdf"), "--thumb", "1=" + bitmap});
  EXPECT_EQ(quiet.err, "");
  const CliResult loud = RunCli({"-v", source, dir.File("b"), "--thumb", "1=" + bitmap});
  ASSERT_EQ(loud.status, 0);
  EXPECT_EQ(loud.out, "");
  for (const std::string& line :
       {std::string("Document read complete. Pages read = 1\n"), "Page 1, " + bitmap + "\n",
        "Saving File " + dir.File("b.pdf") + "\n", std::string("Save Complete\n")})
    EXPECT_NE(loud.err.find(line), std::string::npos) << line << " in\n" << loud.err;
  EXPECT_LT(loud.err.find("Page 1,"), loud.err.find("Saving File"));
}

}  // namespace
}  // namespace pagemint::testing
