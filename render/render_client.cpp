// SPDX-License-Identifier: GPL-3.0-or-later
// TPageRenderer as the client of a renderer process (pagemint-render).
//
// The first process is started with posix_spawn (the callers have
// threads, and only spawning is safe from a process with threads) and
// kept idle as a template; the others are its copies, made by it while it
// has one thread. Each gets one end of a socket pair and, for a document
// held in memory, a memory file of its bytes that every process on the
// same bytes shares. It limits its own
// address space to the source's memory limit and stops a page at its time
// budget where the renderer checks; this side ends it when a page runs a
// little past the budget without an answer (a stream that never ends
// inside one drawing operation). A process that crashed, ran out of memory
// or was ended costs its page: the page fails with the reason, and the
// next page starts a new process.
#include <fcntl.h>
#include <poll.h>
#include <sched.h>
#include <signal.h>
#include <spawn.h>
#include <string.h>
#include <sys/mman.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <condition_variable>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <map>
#include <mutex>
#include <optional>
#include <system_error>
#include <thread>
#include <utility>
#include <vector>

#include "platform/messages.h"
#include "render/page_renderer.h"
#include "render/render_protocol.h"

extern char** environ;

namespace pagemint {

namespace {

using render_protocol::FrameWriter;
using render_protocol::Kind;
using render_protocol::PayloadReader;
using Clock = std::chrono::steady_clock;

constexpr char kWorkerName[] = "pagemint-render";
constexpr char kWorkerVariable[] = "PAGEMINT_RENDER_WORKER";
constexpr char kStartedVariable[] = "PAGEMINT_RENDER_STARTED";
// How long past its budget a page may go without an answer before the
// process is ended: the renderer's own check answers well within it.
constexpr std::chrono::milliseconds kGrace(250);

// The system's description of error, thread-safe.
std::string ErrorText(int error) {
  char buffer[256] = "";
  // The GNU strerror_r returns the text, which may or may not be buffer.
  return strerror_r(error, buffer, sizeof buffer);
}

// A memory file holding a document's bytes, shared by the processes that
// draw it; closed with the last renderer on it.
struct SharedDocument {
  int fd = -1;
  ~SharedDocument() {
    if (fd >= 0) close(fd);
  }
};

// The memory file for bytes: one per distinct bytes, kept while a renderer
// uses it (the bytes outlive every renderer on them, so while an entry
// lives no other bytes can take its place).
std::shared_ptr<SharedDocument> DocumentFor(std::string_view bytes) {
  static std::mutex mutex;
  static std::map<std::pair<const char*, size_t>, std::weak_ptr<SharedDocument>> documents;
  const std::lock_guard<std::mutex> lock(mutex);
  for (auto it = documents.begin(); it != documents.end();)
    it = it->second.expired() ? documents.erase(it) : std::next(it);
  std::weak_ptr<SharedDocument>& entry = documents[{bytes.data(), bytes.size()}];
  if (std::shared_ptr<SharedDocument> document = entry.lock()) return document;
  auto document = std::make_shared<SharedDocument>();
  document->fd = memfd_create("pagemint-document", MFD_CLOEXEC);
  if (document->fd < 0)
    throw ERenderError(Format(msg::kRenderWorkerCannotStart, ErrorText(errno).c_str()));
  for (std::string_view rest = bytes; !rest.empty();) {
    const ssize_t written = write(document->fd, rest.data(), rest.size());
    if (written < 0 && errno == EINTR) continue;
    if (written <= 0)
      throw ERenderError(Format(msg::kRenderWorkerCannotStart, ErrorText(errno).c_str()));
    rest.remove_prefix(static_cast<size_t>(written));
  }
  entry = document;
  return document;
}

// Why a process that ended did: its wait status as the end of "Page N
// cannot be rendered (...)".
std::string EndReason(int status, int64_t memory_limit) {
  if (WIFSIGNALED(status)) {
    const int signal_number = WTERMSIG(status);
    const char* name = sigdescr_np(signal_number);
    return Format(msg::kRenderWorkerSignal, signal_number, name ? name : "unknown");
  }
  const int code = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  if (code == render_protocol::kExitOutOfMemory)
    return Format(msg::kRenderWorkerMemory, static_cast<long long>(memory_limit >> 20));
  return Format(msg::kRenderWorkerExit, code);
}

// The processes ended and not yet reaped (ReapLater).
struct Reaping {
  std::mutex mutex;
  std::condition_variable done;
  int pending = 0;
};

Reaping& TheReaping() {
  static Reaping* the = new Reaping;  // lives until exit, after every user
  return *the;
}

// At exit: the processes ended last are gone by then, or nearly, so that
// this program's resource usage, as its parent reads it, includes theirs.
// Bounded: a process that does not go is not waited for past it.
void AwaitReaping() {
  Reaping& r = TheReaping();
  std::unique_lock<std::mutex> lock(r.mutex);
  r.done.wait_for(lock, std::chrono::seconds(2), [&r] { return r.pending == 0; });
}

// Waits for pid, which was sent SIGKILL, on a thread of its own. A
// renderer process takes about a millisecond to go (it unmaps its copy of
// the rendering libraries); the renderer ending it, and the run waiting
// for that renderer, go on meanwhile.
void ReapLater(pid_t pid) {
  static std::once_flag registered;
  std::call_once(registered, [] { std::atexit(AwaitReaping); });
  Reaping& r = TheReaping();
  {
    const std::lock_guard<std::mutex> lock(r.mutex);
    ++r.pending;
  }
  const auto reap = [&r, pid] {
    int status = 0;
    while (waitpid(pid, &status, 0) < 0 && errno == EINTR) {
    }
    const std::lock_guard<std::mutex> lock(r.mutex);
    if (--r.pending == 0) r.done.notify_all();
  };
  try {
    std::thread(reap).detach();
  } catch (const std::system_error&) {
    reap();
  }
}

// One renderer process and the socket to it.
class WorkerProcess {
 public:
  // Starts program; document_fd (or -1) becomes the process's descriptor
  // 4. Raises ERenderError when it cannot be started.
  WorkerProcess(const std::string& program, int document_fd) {
    int pair[2];
    if (socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, pair) != 0)
      throw ERenderError(Format(msg::kRenderWorkerCannotStart, ErrorText(errno).c_str()));
    channel_ = pair[0];
    // Above the descriptors the process gets, so that placing one cannot
    // overwrite the other.
    const int theirs = fcntl(pair[1], F_DUPFD_CLOEXEC, 10);
    close(pair[1]);
    const int document = document_fd >= 0 ? fcntl(document_fd, F_DUPFD_CLOEXEC, 10) : -1;
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
    posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
    posix_spawn_file_actions_adddup2(&actions, theirs, render_protocol::kChannelFd);
    if (document >= 0) posix_spawn_file_actions_adddup2(&actions, document, render_protocol::kDocumentFd);
    // Default handlers and no blocked signals, whatever the calling thread
    // has, so that a crash or the budget alarm ends the process.
    posix_spawnattr_t attributes;
    posix_spawnattr_init(&attributes);
    sigset_t signals;
    sigemptyset(&signals);
    posix_spawnattr_setsigmask(&attributes, &signals);
    sigfillset(&signals);
    sigdelset(&signals, SIGKILL);
    sigdelset(&signals, SIGSTOP);
    posix_spawnattr_setsigdefault(&attributes, &signals);
    posix_spawnattr_setflags(&attributes, POSIX_SPAWN_SETSIGMASK | POSIX_SPAWN_SETSIGDEF);
    std::string name = program;
    char* argv[] = {name.data(), nullptr};
    const int error = theirs < 0 ? errno
                                 : posix_spawn(&pid_, program.c_str(), &actions, &attributes,
                                               argv, environ);
    posix_spawnattr_destroy(&attributes);
    posix_spawn_file_actions_destroy(&actions);
    if (theirs >= 0) close(theirs);
    if (document >= 0) close(document);
    if (error != 0) {
      pid_ = -1;
      close(channel_);
      throw ERenderError(Format(msg::kRenderWorkerCannotStart,
                                (program + ": " + ErrorText(error)).c_str()));
    }
  }
  // A process started before this program was exec'd: its pid and this
  // side's end of the socket.
  WorkerProcess(pid_t pid, int channel) : pid_(pid), channel_(channel) {}
  // Ends the process without waiting for it to go. It is killed before
  // its socket closes (closing first would wake it to exit by itself, on
  // the CPU of the thread closing), and moved to the batch policy first:
  // a batch process never preempts the one that woke it, so its teardown
  // (unmapping its copy of the rendering libraries, about a millisecond)
  // takes a processor when one is free, not this thread's.
  ~WorkerProcess() {
    if (pid_ > 0) {
      const sched_param unchanged{};
      sched_setscheduler(pid_, SCHED_BATCH, &unchanged);
      kill(pid_, SIGKILL);
    }
    close(channel_);
    if (pid_ > 0) ReapLater(pid_);
  }
  WorkerProcess(const WorkerProcess&) = delete;
  WorkerProcess& operator=(const WorkerProcess&) = delete;

