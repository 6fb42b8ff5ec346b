// SPDX-License-Identifier: GPL-3.0-or-later
#include "pdf/reader/object_loader.h"

#include <algorithm>

#include "pdf/limits.h"
#include "pdf/objects/pdf_exceptions.h"
#include "platform/messages.h"
#include "platform/numbers.h"

namespace pagemint {
namespace {

// Every this many objects read, the source's pages read so far are let go
// from resident memory (a power of two).
constexpr int64_t kTrimInterval = 8192;

bool IsDestinationKey(const std::string& key) { return key == "/Dest" || key == "/D"; }

}  // namespace

int32_t TgtObjectLoader::FindObjectOffset(int32_t number) const {
  if (const TgtXRefItem* item = state_.classic_table.At(number); item && item->offset != 0)
    return item->offset;
  if (const TgtXRefStmItem* item = state_.stream_table.At(number); item && item->type == 1)
    return item->field2;
  return 0;
}

std::unique_ptr<TgtPDFIndirectObject> TgtObjectLoader::ReadObjectAt() {
  TgtPDFStreamReader* reader = state_.reader.get();
  if (!reader) return nullptr;
  const int64_t position = reader->Pos();
  if (position <= 0 || position >= reader->CachedSize()) return nullptr;
  TgtPDFObjectPtr object;
  try {
    object = reader->ReadObject();
  } catch (const Exception& e) {
    object = ReadEmptyObject(position, reader->Repairing() ? e.what() : nullptr);
    if (!object) throw;
  }
  if (!object || !object->IsIndirect())
    throw EPDFFileCorruptedError(Format(msg::kNoObjectAtOffset, static_cast<long long>(position)));
  std::unique_ptr<TgtPDFIndirectObject> indirect(
      static_cast<TgtPDFIndirectObject*>(object.release()));
  if (indirect->Content() && indirect->Content()->IsStream())
    ReadStreamData(*indirect, reader->Pos());
  return indirect;
}

// "n g obj endobj": an object with nothing in it stands for null. The
// parser refuses it, so it is recognised here once parsing has failed.
// While repairing (problem is then what the parser raised), any object
// whose header is sound but whose content cannot be parsed stands for
// null as well, with a warning.
TgtPDFObjectPtr TgtObjectLoader::ReadEmptyObject(int64_t position, const char* problem) {
  TgtPDFStreamReader& reader = *state_.reader;
  reader.SetPos(position);
  reader.SkipWhitespace();
  int32_t number = 0, generation = 0;
  if (!TryStrToInt(reader.ReadToken(), number) || !TryStrToInt(reader.ReadToken(), generation) ||
      reader.ReadToken() != "obj" || generation < 0 || generation > 65535)
    return nullptr;
  if (reader.PeekToken() != "endobj") {
    if (!problem) return nullptr;
    PAGEMINT_REPORT_WARNING(reporter_, msg::kDamagedObjectNull, number, problem);
  }
  return std::make_unique<TgtPDFIndirectObject>(state_.serial, number,
                                                static_cast<uint16_t>(generation),
                                                std::make_unique<TgtPDFNullObject>());
}

std::unique_ptr<TgtPDFIndirectObject> TgtObjectLoader::ReadObjectNumber(int32_t number) {
  const int32_t offset = FindObjectOffset(number);
  if (offset <= 0 || !state_.reader) return nullptr;
  state_.reader->SetPos(offset);
  std::unique_ptr<TgtPDFIndirectObject> object = ReadObjectAt();
  if (object && object->Number() != number)
    throw EPDFFileCorruptedError(Format(msg::kObjectNotAtOffset, number, offset));
  // The objects are in memory now; the file's pages they were read from
  // need not stay resident as well (a document of many small objects
  // would otherwise hold its whole file on top of its objects).
  if ((++objects_read_ & (kTrimInterval - 1)) == 0 && state_.source) state_.source->TrimView();
  reporter_.LoadProgress(
      objects_read_,
      std::max<int64_t>(1, std::max(state_.classic_table.SlotCount(), state_.stream_table.SlotCount())));
  return object;
}

void TgtObjectLoader::LoadLength(TgtPDFObject* length) {
  if (!length || !length->IsReference() || length_depth_ >= kMaxLengthDepth) return;
  ++length_depth_;
  try {
    LoadReference(length->AsReference());
  } catch (...) {
    --length_depth_;
    throw;
  }
  --length_depth_;
}

// Reads the data of a stream whose dictionary ended at after_dictionary:
// with /Length, or with /Length1 when that fails; without either the
// stream keeps no data.
void TgtObjectLoader::ReadStreamData(TgtPDFIndirectObject& object, int64_t after_dictionary) {
  TgtPDFStreamReader& reader = *state_.reader;
  TgtPDFStreamObject& stream = object.Content()->AsStream();
  TgtPDFDictObject& dictionary = stream.Dictionary();
  const TgtPDFObject* type = dictionary.Lookup("/Type");
  // Cross-reference streams are never encrypted.
  const bool is_xref = type && type->IsName() && type->AsName().Text() == "/XRef";
  TgtDecryptor* decryptor = reader.Decryptor();
  if (is_xref) reader.SetDecryptor(nullptr);
  struct RestoreDecryptor {
    TgtPDFStreamReader& reader;
    TgtDecryptor* decryptor;
    ~RestoreDecryptor() { reader.SetDecryptor(decryptor); }
  } restore{reader, decryptor};

  if (!is_xref) LoadLength(dictionary.Lookup("/Length"));
  auto read_with = [&](const char* key) {
    reader.SetPos(after_dictionary);
    const TgtPDFIntegerObject* length = state_.store->FollowAs<TgtPDFIntegerObject>(dictionary.Lookup(key));
    if (!length || length->Value() < 0) return false;
    if (!state_.source) {
      stream.SetData(reader.ReadStreamData(length->Value(), object.Number(), object.Generation(),
                                           &dictionary));
      return true;
    }
    // The data stays in the source until something needs it.
    const TgtPDFStreamReader::DataExtent found = reader.ReadStreamExtent(length->Value());
    TgtStreamExtent extent;
    extent.source = state_.source;
    extent.offset = found.start;
    extent.length = found.size;
    extent.number = object.Number();
    extent.generation = object.Generation();
    extent.encrypted = reader.Decryptor() != nullptr && found.size > 0;
    stream.SetExtent(std::move(extent));
    return true;
  };
  try {
    if (read_with("/Length")) return;
  } catch (const Exception&) {
  }
  if (read_with("/Length1")) return;
  PAGEMINT_REPORT_WARNING(reporter_, msg::kStreamWithoutData, object.Number());
  // No data is no encoded data: the filters would not decode it.
  dictionary.Remove("/Filter");
  dictionary.Remove("/DecodeParms");
}

TgtPDFIndirectObject* TgtObjectLoader::LoadOne(const TgtPDFIndirectReference& reference) {
  const int32_t number = reference.Number();
  if (number <= 0) {
    PAGEMINT_REPORT_WARNING(reporter_, msg::kInvalidObjectNumber, number);
    return nullptr;
  }
  TgtPDFObjectStore& store = *state_.store;
  const int32_t index = store.IndexOf(reference.Serial(), number, reference.Generation());
  if (index >= 0) {
    // An object taken out of an object stream is walked the first time a
    // walk reaches it.
    TgtPDFIndirectObject* found = store.ItemAt(index);
    return unwalked_.Erase(index) ? found : nullptr;
  }
  if (reference.Generation() != 0 && store.IsRegistered(reference.Serial(), number) != -1)
    return nullptr;
  if (!read_numbers_.Insert(number)) return nullptr;
  std::unique_ptr<TgtPDFIndirectObject> object = ReadObjectNumber(number);
  if (!object) return nullptr;
  TgtPDFIndirectObject* registered = store.Add(std::move(object));
  if (registered->Generation() == reference.Generation()) return registered;
  // Found under another generation than asked for: a reference with that
  // generation walks it later.
  unwalked_.Insert(store.Count() - 1);
  return nullptr;
}

void TgtObjectLoader::LoadReference(const TgtPDFIndirectReference& reference) {
  if (TgtPDFIndirectObject* object = LoadOne(reference)) LoadReferencedObjects(object->Content());
}

void TgtObjectLoader::ReplaceNamedDestinations(TgtPDFDictObject& dictionary) {
  const TgtNamedDestinations* table = state_.destinations.get();
  if (!table) return;
  for (int32_t i = 0; i < dictionary.Count(); ++i) {
    const TgtPDFObject* value = dictionary.ValueAt(i);
    if (!value || !IsDestinationKey(dictionary.KeyAt(i)->Text())) continue;
    std::string name;
    if (value->IsString())
      name = value->AsString().Value();
    else if (value->IsName())
      name = value->AsName().PlainName();
    else
      continue;
    if (TgtPDFObjectPtr destination = table->Find(name))
      dictionary.PutValueAt(i, std::move(destination));
  }
}

// A depth-first walk in the order of the entries, kept on an explicit
// work list: each item is handled when it is taken from the list, so
// objects are registered in the same order as a recursive walk would.
void TgtObjectLoader::LoadReferencedObjects(TgtPDFObject* start) {
  // One list serves every walk, nested ones included (reading a stream can
  // load its /Length): each walk works above the entries it found there.
  std::vector<WalkItem>& work = walk_;
  const size_t base = work.size();
  work.push_back({start, false});
  try {
    WalkFrom(base);
  } catch (...) {
    work.resize(base);
    throw;
  }
}

void TgtObjectLoader::WalkFrom(size_t base) {
  std::vector<WalkItem>& work = walk_;
  while (work.size() > base) {
    const WalkItem item = work.back();
    work.pop_back();
    TgtPDFObject* object = item.object;
    if (!object) continue;
    switch (object->Tag()) {
      case otArray: {
        const TgtPDFArrayObject& array = object->AsArray();
        for (int32_t i = array.Count() - 1; i >= 0; --i) work.push_back({array.ItemAt(i), true});
        break;
      }
      case otDictionary: {
        TgtPDFDictObject& dictionary = object->AsDictionary();
        ReplaceNamedDestinations(dictionary);
        for (int32_t i = dictionary.Count() - 1; i >= 0; --i) {
          TgtPDFObject* value = dictionary.ValueAt(i);
          if (value && !value->IsStream()) work.push_back({value, false});
        }
        break;
      }
      case otStream:
        if (item.in_array)
          ReportWarning(reporter_, msg::kStreamInsideArray);
        else
          work.push_back({&object->AsStream().Dictionary(), false});
        break;
      case otReference:
        if (TgtPDFIndirectObject* loaded = LoadOne(object->AsReference()))
          work.push_back({loaded->Content(), false});
        break;
      case otIndirect:
        work.push_back({object->AsIndirect().Content(), false});
        break;
      default:
        break;
    }
  }
}

TgtTakenObject TgtObjectLoader::TakeObject(int32_t number, bool register_read) {
  TgtTakenObject taken;
  if (const int32_t index = state_.store->IsRegistered(state_.serial, number); index != -1) {
    taken.object = state_.store->ItemAt(index);
    return taken;
  }
  taken.owned = ReadObjectNumber(number);
  taken.object = taken.owned.get();
  if (register_read && taken.owned) taken.object = state_.store->Add(std::move(taken.owned));
  return taken;
}

TgtResolved<TgtPDFObject> TgtObjectLoader::Resolve(TgtPDFObject* object, bool register_read) {
  TgtResolved<TgtPDFObject> result;
  TgtPDFObjectStore& store = *state_.store;
  auto find = [&](const TgtPDFIndirectReference& reference) -> TgtPDFIndirectObject* {
    if (TgtPDFIndirectObject* found = store.Find(reference)) return found;
    if (store.IsRegistered(reference.Serial(), reference.Number()) != -1) return nullptr;
    std::unique_ptr<TgtPDFIndirectObject> read = ReadObjectNumber(reference.Number());
    if (!read) return nullptr;
    if (register_read) return store.Add(std::move(read));
    result.owned = std::move(read);
    return result.owned.get();
  };
  std::optional<int32_t> broken_at;
  result.value = FollowChain(object, find, broken_at);
  if (broken_at)
    throw EPDFFileCorruptedError(
        Format(msg::kReferenceChainTooLong, *broken_at, kMaxReferenceChain));
  return result;
}

TgtPDFObjectPtr TgtObjectLoader::ResolveDeep(const TgtPDFObject* object) {
  return ResolveDeepAt(object, 0);
}

TgtPDFObjectPtr TgtObjectLoader::ResolveDeepAt(const TgtPDFObject* object, int depth) {
  if (!object) return nullptr;
  if (depth > kMaxResolveDepth)
    throw EPDFFileCorruptedError(Format(msg::kNestedTooDeeply, kMaxResolveDepth));
  switch (object->Tag()) {
    case otArray: {
      auto array = std::make_unique<TgtPDFArrayObject>();
      const TgtPDFArrayObject& source = object->AsArray();
      for (int32_t i = 0; i < source.Count(); ++i) {
        TgtPDFObjectPtr item = ResolveDeepAt(source.ItemAt(i), depth + 1);
        array->Add(item ? std::move(item) : std::make_unique<TgtPDFNullObject>());
      }
      return array;
    }
    case otDictionary: {
      auto dictionary = std::make_unique<TgtPDFDictObject>();
      const TgtPDFDictObject& source = object->AsDictionary();
      for (int32_t i = 0; i < source.Count(); ++i) {
        auto key = std::make_unique<TgtPDFNameObject>(source.KeyAt(i)->Text());
        dictionary->Add(std::move(key), ResolveDeepAt(source.ValueAt(i), depth + 1));
      }
      return dictionary;
    }
    case otReference: {
      const TgtPDFIndirectReference& reference = object->AsReference();
      TgtTakenObject taken = TakeObject(reference.Number());
      if (!taken) return std::make_unique<TgtPDFNullObject>();
      return ResolveDeepAt(taken.object->Content(), depth + 1);
    }
    case otIndirect:
      return ResolveDeepAt(object->AsIndirect().Content(), depth + 1);
    default:
      return object->Clone();
  }
}

}  // namespace pagemint
