// SPDX-License-Identifier: GPL-3.0-or-later
// Setting up decryption for an encrypted document: the decryptor is built
// from the resolved encryption dictionary and the file identifier, handed
// to the reader, and asked whether the password opens the file.
#pragma once

#include <string>

#include "pdf/reader/document_state.h"
#include "pdf/reader/read_reporter.h"

namespace pagemint {

// True when password is the owner or the user password. Each call makes a
// new decryptor in place of the previous one; the reader decrypts with it
// from then on, accepted or not. Damaged encrypted data found while
// reading (a bad AES padding) is reported to reporter, when given.
bool SetupDecryption(TgtPDFDocumentState& state, const std::string& password,
                     TgtReadReporter* reporter = nullptr);

}  // namespace pagemint
