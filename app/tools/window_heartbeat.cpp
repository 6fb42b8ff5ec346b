// SPDX-License-Identifier: GPL-3.0-or-later
// Measures whether the window stays responsive during long work: opens
// SOURCE in the real window, renders the thumbnails of its first
// RENDER_PAGES pages (1000 unless given), scrolls the page grid from the
// top to the bottom in 200 jumps, then generates DEST, while a timer asks
// the window to repaint every 10 ms. Prints, for each, the wall time, the
// longest gap between two paints of the window, the longest gap between
// two timer ticks, and how often the progress bar moved.
//
//   pagemint_window_heartbeat SOURCE.pdf DEST.pdf [RENDER_PAGES]
#include <QApplication>
#include <QCheckBox>
#include <QElapsedTimer>
#include <QLineEdit>
#include <QListView>
#include <QProgressBar>
#include <QPushButton>
#include <QScrollBar>
#include <QTimer>
#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <memory>

#include "app/application.h"
#include "app/form1.h"
#include "app/pages_panel.h"
#include "app/qt_shell.h"
#include "app/scripted_prompts.h"

namespace {

class SilentShell final : public pagemint::WindowShell {
 public:
  bool TryOpen(const std::string&) override { return true; }
};

// Records the longest gap between consecutive events of one kind.
struct Gaps {
  QElapsedTimer clock;
  qint64 last = -1;
  qint64 longest = 0;
  int count = 0;
  void Start() {
    clock.start();
    last = 0;
    longest = 0;
    count = 0;
  }
  void Beat() {
    const qint64 now = clock.elapsed();
    if (last >= 0) longest = std::max(longest, now - last);
    last = now;
    ++count;
  }
};

class PaintWatch final : public QObject {
 public:
  explicit PaintWatch(Gaps& gaps) : gaps_(gaps) {}
  bool eventFilter(QObject* watched, QEvent* event) override {
    if (event->type() == QEvent::Paint) gaps_.Beat();
    return QObject::eventFilter(watched, event);
  }

 private:
  Gaps& gaps_;
};

// Runs start, then the event loop until the window is idle again.
void Measure(const char* name, pagemint::TForm1& form, Gaps& paints, Gaps& ticks,
             const std::function<void()>& start) {
  int moves = 0;
  const auto moved =
      QObject::connect(form.WorkProgress, &QProgressBar::valueChanged, [&moves](int) { ++moves; });
  QElapsedTimer wall;
  wall.start();
  paints.Start();
  ticks.Start();
  start();
  while (form.IsBusy()) QApplication::processEvents(QEventLoop::WaitForMoreEvents, 50);
  // The tail after the last paint counts as a gap too.
  paints.Beat();
  QObject::disconnect(moved);
  std::printf(
      "%-8s %8.2f s  longest gap between paints %5lld ms (%d paints)  "
      "between timer ticks %5lld ms (%d ticks)  progress bar moved %d times\n",
      name, wall.elapsed() / 1000.0, static_cast<long long>(paints.longest), paints.count,
      static_cast<long long>(ticks.longest), ticks.count, moves);
  std::fflush(stdout);
}

}  // namespace

int main(int argc, char** argv) {
  QApplication application(argc, argv);
  QApplication::setApplicationName(QString::fromUtf8(pagemint::kApplicationTitle));
  if (argc != 3 && argc != 4) {
    std::fprintf(stderr, "usage: %s SOURCE.pdf DEST.pdf [RENDER_PAGES]\n", argv[0]);
    return 2;
  }
  auto prompts = std::make_unique<pagemint::ScriptedPrompts>();
  pagemint::ScriptedPrompts& answers = *prompts;
  pagemint::TForm1 form(
      {std::move(prompts), std::make_unique<SilentShell>(), pagemint::MakeSystemClock()});
  form.show();
  // With the pages panel open, as a user checking the thumbnails has it.
  form.ShowPages(true);
  Gaps paints;
  Gaps ticks;
  PaintWatch watch(paints);
  form.installEventFilter(&watch);
  QTimer heartbeat;
  QObject::connect(&heartbeat, &QTimer::timeout, [&] {
    ticks.Beat();
    form.update();
  });
  heartbeat.start(10);
  for (int i = 0; i < 20; ++i) QApplication::processEvents(QEventLoop::AllEvents, 10);

  Measure("open", form, paints, ticks, [&] { form.OpenFile(QString::fromLocal8Bit(argv[1])); });
  const int render_pages = argc == 4 ? std::atoi(argv[3]) : 1000;
  if (render_pages > 0) {
    form.Pages->RangeEdit->setText(QStringLiteral("1-%1").arg(render_pages));
    QMetaObject::invokeMethod(form.Pages->RangeEdit, "returnPressed");
    Measure("render", form, paints, ticks, [&] { form.Pages->RenderSelectedButton->click(); });
  }
  // Scrolling: 200 jumps through the grid, each followed by the events it
  // causes (the pictures of the cells in view are decoded meanwhile).
  {
    QScrollBar* bar = form.Pages->PageList->verticalScrollBar();
    QElapsedTimer wall;
    wall.start();
    paints.Start();
    ticks.Start();
    for (int step = 0; step <= 200; ++step) {
      bar->setValue(static_cast<int>(static_cast<qint64>(bar->maximum()) * step / 200));
      QElapsedTimer settle;
      settle.start();
      while (settle.elapsed() < 20) QApplication::processEvents(QEventLoop::AllEvents, 5);
    }
    paints.Beat();
    std::printf(
        "%-8s %8.2f s  longest gap between paints %5lld ms (%d paints)  "
        "between timer ticks %5lld ms (%d ticks)  grid of %d rows\n",
        "scroll", wall.elapsed() / 1000.0, static_cast<long long>(paints.longest), paints.count,
        static_cast<long long>(ticks.longest), ticks.count, form.Pages->Model().rowCount());
    std::fflush(stdout);
  }
  form.Edit4->setText(QString::fromLocal8Bit(argv[2]));
  form.CheckBox1->setChecked(false);
  answers.confirm_answers.push_back(true);  // replace an earlier result
  Measure("generate", form, paints, ticks, [&] { form.Button2->click(); });
  for (const QString& text : answers.messages + answers.errors)
    std::fprintf(stderr, "%s\n", qPrintable(text));
  for (const auto& shown : answers.warnings_shown)
    std::fprintf(stderr, "%s (%lld warnings)\n", qPrintable(shown.result),
                 static_cast<long long>(shown.warnings.size()));
  return answers.errors.isEmpty() && answers.messages.isEmpty() ? 0 : 1;
}
