// SPDX-License-Identifier: GPL-3.0-or-later
// The lexer and object parser.
//
// Grammar accepted, one object at a time from the current position:
//   object     := boolean | number | string | name | array | dict | "null"
//               | int int "R"                     (reference, by look-ahead)
//               | int int "obj" object ["stream"] (indirect object header)
//   string     := "(" literal bytes, nested parentheses, escapes ")"
//               | "<" hex digits and white space ">"
//   name       := "/" bytes up to a name-stop byte, "#xx" kept undecoded
//   array      := "[" object* "]"
//   dict       := "<<" (name object)* ">>"
// White space is 0, 9, 10, 13, 32; "%" starts a comment up to CR or LF.
// Character classes are our own tables, never <cctype> (it is locale
// dependent).
//
// Every scan stops at the end of the data: an object cut off there fails
// with EUnexpectedEndError, and containers nested deeper than
// kMaxObjectNesting fail with ENestingTooDeepError instead of exhausting the
// stack.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>

#include "pdf/limits.h"
#include "pdf/objects/pdf_objects.h"
#include "pdf/parser/char_classes.h"
#include "pdf/parser/decryptor.h"
#include "pdf/streams/stream_wrappers.h"
#include "platform/exception.h"

namespace pagemint {

PAGEMINT_EXCEPTION(EStringReadError, Exception);
PAGEMINT_EXCEPTION(EArrayReadError, Exception);
PAGEMINT_EXCEPTION(ENameReadError, Exception);
PAGEMINT_EXCEPTION(EDictionaryReadError, Exception);
PAGEMINT_EXCEPTION(EBooleanError, Exception);
PAGEMINT_EXCEPTION(ENullObjectError, Exception);
PAGEMINT_EXCEPTION(EStreamReadError, Exception);
PAGEMINT_EXCEPTION(EEndStreamError, Exception);
// The data ended where more was needed, or nesting went too deep.
PAGEMINT_EXCEPTION(EUnexpectedEndError, Exception);
PAGEMINT_EXCEPTION(ENestingTooDeepError, Exception);

class TgtPDFStreamReader : public TgtRandomAccessFilter {
 public:


  // The source is not owned.
  TgtPDFStreamReader(uint32_t serial, TStream* source);

  uint32_t Serial() const { return serial_; }
  TgtDecryptor* Decryptor() const { return decryptor_; }
  void SetDecryptor(TgtDecryptor* decryptor) { decryptor_ = decryptor; }
  // While repairing (a damaged file, after the user has been warned), a
  // dictionary item where a key should be is passed over, a word where a
  // value should be, a key without a value and a reference with damaged
  // numbers read as null, an array cut off by another closing delimiter
  // ends there, an array or dictionary that runs into "endobj", "stream"
  // or the next object's header ends there, and a hex string ends at its
  // first byte that is not a hex digit, as many times as Repairs() counts;
  // otherwise each is an error.
  void SetRepairing(bool on) { repairing_ = on; }
  int32_t Repairs() const { return repairs_; }
  bool Repairing() const { return repairing_; }
  int32_t CurrentObjectNumber() const { return current_number_; }
  int32_t CurrentGeneration() const { return current_generation_; }

  void SkipWhitespace() {
    // Most calls find nothing to skip: answer those without a call.
    if (view_) {
      const int64_t p = *view_.position;
      if (p >= 0 && p < view_.size && !chars::Is(view_.data[p], chars::kWhite) &&
          view_.data[p] != '%')
        return;
    }
    SkipWhitespaceAndComments();
  }
  // Empty at the end of the data.
  std::string ReadToken();
  std::string PeekToken();
  // Nothing (nullptr) at a closing delimiter.
  TgtPDFObjectPtr ReadObject();
  TgtPDFObjectPtr ReadString();
  TgtPDFObjectPtr ReadArray();
  TgtPDFObjectPtr ReadName();
  TgtPDFObjectPtr ReadDictionary();
  // The data of a stream: "stream", end of line, the data, "endstream",
  // read from the position (just after the stream's dictionary), with the
  // length checked against where "endstream" really is. ReadStreamData
  // copies the data (decrypted); ReadStreamExtent only finds where it lies
  // and leaves the position after "endstream" either way.
  struct DataExtent {
    int64_t start = 0;
    int64_t size = 0;
  };
  DataExtent ReadStreamExtent(int64_t length);
  // The dictionary (nullptr when unknown) picks the stream's crypt filter.
  std::unique_ptr<TMemoryStream> ReadStreamData(int64_t length, int32_t number, int32_t generation,
                                                const TgtPDFDictObject* dictionary = nullptr);

