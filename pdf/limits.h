// SPDX-License-Identifier: GPL-3.0-or-later
// Every bound the engine puts on work a file can ask for: nesting, chains,
// numbers and decoded sizes, each with the reason it exists. A hostile file
// of a few hundred bytes can claim gigabytes of data, millions of objects
// or a structure nested a million deep; these numbers are where reading
// stops, chosen far above what any real document comes near.
//
// Constants only, with no includes of the engine: every folder of pdf/ may
// include this header. Pictures keep theirs in picture/picture_limits.h
// (that folder sits beside pdf/, not below it).
#pragma once

#include <cstdint>

namespace pagemint {

// --- Nesting: each level is a nested call, so these bound the stack -------

// Arrays, dictionaries and "obj" headers as the parser reads them. Real
// documents nest a few levels deep, a few dozen at most.
inline constexpr int kMaxObjectNesting = 1000;
// Objects as the writer builds their text; the same bound on the way out,
// so an object tree built in code cannot exhaust the stack either.
inline constexpr int kMaxTextNesting = 1000;
// Outline items as the writer builds them; the reader stops far below.
inline constexpr int kMaxOutlineNesting = 1000;
// Page tree nodes: a few levels in any real file.
inline constexpr int kMaxPageTreeDepth = 1024;
// Name trees, outline item children and form field kids as read: shallow
// in every real document.
inline constexpr int kMaxNameTreeDepth = 256;
inline constexpr int kMaxOutlineDepth = 256;
inline constexpr int kMaxFieldDepth = 256;
// A value copied with every reference resolved: a loop of references (or
// absurd nesting) ends with an error here.
inline constexpr int kMaxResolveDepth = 256;
// A stream's /Length that refers to a stream whose /Length refers to
// another...: past this the length is taken as unusable.
inline constexpr int kMaxLengthDepth = 4;

// --- Chains: loops in damaged files end here -------------------------------

// An indirect object whose content is again a reference, and so on: no
// writer makes chains anywhere near this long.
inline constexpr int kMaxReferenceChain = 32;
// A /Prev chain of cross-reference sections: a real file has a few dozen
// updates at most.
inline constexpr int kMaxSections = 1000;
// The /Parent chain a lone page inherits its attributes through.
inline constexpr int kMaxParents = 32;

// --- Numbers and scans -------------------------------------------------------

// The largest object number taken: the largest conforming writers use.
// Tables indexed by number grow with the numbers a file really has, not
// with the numbers it names (see TgtLocationTable).
inline constexpr int32_t kMaxObjectNumber = 8388607;
// Offsets are signed 32-bit: a file of 2 GB or more cannot be addressed.
inline constexpr int64_t kMaxFileSize = 2147483647;
// White space inside an object header ("1 0 obj") the rebuild scan accepts;
// it also bounds how far back each "obj" makes the scan look.
inline constexpr int kMaxHeaderGap = 32;

// --- Decoded sizes: every decode has a cap on its output -------------------

// Any decode without a tighter bound. Flate, LZW and RunLength data expand
// without bound in principle (a kilobyte of nested Flate inflates to
// gigabytes); a decoder stops with EDecodedSizeError past this. Its result
// and the pieces it is gathered from are both in memory at the end, so the
// peak is about twice this.
inline constexpr int64_t kMaxDecodedSize = int64_t{256} << 20;
// An object stream is held decoded while its objects are parsed out of it.
inline constexpr int64_t kMaxObjectStreamSize = int64_t{256} << 20;
// A cross-reference stream's entries are held decoded; this is far above
// what kMaxObjectNumber entries of the widest fields take.
inline constexpr int64_t kMaxXRefStreamSize = int64_t{64} << 20;
// An Indexed colour space's lookup table: at most 256 entries of at most
// four components.
inline constexpr int64_t kMaxPaletteSize = 256 * 4;

// An image whose samples have a known size (a thumbnail: width x height x
// components) never needs much more data than that: decoding stops at this
// cap instead of the general one. The margin is for encoding layers on the
// way (ASCIIHex doubles, with line ends) and for compressed JPEG data,
// which for thumbnail sizes is never several times its samples.
constexpr int64_t KnownSizeDecodeCap(int64_t sample_bytes) {
  return sample_bytes * 4 + (int64_t{64} << 10);
}

}  // namespace pagemint
