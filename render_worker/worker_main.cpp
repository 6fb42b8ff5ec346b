// SPDX-License-Identifier: GPL-3.0-or-later
// pagemint-render: draws the pages of one document for one client, in a
// process of its own, so that whatever the document does to the renderer
// (a crash, a decompression bomb, a table of millions of entries) ends
// here and costs the client one page.
//
// Started by the client (render/render_client.cpp) with the socket to it
// on descriptor 3 and, for a document held in memory, a memory file of its
// bytes on descriptor 4. It reads an Open request, limits its own address
// space, opens the document and then answers Render requests one at a time
// until the socket closes (render/render_protocol.h).
//
// Started for Spawn requests instead, it is a template: it opens nothing
// and makes copies of itself, each a new worker. A copy starts in about a
// millisecond where starting the program takes about twenty (loading the
// rendering libraries), so a client keeps one template and gets every
// worker after the first from it.
#include <dirent.h>
#include <fcntl.h>
#include <poll.h>
#include <sched.h>
#include <signal.h>
#include <sys/mman.h>
#include <sys/resource.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <new>
#include <string>
#include <string_view>
#include <vector>

#include "render/render_protocol.h"
#include "render_worker/poppler_page_renderer.h"

namespace pagemint {
namespace {

using render_protocol::FrameWriter;
using render_protocol::Kind;
using render_protocol::PayloadReader;

// Reads size bytes from the client. A descriptor sent with them goes to
// *received (the first one; others are closed), close-on-exec.
bool ReadFully(char* data, size_t size, int* received = nullptr) {
  while (size > 0) {
    const ssize_t got =
        render_protocol::ReceiveSome(render_protocol::kChannelFd, data, size, received);
    if (got < 0 && errno == EINTR) continue;
    if (got <= 0) return false;
    data += got;
    size -= static_cast<size_t>(got);
  }
  return true;
}

bool ReadFrame(Kind& kind, std::string& payload, int* received = nullptr) {
  char header[8];
  if (!ReadFully(header, sizeof header, received)) return false;
  uint32_t raw_kind = 0, length = 0;
  render_protocol::ParseHeader(header, raw_kind, length);
  if (length > render_protocol::kMaxPayload) return false;
  kind = static_cast<Kind>(raw_kind);
  payload.resize(length);
  return ReadFully(payload.data(), length);
}

// Sends a frame, with descriptor (when not -1) riding on its first bytes.
bool Send(FrameWriter& writer, int descriptor = -1) {
  return render_protocol::SendAll(render_protocol::kChannelFd, writer.Frame(), descriptor);
}

// An allocation that fails under the memory limit ends the process with a
// status the client reports as such.
[[noreturn]] void OutOfMemory() { _exit(render_protocol::kExitOutOfMemory); }

// The fault the tests ask for through the environment, on one page.
struct Fault {
  enum { kNone, kCrash, kHang, kMemory } kind = kNone;
  int32_t page = 0;
};

Fault FaultFromEnvironment() {
  Fault fault;
  const char* value = std::getenv(render_protocol::kFaultVariable);
  if (!value) return fault;
  const std::string_view text(value);
  const size_t colon = text.find(':');
  if (colon == std::string_view::npos) return fault;
  const std::string_view kind = text.substr(0, colon);
  fault.page = std::atoi(value + colon + 1);
  if (kind == "crash") fault.kind = Fault::kCrash;
  if (kind == "hang") fault.kind = Fault::kHang;
  if (kind == "memory") fault.kind = Fault::kMemory;
  return fault;
}

void Inject(const Fault& fault, int32_t page_number) {
  if (fault.kind == Fault::kNone || fault.page != page_number) return;
  switch (fault.kind) {
    case Fault::kCrash:
      signal(SIGSEGV, SIG_DFL);
      raise(SIGSEGV);
      break;
    case Fault::kHang:
      // Waits for the client to end the process (or the alarm to).
      for (;;) pause();
    case Fault::kMemory: {
      // Address space taken 64 MB at a time, one byte of each touched so
      // the allocations stay; the limit stops it long before the bound.
      std::vector<std::unique_ptr<char[]>> held;
      for (int i = 0; i < 4096; ++i) {
        held.emplace_back(new char[size_t{64} << 20]);
        held.back()[0] = 1;
      }
      break;
    }
    case Fault::kNone:
      break;
  }
}

// A backstop for a client that is gone: a page (or the opening) that runs
// far past its budget ends the process by SIGALRM even when nobody is
// left to end it.
void ArmAlarm(int32_t timeout_ms) {
  if (timeout_ms > 0) alarm(static_cast<unsigned>(timeout_ms / 1000) * 2 + 2);
}

// How many threads this process has; 0 when that cannot be told.
int ThreadCount() {
  DIR* tasks = opendir("/proc/self/task");
  if (!tasks) return 0;
  int count = 0;
  while (const dirent* entry = readdir(tasks))
    if (entry->d_name[0] != '.') ++count;
  closedir(tasks);
  return count;
}

// Answers a Spawn request with a copy of this process. The copy is made
// with clone(CLONE_PARENT), so that it is the client's child, which waits
// for it, ends it and reads its status as for a process it started
// itself. Copying is only safe while this process has one thread (no lock
// can be held by a thread the copy would not have); the template never
// starts one, and checks before each copy. Returns 0 in the copy, holding
// its own socket as descriptor 3 and the document (when one was sent) as
// descriptor 4; in the template, the copy's pid or -1 when none was made,
// with client_gone set when the answer could not be sent.
pid_t SpawnCopy(int document, bool& client_gone) {
  // Every descriptor in play above the two the copy places, so that
  // placing one cannot overwrite another.
  const auto lift = [](int fd) {
    if (fd < 0) return fd;
    const int lifted = fcntl(fd, F_DUPFD_CLOEXEC, 10);
    close(fd);
    return lifted;
  };
  document = lift(document);
  const auto fail = [&](const std::string& reason) {
    if (document >= 0) close(document);
    FrameWriter failed(Kind::kSpawnFailed);
    failed.Bytes(reason);
    client_gone = !Send(failed);
    return pid_t{-1};
  };
  if (ThreadCount() != 1) return fail("the renderer process has threads and cannot be copied");
  int pair[2];
  if (socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, pair) != 0) return fail(std::strerror(errno));
  const int ours = lift(pair[0]);
  const int theirs = lift(pair[1]);
  if (ours < 0 || theirs < 0) {
    if (ours >= 0) close(ours);
    if (theirs >= 0) close(theirs);
    return fail(std::strerror(errno));
  }
  const long pid = syscall(SYS_clone, CLONE_PARENT | SIGCHLD, nullptr, nullptr, nullptr, nullptr);
  if (pid == 0) {
    dup2(theirs, render_protocol::kChannelFd);
    if (document >= 0)
      dup2(document, render_protocol::kDocumentFd);
    else
      close(render_protocol::kDocumentFd);
    close(theirs);
    close(ours);
    if (document >= 0) close(document);
    return 0;
  }
  close(theirs);
  if (document >= 0) close(document);
  if (pid < 0) {
    close(ours);
    document = -1;
    return fail(std::strerror(errno));
  }
  FrameWriter spawned(Kind::kSpawned);
  spawned.Int32(static_cast<int32_t>(pid));
  client_gone = !Send(spawned, ours);
  close(ours);
  return static_cast<pid_t>(pid);
}

int Serve(const std::string& payload) {
  std::set_new_handler(OutOfMemory);
  Kind kind{};
  PayloadReader open(payload);
  const bool has_document_fd = open.Int32() != 0;
  TRenderSource source;
  source.file_name = open.Bytes();
  source.password = open.Bytes();
  source.timeout_ms = open.Int32();
  source.memory_limit = open.Int64();
  if (!open.Ok()) return 2;

  if (source.memory_limit > 0) {
    const rlimit limit{static_cast<rlim_t>(source.memory_limit),
                       static_cast<rlim_t>(source.memory_limit)};
    setrlimit(RLIMIT_AS, &limit);
  }
  if (has_document_fd) {
    struct stat info {};
    if (fstat(render_protocol::kDocumentFd, &info) != 0 || info.st_size <= 0) return 2;
    const size_t size = static_cast<size_t>(info.st_size);
    void* bytes =
        mmap(nullptr, size, PROT_READ, MAP_PRIVATE, render_protocol::kDocumentFd, 0);
    if (bytes == MAP_FAILED) {
      FrameWriter failed(Kind::kOpenFailed);
      failed.Bytes(std::string("the document cannot be mapped: ") + std::strerror(errno));
      Send(failed);
      return 0;
    }
    source.bytes = std::string_view(static_cast<const char*>(bytes), size);
  }

  std::unique_ptr<TPageRenderer> renderer;
  ArmAlarm(source.timeout_ms);
  try {
    renderer = OpenPopplerRenderer(source);
  } catch (const ERenderError& e) {
    FrameWriter failed(Kind::kOpenFailed);
    failed.Bytes(e.Message());
    Send(failed);
    return 0;
  }
  alarm(0);
  FrameWriter opened(Kind::kOpened);
  opened.Int32(renderer->PageCount());
  if (!Send(opened)) return 0;

  const Fault fault = FaultFromEnvironment();
  TRenderedPage page;
  std::string request_payload;
  while (ReadFrame(kind, request_payload)) {
    if (kind != Kind::kRender) return 2;
    PayloadReader request(request_payload);
    const int32_t index = request.Int32();
    const int32_t longer_side = request.Int32();
    if (!request.Ok()) return 2;
    ArmAlarm(source.timeout_ms);
    Inject(fault, index + 1);
    const bool drawn = renderer->Render(index, longer_side, page);
    alarm(0);
    if (drawn) {
      FrameWriter reply(Kind::kPage);
      reply.Int32(page.width).Int32(page.height).Int32(page.trouble_count);
      reply.Bytes(page.trouble).Bytes(page.rgb);
      if (!Send(reply)) return 0;
    } else {
      FrameWriter reply(Kind::kPageFailed);
      reply.Bytes(renderer->LastError()).Int32(renderer->LastFailureTimedOut() ? 1 : 0);
      if (!Send(reply)) return 0;
    }
  }
  return 0;
}

// A one-page PDF document (72 points square) whose page draws content
// with resources.
std::string OnePageDocument(const std::string& content, const std::string& resources) {
  const std::string objects[] = {
      "<< /Type /Catalog /Pages 2 0 R >>",
      "<< /Type /Pages /Kids [3 0 R] /Count 1 >>",
      "<< /Type /Page /Parent 2 0 R /MediaBox [0 0 72 72] /Resources << " + resources +
          " >> /Contents 4 0 R >>",
      "<< /Length " + std::to_string(content.size()) + " >>\nstream\n" + content +
          "\nendstream",
  };
  std::string pdf = "%PDF-1.4\n";
  std::string xref = "xref\n0 " + std::to_string(std::size(objects) + 1) + "\n0000000000 65535 f \n";
  for (size_t i = 0; i < std::size(objects); ++i) {
    char entry[24];
    std::snprintf(entry, sizeof entry, "%010zu 00000 n \n", pdf.size());
    xref += entry;
    pdf += std::to_string(i + 1) + " 0 obj\n" + objects[i] + "\nendobj\n";
  }
  const size_t start = pdf.size();
  pdf += xref + "trailer\n<< /Size " + std::to_string(std::size(objects) + 1) +
         " /Root 1 0 R >>\nstartxref\n" + std::to_string(start) + "\n%%EOF\n";
  return pdf;
}

// Sets up the renderer's global settings and keeps them (a blank page's
// document kept open for the life of the process).
void KeepSettings() {
  static const std::string blank = OnePageDocument("", "");
  KeepRendererSettings(blank);
}

// Keeps the renderer's global settings and draws a one-page document with
// a line of text in a standard font, so that what every process sets up
// on its first page of text (the renderer's global tables, the font
// configuration, the font engine: about 10 ms) is set up once, in the
// template, and its copies start with it done. Done once the template is
// kept across runs (a second burst of requests: a batch, the window), when
// it is idle; a single run, which would only pay for it, never does.
void WarmUp() {
  KeepSettings();
  TRenderSource source;
  const std::string text = OnePageDocument(
      "BT /F1 24 Tf 8 30 Td (Ag) Tj ET",
      "/Font << /F1 << /Type /Font /Subtype /Type1 /BaseFont /Helvetica >> >>");
  source.bytes = text;
  try {
    TRenderedPage page;
    OpenPopplerRenderer(source)->Render(0, 16, page);
  } catch (const ERenderError&) {
  }
}

// A worker, or a template making workers until its client is gone.
int Main() {
  Kind kind{};
  std::string payload;
  int document = -1;
  // Nothing asked yet (this process was started ahead, as a template):
  // the renderer's global settings are set up meanwhile, once for every
  // copy. A process started for a request finds it waiting and skips this.
  pollfd first{render_protocol::kChannelFd, POLLIN, 0};
  if (poll(&first, 1, 0) == 0) KeepSettings();
  if (!ReadFrame(kind, payload, &document)) return 2;
  bool warm = false;
  int bursts = 0;  // runs of requests served, each ended by a pause
  while (kind == Kind::kSpawn) {
    bool client_gone = false;
    const pid_t copy = SpawnCopy(document, client_gone);
    document = -1;  // SpawnCopy took it
    if (copy == 0) {
      // The copy: a worker from here on.
      if (!ReadFrame(kind, payload)) return 0;
      break;
    }
    if (client_gone) return 0;
    pollfd next{render_protocol::kChannelFd, POLLIN, 0};
    if (!warm && poll(&next, 1, 5) == 0 && ++bursts >= 2) {
      WarmUp();
      warm = true;
    }
    if (!ReadFrame(kind, payload, &document)) return 0;
  }
  if (document >= 0) close(document);
  if (kind != Kind::kOpen) return 2;
  return Serve(payload);
}

}  // namespace
}  // namespace pagemint

int main() { return pagemint::Main(); }