  int ChannelFd() const { return channel_; }
  // Ends the process and waits until it is gone.
  void EndAndWait() {
    if (pid_ <= 0) return;
    kill(pid_, SIGKILL);
    Wait();
  }
  // Gives up the process: it is neither ended nor waited for here.
  pid_t Release() {
    const pid_t pid = pid_;
    pid_ = -1;
    return pid;
  }

  // Sends frame, with descriptor (when not -1) riding on its first bytes.
  bool Send(const std::string& frame, int descriptor = -1) {
    return render_protocol::SendAll(channel_, frame, descriptor);
  }

  enum class Got { kFrame, kTimedOut, kClosed };
  // One frame, waiting until deadline (none: no limit). A descriptor sent
  // with its header goes to *received (close-on-exec; others are closed).
  Got Receive(std::optional<Clock::time_point> deadline, Kind& kind, std::string& payload,
              int* received = nullptr) {
    char header[8];
    Got got = ReadFully(deadline, header, sizeof header, received);
    if (got != Got::kFrame) return got;
    uint32_t raw_kind = 0, length = 0;
    render_protocol::ParseHeader(header, raw_kind, length);
    if (length > render_protocol::kMaxPayload) return Got::kClosed;
    kind = static_cast<Kind>(raw_kind);
    payload.resize(length);
    return ReadFully(deadline, payload.data(), length);
  }

