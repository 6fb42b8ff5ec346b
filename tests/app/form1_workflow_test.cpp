// The window's workflow end to end on real files: open, add pictures,
// generate, the written file checked by qpdf; encrypted sources; every
// failure the handlers meet.
#include <gtest/gtest.h>

#include <QCheckBox>
#include <QDir>
#include <QFile>
#include <QFileInfo>

#include "app_test_support.h"
#include "platform/messages.h"

namespace pagemint::testing {
namespace {

class Form1Workflow : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(dir_.isValid());
    source_ = Path("source.pdf");
    WritePdf(source_, 3);
    bmp_ = Path("cover.bmp");
    WritePicture(bmp_, "BMP", 24, 16);
    jpeg_ = Path("photo.jpg");
    WritePicture(jpeg_, "JPG", 40, 30);
  }

  QString Path(const QString& name) const { return dir_.filePath(name); }

  // Width x height of the page's thumbnail in the written file, or "none".
  static QString ThumbSize(const QpdfView& view, size_t page) {
    const std::vector<QJsonObject> pages = view.Pages();
    if (page >= pages.size()) return "no page";
    const QJsonObject thumb = view.Thumb(pages[page]);
    if (thumb.isEmpty()) return "none";
    return QString("%1x%2").arg(thumb.value("/Width").toInt()).arg(thumb.value("/Height").toInt());
  }

  QTemporaryDir dir_;
  QString source_;
  QString bmp_;
  QString jpeg_;
  Harness harness_;
};

TEST_F(Form1Workflow, OpenAddTwoPicturesGenerate) {
  harness_.Open(source_);
  EXPECT_EQ(harness_.form().Edit1->text(), source_);
  EXPECT_EQ(harness_.form().PDFDoc().PageCount(), 3);

  harness_.ChoosePicture(bmp_);
  EXPECT_EQ(harness_.form().Edit2->text(), bmp_);
  harness_.Add();
  harness_.ChoosePicture(jpeg_);
  harness_.Add();
  EXPECT_EQ(harness_.Log(), (QStringList{"Page 1, " + bmp_, "Page 2, " + jpeg_}));
  EXPECT_EQ(harness_.form().Edit3->text(), "3");
  EXPECT_TRUE(harness_.form().Edit2->text().isEmpty());

  harness_.ChooseDestination(Path("result"));
  EXPECT_EQ(harness_.form().Edit4->text(), Path("result.pdf"));
  harness_.Generate();
  ASSERT_TRUE(harness_.prompts().errors.isEmpty())
      << harness_.prompts().errors.join("\n").toStdString();
  EXPECT_TRUE(harness_.prompts().messages.isEmpty());

  const QString written = Path("result.pdf");
  ASSERT_TRUE(QFileInfo(written).isFile());
  EXPECT_EQ(QpdfCheck(written), 0);
  const QpdfView view(written);
  EXPECT_EQ(view.Catalog().value("/PageMode").toString(), "/UseThumbs");
  EXPECT_EQ(view.Pages().size(), 3u);
  EXPECT_EQ(ThumbSize(view, 0), "24x16");
  EXPECT_EQ(ThumbSize(view, 1), "40x30");
  EXPECT_EQ(ThumbSize(view, 2), "none");
  EXPECT_EQ(harness_.opened(), std::vector<std::string>{written.toStdString()});

  // The document stays loaded: a third picture and a second Generate.
  harness_.SetPage("3");
  harness_.ChoosePicture(bmp_);
  harness_.Add();
  harness_.Generate();
  EXPECT_EQ(ThumbSize(QpdfView(written), 2), "24x16");
}

TEST_F(Form1Workflow, UserPasswordIsAskedWithTriesCounted) {
  const QString locked = Path("locked.pdf");
  ASSERT_EQ(QpdfEncrypt(source_, locked, "USER", "OWNER"), 0);
  harness_.prompts().password_answers = {QString("wrong"), QString("USER")};
  harness_.Open(locked);
  EXPECT_EQ(harness_.prompts().password_tries, (std::vector<int>{0, 1}));
  EXPECT_EQ(harness_.form().PDFDoc().PageCount(), 3);

  harness_.ChoosePicture(jpeg_);
  harness_.Add();
  harness_.ChooseDestination(Path("unlocked.pdf"));
  harness_.Generate();
  EXPECT_TRUE(harness_.prompts().errors.isEmpty())
      << harness_.prompts().errors.join("\n").toStdString();
  // Saved encrypted again, with the same user password.
  EXPECT_NE(QpdfCheck(Path("unlocked.pdf")), 0);
  EXPECT_EQ(QpdfCheck(Path("unlocked.pdf"), "USER"), 0);
}

