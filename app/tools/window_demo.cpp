// A short scripted session in the real window, left on screen for a
// screenshot: opens a PDF, attaches two pictures to pages 1 and 2, chooses
// a destination and generates, answering the dialogs itself. The shell
// only prints what it was asked to open, so no viewer starts on the
// screen being photographed.
//
//   pagemint_window_demo SOURCE.pdf PICTURE1 PICTURE2 DESTINATION.pdf
#include <QApplication>
#include <QPushButton>
#include <cstdio>
#include <memory>

#include "app/application.h"
#include "app/form1.h"
#include "app/scripted_prompts.h"

namespace {

class PrintingShell final : public pagemint::Shell {
 public:
  void Open(const std::string& target) override {
    std::printf("shell: open %s\n", target.c_str());
    std::fflush(stdout);
  }
};

}  // namespace

int main(int argc, char** argv) {
  QApplication application(argc, argv);
  QApplication::setApplicationName(QString::fromUtf8(pagemint::kApplicationTitle));
  if (argc != 5) {
    std::fprintf(stderr, "usage: %s SOURCE.pdf PICTURE1 PICTURE2 DESTINATION.pdf\n", argv[0]);
    return 2;
  }
  auto prompts = std::make_unique<pagemint::ScriptedPrompts>();
  for (int i = 1; i < 5; ++i) prompts->file_answers.push_back(QString::fromLocal8Bit(argv[i]));
  pagemint::ScriptedPrompts& answers = *prompts;
  pagemint::TForm1 form(
      {std::move(prompts), std::make_unique<PrintingShell>(), pagemint::MakeSystemClock()});
  form.move(0, 0);
  form.show();
  form.Button5->click();  // Open...
  form.Button6->click();  // first picture
  form.Button1->click();  // Add to page 1
  form.Button6->click();  // second picture
  form.Button1->click();  // Add to page 2
  form.Button7->click();  // destination
  form.Button2->click();  // Generate
  for (const QString& text : answers.messages + answers.errors)
    std::fprintf(stderr, "%s\n", qPrintable(text));
  if (!answers.messages.isEmpty() || !answers.errors.isEmpty()) return 1;
  std::printf("session done\n");
  std::fflush(stdout);
  return QApplication::exec();
}
