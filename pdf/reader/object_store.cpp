#include "pdf/reader/object_store.h"

#include "pdf/parser/stream_reader.h"
#include "platform/messages.h"

namespace pagemint {
namespace {

// Reference chains (an indirect object whose content is a reference to
// another, and so on) longer than this are treated as broken: a loop of
// such objects would otherwise be followed forever.
constexpr int kMaxReferenceChain = 64;

}  // namespace

TgtPDFIndirectObject* TgtPDFObjectStore::Add(std::unique_ptr<TgtPDFIndirectObject> object) {
  if (!object) throw ENullObjectError(msg::kStoreAddNothing);
  const int32_t index = Count();
  TgtPDFIndirectObject* raw = object.get();
  index_.emplace(TgtObjectKey{raw->Serial(), raw->Number(), raw->Generation()}, index);
  objects_.push_back(std::move(object));
  return raw;
}

TgtPDFIndirectObject* TgtPDFObjectStore::Find(uint32_t serial, int32_t number,
                                              uint16_t generation) const {
  const auto it = index_.find(TgtObjectKey{serial, number, generation});
  return it == index_.end() ? nullptr : objects_[static_cast<size_t>(it->second)].get();
}

int32_t TgtPDFObjectStore::IsRegistered(uint32_t serial, int32_t number) const {
  const auto it = index_.find(TgtObjectKey{serial, number, 0});
  return it == index_.end() ? -1 : it->second;
}

TgtPDFIndirectObject* TgtPDFObjectStore::ItemAt(int32_t index) const {
  if (index < 0 || index >= Count()) throw EListError(Format(msg::kListIndex, index));
  return objects_[static_cast<size_t>(index)].get();
}

TgtPDFObject* TgtPDFObjectStore::Target(TgtPDFObject* object) const {
  for (int step = 0; object && step < kMaxReferenceChain; ++step) {
    if (object->IsIndirect()) {
      object = object->AsIndirect().Content();
    } else if (object->IsReference()) {
      TgtPDFIndirectObject* target = Find(object->AsReference());
      object = target ? target->Content() : nullptr;
    } else {
      return object;
    }
  }
  return nullptr;
}

TgtPDFObject* TgtPDFObjectStore::Follow(TgtPDFObject* object) const { return Target(object); }

namespace {

template <class T>
T* WantKind(TgtPDFObject* object, bool (TgtPDFObject::*is_kind)() const) {
  if (!object) return nullptr;
  if (!(object->*is_kind)()) throw EUnexpectedObjectError(msg::kUnexpectedObject);
  return static_cast<T*>(object);
}

}  // namespace

// A reference is followed; anything that is not a reference is checked as
// it stands (an indirect object is not unwrapped here, as a value never
// is one).
#define PAGEMINT_FOLLOW_KIND(Name, Type, Test)                                \
  Type* TgtPDFObjectStore::Name(TgtPDFObject* object) const {                 \
    if (object && object->IsReference()) {                                    \
      object = Target(object);                                                \
      if (!object) return nullptr;                                            \
    }                                                                         \
    return WantKind<Type>(object, &TgtPDFObject::Test);                       \
  }

PAGEMINT_FOLLOW_KIND(FollowInteger, TgtPDFIntegerObject, IsInteger)
PAGEMINT_FOLLOW_KIND(FollowName, TgtPDFNameObject, IsName)
PAGEMINT_FOLLOW_KIND(FollowString, TgtPDFStringObject, IsString)
PAGEMINT_FOLLOW_KIND(FollowDict, TgtPDFDictObject, IsDictionary)
PAGEMINT_FOLLOW_KIND(FollowArray, TgtPDFArrayObject, IsArray)

#undef PAGEMINT_FOLLOW_KIND

std::unique_ptr<TgtPDFArrayObject> TgtPDFObjectStore::FollowArrayOrName(TgtPDFObject* object) const {
  if (object && object->IsReference()) object = Target(object);
  if (!object || object->IsNull()) return nullptr;
  if (object->IsName()) {
    auto array = std::make_unique<TgtPDFArrayObject>();
    array->Add(object->Clone());
    return array;
  }
  if (!object->IsArray()) throw EUnexpectedObjectError(msg::kUnexpectedObject);
  return std::unique_ptr<TgtPDFArrayObject>(static_cast<TgtPDFArrayObject*>(object->Clone().release()));
}

}  // namespace pagemint
