// BINSTR records and the release of exchange buffers: the memory that crosses the export boundary.
#include "api/binstr.h"

#include <cstring>

#include "api/export_guard.h"
#include "core/mem.h"
#include "quilloncrypto.h"

namespace quillon {

void BINSTR_Adopt(BINSTR* record, uint8_t* bytes, uint32_t length) {
    MEM_Free(record->data);
    record->data = bytes;
    record->length = length;
}

int BINSTR_Replace(BINSTR* record, const uint8_t* bytes, uint32_t length) {
    // Copy first: the old bytes stay the host's until the new ones exist.
    auto* copy = static_cast<uint8_t*>(MEM_Alloc(length));
    if (!copy) return 0;
    if (length) std::memcpy(copy, bytes, length);
    BINSTR_Adopt(record, copy, length);
    return 1;
}

}  // namespace quillon

using namespace quillon;

extern "C" QUILLON_API int32_t BINSTR_Create(BINSTR* record) {
    if (!record) return QC_ERR_NULL_ARGUMENT;
    record->data = nullptr;
    record->length = 0;
    return QC_OK;
}

extern "C" QUILLON_API int32_t BINSTR_Delete(BINSTR* record) {
    if (!record) return QC_ERR_NULL_ARGUMENT;
    if (!record->data) return QC_OK;
    MEM_Free(record->data);
    record->data = nullptr;
    record->length = 0;
    return QC_OK;
}

extern "C" QUILLON_API int32_t BINSTR_SetData(const unsigned char* source, uint32_t length, BINSTR* record) {
    return GuardCode([&]() -> int32_t {
        if (!record) return QC_ERR_NULL_ARGUMENT;
        if (!source) return QC_ERR_NULL_ARGUMENT;
        // The source may be the record's own bytes: copy first, release after.
        auto* copy = static_cast<unsigned char*>(MEM_Alloc(length));
        if (!copy) {
            BINSTR_Delete(record);
            return QC_ERR_ALLOC;
        }
        if (length) std::memcpy(copy, source, length);
        BINSTR_Delete(record);
        record->data = copy;
        record->length = length;
        return QC_OK;
    });
}

extern "C" QUILLON_API void FreeCesMessage(void* message) { MEM_Free(message); }
