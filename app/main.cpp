// pagemint [FILE.pdf]: the window, opening FILE.pdf at start when given
// (the desktop entry passes the file the user chose to open with it).
#include <QApplication>
#include <QStringList>

#include "app/application.h"
#include "app/form1.h"
#include "app/prompts.h"

int main(int argc, char** argv) {
  QApplication application(argc, argv);
  QApplication::setApplicationName(QString::fromUtf8(pagemint::kApplicationTitle));
  QApplication::setDesktopFileName(QStringLiteral("pagemint"));
  pagemint::TForm1 form;
  form.show();
  const QStringList arguments = QApplication::arguments();
  if (arguments.size() > 1) form.OpenFile(arguments.at(1));
  return QApplication::exec();
}
