// SPDX-License-Identifier: GPL-3.0-or-later
// Byte streams: the abstract stream, a growable memory stream and a file
// stream. Sizes and positions are 64-bit.
//
// A file opened for reading is mapped into memory, so that reading a byte
// never costs a system call and the file's bytes are not copied; a file
// opened for writing is buffered. Streams whose whole content sits in one
// buffer expose it through View(), which lets byte-level readers work on
// the buffer directly. ReadAt reads at an offset without moving the
// position; on a file it is a positioned read (pread), which reports a
// file that shrank as a short read where touching the mapping would fault.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace pagemint {

enum class TSeekOrigin { soBeginning, soCurrent, soEnd };

class TStream {
 public:
  // The bytes of a stream held wholly in memory, and its live position.
  struct MemoryView {
    const uint8_t* data = nullptr;
    int64_t size = 0;
    int64_t* position = nullptr;
    explicit operator bool() const { return position != nullptr; }
  };

  TStream() = default;
  TStream(const TStream&) = delete;
  TStream& operator=(const TStream&) = delete;
  virtual ~TStream() = default;

  virtual int64_t GetSize();
  virtual void SetSize(int64_t new_size);
  virtual int64_t Read(void* buffer, int64_t count) = 0;
  virtual int64_t Write(const void* buffer, int64_t count) = 0;
  virtual int64_t Seek(int64_t offset, TSeekOrigin origin) = 0;
  virtual MemoryView View() { return {}; }
  // Up to count bytes at offset, without moving the position; returns the
  // number read (fewer at the end of the data).
  virtual int64_t ReadAt(int64_t offset, void* buffer, int64_t count);

  int64_t Size() { return GetSize(); }
  int64_t Position() { return Seek(0, TSeekOrigin::soCurrent); }
  void SetPosition(int64_t position) { Seek(position, TSeekOrigin::soBeginning); }

  // Read or write exactly count bytes, or raise.
  void ReadBuffer(void* buffer, int64_t count);
  void WriteBuffer(const void* buffer, int64_t count);
  void WriteString(std::string_view bytes) {
    WriteBuffer(bytes.data(), static_cast<int64_t>(bytes.size()));
  }
  // Copies count bytes from the source's position; a count of 0 copies the
  // whole source from its start. Returns the number of bytes copied.
  int64_t CopyFrom(TStream& source, int64_t count);
  // Copies up to count bytes at source's offset to this stream's position
  // without passing them through the caller's memory (between two files,
  // inside the system). Returns how many were copied; 0 when these two
  // streams cannot do that, and the caller then copies through a buffer.
  virtual int64_t CopyRangeFrom(TStream& source, int64_t offset, int64_t count);
};

// A growable stream in memory. The bytes are a std::string so that they
// can be handed over to byte-string code without a copy.
class TMemoryStream : public TStream {
 public:
  TMemoryStream() = default;
  explicit TMemoryStream(std::string bytes) : data_(std::move(bytes)) {}

  int64_t GetSize() override { return static_cast<int64_t>(data_.size()); }
  void SetSize(int64_t new_size) override;
  int64_t Read(void* buffer, int64_t count) override;
  int64_t Write(const void* buffer, int64_t count) override;
  int64_t Seek(int64_t offset, TSeekOrigin origin) override;
  MemoryView View() override {
    return {reinterpret_cast<const uint8_t*>(data_.data()), static_cast<int64_t>(data_.size()),
            &position_};
  }
  int64_t ReadAt(int64_t offset, void* buffer, int64_t count) override;

  const char* Memory() const { return data_.data(); }
  char* Memory() { return data_.data(); }
  const std::string& Bytes() const { return data_; }
  // Hands the bytes over and leaves the stream empty at position 0.
  std::string TakeBytes();
  void Clear() {
    data_.clear();
    position_ = 0;
  }
  void LoadFromFile(const std::string& file_name);
  void SaveToFile(const std::string& file_name);

 private:
  std::string data_;
  int64_t position_ = 0;
};

// fmCreate replaces a file of that name; fmCreateNew fails when one exists
// (for temporary files that must not take over someone else's).
enum class TFileMode { fmOpenRead, fmCreate, fmCreateNew };

// A file: mapped on open (reading mode), or written through a buffer
// (create mode, which creates or truncates the file).
//
// Reading mode keeps the file open until the stream is destroyed. The
// mapping serves View() and Read(); where mapping is not possible (an
// empty file, a file system without it) the file is read into memory
// instead. The mapping can be dropped (ReleaseView) once nothing parses
// the file any more: ReadAt then still works, through pread. Touching a
// mapped page of a file that was truncated meanwhile raises SIGBUS, so
// code that reads a file long after opening it uses ReadAt, never View().
class TFileStream : public TStream {
 public:
  TFileStream(const std::string& file_name, TFileMode mode);
  ~TFileStream() override;

  int64_t GetSize() override;
  void SetSize(int64_t new_size) override;
  int64_t Read(void* buffer, int64_t count) override;
  int64_t Write(const void* buffer, int64_t count) override;
  int64_t Seek(int64_t offset, TSeekOrigin origin) override;
  MemoryView View() override;
  int64_t ReadAt(int64_t offset, void* buffer, int64_t count) override;
  // Writing mode, from a file in reading mode: through copy_file_range.
  int64_t CopyRangeFrom(TStream& source, int64_t offset, int64_t count) override;
  // Unmaps the file (reading mode); View() is empty from then on.
  void ReleaseView();
  // Lets the system drop the mapped pages read so far from this process's
  // memory (they stay in the page cache and come back when touched), so
  // that reading a large file does not keep all of it resident.
  void TrimView();

  const std::string& FileName() const { return file_name_; }
  // Writes out the buffer and closes the file, raising on any failure
  // (a full disk shows here, not in the destructor).
  void Close();

 private:
  void Flush();

  std::string file_name_;
  TFileMode mode_;
  int fd_ = -1;
  std::string data_;       // reading without a mapping: the whole file; writing: the pending buffer
  const uint8_t* map_ = nullptr;  // reading: the mapped file (size_ bytes), or nullptr
  bool view_released_ = false;
  int64_t buffer_start_ = 0;  // writing: file offset of data_[0]
  int64_t position_ = 0;
  int64_t size_ = 0;       // writing: logical size including the buffer
};

}  // namespace pagemint
