// SPDX-License-Identifier: GPL-3.0-or-later
// Loading objects from the file into the store.
//
// Loading is eager: everything reachable from what the structure reader
// asks for is read once and registered. Each object is read
// from the file at most once by the loaders, and the walk over what an
// object refers to keeps its own work list, so neither reference cycles
// nor long chains of objects can recurse without bound.
#pragma once

#include <algorithm>
#include <cstdint>
#include <memory>
#include <vector>

#include "pdf/reader/document_state.h"
#include "pdf/reader/read_reporter.h"

namespace pagemint {

// A value found by a resolver. It points into the store or into the value
// passed in, or into owned when the object was read from the file only
// for this (and is freed with the result).
template <class T>
struct TgtResolved {
  T* value = nullptr;
  std::unique_ptr<TgtPDFIndirectObject> owned;
  explicit operator bool() const { return value != nullptr; }
  T* operator->() const { return value; }
};

// An indirect object taken by number: the registered one, or one read
// from the file and not registered (then held in owned).
struct TgtTakenObject {
  TgtPDFIndirectObject* object = nullptr;
  std::unique_ptr<TgtPDFIndirectObject> owned;
  bool Registered() const { return object && !owned; }
  explicit operator bool() const { return object != nullptr; }
};

class TgtObjectLoader {
 public:
  TgtObjectLoader(TgtPDFDocumentState& state, TgtReadReporter& reporter)
      : state_(state), reporter_(reporter) {}

  // The object's byte offset from the location tables, 0 when none.
  int32_t FindObjectOffset(int32_t number) const;
  // Reads the indirect object at the reader's position (with its stream
  // data); nothing at position 0. Not registered.
  std::unique_ptr<TgtPDFIndirectObject> ReadObjectAt();
  // ReadObjectAt at FindObjectOffset(number). An object found there with
  // another number raises EPDFFileCorruptedError.
  std::unique_ptr<TgtPDFIndirectObject> ReadObjectNumber(int32_t number);

  // Loads and registers the target and everything it refers to.
  void LoadReference(const TgtPDFIndirectReference& reference);
  void LoadReferencedObjects(TgtPDFObject* object);
  // Registers the objects of every object stream that the stream table
  // names. Run once, after decryption has been set up.
  void ExpandObjectStreams();

  // The object (serial, number, 0): the registered one, or the one read
  // from the file, registered when register_read is set and otherwise held
  // in owned. Nothing when neither exists.
  TgtTakenObject TakeObject(int32_t number, bool register_read = false);

  // The loader's resolver, the store's (TgtPDFObjectStore::Follow) with
  // the file behind it: a reference is followed through the store, and a
  // target that is not registered is read from the file (registered when
  // register_read is set, otherwise held in the result's owned). nullptr
  // or a value that is not a reference comes back as it is; a missing
  // target gives nothing. A chain of references longer than
  // kMaxReferenceChain raises EPDFFileCorruptedError naming the object
  // where it stopped.
  TgtResolved<TgtPDFObject> Resolve(TgtPDFObject* object, bool register_read = false);
  TgtResolved<const TgtPDFObject> Resolve(const TgtPDFObject* object) {
    TgtResolved<TgtPDFObject> found = Resolve(const_cast<TgtPDFObject*>(object));
    TgtResolved<const TgtPDFObject> result;
    result.value = found.value;
    result.owned = std::move(found.owned);
    return result;
  }
  // The same for a value of kind T: any other kind raises
  // EUnexpectedObjectError.
  template <class T>
  TgtResolved<T> ResolveAs(TgtPDFObject* object, bool register_read = false) {
    TgtResolved<TgtPDFObject> found = Resolve(object, register_read);
    TgtResolved<T> result;
    result.value = AsObjectKind<T>(found.value);
    result.owned = std::move(found.owned);
    return result;
  }
  // A new tree equal to object with every reference replaced by a resolved
  // copy of its target.
  TgtPDFObjectPtr ResolveDeep(const TgtPDFObject* object);

  TgtPDFDocumentState& State() const { return state_; }
  TgtReadReporter& Reporter() const { return reporter_; }

 private:
  // The first part of LoadReference: the object to walk, or nullptr.
  TgtPDFIndirectObject* LoadOne(const TgtPDFIndirectReference& reference);
  TgtPDFObjectPtr ReadEmptyObject(int64_t position, const char* problem);
  void ReplaceNamedDestinations(TgtPDFDictObject& dictionary);
  void ReadStreamData(TgtPDFIndirectObject& object, int64_t after_dictionary);
  void LoadLength(TgtPDFObject* length);
  TgtPDFObjectPtr ResolveDeepAt(const TgtPDFObject* object, int depth);
  // With claim, the stream's own header decides which objects it holds
  // (after a rebuild, when no cross-reference data says so).
  void ExpandObjectStream(int32_t stream_number, bool claim);
  void ClaimForObjectStream(int32_t number, int32_t stream_number, int32_t holder_offset,
                            int32_t index);

  TgtPDFDocumentState& state_;
  TgtReadReporter& reporter_;
  struct WalkItem {
    TgtPDFObject* object;
    bool in_array;
  };
  std::vector<WalkItem> walk_;
  void WalkFrom(size_t base);
  // Flags by value in flat vectors (both sets grow to the size of the
  // document, so no allocation per entry).
  struct TgtFlags {
    std::vector<bool> bits;
    // Sets the flag; false when it was set already.
    bool Insert(int32_t value) {
      const size_t i = static_cast<size_t>(value);
      if (i >= bits.size()) bits.resize(std::max(i + 1, bits.size() * 2));
      if (bits[i]) return false;
      bits[i] = true;
      return true;
    }
    // Clears the flag; true when it was set.
    bool Erase(int32_t value) {
      const size_t i = static_cast<size_t>(value);
      if (i >= bits.size() || !bits[i]) return false;
      bits[i] = false;
      return true;
    }
  };
  // Object numbers LoadReference has read from the file already.
  TgtFlags read_numbers_;
  // Store indexes of objects registered from object streams that no walk
  // has reached yet; the first walk that reaches one walks its content.
  TgtFlags unwalked_;
  int length_depth_ = 0;
  // Objects read from the file so far, for the load progress.
  int64_t objects_read_ = 0;
};

}  // namespace pagemint
