// SPDX-License-Identifier: GPL-3.0-or-later
// The document-level exception family. Lower layers raise some of these
// (an object read as the wrong kind, a corrupted file), so they live at
// the bottom of the PDF stack.
#pragma once

#include "platform/exception.h"

namespace pagemint {

PAGEMINT_EXCEPTION(EPDFException, Exception);
PAGEMINT_EXCEPTION(ECrossReferenceError, EPDFException);
PAGEMINT_EXCEPTION(EPDFFileCorruptedError, EPDFException);
PAGEMINT_EXCEPTION(EUnexpectedObjectError, EPDFException);
PAGEMINT_EXCEPTION(EInvalidPageError, EPDFException);
PAGEMINT_EXCEPTION(EUnsupportedImageError, EPDFException);

// Raised by the object model itself.
PAGEMINT_EXCEPTION(EInvalidIndex, Exception);

}  // namespace pagemint
