// SPDX-License-Identifier: GPL-3.0-or-later
// The worker behind the window's long work: its result and errors reach
// the window's thread, a question from the worker runs there, and a cancel
// (or the window going away) never leaves the worker waiting for a
// question nobody will answer.
#include "app/work_runner.h"

#include <gtest/gtest.h>

#include <QThread>
#include <atomic>
#include <stdexcept>

#include "app_test_support.h"

namespace pagemint::testing {
namespace {

// Runs the event loop until flag is set (bounded).
void WaitFor(const bool& flag) {
  for (int i = 0; i < 1000 && !flag; ++i) QTest::qWait(5);
  ASSERT_TRUE(flag) << "the job did not end within 5 s";
}

TEST(WorkRunner, ResultsQuestionsAndCancelledQuestions) {
  TestApplication();
  WorkRunner runner;
  const struct {
    const char* name;
    bool cancel_first;  // the cancel comes before the window thread is free
    bool throws;
    bool asked;  // what AskOnWindowThread returned
    bool ran;    // whether the question ran
  } cases[] = {
      {"answered", false, false, true, true},
      {"cancelled before it was shown", true, false, false, false},
      {"job throws after the question", false, true, true, true},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    bool done = false;
    bool asked = false;
    bool ran = false;
    bool ran_on_window_thread = false;
    std::string error;
    ASSERT_TRUE(runner.Start(
        [&] {
          if (c.cancel_first) runner.RequestCancel();
          asked = runner.AskOnWindowThread([&] {
            ran = true;
            ran_on_window_thread =
                QThread::currentThread() == QCoreApplication::instance()->thread();
          });
          if (c.throws) throw std::runtime_error("job failed");
        },
        [&](std::exception_ptr failure) {
          try {
            if (failure) std::rethrow_exception(failure);
          } catch (const std::exception& e) {
            error = e.what();
          }
          done = true;
        }));
    EXPECT_TRUE(runner.Busy());
    EXPECT_FALSE(runner.Start([] {}, [](std::exception_ptr) {})) << "one job at a time";
    WaitFor(done);
    QTest::qWait(20);  // a dropped question must not run later either
    EXPECT_FALSE(runner.Busy());
    EXPECT_EQ(asked, c.asked);
    EXPECT_EQ(ran, c.ran);
    EXPECT_EQ(ran_on_window_thread, c.ran);
    EXPECT_EQ(error, c.throws ? "job failed" : "");
  }
}

// The window closing while its worker waits for an answer: the runner's
// destructor cancels, the worker stops waiting, nothing hangs.
TEST(WorkRunner, DestroyedWhileTheWorkerWaitsForAnAnswer) {
  TestApplication();
  auto runner = std::make_unique<WorkRunner>();
  WorkRunner* raw = runner.get();
  std::atomic<bool> waiting{false};
  std::atomic<bool> asked{true};
  bool done_called = false;
  runner->Start(
      [raw, &waiting, &asked] {
        waiting = true;
        asked = raw->AskOnWindowThread([] {});
      },
      [&done_called](std::exception_ptr) { done_called = true; });
  for (int i = 0; i < 1000 && !waiting; ++i) QThread::msleep(2);
  ASSERT_TRUE(waiting);
  runner.reset();
  EXPECT_FALSE(asked);
  QTest::qWait(20);
  EXPECT_FALSE(done_called);
}

TEST(WorkRunner, ProgressReachesTheWindowThreadOncePerChange) {
  TestApplication();
  WorkRunner runner;
  std::vector<int> seen;
  QObject::connect(&runner, &WorkRunner::Progress,
                   [&seen](int permille) { seen.push_back(permille); });
  bool done = false;
  runner.Start(
      [&runner] {
        for (const double fraction : {0.0, 0.0004, 0.25, 0.25, 0.5, -3.0, 2.0, 1.0})
          runner.ReportProgress(fraction);
      },
      [&done](std::exception_ptr) { done = true; });
  WaitFor(done);
  // Delivered before the end; repeats and out-of-range values folded.
  EXPECT_EQ(seen, (std::vector<int>{0, 250, 500, 0, 1000}));
}

}  // namespace
}  // namespace pagemint::testing
