// SPDX-License-Identifier: GPL-3.0-or-later
#include "pdf/reader/xref_rebuild.h"

#include <cstring>
#include <string_view>

#include "pdf/limits.h"
#include "pdf/parser/char_classes.h"
#include "pdf/reader/xref_tables.h"

namespace pagemint {
namespace {

// A generation has at most five digits (65535); an object number at most
// seven (kMaxObjectNumber).
constexpr int kMaxGenerationDigits = 5;
constexpr int kMaxNumberDigits = 7;

bool IsDigit(uint8_t c) { return c >= '0' && c <= '9'; }
// A byte that can end a word: white space, a delimiter, a comment.
bool EndsWord(uint8_t c) { return chars::Is(c, chars::kTokenStop) || c == '%'; }

// The bytes the pass stops at: the first letter of "obj" and "trailer",
// and the slash of a name.
constexpr bool IsCandidate(uint8_t c) { return c == 'o' || c == 't' || c == '/'; }

bool WordAt(const uint8_t* data, int64_t size, int64_t p, std::string_view word) {
  const int64_t n = static_cast<int64_t>(word.size());
  if (size - p < n || std::memcmp(data + p, word.data(), word.size()) != 0) return false;
  return p + n == size || EndsWord(data[p + n]);
}

// Walks back from q over at most limit bytes of the class given; the
// position of the first byte before them.
int64_t BackOverWhite(const uint8_t* data, int64_t q, int limit) {
  for (int i = 0; i < limit && q >= 0 && chars::Is(data[q], chars::kWhite); ++i) --q;
  return q;
}

// Reads the digits that end at q backwards; false when there are none,
// more than max_digits, or the value does not fit. q is left before them.
bool BackOverDigits(const uint8_t* data, int64_t& q, int max_digits, int64_t& value) {
  int64_t scale = 1;
  int digits = 0;
  value = 0;
  while (q >= 0 && IsDigit(data[q])) {
    if (++digits > max_digits) return false;
    value += (data[q] - '0') * scale;
    scale *= 10;
    --q;
  }
  return digits > 0;
}

// The header whose "obj" starts at p, if the bytes before it form one.
bool HeaderBefore(const uint8_t* data, int64_t p, TgtScannedObject& object) {
  int64_t q = p - 1;
  int64_t after_generation = BackOverWhite(data, q, kMaxHeaderGap);
  if (after_generation == q) return false;
  q = after_generation;
  int64_t generation = 0, number = 0;
  if (!BackOverDigits(data, q, kMaxGenerationDigits, generation) || generation > 65535)
    return false;
  const int64_t after_number = BackOverWhite(data, q, kMaxHeaderGap);
  if (after_number == q) return false;
  q = after_number;
  if (!BackOverDigits(data, q, kMaxNumberDigits, number) || number > kMaxObjectNumber) return false;
  if (q >= 0 && !EndsWord(data[q])) return false;
  object.number = static_cast<int32_t>(number);
  object.generation = static_cast<int32_t>(generation);
  object.offset = static_cast<int32_t>(q + 1);
  return true;
}

void Mark(std::vector<size_t>& list, const TgtXRefScan& scan) {
  if (scan.objects.empty()) return;
  const size_t current = scan.objects.size() - 1;
  if (list.empty() || list.back() != current) list.push_back(current);
}

}  // namespace

TgtXRefScan ScanForObjects(const uint8_t* data, int64_t size) {
  TgtXRefScan scan;
  for (int64_t p = 0; p < size; ++p) {
    const uint8_t c = data[p];
    if (!IsCandidate(c)) continue;
    if (c == 'o') {
      TgtScannedObject object;
      if (WordAt(data, size, p, "obj") && HeaderBefore(data, p, object)) {
        scan.objects.push_back(object);
        p += 2;
      }
    } else if (c == 't') {
      if ((p == 0 || EndsWord(data[p - 1])) && WordAt(data, size, p, "trailer")) {
        scan.trailers.push_back(static_cast<int32_t>(p + 7));
        p += 6;
      }
    } else if (p + 1 < size) {
      // A name: only the four that mark objects of interest.
      switch (data[p + 1]) {
        case 'X':
          if (WordAt(data, size, p, "/XRef")) Mark(scan.xref_streams, scan);
          break;
        case 'O':
          if (WordAt(data, size, p, "/ObjStm")) Mark(scan.object_streams, scan);
          break;
        case 'C':
          if (WordAt(data, size, p, "/Catalog")) Mark(scan.catalogs, scan);
          break;
        case 'S':
          if (WordAt(data, size, p, "/Standard")) Mark(scan.security_handlers, scan);
          break;
        default:
          break;
      }
    }
  }
  return scan;
}

}  // namespace pagemint