 private:
  class NestingGuard;
  // Counts the arrays and dictionaries open for as long as it lives.
  struct ContainerGuard {
    explicit ContainerGuard(TgtPDFStreamReader& reader) : count(reader.containers_) { ++count; }
    ~ContainerGuard() { --count; }
    ContainerGuard(const ContainerGuard&) = delete;
    ContainerGuard& operator=(const ContainerGuard&) = delete;
    int& count;
  };

  void SkipWhitespaceAndComments();
  bool StreamKeywordFollows();
  bool ObjectEndFollows();

  // The size of the data, and whether the position lies inside it (a
  // position before the start counts as outside, so no scan can stall
  // there).
  int64_t DataSize() const { return view_ ? view_.size : cached_size_; }
  bool More() const { return static_cast<uint64_t>(Pos()) < static_cast<uint64_t>(DataSize()); }
  // Advance while the next byte has one of the class bits in mask
  // (SkipClass) or none of them (SkipUntil); both stop at the end.
  void SkipClass(uint8_t mask) {
    if (view_) {
      int64_t p = *view_.position;
      if (p < 0) return;
      while (p < view_.size && chars::Is(view_.data[p], mask)) ++p;
      *view_.position = p;
      return;
    }
    while (More() && chars::Is(PeekByte(), mask)) ReadByte();
  }
  void SkipUntil(uint8_t mask) {
    if (view_) {
      int64_t p = *view_.position;
      if (p < 0) return;
      while (p < view_.size && !chars::Is(view_.data[p], mask)) ++p;
      *view_.position = p;
      return;
    }
    while (More() && !chars::Is(PeekByte(), mask)) ReadByte();
  }
  // The bytes [from, to) of the data: a view of the buffer when there is
  // one, otherwise read into scratch. The position is left at to.
  std::string_view Range(int64_t from, int64_t to, std::string& scratch);
  void AppendRange(std::string& out, int64_t from, int64_t to);
  // Reads the next token into a view (see Range) without the skip after it.
  std::string_view ScanToken(std::string& scratch);
  // Consumes up to word.size() bytes; true when they spell word.
  bool ReadKeyword(std::string_view word);
  bool BytesAt(int64_t offset, std::string_view word);

  // A token's text [start, end) and where the white space after it ends.
  struct TokenSpan {
    int64_t start = -1;
    int64_t end = -1;
    int64_t next = -1;
  };
  // Scans a token and the white space after it, from the position.
  TokenSpan ScanTokenSpan();
  std::string_view SpanText(const TokenSpan& span, std::string& scratch);

  TgtPDFObjectPtr ReadNumberOrHeader();
  bool SkipDamagedEntry();
  bool KeywordToken(std::string_view word);
  TgtPDFObjectPtr ReadDamagedWord();
  // While repairing inside a container: the next word ends the object.
  bool EndsContainer();
  bool HeaderFollows();
  bool StringFollows();
  TgtPDFObjectPtr ReadPlainString();
  void DecryptContentsUnlessSigned(TgtPDFDictObject& dictionary);
  TgtPDFObjectPtr StringObject(std::string body, bool hex);
  TgtPDFObjectPtr ReadIndirectObject(std::string_view number, std::string_view generation);
  TgtPDFObjectPtr ConvertNumber(std::string_view token);
  // A string's text up to the delimiter that closes it; special holds the
  // class bits of open, close and the backslash.
  void ReadRawText(uint8_t open, uint8_t close, uint8_t special, std::string& raw);
  void ReadHexText(std::string& raw);
  // Where the stream data that starts at start really ends, or -1 when no
  // "endstream" is found. While repairing, an "endstream" that was lost
  // (an "endobj" comes first) gives the declared end, and sets
  // end_stream_lost.
  int64_t FindDataEnd(int64_t start, int64_t declared, bool& end_stream_lost);
  // The first "endstream" starting in [from, last], or the last one
  // starting in [first, from]; -1 when there is none.
  int64_t FindEndStream(int64_t from, int64_t last);
  int64_t FindLastEndStream(int64_t first, int64_t from);

  uint32_t serial_;
  TgtDecryptor* decryptor_ = nullptr;
  int32_t current_number_ = 0;
  int32_t current_generation_ = 0;
  int depth_ = 0;
  int containers_ = 0;
  bool repairing_ = false;
  int32_t repairs_ = 0;
  // The look-ahead tokens of the last number read (see ReadNumberOrHeader).
  TokenSpan lookahead_[2];
};

}  // namespace pagemint