  // Ends the process (when it has not ended) and returns its wait status.
  int End() {
    if (pid_ <= 0) return 0;
    // A process that closed its end is ending; give it a moment, so its
    // own status (a crash, the memory limit) is what it reports.
    int status = 0;
    for (int i = 0; i < 200; ++i) {
      const pid_t done = waitpid(pid_, &status, WNOHANG);
      if (done > 0 || (done < 0 && errno != EINTR)) {
        pid_ = -1;
        return done > 0 ? status : 0;
      }
      std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    kill(pid_, SIGKILL);
    return Wait();
  }

 private:
  Got ReadFully(std::optional<Clock::time_point> deadline, char* data, size_t size,
               int* received = nullptr) {
    while (size > 0) {
      int wait_ms = -1;
      if (deadline) {
        const auto left =
            std::chrono::duration_cast<std::chrono::milliseconds>(*deadline - Clock::now());
        if (left.count() <= 0) return Got::kTimedOut;
        wait_ms = static_cast<int>(std::min<int64_t>(left.count() + 1, INT32_MAX));
      }
      pollfd ready{channel_, POLLIN, 0};
      const int polled = poll(&ready, 1, wait_ms);
      if (polled < 0 && errno == EINTR) continue;
      if (polled < 0) return Got::kClosed;
      if (polled == 0) continue;
      const ssize_t got = render_protocol::ReceiveSome(channel_, data, size, received);
      if (got < 0 && errno == EINTR) continue;
      if (got <= 0) return Got::kClosed;
      data += got;
      size -= static_cast<size_t>(got);
    }
    return Got::kFrame;
  }

  int Wait() {
    int status = 0;
    while (waitpid(pid_, &status, 0) < 0 && errno == EINTR) {
    }
    pid_ = -1;
    return status;
  }

  pid_t pid_ = -1;
  int channel_ = -1;
};

// Sends process the request to open source.
void SendOpen(WorkerProcess& process, const TRenderSource& source, const SharedDocument* document) {
  FrameWriter open(Kind::kOpen);
  open.Int32(document ? 1 : 0).Bytes(source.file_name).Bytes(source.password);
  open.Int32(source.timeout_ms).Int64(source.memory_limit);
  process.Send(open.Frame());
}

// The renderer process this program keeps idle as a template: every
// process after it is a copy it makes (render_protocol.h), ready in about
// a millisecond where starting the program costs about twenty (loading
// the rendering libraries). It lives as long as this program, so the
// window and a batch over many files pay that start-up once. A copy takes
// the environment the template was started with, so a template started
// under another renderer program or fault-injection switch is replaced.
struct Template {
  std::mutex mutex;
  std::unique_ptr<WorkerProcess> process;
  std::string program;
  std::string fault;
  // Set once templates failed twice in a row for this program: processes
  // are then started as programs, as without one.
  bool failed = false;
};

Template& TheTemplate() {
  static Template* the = new Template;  // lives until exit, after every user
  return *the;
}

std::string FaultSwitch() {
  const char* value = std::getenv(render_protocol::kFaultVariable);
  return value ? value : "";
}

// A copy of the template, or null when the template cannot make one.
std::unique_ptr<WorkerProcess> CopyOfTemplate(WorkerProcess& from, const SharedDocument* document) {
  if (!from.Send(FrameWriter(Kind::kSpawn).Frame(), document ? document->fd : -1)) return nullptr;
  Kind kind{};
  std::string payload;
  int channel = -1;
  // The template answers at once once its libraries are loaded.
  const auto got =
      from.Receive(Clock::now() + std::chrono::seconds(30), kind, payload, &channel);
  PayloadReader reply(payload);
  const pid_t pid = got == WorkerProcess::Got::kFrame && kind == Kind::kSpawned ? reply.Int32() : 0;
  siginfo_t child{};
  // Only a child of this process is taken, as for a prestarted one.
  if (pid > 0 && reply.Ok() && channel >= 0 &&
      waitid(P_PID, static_cast<id_t>(pid), &child, WEXITED | WNOHANG | WNOWAIT) == 0)
    return std::make_unique<WorkerProcess>(pid, channel);
  if (channel >= 0) close(channel);
  return nullptr;
}

// A new renderer process for document (null: a file), from the template
// when it can make one, else started as a program.
std::unique_ptr<WorkerProcess> NewProcess(const std::string& program,
                                          const SharedDocument* document) {
  Template& t = TheTemplate();
  const std::lock_guard<std::mutex> lock(t.mutex);
  const std::string fault = FaultSwitch();
  if (t.program != program || t.fault != fault) {
    t.process.reset();
    t.program = program;
    t.fault = fault;
    t.failed = false;
  }
  for (int attempt = 0; attempt < 2 && !t.failed; ++attempt) {
    try {
      if (!t.process) t.process = std::make_unique<WorkerProcess>(program, -1);
    } catch (const ERenderError&) {
      break;
    }
    if (auto copy = CopyOfTemplate(*t.process, document)) return copy;
    t.process.reset();
    t.failed = attempt == 1;
  }
  return std::make_unique<WorkerProcess>(program, document ? document->fd : -1);
}

// Starts a process on source and sends it the Open request, without
// waiting for the answer; raises ERenderError when it cannot be started.
// A process whose end is closed already is still returned: its status
// says why.
std::unique_ptr<WorkerProcess> Launch(const std::string& program, const TRenderSource& source,
                                      const SharedDocument* document) {
  auto process = NewProcess(program, document);
  SendOpen(*process, source, document);
  return process;
}

// One renderer process as the renderers using it see it: a renderer holds
// the lock for a whole request, replacing the process when it failed.
struct Channel {
  std::mutex mutex;
  std::unique_ptr<WorkerProcess> process;
  bool open_pending = false;  // the answer to Open is still to be read
  // A Render request sent ahead (Prefetch) whose answer is still to be
  // read: its page, size and when it was sent.
  struct Ahead {
    int32_t index;
    int32_t longer_side;
    Clock::time_point sent;
  };
  std::optional<Ahead> ahead;
};

// The renderers open on one source at once. Rendering in parallel opens
// one renderer per thread on the same source, one after the other; the
// first one may start the processes the next ones will take before it
// waits for its own, so that their start-up (loading the libraries,
// reading the font configuration, opening the document) happens at the
// same time.
struct SourceGroup {
  int32_t page_count = 0;
  std::mutex mutex;
  std::vector<std::unique_ptr<WorkerProcess>> started;
  // The processes the first renderer starts (TRenderSource::processes).
  int32_t processes = 1;
};

struct SourceKey {
  std::string file_name;
  const char* bytes;
  size_t size;
  std::string password;
  int32_t timeout_ms;
  int64_t memory_limit;
  auto operator<=>(const SourceKey&) const = default;
};

std::mutex g_groups_mutex;
std::map<SourceKey, std::weak_ptr<SourceGroup>> g_groups;

SourceKey KeyOf(const TRenderSource& source) {
  return {source.file_name, source.bytes.data(), source.bytes.size(), source.password,
          source.timeout_ms, source.memory_limit};
}

// The most processes drawing from one source at once.
constexpr int32_t kMaxProcesses = 64;

class WorkerPageRenderer final : public TPageRenderer {
 public:
  WorkerPageRenderer(const TRenderSource& source, std::string program,
                     std::shared_ptr<SharedDocument> document,
                     std::shared_ptr<SourceGroup> group,
                     std::shared_ptr<Channel> channel = std::make_shared<Channel>())
      : source_(source),
        program_(std::move(program)),
        document_(std::move(document)),
        group_(std::move(group)),
        channel_(std::move(channel)) {
    source_.bytes = {};
  }

