// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/stream.h"

#include <fcntl.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>

#include "platform/exception.h"
#include "platform/messages.h"

namespace pagemint {

namespace {

// Writes are collected up to this size before they reach the file.
constexpr size_t kWriteBufferSize = 1 << 20;

int64_t Resolve(int64_t offset, TSeekOrigin origin, int64_t position, int64_t size) {
  switch (origin) {
    case TSeekOrigin::soBeginning:
      return offset;
    case TSeekOrigin::soCurrent:
      return position + offset;
    case TSeekOrigin::soEnd:
      return size + offset;
  }
  return position;
}

std::string ErrnoText() { return std::strerror(errno); }

}  // namespace

int64_t TStream::GetSize() {
  const int64_t pos = Seek(0, TSeekOrigin::soCurrent);
  const int64_t size = Seek(0, TSeekOrigin::soEnd);
  Seek(pos, TSeekOrigin::soBeginning);
  return size;
}

void TStream::SetSize(int64_t) {}

int64_t TStream::ReadAt(int64_t offset, void* buffer, int64_t count) {
  const int64_t saved = Position();
  SetPosition(offset);
  const int64_t n = Read(buffer, count);
  SetPosition(saved);
  return n;
}

int64_t TStream::CopyRangeFrom(TStream&, int64_t, int64_t) { return 0; }

void TStream::ReadBuffer(void* buffer, int64_t count) {
  if (count != 0 && Read(buffer, count) != count) throw EFileError(msg::kStreamReadError);
}

void TStream::WriteBuffer(const void* buffer, int64_t count) {
  if (count != 0 && Write(buffer, count) != count) throw EFileError(msg::kStreamWriteError);
}

int64_t TStream::CopyFrom(TStream& source, int64_t count) {
  if (count == 0) {
    source.SetPosition(0);
    count = source.Size();
  }
  if (MemoryView v = source.View()) {
    const int64_t pos = *v.position;
    if (pos < 0 || pos + count > v.size) throw EFileError(msg::kStreamReadError);
    WriteBuffer(v.data + pos, count);
    *v.position = pos + count;
    return count;
  }
  std::string chunk(std::min<int64_t>(count, 1 << 16), '\0');
  int64_t left = count;
  while (left > 0) {
    const int64_t n = std::min<int64_t>(left, static_cast<int64_t>(chunk.size()));
    source.ReadBuffer(chunk.data(), n);
    WriteBuffer(chunk.data(), n);
    left -= n;
  }
  return count;
}

// ---------------------------------------------------------------------------

void TMemoryStream::SetSize(int64_t new_size) {
  data_.resize(static_cast<size_t>(std::max<int64_t>(new_size, 0)));
  if (position_ > new_size) position_ = new_size;
}

int64_t TMemoryStream::Read(void* buffer, int64_t count) {
  const int64_t size = static_cast<int64_t>(data_.size());
  if (count <= 0 || position_ < 0 || position_ >= size) return 0;
  const int64_t n = std::min(count, size - position_);
  std::memcpy(buffer, data_.data() + position_, static_cast<size_t>(n));
  position_ += n;
  return n;
}

int64_t TMemoryStream::Write(const void* buffer, int64_t count) {
  if (count <= 0 || position_ < 0) return 0;
  const size_t end = static_cast<size_t>(position_ + count);
  if (end > data_.size()) {
    if (end > data_.capacity()) data_.reserve(std::max(end, data_.capacity() * 2));
    data_.resize(end);
  }
  std::memcpy(data_.data() + position_, buffer, static_cast<size_t>(count));
  position_ += count;
  return count;
}

int64_t TMemoryStream::ReadAt(int64_t offset, void* buffer, int64_t count) {
  const int64_t size = static_cast<int64_t>(data_.size());
  if (count <= 0 || offset < 0 || offset >= size) return 0;
  const int64_t n = std::min(count, size - offset);
  std::memcpy(buffer, data_.data() + offset, static_cast<size_t>(n));
  return n;
}

int64_t TMemoryStream::Seek(int64_t offset, TSeekOrigin origin) {
  position_ = Resolve(offset, origin, position_, static_cast<int64_t>(data_.size()));
  return position_;
}

std::string TMemoryStream::TakeBytes() {
  std::string out = std::move(data_);
  data_.clear();
  position_ = 0;
  return out;
}

void TMemoryStream::LoadFromFile(const std::string& file_name) {
  TFileStream file(file_name, TFileMode::fmOpenRead);
  Clear();
  CopyFrom(file, 0);
  position_ = 0;
}

void TMemoryStream::SaveToFile(const std::string& file_name) {
  TFileStream file(file_name, TFileMode::fmCreate);
  file.WriteBuffer(data_.data(), static_cast<int64_t>(data_.size()));
  file.Close();
}

// ---------------------------------------------------------------------------

TFileStream::TFileStream(const std::string& file_name, TFileMode mode)
    : file_name_(file_name), mode_(mode) {
  if (mode == TFileMode::fmOpenRead) {
    fd_ = ::open(file_name.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd_ < 0) throw EFileError(Format(msg::kCannotOpenFile, file_name.c_str(), ErrnoText().c_str()));
    struct stat st {};
    if (::fstat(fd_, &st) != 0 || !S_ISREG(st.st_mode)) {
      const std::string why = S_ISDIR(st.st_mode) ? "Is a directory" : ErrnoText();
      ::close(fd_);
      fd_ = -1;
      throw EFileError(Format(msg::kCannotOpenFile, file_name.c_str(), why.c_str()));
    }
    size_ = static_cast<int64_t>(st.st_size);
    if (size_ > 0) {
      void* map = ::mmap(nullptr, static_cast<size_t>(size_), PROT_READ, MAP_PRIVATE, fd_, 0);
      if (map != MAP_FAILED) {
        map_ = static_cast<const uint8_t*>(map);
        return;
      }
    }
    // No mapping: the whole file in memory, as far as it can be read.
    data_.resize(static_cast<size_t>(size_));
    size_t got = 0;
    while (got < data_.size()) {
      const ssize_t n = ::read(fd_, data_.data() + got, data_.size() - got);
      if (n < 0 && errno == EINTR) continue;
      if (n <= 0) break;
      got += static_cast<size_t>(n);
    }
    data_.resize(got);  // a file that shrank while we read it
    size_ = static_cast<int64_t>(got);
    return;
  }
  const int exclusive = mode == TFileMode::fmCreateNew ? O_EXCL : O_TRUNC;
  fd_ = ::open(file_name.c_str(), O_WRONLY | O_CREAT | exclusive | O_CLOEXEC, 0666);
  if (fd_ < 0) throw EFileError(Format(msg::kCannotCreateFile, file_name.c_str(), ErrnoText().c_str()));
  data_.reserve(kWriteBufferSize);
}

TFileStream::~TFileStream() {
  ReleaseView();
  if (fd_ >= 0 && mode_ == TFileMode::fmOpenRead) {
    ::close(fd_);
  } else if (fd_ >= 0) {
    try {
      Flush();
    } catch (...) {
      // A destructor cannot report; callers that care call Close().
    }
    ::close(fd_);
  }
}

void TFileStream::ReleaseView() {
  if (map_) ::munmap(const_cast<uint8_t*>(map_), static_cast<size_t>(size_));
  map_ = nullptr;
  if (mode_ == TFileMode::fmOpenRead) {
    view_released_ = true;
    std::string().swap(data_);
  }
}

void TFileStream::TrimView() {
  if (map_) ::madvise(const_cast<uint8_t*>(map_), static_cast<size_t>(size_), MADV_DONTNEED);
}

void TFileStream::Close() {
  if (fd_ < 0) return;
  if (mode_ == TFileMode::fmOpenRead) {
    ReleaseView();
    ::close(fd_);
    fd_ = -1;
    return;
  }
  Flush();
  const int fd = fd_;
  fd_ = -1;
  if (::close(fd) != 0)
    throw EFileError(Format(msg::kWriteError, file_name_.c_str(), ErrnoText().c_str()));
}

void TFileStream::Flush() {
  if (mode_ == TFileMode::fmOpenRead || fd_ < 0 || data_.empty()) return;
  size_t done = 0;
  while (done < data_.size()) {
    const ssize_t n = ::pwrite(fd_, data_.data() + done, data_.size() - done,
                               static_cast<off_t>(buffer_start_ + static_cast<int64_t>(done)));
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) throw EFileError(Format(msg::kWriteError, file_name_.c_str(), ErrnoText().c_str()));
    done += static_cast<size_t>(n);
  }
  buffer_start_ += static_cast<int64_t>(data_.size());
  data_.clear();
}

