// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/work_runner.h"

#include <QThread>
#include <chrono>
#include <condition_variable>
#include <mutex>

namespace pagemint {

// One question put to the window's thread. The worker waits until it has
// been answered, or drops it when a cancel comes before it was shown.
struct WorkRunner::Question {
  std::mutex mutex;
  std::condition_variable answered;
  bool started = false;
  bool done = false;
  bool dropped = false;
};

WorkRunner::WorkRunner(QObject* parent) : QObject(parent) {}

WorkRunner::~WorkRunner() {
  if (!thread_) return;
  thread_->disconnect(this);
  RequestCancel();
  thread_->wait();
  delete thread_;
}

bool WorkRunner::Start(Job job, Done done) {
  if (thread_) return false;
  cancel_ = false;
  last_permille_ = -1;
  error_ = nullptr;
  done_ = std::move(done);
  thread_ = QThread::create([this, job = std::move(job)] {
    try {
      job();
    } catch (...) {
      error_ = std::current_exception();
    }
  });
  connect(thread_, &QThread::finished, this, &WorkRunner::OnThreadFinished, Qt::QueuedConnection);
  thread_->start();
  return true;
}

void WorkRunner::OnThreadFinished() {
  thread_->wait();
  delete thread_;
  thread_ = nullptr;
  Done done = std::move(done_);
  done_ = nullptr;
  std::exception_ptr error = std::move(error_);
  error_ = nullptr;
  if (done) done(error);
  emit Finished();
}

void WorkRunner::RequestCancel() { cancel_ = true; }

void WorkRunner::ReportProgress(double fraction) {
  if (!(fraction >= 0)) fraction = 0;  // also NaN
  if (fraction > 1) fraction = 1;
  const int permille = static_cast<int>(fraction * 1000);
  if (last_permille_.exchange(permille) == permille) return;
  QMetaObject::invokeMethod(
      this, [this, permille] { emit Progress(permille); }, Qt::QueuedConnection);
}

bool WorkRunner::AskOnWindowThread(const std::function<void()>& question) {
  if (QThread::currentThread() == thread()) {
    question();
    return true;
  }
  auto state = std::make_shared<Question>();
  QMetaObject::invokeMethod(
      this,
      [state, &question] {
        {
          const std::lock_guard lock(state->mutex);
          if (state->dropped) return;
          state->started = true;
        }
        question();
        {
          const std::lock_guard lock(state->mutex);
          state->done = true;
        }
        state->answered.notify_all();
      },
      Qt::QueuedConnection);
  std::unique_lock lock(state->mutex);
  while (!state->done) {
    if (!state->started && CancelRequested()) {
      state->dropped = true;
      return false;
    }
    state->answered.wait_for(lock, std::chrono::milliseconds(50));
  }
  return true;
}

}  // namespace pagemint