  // Takes a process started ahead whose Open answer is still to be read.
  void Adopt(std::unique_ptr<WorkerProcess> process, int32_t page_count) {
    process_ = std::move(process);
    page_count_ = page_count;
    open_pending_ = true;
  }

  // Starts a process and opens the document in it; false with the reason
  // in LastError() when that fails.
  bool Start() {
    process_.reset();
    ahead_.reset();
    try {
      process_ = Launch(program_, source_, document_.get());
    } catch (const ERenderError& e) {
      error_ = e.Message();
      return false;
    }
    return AwaitOpened();
  }

  // Reads the answer to the Open request.
  bool AwaitOpened() {
    open_pending_ = false;
    Kind kind{};
    std::string payload;
    const WorkerProcess::Got got = process_->Receive(Deadline(), kind, payload);
    if (got == WorkerProcess::Got::kTimedOut) return TimedOut();
    if (got == WorkerProcess::Got::kClosed) return Lost();
    PayloadReader reply(payload);
    if (kind == Kind::kOpened) {
      page_count_ = reply.Int32();
      if (reply.Ok()) return true;
    } else if (kind == Kind::kOpenFailed) {
      error_ = reply.Bytes();
      process_.reset();
      if (reply.Ok()) return false;
    }
    return Garbled();
  }

