// SPDX-License-Identifier: GPL-3.0-or-later
// The standard security handler in one include: settings, decryption on
// reading, encryption on saving.
#pragma once

#include "pdf/security/encryption_settings.h"
#include "pdf/security/pdf_decrypt.h"
#include "pdf/security/pdf_encryption.h"
#include "pdf/security/security_types.h"
