#include <QApplication>

#include "app/application.h"
#include "app/form1.h"
#include "app/prompts.h"

int main(int argc, char** argv) {
  QApplication application(argc, argv);
  QApplication::setApplicationName(QString::fromUtf8(pagemint::kApplicationTitle));
  pagemint::TForm1 form;
  form.show();
  return QApplication::exec();
}
