// SPDX-License-Identifier: GPL-3.0-or-later
// Reading the cross-reference data of a file.
//
// A file is read from its end: "startxref" gives the offset of the newest
// section, which is either a classic table
//     xref
//     S N               (subsection: first object number, entry count)
//     oooooooooo ggggg n   (N entries: offset, generation, n or f)
//     trailer << ... >>
// or a cross-reference stream (an indirect object whose stream holds
// fixed-width binary entries described by /W and /Index). /Prev links
// each section to the older one, /XRefStm a classic section to a stream
// with the entries of a hybrid file. Older sections are applied first so
// that newer entries replace theirs. Data that cannot be read ends
// ReadFromStream with an error; RebuildFromStream then finds the objects
// by one scan of the whole file instead (see xref_rebuild.h).
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <unordered_set>

#include "pdf/objects/pdf_exceptions.h"
#include "pdf/reader/object_loader.h"
#include "pdf/reader/xref_rebuild.h"

namespace pagemint {

// A rebuild found an encryption dictionary that no trailer names: the file
// cannot be decrypted, and no other reading of it is right.
PAGEMINT_EXCEPTION(ELostEncryptionError, EPDFFileCorruptedError);

// The version of the file header at offset; raises EInvalidHeader or
// EUnsupportedVersion.
TgtPDFVersion ReadHeader(TgtPDFStreamReader& reader, int64_t offset = 0);
// As ReadHeader, for the first header in the first kilobyte of the file;
// a header that is missing or damaged is reported to reporter and taken
// as PDF 1.7 (the rebuild then decides whether the file can be read).
TgtPDFVersion FindHeader(TgtPDFStreamReader& reader, TgtReadReporter& reporter);
// The offset after the last "startxref" of the file.
int32_t FindStartXRef(TgtPDFStreamReader& reader);
// "trailer" and its dictionary, from the reader's position on.
std::unique_ptr<TgtPDFDictObject> ReadTrailer(TgtPDFStreamReader& reader);
// Undoes the PNG row filters (one byte per pixel) of rows columns wide.
std::string DecodePNGRows(const std::string& data, int32_t columns);

class TgtXRefReader {
 public:
  explicit TgtXRefReader(TgtObjectLoader& loader)
      : loader_(loader), state_(loader.State()), reporter_(loader.Reporter()) {}

  // Reads the header, every cross-reference section and the trailers of
  // the stream (which must stay alive while the document is read), sets
  // the version, the "encrypted" and "loaded" flags and the store's number
  // counter. Object streams are expanded here unless the file is
  // encrypted; then the component expands them once a password has been
  // accepted.
  void ReadFromStream(TStream& stream);
  // As ReadFromStream, for a file whose cross-reference data cannot be
  // used: the table is rebuilt from a scan of the whole file (the last
  // header of a number wins), the trailer values come from the trailer
  // dictionaries and cross-reference streams found, newest first, and a
  // catalog found by its /Type stands in when none of them names one.
  // Reports the rebuild once as a warning: that the table is damaged, or,
  // when a table was read whole and reading through it failed later with
  // table_read_error, that error.
  void RebuildFromStream(TStream& stream, const std::string& table_read_error = {});
  void ReadXRefTable(int32_t offset);
  void ReadXRefStream(int32_t offset);

 private:
  enum class SectionKind { kClassic, kStream, kNone };
  void OpenReader(TStream& stream);
  // What both ways of reading do once the tables are filled.
  void FinishReading();
  void ApplyScan(const TgtXRefScan& scan);
  void MergeScannedTrailers(const TgtXRefScan& scan);
  void ChooseScannedCatalog(const TgtXRefScan& scan);
  void FindCatalogInObjectStreams();
  void RefuseLostEncryption(const TgtXRefScan& scan, const uint8_t* data, int64_t size);
  bool IsLive(const TgtScannedObject& object) const;
  // The object or dictionary at offset, or nullptr when it cannot be
  // parsed (problem says why) or the rebuild's parse budget is spent.
  TgtPDFObjectPtr ParseScanned(int64_t offset, std::string* problem = nullptr);
  // The content of a live scanned object, parsed into holder; nullptr when
  // the object is not live or cannot be parsed.
  const TgtPDFObject* ScannedContent(const TgtScannedObject& object, TgtPDFObjectPtr& holder);
  SectionKind Classify(int64_t offset);
  // Follows a /Prev value to the section it names.
  void FollowPrevious(const TgtPDFObject* previous);
  void EnterSection(int32_t offset);
  void MergeTrailer(const TgtPDFDictObject& trailer);
  void ReadClassicEntries(int32_t offset);
  std::string StreamEntries(TgtPDFStreamObject& stream);
  void StoreStreamEntries(const TgtPDFDictObject& dictionary, const std::string& data);
  void ResolveIdentifier();
  void ResolveEncryption();

  TgtObjectLoader& loader_;
  TgtPDFDocumentState& state_;
  TgtReadReporter& reporter_;
  std::unordered_set<int32_t> visited_;
  // A /Root given as a dictionary in a trailer the rebuild found.
  TgtPDFObjectPtr direct_root_;
  // Bytes the rebuild may still parse to look into the objects the scan
  // marked, so that a file full of marks costs time linear in its size.
  int64_t parse_budget_ = 0;
};

}  // namespace pagemint
