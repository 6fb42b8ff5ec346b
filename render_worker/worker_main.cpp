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
#include <signal.h>
#include <sys/mman.h>
#include <sys/resource.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
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

bool ReadFully(int fd, char* data, size_t size) {
  while (size > 0) {
    const ssize_t got = read(fd, data, size);
    if (got < 0 && errno == EINTR) continue;
    if (got <= 0) return false;
    data += got;
    size -= static_cast<size_t>(got);
  }
  return true;
}

bool ReadFrame(Kind& kind, std::string& payload) {
  char header[8];
  if (!ReadFully(render_protocol::kChannelFd, header, sizeof header)) return false;
  uint32_t raw_kind = 0, length = 0;
  render_protocol::ParseHeader(header, raw_kind, length);
  if (length > render_protocol::kMaxPayload) return false;
  kind = static_cast<Kind>(raw_kind);
  payload.resize(length);
  return ReadFully(render_protocol::kChannelFd, payload.data(), length);
}

bool Send(FrameWriter& writer) {
  std::string_view rest = writer.Frame();
  while (!rest.empty()) {
    const ssize_t sent = send(render_protocol::kChannelFd, rest.data(), rest.size(), MSG_NOSIGNAL);
    if (sent < 0 && errno == EINTR) continue;
    if (sent <= 0) return false;
    rest.remove_prefix(static_cast<size_t>(sent));
  }
  return true;
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

int Serve() {
  std::set_new_handler(OutOfMemory);
  Kind kind{};
  std::string payload;
  if (!ReadFrame(kind, payload) || kind != Kind::kOpen) return 2;
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
  while (ReadFrame(kind, payload)) {
    if (kind != Kind::kRender) return 2;
    PayloadReader request(payload);
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

}  // namespace
}  // namespace pagemint

int main() { return pagemint::Serve(); }
