// SPDX-License-Identifier: GPL-3.0-or-later
// The written form of PDF objects, byte for byte, as a saved file holds it.
//
//   boolean    true | false
//   number     -12  |  612.0  |  0.00048828125 (reals: shortest exact digits)
//   name       /Type                           (stored text, unchanged)
//   string     (escaped bytes) | <hex digits>  | <HEX OF ENCRYPTED BYTES>
//   array      "[ " (item " ")* "]"
//   dict       "<<" CRLF (key " " value CRLF)* [/Parent line] ">>"
//   stream     dict CRLF "stream" CRLF data CRLF "endstream"
//   reference  N " 0 R" | "null"               (N: the target's new number)
//   indirect   CRLF N " 0 obj" CRLF content CRLF "endobj" CRLF
// A signature dictionary's /Contents string (the dictionary has /ByteRange)
// is written as held even when strings are encrypted.
//
// Everything is appended to one caller-owned std::string, so an object's
// whole text is built once with no temporary strings per item.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>

#include "pdf/limits.h"
#include "pdf/objects/pdf_objects.h"

namespace pagemint {

// An object tree nested deeper than kMaxTextNesting cannot be written.
PAGEMINT_EXCEPTION(EObjectNestingError, EPDFException);


// The number under which nothing is encrypted: the trailer's /ID array and
// the encryption dictionary are written with it.
inline constexpr int32_t kNoEncryption = -1;

// What the text builder needs from the writer. The defaults write every
// object as held, without encryption and without "/Parent" lines.
class TgtTextContext {
 public:
  virtual ~TgtTextContext() = default;

  // The new number under which the reference's target is written; 0 (or
  // less) when the target is unknown or not written: the reference is then
  // written as "null".
  virtual int32_t TargetNumber(const TgtPDFIndirectReference& reference) const = 0;

  // The generation written with a reference to the target: 0 in a file
  // written whole (every object is numbered afresh); the source's own when
  // objects keep their numbers (an update appended to the source).
  virtual int32_t TargetGeneration(const TgtPDFIndirectReference& reference) const {
    (void)reference;
    return 0;
  }

  // The new number of the page-tree root. When it is above 0, a dictionary
  // whose /Type is /Page gets the line "/Parent <root> 0 R" after its entries
  // (and any /Parent entry of its own is left out, so the key stays unique).
  virtual int32_t PageTreeRoot() const { return 0; }

  // Whether strings and stream data inside the object written under number
  // are encrypted. Never asked for kNoEncryption.
  virtual bool Encrypts(int32_t number) const {
    (void)number;
    return false;
  }
  // Encrypts size bytes in place for object number, generation 0: the
  // default of EncryptTail, for ciphers that keep the size.
  virtual void EncryptBytes(int32_t number, char* data, size_t size) const {
    (void)number;
    (void)data;
    (void)size;
  }
  // How many bytes size bytes of a string (stream nullptr) or of the data
  // of a stream with that dictionary become once encrypted for number.
  virtual size_t EncryptedSize(int32_t number, size_t size, const TgtPDFDictObject* stream) const {
    (void)number;
    (void)stream;
    return size;
  }
  // Encrypts out[start, end) for object number, generation 0: a string
  // (stream nullptr) or a stream's data; out then ends after
  // EncryptedSize bytes from start. Called once per string and once per
  // stream, and only when Encrypts(number).
  virtual void EncryptTail(int32_t number, std::string& out, size_t start,
                           const TgtPDFDictObject* stream) const {
    (void)stream;
    EncryptBytes(number, out.data() + start, out.size() - start);
  }

  // Lets the writer replace a stream's stored data by the data to write
  // (compression, ASCII encoding). Returns false to write the data as held.
  // When it returns true, data holds the bytes to write and, unless it is
  // left empty, dictionary the dictionary to write in place of the stream's
  // own (with its /Filter and /Length fixed). Encryption comes afterwards.
  virtual bool EncodeStream(const TgtPDFStreamObject& stream, std::string& data,
                            std::unique_ptr<TgtPDFDictObject>& dictionary) const {
    (void)stream;
    (void)data;
    (void)dictionary;
    return false;
  }

  // Lets the writer give a stream that is written as held a dictionary of
  // its own, for example one whose /Length states the size of the data
  // written. size is the number of data bytes written. nullptr keeps the
  // stream's own dictionary.
  virtual std::unique_ptr<TgtPDFDictObject> StreamDictionary(const TgtPDFStreamObject& stream,
                                                             size_t size) const {
    (void)stream;
    (void)size;
    return nullptr;
  }
};

// Appends the written form of object. number is the new number of the
// indirect object the text belongs to: strings and stream data are
// encrypted for it when the context says so; kNoEncryption encrypts
// nothing. A missing object (nullptr) appends nothing; a missing value
// inside an array, a dictionary or an indirect object is written "null".
// Without a context, references keep their own numbers (generation 0) and
// nothing is encrypted: for text that is not part of a renumbered file.
// An indirect object is framed with its own number and encrypted for it.
// Raises EObjectNestingError beyond kMaxTextNesting levels.
void AppendObjectText(std::string& out, const TgtPDFObject* object, const TgtTextContext* context,
                      int32_t number = kNoEncryption);

// Appends CR LF, "<number> 0 obj", CR LF, the content's text (encrypted for
// number), CR LF, "endobj", CR LF. For objects the writer builds afresh
// (the catalog, the information dictionary) as well as store objects.
void AppendIndirectObjectText(std::string& out, int32_t number, const TgtPDFObject* content,
                              const TgtTextContext* context);

// The written form as a new string (tests, diagnostics, small values).
std::string ObjectText(const TgtPDFObject* object, const TgtTextContext* context,
                       int32_t number = kNoEncryption);

// A real in plain decimal notation with the fewest digits that read back
// as the same double, and at least one digit after the point: 612.0,
// 0.00048828125, -0.001, 0.3333333333333333. NaN is written 0.0;
// magnitudes above 3.4028234663852886e38 (the largest 32-bit float, infinity
// included) are written as that value, nonzero magnitudes below
// 1.1754943508222875e-38 as 0.0. At most 57 characters.
std::string FormatReal(double value);
void AppendReal(std::string& out, double value);

// A name's text (starting with the slash) as valid syntax: bytes a name
// cannot hold as they are become "#xx" escapes; text without the slash is
// appended verbatim.
void AppendName(std::string& out, std::string_view text);

// The bytes of a literal string escaped for writing between parentheses:
// \b \t \n \f \r \( \) \\ ; every other byte is copied unchanged.
std::string EscapeLiteralString(std::string_view bytes);
void AppendEscapedLiteral(std::string& out, std::string_view bytes);

// Whether a stream's /Length value (already followed, when it was a
// reference) gives size: the writers keep such a dictionary as it is and
// write a new /Length only when it does not.
inline bool LengthGives(const TgtPDFObject* length, size_t size) {
  if (length && length->IsInteger() && length->AsInteger().Value() >= 0)
    return static_cast<size_t>(length->AsInteger().Value()) == size;
  if (length && length->IsInt64() && length->AsInt64().Value() >= 0)
    return static_cast<uint64_t>(length->AsInt64().Value()) == size;
  return false;
}

}  // namespace pagemint
