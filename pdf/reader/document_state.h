// SPDX-License-Identifier: GPL-3.0-or-later
// Everything that belongs to one open document, in one plain object. The
// readers in this folder fill it, the component owns it and drives the
// steps, and the writer reads it. A fresh state is an empty document; the
// component replaces the whole state to close a document.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "pdf/objects/pdf_objects.h"
#include "pdf/parser/stream_reader.h"
#include "pdf/reader/acro_form_field.h"
#include "pdf/reader/document_source.h"
#include "pdf/reader/document_types.h"
#include "pdf/reader/named_destinations.h"
#include "pdf/reader/object_store.h"
#include "pdf/reader/pdf_catalog.h"
#include "pdf/reader/pdf_info.h"
#include "pdf/reader/pdf_outline.h"
#include "pdf/reader/xref_tables.h"
#include "platform/stream.h"

namespace pagemint {

class TgtPDFDecrypt;
class TgtPDFEncryptionSettings;
class TgtPDFEncryption;

struct TgtPDFDocumentState {
  // Takes a new document serial from the process-wide counter.
  TgtPDFDocumentState();
  ~TgtPDFDocumentState();
  TgtPDFDocumentState(const TgtPDFDocumentState&) = delete;
  TgtPDFDocumentState& operator=(const TgtPDFDocumentState&) = delete;

  uint32_t serial;
  TgtPDFVersion version = pvPDF14;
  bool loaded = false;     // the cross-reference data has been read
  bool encrypted = false;  // the trailer names an encryption dictionary
  TgtPageMode page_mode = pmNone;
  TgtPageLayout page_layout = plNone;

  // Every indirect object of the document, in registration order.
  std::unique_ptr<TgtPDFObjectStore> store = std::make_unique<TgtPDFObjectStore>();
  TgtXRefTable classic_table;
  TgtXRefStmTable stream_table;
  TgtPDFTrailer trailer;

  // The page objects in document order; the store owns them.
  std::vector<TgtPDFIndirectObject*> pages;
  // Each page's /Parent as the source wrote it (number and generation;
  // number -1 when it was no reference), by page index: the reader takes
  // the entry out of the page, an update writes it back.
  std::vector<std::pair<int32_t, int32_t>> page_parents;
  // Each page's /B (its article beads) as the source wrote it, or null, by
  // page index: the reader takes the entry out; a save writes it back.
  std::vector<TgtPDFObjectPtr> page_beads;
  std::unique_ptr<TgtPDFCatalog> catalog = std::make_unique<TgtPDFCatalog>();
  std::unique_ptr<TgtPDFInfo> info = std::make_unique<TgtPDFInfo>();
  std::unique_ptr<TgtPDFOutline> outline_root;
  int32_t outline_count = 0;
  // Present only when the source has named destinations.
  std::unique_ptr<TgtNamedDestinations> destinations;
  // Present only when the catalog's form has /Fields.
  std::unique_ptr<std::vector<TgtAcroFormField>> form_fields;
  // Read for an update of page thumbnails only: what pages refer to through
  // /Contents, /Resources and /Annots stays unread in the source, so the
  // document can be saved only as an update appended to that source.
  bool page_objects_unread = false;

  // Security: the decryptor the reader applies, and the settings that the
  // component publishes as Encryption (re-created with every state).
  std::unique_ptr<TgtPDFDecrypt> decryptor;
  std::unique_ptr<TgtPDFEncryptionSettings> encryption;
  // The writer's encryption object: made at the first save with
  // encryption on and kept for later saves, so they write the same file
  // identifier and keys.
  std::unique_ptr<TgtPDFEncryption> encryption_object;

  // The file the document was read from, open until the document is
  // closed (its streams' data stays there), and, while the document is
  // being read, the reader over it.
  std::shared_ptr<TgtDocumentSource> source;
  std::unique_ptr<TgtPDFStreamReader> reader;
  // Object streams are expanded once, after decryption is set up.
  bool object_streams_expanded = false;
  // After a rebuild: the object streams the scan found, in file order.
  // Their own headers say which objects they hold.
  std::vector<int32_t> scanned_object_streams;

  int32_t PageCount() const { return static_cast<int32_t>(pages.size()); }
  // Frees the reader once the structure has been read; the source stays
  // open for stream data.
  void ReleaseSource();
};

}  // namespace pagemint
