// SPDX-License-Identifier: GPL-3.0-or-later
// The window's workflow end to end on real files: open, add pictures,
// generate, the written file checked by qpdf; encrypted sources; every
// failure the handlers meet.
#include <gtest/gtest.h>

#include <QCheckBox>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <deque>
#include <optional>

#include "app_test_support.h"
#include "picture/metafile.h"
#include "platform/messages.h"

namespace pagemint::testing {
namespace {

class Form1Workflow : public WindowFiles {
 protected:
  static QString Corpus(const char* name) { return QString(PAGEMINT_CORPUS_DIR) + "/" + name; }

  // Width x height of the page's thumbnail in the written file, or "none".
  static QString ThumbSize(const QpdfView& view, size_t page) {
    const std::vector<QJsonObject> pages = view.Pages();
    if (page >= pages.size()) return "no page";
    const QJsonObject thumb = view.Thumb(pages[page]);
    if (thumb.isEmpty()) return "none";
    return QString("%1x%2").arg(thumb.value("/Width").toInt()).arg(thumb.value("/Height").toInt());
  }
};

TEST_F(Form1Workflow, OpenAddTwoPicturesGenerate) {
  PAGEMINT_NEEDS_THUMBNAIL_ACTIONS();
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

// The same session on files made by other programs: a 4-page PDF and a
// bitmap and a JPEG from other projects' test suites.
TEST_F(Form1Workflow, RealPdfWithTwoRealPictures) {
  PAGEMINT_NEEDS_THUMBNAIL_ACTIONS();
  const QString pdf = Corpus("pdf/real/pdfio/testpdfio.pdf");
  const QString bmp = Corpus("pictures/bmp/libjpeg-turbo-vgl_6548_0026a.bmp");
  const QString jpeg = Corpus("pictures/jpeg/libjpeg-turbo-testorig.jpg");
  for (const QString& file : {pdf, bmp, jpeg})
    if (!QFileInfo::exists(file)) GTEST_SKIP() << "no corpus file " << file.toStdString();

  harness_.Open(pdf);
  ASSERT_TRUE(harness_.prompts().errors.isEmpty()) << harness_.prompts().errors.join("\n");
  ASSERT_EQ(harness_.form().PDFDoc().PageCount(), 4);
  harness_.ChoosePicture(bmp);
  harness_.Add();
  harness_.SetPage("4");
  harness_.ChoosePicture(jpeg);
  harness_.Add();
  EXPECT_EQ(harness_.Log(), (QStringList{"Page 1, " + bmp, "Page 4, " + jpeg}));
  harness_.ChooseDestination(Path("real-thumbs"));
  harness_.Generate();
  ASSERT_TRUE(harness_.prompts().errors.isEmpty()) << harness_.prompts().errors.join("\n");

  const QString written = Path("real-thumbs.pdf");
  EXPECT_EQ(QpdfCheck(written), 0);
  const QpdfView view(written);
  EXPECT_EQ(view.Catalog().value("/PageMode").toString(), "/UseThumbs");
  ASSERT_EQ(view.Pages().size(), 4u);
  EXPECT_EQ(ThumbSize(view, 0), "128x95");
  EXPECT_EQ(ThumbSize(view, 1), "none");
  EXPECT_EQ(ThumbSize(view, 2), "none");
  EXPECT_EQ(ThumbSize(view, 3), "227x149");
  EXPECT_EQ(harness_.opened(), std::vector<std::string>{written.toStdString()});
}

TEST_F(Form1Workflow, UserPasswordIsAskedWithTriesCounted) {
  const QString locked = Path("locked.pdf");
  ASSERT_EQ(QpdfEncrypt(source_, locked, "USER", "OWNER"), 0);
  harness_.prompts().password_answers = {QString("wrong"), QString("USER")};
  harness_.Open(locked);
  EXPECT_EQ(harness_.prompts().password_tries, (std::vector<int>{0, 1}));
  EXPECT_TRUE(harness_.prompts().all_on_window_thread);
  EXPECT_EQ(harness_.form().PDFDoc().PageCount(), 3);

  PAGEMINT_NEEDS_THUMBNAIL_ACTIONS();
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
  // The open ran on the worker; the question was put on the window's thread.
  EXPECT_TRUE(harness_.prompts().all_on_window_thread);
  EXPECT_FALSE(harness_.form().PDFDoc().IsLoaded());
  EXPECT_EQ(harness_.form().PDFDoc().PageCount(), 0);

  // The box names what is open: nothing.
  EXPECT_TRUE(harness_.form().Edit1->text().isEmpty());

  harness_.ChooseDestination(Path("out.pdf"));
  harness_.Generate();
  EXPECT_EQ(harness_.prompts().messages, QStringList{msg::kNoSourceFile});
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

TEST_F(Form1Workflow, RealEncryptedSources) {
  PAGEMINT_NEEDS_THUMBNAIL_ACTIONS();
  const struct {
    const char* file;
    std::deque<std::optional<QString>> answers;
    std::vector<int> asked;  // the refused-password counts the user saw
    int pages;               // 0: nothing loaded
    const char* user;        // the written file's user password
  } cases[] = {
      {"pdf/real/qpdf/enc-R3,V2,U=view,O=master.pdf", {QString("view")}, {0}, 30, "view"},
      {"pdf/real/qpdf/enc-R3,V2,U=view,O=master.pdf",
       {QString("View"), QString("view")},
       {0, 1},
       30,
       "view"},
      // The owner password opens it too.
      {"pdf/real/qpdf/enc-R2,V1,U=view,O=master.pdf", {QString("master")}, {0}, 30, "view"},
      {"pdf/real/qpdf/enc-R2,V1,U=view,O=master.pdf", {std::nullopt}, {0}, 0, ""},
      {"pdf/real/qpdf/enc-R3,V2,O=master.pdf", {}, {}, 30, ""},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.file);
    if (!QFileInfo::exists(Corpus(c.file))) continue;
    Harness harness;
    harness.prompts().password_answers = c.answers;
    harness.Open(Corpus(c.file));
    EXPECT_TRUE(harness.prompts().errors.isEmpty()) << harness.prompts().errors.join("\n");
    EXPECT_EQ(harness.prompts().password_tries, c.asked);
    EXPECT_EQ(harness.form().PDFDoc().PageCount(), c.pages);
    EXPECT_EQ(harness.form().PDFDoc().IsLoaded(), c.pages > 0);
    harness.ChoosePicture(bmp_);
    harness.Add();
    harness.ChooseDestination(Path("enc-out.pdf"));
    harness.Generate();
    if (c.pages == 0) {
      EXPECT_EQ(harness.prompts().messages, QStringList{msg::kNoSourceFile});
      EXPECT_FALSE(QFileInfo::exists(Path("enc-out.pdf")));
      continue;
    }
    EXPECT_TRUE(harness.prompts().errors.isEmpty()) << harness.prompts().errors.join("\n");
    EXPECT_EQ(QpdfCheck(Path("enc-out.pdf"), c.user), 0);
    ASSERT_TRUE(QFile::remove(Path("enc-out.pdf")));
  }
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

TEST_F(Form1Workflow, DestinationNameIsCompletedAndThatIsTheFileOpened) {
  const struct {
    const char* chosen;   // what the user types in the Save dialog
    const char* written;  // the file Generate writes and the shell opens
  } cases[] = {
      {"out.txt", "out.txt.pdf"}, {"OUT.PDF", "OUT.PDF"},
      {"result", "result.pdf"},   {"out.pdf.bak", "out.pdf.bak.pdf"},
      {".pdf", ".pdf.pdf"},       {"two words.Pdf", "two words.Pdf"},
  };
  harness_.Open(source_);
  for (const auto& c : cases) {
    SCOPED_TRACE(c.chosen);
    const std::vector<std::string> opened_before = harness_.opened();
    harness_.ChooseDestination(Path(c.chosen));
    harness_.Generate();
    EXPECT_TRUE(harness_.prompts().errors.isEmpty()) << harness_.prompts().errors.join("\n");
    EXPECT_EQ(QpdfCheck(Path(c.written)), 0);
    if (QString(c.chosen) != c.written) {
      EXPECT_FALSE(QFileInfo::exists(Path(c.chosen)));
    }
    ASSERT_EQ(harness_.opened().size(), opened_before.size() + 1);
    EXPECT_EQ(harness_.opened().back(), Path(c.written).toStdString());
  }
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

// What the boxes show is what is used: a picture typed into "Thumbnail:"
// over the one chosen, and a destination typed into "Save To:" over the
// one chosen; a typed destination that exists is replaced only when the
// user says so, and saying no leaves it untouched. The source box must
// name the document opened.
TEST_F(Form1Workflow, TypedPathsAreUsed) {
  PAGEMINT_NEEDS_THUMBNAIL_ACTIONS();
  const QString other = Path("other.pdf");
  WritePdf(other, 1);
  harness_.Open(source_);
  harness_.ChoosePicture(bmp_);
  harness_.form().Edit2->setText(jpeg_);
  harness_.Add();
  EXPECT_EQ(harness_.Log(), QStringList{"Page 1, " + jpeg_});
  harness_.ChooseDestination(Path("chosen.pdf"));
  harness_.form().Edit4->setText(Path("typed"));
  // A source typed but not opened is not what Generate writes: it says so
  // and writes nothing until the box names the open document again.
  harness_.form().Edit1->setText(other);
  harness_.Generate();
  EXPECT_EQ(harness_.prompts().messages,
            QStringList{"\"PDF File:\" names " + other +
                        ", which is not the open document (source.pdf).\n"
                        "Press Enter in the box to open it."});
  EXPECT_FALSE(QFileInfo::exists(Path("typed.pdf")));
  harness_.prompts().messages.clear();
  harness_.form().Edit1->setText(source_);
  harness_.Generate();
  EXPECT_TRUE(harness_.prompts().messages.isEmpty());
  EXPECT_TRUE(harness_.prompts().questions.isEmpty());
  EXPECT_FALSE(QFileInfo::exists(Path("chosen.pdf")));
  EXPECT_EQ(harness_.opened(), std::vector<std::string>{Path("typed.pdf").toStdString()});
  const QpdfView view(Path("typed.pdf"));
  EXPECT_EQ(view.Pages().size(), 3u);
  EXPECT_EQ(ThumbSize(view, 0), "40x30");

  // A file the Save dialog did not ask about: the window asks.
  const QString existing = Path("existing.pdf");
  QFile file(existing);
  ASSERT_TRUE(file.open(QIODevice::WriteOnly));
  file.write("keep me");
  file.close();
  const struct {
    bool answer;
    bool replaced;
  } cases[] = {{false, false}, {true, true}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.answer);
    harness_.prompts().questions.clear();
    harness_.prompts().confirm_answers = {c.answer};
    harness_.form().Edit4->setText(existing);
    harness_.Generate();
    EXPECT_EQ(harness_.prompts().questions,
              QStringList{existing + " already exists.\nDo you want to replace it?"});
    EXPECT_EQ(QpdfCheck(existing) == 0, c.replaced);
  }
  // Once written, the same destination is not asked about again, nor is
  // one the Save dialog confirmed.
  harness_.prompts().questions.clear();
  harness_.Generate();
  harness_.ChooseDestination(Path("typed.pdf"));
  harness_.Generate();
  EXPECT_TRUE(harness_.prompts().questions.isEmpty());
  EXPECT_TRUE(harness_.prompts().errors.isEmpty()) << harness_.prompts().errors.join("\n");
}

TEST_F(Form1Workflow, CancelledDialogsChangeNothing) {
  PAGEMINT_NEEDS_THUMBNAIL_ACTIONS();
  harness_.Open(source_);
  harness_.ChoosePicture(bmp_);
  harness_.ChooseDestination(Path("kept.pdf"));
  // Cancel each of the three dialogs.
  harness_.Click(harness_.form().Button5);
  harness_.Click(harness_.form().Button6);
  harness_.Click(harness_.form().Button7);
  EXPECT_EQ(harness_.prompts().dialogs_shown.size(), 6u);
  EXPECT_EQ(harness_.form().Edit1->text(), source_);
  EXPECT_EQ(harness_.form().Edit2->text(), bmp_);
  EXPECT_EQ(harness_.form().Edit4->text(), Path("kept.pdf"));
  EXPECT_TRUE(harness_.form().PDFDoc().IsLoaded());
  harness_.Add();
  harness_.Generate();
  EXPECT_TRUE(harness_.prompts().errors.isEmpty()) << harness_.prompts().errors.join("\n");
  EXPECT_EQ(ThumbSize(QpdfView(Path("kept.pdf")), 0), "24x16");
}

TEST_F(Form1Workflow, AddingAgainReplacesAndAnEmptyBoxAttachesNothing) {
  PAGEMINT_NEEDS_THUMBNAIL_ACTIONS();
  harness_.Open(source_);
  harness_.ChoosePicture(bmp_);
  harness_.Add();
  // The box was cleared: the second Add does not attach the picture again.
  harness_.Add();
  EXPECT_EQ(harness_.prompts().messages, QStringList{"No thumbnail image specified!"});
  EXPECT_EQ(harness_.Log(), QStringList{"Page 1, " + bmp_});
  EXPECT_EQ(harness_.form().Edit3->text(), "2");
  harness_.SetPage("1");
  harness_.ChoosePicture(jpeg_);
  harness_.Add();
  harness_.ChooseDestination(Path("twice.pdf"));
  harness_.Generate();
  const QpdfView view(Path("twice.pdf"));
  EXPECT_EQ(ThumbSize(view, 0), "40x30");
  EXPECT_EQ(ThumbSize(view, 1), "none");
  EXPECT_EQ(ThumbSize(view, 2), "none");
}

TEST_F(Form1Workflow, OpenDiscardsThumbnailsWhenToldAndResetsThePageBox) {
  PAGEMINT_NEEDS_THUMBNAIL_ACTIONS();
  harness_.Open(source_);
  harness_.ChoosePicture(bmp_);
  harness_.Add();
  harness_.prompts().unsaved_answers = {UnsavedAnswer::kDiscard};
  harness_.Open(source_);
  EXPECT_EQ(harness_.prompts().unsaved_questions.size(), 1);
  EXPECT_TRUE(harness_.Log().isEmpty());
  EXPECT_EQ(harness_.form().Edit3->text(), "1");
  harness_.ChooseDestination(Path("fresh.pdf"));
  harness_.Generate();
  EXPECT_EQ(ThumbSize(QpdfView(Path("fresh.pdf")), 0), "none");
}

TEST_F(Form1Workflow, UncheckingThumbnailsAfterAGenerateKeepsUseThumbs) {
  harness_.Open(source_);
  harness_.ChooseDestination(Path("first.pdf"));
  harness_.Generate();
  harness_.form().CheckBox2->setChecked(false);
  harness_.ChooseDestination(Path("second.pdf"));
  harness_.Generate();
  for (const char* name : {"first.pdf", "second.pdf"})
    EXPECT_EQ(QpdfView(Path(name)).Catalog().value("/PageMode").toString(), "/UseThumbs") << name;
}

TEST_F(Form1Workflow, AddRejectsPagesOutsideTheDocument) {
  PAGEMINT_NEEDS_THUMBNAIL_ACTIONS();
  harness_.Open(source_);
  harness_.ChoosePicture(bmp_);
  const struct {
    const char* page;
    const char* error;
  } cases[] = {
      {"0", "Invalid page number (0)"},        {"-2", "Invalid page number (-2)"},
      {"4", "Invalid page number (4)"},        {"x1", "'x1' is not a valid integer value"},
      {"", "'' is not a valid integer value"},
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
  // The window goes on: a page that exists takes the picture.
  harness_.prompts().errors.clear();
  harness_.SetPage("3");
  harness_.Add();
  EXPECT_TRUE(harness_.prompts().errors.isEmpty());
  EXPECT_EQ(harness_.Log(), QStringList{"Page 3, " + bmp_});
  EXPECT_EQ(harness_.form().Edit3->text(), "4");
}

TEST_F(Form1Workflow, AddBeforeAnyDocumentReportsTheFirstPage) {
  PAGEMINT_NEEDS_THUMBNAIL_ACTIONS();
  harness_.ChoosePicture(bmp_);
  harness_.Add();
  EXPECT_EQ(harness_.prompts().errors, QStringList{"Invalid page number (1)"});
}

TEST_F(Form1Workflow, PageBoxAdvancesFromItsNumber) {
  PAGEMINT_NEEDS_THUMBNAIL_ACTIONS();
  harness_.Open(source_);
  harness_.ChoosePicture(jpeg_);
  harness_.SetPage("001");
  harness_.Add();
  EXPECT_EQ(harness_.form().Edit3->text(), "2");
  harness_.ChoosePicture(jpeg_);
  harness_.SetPage("003");
  harness_.Add();
  EXPECT_EQ(harness_.form().Edit3->text(), "4");
  EXPECT_EQ(harness_.Log(), (QStringList{"Page 001, " + jpeg_, "Page 003, " + jpeg_}));
}

// No picture in the box: Add says so and attaches nothing, whatever the
// picture dialog chose before; the page box and the log stay as they were.
TEST_F(Form1Workflow, EmptyPictureIsRefused) {
  harness_.Open(source_);
  for (const QString& typed : {QString(), QString("   ")}) {
    SCOPED_TRACE(typed.toStdString());
    harness_.prompts().messages.clear();
    harness_.ChoosePicture(bmp_);
    harness_.form().Edit2->setText(typed);
    harness_.SetPage("007");
    harness_.Add();
    EXPECT_EQ(harness_.prompts().messages, QStringList{"No thumbnail image specified!"});
    EXPECT_TRUE(harness_.prompts().errors.isEmpty());
    EXPECT_TRUE(harness_.Log().isEmpty());
    EXPECT_EQ(harness_.form().Edit3->text(), "007");
  }
  harness_.ChooseDestination(Path("none.pdf"));
  harness_.Generate();
  EXPECT_EQ(ThumbSize(QpdfView(Path("none.pdf")), 0), "none");
}

// The picture's kind comes from its content: names in any case, names
// that say another kind, kinds beyond the original four.
TEST_F(Form1Workflow, PictureKindFollowsTheContent) {
  PAGEMINT_NEEDS_THUMBNAIL_ACTIONS();
  const QString metafile = Corpus("pictures/emf/libemf2svg-test-124.emf");
  TMetafile emf;
  if (QFileInfo::exists(metafile)) emf.LoadFromFile(metafile.toStdString());
  WritePicture(Path("photo.jpeg"), "JPG", 50, 20);
  ASSERT_TRUE(QFile::copy(bmp_, Path("COVER.BMP")));
  ASSERT_TRUE(QFile::copy(jpeg_, Path("PHOTO.JPG")));
  ASSERT_TRUE(QFile::copy(bmp_, Path("really-a-bitmap.jpg")));
  ASSERT_TRUE(QFile::copy(jpeg_, Path("no-extension")));
  ASSERT_TRUE(QDir(dir_.path()).mkdir("a.bmp.old"));
  ASSERT_TRUE(QFile::copy(jpeg_, Path("a.bmp.old/b.jpg")));
  WritePicture(Path("plain.png"), "PNG", 10, 12);
  WritePicture(Path("small.ico"), "ICO", 16, 16);
  const struct {
    QString picture;
    QString thumb;  // of page 1 in the written file
  } cases[] = {
      {bmp_, "24x16"},
      {Path("photo.jpeg"), "50x20"},
      {Path("COVER.BMP"), "24x16"},
      {Path("PHOTO.JPG"), "40x30"},
      {Path("really-a-bitmap.jpg"), "24x16"},
      {Path("no-extension"), "40x30"},
      {Path("a.bmp.old/b.jpg"), "40x30"},
      {Path("plain.png"), "10x12"},
      {Path("small.ico"), "16x16"},
      {metafile, QString("%1x%2").arg(emf.Width()).arg(emf.Height())},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.picture.toStdString());
    if (!QFileInfo::exists(c.picture)) continue;  // the corpus is not here
    Harness harness;
    harness.Open(source_);
    harness.ChoosePicture(c.picture);
    harness.Add();
    EXPECT_TRUE(harness.prompts().errors.isEmpty()) << harness.prompts().errors.join("\n");
    EXPECT_EQ(harness.Log(), QStringList{"Page 1, " + c.picture});
    EXPECT_EQ(harness.form().Edit3->text(), "2");
    harness.ChooseDestination(Path("kinds.pdf"));
    harness.Generate();
    EXPECT_EQ(QpdfCheck(Path("kinds.pdf")), 0);
    EXPECT_EQ(ThumbSize(QpdfView(Path("kinds.pdf")), 0), c.thumb);
  }
}

// A file that cannot be opened is reported in plain words; the document
// that was open stays, with its change, and is the one written.
TEST_F(Form1Workflow, FailedOpenShowsTheErrorAndKeepsTheDocument) {
  PAGEMINT_NEEDS_THUMBNAIL_ACTIONS();
  harness_.Open(source_);
  harness_.SetPage("2");
  harness_.ChoosePicture(bmp_);
  harness_.Add();  // one log line
  const QString not_pdf = Path("notes.pdf");
  QFile file(not_pdf);
  ASSERT_TRUE(file.open(QIODevice::WriteOnly));
  file.write("just text\n");
  file.close();
  harness_.Open(not_pdf);
  ASSERT_EQ(harness_.prompts().errors.size(), 1);
  EXPECT_TRUE(harness_.prompts().errors[0].startsWith("notes.pdf is not a PDF file (Invalid PDF"))
      << harness_.prompts().errors[0];
  EXPECT_EQ(harness_.form().Edit1->text(), source_);
  EXPECT_EQ(harness_.Log().size(), 1);
  EXPECT_TRUE(harness_.form().PDFDoc().IsLoaded());
  harness_.ChooseDestination(Path("out.pdf"));
  harness_.Generate();
  EXPECT_TRUE(harness_.prompts().messages.isEmpty()) << harness_.prompts().messages.join("\n");
  EXPECT_EQ(ThumbSize(QpdfView(Path("out.pdf")), 1), "24x16");

  harness_.Open(Path("gone.pdf"));
  EXPECT_EQ(harness_.prompts().errors.back(),
            "gone.pdf cannot be found (" + Path("gone.pdf") + " File Not Found)");
}

}  // namespace
}  // namespace pagemint::testing