TEST_F(Form1Workflow, CancelledPasswordLeavesNothingLoadedAndGenerateWritesNothing) {
  const QString locked = Path("locked.pdf");
  ASSERT_EQ(QpdfEncrypt(source_, locked, "USER", "OWNER"), 0);
  harness_.prompts().password_answers = {std::nullopt};
  harness_.Open(locked);
  EXPECT_EQ(harness_.prompts().password_tries, std::vector<int>{0});
  EXPECT_FALSE(harness_.form().PDFDoc().IsLoaded());
  EXPECT_EQ(harness_.form().PDFDoc().PageCount(), 0);

  harness_.ChooseDestination(Path("out.pdf"));
  harness_.Generate();
  EXPECT_EQ(harness_.prompts().messages, QStringList{msg::kNoDocumentLoaded});
  EXPECT_FALSE(QFileInfo::exists(Path("out.pdf")));
  EXPECT_TRUE(harness_.opened().empty());
}

TEST_F(Form1Workflow, OwnerPasswordOnlyOpensWithoutAsking) {
  const QString locked = Path("owner.pdf");
  ASSERT_EQ(QpdfEncrypt(source_, locked, "", "OWNER"), 0);
  harness_.Open(locked);
  EXPECT_TRUE(harness_.prompts().password_tries.empty());
  EXPECT_EQ(harness_.form().PDFDoc().PageCount(), 3);
}

TEST_F(Form1Workflow, GenerateRefusesWithoutAUsableSource) {
  const struct {
    const char* name;
    QString source_text;
    const char* message;
  } cases[] = {
      {"empty box", "", msg::kNoSourceFile},
      {"missing file", Path("missing.pdf"), msg::kSourceNotFound},
      {"a folder", dir_.path(), msg::kSourceNotFound},
      {"existing file never opened", source_, msg::kNoDocumentLoaded},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    Harness harness;
    harness.ChooseDestination(Path("out.pdf"));
    harness.form().Edit1->setText(c.source_text);
    harness.Generate();
    EXPECT_EQ(harness.prompts().messages, QStringList{c.message});
    EXPECT_FALSE(QFileInfo::exists(Path("out.pdf")));
    EXPECT_TRUE(harness.opened().empty());
  }
}

TEST_F(Form1Workflow, GenerateWithoutDestinationAsksForOne) {
  harness_.Open(source_);
  harness_.Generate();  // the Save dialog is cancelled
  EXPECT_EQ(harness_.prompts().dialogs_shown.back(), TFileDialogKind::kSave);
  EXPECT_TRUE(QDir(dir_.path()).entryList({"*.pdf"}).contains("source.pdf"));
  EXPECT_EQ(QDir(dir_.path()).entryList({"*.pdf"}).size(), 1);

  harness_.prompts().file_answers.push_back(Path("chosen"));
  harness_.Generate();
  EXPECT_EQ(harness_.form().Edit4->text(), Path("chosen.pdf"));
  EXPECT_EQ(QpdfCheck(Path("chosen.pdf")), 0);
}

TEST_F(Form1Workflow, OtherExtensionGainsPdfAndIsTheFileOpened) {
  harness_.Open(source_);
  harness_.ChooseDestination(Path("out.txt"));
  harness_.Generate();
  EXPECT_FALSE(QFileInfo::exists(Path("out.txt")));
  EXPECT_EQ(QpdfCheck(Path("out.txt.pdf")), 0);
  EXPECT_EQ(harness_.opened(), std::vector<std::string>{Path("out.txt.pdf").toStdString()});
}

TEST_F(Form1Workflow, UncheckedBoxesOpenNothingAndKeepThePageMode) {
  harness_.Open(source_);
  harness_.form().CheckBox1->setChecked(false);
  harness_.form().CheckBox2->setChecked(false);
  harness_.ChooseDestination(Path("plain.pdf"));
  harness_.Generate();
  EXPECT_TRUE(harness_.opened().empty());
  ASSERT_EQ(QpdfCheck(Path("plain.pdf")), 0);
  EXPECT_NE(QpdfView(Path("plain.pdf")).Catalog().value("/PageMode").toString(), "/UseThumbs");
}

