// SPDX-License-Identifier: GPL-3.0-or-later
// Exceptions raised while a document is read. They derive from the base
// class directly; the document-level family (EPDFException) lives with the
// object model.
#pragma once

#include "platform/exception.h"

namespace pagemint {

PAGEMINT_EXCEPTION(EInvalidHeader, Exception);
PAGEMINT_EXCEPTION(EUnsupportedVersion, Exception);
PAGEMINT_EXCEPTION(EOffsetError, Exception);
PAGEMINT_EXCEPTION(ETrailerError, Exception);
PAGEMINT_EXCEPTION(EImproperPNGAlgorithm, Exception);
PAGEMINT_EXCEPTION(EUnexpectedError, Exception);

}  // namespace pagemint
