// SPDX-License-Identifier: GPL-3.0-or-later
// The pieces behind the dialogs: Qt name filters made from the window's
// filters, the default extension, the name SaveToFile writes, and the
// picture preview drawn by our toolkit.
#include <gtest/gtest.h>

#include <QFile>

#include "app/file_dialog.h"
#include "app/picture_preview.h"
#include "app_test_support.h"
#include "picture/metafile.h"
#include "platform/messages.h"

// fontconfig keeps caches for the life of the process.
extern "C" const char* __lsan_default_suppressions() { return "leak:libfontconfig.so\n"; }

namespace pagemint::testing {
namespace {

TEST(FileDialog, FiltersBecomeQtNameFilters) {
  EXPECT_EQ(QtNameFilters("Adobe PDF files (*.pdf)|*.pdf"), QStringList{"Adobe PDF files (*.pdf)"});
  EXPECT_EQ(QtNameFilters("All (*.bmp;*.jpg)|*.jpg;*.bmp|Bitmaps (*.bmp)|*.bmp|Plain|*.txt"),
            (QStringList{"All (*.jpg *.bmp)", "Bitmaps (*.bmp)", "Plain (*.txt)"}));
  EXPECT_TRUE(QtNameFilters("").isEmpty());
  EXPECT_TRUE(QtNameFilters("Half a pair").isEmpty());
}

TEST(FileDialog, DefaultExtensionOnlyForNamesWithout) {
  const struct {
    const char* name;
    const char* ext;
    const char* expected;
  } cases[] = {
      {"/tmp/out", "pdf", "/tmp/out.pdf"},
      {"/tmp/out.txt", "pdf", "/tmp/out.txt"},
      {"/tmp/a.d/out", "pdf", "/tmp/a.d/out.pdf"},
      {"/tmp/out", "", "/tmp/out"},
      {"", "pdf", ""},
  };
  for (const auto& c : cases) EXPECT_EQ(WithDefaultExt(c.name, c.ext), c.expected) << c.name;
}

TEST(FileDialog, CompletedPdfNameMatchesTheWriter) {
  const struct {
    const char* name;
    const char* expected;
  } cases[] = {
      {"/d/out.pdf", "/d/out.pdf"},     {"/d/OUT.PDF", "/d/OUT.PDF"},
      {"/d/out.txt", "/d/out.txt.pdf"}, {"/d/out", "/d/out.pdf"},
      {"/d.pdf/out", "/d.pdf/out.pdf"}, {"", ".pdf"},
      {"/d/.pdf", "/d/.pdf.pdf"},       {"/d/out.", "/d/out..pdf"},
  };
  for (const auto& c : cases) EXPECT_EQ(CompletedPdfName(c.name), c.expected) << c.name;
}

TEST(PicturePreview, DrawsPicturesToFitAndExplainsFailures) {
  TestApplication();
  QTemporaryDir dir;
  const QString small = dir.filePath("small.bmp");
  WritePicture(small, "BMP", 30, 20);
  const QString wide = dir.filePath("wide.jpeg");
  WritePicture(wide, "JPG", 400, 100);
  // Recognised by content, as the engine attaches them.
  const QString misnamed = dir.filePath("really-a-png.jpg");
  WritePicture(misnamed, "PNG", 64, 48);
  const QString icon = dir.filePath("small.ico");
  WritePicture(icon, "ICO", 16, 16);
  const QString text = dir.filePath("notes.txt");
  QFile notes(text);
  ASSERT_TRUE(notes.open(QIODevice::WriteOnly));
  notes.write("just text, no picture\n");
  notes.close();
  const QString broken = dir.filePath("broken.jpg");
  QFile file(broken);
  ASSERT_TRUE(file.open(QIODevice::WriteOnly));
  file.write("\xFF\xD8 not really");
  file.close();

  const struct {
    QString file;
    QSize size;
    const char* description;
  } cases[] = {
      {small, {30, 20}, "30 x 20"},
      {wide, {200, 50}, "400 x 100"},
      {misnamed, {64, 48}, "64 x 48"},
      {icon, {16, 16}, "16 x 16"},
      {dir.filePath("missing.bmp"), {0, 0}, msg::kPreviewNone},
      {text, {0, 0}, msg::kPreviewNone},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.file.toStdString());
    QString description;
    const QImage image = RenderPreview(c.file, QSize(200, 200), description);
    EXPECT_EQ(image.size(), c.size);
    EXPECT_EQ(description, c.description);
  }
  QString description;
  EXPECT_TRUE(RenderPreview(broken, QSize(200, 200), description).isNull());
  EXPECT_TRUE(description.startsWith("JPEG image")) << description.toStdString();

  // A tall metafile plays straight into the preview box.
  const QString metafile =
      QString(PAGEMINT_CORPUS_DIR) + "/pictures/emf/libemf2svg-EA-test-file-020.emf";
  if (QFile::exists(metafile)) {
    TMetafile picture;
    picture.LoadFromFile(metafile.toStdString());
    const QImage played = RenderPreview(metafile, QSize(200, 200), description);
    EXPECT_EQ(played.height(), 200);
    EXPECT_LT(played.width(), 200);
    EXPECT_EQ(description, QString("%1 x %2").arg(picture.Width()).arg(picture.Height()));
  }

  QString drawn;
  const QImage pixels = RenderPreview(small, QSize(200, 200), drawn);
  EXPECT_EQ(pixels.pixelColor(5, 5), QColor(40, 120, 200));
}

}  // namespace
}  // namespace pagemint::testing
