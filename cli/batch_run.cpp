// SPDX-License-Identifier: GPL-3.0-or-later
#include "cli/batch_run.h"

#include <signal.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <chrono>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <memory>
#include <mutex>
#include <new>
#include <set>
#include <sstream>
#include <thread>

#include "cli/pagemint_cli.h"
#include "pdf/document/custom_pdf_document.h"
#include "platform/exception.h"
#include "platform/messages.h"

namespace pagemint::cli {

namespace fs = std::filesystem;

namespace {

// Set by SIGINT or SIGTERM during a run: no further file is started, the
// files under way are finished (each is written whole or not at all), and
// the run ends with its summary, so a rerun with --skip-existing does only
// what is left. A second signal ends the process at once.
volatile sig_atomic_t g_stop_requested = 0;

extern "C" void RequestStop(int) { g_stop_requested = 1; }

class StopOnSignal {
 public:
  StopOnSignal() {
    g_stop_requested = 0;
    struct sigaction action {};
    action.sa_handler = RequestStop;
    action.sa_flags = SA_RESETHAND;
    ::sigemptyset(&action.sa_mask);
    ::sigaction(SIGINT, &action, &old_int_);
    ::sigaction(SIGTERM, &action, &old_term_);
  }
  ~StopOnSignal() {
    ::sigaction(SIGINT, &old_int_, nullptr);
    ::sigaction(SIGTERM, &old_term_, nullptr);
  }
  StopOnSignal(const StopOnSignal&) = delete;
  StopOnSignal& operator=(const StopOnSignal&) = delete;

 private:
  struct sigaction old_int_ {};
  struct sigaction old_term_ {};
};

std::optional<uintmax_t> SizeOf(const std::string& name) {
  std::error_code error;
  const uintmax_t size = fs::file_size(name, error);
  if (error) return std::nullopt;
  return size;
}

// The destination exists and was written after the source last changed.
bool NewerThanSource(const std::string& target, const std::string& source) {
  std::error_code error;
  const fs::file_time_type written = fs::last_write_time(target, error);
  if (error) return false;
  const fs::file_time_type changed = fs::last_write_time(source, error);
  return !error && written > changed;
}

// Where a file goes under --output-dir: its name alone, or its path
// relative to the --keep-tree folder. Empty when it is not under that
// folder (reason says so).
std::string TargetFor(const TCliOptions& options, const std::string& source, std::string& reason) {
  fs::path relative = fs::path(source).filename();
  if (!options.keep_tree.empty()) {
    const fs::path root = fs::absolute(options.keep_tree).lexically_normal();
    relative = fs::absolute(source).lexically_normal().lexically_relative(root);
    if (relative.empty() || *relative.begin() == ".." || *relative.begin() == "." ||
        !relative.has_filename()) {
      reason = Format(msg::kCliNotUnderRoot, options.keep_tree.c_str());
      return std::string();
    }
  }
  return TgtCustomPDFDocument::CompletedSaveName((fs::path(options.output_dir) / relative).string());
}

// Where the report goes: standard output (the run's out) or a file.
class ReportSink {
 public:
  ReportSink(const std::optional<std::string>& name, std::ostream& out) : name_(name) {
    if (!name) return;
    if (*name == "-") {
      stream_ = &out;
      return;
    }
    file_.open(*name, std::ios::binary | std::ios::trunc);
    if (!file_)
      throw EFileError(Format(msg::kCliCannotWriteReport, name->c_str(), std::strerror(errno)));
    stream_ = &file_;
  }
  // False once the report could not be written.
  bool Write(const TFileOutcome& outcome) {
    if (stream_ == nullptr) return true;
    *stream_ << ReportLine(outcome) << '\n';
    stream_->flush();
    return static_cast<bool>(*stream_);
  }
  const std::string& Name() const { return *name_; }

 private:
  std::optional<std::string> name_;
  std::ofstream file_;
  std::ostream* stream_ = nullptr;
};

// The run's books: what is written to standard error, the report and the
// counts, one file at a time.
class RunLog {
 public:
  RunLog(std::ostream& err, ReportSink& report, size_t total)
      : err_(err),
        report_(report),
        total_(total),
        terminal_(&err == &std::cerr && total > 1 && ::isatty(STDERR_FILENO)) {}

