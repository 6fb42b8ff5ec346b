// A short scripted session in the real window, left on screen for a
// screenshot: opens a PDF, attaches two pictures to pages 1 and 2 and
// chooses a destination, answering the dialogs itself.
//
//   pagemint_window_demo SOURCE.pdf PICTURE1 PICTURE2 DESTINATION.pdf
#include <QApplication>
#include <QPushButton>
#include <cstdio>
#include <memory>

#include "app/form1.h"
#include "app/qt_shell.h"
#include "app/scripted_prompts.h"

int main(int argc, char** argv) {
  QApplication application(argc, argv);
  if (argc != 5) {
    std::fprintf(stderr, "usage: %s SOURCE.pdf PICTURE1 PICTURE2 DESTINATION.pdf\n", argv[0]);
    return 2;
  }
  auto prompts = std::make_unique<pagemint::ScriptedPrompts>();
  for (int i = 1; i < 5; ++i) prompts->file_answers.push_back(QString::fromLocal8Bit(argv[i]));
  pagemint::ScriptedPrompts& answers = *prompts;
  pagemint::TForm1 form(
      {std::move(prompts), pagemint::MakeDesktopShell(), pagemint::MakeSystemClock()});
  form.move(0, 0);
  form.show();
  form.Button5->click();
  form.Button6->click();
  form.Button1->click();
  form.Button6->click();
  form.Button1->click();
  form.Button7->click();
  for (const QString& error : answers.errors) std::fprintf(stderr, "%s\n", qPrintable(error));
  return answers.errors.isEmpty() ? QApplication::exec() : 1;
}
