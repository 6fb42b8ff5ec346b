// SPDX-License-Identifier: GPL-3.0-or-later
// What the renderer client (render_client.cpp) and the renderer process
// (render_worker/) say to each other over the socket between them.
//
// Every message is a frame: its kind and its payload's length (32 bits
// each, in the machine's byte order: both ends run on the same machine),
// then the payload, a sequence of 32- and 64-bit integers and
// length-prefixed byte strings in the order each kind lists below.
//
//   client -> worker
//     Open     has_document_fd, file_name, password, timeout_ms, memory_limit
//     Render   index, longer_side
//     Spawn    nothing (the document's descriptor, when there is one,
//              rides with the frame)
//   worker -> client
//     Opened      page_count
//     OpenFailed  reason
//     Page        width, height, trouble_count, trouble, rgb
//     PageFailed  reason, timed_out (1: the page ran past its time budget)
//     Spawned     pid (the client's end of the new process's socket rides
//                 with the frame)
//     SpawnFailed reason
//
// The worker answers each request with exactly one frame, and ends when
// the socket closes. A worker whose first request is Spawn opens no
// document: it stays a template, and answers each Spawn with a copy of
// itself (a child of the client, on a socket of its own, with the
// document's descriptor in place), which then takes an Open request as a
// newly started worker does.
#pragma once

#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <cstdint>
#include <cstring>
#include <string>
#include <string_view>

namespace pagemint::render_protocol {

// The descriptors the worker finds open: the socket to its client, and the
// document's bytes (a memory file) when they do not come from a file name.
inline constexpr int kChannelFd = 3;
inline constexpr int kDocumentFd = 4;
// The worker's exit status when an allocation failed under its memory
// limit.
inline constexpr int kExitOutOfMemory = 3;
// The fault-injection switch the worker reads from its environment, for
// the tests of what a failing renderer costs: "crash:N", "hang:N" or
// "memory:N" makes drawing page N (from 1) crash, never end, or allocate
// until the memory limit stops it.
inline constexpr char kFaultVariable[] = "PAGEMINT_RENDER_FAULT";
// The largest payload either end accepts: a 1024 x 1024 page is 3 MB.
inline constexpr uint32_t kMaxPayload = 64u << 20;

enum class Kind : uint32_t {
  kOpen = 1,
  kOpened,
  kOpenFailed,
  kRender,
  kPage,
  kPageFailed,
  kSpawn,
  kSpawned,
  kSpawnFailed,
};

// Builds one frame.
class FrameWriter {
 public:
  explicit FrameWriter(Kind kind) : frame_(8, '\0') {
    const auto value = static_cast<uint32_t>(kind);
    std::memcpy(frame_.data(), &value, 4);
  }
  FrameWriter& Int32(int32_t value) { return Raw(&value, 4); }
  FrameWriter& Int64(int64_t value) { return Raw(&value, 8); }
  FrameWriter& Bytes(std::string_view bytes) {
    Int32(static_cast<int32_t>(bytes.size()));
    frame_.append(bytes);
    return *this;
  }
  // The whole frame, its length filled in.
  const std::string& Frame() {
    const auto length = static_cast<uint32_t>(frame_.size() - 8);
    std::memcpy(frame_.data() + 4, &length, 4);
    return frame_;
  }

 private:
  FrameWriter& Raw(const void* data, size_t size) {
    frame_.append(static_cast<const char*>(data), size);
    return *this;
  }
  std::string frame_;
};

// The header of a frame: its kind and its payload's length.
inline void ParseHeader(const char (&header)[8], uint32_t& kind, uint32_t& length) {
  std::memcpy(&kind, header, 4);
  std::memcpy(&length, header + 4, 4);
}

// Reads a payload's fields in order; Ok() is false once a field ran past
// the end.
class PayloadReader {
 public:
  explicit PayloadReader(std::string_view payload) : rest_(payload) {}
  int32_t Int32() {
    int32_t value = 0;
    Raw(&value, 4);
    return value;
  }
  int64_t Int64() {
    int64_t value = 0;
    Raw(&value, 8);
    return value;
  }
  std::string Bytes() {
    const int32_t size = Int32();
    if (size < 0 || static_cast<size_t>(size) > rest_.size()) {
      ok_ = false;
      return {};
    }
    std::string bytes(rest_.substr(0, static_cast<size_t>(size)));
    rest_.remove_prefix(static_cast<size_t>(size));
    return bytes;
  }
  bool Ok() const { return ok_; }

 private:
  void Raw(void* data, size_t size) {
    if (rest_.size() < size) {
      ok_ = false;
      return;
    }
    std::memcpy(data, rest_.data(), size);
    rest_.remove_prefix(size);
  }
  std::string_view rest_;
  bool ok_ = true;
};

// Sends bytes whole over socket, with descriptor (when not -1) riding on
// the first of them; false when the other end is gone.
inline bool SendAll(int socket, std::string_view bytes, int descriptor = -1) {
  while (!bytes.empty()) {
    iovec part{const_cast<char*>(bytes.data()), bytes.size()};
    alignas(cmsghdr) char control[CMSG_SPACE(sizeof(int))] = {};
    msghdr message{};
    message.msg_iov = &part;
    message.msg_iovlen = 1;
    if (descriptor >= 0) {
      message.msg_control = control;
      message.msg_controllen = sizeof control;
      cmsghdr* c = CMSG_FIRSTHDR(&message);
      c->cmsg_level = SOL_SOCKET;
      c->cmsg_type = SCM_RIGHTS;
      c->cmsg_len = CMSG_LEN(sizeof(int));
      std::memcpy(CMSG_DATA(c), &descriptor, sizeof descriptor);
    }
    const ssize_t sent = sendmsg(socket, &message, MSG_NOSIGNAL);
    if (sent < 0 && errno == EINTR) continue;
    if (sent <= 0) return false;
    descriptor = -1;
    bytes.remove_prefix(static_cast<size_t>(sent));
  }
  return true;
}

// One read of up to size bytes from socket (as read() returns). A
// descriptor sent with them goes to *received when that is -1 (the first
// one; any other is closed), close-on-exec.
inline ssize_t ReceiveSome(int socket, char* data, size_t size, int* received) {
  iovec part{data, size};
  alignas(cmsghdr) char control[CMSG_SPACE(sizeof(int) * 4)];
  msghdr message{};
  message.msg_iov = &part;
  message.msg_iovlen = 1;
  message.msg_control = control;
  message.msg_controllen = sizeof control;
  const ssize_t got = recvmsg(socket, &message, MSG_CMSG_CLOEXEC);
  if (got < 0) return got;
  for (cmsghdr* c = CMSG_FIRSTHDR(&message); c; c = CMSG_NXTHDR(&message, c)) {
    if (c->cmsg_level != SOL_SOCKET || c->cmsg_type != SCM_RIGHTS) continue;
    for (size_t i = 0; i < (c->cmsg_len - CMSG_LEN(0)) / sizeof(int); ++i) {
      int fd;
      std::memcpy(&fd, CMSG_DATA(c) + i * sizeof(int), sizeof fd);
      if (received && *received < 0)
        *received = fd;
      else
        close(fd);
    }
  }
  return got;
}

}  // namespace pagemint::render_protocol
