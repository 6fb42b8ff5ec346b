// SPDX-License-Identifier: GPL-3.0-or-later
// Expanding object streams: the objects packed into a compressed stream
// (header of "number offset" pairs, then the objects themselves, offsets
// counted from /First) are registered in the store as indirect objects.
//
// Only objects that the stream table places in that very object stream
// are registered, so an object replaced by a later update is not
// resurrected from an older object stream. They are registered unmarked
// and unwalked; the loader walks each one the first time a walk reaches
// it, just as it walks an object read from the file, so what the document
// uses is the same whether its objects sit in object streams or not.

#include <algorithm>
#include <unordered_set>

#include "pdf/limits.h"
#include "pdf/objects/pdf_exceptions.h"
#include "pdf/reader/object_loader.h"
#include "pdf/streams/filter_chain.h"
#include "platform/messages.h"
#include "platform/numbers.h"

namespace pagemint {
namespace {


bool HasImageFilter(const TgtPDFObject* filter) {
  if (!filter) return false;
  for (const TgtDecodeFilter code : FilterListFromObject(*filter))
    if (code == ftDCTDecode || code == ftCCITTFaxDecode) return true;
  return false;
}

bool IsInfoDictionary(const TgtPDFDocumentState& state, int32_t number,
                      const TgtPDFObject& object) {
  return state.trailer.info && state.trailer.info->Number() == number && object.IsDictionary();
}

}  // namespace

void TgtObjectLoader::ExpandObjectStreams() {
  if (state_.object_streams_expanded) return;
  state_.object_streams_expanded = true;
  std::unordered_set<int32_t> expanded;
  auto expand = [&](int32_t stream_number, bool claim) {
    if (!expanded.insert(stream_number).second) return;
    try {
      ExpandObjectStream(stream_number, claim);
    } catch (const Exception& e) {
      // A damaged object stream loses its own objects only; whatever needs
      // them fails later with its own clear message.
      PAGEMINT_REPORT_WARNING(reporter_, msg::kObjectStreamUnreadable, stream_number, e.what());
    }
  };
  // After a rebuild the streams that the scan found say themselves what
  // they hold. The newest is expanded first, so that its objects win.
  const std::vector<int32_t>& scanned = state_.scanned_object_streams;
  for (auto it = scanned.rbegin(); it != scanned.rend(); ++it) expand(*it, true);
  // The holders first, then the expansion: expanding adds entries.
  std::vector<int32_t> holders;
  state_.stream_table.ForEach([&holders](int32_t, const TgtXRefStmItem& item) {
    if (item.type == 2) holders.push_back(item.field2);
  });
  for (const int32_t holder : holders) expand(holder, false);
}

// Makes the stream at holder_offset the home of object number, the index-th
// in it, unless a newer stream has claimed it or the file defines it
// again after the stream.
void TgtObjectLoader::ClaimForObjectStream(int32_t number, int32_t stream_number,
                                           int32_t holder_offset, int32_t index) {
  if (number <= 0 || number > kMaxObjectNumber || number == stream_number) return;
  if (state_.stream_table.At(number)) return;
  const TgtXRefItem* plain = state_.classic_table.At(number);
  if (plain && plain->offset > holder_offset) return;
  state_.classic_table.Erase(number);
  state_.stream_table.Put(number, TgtXRefStmItem{2, stream_number, index});
}

void TgtObjectLoader::ExpandObjectStream(int32_t stream_number, bool claim) {
  if (!state_.reader) return;
  int32_t offset = 0;
  if (const TgtXRefStmItem* own = state_.stream_table.At(stream_number); own && own->type == 1)
    offset = own->field2;
  else
    offset = FindObjectOffset(stream_number);
  if (offset <= 0) return;
  state_.reader->SetPos(offset);
  std::unique_ptr<TgtPDFIndirectObject> holder = ReadObjectAt();
  if (!holder || holder->Number() != stream_number || !holder->Content() ||
      !holder->Content()->IsStream())
    throw EPDFFileCorruptedError(msg::kFileCorrupted);
  TgtPDFStreamObject& stream = holder->Content()->AsStream();
  TgtPDFObjectStore& store = *state_.store;
  const TgtPDFDictObject& dictionary = stream.Dictionary();
  const TgtPDFNameObject* type = store.FollowAs<TgtPDFNameObject>(dictionary.Lookup("/Type"));
  if (!stream.Data()) return;
  const TgtPDFIntegerObject* count = store.FollowAs<TgtPDFIntegerObject>(dictionary.Lookup("/N"));
  const TgtPDFIntegerObject* first = store.FollowAs<TgtPDFIntegerObject>(dictionary.Lookup("/First"));
  if (!type || type->Text() != "/ObjStm") {
    // The cross-reference stream names this stream as the home of objects
    // and its /N and /First say how to read them: only its /Type is lost.
    // A stream the scan found after a rebuild has no such witness.
    if (claim || !count || !first) return;
    PAGEMINT_REPORT_WARNING(reporter_, msg::kObjectStreamTypeLost, stream_number);
  }
  TgtPDFObject* filter = store.Follow(dictionary.Lookup("/Filter"));
  if (HasImageFilter(filter)) return;

  std::unique_ptr<TMemoryStream> data =
      DecodeStreamData(*stream.Data(), filter, kMaxObjectStreamSize);
  if (!count || !first || first->Value() < 0) throw EPDFFileCorruptedError(msg::kFileCorrupted);

  TgtPDFStreamReader reader(state_.serial, data.get());
  const int64_t size = data->Size();
  // Each header pair takes at least four bytes, which bounds the loop
  // whatever /N claims.
  const int64_t pairs = std::min<int64_t>(count->Value(), size / 4 + 1);
  for (int64_t i = 0; i < pairs; ++i) {
    int32_t number = 0;
    int32_t relative = 0;
    if (!TryStrToInt(reader.ReadToken(), number) || !TryStrToInt(reader.ReadToken(), relative))
      break;
    if (claim) ClaimForObjectStream(number, stream_number, offset, static_cast<int32_t>(i));
    const int64_t header_position = reader.Pos();
    const int64_t position = int64_t{first->Value()} + relative;
    if (relative < 0 || position >= size) continue;
    reader.SetPos(position);
    TgtPDFObjectPtr object = reader.ReadObject();
    reader.SetPos(header_position);
    if (!object) continue;
    const TgtXRefStmItem* entry = state_.stream_table.At(number);
    if (!entry || entry->type != 2 || entry->field2 != stream_number) continue;
    if (state_.classic_table.At(number) || store.Find(state_.serial, number, 0)) continue;
    if (IsInfoDictionary(state_, number, *object)) {
      if (state_.info->Dictionary().Count() == 0)
        state_.info->SetDictionary(
            std::unique_ptr<TgtPDFDictObject>(static_cast<TgtPDFDictObject*>(object.release())));
      continue;
    }
    store.Add(std::make_unique<TgtPDFIndirectObject>(state_.serial, number, 0, std::move(object)));
    unwalked_.Insert(store.Count() - 1);
  }
}

}  // namespace pagemint
