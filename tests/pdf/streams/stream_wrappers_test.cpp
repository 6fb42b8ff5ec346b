// SPDX-License-Identifier: GPL-3.0-or-later
#include "pdf/streams/stream_wrappers.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <limits>

namespace pagemint {
namespace {

// A stream without a buffer view, so the wrappers take their call-through
// path instead of working on the buffer.
class PlainStream : public TStream {
 public:
  explicit PlainStream(std::string bytes) : data_(std::move(bytes)) {}
  int64_t GetSize() override { return static_cast<int64_t>(data_.size()); }
  int64_t Read(void* buffer, int64_t count) override {
    const int64_t size = GetSize();
    if (count <= 0 || pos_ < 0 || pos_ >= size) return 0;
    const int64_t n = std::min(count, size - pos_);
    std::memcpy(buffer, data_.data() + pos_, static_cast<size_t>(n));
    pos_ += n;
    return n;
  }
  int64_t Write(const void* buffer, int64_t count) override {
    data_.append(static_cast<const char*>(buffer), static_cast<size_t>(count));
    pos_ = GetSize();
    return count;
  }
  int64_t Seek(int64_t offset, TSeekOrigin origin) override {
    if (origin == TSeekOrigin::soBeginning) pos_ = offset;
    if (origin == TSeekOrigin::soCurrent) pos_ += offset;
    if (origin == TSeekOrigin::soEnd) pos_ = GetSize() + offset;
    return pos_;
  }

 private:
  std::string data_;
  int64_t pos_ = 0;
};

// Every read-wrapper test runs over a memory stream (buffer path) and over
// a stream without a view (call-through path); both must behave alike.
class ReadWrapper : public ::testing::TestWithParam<bool> {
 protected:
  std::unique_ptr<TStream> Make(std::string bytes) {
    if (GetParam()) return std::make_unique<TMemoryStream>(std::move(bytes));
    return std::make_unique<PlainStream>(std::move(bytes));
  }
};

INSTANTIATE_TEST_SUITE_P(BufferAndCallThrough, ReadWrapper, ::testing::Bool());

TEST_P(ReadWrapper, SeekToMinusOneReturnsMinusOneAndStays) {
  auto s = Make("0123456789");
  TgtReadOnlyFilter f(s.get());
  f.SetPosition(4);
  for (const TSeekOrigin origin :
       {TSeekOrigin::soBeginning, TSeekOrigin::soCurrent, TSeekOrigin::soEnd}) {
    EXPECT_EQ(f.Seek(-1, origin), -1);
    EXPECT_EQ(f.Position(), 4);
    EXPECT_EQ(s->Position(), 4);
  }
  EXPECT_EQ(f.Seek(-2, TSeekOrigin::soEnd), 8);
  EXPECT_EQ(f.Seek(-3, TSeekOrigin::soCurrent), 5);
}

TEST_P(ReadWrapper, PeekByteSetsEndOfDataOnlyOnTheLastByteAndNeverMoves) {
  auto s = Make("abc");
  TgtRandomAccessFilter f(s.get());
  struct Case {
    int64_t position;
    uint8_t byte;
    bool end_of_data;
  };
  const Case cases[] = {{0, 'a', false}, {1, 'b', false}, {2, 'c', true}, {3, 0, true}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.position);
    f.SetPos(c.position);
    EXPECT_EQ(f.PeekByte(), c.byte);
    EXPECT_EQ(f.EndOfData(), c.end_of_data);
    // Also at the end: stepping back there would make the last byte be
    // read a second time.
    EXPECT_EQ(f.Pos(), c.position);
  }
}

TEST_P(ReadWrapper, PeekBytesPastTheEndKeepsLengthAndPosition) {
  auto s = Make("hello");
  TgtReadOnlyFilter f(s.get());
  f.SetPos(3);
  const std::string peeked = f.PeekBytes(6);
  EXPECT_EQ(peeked.size(), 6u);
  EXPECT_EQ(peeked.substr(0, 2), "lo");
  EXPECT_EQ(f.Pos(), 3);
  const std::string read = f.ReadBytes(6);
  EXPECT_EQ(read.size(), 6u);
  EXPECT_EQ(read.substr(0, 2), "lo");
  EXPECT_EQ(f.Pos(), 5);
  EXPECT_EQ(f.PeekBytes(0), "");
}

TEST_P(ReadWrapper, ByteStepsAndSkipsShareThePositionWithTheWrappedStream) {
  auto s = Make("xyz");
  TgtRandomAccessFilter f(s.get());
  EXPECT_EQ(f.ReadByte(), 'x');
  EXPECT_EQ(f.ReadByte(), 'y');
  f.StepBack();
  EXPECT_EQ(s->Position(), 1);
  f.Skip(2);
  EXPECT_TRUE(f.AtEnd());
  EXPECT_EQ(f.ReadByte(), 0);  // nothing left: nothing read, no move
  EXPECT_EQ(f.Pos(), 3);
  s->SetPosition(0);  // a seek on the wrapped stream shows through the wrapper
  EXPECT_EQ(f.Position(), 0);
  f.Skip(-1);
  EXPECT_EQ(f.Pos(), -1);
}

TEST(Wrappers, NullStreamsAreRefused) {
  for (auto make : {+[] { TgtReadOnlyFilter f(nullptr); }, +[] { TgtWriteOnlyFilter f(nullptr); },
                    +[] { TgtRandomAccessFilter f(nullptr); }}) {
    try {
      make();
      ADD_FAILURE() << "no exception";
    } catch (const EInvalidStream& e) {
      EXPECT_STREQ(e.what(), "Invalid Stream! Cannot create with null stream");
    }
  }
}

TEST(Wrappers, WrongDirectionRaisesWithTheSameMessageBothWays) {
  TMemoryStream m("data");
  TgtReadOnlyFilter reader(&m);
  TgtWriteOnlyFilter writer(&m);
  char buf[4];
  try {
    reader.Write("x", 1);
    ADD_FAILURE() << "write through the read wrapper";
  } catch (const EReadError& e) {
    EXPECT_STREQ(e.what(), "A write-only filter cannot read");
  }
  try {
    writer.Read(buf, 1);
    ADD_FAILURE() << "read through the write wrapper";
  } catch (const EReadError& e) {
    EXPECT_STREQ(e.what(), "A write-only filter cannot read");
  }
  // Both belong to the wrappers' own exception family.
  EXPECT_THROW(reader.Write("x", 1), TgtException);
  EXPECT_EQ(m.Bytes(), "data");
}

TEST(Wrappers, WriteWrapperPassesWritesAndSeeksThrough) {
  TMemoryStream m;
  TgtWriteOnlyFilter w(&m);
  w.WriteString("%PDF-1.4\r\n");
  EXPECT_EQ(w.Size(), 10);
  w.Seek(1, TSeekOrigin::soBeginning);
  w.WriteString("p");
  EXPECT_EQ(m.Bytes(), "%pDF-1.4\r\n");
  EXPECT_EQ(w.Seek(-1, TSeekOrigin::soEnd), 9);  // -1 is an ordinary offset here
}

}  // namespace
}  // namespace pagemint
