// SPDX-License-Identifier: GPL-3.0-or-later
#include "pdf/reader/xref_reader.h"

#include <string.h>

#include <algorithm>
#include <functional>
#include <limits>

#include "pdf/limits.h"
#include "pdf/objects/pdf_exceptions.h"
#include "pdf/reader/reader_exceptions.h"
#include "pdf/streams/filter_chain.h"
#include "platform/messages.h"
#include "platform/numbers.h"

namespace pagemint {
namespace {

// A field of a cross-reference stream entry is at most this many bytes;
// wider fields cannot hold a value this reader could use.
constexpr int64_t kMaxFieldWidth = 8;
// A classic entry is "oooooooooo ggggg t" followed by its line end, which
// conforming files write as two bytes and others as one or three.
constexpr int64_t kEntryBodySize = 18;
// A rebuild parses the objects its scan marked (trailers, cross-reference
// streams, object streams, catalogs). A damaged object can run on to the
// end of the file, so the bytes those parses may read are capped at a few
// times the file size; past that the remaining marks are passed over.
constexpr int64_t kParseBudgetFactor = 4;
constexpr int64_t kParseBudgetBase = int64_t{1} << 20;
// A rebuild looks for the header this far into the file: some producers
// and mail gateways put a line or two in front of it.
constexpr int64_t kHeaderSearchSize = 1024;

bool IsDigit(uint8_t c) { return c >= '0' && c <= '9'; }
bool IsAlphaNumeric(uint8_t c) {
  return IsDigit(c) || (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z');
}
bool IsLineSpace(uint8_t c) { return c == ' ' || c == '\r' || c == '\n'; }
uint8_t LowerAscii(uint8_t c) { return c >= 'A' && c <= 'Z' ? static_cast<uint8_t>(c + 32) : c; }

TStream::MemoryView WholeData(TgtPDFStreamReader& reader) {
  TStream::MemoryView view = reader.View();
  if (!view) throw Exception(msg::kUnexpectedStreamType);
  return view;
}

// Digits at [p, p + n) as a number; -1 when any byte is not a digit.
int64_t FixedDigits(const uint8_t* p, int n) {
  int64_t value = 0;
  for (int i = 0; i < n; ++i) {
    if (!IsDigit(p[i])) return -1;
    value = value * 10 + (p[i] - '0');
  }
  return value;
}

// A field of a classic entry: the fast path for plain digits, else the
// platform conversion (which accepts what it accepts and raises
// EConvertError for the rest).
int64_t EntryField(const uint8_t* p, int n) {
  const int64_t fast = FixedDigits(p, n);
  if (fast >= 0) return fast;
  return StrToInt64(std::string_view(reinterpret_cast<const char*>(p), static_cast<size_t>(n)));
}

void CheckObjectNumber(int64_t number) {
  if (number < 0 || number > kMaxObjectNumber)
    throw EPDFFileCorruptedError(Format(msg::kObjectNumberRange, static_cast<long long>(number)));
}

// The start of the entry after one whose type letter ended at p: past the
// line end, whatever its length. Anything else on the line (some producers
// add a comment) and blank lines are passed over too.
int64_t NextEntry(const uint8_t* data, int64_t size, int64_t p) {
  while (p < size && (data[p] == ' ' || data[p] == '\t')) ++p;
  if (p < size && IsDigit(data[p])) return p;
  while (p < size && data[p] != '\r' && data[p] != '\n') ++p;
  while (p < size && IsLineSpace(data[p])) ++p;
  return p;
}

// Undoes the TIFF predictor on rows of columns bytes: each byte is added
// to the one before it in its row.
std::string DecodeTIFFRows(std::string data, int32_t columns) {
  const size_t width = columns > 0 ? static_cast<size_t>(columns) : 1;
  for (size_t i = 0; i < data.size(); ++i)
    if (i % width != 0) data[i] = static_cast<char>(data[i] + data[i - 1]);
  return data;
}

int64_t BigEndian(const uint8_t* p, int64_t width) {
  uint64_t value = 0;
  for (int64_t i = 0; i < width; ++i) value = value << 8 | p[i];
  return value > static_cast<uint64_t>(std::numeric_limits<int64_t>::max())
             ? std::numeric_limits<int64_t>::max()
             : static_cast<int64_t>(value);
}

int32_t ClampToInt32(int64_t value) {
  return value > std::numeric_limits<int32_t>::max() ? std::numeric_limits<int32_t>::max()
                                                     : static_cast<int32_t>(value);
}

}  // namespace

TgtPDFVersion ReadHeader(TgtPDFStreamReader& reader, int64_t offset) {
  reader.SetPos(offset);
  const std::string token = reader.ReadToken();
  const std::string head = token.substr(0, 7);
  if (head == "%PDF-2.") return pvPDF20;
  if (head != "%PDF-1.") throw EInvalidHeader(Format(msg::kInvalidHeader, head.c_str()));
  const uint8_t minor = token.size() > 7 ? static_cast<uint8_t>(token[7]) : 0;
  if (minor < '0' || minor > '7')
    throw EUnsupportedVersion(Format(msg::kUnsupportedVersion, token.c_str()));
  return static_cast<TgtPDFVersion>(minor - '0');
}

TgtPDFVersion FindHeader(TgtPDFStreamReader& reader, TgtReadReporter& reporter) {
  const TStream::MemoryView view = WholeData(reader);
  const size_t window = static_cast<size_t>(std::min<int64_t>(view.size, kHeaderSearchSize));
  if (const void* at = memmem(view.data, window, "%PDF-", 5)) {
    try {
      return ReadHeader(reader, static_cast<const uint8_t*>(at) - view.data);
    } catch (const Exception&) {
    }
  }
  // The objects decide whether this is a PDF file; the version only
  // matters for what the output may hold, and 1.7 allows everything of
  // the 1.x line.
  PAGEMINT_REPORT_WARNING(reporter, msg::kHeaderDamaged, "1.7");
  return pvPDF17;
}

int32_t FindStartXRef(TgtPDFStreamReader& reader) {
  const TStream::MemoryView view = WholeData(reader);
  static constexpr char kWord[] = "startxref";
  constexpr int64_t kLength = sizeof(kWord) - 1;
  const uint8_t* data = view.data;
  int64_t match = -1;
  for (int64_t i = view.size - kLength; i >= 0 && match < 0; --i) {
    if (LowerAscii(data[i]) != 's') continue;
    int64_t k = 1;
    while (k < kLength && LowerAscii(data[i + k]) == static_cast<uint8_t>(kWord[k])) ++k;
    if (k < kLength) continue;
    const bool word_start = i == 0 || !IsAlphaNumeric(data[i - 1]);
    const bool word_end = i + kLength == view.size || !IsAlphaNumeric(data[i + kLength]);
    if (word_start && word_end) match = i;
  }
  if (match < 0) throw Exception(msg::kInvalidPdfFile);
  int64_t p = match;
  while (p < view.size && !IsDigit(data[p])) ++p;
  int64_t value = 0;
  const int64_t start = p;
  while (p < view.size && IsDigit(data[p])) {
    value = value * 10 + (data[p] - '0');
    if (value > std::numeric_limits<int32_t>::max()) throw EOffsetError(msg::kUnableToReadOffset);
    ++p;
  }
  if (p == start) throw EOffsetError(msg::kUnableToReadOffset);
  return static_cast<int32_t>(value);
}

std::unique_ptr<TgtPDFDictObject> ReadTrailer(TgtPDFStreamReader& reader) {
  const TStream::MemoryView view = WholeData(reader);
  int64_t p = reader.Pos();
  if (p < 0) p = 0;
  // The keyword itself is searched for, not merely the first "t": some
  // producers put comments after the entries, and those contain "t"s.
  const void* at = p < view.size
                       ? memmem(view.data + p, static_cast<size_t>(view.size - p), "trailer", 7)
                       : nullptr;
  if (!at) throw ETrailerError(msg::kTrailerError);
  p = static_cast<const uint8_t*>(at) - view.data;
  reader.SetPos(p + 7);
  TgtPDFObjectPtr object = reader.ReadObject();
  if (!object || !object->IsDictionary()) throw ETrailerError(msg::kTrailerError);
  return std::unique_ptr<TgtPDFDictObject>(static_cast<TgtPDFDictObject*>(object.release()));
}

std::string DecodePNGRows(const std::string& data, int32_t columns) {
  if (columns < 0) columns = 0;
  const size_t width = static_cast<size_t>(columns);
  std::string result;
  result.reserve(data.size());
  std::string above(width, '\0');
  std::string row(width, '\0');
  size_t p = 0;
  while (p < data.size()) {
    const uint8_t tag = static_cast<uint8_t>(data[p++]);
    if (tag > 4) throw EImproperPNGAlgorithm(msg::kImproperPngTag);
    const size_t n = std::min(width, data.size() - p);
    for (size_t x = 0; x < n; ++x) {
      const int a = x > 0 ? static_cast<uint8_t>(row[x - 1]) : 0;
      const int b = static_cast<uint8_t>(above[x]);
      const int c = x > 0 ? static_cast<uint8_t>(above[x - 1]) : 0;
      int predicted = 0;
      switch (tag) {
        case 1:
          predicted = a;
          break;
        case 2:
          predicted = b;
          break;
        case 3:
          predicted = (a + b) / 2;
          break;
        case 4: {
          const int estimate = a + b - c;
          const int da = std::abs(estimate - a), db = std::abs(estimate - b),
                    dc = std::abs(estimate - c);
          predicted = da <= db && da <= dc ? a : (db <= dc ? b : c);
          break;
        }
        default:
          break;
      }
      row[x] = static_cast<char>(static_cast<uint8_t>(data[p + x]) + predicted);
    }
    result.append(row, 0, n);
    p += n;
    above.swap(row);
  }
  return result;
}

// ---------------------------------------------------------------------------

void TgtXRefReader::OpenReader(TStream& stream) {
  const int64_t size = stream.Size();
  if (size > kMaxFileSize)
    throw EPDFException(Format(msg::kFileTooLarge, static_cast<long long>(size)));
  state_.reader = std::make_unique<TgtPDFStreamReader>(state_.serial, &stream);
}

void TgtXRefReader::ReadFromStream(TStream& stream) {
  OpenReader(stream);
  try {
    TgtPDFStreamReader& reader = *state_.reader;
    state_.version = ReadHeader(reader);
    const int32_t start = FindStartXRef(reader);
    switch (Classify(start)) {
      case SectionKind::kClassic:
        ReadXRefTable(start);
        break;
      case SectionKind::kStream:
        ReportStatus(reporter_, msg::kReadingXRefStream);
        ReadXRefStream(start);
        break;
      case SectionKind::kNone:
        throw EPDFFileCorruptedError(msg::kFileCorrupted);
    }
    FinishReading();
  } catch (...) {
    state_.reader.reset();
    throw;
  }
}

void TgtXRefReader::RebuildFromStream(TStream& stream, const std::string& table_read_error) {
  OpenReader(stream);
  try {
    TgtPDFStreamReader& reader = *state_.reader;
    // Offsets come from the scan, so bytes before the header do no harm.
    // Damaged syntax is passed over from here on (see SetRepairing): the
    // trailers and objects the rebuild parses are damaged as well.
    reader.SetRepairing(true);
    const TStream::MemoryView view = WholeData(reader);
    const TgtXRefScan scan = ScanForObjects(view.data, view.size);
    if (scan.objects.empty()) throw EPDFFileCorruptedError(msg::kFileCorrupted);
    if (table_read_error.empty())
      ReportWarning(reporter_, msg::kXRefRebuilt);
    else
      PAGEMINT_REPORT_WARNING(reporter_, msg::kReadAgainFromObjects, table_read_error.c_str());
    state_.version = FindHeader(reader, reporter_);
    parse_budget_ = kParseBudgetFactor * view.size + kParseBudgetBase;
    ApplyScan(scan);
    MergeScannedTrailers(scan);
    ChooseScannedCatalog(scan);
    RefuseLostEncryption(scan, view.data, view.size);
    FinishReading();
    if (state_.trailer.root_number < 0 && state_.object_streams_expanded)
      FindCatalogInObjectStreams();
    // A catalog written into the trailer itself instead of referred to:
    // it becomes an object of its own.
    if (state_.trailer.root_number < 0 && direct_root_) {
      auto catalog = std::make_unique<TgtPDFIndirectObject>(
          state_.serial, state_.store->NextObjectNumber(), 0, std::move(direct_root_));
      state_.trailer.root_number = state_.store->Add(std::move(catalog))->Number();
    }
  } catch (...) {
    state_.reader.reset();
    throw;
  }
}

void TgtXRefReader::FinishReading() {
  // Nearly every listed object ends up in the store.
  state_.store->Reserve(static_cast<int32_t>(
      std::max(state_.classic_table.Count(), state_.stream_table.Count())));
  ResolveEncryption();
  if (!state_.encrypted) loader_.ExpandObjectStreams();
  ResolveIdentifier();
  // New objects must not take a number that an existing object has in
  // either table, so the counter starts above both.
  state_.store->SetNumberCounter(
      std::max(state_.classic_table.SlotCount(), state_.stream_table.SlotCount()));
  state_.loaded = true;
}

// The table holds the last header of each number; the object streams
// among the live objects are expanded later (after decryption), each
// claiming the objects its own header lists.
void TgtXRefReader::ApplyScan(const TgtXRefScan& scan) {
  state_.classic_table.Clear();
  state_.stream_table.Clear();
  state_.trailer = TgtPDFTrailer();
  for (const TgtScannedObject& object : scan.objects)
    state_.classic_table.Put(object.number, TgtXRefItem{object.generation, 'n', object.number,
                                                         object.offset});
  for (const size_t index : scan.object_streams) {
    const TgtScannedObject& object = scan.objects[index];
    TgtPDFObjectPtr parsed;
    const TgtPDFObject* content = ScannedContent(object, parsed);
    if (!content || !content->IsStream()) continue;
    const TgtPDFObject* type = content->AsStream().Dictionary().Lookup("/Type");
    if (type && type->IsName() && type->AsName().Text() == "/ObjStm")
      state_.scanned_object_streams.push_back(object.number);
  }
}

bool TgtXRefReader::IsLive(const TgtScannedObject& object) const {
  const TgtXRefItem* item = state_.classic_table.At(object.number);
  return item && item->offset == object.offset;
}

const TgtPDFObject* TgtXRefReader::ScannedContent(const TgtScannedObject& object,
                                                  TgtPDFObjectPtr& holder) {
  if (!IsLive(object)) return nullptr;
  holder = ParseScanned(object.offset);
  return holder && holder->IsIndirect() ? holder->AsIndirect().Content() : nullptr;
}

TgtPDFObjectPtr TgtXRefReader::ParseScanned(int64_t offset, std::string* problem) {
  if (parse_budget_ <= 0) return nullptr;
  TgtPDFStreamReader& reader = *state_.reader;
  reader.SetPos(offset);
  TgtPDFObjectPtr object;
  try {
    object = reader.ReadObject();
  } catch (const Exception& e) {
    object.reset();
    if (problem) *problem = e.what();
  }
  parse_budget_ -= std::max<int64_t>(reader.Pos() - offset, 1);
  return object;
}

// Trailer dictionaries and cross-reference stream dictionaries, newest
// (last in the file) first: each value is taken from the newest that has it.
void TgtXRefReader::MergeScannedTrailers(const TgtXRefScan& scan) {
  std::vector<std::pair<int32_t, bool>> sources;  // offset, is a trailer keyword
  for (const int32_t offset : scan.trailers) sources.emplace_back(offset, true);
  for (const size_t index : scan.xref_streams)
    sources.emplace_back(scan.objects[index].offset, false);
  std::sort(sources.begin(), sources.end(), std::greater<>());
  for (const auto& [offset, is_trailer] : sources) {
    if (is_trailer) {
      if (parse_budget_ <= 0) break;
      std::string problem;
      const TgtPDFObjectPtr dictionary = ParseScanned(offset, &problem);
      if (dictionary && dictionary->IsDictionary()) {
        MergeTrailer(dictionary->AsDictionary());
        continue;
      }
      if (problem.empty()) problem = msg::kTrailerError;
      PAGEMINT_REPORT_WARNING(reporter_, msg::kTrailerIgnored, static_cast<long long>(offset),
                              problem.c_str());
      continue;
    }
    const TgtPDFObjectPtr parsed = ParseScanned(offset);
    if (!parsed || !parsed->IsIndirect()) continue;
    const TgtPDFObject* content = parsed->AsIndirect().Content();
    if (!content || !content->IsStream()) continue;
    const TgtPDFDictObject& dictionary = content->AsStream().Dictionary();
    const TgtPDFObject* type = dictionary.Lookup("/Type");
    if (type && type->IsName() && type->AsName().Text() == "/XRef") MergeTrailer(dictionary);
  }
}

// The trailer's /Root is kept when it names a live object that is a
// dictionary with a page tree, or an object that an object stream may
// hold; otherwise the newest live object whose /Type is /Catalog stands in.
void TgtXRefReader::ChooseScannedCatalog(const TgtXRefScan& scan) {
  const int32_t named = state_.trailer.root_number;
  if (named >= 0) {
    const TgtXRefItem* item = state_.classic_table.At(named);
    if (!item) {
      if (!state_.scanned_object_streams.empty()) return;
    } else if (const TgtPDFObjectPtr parsed = ParseScanned(item->offset);
               parsed && parsed->IsIndirect() && parsed->AsIndirect().Content() &&
               parsed->AsIndirect().Content()->IsDictionary() &&
               parsed->AsIndirect().Content()->AsDictionary().Lookup("/Pages")) {
      return;
    }
  }
  for (auto it = scan.catalogs.rbegin(); it != scan.catalogs.rend(); ++it) {
    const TgtScannedObject& object = scan.objects[*it];
    TgtPDFObjectPtr parsed;
    const TgtPDFObject* content = ScannedContent(object, parsed);
    if (!content || !content->IsDictionary()) continue;
    const TgtPDFObject* type = content->AsDictionary().Lookup("/Type");
    if (type && type->IsName() && type->AsName().Text() == "/Catalog") {
      state_.trailer.root_number = object.number;
      return;
    }
  }
}

// An encryption dictionary that no trailer names: the trailer that held
// /Encrypt and /ID is lost, and without them every string and stream would
// be read as the encrypted bytes. The dictionary itself may be lost too (a
// file cut short): then the Flate streams tell, since encrypted data does
// not start with a zlib header. A few damaged streams of a plain file do
// not refuse it: three in four of several must fail.
void TgtXRefReader::RefuseLostEncryption(const TgtXRefScan& scan, const uint8_t* data,
                                         int64_t size) {
  if (state_.trailer.encrypt) return;
  constexpr int kFlateSample = 16;
  constexpr int kObjectSample = 2000;
  int flate = 0, zlib_headers = 0, looked_at = 0;
  for (size_t i = scan.objects.size(); i-- > 0 && flate < kFlateSample && looked_at < kObjectSample;
       ++looked_at) {
    const TgtScannedObject& object = scan.objects[i];
    TgtPDFObjectPtr parsed;
    const TgtPDFObject* content = ScannedContent(object, parsed);
    if (!content || !content->IsStream()) continue;
    const TgtPDFStreamObject& stream = content->AsStream();
    const TgtPDFObject* filter = stream.Dictionary().Lookup("/Filter");
    if (filter && filter->IsArray()) filter = filter->AsArray().ItemAt(0);
    if (!filter || !filter->IsName() || filter->AsName().Text() != "/FlateDecode") continue;
    // The data's first two bytes, in the file or read with the object.
    const uint8_t* head = nullptr;
    if (const TgtStreamExtent* extent = stream.Extent()) {
      if (extent->length >= 2 && extent->offset >= 0 && extent->offset + 2 <= size)
        head = data + extent->offset;
    } else if (stream.HasData()) {
      const TStream::MemoryView held = stream.Data()->View();
      if (held.size >= 2) head = held.data;
    } else {
      // Parsed without its data: it follows the first "stream" keyword and
      // its end of line, before the next object's header.
      const int64_t end = i + 1 < scan.objects.size() ? scan.objects[i + 1].offset : size;
      const std::string_view text(reinterpret_cast<const char*>(data) + object.offset,
                                  static_cast<size_t>(std::max<int64_t>(end - object.offset, 0)));
      const size_t keyword = text.find("stream");
      if (keyword != std::string_view::npos) {
        int64_t at = object.offset + static_cast<int64_t>(keyword) + 6;
        if (at < size && data[at] == '\r') ++at;
        if (at < size && data[at] == '\n') ++at;
        if (at + 2 <= end) head = data + at;
      }
    }
    if (!head) continue;
    ++flate;
    const unsigned cmf = head[0], flg = head[1];
    if ((cmf & 0x0F) == 8 && (cmf >> 4) <= 7 && (cmf * 256 + flg) % 31 == 0) ++zlib_headers;
  }
  // Encrypted data passes the header test about once in a thousand
  // streams; a plain file's Flate streams pass it unless damaged.
  if (flate >= 3 && zlib_headers * 4 < flate)
    throw ELostEncryptionError(msg::kEncryptionTrailerLost);
  for (const size_t index : scan.security_handlers) {
    const TgtScannedObject& object = scan.objects[index];
    TgtPDFObjectPtr parsed;
    const TgtPDFObject* content = ScannedContent(object, parsed);
    if (content && content->IsDictionary() && content->AsDictionary().Lookup("/O") &&
        content->AsDictionary().Lookup("/U"))
      throw ELostEncryptionError(msg::kEncryptionTrailerLost);
  }
}

// A catalog packed in an object stream, when nothing else named one.
void TgtXRefReader::FindCatalogInObjectStreams() {
  TgtPDFObjectStore& store = *state_.store;
  for (int32_t i = store.Count() - 1; i >= 0; --i) {
    const TgtPDFIndirectObject* object = store.ItemAt(i);
    const TgtPDFObject* content = object->Content();
    if (!content || !content->IsDictionary()) continue;
    const TgtPDFObject* type = content->AsDictionary().Lookup("/Type");
    if (type && type->IsName() && type->AsName().Text() == "/Catalog") {
      state_.trailer.root_number = object->Number();
      return;
    }
  }
}

TgtXRefReader::SectionKind TgtXRefReader::Classify(int64_t offset) {
  TgtPDFStreamReader& reader = *state_.reader;
  if (offset <= 0 || offset >= reader.CachedSize()) return SectionKind::kNone;
  reader.SetPos(offset);
  const std::string head = reader.PeekBytes(5);
  if (head.compare(0, 4, "xref") == 0) return SectionKind::kClassic;
  size_t first = 0, last = head.size();
  while (first < last && static_cast<uint8_t>(head[first]) <= ' ') ++first;
  while (last > first && static_cast<uint8_t>(head[last - 1]) <= ' ') --last;
  if (head.compare(first, last - first, "xref") == 0) return SectionKind::kClassic;
  return IsDigit(static_cast<uint8_t>(head[0])) ? SectionKind::kStream : SectionKind::kNone;
}

void TgtXRefReader::FollowPrevious(const TgtPDFObject* previous) {
  if (!previous) return;
  int64_t offset = 0;
  if (previous->IsInteger())
    offset = previous->AsInteger().Value();
  else if (previous->IsInt64())
    offset = previous->AsInt64().Value();
  else
    return;
  if (offset > kMaxFileSize)
    throw EPDFException(Format(msg::kPrevTooLarge, static_cast<long long>(offset)));
  switch (Classify(offset)) {
    case SectionKind::kClassic:
      ReadXRefTable(static_cast<int32_t>(offset));
      break;
    case SectionKind::kStream:
      ReadXRefStream(static_cast<int32_t>(offset));
      break;
    case SectionKind::kNone:
      break;
  }
}

void TgtXRefReader::EnterSection(int32_t offset) {
  if (static_cast<int>(visited_.size()) >= kMaxSections)
    throw EPDFFileCorruptedError(Format(msg::kTooManySections, kMaxSections));
  visited_.insert(offset);
}

void TgtXRefReader::MergeTrailer(const TgtPDFDictObject& trailer) {
  TgtPDFTrailer& record = state_.trailer;
  if (record.root_number == -1) {
    if (const TgtPDFObject* root = trailer.Lookup("/Root"); root && root->IsReference())
      record.root_number = root->AsReference().Number();
    else if (root && root->IsDictionary() && !direct_root_)
      direct_root_ = root->Clone();
  }
  if (!record.raw_id)
    if (const TgtPDFObject* id = trailer.Lookup("/ID")) record.raw_id = id->Clone();
  if (!record.encrypt)
    if (const TgtPDFObject* encrypt = trailer.Lookup("/Encrypt")) record.encrypt = encrypt->Clone();
  if (!record.info)
    if (const TgtPDFObject* info = trailer.Lookup("/Info"); info && info->IsReference())
      record.info.reset(static_cast<TgtPDFIndirectReference*>(info->Clone().release()));
}

void TgtXRefReader::ReadXRefTable(int32_t offset) {
  if (visited_.count(offset)) return;
  EnterSection(offset);
  ReportStatus(reporter_, msg::kReadingXRefTable);
  TgtPDFStreamReader& reader = *state_.reader;
  reader.SetPos(offset);
  {
    const std::unique_ptr<TgtPDFDictObject> trailer = ReadTrailer(reader);
    MergeTrailer(*trailer);
    FollowPrevious(trailer->Lookup("/Prev"));
    // A hybrid file lists the objects of its object streams only in the
    // stream that /XRefStm names, with or without a /Prev.
    if (const TgtPDFObject* stream = trailer->Lookup("/XRefStm"); stream && stream->IsInteger())
      ReadXRefStream(stream->AsInteger().Value());
  }
  ReadClassicEntries(offset);
}

void TgtXRefReader::ReadClassicEntries(int32_t offset) {
  TgtPDFStreamReader& reader = *state_.reader;
  const TStream::MemoryView view = WholeData(reader);
  const uint8_t* data = view.data;
  int64_t p = offset;
  while (p < view.size && !IsDigit(data[p])) ++p;
  reader.SetPos(p);
  for (;;) {
    const int64_t first = StrToInt(reader.ReadToken());
    const int64_t count = StrToInt(reader.ReadToken());
    if (count == 0) break;
    if (count < 0) CheckObjectNumber(count);
    CheckObjectNumber(first);
    CheckObjectNumber(first + count - 1);
    p = reader.Pos();
    while (p < view.size && !IsDigit(data[p])) ++p;
    for (int64_t i = 0; i < count; ++i) {
      const int32_t number = static_cast<int32_t>(first + i);
      if (view.size - p < kEntryBodySize)
        throw EPDFFileCorruptedError(Format(msg::kXRefEntryDamaged, number));
      const int64_t entry_offset = EntryField(data + p, 10);
      const int64_t generation = EntryField(data + p + 10, 6);
      const uint8_t type = data[p + 17];
      p += kEntryBodySize;
      p = NextEntry(data, view.size, p);
      state_.classic_table.Reserve(number);
      if (type == 'f') continue;
      if (entry_offset > kMaxFileSize)
        throw EPDFException(
            Format(msg::kOffsetTooLarge, number, static_cast<long long>(entry_offset)));
      state_.classic_table.Put(
          number, TgtXRefItem{ClampToInt32(generation), static_cast<char>(type), number,
                              static_cast<int32_t>(entry_offset)});
    }
    reader.SetPos(p);
    reader.SkipWhitespace();
    if (reader.PeekBytes(7) == "trailer") break;
  }
}

void TgtXRefReader::ReadXRefStream(int32_t offset) {
  if (visited_.count(offset)) return;
  EnterSection(offset);
  TgtPDFStreamReader& reader = *state_.reader;
  if (offset <= 0 || offset >= reader.CachedSize())
    throw EPDFFileCorruptedError(Format(msg::kBadXRefStream, offset));
  reader.SetPos(offset);
  const std::unique_ptr<TgtPDFIndirectObject> object = loader_.ReadObjectAt();
  if (!object || !object->Content() || !object->Content()->IsStream())
    throw EPDFFileCorruptedError(Format(msg::kBadXRefStream, offset));
  TgtPDFStreamObject& stream = object->Content()->AsStream();
  const std::string data = StreamEntries(stream);
  const TgtPDFDictObject& dictionary = stream.Dictionary();
  MergeTrailer(dictionary);
  FollowPrevious(dictionary.Lookup("/Prev"));
  StoreStreamEntries(dictionary, data);
}

// The stream's data with its filters and PNG predictor undone.
std::string TgtXRefReader::StreamEntries(TgtPDFStreamObject& stream) {
  TgtPDFObjectStore& store = *state_.store;
  const TgtPDFDictObject& dictionary = stream.Dictionary();
  if (!stream.Data()) return std::string();
  TgtPDFObject* filter = store.Follow(dictionary.Lookup("/Filter"));
  if (!filter) return stream.Data()->Bytes();
  for (const TgtDecodeFilter code : FilterListFromObject(*filter))
    if (code == ftDCTDecode) return stream.Data()->Bytes();
  std::string data = DecodeStreamData(*stream.Data(), filter, kMaxXRefStreamSize)->TakeBytes();
  TgtPDFObject* parameters = store.Follow(dictionary.Lookup("/DecodeParms"));
  if (parameters && parameters->IsArray()) {
    TgtPDFObject* item = nullptr;
    for (int32_t i = 0; i < parameters->AsArray().Count() && !item; ++i) {
      TgtPDFObject* candidate = store.Follow(parameters->AsArray().ItemAt(i));
      if (candidate && candidate->IsDictionary()) item = candidate;
    }
    parameters = item;
  }
  if (!parameters || !parameters->IsDictionary()) return data;
  const TgtPDFDictObject& parms = parameters->AsDictionary();
  const TgtPDFIntegerObject* predictor = store.FollowAs<TgtPDFIntegerObject>(parms.Lookup("/Predictor"));
  const TgtPDFIntegerObject* columns = store.FollowAs<TgtPDFIntegerObject>(parms.Lookup("/Columns"));
  const int32_t kind = predictor ? predictor->Value() : 1;
  if (kind >= 10) return DecodePNGRows(data, columns ? columns->Value() : 1);
  if (kind == 2) return DecodeTIFFRows(std::move(data), columns ? columns->Value() : 1);
  if (kind > 1) throw ECrossReferenceError(Format(msg::kBadXRefPredictor, kind));
  return data;
}

void TgtXRefReader::StoreStreamEntries(const TgtPDFDictObject& dictionary,
                                       const std::string& data) {
  TgtPDFObjectStore& store = *state_.store;
  const TgtPDFArrayObject* widths = store.FollowAs<TgtPDFArrayObject>(dictionary.Lookup("/W"));
  if (!widths || widths->Count() < 3) throw EPDFFileCorruptedError(msg::kBadXRefWidths);
  int64_t w[3];
  for (int32_t i = 0; i < 3; ++i) {
    const TgtPDFIntegerObject* width = store.FollowAs<TgtPDFIntegerObject>(widths->ItemAt(i));
    if (!width || width->Value() < 0 || width->Value() > kMaxFieldWidth)
      throw EPDFFileCorruptedError(msg::kBadXRefWidths);
    w[i] = width->Value();
  }
  const int64_t entry_size = w[0] + w[1] + w[2];
  if (entry_size == 0) return;

  std::vector<std::pair<int64_t, int64_t>> subsections;
  if (const TgtPDFArrayObject* index = store.FollowAs<TgtPDFArrayObject>(dictionary.Lookup("/Index"))) {
    for (int32_t i = 0; i + 1 < index->Count(); i += 2) {
      const TgtPDFIntegerObject* first = store.FollowAs<TgtPDFIntegerObject>(index->ItemAt(i));
      const TgtPDFIntegerObject* count = store.FollowAs<TgtPDFIntegerObject>(index->ItemAt(i + 1));
      if (!first || !count) throw EPDFFileCorruptedError(msg::kFileCorrupted);
      if (count->Value() == 0) break;
      subsections.emplace_back(first->Value(), count->Value());
    }
  } else if (const TgtPDFIntegerObject* size = store.FollowAs<TgtPDFIntegerObject>(dictionary.Lookup("/Size"))) {
    subsections.emplace_back(0, size->Value());
  }

  const uint8_t* bytes = reinterpret_cast<const uint8_t*>(data.data());
  const int64_t available = static_cast<int64_t>(data.size());
  int64_t p = 0;
  for (const auto& [first, count] : subsections) {
    CheckObjectNumber(first);
    if (count < 0) CheckObjectNumber(count);
    for (int64_t i = 0; i < count; ++i) {
      // The data ends before the entries it announces: what is there is kept.
      if (available - p < entry_size) return;
      const int64_t number = first + i;
      CheckObjectNumber(number);
      // A missing type field means type 1, an object at an offset.
      const int64_t type = w[0] ? BigEndian(bytes + p, w[0]) : 1;
      const int64_t field2 = BigEndian(bytes + p + w[0], w[1]);
      const int64_t field3 = BigEndian(bytes + p + w[0] + w[1], w[2]);
      p += entry_size;
      if (type == 1 && field2 > kMaxFileSize)
        throw EPDFException(Format(msg::kOffsetTooLarge, static_cast<int32_t>(number),
                                   static_cast<long long>(field2)));
      state_.stream_table.Put(
          static_cast<int32_t>(number),
          TgtXRefStmItem{ClampToInt32(type), ClampToInt32(field2), ClampToInt32(field3)});
    }
  }
}

void TgtXRefReader::ResolveIdentifier() {
  TgtPDFTrailer& trailer = state_.trailer;
  if (!trailer.raw_id) return;
  if (trailer.raw_id->IsArray()) {
    trailer.id.reset(static_cast<TgtPDFArrayObject*>(trailer.raw_id->Clone().release()));
  } else if (trailer.raw_id->IsReference()) {
    TgtResolved<TgtPDFArrayObject> array = loader_.ResolveAs<TgtPDFArrayObject>(trailer.raw_id.get());
    if (array) trailer.id.reset(static_cast<TgtPDFArrayObject*>(array.value->Clone().release()));
  }
}

void TgtXRefReader::ResolveEncryption() {
  TgtPDFTrailer& trailer = state_.trailer;
  state_.encrypted = false;
  if (!trailer.encrypt || trailer.encrypt->IsNull()) {
    trailer.encrypt.reset();
    return;
  }
  TgtPDFObjectPtr resolved = loader_.ResolveDeep(trailer.encrypt.get());
  if (!resolved || !resolved->IsDictionary()) throw EPDFFileCorruptedError(msg::kEncryptMissing);
  trailer.encrypt = std::move(resolved);
  state_.encrypted = true;
}

}  // namespace pagemint