  void Finish(const TFileOutcome& outcome, const std::string& messages) {
    const std::lock_guard<std::mutex> lock(mutex_);
    ClearProgress();
    err_ << messages;
    if (outcome.status == TFileStatus::Failed)
      err_ << Format(msg::kCliError, Format(msg::kCliFileFailed, outcome.source.c_str(),
                                            outcome.reason.c_str())
                                         .c_str())
           << '\n';
    if (!report_.Write(outcome) && !report_failed_) {
      report_failed_ = true;
      err_ << Format(msg::kCliError, Format(msg::kCliCannotWriteReport, report_.Name().c_str(),
                                            std::strerror(errno))
                                         .c_str())
           << '\n';
    }
    ++counts_[static_cast<size_t>(outcome.status)];
    ++done_;
    if (terminal_) {
      err_ << '\r' << done_ << " / " << total_ << "\x1B[K" << std::flush;
      progress_drawn_ = true;
    }
  }

  void Summary(double seconds, size_t not_started) {
    const std::lock_guard<std::mutex> lock(mutex_);
    ClearProgress();
    if (total_ > 1) {
      const auto count = [&](TFileStatus status) {
        return static_cast<long long>(counts_[static_cast<size_t>(status)]);
      };
      err_ << Format(msg::kCliError,
                     Format(msg::kCliSummary, static_cast<long long>(total_),
                            SecondsText(seconds, 1).c_str(), count(TFileStatus::Written),
                            count(TFileStatus::Unchanged), count(TFileStatus::Skipped),
                            count(TFileStatus::Failed))
                         .c_str())
           << '\n';
    }
    if (not_started > 0)
      err_ << Format(msg::kCliError,
                     Format(msg::kCliInterrupted, static_cast<long long>(not_started)).c_str())
           << '\n';
  }

  bool AllWell() const {
    return counts_[static_cast<size_t>(TFileStatus::Failed)] == 0 && !report_failed_;
  }

 private:
  void ClearProgress() {
    if (!progress_drawn_) return;
    err_ << "\r\x1B[K";
    progress_drawn_ = false;
  }

