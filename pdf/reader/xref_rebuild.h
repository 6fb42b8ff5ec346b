// SPDX-License-Identifier: GPL-3.0-or-later
// Finding the objects of a file whose cross-reference data cannot be used.
//
// One pass over the bytes, front to back, records
//   N G obj        every object header: N and G digits, white space
//                  between and after them, "obj" ending a word
//   trailer        every trailer keyword (its dictionary follows)
//   /XRef /ObjStm /Catalog /Standard
//                  the names that mark cross-reference streams, object
//                  streams, catalogs and encryption dictionaries of the
//                  standard security handler, noted against the object whose
//                  header came last; the reader parses those few objects
//                  afterwards to see whether the name really is their /Type.
// The pass looks at each byte a bounded number of times, so it is linear in
// the size of the file whatever the bytes are.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

namespace pagemint {

struct TgtScannedObject {
  int32_t number = 0;
  int32_t generation = 0;
  int32_t offset = 0;  // of the first digit of the header
};

struct TgtXRefScan {
  // Every header, in file order; a later header of a number replaces an
  // earlier one.
  std::vector<TgtScannedObject> objects;
  // Offsets just after each "trailer" keyword, in file order.
  std::vector<int32_t> trailers;
  // Indexes into objects of those that mention each marking name.
  std::vector<size_t> xref_streams;
  std::vector<size_t> object_streams;
  std::vector<size_t> catalogs;
  std::vector<size_t> security_handlers;
};

// The scan of size bytes at data (at most 2 GB: offsets are 32-bit).
TgtXRefScan ScanForObjects(const uint8_t* data, int64_t size);

}  // namespace pagemint
