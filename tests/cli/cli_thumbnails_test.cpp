// SPDX-License-Identifier: GPL-3.0-or-later
// pagemint-cli's thumbnail life cycle: removal, rendering and pictures in
// that order, --info's sizes, extraction to PNG files, several files at
// once with one failing, in-place writes under the exact name, and the
// warning for pictures larger than a thumbnail needs. Every file written
// passes qpdf --check.
#include <gtest/gtest.h>

#include <QImage>
#include <filesystem>

#include "cli/cli_test_util.h"

namespace pagemint::testing {
namespace {

std::string Line(const std::string& out, const std::string& key) {
  const size_t at = out.find(key + ": ");
  if (at == std::string::npos) return "(missing)";
  const size_t start = at + key.size() + 2;
  return out.substr(start, out.find('\n', start) - start);
}

// Four pages of 612 x 792 points, the first and third with a 1 x 1
// thumbnail already.
std::string WithThumbs() {
  return FourPagesWithThumbs(PdfBuilder(), "", "[0 0 612 792]", "0 0 1 rg 100 100 300 300 re f");
}

std::string Png(const TempDir& dir, const std::string& name, int width, int height, QRgb colour) {
  QImage image(width, height, QImage::Format_RGB32);
  image.fill(colour);
  const std::string file = dir.File(name);
  EXPECT_TRUE(image.save(QString::fromStdString(file), "PNG"));
  return file;
}

TEST(CliThumbnails, RemoveRenderPictureInThatOrderThenExtract) {
  TempDir dir;
  const std::string source = dir.Write("in.pdf", WithThumbs());
  const std::string picture = Png(dir, "green.jpg", 6, 5, qRgb(0, 200, 0));  // a PNG
  const std::string dest = dir.File("out.pdf");
  const std::string folder = dir.File("thumbs");
  const CliResult r =
      RunCli({source, dest, "--remove-thumbs=1", "--render-thumbs=2-", "--thumb-size", "64",
              "--thumb", "3=" + picture, "--jobs", "2", "--extract-thumbs", folder});
  ASSERT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(r.err, "");
  EXPECT_TRUE(CheckWithQpdf(dest).clean) << CheckWithQpdf(dest).log;
  const std::string info = RunCli({"--info", dest}).out;
  EXPECT_EQ(Line(info, "thumbnails"), "2 3 4");
  // 612 x 792 at 64 pixels high; the picture (6 x 5) is smaller than the
  // size and keeps its own.
  EXPECT_EQ(Line(info, "thumbnail_sizes"), "2=49x64 3=6x5 4=49x64");
  EXPECT_FALSE(std::filesystem::exists(folder + "/page-1.png"));
  const QImage third(QString::fromStdString(folder + "/page-3.png"));
  ASSERT_EQ(third.size(), QSize(6, 5));
  EXPECT_EQ(third.pixel(2, 2), qRgb(0, 200, 0));
  const QImage second(QString::fromStdString(folder + "/page-2.png"));
  ASSERT_EQ(second.size(), QSize(49, 64));
  EXPECT_EQ(qBlue(second.pixel(20, 40)), 255);  // the blue square
  EXPECT_EQ(second.pixel(2, 2), qRgb(255, 255, 255));

  // Extraction alone reads the source's thumbnails and writes nothing else.
  const std::string source_folder = dir.File("source-thumbs");
  ASSERT_EQ(RunCli({source, "--extract-thumbs", source_folder}).status, 0);
  EXPECT_EQ(QImage(QString::fromStdString(source_folder + "/page-1.png")).pixel(0, 0),
            qRgb(255, 0, 0));
  EXPECT_TRUE(std::filesystem::exists(source_folder + "/page-3.png"));
  EXPECT_FALSE(std::filesystem::exists(source_folder + "/page-2.png"));

  // Removing every thumbnail leaves none and no image.
  ASSERT_EQ(RunCli({dest, dir.File("bare.pdf"), "--remove-thumbs"}).status, 0);
  EXPECT_EQ(Line(RunCli({"--info", dir.File("bare.pdf")}).out, "thumbnails"), "none");
  const std::string qdf =
      RunCommand("qpdf --qdf --object-streams=disable " + ShellQuote(dir.File("bare.pdf")) + " -");
  EXPECT_EQ(qdf.find("/Image"), std::string::npos);
}

TEST(CliThumbnails, PagesNamedBeyondTheDocumentAreAnError) {
  TempDir dir;
  const std::string source = dir.Write("in.pdf", WithThumbs());
  const CliResult r = RunCli({source, dir.File("out.pdf"), "--render-thumbs=2,9"});
  EXPECT_EQ(r.status, 1);
  EXPECT_EQ(r.err, "pagemint-cli: Invalid page number (9)\n");
  EXPECT_FALSE(std::filesystem::exists(dir.File("out.pdf")));
  // An open range stops at the last page; one starting past it names no
  // page and is refused like that page alone.
  EXPECT_EQ(RunCli({source, dir.File("out.pdf"), "--render-thumbs=3-"}).status, 0);
  const CliResult past = RunCli({source, dir.File("out2.pdf"), "--render-thumbs=3-,9-"});
  EXPECT_EQ(past.status, 1);
  EXPECT_EQ(past.err, "pagemint-cli: Invalid page number (9)\n");
}

TEST(CliThumbnails, SeveralFilesOneFailingTheOthersWritten) {
  TempDir dir;
  const std::string a = dir.Write("a.pdf", WithThumbs());
  const std::string bad = dir.Write("bad.pdf", "%PDF-1.4\nno PDF at all\n");
  std::filesystem::create_directory(dir.File("other"));
  // Pages the renderer draws without a word (the plain document's text
  // uses a font its pages do not have, which gets a warning).
  PdfBuilder sound = SimpleDocument(2);
  sound.AddStream(3, "", "0 0 1 rg 72 72 200 200 re f");
  const std::string b = dir.Write("other/b.pdf", sound.Build());
  const std::string same = dir.Write("other/a.pdf", SimpleDocument(1).Build());
  const std::string out = dir.File("out");
  const CliResult r =
      RunCli({"--output-dir", out, "--render-thumbs", "--thumb-size=32", a, bad, b, same});
  EXPECT_EQ(r.status, 1);
  // One line for each file that failed, naming it, and the summary; the
  // others are written.
  EXPECT_EQ(std::count(r.err.begin(), r.err.end(), '\n'), 3) << r.err;
  EXPECT_NE(r.err.find("pagemint-cli: " + bad + ": "), std::string::npos) << r.err;
  EXPECT_NE(r.err.find("pagemint-cli: " + same + ": "), std::string::npos) << r.err;
  for (const char* written : {"a.pdf", "b.pdf"}) {
    const std::string file = out + "/" + written;
    EXPECT_TRUE(CheckWithQpdf(file).clean) << file;
    EXPECT_NE(Line(RunCli({"--info", file}).out, "thumbnails"), "none") << file;
  }
  EXPECT_FALSE(std::filesystem::exists(out + "/bad.pdf"));
  EXPECT_EQ(std::distance(std::filesystem::directory_iterator(out), {}), 2);

  // All good: status 0.
  EXPECT_EQ(RunCli({"--output-dir", out, "--remove-thumbs", a, b}).status, 0);
}

TEST(CliThumbnails, InPlaceKeepsTheExactNameAndPermissions) {
  TempDir dir;
  const std::string report = dir.Write("report.dat", WithThumbs());
  const std::string other = dir.Write("other.PDF", SimpleDocument(2).Build());
  std::filesystem::permissions(report, std::filesystem::perms::owner_read |
                                           std::filesystem::perms::owner_write |
                                           std::filesystem::perms::group_read);
  const CliResult r =
      RunCli({"--in-place", "--render-thumbs=1", "--thumb-size", "16", report, other});
  ASSERT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir.File("")), {}), 2);
  EXPECT_TRUE(CheckWithQpdf(report).clean);
  EXPECT_EQ(Line(RunCli({"--info", report}).out, "thumbnail_sizes"), "1=12x16 3=1x1");
  EXPECT_EQ(Line(RunCli({"--info", other}).out, "thumbnail_sizes"), "1=12x16");
  EXPECT_EQ(std::filesystem::status(report).permissions() & std::filesystem::perms::all,
            std::filesystem::perms::owner_read | std::filesystem::perms::owner_write |
                std::filesystem::perms::group_read);
}

TEST(CliThumbnails, LargePicturesWarnUnlessScaled) {
  TempDir dir;
  const std::string source = dir.Write("in.pdf", SimpleDocument(1).Build());
  const std::string wide = Png(dir, "wide.png", 1500, 30, qRgb(10, 20, 30));
  const CliResult large = RunCli({source, dir.File("a.pdf"), "--thumb", "1=" + wide});
  ASSERT_EQ(large.status, 0) << large.err;
  EXPECT_EQ(large.err.rfind("pagemint-cli: warning: The picture \"" + wide + "\" is 1500 x 30", 0),
            0u)
      << large.err;
  const CliResult scaled =
      RunCli({source, dir.File("b.pdf"), "--thumb", "1=" + wide, "--thumb-size", "300"});
  ASSERT_EQ(scaled.status, 0) << scaled.err;
  EXPECT_EQ(scaled.err, "");
  EXPECT_EQ(Line(RunCli({"--info", dir.File("b.pdf")}).out, "thumbnail_sizes"), "1=300x6");
}

}  // namespace
}  // namespace pagemint::testing
