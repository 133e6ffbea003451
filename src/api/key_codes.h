// The result codes of the private-key operations, shared by the exports that read, write and
// check keys (PRIKEY_*, MEDIA_DISK_*, MEDIA_CARD_*, DecryptSessionKeyWithPEMKey).
#pragma once

#include <cstdint>

#include "pkcs/prikey.h"
#include "quilloncrypto.h"

namespace quillon {

// The code each failure gives where an export documents no other.
int32_t KEY_Code(KeyError error);
// Hands a key to the host as the PRIKEY_* exports do: `out` takes the bytes on success, is
// left empty when encoding failed and is untouched otherwise.
int32_t KEY_Deliver(KeyError error, MemBytes* der, BINSTR* out);

}  // namespace quillon
