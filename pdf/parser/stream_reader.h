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
#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include "pdf/objects/pdf_objects.h"
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
  int32_t CurrentObjectNumber() const { return current_number_; }
  int32_t CurrentGeneration() const { return current_generation_; }

  void SkipWhitespace();
  std::string ReadToken();
  std::string PeekToken();
  // Nothing (nullptr) at a closing delimiter.
  TgtPDFObjectPtr ReadObject();
  TgtPDFObjectPtr ReadString();
  TgtPDFObjectPtr ReadArray();
  TgtPDFObjectPtr ReadName();
  TgtPDFObjectPtr ReadDictionary();
  std::unique_ptr<TMemoryStream> ReadStreamData(int64_t length, int32_t number, int32_t generation);

 private:
  uint32_t serial_;
  TgtDecryptor* decryptor_ = nullptr;
  int32_t current_number_ = 0;
  int32_t current_generation_ = 0;
};

}  // namespace pagemint