  int32_t PageCount() const override { return page_count_; }

  void Prefetch(int32_t index, int32_t longer_side) override {
    const std::lock_guard<std::mutex> lock(channel_->mutex);
    if (!process_ || ahead_) return;
    if (open_pending_ && !AwaitOpened()) return;
    FrameWriter request(Kind::kRender);
    request.Int32(index).Int32(longer_side);
    // A process that cannot take it has failed: the Render call finds out.
    if (process_->Send(request.Frame())) ahead_ = Channel::Ahead{index, longer_side, Clock::now()};
  }

  bool Render(int32_t index, int32_t longer_side, TRenderedPage& page) override {
    page = TRenderedPage();
    timed_out_ = false;
    const std::lock_guard<std::mutex> lock(channel_->mutex);
    std::optional<Clock::time_point> deadline;
    if (ahead_ && ahead_->index == index && ahead_->longer_side == longer_side) {
      deadline = Deadline(ahead_->sent);
      ahead_.reset();
    } else {
      if (ahead_) DropAhead();
      if (!process_ && !Start()) return false;
      if (open_pending_ && !AwaitOpened()) return false;
      FrameWriter request(Kind::kRender);
      request.Int32(index).Int32(longer_side);
      if (!process_->Send(request.Frame())) return Lost();
      deadline = Deadline(Clock::now());
    }
    Kind kind{};
    std::string payload;
    const WorkerProcess::Got got = process_->Receive(deadline, kind, payload);
    if (got == WorkerProcess::Got::kTimedOut) return TimedOut();
    if (got == WorkerProcess::Got::kClosed) return Lost();
    PayloadReader reply(payload);
    if (kind == Kind::kPage) {
      page.width = reply.Int32();
      page.height = reply.Int32();
      page.trouble_count = reply.Int32();
      page.trouble = reply.Bytes();
      page.rgb = reply.Bytes();
      if (reply.Ok() && page.width > 0 && page.height > 0 &&
          page.rgb.size() == static_cast<size_t>(page.width) * page.height * 3)
        return true;
    } else if (kind == Kind::kPageFailed) {
      error_ = reply.Bytes();
      timed_out_ = reply.Int32() != 0;
      if (reply.Ok()) return false;
    }
    page = TRenderedPage();
    return Garbled();
  }