int64_t TFileStream::GetSize() { return size_; }

void TFileStream::SetSize(int64_t new_size) {
  if (mode_ == TFileMode::fmOpenRead) throw EFileError(msg::kStreamWriteError);
  Flush();
  if (::ftruncate(fd_, static_cast<off_t>(new_size)) != 0)
    throw EFileError(Format(msg::kWriteError, file_name_.c_str(), ErrnoText().c_str()));
  size_ = new_size;
  if (position_ > size_) position_ = size_;
  buffer_start_ = position_;
}

int64_t TFileStream::Read(void* buffer, int64_t count) {
  if (count <= 0 || position_ < 0) return 0;
  if (mode_ == TFileMode::fmOpenRead) {
    if (view_released_) {
      const int64_t n = ReadAt(position_, buffer, count);
      position_ += n;
      return n;
    }
    if (position_ >= size_) return 0;
    const int64_t n = std::min(count, size_ - position_);
    std::memcpy(buffer, (map_ ? map_ : reinterpret_cast<const uint8_t*>(data_.data())) + position_,
                static_cast<size_t>(n));
    position_ += n;
    return n;
  }
  Flush();
  buffer_start_ = position_;
  const ssize_t n = ::pread(fd_, buffer, static_cast<size_t>(count), static_cast<off_t>(position_));
  if (n <= 0) return 0;
  position_ += n;
  buffer_start_ = position_;
  return n;
}