  std::mutex mutex_;
  std::ostream& err_;
  ReportSink& report_;
  size_t total_;
  bool terminal_;
  bool progress_drawn_ = false;
  bool report_failed_ = false;
  size_t done_ = 0;
  size_t counts_[4] = {};
};

// One file: skipped when its destination is newer, else handed to edit;
// whatever it raises becomes the file's reason for failing.
TFileOutcome RunOne(const TBatchItem& item, const TFileEditor& edit, bool skip_newer,
                    std::ostream& err) {
  const auto started = std::chrono::steady_clock::now();
  TFileOutcome outcome;
  outcome.source = item.source;
  outcome.destination = item.target.empty() ? item.source : item.target;
  outcome.bytes_before = SizeOf(item.source);
  try {
    std::error_code error;
    if (!fs::exists(item.source, error)) throw EFileError(msg::kCliNoSourceFile);
    if (skip_newer && NewerThanSource(item.target, item.source)) {
      outcome.status = TFileStatus::Skipped;
      outcome.reason = msg::kCliSkippedNewer;
      outcome.bytes_after = SizeOf(item.target);
      return outcome;
    }
    if (!item.target.empty()) {
      const fs::path folder = fs::path(item.target).parent_path();
      if (!folder.empty()) {
        fs::create_directories(folder, error);
        if (!fs::is_directory(folder))
          throw EFileError(Format(msg::kCliNoFolder, folder.string().c_str()));
      }
    }
    edit(item, outcome, err);
    outcome.bytes_after = SizeOf(outcome.destination);
  } catch (const std::bad_alloc&) {
    outcome.status = TFileStatus::Failed;
    outcome.reason = msg::kCliOutOfMemory;
  } catch (const std::exception& e) {
    outcome.status = TFileStatus::Failed;
    outcome.reason = e.what();
  }
  outcome.seconds =
      std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count();
  return outcome;
}

}  // namespace

std::vector<std::string> ReadFileList(const std::string& list, bool null_separated) {
  std::ifstream file;
  std::istream* in = &std::cin;
  if (list != "-") {
    file.open(list, std::ios::binary);
    if (!file) throw EFileError(Format(msg::kCliCannotReadList, list.c_str(), std::strerror(errno)));
    in = &file;
  }
  std::vector<std::string> names;
  std::string name;
  while (std::getline(*in, name, null_separated ? '\0' : '\n'))
    if (!name.empty()) names.push_back(name);
  if (in->bad())
    throw EFileError(Format(msg::kCliCannotReadList, list.c_str(), std::strerror(errno)));
  return names;
}

TJobSplit SplitJobs(int32_t jobs, size_t file_count) {
  const int32_t cores =
      jobs > 0 ? jobs : std::max<int32_t>(1, static_cast<int32_t>(std::thread::hardware_concurrency()));
  TJobSplit split;
  split.files = static_cast<int32_t>(std::clamp<size_t>(file_count, 1, static_cast<size_t>(cores)));
  split.pages_per_file = std::max<int32_t>(1, cores / split.files);
  return split;
}

int RunBatch(const TCliOptions& options, std::ostream& out, std::ostream& err,
             const TFileEditor& edit) {
  std::vector<std::string> sources = options.sources;
  if (!options.files_from.empty()) {
    std::vector<std::string> listed = ReadFileList(options.files_from, options.null_separated);
    sources.insert(sources.end(), std::make_move_iterator(listed.begin()),
                   std::make_move_iterator(listed.end()));
  }
  if (!options.output_dir.empty()) {
    std::error_code error;
    fs::create_directories(options.output_dir, error);
    if (!fs::is_directory(options.output_dir))
      throw EFileError(Format(msg::kCliNoFolder, options.output_dir.c_str()));
  }
  ReportSink report(options.report, out);
  RunLog log(err, report, sources.size());
  const auto started = std::chrono::steady_clock::now();

  // Where each file goes, decided in list order before any work, so that
  // of two files with the same destination the first is written.
  const TJobSplit split = SplitJobs(options.jobs, sources.size());
  std::vector<TBatchItem> items;
  std::set<fs::path> destinations;
  for (const std::string& source : sources) {
    TBatchItem item{source, std::string(), split.pages_per_file,
                    options.skip_existing && options.output_dir.empty()};
    std::string reason;
    if (!options.output_dir.empty()) {
      item.target = TargetFor(options, source, reason);
      if (reason.empty() && !destinations.insert(fs::weakly_canonical(item.target)).second)
        reason = Format(msg::kCliSameOutput, item.target.c_str());
    }
    if (!reason.empty()) {
      TFileOutcome outcome;
      outcome.source = source;
      outcome.destination = item.target;
      outcome.reason = reason;
      outcome.bytes_before = SizeOf(source);
      log.Finish(outcome, std::string());
      continue;
    }
    items.push_back(std::move(item));
  }

  const bool skip_newer = options.skip_existing && !options.output_dir.empty();
  std::atomic<size_t> next{0};
  auto work = [&] {
    for (;;) {
      if (g_stop_requested) return;
      const size_t index = next.fetch_add(1);
      if (index >= items.size()) return;
      std::ostringstream messages;
      const TFileOutcome outcome = RunOne(items[index], edit, skip_newer, messages);
      log.Finish(outcome, messages.str());
    }
  };
  {
    const StopOnSignal stop_on_signal;
    const int32_t threads = std::min<int32_t>(split.files, static_cast<int32_t>(items.size()));
    if (threads <= 1) {
      work();
    } else {
      std::vector<std::thread> workers;
      for (int32_t i = 0; i < threads; ++i) workers.emplace_back(work);
      for (std::thread& worker : workers) worker.join();
    }
  }
  const size_t taken = std::min(next.load(), items.size());
  log.Summary(std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count(),
              items.size() - taken);
  return log.AllWell() && taken == items.size() ? kExitOk : kExitFailure;
}

}  // namespace pagemint::cli