  const std::string& LastError() const override { return error_; }
  bool LastFailureTimedOut() const override { return timed_out_; }

 private:
  std::optional<Clock::time_point> Deadline() const { return Deadline(Clock::now()); }
  // When a request sent at sent is given up.
  std::optional<Clock::time_point> Deadline(Clock::time_point sent) const {
    if (source_.timeout_ms <= 0) return std::nullopt;
    return sent + std::chrono::milliseconds(source_.timeout_ms) + kGrace;
  }
  // Reads and drops the answer to a request sent ahead for another page;
  // a process that gives none (that page crashed it, say) is given up, and
  // the page asked for now goes to a new one.
  void DropAhead() {
    const std::optional<Clock::time_point> deadline = Deadline(ahead_->sent);
    ahead_.reset();
    Kind kind{};
    std::string payload;
    if (process_->Receive(deadline, kind, payload) != WorkerProcess::Got::kFrame ||
        (kind != Kind::kPage && kind != Kind::kPageFailed))
      process_.reset();
  }
  // The process ended or closed its end: why, from its status.
  bool Lost() {
    const int status = process_->End();
    process_.reset();
    error_ = EndReason(status, source_.memory_limit);
    return false;
  }
  bool TimedOut() {
    process_.reset();
    timed_out_ = true;
    error_ = Format(msg::kRenderWorkerTimeout, source_.timeout_ms / 1000.0);
    return false;
  }
  bool Garbled() {
    process_.reset();
    error_ = msg::kRenderWorkerGarbled;
    return false;
  }