int64_t TFileStream::Write(const void* buffer, int64_t count) {
  if (mode_ == TFileMode::fmOpenRead) throw EFileError(msg::kStreamWriteError);
  if (count <= 0 || position_ < 0) return 0;
  if (position_ != buffer_start_ + static_cast<int64_t>(data_.size())) {
    Flush();
    buffer_start_ = position_;
  }
  if (data_.size() + static_cast<size_t>(count) > kWriteBufferSize) Flush();
  if (static_cast<size_t>(count) >= kWriteBufferSize) {
    // Large blocks go straight to the file.
    const char* p = static_cast<const char*>(buffer);
    int64_t done = 0;
    while (done < count) {
      const ssize_t n = ::pwrite(fd_, p + done, static_cast<size_t>(count - done),
                                 static_cast<off_t>(position_ + done));
      if (n < 0 && errno == EINTR) continue;
      if (n <= 0) throw EFileError(Format(msg::kWriteError, file_name_.c_str(), ErrnoText().c_str()));
      done += n;
    }
    buffer_start_ = position_ + count;
  } else {
    data_.append(static_cast<const char*>(buffer), static_cast<size_t>(count));
  }
  position_ += count;
  size_ = std::max(size_, position_);
  return count;
}

int64_t TFileStream::Seek(int64_t offset, TSeekOrigin origin) {
  position_ = Resolve(offset, origin, position_, size_);
  return position_;
}

TStream::MemoryView TFileStream::View() {
  if (mode_ != TFileMode::fmOpenRead || view_released_) return {};
  return {map_ ? map_ : reinterpret_cast<const uint8_t*>(data_.data()), size_, &position_};
}

int64_t TFileStream::ReadAt(int64_t offset, void* buffer, int64_t count) {
  if (count <= 0 || offset < 0) return 0;
  if (mode_ == TFileMode::fmOpenRead && fd_ < 0) return 0;
  if (mode_ != TFileMode::fmOpenRead) Flush();
  // Through the file, not the mapping: a file that shrank gives a short
  // read here where a mapped page past its end would fault.
  char* out = static_cast<char*>(buffer);
  int64_t done = 0;
  while (done < count) {
    const ssize_t n = ::pread(fd_, out + done, static_cast<size_t>(count - done),
                              static_cast<off_t>(offset + done));
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) break;
    done += n;
  }
  return done;
}

int64_t TFileStream::CopyRangeFrom(TStream& source, int64_t offset, int64_t count) {
  auto* from = dynamic_cast<TFileStream*>(&source);
  if (!from || from->mode_ != TFileMode::fmOpenRead || from->fd_ < 0 ||
      mode_ == TFileMode::fmOpenRead || fd_ < 0 || count <= 0 || offset < 0 || position_ < 0)
    return 0;
  Flush();
  int64_t done = 0;
  while (done < count) {
    loff_t in = static_cast<loff_t>(offset + done);
    loff_t out = static_cast<loff_t>(position_ + done);
    const ssize_t n = ::copy_file_range(from->fd_, &in, fd_, &out,
                                        static_cast<size_t>(count - done), 0);
    if (n < 0 && errno == EINTR) continue;
    // Not possible between these files (another file system, a kernel
    // without it), or the end of the source: what is left goes through
    // the caller's buffer, which reports a short source.
    if (n <= 0) break;
    done += n;
  }
  position_ += done;
  size_ = std::max(size_, position_);
  buffer_start_ = position_;
  return done;
}

}  // namespace pagemint
