// SPDX-License-Identifier: GPL-3.0-or-later
// Parses objects from the input until its end, once plainly and once with a
// decryptor attached, reading stream data after each stream header. After a
// failure it goes on one byte further, so one bad byte does not end the run.
#include <cstdint>
#include <string>
#include <string_view>

#include "pdf/parser/stream_reader.h"

using namespace pagemint;

namespace {

class XorDecryptor : public TgtDecryptor {
 public:
  void DecryptData(std::string& data, int32_t number, int32_t generation) override {
    for (char& c : data) c = static_cast<char>(c ^ (number + generation));
  }
};

int64_t DeclaredLength(const TgtPDFStreamObject& stream) {
  const TgtPDFObject* length = stream.Dictionary().Lookup("/Length");
  if (length && length->IsInteger()) return length->AsInteger().Value();
  if (length && length->IsInt64()) return length->AsInt64().Value();
  return -1;
}

void ReadOne(TgtPDFStreamReader& reader) {
  const TgtPDFObjectPtr object = reader.ReadObject();
  if (!object) {
    reader.ReadByte();  // a stray closing delimiter
    return;
  }
  if (!object->IsIndirect()) return;
  TgtPDFIndirectObject& indirect = object->AsIndirect();
  if (indirect.Content() && indirect.Content()->IsStream()) {
    TgtPDFStreamObject& stream = indirect.Content()->AsStream();
    stream.SetData(
        reader.ReadStreamData(DeclaredLength(stream), indirect.Number(), indirect.Generation()));
  }
  reader.PeekToken();
}

void ParseAll(std::string_view data, TgtDecryptor* decryptor) {
  TMemoryStream source{std::string(data)};
  TgtPDFStreamReader reader(1, &source);
  reader.SetDecryptor(decryptor);
  const int64_t size = reader.Size();
  for (;;) {
    reader.SkipWhitespace();
    const int64_t before = reader.Pos();
    if (before >= size) return;
    try {
      ReadOne(reader);
    } catch (const Exception&) {
    }
    if (reader.Pos() <= before) reader.SetPos(before + 1);
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* bytes, size_t size) {
  const std::string_view data(reinterpret_cast<const char*>(bytes), size);
  ParseAll(data, nullptr);
  XorDecryptor decryptor;
  ParseAll(data, &decryptor);
  return 0;
}