  TRenderSource source_;
  const std::string program_;
  const std::shared_ptr<SharedDocument> document_;
  // Released after process_: a process started ahead ends with the group.
  const std::shared_ptr<SourceGroup> group_;
  const std::shared_ptr<Channel> channel_;
  // The channel's members, under its lock.
  std::unique_ptr<WorkerProcess>& process_ = channel_->process;
  bool& open_pending_ = channel_->open_pending;
  std::optional<Channel::Ahead>& ahead_ = channel_->ahead;
  int32_t page_count_ = 0;
  std::string error_;
  bool timed_out_ = false;
};

bool Executable(const std::filesystem::path& path) {
  return access(path.c_str(), X_OK) == 0 && std::filesystem::is_regular_file(path);
}

}  // namespace

std::string RenderWorkerPath(std::string* tried) {
  if (const char* set = std::getenv(kWorkerVariable); set && *set) {
    if (tried) *tried = set;
    return Executable(set) ? std::string(set) : std::string();
  }
  return PagemintProgramPath(kWorkerName, tried);
}

std::string PagemintProgramPath(const std::string& name, std::string* tried) {
  std::error_code error;
  const std::filesystem::path self = std::filesystem::read_symlink("/proc/self/exe", error);
  std::string looked;
  if (!error) {
    const std::filesystem::path here = self.parent_path();
    for (const std::filesystem::path& candidate :
         {here / name, (here / ".." / "lib" / "pagemint" / name).lexically_normal()}) {
      if (Executable(candidate)) return candidate.string();
      looked += (looked.empty() ? "" : ", ") + candidate.string();
    }
  }
  if (tried) *tried = looked;
  return {};
}

std::string PrestartPageRenderer() {
  const std::string program = RenderWorkerPath();
  if (program.empty()) return {};
  try {
    WorkerProcess process(program, -1);
    // Both numbers outlive the object: its socket end must stay open, not
    // close-on-exec, and the process must not be ended.
    const int channel = fcntl(process.ChannelFd(), F_DUPFD, 3);
    if (channel < 0) return {};
    return std::string(kStartedVariable) + "=" + std::to_string(process.Release()) + ":" +
           std::to_string(channel);
  } catch (const ERenderError&) {
    return {};
  }
}

void AdoptPrestartedRenderer() {
  const char* value = std::getenv(kStartedVariable);
  if (!value) return;
  const std::string text = value;
  unsetenv(kStartedVariable);
  const size_t colon = text.find(':');
  if (colon == std::string::npos) return;
  const long pid = std::strtol(text.c_str(), nullptr, 10);
  const long fd = std::strtol(text.c_str() + colon + 1, nullptr, 10);
  if (pid <= 0 || fd < 3 || fd > INT32_MAX) return;
  // Only a child of this process on a socket is taken: a stray or forged
  // entry must never make this program end or talk to something else.
  struct stat info {};
  siginfo_t child{};
  if (fstat(static_cast<int>(fd), &info) != 0 || !S_ISSOCK(info.st_mode) ||
      waitid(P_PID, static_cast<id_t>(pid), &child, WEXITED | WNOHANG | WNOWAIT) != 0)
    return;
  fcntl(static_cast<int>(fd), F_SETFD, FD_CLOEXEC);
  Template& t = TheTemplate();
  const std::lock_guard<std::mutex> lock(t.mutex);
  t.process = std::make_unique<WorkerProcess>(static_cast<pid_t>(pid), static_cast<int>(fd));
  t.program = RenderWorkerPath();
  t.fault = FaultSwitch();
  t.failed = false;
}

void EndIdleRenderer() {
  Template& t = TheTemplate();
  const std::lock_guard<std::mutex> lock(t.mutex);
  if (t.process) t.process->EndAndWait();
  t.process.reset();
}

std::unique_ptr<TPageRenderer> OpenPageRenderer(const TRenderSource& source) {
  std::string tried;
  std::string program = RenderWorkerPath(&tried);
  if (program.empty()) throw ERenderError(Format(msg::kRenderWorkerNotFound, tried.c_str()));
  if (source.bytes.empty() && source.file_name.empty()) throw ERenderError(msg::kRenderCannotOpen);

  // A source opened already: take a process started ahead for it.
  const SourceKey key = KeyOf(source);
  std::shared_ptr<SourceGroup> group;
  {
    const std::lock_guard<std::mutex> lock(g_groups_mutex);
    for (auto it = g_groups.begin(); it != g_groups.end();)
      it = it->second.expired() ? g_groups.erase(it) : std::next(it);
    if (auto found = g_groups.find(key); found != g_groups.end()) group = found->second.lock();
  }
  std::shared_ptr<SharedDocument> document;
  if (!source.bytes.empty()) document = DocumentFor(source.bytes);
  if (group) {
    std::unique_ptr<WorkerProcess> ahead;
    {
      const std::lock_guard<std::mutex> lock(group->mutex);
      if (!group->started.empty()) {
        ahead = std::move(group->started.back());
        group->started.pop_back();
      }
    }
    auto renderer =
        std::make_unique<WorkerPageRenderer>(source, std::move(program), document, group);
    if (ahead) {
      renderer->Adopt(std::move(ahead), group->page_count);
      return renderer;
    }
    if (!renderer->Start()) throw ERenderError(renderer->LastError());
    return renderer;
  }

  // The first renderer on this source: the processes the next ones will
  // take start now, beside its own, and open the document while it does.
  group = std::make_shared<SourceGroup>();
  group->processes = std::clamp(source.processes, 1, kMaxProcesses);
  auto renderer = std::make_unique<WorkerPageRenderer>(source, program, document, group);
  std::unique_ptr<WorkerProcess> own;
  try {
    own = Launch(program, source, document.get());
  } catch (const ERenderError&) {
  }
  for (int32_t i = 1; own && i < group->processes; ++i) {
    try {
      group->started.push_back(Launch(program, source, document.get()));
    } catch (const ERenderError&) {
      break;
    }
  }
  bool opened = false;
  if (own) {
    renderer->Adopt(std::move(own), 0);
    opened = renderer->AwaitOpened();
  } else {
    opened = renderer->Start();
  }
  if (!opened) throw ERenderError(renderer->LastError());
  group->page_count = renderer->PageCount();
  {
    const std::lock_guard<std::mutex> lock(g_groups_mutex);
    g_groups[key] = group;
  }
  return renderer;
}

}  // namespace pagemint
