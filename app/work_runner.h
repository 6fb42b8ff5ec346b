// SPDX-License-Identifier: GPL-3.0-or-later
// Long work off the window's thread: one job at a time on a thread of its
// own, its progress and its end delivered to the window's thread as Qt
// signals, and a cancel flag the job polls.
//
// The document is touched by one thread at a time: while a job runs, the
// window leaves the document alone and only the job uses it; the window
// takes it back when Finished has been delivered.
#pragma once

#include <QObject>
#include <atomic>
#include <exception>
#include <functional>
#include <memory>

class QThread;

namespace pagemint {

class WorkRunner : public QObject {
  Q_OBJECT

 public:
  // The job runs on the worker thread; whatever it throws is handed to
  // done, which runs on the window's thread once the job has ended.
  using Job = std::function<void()>;
  using Done = std::function<void(std::exception_ptr error)>;

  explicit WorkRunner(QObject* parent = nullptr);
  // Cancels a running job and waits for it to end; done is not called.
  ~WorkRunner() override;

  bool Busy() const { return thread_ != nullptr; }
  // Starts job; false (and nothing started) when one is running.
  bool Start(Job job, Done done);

  // Asks the running job to stop at its next progress report.
  void RequestCancel();
  bool CancelRequested() const { return cancel_.load(std::memory_order_relaxed); }

  // From the job: progress from 0 to 1. Reported to the window's thread
  // only when the shown value (in thousandths) changes.
  void ReportProgress(double fraction);

  // From the job: runs question on the window's thread and waits for it,
  // as a blocking queued call would, except that a cancel ends the wait
  // (the question is then dropped if it has not started); false then.
  // On the window's thread it simply runs question.
  bool AskOnWindowThread(const std::function<void()>& question);

 signals:
  // Thousandths done, 0 to 1000.
  void Progress(int permille);
  void Finished();

 private:
  struct Question;

  void OnThreadFinished();

  QThread* thread_ = nullptr;
  Done done_;
  std::exception_ptr error_;
  std::atomic<bool> cancel_{false};
  std::atomic<int> last_permille_{-1};
};

}  // namespace pagemint
