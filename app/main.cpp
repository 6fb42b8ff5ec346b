// SPDX-License-Identifier: GPL-3.0-or-later
// pagemint [FILE.pdf]: the window, opening FILE.pdf at start when given
// (the desktop entry passes the file the user chose to open with it).
#include <QApplication>
#include <QStringList>
#include <cstdio>
#include <cstring>

#include "app/application.h"
#include "app/form1.h"
#include "app/prompts.h"

int main(int argc, char** argv) {
  // Answered before the application object exists, so they need no display.
  if (argc == 2 && std::strcmp(argv[1], "--version") == 0) {
    std::printf("pagemint %s\n", PAGEMINT_VERSION);
    return 0;
  }
  if (argc == 2 && (std::strcmp(argv[1], "--help") == 0 || std::strcmp(argv[1], "-h") == 0)) {
    std::printf(
        "Usage: pagemint [FILE.pdf]\n"
        "       pagemint --version | --help\n"
        "\n"
        "Opens the Pagemint window, with FILE.pdf as its source when given.\n"
        "Without a display, use pagemint-cli (or xvfb-run pagemint).\n");
    return 0;
  }
  QApplication application(argc, argv);
  QApplication::setApplicationName(QString::fromUtf8(pagemint::kApplicationTitle));
  QApplication::setDesktopFileName(QStringLiteral("pagemint"));
  pagemint::TForm1 form;
  form.show();
  const QStringList arguments = QApplication::arguments();
  if (arguments.size() > 1) form.OpenFile(arguments.at(1));
  return QApplication::exec();
}