TEST_F(Form1Workflow, AddRejectsPagesOutsideTheDocument) {
  harness_.Open(source_);
  harness_.ChoosePicture(bmp_);
  const struct {
    const char* page;
    const char* error;
  } cases[] = {
      {"0", "Invalid page number (0)"},
      {"-2", "Invalid page number (-2)"},
      {"4", "Invalid page number (4)"},
      {"x1", "'x1' is not a valid integer value"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.page);
    harness_.prompts().errors.clear();
    harness_.SetPage(c.page);
    harness_.Add();
    EXPECT_EQ(harness_.prompts().errors, QStringList{c.error});
    EXPECT_EQ(harness_.form().Edit3->text(), c.page);
    EXPECT_TRUE(harness_.Log().isEmpty());
    EXPECT_EQ(harness_.form().Edit2->text(), bmp_);
  }
}

TEST_F(Form1Workflow, AddBeforeAnyDocumentReportsTheFirstPage) {
  harness_.ChoosePicture(bmp_);
  harness_.Add();
  EXPECT_EQ(harness_.prompts().errors, QStringList{"Invalid page number (1)"});
}

TEST_F(Form1Workflow, PageBoxAdvancesFromItsNumberAndSecondAddHasEmptyName) {
  harness_.Open(source_);
  harness_.ChoosePicture(jpeg_);
  harness_.SetPage("001");
  harness_.Add();
  EXPECT_EQ(harness_.form().Edit3->text(), "2");
  harness_.SetPage("003");
  harness_.Add();
  EXPECT_EQ(harness_.form().Edit3->text(), "4");
  EXPECT_EQ(harness_.Log(), (QStringList{"Page 001, " + jpeg_, "Page 003, "}));
}

TEST_F(Form1Workflow, PageBox007BecomesEight) {
  harness_.SetPage("007");
  harness_.Add();  // no picture chosen: nothing attached, nothing raised
  EXPECT_TRUE(harness_.prompts().errors.isEmpty());
  EXPECT_EQ(harness_.Log(), QStringList{"Page 007, "});
  EXPECT_EQ(harness_.form().Edit3->text(), "8");
}

TEST_F(Form1Workflow, UpperCaseExtensionsAreRecognised) {
  ASSERT_TRUE(QFile::rename(bmp_, Path("COVER.BMP")));
  ASSERT_TRUE(QFile::rename(jpeg_, Path("PHOTO.JPG")));
  harness_.Open(source_);
  harness_.ChoosePicture(Path("COVER.BMP"));
  harness_.Add();
  harness_.ChoosePicture(Path("PHOTO.JPG"));
  harness_.Add();
  EXPECT_TRUE(harness_.prompts().errors.isEmpty());
  harness_.ChooseDestination(Path("upper.pdf"));
  harness_.Generate();
  const QpdfView view(Path("upper.pdf"));
  EXPECT_EQ(ThumbSize(view, 0), "24x16");
  EXPECT_EQ(ThumbSize(view, 1), "40x30");
}

TEST_F(Form1Workflow, NamePassingJpegAndBitmapTestsKeepsTheJpeg) {
  ASSERT_TRUE(QDir(dir_.path()).mkdir("a.bmp.old"));
  const QString both = Path("a.bmp.old/b.jpg");
  ASSERT_TRUE(QFile::copy(jpeg_, both));
  harness_.Open(source_);
  harness_.ChoosePicture(both);
  harness_.Add();
  ASSERT_EQ(harness_.prompts().errors.size(), 1);
  EXPECT_TRUE(harness_.prompts().errors[0].startsWith("Bitmap image"))
      << harness_.prompts().errors[0].toStdString();
  EXPECT_TRUE(harness_.Log().isEmpty());
  EXPECT_EQ(harness_.form().Edit3->text(), "1");
  harness_.ChooseDestination(Path("both.pdf"));
  harness_.Generate();
  EXPECT_EQ(ThumbSize(QpdfView(Path("both.pdf")), 0), "40x30");
}

TEST_F(Form1Workflow, FailedOpenShowsTheErrorAndKeepsTheLog) {
  harness_.SetPage("2");
  harness_.Add();  // one log line, no picture
  const QString not_pdf = Path("notes.pdf");
  QFile file(not_pdf);
  ASSERT_TRUE(file.open(QIODevice::WriteOnly));
  file.write("just text\n");
  file.close();
  harness_.Open(not_pdf);
  EXPECT_EQ(harness_.prompts().errors.size(), 1);
  EXPECT_EQ(harness_.form().Edit1->text(), not_pdf);
  EXPECT_EQ(harness_.Log().size(), 1);
  EXPECT_FALSE(harness_.form().PDFDoc().IsLoaded());

  harness_.Open(Path("gone.pdf"));
  EXPECT_EQ(harness_.prompts().errors.back(), Path("gone.pdf") + " File Not Found");
}

}  // namespace
}  // namespace pagemint::testing
