// SPDX-License-Identifier: GPL-3.0-or-later
// The engine's message table. Every text that reaches a user lives here,
// so the wording is in one place; Format fills the printf-style arguments.
#pragma once

#include <string>

namespace pagemint {

// printf-style formatting into a std::string. Callers format only when an
// event has a handler, so a message nobody listens to costs nothing.
std::string Format(const char* format, ...) __attribute__((format(printf, 1, 2)));

namespace msg {

// platform
inline constexpr const char kInvalidInteger[] = "'%s' is not a valid integer value";
inline constexpr const char kInvalidCast[] = "Invalid class typecast";
inline constexpr const char kListIndex[] = "List index out of bounds (%d)";
inline constexpr const char kCannotOpenFile[] = "Cannot open file \"%s\". %s";
inline constexpr const char kCannotCreateFile[] = "Cannot create file \"%s\". %s";
inline constexpr const char kWriteError[] = "Error writing file \"%s\". %s";
inline constexpr const char kStreamReadError[] = "Stream read error";
inline constexpr const char kOperationCancelled[] = "Operation cancelled";
inline constexpr const char kSourceDataMissing[] =
    "The data of object %d could not be read: the source file has changed or been closed";
inline constexpr const char kStreamWriteError[] = "Stream write error";

// pdf/objects
inline constexpr const char kIndexOutOfBounds[] = "Index Out Of Bounds!";
inline constexpr const char kUnexpectedObject[] = "Unexpected PDF object encountered";
inline constexpr const char kObjectNestingTooDeep[] =
    "Objects are nested more than %d levels deep and cannot be written";

// pdf/streams
inline constexpr const char kInvalidStream[] = "Invalid Stream! Cannot create with null stream";
inline constexpr const char kWriteOnlyCannotRead[] = "A write-only filter cannot read";
inline constexpr const char kUnsupportedFilter[] = "Unsupported filter (%s)";
inline constexpr const char kUnsupportedFilterPlain[] = "Unsupported filter";
inline constexpr const char kUnexpectedFilterObject[] = "Unexpected filter object, found (%s)";
inline constexpr const char kIllegalCharacter[] = "Illeagal character within stream";
inline constexpr const char kEndOfDataMarkerWrong[] = "EndOfData marker is wrong";
inline constexpr const char kMisplacedZ[] = "\"z\" found at inappropriate position";
inline constexpr const char kSingleFinalCharacter[] = "Single Final Character";
inline constexpr const char kRunLengthMarkerWrong[] = "EndOfData Marker is wrong";
inline constexpr const char kPrematureEndOfData[] = "Premature EndOfData Marker found";
inline constexpr const char kUnexpectedEndOfFile[] = "Unexpected EndOfFile found";
inline constexpr const char kInvalidZStreamOperation[] = "Invalid ZStream operation!";
inline constexpr const char kDecodedSizeLimit[] = "Decoded stream exceeds the limit of %lld bytes";
inline constexpr const char kInvalidLzwCode[] = "Invalid LZW code (%d)";
inline constexpr const char kUnsupportedCompressionMethod[] = "Unsupported compression method (%d)";

// pdf/parser
inline constexpr const char kStringReadError[] = "Error reading PDF string (%s)";
inline constexpr const char kArrayReadError[] = "Error reading PDF array (%s)";
inline constexpr const char kNameReadError[] = "Error reading PDF name string (%s)";
inline constexpr const char kDictionaryReadError[] = "Error reading PDF dictionary (%s)";
inline constexpr const char kExpectedBoolean[] = "Expected boolean (%s) object";
inline constexpr const char kExpectedNull[] = "Expected PDF null object";
inline constexpr const char kPdfStreamReadError[] = "Error reading PDF stream";
inline constexpr const char kExpectedEndStream[] = "Expected PDF endstream";
inline constexpr const char kEndBeforeObject[] = "The data ended where a PDF object was expected";
inline constexpr const char kEndInString[] = "The data ended while reading a PDF string";
inline constexpr const char kEndInArray[] = "The data ended while reading a PDF array";
inline constexpr const char kEndInDictionary[] = "The data ended while reading a PDF dictionary";
inline constexpr const char kEndBeforeName[] = "The data ended where a PDF name was expected";
inline constexpr const char kNestingTooDeep[] = "PDF objects are nested more than %d levels deep";
inline constexpr const char kObjectEndMissing[] =
    "File is corrupted: object %d is followed by damaged bytes instead of endobj or stream";
inline constexpr const char kKeyWithoutValue[] = "Error reading PDF dictionary: %s has no value";
inline constexpr const char kHeaderInsideObject[] =
    "An array or dictionary runs on into the header of the next object";
inline constexpr const char kHexStringDamaged[] = "Error reading PDF hex string (%s)";

// pdf/security
inline constexpr const char kInvalidPermission[] = "Invalid permission in encryption dictionary";
inline constexpr const char kInvalidFileId[] = "Invalid FileId.";
inline constexpr const char kInvalidOwnerKey[] = "Invalid Owner Key.";
inline constexpr const char kInvalidUserKey[] = "Invalid User Key.";
inline constexpr const char kCannotChangeEncryption[] = "User cannot change encryption settings";
inline constexpr const char kRc4InvalidKeyLength[] = "RC4: Invalid key length";
inline constexpr const char kInvalidEncryptVersion[] =
    "Invalid encryption dictionary: /V is missing or not an integer";
inline constexpr const char kInvalidEncryptRevision[] =
    "Invalid encryption dictionary: /R is missing or not an integer";
inline constexpr const char kInvalidEncryptLength[] =
    "Invalid encryption dictionary: /Length is not an integer";
inline constexpr const char kUnsupportedSecurityHandler[] =
    "Unsupported security handler (%s): only the standard security handler can be read";
inline constexpr const char kUnsupportedEncryptVersion[] =
    "Unsupported encryption algorithm (/V %lld): only /V 1, 2, 4 and 5 can be read";
inline constexpr const char kUnsupportedEncryptRevision[] =
    "Unsupported standard security handler revision (/R %lld) for /V %lld";
inline constexpr const char kUnsupportedKeyLength[] =
    "Unsupported encryption key length (/Length %lld): only 40 and 128 bits can be read";
inline constexpr const char kUnsupportedCryptMethod[] =
    "Unsupported encryption method (/CFM %s) in crypt filter %s";
inline constexpr const char kUnsupportedAes256Filter[] =
    "Unsupported encryption: /V 5 crypt filters must use AES-256 (/AESV3)";
inline constexpr const char kInvalidCryptFilterEntry[] =
    "Invalid encryption dictionary: %s is not a name";
inline constexpr const char kUndefinedCryptFilter[] =
    "Invalid encryption dictionary: crypt filter %s (%s) is not defined in /CF";
inline constexpr const char kInvalidOwnerEncryptedKey[] = "Invalid Owner Encryption Key (/OE).";
inline constexpr const char kInvalidUserEncryptedKey[] = "Invalid User Encryption Key (/UE).";
inline constexpr const char kPermsMismatch[] =
    "The encryption dictionary's /Perms does not match /P; the permissions of /P are used";
inline constexpr const char kAesDataDamaged[] =
    "Object %d %d: the AES-encrypted data is damaged (bad length or padding); it is kept as "
    "decrypted";
inline constexpr const char kAesInvalidKeyLength[] = "AES: Invalid key length (%d bytes)";
inline constexpr const char kCryptoFailure[] = "The cryptography library failed (%s)";

// pdf/reader
inline constexpr const char kStoreAddNothing[] = "Expected PDF null object";
inline constexpr const char kInvalidHeader[] = "Invalid PDF Header (%s)";
inline constexpr const char kUnsupportedVersion[] = "Unsupported PDF Version (%s)";
inline constexpr const char kUnexpectedStreamType[] = "Unexpected Stream Type";
inline constexpr const char kInvalidPdfFile[] = "Invalid PDF File";
inline constexpr const char kUnableToReadOffset[] = "Error reading document. Unable to read offset";
inline constexpr const char kFileCorrupted[] = "File is corrupted";
inline constexpr const char kTrailerError[] = "Error reading PDF trailer";
inline constexpr const char kImproperPngTag[] = "Improper PNG algorithm tag in stream";
inline constexpr const char kReadingXRefTable[] = "Reading Cross-Reference Table";
inline constexpr const char kReadingXRefStream[] = "Reading Cross-Reference Stream Table";
inline constexpr const char kInvalidObjectNumber[] = "Invalid Object number in PDF (%d)";
inline constexpr const char kStreamInsideArray[] = "Stream Object found inside Array!";
inline constexpr const char kTraversingPages[] = "Traversing Pages...";
inline constexpr const char kProcessingDestinations[] = "Processing Destinations";
inline constexpr const char kProcessingAnnotations[] = "Processing Annotations...";
inline constexpr const char kAcroFormsProcessed[] = "AcroForms Processed";
inline constexpr const char kProcessingNameTree[] = "Processing Name Tree...";
inline constexpr const char kReadingOutlines[] = "Reading Outlines...";
inline constexpr const char kUnexpectedErrorText[] = "Unexpected Error";
inline constexpr const char kFileTooLarge[] =
    "File is too large (%lld bytes): files of 2 GB or more cannot be read";
inline constexpr const char kOffsetTooLarge[] =
    "Object %d lies at or beyond 2 GB (offset %lld): such files cannot be read";
inline constexpr const char kPrevTooLarge[] =
    "A cross-reference section lies at or beyond 2 GB (offset %lld): such files cannot be read";
inline constexpr const char kObjectNumberRange[] =
    "File is corrupted: object number %lld in the cross-reference data is out of range";
inline constexpr const char kTooManySections[] =
    "File is corrupted: more than %d cross-reference sections";
inline constexpr const char kBadXRefStream[] =
    "File is corrupted: no cross-reference stream at offset %d";
inline constexpr const char kBadXRefWidths[] =
    "File is corrupted: invalid field widths (/W) in the cross-reference stream";
inline constexpr const char kBadXRefPredictor[] =
    "Unsupported predictor (%d) in the cross-reference stream";
inline constexpr const char kObjectNotAtOffset[] =
    "File is corrupted: object %d is not at offset %d where the cross-reference data puts it";
inline constexpr const char kObjectStreamUnreadable[] = "Object stream %d cannot be read: %s";
inline constexpr const char kReferenceChainTooLong[] =
    "File is corrupted: object %d: reference chain longer than %d";
inline constexpr const char kNestedTooDeeply[] =
    "File is corrupted: objects refer to each other more than %d levels deep";
inline constexpr const char kNoRoot[] = "File is corrupted: the trailer names no catalog (/Root)";
inline constexpr const char kCatalogMissing[] =
    "File is corrupted: the catalog (object %d) cannot be found";
inline constexpr const char kNoPages[] = "File is corrupted: the catalog has no page tree (/Pages)";
inline constexpr const char kPageNodeMissing[] =
    "File is corrupted: page tree node %d cannot be found";
inline constexpr const char kPageWithKids[] =
    "File is corrupted: page tree node %d has kids but is marked as a page";
inline constexpr const char kPageTreeLoop[] =
    "File is corrupted: the page tree reaches node %d more than once";
inline constexpr const char kPageTreeTooDeep[] =
    "File is corrupted: the page tree is nested more than %d levels deep";
inline constexpr const char kNameTreeLoop[] =
    "File is corrupted: the name tree reaches node %d more than once";
inline constexpr const char kOutlineLoop[] =
    "Outline item %d is reached more than once; the outline is cut there";
inline constexpr const char kNoObjectAtOffset[] = "File is corrupted: no object at offset %lld";
inline constexpr const char kStreamWithoutData[] =
    "The data of stream object %d cannot be read; the stream is kept without data";
inline constexpr const char kXRefEntryDamaged[] =
    "File is corrupted: the cross-reference entry of object %d is damaged";
inline constexpr const char kEncryptMissing[] =
    "File is corrupted: the encryption dictionary cannot be found";
inline constexpr const char kXRefRebuilt[] =
    "The cross-reference data is damaged; it was rebuilt from the objects in the file";
inline constexpr const char kObjectStreamTypeLost[] =
    "Object stream %d does not say that it is one (its /Type is damaged); it was read as the "
    "cross-reference data names it";
inline constexpr const char kReadAgainFromObjects[] =
    "The document cannot be read through its cross-reference data (%s); it was read again "
    "from the objects in the file";
inline constexpr const char kDamagedSyntaxSkipped[] =
    "Damaged object syntax was passed over in %d places (entries without a key, words where "
    "a value belongs, arrays without their end)";
inline constexpr const char kEncryptionTrailerLost[] =
    "File is corrupted: it is encrypted, but the trailer that names its encryption dictionary "
    "and file identifier is lost";
inline constexpr const char kDamagedObjectNull[] =
    "Object %d is damaged and was read as null: %s";
inline constexpr const char kHeaderDamaged[] =
    "The PDF header is damaged or missing; the file is read as PDF %s";
inline constexpr const char kCatalogPartDropped[] =
    "The document's %s is damaged and was left out: %s";
inline constexpr const char kNoPageReadable[] =
    "File is corrupted: the page tree holds no page that can be read";
inline constexpr const char kCatalogLost[] =
    "The catalog cannot be read (%s); a new one was made for the pages found in the file";
inline constexpr const char kPagesGathered[] =
    "The page tree cannot be read (%s); a new one was made of the %d pages found in the file";
inline constexpr const char kPageKidBlank[] =
    "The page tree node %d has a kid that is not a page (%s); an empty page stands in for it";
inline constexpr const char kPageKidSkipped[] =
    "The page tree node %d has a kid that is not a page (%s); it was skipped";
inline constexpr const char kTrailerIgnored[] =
    "The trailer dictionary at offset %lld is damaged and was ignored: %s";

// pdf/document
inline constexpr const char kFileNotFound[] = "File Not Found";
inline constexpr const char kDocumentReadComplete[] = "Document read complete. Pages read = %d";
inline constexpr const char kInvalidPageNumber[] = "Invalid page number (%d)";
inline constexpr const char kUnsupportedImageFormat[] = "Unsupported image format (%s)";
// pdf/document: saving
inline constexpr const char kSavingFile[] = "Saving File %s";
inline constexpr const char kSaveComplete[] = "Save Complete";
inline constexpr const char kBuildingOutlines[] = "Building Outlines...";
inline constexpr const char kBuildingObjects[] = "Building Objects...";
inline constexpr const char kWritingPages[] = "Writing Pages";
inline constexpr const char kWritingXRef[] = "Writing Cross-Reference Table";
inline constexpr const char kOutlineDestNotPage[] =
    "Expected Page Indirect Reference in Outline Destination!";
inline constexpr const char kDocumentSigned[] =
    "The document is digitally signed; saving rewrites it and the signatures will no longer "
    "verify";
inline constexpr const char kUserPasswordUnknown[] =
    "The source was opened with its owner password and its user password cannot be recovered; "
    "the file is written without a user password, so anyone can open it";
inline constexpr const char kSettingsDialogCaption[] = "Document Settings and Preferences";
inline constexpr const char kOutputTooLarge[] =
    "The document is too large to save: object %d would start at byte %lld, beyond the "
    "2 GB that a cross-reference table can address";
inline constexpr const char kTooManyObjects[] =
    "The document has too many objects to save (more than %d)";
// pdf/document: the thumbnail life cycle
inline constexpr const char kThumbnailSizeRange[] =
    "Thumbnail size %d is outside the allowed %d to %d pixels";
inline constexpr const char kRenderUnavailable[] = "The pages cannot be rendered: %s";
inline constexpr const char kRenderPageFailed[] = "Page %d cannot be rendered (%s); it keeps %s";
inline constexpr const char kRenderKeepsOld[] = "its old thumbnail";
inline constexpr const char kRenderKeepsNone[] = "no thumbnail";
inline constexpr const char kRenderCancelled[] = "Rendering the thumbnails was cancelled";
inline constexpr const char kRenderPagesDamaged[] =
    "The renderer read past damage in pages %s (%lld reports, the first: %s); their thumbnails "
    "may be incomplete";
inline constexpr const char kPictureLargeThumbnail[] =
    "The picture \"%s\" is %d x %d pixels; a thumbnail over %d pixels on a side makes the file "
    "larger for nothing (a thumbnail size scales it down)";
inline constexpr const char kPictureCannotDraw[] = "Picture \"%s\" cannot be drawn: %s";

// picture
// picture: bitmaps, JPEG images and icons. The "... is not valid" messages
// name the file; the reasons below fill their second %s.
inline constexpr const char kBitmapInvalid[] = "Bitmap image \"%s\" is not valid: %s";
inline constexpr const char kJpegInvalid[] = "JPEG image \"%s\" is not valid: %s";
inline constexpr const char kIconInvalid[] = "Icon \"%s\" is not valid: %s";
inline constexpr const char kPictureTooLarge[] =
    "the picture is too large (%lld x %lld pixels; the limit is %lld pixels, %d on a side)";
inline constexpr const char kPictureBadSize[] = "the picture has an impossible size (%lld x %lld pixels)";
inline constexpr const char kPictureOutOfMemory[] = "not enough memory for %d x %d pixels";
inline constexpr const char kPictureTooLargeWhole[] =
    "the picture is too large to draw at its own size (%lld x %lld pixels; the limit is %lld "
    "pixels): give a thumbnail size to draw it smaller";
inline constexpr const char kBitmapNoHeader[] =
    "the file starts with neither a bitmap file header nor a bitmap information header";
inline constexpr const char kBitmapBitsPastEnd[] =
    "the pixel data offset %u lies past the end of the file (%zu bytes)";
inline constexpr const char kDibHeaderTruncated[] = "the bitmap header is truncated";
inline constexpr const char kDibHeaderSize[] = "unsupported bitmap header size %u";
inline constexpr const char kDibBitCount[] = "unsupported bit count %u";
inline constexpr const char kDibCompression[] = "unsupported compression (%s)";
inline constexpr const char kDibCompressionDepth[] =
    "compression %s does not go with %u bits per pixel";
inline constexpr const char kDibTableTruncated[] = "the colour table is truncated";
inline constexpr const char kDibBitsTruncated[] = "the pixel data is truncated (%zu of %zu bytes)";
inline constexpr const char kDibRleTruncated[] = "the RLE data ends before the end of the bitmap";
inline constexpr const char kDibMaskTruncated[] = "the transparency mask is truncated";
inline constexpr const char kJpegComponents[] = "unsupported number of colour components (%d)";
inline constexpr const char kJpegTooManyScans[] = "more than %d progressive scans";
inline constexpr const char kJpegScaledTooLarge[] =
    "a progressive image of %lld x %lld pixels holds more than %lld pixels of coefficients";
inline constexpr const char kIconNoDirectory[] = "the file does not start with an icon directory";
inline constexpr const char kIconDirectoryTruncated[] = "the icon directory is truncated";
inline constexpr const char kIconNoImage[] = "no image of the directory lies inside the file";
inline constexpr const char kIconPng[] = "the PNG image cannot be read (%s)";
// picture: enhanced metafiles. kMetafileInvalid names the file; the others
// fill its second %s.
inline constexpr const char kMetafileInvalid[] = "Invalid metafile \"%s\": %s";
inline constexpr const char kMetafileTooShort[] = "the file is too short to hold a metafile header";
inline constexpr const char kMetafileNoHeader[] = "the first record is not a metafile header";
inline constexpr const char kMetafileSignature[] = "the header has no \" EMF\" signature";
inline constexpr const char kMetafileEmptyFrame[] = "the picture frame is empty (%d x %d pixels)";
inline constexpr const char kMetafileFrameTooLarge[] = "the picture frame is too large (%d x %d pixels)";
inline constexpr const char kMetafileRecordPastEnd[] =
    "record %u at offset %zu (type %u, %u bytes) runs past the end of the file";
inline constexpr const char kMetafileRecordTooSmall[] =
    "record %u at offset %zu (type %u) has an impossible size of %u bytes";
inline constexpr const char kMetafileRecordDamaged[] =
    "record %u at offset %zu (type %u) is damaged: %s";
inline constexpr const char kMetafileFieldPastEnd[] = "a field runs past the end of the record";
inline constexpr const char kMetafileCountTooLarge[] = "its counts do not fit the record";
inline constexpr const char kMetafileBadIndex[] = "an index points outside the record";
inline constexpr const char kMetafilePlusOnly[] =
    "it holds only EMF+ drawing records and no plain drawing records to play";
// picture: any picture file, recognised by its content
inline constexpr const char kPictureUnknownKind[] =
    "Picture \"%s\" is not a bitmap, JPEG, metafile, icon, PNG, GIF, TIFF or WebP picture";
inline constexpr const char kImageInvalid[] = "%s image \"%s\" is not valid: %s";
inline constexpr const char kImageUnreadable[] = "the image data cannot be read";
inline constexpr const char kPngChunkPastEnd[] =
    "its %s chunk claims %u bytes, more than the file holds";
inline constexpr const char kImageNoPlugin[] = "this system has no reader for %s images";

// render: pages drawn by the renderer
inline constexpr const char kRenderCannotOpen[] = "the renderer cannot open the document";
inline constexpr const char kRenderLocked[] =
    "the renderer cannot open the document with the password that opened it";
inline constexpr const char kRenderNoSuchPage[] = "the renderer finds only %d pages";
inline constexpr const char kRenderPageUnreadable[] = "the renderer cannot read the page";
inline constexpr const char kRenderPageNoSize[] = "the page has no area to draw";
inline constexpr const char kRenderPageNotDrawn[] = "the renderer could not draw the page";
inline constexpr const char kRenderPageCountDiffers[] =
    "the renderer reads %d pages where the document has %d";
// The worker process that draws the pages: why a page or the document got
// no picture from it. Each fills "Page %d cannot be rendered (%s)".
inline constexpr const char kRenderWorkerNotFound[] =
    "the renderer program pagemint-render cannot be found (looked for %s)";
inline constexpr const char kRenderWorkerCannotStart[] = "the renderer cannot be started: %s";
inline constexpr const char kRenderWorkerSignal[] = "the renderer stopped: killed by signal %d, %s";
inline constexpr const char kRenderWorkerExit[] = "the renderer stopped: it exited with status %d";
inline constexpr const char kRenderWorkerMemory[] =
    "the renderer stopped: it needed more than its memory limit of %lld MB";
inline constexpr const char kRenderWorkerTimeout[] =
    "the renderer took longer than %g s and was stopped";
inline constexpr const char kRenderWorkerGarbled[] = "the renderer sent a reply that cannot be read";

// app
inline constexpr const char kNoSourceFile[] = "No source file specified!";
inline constexpr const char kSourceNotFound[] = "Source file cannot be found!";
inline constexpr const char kNoDocumentLoaded[] =
    "No document is loaded. Open the source PDF file with \"Open...\" first.";
inline constexpr const char kPasswordPrompt[] = "%s is protected by a password.\n\nPassword:";
inline constexpr const char kPasswordRetry[] =
    "The password is not correct.\n\nPassword (attempt %d):";
inline constexpr const char kPreviewNone[] = "(no picture)";

// cli: the command-line tool. kCliError and kCliWarning frame every line it
// writes to standard error; the usage texts are printed as they stand.
inline constexpr const char kCliError[] = "pagemint-cli: %s";
inline constexpr const char kCliWarning[] = "pagemint-cli: warning: %s";
inline constexpr const char kCliUsage[] =
    "Usage: pagemint-cli SOURCE DEST [--password PW] [--show-thumbs] [--thumb PAGE=PICTURE]...\n"
    "                    [--remove-thumbs[=PAGES]] [--render-thumbs[=PAGES]] [--thumb-size PX]\n"
    "                    [--jobs N] [--extract-thumbs DIR] [--verbose]\n"
    "       pagemint-cli SOURCE --extract-thumbs DIR [OPTIONS]\n"
    "       pagemint-cli --in-place FILE... [OPTIONS]\n"
    "       pagemint-cli --output-dir DIR FILE... [OPTIONS]\n"
    "       pagemint-cli --output-dir DIR [--keep-tree ROOT] --files-from LIST [--null] [OPTIONS]\n"
    "       pagemint-cli --info SOURCE [--password PW]\n"
    "       pagemint-cli --help | --version\n";
inline constexpr const char kCliHelp[] =
    "\n"
    "Writes SOURCE again as DEST, with the thumbnails given, as one complete PDF file\n"
    "(\".pdf\" is added to DEST unless it ends in it). An encrypted SOURCE is written\n"
    "encrypted again.\n"
    "\n"
    "  --password PW         the owner or user password of an encrypted SOURCE; without\n"
    "                        it the empty password is tried, then on a terminal you are\n"
    "                        asked for one\n"
    "  --show-thumbs         make viewers open DEST with the thumbnail pane showing\n"
    "  --remove-thumbs[=PAGES]\n"
    "                        remove the thumbnails of PAGES (all pages when left out)\n"
    "  --render-thumbs[=PAGES]\n"
    "                        draw PAGES (all pages when left out) into their thumbnails;\n"
    "                        PAGES is a list such as 1-5,8,10- (10- runs to the end)\n"
    "  --thumb PAGE=PICTURE  attach PICTURE (a bitmap, JPEG, metafile, icon or cursor,\n"
    "                        PNG, GIF, TIFF or WebP picture, told by its content) as the\n"
    "                        thumbnail of PAGE (counted from 1); may be repeated, and a\n"
    "                        later one for the same page replaces the earlier one\n"
    "  --thumb-size PX       the longer side of rendered thumbnails (default 128), and\n"
    "                        of pictures when given: larger ones are scaled down to it\n"
    "                        (16 to 1024)\n"
    "  --thumb-format F      how rendered thumbnails are stored: auto (default: the\n"
    "                        smallest of grey, JPEG, Flate and indexed that stays\n"
    "                        within 3 levels of the page on average), lossless or jpeg\n"
    "  --thumb-quality Q     the JPEG quality of rendered thumbnails (1 to 100, default 75;\n"
    "                        auto also tries 15 below it, and higher ones, for the bound)\n"
    "  --render-timeout S    seconds one page may take to render (default 10, 0: no\n"
    "                        limit); a page past it keeps its thumbnail, with a warning\n"
    "  --jobs N              workers at once (default: one per processor): pages\n"
    "                        rendered side by side, and with many files, files worked\n"
    "                        on side by side, never more than N in all\n"
    "  --extract-thumbs DIR  write each page's thumbnail as DIR/page-N.png (after the\n"
    "                        changes asked for); DEST is then optional\n"
    "  --force               let --extract-thumbs replace files that exist (never\n"
    "                        through a link: the link itself is replaced)\n"
    "  --in-place            write each FILE over itself\n"
    "  --incremental         save as an update to SOURCE (default if it is signed)\n"
    "  --full-rewrite        write the whole file anew, even for a signed SOURCE\n"
    "  --output-dir DIR      write each FILE into DIR under its own name\n"
    "  --keep-tree ROOT      with --output-dir, write each FILE under DIR at its path\n"
    "                        relative to ROOT\n"
    "  --files-from LIST     more FILEs, one a line, from the file LIST (\"-\": standard\n"
    "                        input)\n"
    "  --null                names in LIST end with a NUL byte (as find -print0 writes)\n"
    "  --report FILE         one JSON line per file into FILE (\"-\": standard output):\n"
    "                        source, destination, status (written, unchanged, skipped,\n"
    "                        failed), exit, reason, pages, thumbnails_added/removed/\n"
    "                        kept, bytes_before/after, seconds, warnings\n"
    "  --skip-existing       leave alone files already done: with --output-dir, a\n"
    "                        destination newer than its FILE; in place, a FILE whose\n"
    "                        every page has a thumbnail (reported as skipped)\n"
    "  --verbose, -v         report each step on standard error\n"
    "  --info                print what SOURCE holds, one \"key: value\" line each:\n"
    "                        pages, version, encryption (none, rc4-40, rc4-128), owner,\n"
    "                        page_mode, page_layout, thumbnails (pages that have one),\n"
    "                        thumbnail_sizes (PAGE=WIDTHxHEIGHT for each),\n"
    "                        thumbnail_forms (PAGE=JPEG, Gray, Indexed or RGB for each)\n"
    "  --help, -h            print this text\n"
    "  --version             print the version\n"
    "\n"
    "Changes are made in this order: removal, rendering, then the given pictures (a\n"
    "page with a given picture is not rendered). Every file is written under a\n"
    "temporary name and renamed into place when complete.\n"
    "\n"
    "Exit status: 0 done, 1 a file could not be read or written (message on standard\n"
    "error, its DEST untouched; with several FILEs the others are still done), 2 the\n"
    "command line is wrong. A run of many files ends with a summary line; SIGINT or\n"
    "SIGTERM stops it after the files under way.\n";
inline constexpr const char kCliUnknownOption[] = "unknown option %s";
inline constexpr const char kCliMissingValue[] = "%s needs a value";
inline constexpr const char kCliNoValueWanted[] = "%s takes no value";
inline constexpr const char kCliBadThumb[] =
    "--thumb wants PAGE=PICTURE with PAGE a page number, not \"%s\"";
inline constexpr const char kCliBadNumber[] = "%s wants a number from %d to %d, not \"%s\"";
inline constexpr const char kCliBadThumbFormat[] =
    "--thumb-format wants auto, lossless or jpeg, not \"%s\"";
inline constexpr const char kCliBadPages[] =
    "%s wants pages such as 1-5,8,10- (counted from 1), not \"%s\"";
inline constexpr const char kCliNotTogether[] = "%s does not go with %s";
inline constexpr const char kCliNotWithInfo[] = "%s does not go with --info";
inline constexpr const char kCliMissingSource[] = "no SOURCE file given";
inline constexpr const char kCliMissingDest[] = "no DEST file given";
inline constexpr const char kCliExtraFile[] = "one file name too many (%s)";
inline constexpr const char kCliPasswordNeeded[] =
    "%s is protected by a password; give it with --password";
inline constexpr const char kCliPasswordWrong[] = "%s: the password is not correct";
inline constexpr const char kCliPasswordPrompt[] = "Password for %s: ";
inline constexpr const char kCliPasswordRetry[] = "The password is not correct. Password: ";
inline constexpr const char kCliThumbAttached[] = "Page %d, %s";
inline constexpr const char kCliOutOfMemory[] = "not enough memory";
inline constexpr const char kCliCannotWriteOutput[] = "cannot write to standard output";
inline constexpr const char kCliProgramMissing[] =
    "its program pagemint-cli-main cannot be started (looked for %s): %s";
inline constexpr const char kCliProgressReading[] = "Reading %s";
inline constexpr const char kCliProgressRendering[] = "Rendering thumbnails";
inline constexpr const char kCliProgressWriting[] = "Writing %s";
inline constexpr const char kCliRendered[] = "Rendered %d of %d thumbnails";
inline constexpr const char kCliNoFolder[] = "cannot make the folder \"%s\"";
inline constexpr const char kCliCannotExtract[] =
    "the thumbnail of page %d is of a form that cannot be extracted";
inline constexpr const char kCliEmptyFileName[] = "an empty file name is not a file";
inline constexpr const char kCliExtractExists[] =
    "%s exists; it is left as it is (--force replaces it)";
inline constexpr const char kCliExtracted[] = "Page %d thumbnail: %s";
inline constexpr const char kCliSameOutput[] =
    "not written: an earlier file was written as %s already";
inline constexpr const char kCliFileFailed[] = "%s: %s";
inline constexpr const char kCliFileDone[] = "%s: written as %s";
// cli: runs of many files (file lists, reports, reruns).
inline constexpr const char kCliVersion[] = "pagemint-cli %s\n";
inline constexpr const char kCliBatchOnly[] = "%s goes only with --in-place or --output-dir";
inline constexpr const char kCliNeedsOption[] = "%s needs %s";
inline constexpr const char kCliCannotReadList[] = "cannot read the file list \"%s\": %s";
inline constexpr const char kCliCannotWriteReport[] = "cannot write the report \"%s\": %s";
inline constexpr const char kCliNotUnderRoot[] = "not under the --keep-tree folder %s";
inline constexpr const char kCliNoSourceFile[] = "no such file";
inline constexpr const char kCliSkippedNewer[] = "the destination is newer than the source";
inline constexpr const char kCliSkippedComplete[] = "every page has a thumbnail already";
inline constexpr const char kCliSummary[] =
    "%lld files in %s s: %lld written, %lld unchanged, %lld skipped, %lld failed";
inline constexpr const char kCliInterrupted[] =
    "interrupted: %lld files not started; run the same command with --skip-existing to finish";

// Saving as an incremental update: why it cannot be done, and what signed
// parties will see when it is.
inline constexpr const char kIncrementalNotPossible[] =
    "The document cannot be saved as an incremental update: %s";
inline constexpr const char kIncrementalNoDocument[] = "no document is loaded";
inline constexpr const char kIncrementalNoSource[] = "the bytes it was read from are gone";
inline constexpr const char kIncrementalRebuilt[] =
    "its cross-reference data was damaged and had to be rebuilt, so an update appended to "
    "it would not be read the same way";
inline constexpr const char kIncrementalSecurityChanged[] =
    "its security settings were changed, and an update keeps the security the file has";
inline constexpr const char kIncrementalSourceChanged[] =
    "the file %s has changed since it was read";
inline constexpr const char kIncrementalNoSection[] =
    "its last cross-reference section cannot be found";
inline constexpr const char kIncrementalTooLarge[] = "the update would end beyond 2 GB";
inline constexpr const char kReadForUpdateOnly[] =
    "The document was read only to be saved as an incremental update; read it again in full "
    "to save it whole, render its pages or take its pages apart";
inline constexpr const char kIncrementalAppendFailed[] =
    "Cannot append to %s (%s); the file was cut back to its original length";
inline constexpr const char kSignedBeforeUpdate[] =
    "Signature \"%s\" stays valid, but validators will report that the document was changed "
    "after it was signed";
inline constexpr const char kCertifiedNoChanges[] =
    "Signature \"%s\" certifies the document with no changes allowed: validators will count "
    "this update as a breach of that certification";
inline constexpr const char kCliSavingInFull[] = "%s; saving it in full instead";
}  // namespace msg
}  // namespace pagemint
